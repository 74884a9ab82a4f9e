// Cabrillo (3.0, and the QSO: lines of 2.0): header lines "TAG: value", of
// which only CALLSIGN: matters here, and one contact per QSO: line:
//
//   QSO: freq mode date time <own call> <sent exchange> <worked call> <received exchange> [tx]
//
// The sent and received exchanges have the same number of fields, so a line
// with 2k+1 fields after the own call splits in the middle; one more field is
// the transmitter id (0 or 1) of a multi-transmitter log. Where the reader is
// told the counts stations may send (ReadOptions::exchangeCounts), a line
// splits where a call stands after one count with another after it.
#include <optional>
#include <tuple>
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

bool IsTxId(std::string_view field) noexcept { return field == "0" || field == "1"; }

// Letters and a digit: what a call has and an exchange token rarely does.
bool LooksLikeCall(std::string_view field) noexcept {
    bool letter = false, digit = false;
    for (char c : field) {
        letter = letter || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        digit = digit || (c >= '0' && c <= '9');
    }
    return letter && digit;
}

// The sent exchange's length and the fields used (without a transmitter id)
// of a line with `rest` fields after the own call, by the counts a station
// may send: the middle where it fits them, else the first split that does;
// nothing when none fits.
std::optional<std::pair<std::size_t, std::size_t>> SplitByCounts(const std::vector<std::string_view>& fields,
                                                                 const std::vector<std::size_t>& counts) {
    const std::size_t rest = fields.size() - 5;
    std::optional<std::pair<std::size_t, std::size_t>> first;
    for (std::size_t tx = 0; tx < 2; ++tx) {
        if (tx && !IsTxId(fields.back())) break;
        for (std::size_t sent : counts)
            for (std::size_t received : counts) {
                const std::size_t used = sent + 1 + received;
                if (used + tx != rest || !LooksLikeCall(fields[5 + sent])) continue;
                if (sent == received) return std::pair{sent, used};
                if (!first) first = std::pair{sent, used};
            }
    }
    return first;
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
        std::size_t used = rest, exchange = (rest - 1) / 2;
        if (const auto split = options.exchangeCounts.empty() ? std::nullopt : SplitByCounts(fields, options.exchangeCounts)) {
            std::tie(exchange, used) = *split;
        } else if (rest % 2 == 0) {
            if (fields.back() != "0" && fields.back() != "1") {
                problem(number, "QSO: line with " + FieldCount(rest) +
                                    " after the own call: the sent and received exchanges "
                                    "differ in length and the last field " +
                                    Quoted(fields.back()) +
                                    " is no transmitter id (0 or 1): skipped");
                return true;
            }
            used = rest - 1;
            exchange = (used - 1) / 2;
        }
        const std::size_t received = used - 1 - exchange;
        const std::string_view worked = fields[5 + exchange];
        if (worked.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") ==
            std::string_view::npos) {
            problem(number, "QSO: line whose worked call, by the middle of the " +
                                FieldCount(used) + " after the own call, would be " +
                                Quoted(worked) +
                                ": the sent and received exchanges differ in length: skipped");
            return true;
        }

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
        entry.report = JoinFields(fields, 6 + exchange, received, report);
        entry.sent = JoinFields(fields, 5, exchange, sent);
        entry.time = UtcMinutes(fields[2], fields[3]);
        entry.frequency = Kilohertz(fields[0]);
        entry.ownCall = UpperAscii(ownCall, ownBuffer);
        if (!stationSent) {
            sink.Station(UpperAscii(ownCall, buffer));
            stationSent = true;
        }
        if (!detail::FillCountry(options, entry))
            sink.Problem(LogProblem{number, detail::NoCountryMessage(entry.call), Severity::Note});
        sink.Contact(entry);
        return true;
    });
    if (!sawStart && !sawQso) problem(1, "no START-OF-LOG: and no QSO: lines: not a Cabrillo log");
}

}  // namespace yol::contestlog
