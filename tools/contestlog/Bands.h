// Bands and modes as the host writes them, from what log files carry:
// ADIF band names, frequencies, Cabrillo band designators and mode codes.
// The tables are listed in docs/log-fields.md.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "contestlog/Text.h"

namespace yol::contestlog {

struct BandInfo {
    std::string_view adif;      // "20m"
    std::string_view host;      // "14": DigiBand as the host writes it
    std::string_view cabrillo;  // "144", "1.2G": Cabrillo's designator from 50 MHz up, else empty
    std::uint64_t lowHz, highHz;
};

// The band an ADIF BAND value names (any case), or null.
const BandInfo* BandFromAdif(std::string_view name) noexcept;
// The band a frequency lies in (edges included), or null.
const BandInfo* BandFromHz(std::uint64_t hz) noexcept;
// The band the host names so ("14", "3.5", "144"), or null.
const BandInfo* BandFromHost(std::string_view host) noexcept;
// The band as people name it ("20m") from the host's name ("14"); the text
// as it is where it names no band.
std::string BandName(std::string_view host);
// DigiBand of a Cabrillo frequency field: kHz ("14025", "7005.5"), a
// designator from 50 MHz up ("144", "1.2G", "LIGHT") or the host's own band
// name ("3.5"). Empty when it names no amateur band.
std::string_view BandFromCabrillo(std::string_view field) noexcept;

// A decimal number ("14.05", "7005") times `unitHz` (1,000,000 for MHz, 1,000
// for kHz); digits below 1 Hz are dropped. Empty for anything but digits with
// at most one '.', or for values beyond 10^15 Hz.
std::optional<std::uint64_t> ParseHz(std::string_view text, std::uint64_t unitHz) noexcept;

// A decimal frequency moved three places: MHz as kHz ("14.0125" -> "14012.5",
// "7" -> "7000") and back ("14012.5" -> "14.0125"), without leading zeros or
// a trailing '.'. Empty for anything but digits with at most one '.'.
// `buffer` holds the text.
std::string_view KilohertzOfMegahertz(std::string_view mhz, std::string& buffer);
std::string_view MegahertzOfKilohertz(std::string_view khz, std::string& buffer);

// QSOMode of a Cabrillo mode field: CW, PH -> SSB, FM, RY -> RTTY, DG -> DIGI;
// anything else upper-cased as written. `buffer` holds the text when it had
// to be changed.
std::string_view ModeFromCabrillo(std::string_view field, std::string& buffer);
// QSOMode of ADIF MODE and SUBMODE: SSB, USB and LSB -> SSB; CW, FM, AM and
// RTTY as they are; any other mode by its SUBMODE when there is one (MFSK/FT4
// -> FT4), else by its MODE; upper-cased.
std::string_view ModeFromAdif(std::string_view mode, std::string_view submode, std::string& buffer);

}  // namespace yol::contestlog
