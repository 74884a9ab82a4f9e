// Verdict names, escaping, page names and the small formatting helpers.
#include "Internal.h"

#include <algorithm>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace yol::webreport {

namespace {

struct VerdictInfo {
    std::string_view code, label, colour;
};

// Okabe–Ito colours; the fill patterns (Plots.cpp) and the text labels tell the
// verdicts apart where the colours alone would not.
constexpr std::array<VerdictInfo, kVerdictCount> kVerdicts{{
    {"OK", "confirmed", "#009E73"},
    {"EXCHANGE", "exchange miscopied", "#E69F00"},
    {"BUSTED", "busted call", "#D55E00"},
    {"NIL", "not in log", "#CC79A7"},
    {"UNIQUE", "unique, not credited", "#F0E442"},
    {"NOLOG", "no log, credited", "#56B4E9"},
    {"DUPE", "duplicate", "#999999"},
    {"PERIOD", "outside the period", "#0072B2"},
    {"INVALID", "band or mode not allowed", "#000000"},
    {"PARTNER", "the other side erred", "#E69F00"},
    {"CHECKLOG", "checklog, not scored", "#999999"},
}};

}  // namespace

std::optional<Verdict> VerdictFromCode(std::string_view code) {
    for (std::size_t i = 0; i < kVerdicts.size(); ++i)
        if (kVerdicts[i].code == code) return static_cast<Verdict>(i);
    return std::nullopt;
}
std::string_view VerdictCode(Verdict v) { return kVerdicts[static_cast<std::size_t>(v)].code; }
std::string_view VerdictLabel(Verdict v) { return kVerdicts[static_cast<std::size_t>(v)].label; }

ResultRow ResultRowOf(const LogReport& r) {
    ResultRow row;
    row.call = r.call;
    row.category = r.category;
    row.claimed = r.claimed;
    row.finalContacts = r.finalContacts;
    row.points = r.points;
    row.multipliers = r.multipliers;
    row.finalScore = r.finalScore;
    row.reductionPercent = r.reductionPercent;
    row.errorRatePercent = r.errorRatePercent;
    row.className = r.className;
    row.club = r.club;
    row.country = r.country;
    row.continent = r.continent;
    row.placeInClass = r.placeInClass;
    row.placeOverall = r.placeOverall;
    row.tiedInClass = r.tiedInClass;
    row.tiedOverall = r.tiedOverall;
    row.checklog = r.checklog;
    return row;
}

BestRate BestRateOf(const std::vector<Contact>& contacts, std::int64_t minutes) {
    std::vector<std::int64_t> times;
    times.reserve(contacts.size());
    for (const Contact& c : contacts) times.push_back(c.utc);
    std::sort(times.begin(), times.end());
    BestRate best{minutes, 0, times.empty() ? 0 : times.front()};
    std::size_t first = 0;
    for (std::size_t last = 0; last < times.size(); ++last) {
        while (times[last] - times[first] >= minutes) ++first;
        const auto n = static_cast<std::int64_t>(last - first + 1);
        if (n > best.contacts) best = {minutes, n, times[first]};
    }
    return best;
}

std::string FileStem(std::string_view call) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string name;
    for (unsigned char c : call) {
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            name.push_back(static_cast<char>(c));
        } else if (c == '/') {
            name.push_back('-');
        } else {
            name.push_back('_');
            name.push_back(kHex[c >> 4]);
            name.push_back(kHex[c & 15]);
        }
    }
    if (name.empty()) name = "_";
    return name;
}

std::string PageName(std::string_view call) { return FileStem(call) + ".html"; }

void AppendEscaped(std::string& out, std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            switch (c) {
            case '&': out.append("&amp;"); break;
            case '<': out.append("&lt;"); break;
            case '>': out.append("&gt;"); break;
            case '"': out.append("&quot;"); break;
            case '\'': out.append("&#39;"); break;
            default:
                // Control characters other than tab and line ends have no place in a page.
                if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') out.append("\xEF\xBF\xBD");
                else out.push_back(static_cast<char>(c));
            }
            ++p;
            continue;
        }
        // A well-formed UTF-8 sequence is copied; anything else becomes U+FFFD.
        std::size_t n = 0;
        std::uint32_t min = 0;
        if (c >= 0xC2 && c <= 0xDF) { n = 2; min = 0x80; }
        else if (c >= 0xE0 && c <= 0xEF) { n = 3; min = 0x800; }
        else if (c >= 0xF0 && c <= 0xF4) { n = 4; min = 0x10000; }
        bool good = n != 0 && static_cast<std::size_t>(end - p) >= n;
        std::uint32_t cp = good ? (c & (0x7Fu >> n)) : 0;
        for (std::size_t i = 1; good && i < n; ++i) {
            if ((p[i] & 0xC0) != 0x80) good = false;
            else cp = (cp << 6) | (p[i] & 0x3Fu);
        }
        if (good && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) good = false;
        if (good) {
            out.append(reinterpret_cast<const char*>(p), n);
            p += n;
        } else {
            out.append("\xEF\xBF\xBD");
            ++p;
        }
    }
}

namespace detail {

Html& Html::Int(std::int64_t v) {
    out_.append(std::to_string(v));
    return *this;
}

Html& Html::Fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    std::string_view s(buf);
    // "-0.0" reads as a negative figure that is not there.
    if (s.front() == '-' && s.find_first_not_of("-0.") == std::string_view::npos) s.remove_prefix(1);
    out_.append(s);
    return *this;
}

Html& Html::Grouped(std::int64_t v) {
    const auto u = static_cast<unsigned long long>(v);
    const std::string digits = std::to_string(v < 0 ? 0ULL - u : u);
    if (v < 0) out_.append("\xE2\x88\x92");  // minus sign
    const std::size_t first = digits.size() % 3 == 0 ? 3 : digits.size() % 3;
    out_.append(digits, 0, first);
    for (std::size_t i = first; i < digits.size(); i += 3) {
        out_.append("\xE2\x80\xAF");  // narrow no-break space
        out_.append(digits, i, 3);
    }
    return *this;
}

std::string UtcText(std::int64_t minutes) {
    using namespace std::chrono;
    const std::int64_t days = minutes >= 0 ? minutes / 1440 : -((-minutes + 1439) / 1440);
    const auto inDay = static_cast<unsigned>(minutes - days * 1440);
    const year_month_day ymd{sys_days{std::chrono::days{days}}};
    const int year = static_cast<int>(ymd.year());
    if (year < 0 || year > 9999) return "(date out of range)";
    // Written digit by digit: the site formats millions of these.
    std::string s = "0000-00-00 00:00";
    auto put = [&](std::size_t at, unsigned v, int width) {
        for (int i = width - 1; i >= 0; --i, v /= 10) s[at + static_cast<std::size_t>(i)] = static_cast<char>('0' + v % 10);
    };
    put(0, static_cast<unsigned>(year), 4);
    put(5, static_cast<unsigned>(ymd.month()), 2);
    put(8, static_cast<unsigned>(ymd.day()), 2);
    put(11, inDay / 60, 2);
    put(14, inDay % 60, 2);
    return s;
}

std::string UtcHourText(std::int64_t minutes) { return UtcText(minutes).substr(11); }

std::string_view VerdictColour(Verdict v) { return kVerdicts[static_cast<std::size_t>(v)].colour; }

namespace {

// Wavelength in millimetres from "20m", "70cm", "3mm"; 0 when the name is no wavelength.
double Wavelength(std::string_view band) {
    std::size_t i = 0;
    double v = 0;
    bool any = false;
    while (i < band.size() && ((band[i] >= '0' && band[i] <= '9') || band[i] == '.')) {
        if (band[i] != '.') { v = v * 10 + (band[i] - '0'); any = true; }
        ++i;
    }
    // Decimal bands ("1.25m") are rare; the integer part orders them well enough.
    if (!any) return 0;
    const std::string_view unit = band.substr(i);
    if (unit == "m" || unit == "M") return v * 1000;
    if (unit == "cm" || unit == "CM") return v * 10;
    if (unit == "mm" || unit == "MM") return v;
    return 0;
}

}  // namespace

bool BandBefore(std::string_view a, std::string_view b) {
    const double wa = Wavelength(a), wb = Wavelength(b);
    if (wa != wb) {
        if (wa == 0) return false;
        if (wb == 0) return true;
        return wa > wb;
    }
    return a < b;
}

std::string BandColour(std::string_view band) {
    // The contest bands get fixed Okabe–Ito colours, so that a band looks the same
    // on every page; others share the rest of the palette.
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 9> kFixed{{
        {"160m", "#E69F00"}, {"80m", "#56B4E9"}, {"40m", "#009E73"}, {"20m", "#0072B2"},
        {"15m", "#D55E00"}, {"10m", "#CC79A7"}, {"30m", "#F0E442"}, {"17m", "#000000"},
        {"12m", "#999999"}}};
    for (const auto& [name, colour] : kFixed)
        if (name == band) return std::string(colour);
    static constexpr std::array<std::string_view, 5> kOthers{"#F0E442", "#000000", "#999999",
                                                             "#E69F00", "#56B4E9"};
    std::size_t h = 0;
    for (char c : band) h = h * 31 + static_cast<unsigned char>(c);
    return std::string(kOthers[h % kOthers.size()]);
}

}  // namespace detail
}  // namespace yol::webreport
