#include "contestlog/Bands.h"

#include <array>

namespace yol::contestlog {
namespace {

constexpr std::uint64_t kKHz = 1000;
constexpr std::uint64_t kMHz = 1000 * kKHz;
constexpr std::uint64_t kGHz = 1000 * kMHz;

// ADIF's band plan; host names from 50 MHz up follow Cabrillo's designators.
constexpr std::array<BandInfo, 33> kBands{{
    {"2190m", "0.136", "", 135700, 137800},
    {"630m", "0.472", "", 472 * kKHz, 479 * kKHz},
    {"560m", "0.501", "", 501 * kKHz, 504 * kKHz},
    {"160m", "1.8", "", 1800 * kKHz, 2000 * kKHz},
    {"80m", "3.5", "", 3500 * kKHz, 4000 * kKHz},
    {"60m", "5", "", 5060 * kKHz, 5450 * kKHz},
    {"40m", "7", "", 7000 * kKHz, 7300 * kKHz},
    {"30m", "10", "", 10100 * kKHz, 10150 * kKHz},
    {"20m", "14", "", 14000 * kKHz, 14350 * kKHz},
    {"17m", "18", "", 18068 * kKHz, 18168 * kKHz},
    {"15m", "21", "", 21000 * kKHz, 21450 * kKHz},
    {"12m", "24", "", 24890 * kKHz, 24990 * kKHz},
    {"10m", "28", "", 28000 * kKHz, 29700 * kKHz},
    {"8m", "40", "", 40 * kMHz, 45 * kMHz},
    {"6m", "50", "50", 50 * kMHz, 54 * kMHz},
    {"5m", "54", "", 54 * kMHz + 1, 69900 * kKHz},
    {"4m", "70", "70", 70 * kMHz, 71 * kMHz},
    {"2m", "144", "144", 144 * kMHz, 148 * kMHz},
    {"1.25m", "222", "222", 222 * kMHz, 225 * kMHz},
    {"70cm", "432", "432", 420 * kMHz, 450 * kMHz},
    {"33cm", "902", "902", 902 * kMHz, 928 * kMHz},
    {"23cm", "1.2G", "1.2G", 1240 * kMHz, 1300 * kMHz},
    {"13cm", "2.3G", "2.3G", 2300 * kMHz, 2450 * kMHz},
    {"9cm", "3.4G", "3.4G", 3300 * kMHz, 3500 * kMHz},
    {"6cm", "5.7G", "5.7G", 5650 * kMHz, 5925 * kMHz},
    {"3cm", "10G", "10G", 10 * kGHz, 10500 * kMHz},
    {"1.25cm", "24G", "24G", 24 * kGHz, 24250 * kMHz},
    {"6mm", "47G", "47G", 47 * kGHz, 47200 * kMHz},
    {"4mm", "75G", "75G", 75500 * kMHz, 81 * kGHz},
    {"2.5mm", "122G", "122G", 119980 * kMHz, 123 * kGHz},
    {"2mm", "134G", "134G", 134 * kGHz, 149 * kGHz},
    {"1mm", "241G", "241G", 241 * kGHz, 250 * kGHz},
    {"submm", "300G", "", 300 * kGHz, 7500 * kGHz},
}};

constexpr char Lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
constexpr char Upper(char c) noexcept { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// Windows-1251 bytes 0x80..0xFF as Unicode code points (0 where the page has none).
constexpr std::array<std::uint16_t, 128> kCp1251High{
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

char CodePointTo1251(std::uint32_t cp) noexcept {
    if (cp < 0x80) return static_cast<char>(cp);
    if (cp >= 0x0410 && cp <= 0x044F) return static_cast<char>(0xC0 + (cp - 0x0410));
    for (std::size_t i = 0; i < 64; ++i)
        if (kCp1251High[i] == cp) return static_cast<char>(0x80 + i);
    return '?';
}

}  // namespace

bool EqualNoCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

std::string_view TrimBlanks(std::string_view text) noexcept {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view UpperAscii(std::string_view text, std::string& buffer) {
    std::size_t i = 0;
    while (i < text.size() && !(text[i] >= 'a' && text[i] <= 'z')) ++i;
    if (i == text.size()) return text;
    buffer.assign(text);
    for (; i < buffer.size(); ++i) buffer[i] = Upper(buffer[i]);
    return buffer;
}

const BandInfo* BandFromAdif(std::string_view name) noexcept {
    if (name.empty() || name.size() > 6) return nullptr;
    for (const BandInfo& band : kBands)
        if (EqualNoCase(band.adif, name)) return &band;
    return nullptr;
}

const BandInfo* BandFromHz(std::uint64_t hz) noexcept {
    for (const BandInfo& band : kBands)
        if (hz >= band.lowHz && hz <= band.highHz) return &band;
    return nullptr;
}

std::optional<std::uint64_t> ParseHz(std::string_view text, std::uint64_t unitHz) noexcept {
    constexpr std::uint64_t kLimit = 1'000'000'000'000'000ULL;  // 10^15 Hz
    std::uint64_t whole = 0, fraction = 0, scale = unitHz;
    bool digits = false, point = false;
    for (char c : text) {
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            digits = true;
            const auto d = static_cast<std::uint64_t>(c - '0');
            if (!point) {
                whole = whole * 10 + d;
                if (whole > kLimit / unitHz) return std::nullopt;
            } else if (scale >= 10) {
                scale /= 10;
                fraction += d * scale;
            }
        } else {
            return std::nullopt;
        }
    }
    if (!digits) return std::nullopt;
    return whole * unitHz + fraction;
}

namespace {
// `digits` with the decimal point moved `shift` places right (positive) or
// left (negative), canonical: no leading zeros before the point, no trailing
// zeros after it, no point without digits after it.
std::string_view ShiftPoint(std::string_view number, int shift, std::string& out) {
    out.clear();
    const std::size_t point = number.find('.');
    const std::string_view whole = number.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : number.substr(point + 1);
    if (whole.empty() && fraction.empty()) return {};
    for (std::string_view part : {whole, fraction})
        for (char c : part)
            if (c < '0' || c > '9') return {};
    std::string digits(whole);
    digits.append(fraction);
    // The point stands after `at` digits.
    std::ptrdiff_t at = static_cast<std::ptrdiff_t>(whole.size()) + shift;
    if (at < 0) {
        digits.insert(0, static_cast<std::size_t>(-at), '0');
        at = 0;
    }
    if (static_cast<std::size_t>(at) > digits.size()) digits.append(static_cast<std::size_t>(at) - digits.size(), '0');
    std::string_view head = std::string_view(digits).substr(0, static_cast<std::size_t>(at));
    std::string_view tail = std::string_view(digits).substr(static_cast<std::size_t>(at));
    while (head.size() > 1 && head.front() == '0') head.remove_prefix(1);
    while (!tail.empty() && tail.back() == '0') tail.remove_suffix(1);
    out.assign(head.empty() ? std::string_view("0") : head);
    if (!tail.empty()) out.append(".").append(tail);
    return out;
}
}  // namespace

std::string_view KilohertzOfMegahertz(std::string_view mhz, std::string& buffer) {
    return ShiftPoint(mhz, 3, buffer);
}

std::string_view MegahertzOfKilohertz(std::string_view khz, std::string& buffer) {
    return ShiftPoint(khz, -3, buffer);
}

std::string_view BandFromCabrillo(std::string_view field) noexcept {
    if (field.empty() || field.size() > 24) return {};
    if (EqualNoCase(field, "LIGHT")) return "LIGHT";
    for (const BandInfo& band : kBands) {
        if (!band.cabrillo.empty() && EqualNoCase(band.cabrillo, field)) return band.host;
        if (band.host == field) return band.host;  // already the host's name
    }
    const std::optional<std::uint64_t> hz = ParseHz(field, kKHz);
    if (!hz || *hz < 100 * kKHz) return {};  // a bare small number names no band
    const BandInfo* band = BandFromHz(*hz);
    return band ? band->host : std::string_view{};
}

std::string_view ModeFromCabrillo(std::string_view field, std::string& buffer) {
    if (EqualNoCase(field, "CW")) return "CW";
    if (EqualNoCase(field, "PH") || EqualNoCase(field, "SSB") || EqualNoCase(field, "USB") ||
        EqualNoCase(field, "LSB"))
        return "SSB";
    if (EqualNoCase(field, "FM")) return "FM";
    if (EqualNoCase(field, "RY") || EqualNoCase(field, "RTTY")) return "RTTY";
    if (EqualNoCase(field, "DG")) return "DIGI";
    return UpperAscii(field, buffer);
}

std::string_view ModeFromAdif(std::string_view mode, std::string_view submode,
                              std::string& buffer) {
    if (EqualNoCase(mode, "SSB") || EqualNoCase(mode, "USB") || EqualNoCase(mode, "LSB"))
        return "SSB";
    if (EqualNoCase(mode, "CW")) return "CW";
    if (EqualNoCase(mode, "FM")) return "FM";
    if (EqualNoCase(mode, "AM")) return "AM";
    if (EqualNoCase(mode, "RTTY")) return "RTTY";
    if (mode.empty() && (EqualNoCase(submode, "USB") || EqualNoCase(submode, "LSB"))) return "SSB";
    return UpperAscii(submode.empty() ? mode : submode, buffer);
}

void AppendUtf8As1251(std::string_view utf8, std::string& out) {
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    while (i < n) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        std::size_t extra = b >= 0xF0 && b < 0xF8 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 ? 1 : 0;
        if (b >= 0xF8) extra = 0;
        std::uint32_t cp = extra == 3 ? b & 0x07u : extra == 2 ? b & 0x0Fu : b & 0x1Fu;
        std::size_t k = 1;  // bytes of the sequence that fit
        for (; k <= extra && i + k < n; ++k) {
            const auto c = static_cast<unsigned char>(utf8[i + k]);
            if ((c & 0xC0) != 0x80) break;
            cp = (cp << 6) | (c & 0x3Fu);
        }
        if (extra == 0 || k <= extra) {
            out.push_back('?');  // one '?' for a cut or broken sequence
            i += k;
            continue;
        }
        out.push_back(CodePointTo1251(cp));
        i += extra + 1;
    }
}

}  // namespace yol::contestlog
