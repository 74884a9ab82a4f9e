// Cabrillo (3.0, and the QSO: lines of 2.0): header lines "TAG: value", of
// which only CALLSIGN: matters here, and one contact per QSO: line:
//
//   QSO: freq mode date time <own call> <sent exchange> <worked call> <received exchange> [tx]
//
// Where the caller gives the token counts the contest's stations send
// (ReadOptions::exchangeCounts; one count, or one per class of stations), a
// line splits where a call stands after one count with another after it (an
// equal split first); else the sent and received exchanges have the same
// number of fields, so a line with 2k+1 fields after the own call splits in
// the middle. One more field is the transmitter id (0 or 1) of a
// multi-transmitter log. A line one token short of the counts is read where
// one field alone, in the places the counts then allow, can be a call, with a
// note naming the short exchange.
#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "contestlog/Bands.h"
#include "contestlog/LogReader.h"
#include "contestlog/LogReaderImpl.h"

namespace yol::contestlog {
namespace {

// Calls the function with each line and its 1-based number; lines end at LF,
// CR LF or a lone CR.
template <typename Fn>
void ForEachLine(std::string_view text, Fn&& fn) {
    std::size_t number = 1, pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        if (!fn(text.substr(pos, end - pos), number)) return;
        pos = end + 1;
        if (end < text.size() && text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
        ++number;
    }
}

bool IsSpace(char c) noexcept { return c == ' ' || c == '\t'; }

void Split(std::string_view line, std::vector<std::string_view>& fields) {
    fields.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsSpace(line[i])) ++i;
        const std::size_t start = i;
        while (i < line.size() && !IsSpace(line[i])) ++i;
        if (i > start) fields.push_back(line.substr(start, i - start));
    }
}

// The own call as the header gives it: the first word after CALLSIGN:.
std::string_view HeaderCall(std::string_view text) {
    std::string_view call;
    ForEachLine(text, [&](std::string_view line, std::size_t) {
        line = TrimBlanks(line);
        if (!StartsNoCase(line, "CALLSIGN:")) return true;
        line = TrimBlanks(line.substr(9));
        std::size_t end = 0;
        while (end < line.size() && !IsSpace(line[end])) ++end;
        call = line.substr(0, end);
        return call.empty();  // an empty CALLSIGN: line names nobody: look on
    });
    return call;
}

// A header line "TAG: value" (tag of letters, digits, '-' and '_'): its tag
// and value; an empty tag for anything else.
std::pair<std::string_view, std::string_view> HeaderLine(std::string_view line) noexcept {
    std::size_t i = 0;
    while (i < line.size() && ((line[i] >= 'A' && line[i] <= 'Z') || (line[i] >= 'a' && line[i] <= 'z') ||
                               (line[i] >= '0' && line[i] <= '9') || line[i] == '-' || line[i] == '_'))
        ++i;
    if (i == 0 || i >= line.size() || line[i] != ':') return {};
    return {line.substr(0, i), TrimBlanks(line.substr(i + 1))};
}

// Tokens fields[from..from+n) joined by single spaces.
std::string_view JoinFields(const std::vector<std::string_view>& fields, std::size_t from, std::size_t n,
                            std::string& out) {
    out.clear();
    for (std::size_t k = 0; k < n; ++k) {
        if (k) out.push_back(' ');
        out.append(fields[from + k]);
    }
    return out;
}

// The frequency field when it gives kHz (1000 and up); empty for a band
// designator ("50", "144", "1.2G") or the host's own band name.
std::string_view Kilohertz(std::string_view field) noexcept {
    const auto hz = ParseHz(field, 1000);
    return hz && *hz >= 1'000'000 ? field : std::string_view();
}

constexpr bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }
constexpr bool IsLetter(char c) noexcept { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Whether a field can be the worked call: letters, digits and '/', with a
// part that has a digit after its first character and ends in a letter
// ("LZ0AP", "4X4A", "DL1ABC/P"), which no serial, signal report ("5NN") or
// district ("MO05") has.
bool CanBeCall(std::string_view field) noexcept {
    if (field.size() < 3) return false;
    for (char c : field)
        if (!IsDigit(c) && !IsLetter(c) && c != '/') return false;
    for (std::size_t from = 0; from <= field.size();) {
        std::size_t to = field.find('/', from);
        if (to == std::string_view::npos) to = field.size();
        const std::string_view part = field.substr(from, to - from);
        if (part.size() >= 3 && IsLetter(part.back()) &&
            std::find_if(part.begin() + 1, part.end(), IsDigit) != part.end())
            return true;
        from = to + 1;
    }
    return false;
}

bool IsTxId(std::string_view field) noexcept { return field == "0" || field == "1"; }

// How the fields after the own call split: `sent` tokens, the worked call,
// `received` tokens, and the transmitter id where `tx`; for a line one token
// short, which exchange is short and the counts it falls short of.
struct Layout {
    enum class Short { None, Sent, Received };
    std::size_t sent = 0, received = 0;
    bool tx = false;
    Short missing = Short::None;
    std::size_t wantSent = 0, wantReceived = 0;
};

// The layout the caller's token counts give the `rest` fields after the own
// call: whole (an equal split first), or one token short where one field
// alone in the places the counts allow can be the call; nothing when the
// counts are not known or do not fit.
std::optional<Layout> ByCounts(const std::vector<std::string_view>& fields, std::size_t rest,
                               const std::vector<std::size_t>& counts) {
    if (counts.empty()) return std::nullopt;
    const bool txLast = IsTxId(fields.back());
    std::optional<Layout> whole;
    for (const bool tx : {false, true}) {
        if (tx && !txLast) break;
        for (std::size_t s : counts)
            for (std::size_t r : counts) {
                if (s + 1 + r + tx != rest || !CanBeCall(fields[5 + s])) continue;
                if (s == r) return Layout{s, r, tx};
                if (!whole) whole = Layout{s, r, tx};
            }
    }
    if (whole) return whole;
    std::optional<Layout> found;
    bool ambiguous = false;
    auto candidate = [&](const Layout& l) {
        if (found && (found->sent != l.sent || found->received != l.received || found->tx != l.tx)) ambiguous = true;
        if (!found) found = l;
    };
    for (const bool tx : {false, true}) {
        if (tx && !txLast) break;
        for (std::size_t s : counts)
            for (std::size_t r : counts) {
                if (s + r + tx != rest) continue;
                if (s > 0 && CanBeCall(fields[5 + s - 1])) candidate(Layout{s - 1, r, tx, Layout::Short::Sent, s, r});
                if (r > 0 && CanBeCall(fields[5 + s])) candidate(Layout{s, r - 1, tx, Layout::Short::Received, s, r});
            }
    }
    if (ambiguous) return std::nullopt;
    return found;
}

std::string FieldCount(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " field" : " fields");
}

}  // namespace

void ReadCabrillo(std::string_view text, const ReadOptions& options, LogSink& sink) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    auto problem = [&](std::size_t line, std::string message) {
        sink.Problem(LogProblem{line, std::move(message)});
    };
    const std::string_view headerCall = HeaderCall(text);
    std::string buffer, callBuffer, modeBuffer, report, sent, ownBuffer, nameBuffer;
    bool stationSent = false, sawStart = false, sawQso = false;
    if (!headerCall.empty()) {
        sink.Station(UpperAscii(headerCall, buffer));
        stationSent = true;
    }
    std::vector<std::string_view> fields;

    ForEachLine(text, [&](std::string_view raw, std::size_t number) {
        std::string_view line = TrimBlanks(raw);
        if (StartsNoCase(line, "START-OF-LOG:")) sawStart = true;
        if (!StartsNoCase(line, "QSO:")) {  // header lines, X-QSO: and the rest
            const auto [tag, value] = HeaderLine(line);
            if (!tag.empty() && !EqualNoCase(tag, "X-QSO")) sink.Header(UpperAscii(tag, nameBuffer), value);
            return true;
        }
        sawQso = true;
        Split(line.substr(4), fields);
        // freq mode date time own-call worked-call at the least
        if (fields.size() < 6) {
            problem(number, "QSO: line with " + FieldCount(fields.size()) +
                                "; at least 6 needed (frequency, mode, date, time, own call, "
                                "worked call): skipped");
            return true;
        }
        const std::string_view ownCall = fields[4];
        if (!headerCall.empty() && !EqualNoCase(ownCall, headerCall)) {
            for (std::size_t k : {3u, 5u}) {
                if (EqualNoCase(fields[k], headerCall)) {
                    problem(number, "QSO: line has the own call " + Quoted(headerCall) +
                                        " as field " + std::to_string(k + 1) +
                                        ", not as field 5 after frequency, mode, date and time: "
                                        "skipped");
                    return true;
                }
            }
        }
        const std::size_t rest = fields.size() - 5;  // after the own call
        std::optional<Layout> layout = ByCounts(fields, rest, options.exchangeCounts);
        if (!layout) {
            std::size_t used = rest;
            if (rest % 2 == 0) {
                if (!IsTxId(fields.back())) {
                    problem(number, "QSO: line with " + FieldCount(rest) +
                                        " after the own call: the sent and received exchanges "
                                        "differ in length and the last field " +
                                        Quoted(fields.back()) +
                                        " is no transmitter id (0 or 1): skipped");
                    return true;
                }
                used = rest - 1;
            }
            const std::size_t exchange = (used - 1) / 2;
            const std::string_view middle = fields[5 + exchange];
            if (std::find_if(middle.begin(), middle.end(), IsLetter) == middle.end()) {
                problem(number, "QSO: line whose worked call, by the middle of the " +
                                    FieldCount(used) + " after the own call, would be " +
                                    Quoted(middle) +
                                    ": the sent and received exchanges differ in length: skipped");
                return true;
            }
            layout = Layout{exchange, exchange, used != rest, Layout::Short::None};
        }
        const std::string_view worked = fields[5 + layout->sent];

        ContactView entry;
        entry.place = number;
        entry.line = raw;
        entry.band = BandFromCabrillo(fields[0]);
        if (entry.band.empty()) {
            problem(number, "QSO: line with the frequency " + Quoted(fields[0]) +
                                ", which is in no amateur band (kHz below 50 MHz, or a band "
                                "such as 50, 144, 432, 1.2G): skipped");
            return true;
        }
        entry.mode = ModeFromCabrillo(fields[1], modeBuffer);
        entry.call = UpperAscii(worked, callBuffer);
        entry.report = JoinFields(fields, 6 + layout->sent, layout->received, report);
        entry.sent = JoinFields(fields, 5, layout->sent, sent);
        entry.time = UtcMinutes(fields[2], fields[3]);
        entry.frequency = Kilohertz(fields[0]);
        entry.ownCall = UpperAscii(ownCall, ownBuffer);
        if (!stationSent) {
            sink.Station(UpperAscii(ownCall, buffer));
            stationSent = true;
        }
        if (layout->missing != Layout::Short::None)
            sink.Problem(LogProblem{
                number,
                std::string("this line has one ") +
                    (layout->missing == Layout::Short::Sent ? "sent" : "received") +
                    " token fewer than the contest's exchange (" + std::to_string(layout->wantSent) +
                    " sent, " + std::to_string(layout->wantReceived) + " received): read as sent " +
                    Quoted(entry.sent) + ", worked call " + Quoted(worked) + ", received " +
                    Quoted(entry.report),
                Severity::Incomplete});
        if (!detail::FillCountry(options, entry))
            sink.Problem(LogProblem{number, detail::NoCountryMessage(entry.call), Severity::Note});
        sink.Contact(entry);
        return true;
    });
    if (!sawStart && !sawQso) problem(1, "no START-OF-LOG: and no QSO: lines: not a Cabrillo log");
}

}  // namespace yol::contestlog
