// Country lookups over Debian's country file: 1,000,000 generated call signs
// of the mix a contest log holds (mostly Russian and European, some portable
// forms). Each repetition looks every call up once; the median aggregate is
// the time per call.
#include "contestlog/CountryFile.h"

#include <benchmark/benchmark.h>

#include <array>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using yol::contestlog::CountryFile;

constexpr std::size_t kCalls = 1'000'000;

const CountryFile* File() {
    static const std::unique_ptr<CountryFile> file = []() -> std::unique_ptr<CountryFile> {
        if (!std::filesystem::exists(CountryFile::kDefaultPath)) return nullptr;
        return std::make_unique<CountryFile>(CountryFile::Load(CountryFile::kDefaultPath));
    }();
    return file.get();
}

std::vector<std::string> MakeCalls() {
    // Prefix letters before the area digit; the first ones several times over.
    static constexpr std::array<const char*, 48> kPrefixes = {
        "R",  "RA", "RU", "RW", "RX", "RZ", "UA", "UB", "R",  "RA", "RN", "UA", "RK", "RV",
        "DL", "DK", "DJ", "G",  "M",  "GM", "F",  "I",  "EA", "SP", "OK", "OM", "HA", "YO",
        "LZ", "S5", "9A", "ES", "YL", "LY", "OH", "SM", "LA", "OZ", "PA", "ON", "UR", "EW",
        "K",  "W",  "N",  "JA", "VK", "VE"};
    std::mt19937 rng(20261208);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    std::vector<std::string> calls;
    calls.reserve(kCalls);
    for (std::size_t i = 0; i < kCalls; ++i) {
        std::string call = kPrefixes[pick(kPrefixes.size())];
        call += static_cast<char>('0' + pick(10));
        const std::size_t suffix = 1 + pick(3);
        for (std::size_t k = 0; k < suffix; ++k) call += static_cast<char>('A' + pick(26));
        switch (pick(50)) {
        case 0: call += "/P"; break;
        case 1: call += "/M"; break;
        case 2: call += "/QRP"; break;
        case 3: call += "/" + std::to_string(pick(10)); break;
        case 4: call = "DL/" + call; break;
        case 5: call += "/MM"; break;
        default: break;
        }
        calls.push_back(std::move(call));
    }
    return calls;
}

void BM_CountryLookup(benchmark::State& state) {
    const CountryFile* file = File();
    if (file == nullptr) {
        state.SkipWithError("no country file at /usr/share/hamradio-files/cty.dat");
        return;
    }
    static const std::vector<std::string> calls = MakeCalls();
    std::size_t i = 0;
    std::size_t found = 0;
    for (auto _ : state) {
        const auto* country = file->Lookup(calls[i]);
        benchmark::DoNotOptimize(country);
        found += country != nullptr;
        if (++i == calls.size()) i = 0;
    }
    state.counters["resolved"] = benchmark::Counter(static_cast<double>(found) /
                                                     static_cast<double>(state.iterations()));
}
BENCHMARK(BM_CountryLookup)
    ->Iterations(kCalls)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kNanosecond);

void BM_CountryFileLoad(benchmark::State& state) {
    if (!std::filesystem::exists(CountryFile::kDefaultPath)) {
        state.SkipWithError("no country file at /usr/share/hamradio-files/cty.dat");
        return;
    }
    for (auto _ : state) {
        CountryFile file = CountryFile::Load(CountryFile::kDefaultPath);
        benchmark::DoNotOptimize(file.EntityCount());
    }
}
BENCHMARK(BM_CountryFileLoad)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
