#include "contestlog/LogReader.h"

#include "contestlog/Bands.h"
#include "contestlog/CountryFile.h"
#include "contestlog/LogReaderImpl.h"

namespace yol::contestlog {
namespace {

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

}  // namespace detail
}  // namespace yol::contestlog
