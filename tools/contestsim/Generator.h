// Realistic YOL contest logs, seeded: the same seed gives the same contacts.
// Mostly home stations (UA1, UA2, UA9) sending district reports, a DX mix,
// the occasional portable, duplicate, malformed or empty report and
// lower-case continent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "contestlog/Contact.h"

namespace yol::contestsim {

// One country of the generated logs. Its call signs are a stem, a digit
// where the stem has '#', and two or three letters, the first of them from
// `firstLetters`. Stems, digits and letters are chosen so that the country
// file (cty.dat) puts every such call in this country: `dxcc` is the host's
// prefix of that entity ("UA1" for European Russia) and `continent` its
// continent.
struct GeneratorCountry {
    const char* dxcc;
    const char* mainPrefix;
    const char* continent;
    const char* stems;         // space-separated: "UA9 RA9", "DL# DK#"
    const char* digits;        // what '#' becomes
    const char* firstLetters;  // the first letter after the digit
    int weight;
    bool home;
};

std::span<const GeneratorCountry> GeneratorCountries() noexcept;

class LogGenerator {
public:
    explicit LogGenerator(std::uint32_t seed);

    // The next contact of the log.
    contestlog::Contact Next();

    // A call sign of the country, without portable suffix.
    std::string CallOf(const GeneratorCountry& country);

private:
    int Below(int n);
    std::string Report(bool home);

    std::mt19937 rng_;
    std::vector<int> countryWeights_;
    std::vector<contestlog::Contact> recent_;  // what a duplicate repeats
};

std::vector<contestlog::Contact> GenerateContacts(std::size_t count, std::uint32_t seed);

}  // namespace yol::contestsim
