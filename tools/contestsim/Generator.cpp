#include "contestsim/Generator.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace yol::contestsim {
using namespace contestlog;
namespace {

constexpr const char* kAnyDigit = "0123456789";
constexpr const char* kAnyLetter = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";

// Home stations dominate a YOL log; the rest is a DX mix. In the country file
// UA9F, UA9G and UA9X (and the same after RA9, RW9, ...) are European Russia,
// R?2F and R?2K Kaliningrad, W/K/N calls of some two-letter stems sit under
// KL7 or KH6, VK0/VK9, PY0, G0/G8, I1, OL0 and VE2 have calls listed on their
// own elsewhere: the stems and letters below stay clear of all of them.
constexpr std::array<GeneratorCountry, 18> kCountries{{
    {"UA1", "UA1", "EU", "UA1 RA1 RN1 RW1 RZ1 UA3 RK3 RN3 RU6 RW6 UA4", "", kAnyLetter, 30, true},
    {"UA2", "UA2", "EU", "UA2 RA2 RK2 RN2", "", "FK", 4, true},
    {"UA9", "UA9", "AS", "UA9 RA9 RW9 RZ9 UA0 RA0 RK0", "", "ABCDEHIJKLMNOPQRSTUVWYZ", 16, true},
    {"DL", "DL", "EU", "DL# DK# DJ# DF#", kAnyDigit, kAnyLetter, 8, false},
    {"SP", "SP", "EU", "SP# SQ# SO#", kAnyDigit, kAnyLetter, 5, false},
    {"OK", "OK", "EU", "OK# OL#", "123456789", kAnyLetter, 4, false},
    {"UR", "UR", "EU", "UR# UT# UX# US#", kAnyDigit, kAnyLetter, 6, false},
    {"EU", "EU", "EU", "EU# EW#", kAnyDigit, kAnyLetter, 4, false},
    {"F", "F", "EU", "F#", kAnyDigit, kAnyLetter, 3, false},
    {"G", "G", "EU", "G# M#", "1234567", kAnyLetter, 3, false},
    {"I", "I", "EU", "I# IK# IZ#", "2345678", kAnyLetter, 3, false},
    {"HA", "HA", "EU", "HA# HG#", kAnyDigit, kAnyLetter, 2, false},
    {"UN", "UN", "AS", "UN# UP#", kAnyDigit, kAnyLetter, 3, false},
    {"JA", "JA", "AS", "JA# JH# JR#", kAnyDigit, kAnyLetter, 2, false},
    {"K", "K", "NA", "WM# WN# WR# NJ# NK# KT#", kAnyDigit, kAnyLetter, 4, false},
    {"VE", "VE", "NA", "VE# VA#", "1345679", kAnyLetter, 1, false},
    {"PY", "PY", "SA", "PY# PU#", "123456789", kAnyLetter, 1, false},
    {"VK", "VK", "OC", "VK#", "12345678", kAnyLetter, 1, false},
}};

constexpr std::array<const char*, 6> kBands{"1.8", "3.5", "7", "14", "21", "28"};
constexpr std::array<int, 6> kBandWeights{6, 14, 25, 30, 15, 10};
constexpr std::array<const char*, 24> kDistrictAreas{
    "MO", "SP", "LO", "NV", "KR", "SV", "NS", "OM", "TO", "KE", "AL", "PM",
    "BA", "TA", "CB", "VO", "RO", "KD", "ST", "SA", "UL", "PE", "NN", "VL"};
constexpr std::size_t kRecent = 1000;

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    while (!text.empty()) {
        const std::size_t space = text.find(' ');
        if (space != 0) words.push_back(text.substr(0, space));
        if (space == std::string_view::npos) break;
        text.remove_prefix(space + 1);
    }
    return words;
}

template <class Weights>
std::size_t Weighted(int r, const Weights& weights) {
    for (std::size_t i = 0; i < weights.size(); ++i) {
        if (r < weights[i]) return i;
        r -= weights[i];
    }
    return 0;
}

template <class Weights>
int Total(const Weights& weights) {
    int total = 0;
    for (int w : weights) total += w;
    return total;
}

}  // namespace

std::span<const GeneratorCountry> GeneratorCountries() noexcept { return kCountries; }

LogGenerator::LogGenerator(std::uint32_t seed) : rng_(seed) {
    for (const GeneratorCountry& c : kCountries) countryWeights_.push_back(c.weight);
    recent_.reserve(kRecent);
}

int LogGenerator::Below(int n) { return static_cast<int>(rng_() % static_cast<std::uint32_t>(n)); }

std::string LogGenerator::CallOf(const GeneratorCountry& c) {
    const auto stems = Words(c.stems);
    const std::string_view stem = stems[static_cast<std::size_t>(Below(static_cast<int>(stems.size())))];
    std::string call;
    for (char ch : stem) {
        if (ch == '#') {
            const std::string_view digits = c.digits;
            call += digits[static_cast<std::size_t>(Below(static_cast<int>(digits.size())))];
        } else {
            call += ch;
        }
    }
    const std::string_view first = c.firstLetters;
    call += first[static_cast<std::size_t>(Below(static_cast<int>(first.size())))];
    for (int i = 1 + Below(2); i > 0; --i) call += static_cast<char>('A' + Below(26));
    return call;
}

std::string LogGenerator::Report(bool home) {
    const std::string rst = Below(3) == 0 ? "59" : "599";
    if (!home && Below(4) != 0) return rst + " " + std::to_string(1 + Below(300));  // a serial
    const std::string area = kDistrictAreas[static_cast<std::size_t>(Below(kDistrictAreas.size()))];
    char digits[8];
    std::snprintf(digits, sizeof digits, "%02d", 1 + Below(60));
    switch (Below(40)) {  // the occasional untidy exchange
        case 0: return rst + " " + area + "-" + digits;
        case 1: return rst;
        case 2: return "";
        case 3: return rst + " " + area + digits[0];
        case 4: {
            std::string lower = area + digits;
            for (char& ch : lower)
                if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 32);
            return rst + " " + lower;
        }
        default: return rst + " " + area + digits;
    }
}

Contact LogGenerator::Next() {
    if (!recent_.empty() && Below(50) == 0)  // worked twice: a duplicate
        return recent_[static_cast<std::size_t>(Below(static_cast<int>(recent_.size())))];
    const GeneratorCountry& c = kCountries[Weighted(Below(Total(countryWeights_)), countryWeights_)];
    Contact q;
    q.call = CallOf(c);
    if (Below(60) == 0) q.call += "/P";
    q.band = kBands[Weighted(Below(Total(kBandWeights)), kBandWeights)];
    q.mode = Below(3) == 0 ? "SSB" : "CW";
    q.report = Report(c.home);
    q.dxcc = c.dxcc;
    q.mainPrefix = c.mainPrefix;
    q.continent = c.continent;
    if (Below(100) == 0)
        for (char& ch : q.continent) ch = static_cast<char>(ch + 32);  // "eu"
    if (recent_.size() < kRecent) recent_.push_back(q);
    else recent_[static_cast<std::size_t>(Below(kRecent))] = q;
    return q;
}

std::vector<Contact> GenerateContacts(std::size_t count, std::uint32_t seed) {
    LogGenerator generator(seed);
    std::vector<Contact> contacts;
    contacts.reserve(count);
    while (contacts.size() < count) contacts.push_back(generator.Next());
    return contacts;
}

}  // namespace yol::contestsim
