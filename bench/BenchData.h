// Realistic contacts for the benchmarks.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "host/Plugin.h"

namespace yol::bench {

// The n-th of a family of distinct call signs of 5 to 10 characters.
inline std::string CallSign(std::uint32_t n) {
    static const char* const stems[] = {"UA", "RA", "RW", "RZ", "RN", "DL", "DK", "SP", "OK",
                                        "UR", "UT", "EW", "HA", "JA", "W",  "K",  "N",  "VE",
                                        "PY", "VK", "G",  "F",  "I",  "IK", "OH", "SM", "LA"};
    constexpr std::uint32_t kStems = sizeof stems / sizeof stems[0];
    std::string call = stems[n % kStems];
    n /= kStems;
    call += static_cast<char>('0' + n % 10);
    n /= 10;
    do {
        call += static_cast<char>('A' + n % 26);
        n /= 26;
    } while (n != 0);
    if (call.size() < 5) call += 'X';
    return call;
}

inline void FillContact(ContactRecord& r, std::uint32_t n, std::mt19937& rng) {
    static const char* const bands[] = {"1.8", "3.5", "7", "14", "21", "28"};
    static const char* const dxcc[] = {"UA1", "UA9", "DL", "SP", "W", "JA", "UA2", "F"};
    static const char* const continents[] = {"EU", "AS", "EU", "EU", "NA", "AS", "EU", "EU"};
    const std::uint32_t c = rng() % 8;
    StoreShortText(r.CallSign, CallSign(n));
    StoreShortText(r.DigiBand, bands[rng() % 6]);
    StoreShortText(r.QSOMode, rng() % 3 == 0 ? "SSB" : "CW");
    StoreShortText(r.DXCCPrefix, dxcc[c]);
    StoreShortText(r.Continent, continents[c]);
    // About 2,400 district codes, as many as a real contest has.
    static const char* const areas[] = {"MO", "SP", "LO", "NV", "KR", "SV", "NS", "OM", "TO", "KE",
                                        "AL", "PM", "BA", "TA", "CB", "VO", "RO", "KD", "ST", "SA",
                                        "UL", "PE", "NN", "VL", "YA", "KS", "TU", "OR", "BR", "LP",
                                        "TB", "RA", "IV", "KO", "AR", "MU", "KL", "PS", "TV", "SM"};
    const std::string report = std::string("599 ") + areas[rng() % 40] + std::to_string(10 + rng() % 60);
    StoreShortText(r.QSOReportRecived, report);
}

}  // namespace yol::bench
