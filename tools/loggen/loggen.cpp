// Writes a realistic YOL contest log: into a SQLite table with the columns
// the recalculation reads, or as a Cabrillo or ADIF file holding the same
// contacts. Seeded, so the same arguments give the same log. With --contest,
// a whole simulated contest instead: every station's log and the truth of
// what went wrong in them (docs/contest-sim.md).
#include <sqlite3.h>

#include "cli/CommandLine.h"
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "contestsim/ContestSim.h"
#include "contestsim/ContestSimWrite.h"
#include "contestsim/Generator.h"
#include "contestlog/LogWriter.h"

#ifndef YOL_VERSION
#define YOL_VERSION "unknown"
#endif

namespace {

constexpr const char* kAbout =
    "Writes a test log of random contacts, or a whole simulated contest with the truth beside it.\n"
    "  yolloggen --db FILE [--table Log] [--rows N] [--seed S] [--no-mainprefix] [--append]\n"
    "  yolloggen --format cabrillo|adi|adx FILE [--rows N] [--seed S] [--call CALL]\n"
    "  yolloggen --out DIR [--stations N] [--seed S] [rates]\n"
    "A simulated contest (2026-12-12 12:00 to 2026-12-13 12:00 UTC): DIR/logs/ holds a Cabrillo\n"
    "(.log) or ADIF (.adi) log per station that sent one, DIR/truth.csv every true contact and\n"
    "every error put into the logs (docs/contest-sim.md). The rates are shares: of log lines\n"
    "(--busted-call, --exchange-error, --missing, --jitter), of contacts (--dupe, --outside),\n"
    "of stations (--clock, --no-log, --checklog, --adif, --portable).";

constexpr int kUsageError = 2;

// Whole numbers from 0 up to `most`, as the options always took them.
CLI::Validator Count(std::uint64_t most) {
    return CLI::Validator(
        [most](std::string& text) -> std::string {
            std::uint64_t n = 0;
            const char* end = text.data() + text.size();
            const auto [at, error] = std::from_chars(text.data(), end, n);
            if (text.empty() || error != std::errc() || at != end || n > most) return "not a number: " + text;
            return {};
        },
        "");
}

int UsageError(const std::string& message) {
    std::fputs(yol::cli::UsageMessage("yolloggen", message).c_str(), stderr);
    return kUsageError;
}

bool quiet = false;  // -q: errors only

int WriteSingleLog(const std::string& path, const std::string& table, const std::string& format,
                   long long rows, std::uint32_t seed, bool withMain, bool append,
                   const yol::contestlog::Station& station) {
    using namespace yol::contestlog;
    using namespace yol::contestsim;
    LogFormat kind = LogFormat::Sqlite;
    if (format == "cabrillo") kind = LogFormat::Cabrillo;
    else if (format == "adi") kind = LogFormat::Adi;
    else if (format == "adx") kind = LogFormat::Adx;
    else if (format != "sqlite") return UsageError("--format is sqlite, cabrillo, adi or adx, not " + format);

    LogGenerator generator(seed);
    if (kind == LogFormat::Sqlite) {
        sqlite3* db = nullptr;
        if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
            std::fprintf(stderr, "yolloggen: cannot open %s: %s\n", path.c_str(), sqlite3_errmsg(db));
            sqlite3_close(db);
            return 1;
        }
        std::unique_ptr<sqlite3, int (*)(sqlite3*)> close(db, sqlite3_close);
        sqlite3_exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
        if (!append) DropLogTable(db, table);
        CreateLogTable(db, table, {.mainPrefix = withMain});
        {
            SqliteLogWriter writer(db, table, {.mainPrefix = withMain});
            for (long long n = 0; n < rows; ++n) writer.Write(generator.Next());
            writer.Finish();
        }
        // The recalculation reads in call-sign order; an index keeps that cheap.
        CreateCallSignIndex(db, table);
        if (!quiet) std::printf("%s: %lld rows in table %s (seed %u)\n", path.c_str(), rows, table.c_str(), seed);
        return 0;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        std::fprintf(stderr, "yolloggen: cannot write %s\n", path.c_str());
        return 1;
    }
    const auto writer = MakeFileLogWriter(kind, out, station);
    for (long long n = 0; n < rows; ++n) writer->Write(generator.Next());
    writer->Finish();
    out.flush();
    if (!out) {
        std::fprintf(stderr, "yolloggen: writing %s failed\n", path.c_str());
        return 1;
    }
    if (!quiet)
        std::printf("%s: %lld contacts as %s (seed %u)\n", path.c_str(), rows, std::string(FormatName(kind)).c_str(),
                    seed);
    return 0;
}

int WriteContest(const std::string& dir, const yol::contestsim::SimOptions& options) {
    using namespace yol::contestlog;
    using namespace yol::contestsim;
    const auto start = std::chrono::steady_clock::now();
    const ContestSim sim(options);
    const SimWritten written = yol::contestsim::WriteContest(sim, dir);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!quiet)
        std::printf("%s: %zu stations, %zu true contacts, %zu logs with %zu contact lines, truth.csv %zu rows "
                "(seed %llu, %.1f s)\n",
                dir.c_str(), sim.Stations().size(), sim.ContactCount(), written.logs, written.lines,
                written.truthRows, static_cast<unsigned long long>(options.seed), seconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string path, table = "Log", format = "sqlite", contest;
    long long rows = 5000;
    std::uint64_t seed = 1;
    bool withMain = true, append = false, version = false;
    yol::contestlog::Station station;
    yol::contestsim::SimOptions sim;

    CLI::App app(kAbout, "yolloggen");
    yol::cli::Configure(app);
    app.set_help_flag("-h,--help", "this help");
    app.add_flag("--version", version, "the program's version");
    app.add_flag("-q,--quiet", quiet, "print errors only");
    auto* db = app.add_option("--db", path, "the SQLite log to write (--format sqlite)")->type_name("FILE");
    auto* file = app.add_option("FILE", path, "the log file to write (any --format)")->excludes(db);
    auto* tableOption = app.add_option("--table", table, "the log table (default Log), dropped first unless --append")
                            ->type_name("T");
    auto* formatOption = app.add_option("--format", format,
                                        "the output's format: sqlite (default), cabrillo, adi or adx; the same seed\n"
                                        "gives the same contacts in every format")->type_name("F");
    auto* rowsOption = app.add_option("--rows", rows, "contacts (default 5000)")
                           ->check(Count(std::numeric_limits<long long>::max()))->type_name("N");
    app.add_option("--seed", seed, "the generator's seed (default 1)")
        ->check(Count(std::numeric_limits<std::uint64_t>::max()))->type_name("S");
    auto* callOption = app.add_option("--call", station.call,
                                      "the log's own call sign in Cabrillo and ADIF (default UA1AAA)")->type_name("CALL");
    auto* noMain = app.add_flag("--no-mainprefix", [&](std::int64_t) { withMain = false; },
                                "a table without the MainPrefix column, as older logs have");
    auto* appendOption = app.add_flag("--append", append, "add to the table instead of replacing it");

    auto* contestOption = app.add_option("--out,--contest", contest,
                                         "the folder for a simulated contest (--contest: its older name)")
                              ->type_name("DIR");
    for (CLI::Option* single : {db, file, tableOption, formatOption, rowsOption, callOption, noMain, appendOption})
        contestOption->excludes(single);
    std::vector<CLI::Option*> contestOnly;
    contestOnly.push_back(app.add_option("--stations", sim.stations, "stations in the simulated contest (2 to 1,000,000)")
                              ->check(CLI::Range(2, 1'000'000).description(""))->type_name("N"));
    contestOnly.push_back(app.add_option("--contacts-per-log", sim.contactsPerLog, "contacts of an average log")
                              ->check(CLI::Range(1.0, 100000.0).description(""))->type_name("N"));
    const std::pair<const char*, double*> rates[] = {
        {"--busted-call", &sim.bustedCall}, {"--exchange-error", &sim.exchange}, {"--missing", &sim.missing},
        {"--jitter", &sim.jitter},          {"--dupe", &sim.dupe},               {"--outside", &sim.outside},
        {"--clock", &sim.clock},            {"--no-log", &sim.noLog},            {"--checklog", &sim.checkLog},
        {"--adif", &sim.adif},              {"--portable", &sim.portable},
    };
    for (const auto& [name, value] : rates)
        contestOnly.push_back(app.add_option(name, *value, "a share from 0 to 1 (see above)")
                                  ->check(CLI::Range(0.0, 1.0).description(""))->type_name("SHARE"));
    for (CLI::Option* option : contestOnly) option->needs(contestOption);

    app.footer(yol::cli::ExitStatuses({
        {0, "the log or the contest written"},
        {1, "it could not be written (the file or folder named)"},
        {kUsageError, "usage error"},
    }));
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return 0;
    } catch (const CLI::ParseError& e) {
        return UsageError(e.what());
    }
    if (version) {
        std::printf("yolloggen %s\n", YOL_VERSION);
        return 0;
    }
    try {
        if (!contest.empty()) {
            if (sim.bustedCall + sim.exchange + sim.missing > 1)
                return UsageError("--busted-call, --exchange-error and --missing add up to more than 1");
            if (sim.noLog + sim.checkLog > 1) return UsageError("--no-log and --checklog add up to more than 1");
            sim.seed = seed;
            return WriteContest(contest, sim);
        }
        if (path.empty()) return UsageError("--db FILE, a log FILE or --out DIR (a simulated contest) is required");
        return WriteSingleLog(path, table, format, rows, static_cast<std::uint32_t>(seed), withMain, append,
                              station);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "yolloggen: %s\n", e.what());
        return 1;
    }
}
