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

constexpr std::size_t kBookSize = 1'000'000;

// A generated log of a million contacts, recorded.
TScoreBook& FullBook() {
    static TScoreBook* book = [] {
        auto* b = new TScoreBook;
        contestsim::LogGenerator generator(1);
        auto r = OperatorRecord();
        for (std::size_t i = 0; i < kBookSize; ++i) {
            contestlog::StoreContact(*r, generator.Next());
            b->Evaluate(*r, true);
        }
        return b;
    }();
    return *book;
}

void BM_EvaluateOnly(benchmark::State& state) {
    TScoreBook& book = FullBook();
    // Half of them from the recorded log (mostly duplicates), half from
    // another one (mostly new).
    auto known = GeneratedRecords(kBookSize, 1);
    auto probes = GeneratedRecords(1024, 2);
    std::mt19937 rng(2);
    for (std::size_t i = 0; i < probes.size(); i += 2) probes[i] = std::move(known[rng() % kBookSize]);
    known.clear();
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(book.Evaluate(*probes[i++ & 1023], false));
}
BENCHMARK(BM_EvaluateOnly)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_Record(benchmark::State& state) {
    TScoreBook& book = FullBook();
    // Contacts of other logs, recorded as they come; storing them into the
    // record is part of the measured loop (a few nanoseconds).
    static contestsim::LogGenerator generator(3);
    std::vector<contestlog::Contact> contacts;
    for (std::int64_t i = 0; i < state.max_iterations; ++i) contacts.push_back(generator.Next());
    auto r = OperatorRecord();
    std::size_t i = 0;
    for (auto _ : state) {
        contestlog::StoreContact(*r, contacts[i++]);
        benchmark::DoNotOptimize(book.Evaluate(*r, true));
    }
}
BENCHMARK(BM_Record)->Iterations(20000)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
}  // namespace yol::bench

BENCHMARK_MAIN();
