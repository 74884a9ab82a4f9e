#include "contestlog/LogReader.h"

#include "contestlog/Bands.h"
#include "contestlog/CountryFile.h"
#include "contestlog/LogReaderImpl.h"

namespace yol::contestlog {
namespace {

bool StartsNoCase(std::string_view text, std::string_view prefix) noexcept {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

bool IsNameChar(char c) noexcept {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool IsBlank(char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Where the first ADIF tag (<EOH>, <EOR> or <NAME:digits) begins, or npos.
std::size_t FindAdifTag(std::string_view text) noexcept {
    for (std::size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
        std::size_t i = at + 1;
        while (i < text.size() && i - at <= 64 && IsNameChar(text[i])) ++i;
        const std::string_view name = text.substr(at + 1, i - at - 1);
        if (name.empty() || i >= text.size()) continue;
        if (text[i] == '>' && (EqualNoCase(name, "EOH") || EqualNoCase(name, "EOR"))) return at;
        if (text[i] == ':' && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9')
            return at;
    }
    return std::string_view::npos;
}

// Where the first line starting "QSO:" (after blanks) begins, or npos.
std::size_t FindQsoLine(std::string_view text) noexcept {
    std::size_t line = 0;
    while (line < text.size()) {
        std::size_t i = line;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        if (StartsNoCase(text.substr(i), "QSO:")) return line;
        const std::size_t end = text.find_first_of("\r\n", i);
        if (end == std::string_view::npos) break;
        line = end + 1;
    }
    return std::string_view::npos;
}

// Skips an XML prolog (declaration, comments, doctype, blanks); true when the
// root element that follows is <ADX>.
bool HasAdxRoot(std::string_view text) noexcept {
    std::size_t i = 0;
    for (int guard = 0; guard < 64; ++guard) {
        while (i < text.size() && IsBlank(text[i])) ++i;
        const std::string_view rest = text.substr(i);
        std::string_view close;
        if (rest.starts_with("<?")) close = "?>";
        else if (rest.starts_with("<!--")) close = "-->";
        else if (rest.starts_with("<!")) close = ">";
        else
            return StartsNoCase(rest, "<ADX") &&
                   (rest.size() == 4 || rest[4] == '>' || rest[4] == '/' || IsBlank(rest[4]));
        const std::size_t end = rest.find(close);
        if (end == std::string_view::npos) return false;
        i += end + close.size();
    }
    return false;
}

LogFormat FormatOfExtension(std::string_view path) noexcept {
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string_view::npos || path.find_first_of("/\\", dot) != std::string_view::npos)
        return LogFormat::Unknown;
    const std::string_view ext = path.substr(dot + 1);
    for (std::string_view e : {"sqlite", "sqlite3", "db", "db3"})
        if (EqualNoCase(ext, e)) return LogFormat::Sqlite;
    for (std::string_view e : {"log", "cbr", "cabrillo"})
        if (EqualNoCase(ext, e)) return LogFormat::Cabrillo;
    for (std::string_view e : {"adi", "adif"})
        if (EqualNoCase(ext, e)) return LogFormat::Adi;
    if (EqualNoCase(ext, "adx")) return LogFormat::Adx;
    return LogFormat::Unknown;
}

}  // namespace

std::string_view FormatName(LogFormat format) noexcept {
    switch (format) {
        case LogFormat::Sqlite: return "SQLite";
        case LogFormat::Cabrillo: return "Cabrillo";
        case LogFormat::Adi: return "ADIF (.adi)";
        case LogFormat::Adx: return "ADIF (.adx)";
        case LogFormat::Unknown: break;
    }
    return "unknown";
}

LogFormat DetectFormat(std::string_view head, std::string_view path) noexcept {
    constexpr std::string_view kSqliteMagic{"SQLite format 3\0", 16};
    if (head.starts_with(kSqliteMagic)) return LogFormat::Sqlite;
    if (head.starts_with("\xEF\xBB\xBF")) head.remove_prefix(3);
    std::string_view text = head;
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    if (StartsNoCase(text, "START-OF-LOG:")) return LogFormat::Cabrillo;
    if (HasAdxRoot(text)) return LogFormat::Adx;
    const std::size_t tag = FindAdifTag(head);
    const std::size_t qso = FindQsoLine(head);
    if (tag != std::string_view::npos || qso != std::string_view::npos)
        return tag < qso ? LogFormat::Adi : LogFormat::Cabrillo;
    if (const LogFormat byName = FormatOfExtension(path); byName != LogFormat::Unknown)
        return byName;
    // ADIF's header is free text: text that does not start with '<' may be one.
    const bool binary = head.substr(0, 4096).find('\0') != std::string_view::npos;
    if (!head.empty() && head.front() != '<' && !binary) return LogFormat::Adi;
    return LogFormat::Unknown;
}

namespace detail {

namespace {
// `name` equals `lower` (lower-case letters, digits, '_') in any case.
bool IsField(std::string_view name, std::string_view lower) noexcept {
    for (std::size_t i = 0; i < lower.size(); ++i) {
        const char c = lower[i];
        const char folded = c >= 'a' && c <= 'z' ? static_cast<char>(name[i] | 0x20) : name[i];
        if (folded != c) return false;
    }
    return true;
}
}  // namespace

AdifField ClassifyAdifField(std::string_view name) noexcept {
    // By length, then by the folded first letter: one comparison at most for
    // most names.
    if (name.size() < 3) return AdifField::Other;
    const char first = static_cast<char>(name[0] | 0x20);
    auto is = [&](std::string_view lower) { return IsField(name, lower); };
    switch (name.size()) {
        case 3:
            if (is("srx")) return AdifField::Srx;
            if (is("stx")) return AdifField::Stx;
            return AdifField::Other;
        case 4:
            switch (first) {
                case 'c':
                    if (is("call")) return AdifField::Call;
                    if (is("cont")) return AdifField::Cont;
                    return AdifField::Other;
                case 'b': return is("band") ? AdifField::Band : AdifField::Other;
                case 'f': return is("freq") ? AdifField::Freq : AdifField::Other;
                case 'm': return is("mode") ? AdifField::Mode : AdifField::Other;
                default: return AdifField::Other;
            }
        case 7:
            if (first == 's') return is("submode") ? AdifField::Submode : AdifField::Other;
            if (first == 't') return is("time_on") ? AdifField::TimeOn : AdifField::Other;
            return AdifField::Other;
        case 8:
            if (first == 'r') {
                if (is("rst_rcvd")) return AdifField::RstRcvd;
                if (is("rst_sent")) return AdifField::RstSent;
                return AdifField::Other;
            }
            if (first == 'o') return is("operator") ? AdifField::Operator : AdifField::Other;
            if (first == 'q') return is("qso_date") ? AdifField::QsoDate : AdifField::Other;
            return AdifField::Other;
        case 10:
            if (first != 's') return AdifField::Other;
            if (is("srx_string")) return AdifField::SrxString;
            if (is("stx_string")) return AdifField::StxString;
            return AdifField::Other;
        case 16:
            return first == 's' && is("station_callsign") ? AdifField::StationCallsign
                                                          : AdifField::Other;
        case 18:
            if (first != 'a') return AdifField::Other;
            if (is("app_yol_dxccprefix")) return AdifField::YolDxccPrefix;
            if (is("app_yol_mainprefix")) return AdifField::YolMainPrefix;
            return AdifField::Other;
        default: return AdifField::Other;
    }
}

std::string Quoted(std::string_view text) {
    constexpr std::size_t kMax = 40;
    std::string out = "'";
    for (std::size_t i = 0; i < text.size() && i < kMax; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        out.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
    }
    if (text.size() > kMax) out += "...";
    out.push_back('\'');
    return out;
}

bool FillCountry(const ReadOptions& options, ContactView& contact) {
    if (!options.countries) return true;
    if (!contact.dxcc.empty() && !contact.continent.empty() && !contact.mainPrefix.empty())
        return true;
    const Country* country = options.countries->Lookup(contact.call);
    if (!country) return false;
    if (contact.dxcc.empty()) contact.dxcc = country->hostPrefix;
    if (contact.continent.empty()) contact.continent = country->continent;
    if (contact.mainPrefix.empty()) contact.mainPrefix = country->primaryPrefix;
    return true;
}

std::string NoCountryMessage(std::string_view call) {
    return "call " + Quoted(call) + " is in no country of the country file: "
           "DXCCPrefix, Continent and MainPrefix stay empty where the log has none";
}

namespace {
// Two exchange parts joined by a space, either alone when the other is empty.
std::string_view Joined(std::string_view a, std::string_view b, std::string& buffer) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    buffer.assign(a).push_back(' ');
    buffer.append(b);
    return buffer;
}
}  // namespace

void AdifMapper::Emit(const AdifRecord& record, std::size_t place, std::string_view text) {
    auto get = [&](AdifField f) { return TrimBlanks(record.Get(f)); };
    ContactView contact;
    contact.place = place;
    contact.line = text;
    const std::string_view call = get(AdifField::Call);
    if (call.empty()) {
        Problem(place, "record without CALL: skipped");
        return;
    }
    contact.call = UpperAscii(call, call_);

    const std::string_view band = get(AdifField::Band), freq = get(AdifField::Freq);
    if (const BandInfo* b = band.empty() ? nullptr : BandFromAdif(band)) contact.band = b->host;
    if (contact.band.empty() && !freq.empty()) {
        if (const auto hz = ParseHz(freq, 1'000'000))
            if (const BandInfo* b = BandFromHz(*hz)) contact.band = b->host;
    }
    if (contact.band.empty()) {
        std::string why = band.empty() ? std::string("no BAND") : "unknown BAND " + Quoted(band);
        why += freq.empty() ? std::string(" and no FREQ")
                            : " and FREQ " + Quoted(freq) + " (MHz) is in no amateur band";
        Problem(place, "record for " + Quoted(contact.call) + ": " + why + ": skipped");
        return;
    }

    contact.mode = ModeFromAdif(get(AdifField::Mode), get(AdifField::Submode), mode_);
    if (contact.mode.empty()) {
        Problem(place, "record for " + Quoted(contact.call) + ": no MODE: skipped");
        return;
    }

    contact.report = get(AdifField::SrxString);
    if (contact.report.empty())
        contact.report = Joined(get(AdifField::RstRcvd), get(AdifField::Srx), report_);
    contact.sent = get(AdifField::StxString);
    if (contact.sent.empty()) contact.sent = Joined(get(AdifField::RstSent), get(AdifField::Stx), sent_);
    contact.dxcc = get(AdifField::YolDxccPrefix);
    contact.mainPrefix = get(AdifField::YolMainPrefix);
    contact.continent = get(AdifField::Cont);
    contact.time = UtcMinutes(get(AdifField::QsoDate), get(AdifField::TimeOn));
    if (!freq.empty()) contact.frequency = KilohertzOfMegahertz(freq, frequency_);

    std::string_view own = get(AdifField::StationCallsign);
    if (own.empty()) own = get(AdifField::Operator);
    if (!own.empty()) contact.ownCall = UpperAscii(own, ownCall_);
    if (!stationSent_ && !own.empty()) {
        sink_.Station(contact.ownCall);
        stationSent_ = true;
    }
    if (!FillCountry(options_, contact)) Problem(place, NoCountryMessage(contact.call), Severity::Note);
    sink_.Contact(contact);
}

}  // namespace detail
}  // namespace yol::contestlog
