// The host simulator's bench: --bench N fills the log with N contacts and
// times (a) a plain walk of the log through the same connection object, (b)
// the module's recalculation (the "Recalc Statistic" command) and (c)
// _AddQSO with the book that full.
#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "Host.h"
#include "contestsim/Generator.h"
#include "logdb/AdoLogQuery.h"
#include "logdb/Recalc.h"

namespace yol::host {
namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0.0 : (n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0);
}

}  // namespace

int RunBench(const Options& o, IDispatch* connection, sqlite3* db) {
    constexpr int kRuns = 5;
    constexpr std::size_t kAddCalls = 500;
    PrepareLogTable(db, o.table, true);
    AppendToLog(db, o.table, contestsim::GenerateContacts(o.bench, o.seed));
    std::printf("bench rows %zu\n", o.bench);

    // (a) The simulator's own walk: the module's query, every column read as
    // text, nothing scored.
    std::vector<double> walk;
    std::size_t bytes = 0, rows = 0;
    yol::AdoLogQuery query(connection);
    for (int run = 0; run < kRuns; ++run) {
        const double start = NowMs();
        query.SetText(yol::LogQueryText(o.table));
        query.Open();
        for (rows = 0; !query.AtEnd(); query.Next(), ++rows)
            for (std::string_view column : yol::kLogColumns) bytes += query.ColumnAsText(column).size();
        query.Close();
        walk.push_back(NowMs() - start);
    }
    std::printf("bench walk rows %zu best_ms %.2f median_ms %.2f (%zu bytes read)\n", rows,
                *std::min_element(walk.begin(), walk.end()), Median(walk), bytes);

    // For telling the module's share apart: the scoring core's recalculation
    // over the same query, in this process, without a window.
    std::vector<double> core;
    {
        HostRecords coreRecords(o, connection);
        yol::ContactRecord& current = coreRecords.For(nullptr);
        yol::TScoreBook book;
        struct NoEvents : yol::EventPump {
            void DeliverPendingEvents() override {}
        } pump;
        for (int run = 0; run < kRuns; ++run) {
            const double start = NowMs();
            yol::RecalcFromLog(query, pump, current, book, {});
            core.push_back(NowMs() - start);
        }
    }
    std::printf("bench core best_ms %.2f median_ms %.2f (scoring core over the same query, no window)\n",
                *std::min_element(core.begin(), core.end()), Median(core));

    // (b) The module's recalculation, through the window's command.
    Module module(o.dll);
    HostRecords records(o, connection);
    double start = NowMs();
    HWND window = static_cast<HWND>(module.Run(0, &records.For(nullptr)));
    std::printf("bench run_ms %.2f (window creation and first recalculation)\n", NowMs() - start);
    Pump();
    if (!IsWindow(window)) {
        std::printf("bench FAILED: _Run gave no window\n");
        return 1;
    }
    std::vector<double> recalc;
    for (int run = 0; run < kRuns; ++run) {
        start = NowMs();
        if (!ClickRecalc(window)) {
            std::printf("bench FAILED: no Recalc Statistic button\n");
            return 1;
        }
        recalc.push_back(NowMs() - start);
        Pump();
    }
    const bool reported = ReportText(window).find("Score:") != std::string::npos;
    std::printf("bench recalc best_ms %.2f median_ms %.2f%s\n", *std::min_element(recalc.begin(), recalc.end()),
                Median(recalc), reported ? "" : " (NO REPORT)");
    std::printf("bench ratio %.3f (recalc median / walk median, target <= 1.3)\n", Median(recalc) / Median(walk));
    std::printf("bench shares walk_ms %.2f scoring_ms %.2f window_ms %.2f (of the recalc median)\n", Median(walk),
                Median(core) - Median(walk), Median(recalc) - Median(core));

    // (c) _AddQSO with the book holding the log, report rewrite included.
    // _GetScore beside it tells the report rewrite's share apart.
    const auto more = contestsim::GenerateContacts(kAddCalls, o.seed + 7);
    std::vector<double> add, score;
    for (const LogContact& c : more) {
        yol::ContactRecord& r = records.For(&c);
        start = NowMs();
        module.GetScore(&r);
        score.push_back((NowMs() - start) * 1000.0);
        start = NowMs();
        module.AddQSO(&r);
        add.push_back((NowMs() - start) * 1000.0);
        Pump();
    }
    std::printf("bench addqso book %zu calls %zu median_us %.1f best_us %.1f\n", o.bench, add.size(), Median(add),
                *std::min_element(add.begin(), add.end()));
    std::printf("bench getscore median_us %.1f (no report rewrite)\n", Median(score));
    std::fflush(stdout);
    ReleaseAndUnload(module, window);
    return reported ? 0 : 1;
}

}  // namespace yol::host
