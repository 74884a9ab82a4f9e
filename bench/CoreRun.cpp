// Whole-run measurements of the scoring core:
//  - memory of a score book holding a million contacts (resident growth per contact),
//  - per-call latency of Evaluate at that size (median and 99th percentile),
//  - recalculation of a million-row SQLite log against a bare walk of the
//    same query reading the same seven columns, alternated in one run.
//
//   yol_core_run [--rows 1000000] [--db /tmp/yol-bench.sqlite]
// The log is generated into --db unless it already holds the table.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "BenchData.h"
#include "contestlog/LogWriter.h"
#include "logdb/Recalc.h"
#include "logdb/SqliteLogQuery.h"
#include "scoring/ScoreBook.h"

namespace yol::bench {
namespace {

using Clock = std::chrono::steady_clock;

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

template <class T>
T Median(std::vector<T> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct NoEvents : EventPump {
    void DeliverPendingEvents() override {}
};

void MakeLog(sqlite3* db, std::uint32_t rows) {
    sqlite3_exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    contestlog::DropLogTable(db, "Log");
    contestlog::CreateLogTable(db, "Log");
    contestlog::SqliteLogWriter log(db, "Log");
    contestsim::LogGenerator generator(11);
    for (std::uint32_t i = 0; i < rows; ++i) log.Write(generator.Next());
    log.Finish();
    contestlog::CreateCallSignIndex(db, "Log");
}

std::size_t BareWalk(LogQuery& q) {
    std::size_t bytes = 0;
    q.Close();
    q.SetText(LogQueryText("Log"));
    q.Open();
    while (!q.AtEnd()) {
        for (std::string_view column : kLogColumns) bytes += q.ColumnAsText(column).size();
        q.Next();
    }
    q.Close();
    return bytes;
}

}  // namespace
}  // namespace yol::bench

int main(int argc, char** argv) {
    using namespace yol;
    using namespace yol::bench;
    std::uint32_t rows = 1'000'000;
    std::string path = "/tmp/yol-bench.sqlite";
    bool bookPart = true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--recalc-only") == 0) bookPart = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--rows") == 0) rows = static_cast<std::uint32_t>(std::atol(argv[i + 1]));
        if (std::strcmp(argv[i], "--db") == 0) path = argv[i + 1];
    }

    // Memory and Evaluate latency with a million contacts.
    if (bookPart) {
        auto r = OperatorRecord();
        contestsim::LogGenerator generator(5);
        const long before = ResidentKiB();
        auto book = std::make_unique<TScoreBook>();
        for (std::uint32_t i = 0; i < 1'000'000; ++i) {
            contestlog::StoreContact(*r, generator.Next());
            book->Evaluate(*r, true);
        }
        const long after = ResidentKiB();
        std::printf("book: %zu contacts, %.1f bytes per contact (resident growth)\n",
                    book->ContactCount(), static_cast<double>(after - before) * 1024.0 / static_cast<double>(book->ContactCount()));

        // Evaluate-only on contacts of the same log and of another one, half
        // and half; record on contacts of a third.
        contestsim::LogGenerator same(5), other(6), fresh(7);
        std::mt19937 rng(5);
        for (bool record : {false, true}) {
            std::vector<double> ns;
            for (std::uint32_t i = 0; i < 20000; ++i) {
                contestlog::StoreContact(*r, record ? fresh.Next() : (rng() % 2 ? same : other).Next());
                const auto t0 = Clock::now();
                book->Evaluate(*r, record);
                ns.push_back(Seconds(Clock::now() - t0) * 1e9);
            }
            std::sort(ns.begin(), ns.end());
            std::printf("evaluate %-13s median %.0f ns, p99 %.0f ns\n",
                        record ? "record:" : "evaluate-only:", ns[ns.size() / 2], ns[ns.size() * 99 / 100]);
        }
    }

    // Recalculation against the bare walk.
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    {
        SqliteLogQuery probe(db);
        probe.SetText("SELECT count(*) AS n FROM Log");
        bool fresh = true;
        try {
            probe.Open();
            fresh = std::atol(std::string(probe.ColumnAsText("n")).c_str()) != static_cast<long>(rows);
        } catch (const LogQueryError&) {
        }
        probe.Close();
        if (fresh) MakeLog(db, rows);
    }
    SqliteLogQuery query(db);
    NoEvents pump;
    auto current = std::make_unique<ContactRecord>();
    StoreShortText(current->TableName, "Log");
    StoreShortText(current->MyDXCCPrefix, "UA1");
    StoreShortText(current->MyContinent, "EU");
    TScoreBook book;
    BareWalk(query);  // warm the page cache
    std::vector<double> walk, recalc;
    const char* only = std::getenv("YOL_BENCH_ONLY");  // "walk" or "recalc", for profiling one side
    for (int run = 0; run < 5; ++run) {
        auto t0 = Clock::now();
        if (!only || std::strcmp(only, "recalc") != 0) BareWalk(query);
        walk.push_back(Seconds(Clock::now() - t0));
        t0 = Clock::now();
        if (!only || std::strcmp(only, "walk") != 0) RecalcFromLog(query, pump, *current, book, {});
        recalc.push_back(Seconds(Clock::now() - t0));
    }
    std::printf("log: %u rows, %zu contacts recorded\n", rows, book.ContactCount());
    std::printf("bare walk median %.3f s, recalculation median %.3f s, ratio %.3f\n", Median(walk),
                Median(recalc), Median(recalc) / Median(walk));
    sqlite3_close(db);
    return 0;
}
