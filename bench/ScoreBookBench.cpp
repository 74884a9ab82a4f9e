// Evaluate with a million contacts already in the book, in both modes.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "BenchData.h"
#include "scoring/ScoreBook.h"

namespace yol::bench {
namespace {

constexpr std::uint32_t kBookSize = 1'000'000;

TScoreBook& FullBook() {
    static TScoreBook* book = [] {
        auto* b = new TScoreBook;
        auto r = std::make_unique<ContactRecord>();
        StoreShortText(r->MyDXCCPrefix, "UA1");
        StoreShortText(r->MyContinent, "EU");
        std::mt19937 rng(1);
        std::vector<std::uint32_t> order(kBookSize);
        for (std::uint32_t i = 0; i < kBookSize; ++i) order[i] = i * 2;  // odd numbers stay new
        std::shuffle(order.begin(), order.end(), rng);
        for (std::uint32_t n : order) {
            FillContact(*r, n, rng);
            b->Evaluate(*r, true);
        }
        return b;
    }();
    return *book;
}

void BM_EvaluateOnly(benchmark::State& state) {
    TScoreBook& book = FullBook();
    auto r = std::make_unique<ContactRecord>();
    StoreShortText(r->MyDXCCPrefix, "UA1");
    StoreShortText(r->MyContinent, "EU");
    std::mt19937 rng(2);
    std::vector<std::unique_ptr<ContactRecord>> probes;
    for (int i = 0; i < 1024; ++i) {
        auto p = std::make_unique<ContactRecord>(*r);
        FillContact(*p, static_cast<std::uint32_t>(rng() % (2 * kBookSize)), rng);  // half known
        probes.push_back(std::move(p));
    }
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(book.Evaluate(*probes[i++ & 1023], false));
}
BENCHMARK(BM_EvaluateOnly)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_Record(benchmark::State& state) {
    TScoreBook& book = FullBook();
    auto r = std::make_unique<ContactRecord>();
    StoreShortText(r->MyDXCCPrefix, "UA1");
    StoreShortText(r->MyContinent, "EU");
    std::mt19937 rng(3);
    FillContact(*r, 1, rng);
    // Odd numbers were never recorded; storing the call sign is part of the
    // measured loop (a few nanoseconds).
    static std::uint32_t next = 1;
    std::vector<std::string> calls;
    for (std::int64_t i = 0; i < state.max_iterations; ++i) calls.push_back(CallSign(next += 2));
    std::size_t i = 0;
    for (auto _ : state) {
        StoreShortText(r->CallSign, calls[i++]);
        benchmark::DoNotOptimize(book.Evaluate(*r, true));
    }
}
BENCHMARK(BM_Record)->Iterations(20000)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
}  // namespace yol::bench

BENCHMARK_MAIN();
