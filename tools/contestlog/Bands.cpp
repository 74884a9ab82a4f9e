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

}  // namespace

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

const BandInfo* BandFromHost(std::string_view host) noexcept {
    for (const BandInfo& band : kBands)
        if (band.host == host) return &band;
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

std::string BandName(std::string_view host) {
    const BandInfo* band = BandFromHost(host);
    return band ? std::string(band->adif) : std::string(host);
}

}  // namespace yol::contestlog
