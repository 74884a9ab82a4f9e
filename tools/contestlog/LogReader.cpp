#include "contestlog/LogReader.h"

#include <cstdint>
#include <cstring>

#include "contestlog/Bands.h"
#include "contestlog/CountryFile.h"
#include "contestlog/LineCounter.h"
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

bool HasAdifTag(std::string_view text) noexcept { return FindAdifTag(text) != std::string_view::npos; }

bool HasCabrilloLine(std::string_view text) noexcept {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::string_view start = text;
    while (!start.empty() && IsBlank(start.front())) start.remove_prefix(1);
    return StartsNoCase(start, "START-OF-LOG:") || FindQsoLine(text) != std::string_view::npos;
}

namespace {
// How many bytes of an 8-byte word equal the byte in every lane of `pattern`.
int CountEqual(std::uint64_t word, std::uint64_t pattern) noexcept {
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    const std::uint64_t x = word ^ pattern;  // zero bytes where equal
    const std::uint64_t t = ~(((x & kLow7) + kLow7) | x | kLow7);  // 0x80 in those bytes
    return static_cast<int>(((t >> 7) * 0x0101010101010101ULL) >> 56);
}
}  // namespace

std::size_t CountLineEnds(std::string_view text, std::size_t from, std::size_t to) noexcept {
    constexpr std::uint64_t kLf = 0x0A0A0A0A0A0A0A0AULL, kCr = 0x0D0D0D0D0D0D0D0DULL;
    const char* p = text.data();
    std::size_t i = from, ends = 0, crs = 0;
    for (; i + 8 <= to; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, p + i, 8);
        ends += static_cast<std::size_t>(CountEqual(word, kLf));
        crs += static_cast<std::size_t>(CountEqual(word, kCr));
    }
    for (; i < to; ++i) {
        ends += p[i] == '\n';
        crs += p[i] == '\r';
    }
    if (crs != 0) {  // a CR ends a line unless an LF follows it
        for (std::size_t at = from; at < to; ++at) {
            const void* cr = std::memchr(p + at, '\r', to - at);
            if (!cr) break;
            at = static_cast<std::size_t>(static_cast<const char*>(cr) - p);
            if (at + 1 >= text.size() || p[at + 1] != '\n') ++ends;
        }
    }
    return ends;
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

}  // namespace detail
}  // namespace yol::contestlog
