// yolscore's command line as users run it: usage errors and exit statuses,
// the operator, rejections and notes kept apart, a host's database scored as
// the window scores it, input from pipes and standard input, every write
// checked, and the logs where the order of scoring shows.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "contestlog/ContactStore.h"
#include "RunScorer.h"
#include "contestsim/Generator.h"
#include "contestlog/LogWriter.h"
#include "scoring/Report.h"

namespace yol::score {
namespace {

using contestlog::Contact;
using contestlog::ContactStore;
using contestlog::ScoreContacts;
using contestlog::LogFormat;
using test::AuditLog;
using test::HaveDebianCountries;
using test::Ran;
using test::Row;
using test::RunYolscore;
using test::TempDir;
using test::WindowReport;
using test::WriteFile;
using test::WriteLog;

Ran Score(const std::vector<std::string>& args) { return RunYolscore(args); }

// Scored without any country file.
Ran ScoreWithoutCountries(const std::vector<std::string>& args) {
    return RunYolscore(args, "/nonexistent/cty.dat");
}

// The arguments with the operator named (no country file needed).
std::vector<std::string> AsUa1(std::vector<std::string> args) {
    args.insert(args.begin(), {"--my-prefix", "UA1", "--my-continent", "EU"});
    return args;
}

constexpr std::string_view kSmallCty =
    "European Russia:          16:  29:  EU:   53.65:   -41.37:    -4.0:  UA:\n"
    "    R,U;\n"
    "Asiatic Russia:           17:  30:  AS:   55.88:   -84.08:    -7.0:  UA9:\n"
    "    R0,R8,R9,UA0,UA8,UA9;\n"
    "Fed. Rep. of Germany:     14:  28:  EU:   51.00:   -10.00:    -1.0:  DL:\n"
    "    DA,DL;\n"
    "England:                  14:  27:  EU:   52.77:     1.47:     0.0:  G:\n"
    "    G,M;\n";

// ---- command line ---------------------------------------------------------------

TEST(CommandLine, UsageErrorsExitTwo) {
    TempDir dir;
    WriteLog(LogFormat::Adi, dir / "log.adi", contestsim::GenerateContacts(50, 1));
    const std::string log = dir / "log.adi";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--prefix", "UA9", log},
             {log, "--my-prefix"},
             {},
             {"--format", "xml", log},
             {log, log},
             {"--summary", "--format", "json", log},
             {"--parse-only", "--audit", log},
             {"--table", "Log", log},
             {"--db", log}}) {
        const Ran r = Score(args);
        EXPECT_EQ(r.status, kUsageError) << ::testing::PrintToString(args);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("yolscore: ", 0), 0u) << r.err;
    }
    EXPECT_NE(Score({"--prefix", "UA9", log}).err.find("unknown option --prefix"), std::string::npos);
    EXPECT_NE(Score({log, "--my-prefix"}).err.find("--my-prefix needs a value"), std::string::npos);
    EXPECT_NE(Score({"--format", "xml", log}).err.find("\nRun with --help for more information.\n"), std::string::npos);
    // The help in CLI11's layout, as every tool's, ending with the exit statuses.
    const Ran help = Score({"--help"});
    EXPECT_EQ(help.status, kClean);
    EXPECT_NE(help.out.find("Usage: yolscore"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("  --format F "), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("  -q,--quiet "), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("Exit status:\n  0  every contact scored"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("\n  2  usage error, or the --html folder refused"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("\n  4  the report or the --html folder could not be written"), std::string::npos) << help.out;
    // --html is a folder, as yolcheck's; --replace as yolcheck's.
    EXPECT_NE(help.out.find("  --html DIR "), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("  --replace "), std::string::npos) << help.out;
    // -q: the note that the contacts were scored goes, the report stays.
    const Ran loud = Score({log}), quiet = Score({"-q", log});
    EXPECT_NE(loud.err.find("contacts scored in"), std::string::npos) << loud.err;
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.out, loud.out);
}

TEST(CommandLine, OperatorOptionsChangeTheScore) {
    TempDir dir;
    WriteLog(LogFormat::Sqlite, dir / "log.sqlite", contestsim::GenerateContacts(300, 2));
    const std::string ua1 = Score({"--db", dir / "log.sqlite"}).out;
    const Ran ua9 = Score({"--db", dir / "log.sqlite", "--my-prefix", "UA9", "--my-continent", "AS"});
    EXPECT_EQ(ua9.status, kClean);
    EXPECT_NE(ua9.out, ua1);
    EXPECT_EQ(ua9.out, Score({"--my-continent", "AS", "--my-prefix", "UA9", dir / "log.sqlite"}).out);
    EXPECT_EQ(ua9.err.find("scoring as UA1"), std::string::npos);
}

TEST(CommandLine, RejectedLinesAreNamedAndTheRestScored) {
    if (!HaveDebianCountries()) GTEST_SKIP() << "Debian's cty.dat missing";
    TempDir dir;
    std::string text = AuditLog();
    text.insert(text.find("END-OF-LOG"), "QSO: 99999999 CW 2024-05-04 1205 UA1AAA 599 MO01 DL2ABC 599 14\n"
                                         "QSO: 14012 CW\n");
    WriteFile(dir / "bad.log", text);
    const Ran r = Score({dir / "bad.log"});
    EXPECT_EQ(r.status, kRejected);
    EXPECT_NE(r.err.find("yolscore: " + (dir / "bad.log") + ": line 8: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("yolscore: " + (dir / "bad.log") + ": line 9: "), std::string::npos) << r.err;
    WriteFile(dir / "good.log", AuditLog());
    EXPECT_EQ(r.out, Score({dir / "good.log"}).out);

    const Ran parse = Score({"--parse-only", dir / "bad.log"});
    EXPECT_EQ(parse.status, kRejected);
    EXPECT_EQ(parse.out.substr(0, parse.out.find(' ')), "5");

    EXPECT_EQ(Score({dir / "missing.adi"}).status, kUnreadable);
    EXPECT_EQ(Score({"--cty", dir / "missing.dat", dir / "good.log"}).status, kUnreadable);
    WriteFile(dir / "empty.cty", "");
    const Ran noCountry = Score({"--cty", dir / "empty.cty", dir / "good.log"});
    EXPECT_EQ(noCountry.status, kUnreadable) << noCountry.err;
}

// ---- the logs where the order of scoring shows -----------------------------------

std::string AdiRecord(const std::string& call, const std::string& station = {}) {
    auto field = [](const std::string& name, const std::string& value) {
        return "<" + name + ":" + std::to_string(value.size()) + ">" + value + " ";
    };
    std::string r = station.empty() ? std::string() : field("STATION_CALLSIGN", station);
    return r + field("CALL", call) + field("BAND", "20m") + field("MODE", "CW") +
           field("SRX_STRING", "599 MO05") + field("CONT", "AS") + field("APP_YOL_DXCCPREFIX", "UA9") +
           field("APP_YOL_MAINPREFIX", "UA9") + "<EOR>\n";
}

// The report of the contacts stored and scored in call-sign order.
std::string Sorted(const std::vector<Contact>& log, std::string_view myPrefix, std::string_view myContinent) {
    ContactStore store(false);
    for (const Contact& c : log) store.Contact(contestlog::View(c));
    const auto order = store.CallSignOrder();
    TScoreBook book;
    ScoreContacts(store, &order, myPrefix, myContinent, book);
    return BuildReport(book.Tallies()) + "\n";
}

// Logs where scoring in another order would give another report: a table
// scores as the window scores it, and so does the same log as a file.
TEST(OrderShows, TablesScoreAsTheWindowAndFilesInCallSignOrder) {
    const Contact plain = Row("UA9ABC", "14", "CW", "599 MO05", "UA9", "UA9", "AS");
    auto with = [&](Contact c, const std::string& call, const std::string& band, const std::string& dxcc = "UA9") {
        c.call = call;
        c.band = band;
        c.dxcc = dxcc;
        return c;
    };
    const std::string cut(255, 'Q');
    const std::vector<std::vector<Contact>> cases{
        // Cut to the same 255 bytes: file order records the first, call-sign
        // order the second (worth more points).
        {plain, with(plain, cut + "Z", "14"), with(plain, cut + "A", "14", "DL")},
        // The district goes to the band whose contact comes first.
        {plain, with(plain, "ZZ1A", "2M"), with(plain, "AA1A", "2m")},
        {with(plain, "ZZ1A", "2\xCC"), with(plain, "AA1A", "2\xEC")},
        {with(plain, "ZZ1A", "\x8A"), plain, with(plain, "AA1A", "\x9A")},
        // "a|b" with "c" and "a" with "b|c" make the same country key.
        {with(plain, "ZZ1A", "a|b", "c"), with(plain, "AA1A", "a", "b|c")},
    };
    TempDir dir;
    int n = 0;
    for (auto log : cases) {
        log.insert(log.end() - 1, 2000, plain);
        const std::string db = dir / ("case" + std::to_string(++n) + ".sqlite");
        WriteLog(LogFormat::Sqlite, db, log);
        const Ran r = ScoreWithoutCountries({"--my-prefix", "UA1", "--my-continent", "EU", "--db", db});
        EXPECT_EQ(r.status, kClean) << r.err;
        EXPECT_EQ(r.out, WindowReport(db, "UA1")) << n;
        EXPECT_EQ(r.out, Sorted(log, "UA1", "EU")) << n;
    }
}

TEST(OrderShows, LongCallsScoredSortedAndProblemsReportedOnce) {
    TempDir dir;
    WriteFile(dir / "log.adi", "<EOH>\n" + AdiRecord("UA9ABC", "UA1AAA") + AdiRecord("") +
                                   AdiRecord(std::string(300, 'Q')) + AdiRecord(std::string(255, 'Q') + "A"));
    const Ran r = ScoreWithoutCountries({"--my-prefix", "UA1", "--my-continent", "EU", dir / "log.adi"});
    EXPECT_EQ(r.status, kRejected);
    const std::string rejected = "line 3: record without CALL";
    ASSERT_NE(r.err.find(rejected), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(rejected, r.err.find(rejected) + 1), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("3 contacts scored in call-sign order as UA1 in EU"), std::string::npos) << r.err;
    const std::vector<Contact> log{Row("UA9ABC", "14", "CW", "599 MO05", "UA9", "UA9", "AS"),
                                   Row(std::string(300, 'Q'), "14", "CW", "599 MO05", "UA9", "UA9", "AS"),
                                   Row(std::string(255, 'Q') + "A", "14", "CW", "599 MO05", "UA9", "UA9", "AS")};
    EXPECT_EQ(r.out, Sorted(log, "UA1", "EU"));
}

TEST(OrderShows, OwnCallSignNamedAfterTheFirstContactStillCounts) {
    // The first record names no station, the second does: every contact is
    // scored as that station's operator (DL in EU), not as UA1 in EU.
    TempDir dir;
    WriteFile(dir / "cty.dat", kSmallCty);
    WriteFile(dir / "log.adi", "<EOH>\n" + AdiRecord("UA9ABC") + AdiRecord("UA9XYZ", "DL1ABC") + AdiRecord("DL1ABC"));
    const Ran r = ScoreWithoutCountries({"--cty", dir / "cty.dat", dir / "log.adi"});
    EXPECT_EQ(r.status, kClean) << r.err;
    EXPECT_NE(r.err.find("scored in call-sign order as DL in EU"), std::string::npos) << r.err;
    const std::vector<Contact> log{Row("UA9ABC", "14", "CW", "599 MO05", "UA9", "UA9", "AS"),
                                   Row("UA9XYZ", "14", "CW", "599 MO05", "UA9", "UA9", "AS"),
                                   Row("DL1ABC", "14", "CW", "599 MO05", "UA9", "UA9", "AS")};
    EXPECT_EQ(r.out, Sorted(log, "DL", "EU"));
    EXPECT_NE(r.out, Sorted(log, "UA1", "EU"));
    // Named by the options, the operator is known from the start.
    const Ran given = ScoreWithoutCountries({"--my-prefix", "UA9", "--my-continent", "AS", dir / "log.adi"});
    EXPECT_EQ(given.status, kClean) << given.err;
    EXPECT_EQ(given.out, Sorted(log, "UA9", "AS"));
}

// ---- a host's database ------------------------------------------------------------

// A table as a host may keep it: columns without types, values as given.
void WriteRawTable(const std::string& path, const std::vector<std::string>& inserts) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    std::string sql = "create table Log (QSOReportRecived, DXCCPrefix, MainPrefix, CallSign, DigiBand, "
                      "QSOMode, Continent);";
    for (const std::string& values : inserts) sql += "insert into Log values (" + values + ");";
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

TEST(HostDatabase, ScoredAsTheTableStandsNothingFilled) {
    if (!HaveDebianCountries()) GTEST_SKIP() << "Debian's cty.dat missing";
    TempDir dir;
    WriteRawTable(dir / "log.sqlite", {"'599 MO05', 'DL', 'DL', 'DL1AA', '14', 'CW', ''",
                                       "'599 MO05', '', 'UA9', 'RA9AA', '14', 'CW', 'AS'"});
    const Ran r = Score({"--db", dir / "log.sqlite", "--my-prefix", "UA1", "--my-continent", "EU"});
    EXPECT_EQ(r.status, kClean) << r.err;
    EXPECT_EQ(r.out, WindowReport(dir / "log.sqlite", "UA1"));
    // The empty fields are worth a note each, and only a note.
    EXPECT_NE(r.err.find(dir / "log.sqlite" + ": record 1: note: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(dir / "log.sqlite" + ": record 2: note: "), std::string::npos) << r.err;
}

TEST(HostDatabase, ScoredInTheDatabasesOwnCallSignOrder) {
    // Calls held as integers sort before texts and by value: 9 before 10.
    TempDir dir;
    WriteRawTable(dir / "log.sqlite", {"'599 MO05', 'UA9', 'UA9', 10, '14', 'CW', 'AS'",
                                       "'599 MO06', 'UA9', 'UA9', 9, '7', 'CW', 'AS'",
                                       "'599 MO07', 'UA9', 'UA9', 'UA9AA', '3.5', 'CW', 'AS'"});
    const Ran r = ScoreWithoutCountries({"--db", dir / "log.sqlite"});
    EXPECT_EQ(r.status, kClean) << r.err;
    EXPECT_EQ(r.out, WindowReport(dir / "log.sqlite", "UA1"));
    EXPECT_LT(r.out.find("\n   7\t"), r.out.find("\n  14\t")) << r.out;
}

TEST(HostDatabase, TableNamedAsTheHostHoldsIt) {
    TempDir dir;
    const std::string path = dir / "log.sqlite";
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        contestlog::CreateLogTable(db, "My Log");
        contestlog::SqliteLogWriter writer(db, "My Log");
        for (const contestlog::Contact& c : contestsim::GenerateContacts(30, 4)) writer.Write(c);
        writer.Finish();
        sqlite3_close(db);
    }
    const std::string window = WindowReport(path, "UA1", "EU", "\"My Log\"");
    for (const char* table : {"\"My Log\"", "My Log"}) {
        const Ran r = ScoreWithoutCountries({"--db", path, "--table", table});
        EXPECT_EQ(r.status, kClean) << table << ": " << r.err;
        EXPECT_EQ(r.out, window) << table;
    }
}

TEST(HostDatabase, AnEmptyTableLackingAColumnScoresAsTheWindowDoes) {
    TempDir dir;
    const std::string path = dir / "log.sqlite";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    auto exec = [&](const std::string& sql) {
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    };
    exec("create table Log (CallSign, DigiBand, QSOMode, QSOReportRecived, DXCCPrefix, Continent);"
         "create table NoCall (DigiBand, QSOMode, QSOReportRecived, DXCCPrefix, MainPrefix, Continent)");
    const Ran empty = ScoreWithoutCountries({"--db", path});
    EXPECT_EQ(empty.status, kClean) << empty.err;
    EXPECT_EQ(empty.out, WindowReport(path, "UA1"));
    // Without the column the recalculation sorts by, the window fails too.
    const Ran noCall = ScoreWithoutCountries({"--db", path, "--table", "NoCall"});
    EXPECT_EQ(noCall.status, kUnreadable);
    EXPECT_NE(noCall.err.find("table NoCall: no column CallSign"), std::string::npos) << noCall.err;
    EXPECT_ANY_THROW(WindowReport(path, "UA1", "EU", "NoCall"));
    // With a row, the missing column is read: unreadable, in both.
    exec("insert into Log values ('DL1AA', '14', 'CW', '599 MO05', 'DL', 'EU')");
    const Ran rows = ScoreWithoutCountries({"--db", path});
    EXPECT_EQ(rows.status, kUnreadable);
    EXPECT_NE(rows.err.find("table Log: no column MainPrefix"), std::string::npos) << rows.err;
    EXPECT_ANY_THROW(WindowReport(path, "UA1"));
    sqlite3_close(db);
}

// ---- input and output ---------------------------------------------------------------

TEST(InputOutput, PipesAndStandardInput) {
    TempDir dir;
    WriteLog(LogFormat::Adi, dir / "log.adi", contestsim::GenerateContacts(2000, 5));
    const Ran fromFile = ScoreWithoutCountries(AsUa1({dir / "log.adi"}));
    ASSERT_EQ(fromFile.status, kClean) << fromFile.err;
    std::string text;
    {
        std::FILE* f = std::fopen((dir / "log.adi").c_str(), "rb");
        text = test::Drain(f);
    }
    ASSERT_GT(text.size(), 4096u);

    // A named pipe, written by another thread.
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
        std::FILE* f = std::fopen(fifo.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    });
    const Ran fromPipe = ScoreWithoutCountries(AsUa1({fifo}));
    writer.join();
    EXPECT_EQ(fromPipe.status, kClean) << fromPipe.err;
    EXPECT_EQ(fromPipe.out, fromFile.out);

    // "-": standard input.
    const int saved = dup(0);
    const int file = open((dir / "log.adi").c_str(), O_RDONLY);
    ASSERT_GE(file, 0);
    dup2(file, 0);
    close(file);
    const Ran fromStdin = ScoreWithoutCountries(AsUa1({"-"}));
    dup2(saved, 0);
    close(saved);
    clearerr(stdin);
    EXPECT_EQ(fromStdin.status, kClean) << fromStdin.err;
    EXPECT_EQ(fromStdin.out, fromFile.out);
}

// Runs with the report going to `out` (messages caught).
Ran ScoreInto(std::FILE* out, const std::vector<std::string>& args) {
    std::FILE* err = std::tmpfile();
    Ran r;
    r.status = RunScorer(AsUa1(args), out, err, "/nonexistent/cty.dat");
    r.err = test::Drain(err);
    return r;
}

TEST(InputOutput, AFailedWriteIsAnErrorWithAMessage) {
    TempDir dir;
    WriteLog(LogFormat::Adi, dir / "log.adi", contestsim::GenerateContacts(3000, 6));
    const std::string log = dir / "log.adi";
    if (std::FILE* full = std::fopen("/dev/full", "w")) {
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {log}, {"--help"}, {"--version"}, {"--audit", log}, {"--summary", log},
                 {"--format", "json", log}, {"--parse-only", log}}) {
            const Ran r = ScoreInto(full, args);
            EXPECT_EQ(r.status, kUnwritten) << ::testing::PrintToString(args);
            EXPECT_NE(r.err.find("yolscore: cannot write the report: "), std::string::npos) << r.err;
            clearerr(full);
        }
        std::fclose(full);
    }
    // A pipe whose reader has gone, SIGPIPE ignored (as `| head -1` under a
    // shell that ignores it).
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    struct sigaction ignore = {}, before = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &before);
    std::FILE* closed = fdopen(ends[1], "w");
    const Ran r = ScoreInto(closed, {"--audit", log});
    std::fclose(closed);
    sigaction(SIGPIPE, &before, nullptr);
    EXPECT_EQ(r.status, kUnwritten);
    EXPECT_NE(r.err.find("cannot write the report: "), std::string::npos) << r.err;
}

// ---- what the log and its reading say ---------------------------------------------

TEST(LogFacts, RejectionsAndNotesKeptApart) {
    TempDir dir;
    WriteFile(dir / "cty.dat", kSmallCty);
    // G2CCC/MM is in no country: scored, with a note. Line 5 is rejected.
    WriteFile(dir / "a.log", "START-OF-LOG: 3.0\nCALLSIGN: UA1AAA\nCLAIMED-SCORE: 12345\n"
                             "QSO: 14012 CW 2024-05-04 1200 UA1AAA 599 MO01 G2CCC/MM 599 12\n"
                             "QSO: 14012 CW\n"
                             "QSO: 14012 CW 2024-05-04 1201 UA1AAA 599 MO01 UA9ABC 599 NS05\n"
                             "END-OF-LOG:\n");
    const std::string cty = dir / "cty.dat";
    const Ran summary = Score({"--cty", cty, "--summary", dir / "a.log"});
    EXPECT_EQ(summary.status, kRejected) << summary.err;
    EXPECT_NE(summary.out.find("2 contacts, 0 duplicates, 1 line rejected, 1 note, scored"), std::string::npos)
        << summary.out;
    EXPECT_NE(summary.out.find("The log claims: 12345 (CLAIMED-SCORE)\n"), std::string::npos) << summary.out;
    EXPECT_NE(summary.err.find("line 4: note: "), std::string::npos) << summary.err;
    EXPECT_EQ(summary.err.find("line 5: note: "), std::string::npos) << summary.err;

    const Ran json = Score({"--cty", cty, "--format", "json", dir / "a.log"});
    EXPECT_NE(json.out.find(",\"claimedScore\":12345,\"rejected\":1,\"notes\":1}\n"), std::string::npos) << json.out;

    // Only notes: every contact scored, exit 0.
    WriteFile(dir / "b.log", "START-OF-LOG: 3.0\nCALLSIGN: UA1AAA\n"
                             "QSO: 14012 CW 2024-05-04 1200 UA1AAA 599 MO01 G2CCC/MM 599 12\n"
                             "QSO: 14012 CW 2024-05-04 1201 UA1AAA 599 MO01 UA9ABC 599 NS05\n"
                             "END-OF-LOG:\n");
    const Ran notes = Score({"--cty", cty, "--summary", dir / "b.log"});
    EXPECT_EQ(notes.status, kClean) << notes.err;
    EXPECT_NE(notes.out.find("0 duplicates, 1 note, scored"), std::string::npos) << notes.out;
    EXPECT_EQ(notes.out.find("rejected"), std::string::npos) << notes.out;
    const Ran noClaim = Score({"--cty", cty, "--format", "json", dir / "b.log"});
    EXPECT_NE(noClaim.out.find(",\"claimedScore\":null,\"rejected\":0,\"notes\":1}\n"), std::string::npos)
        << noClaim.out;
}

TEST(LogFacts, AuditShowsEveryCountedCountryEvenWithoutAPrefix) {
    TempDir dir;
    WriteFile(dir / "cty.dat", kSmallCty);
    WriteFile(dir / "a.log", "START-OF-LOG: 3.0\nCALLSIGN: UA1AAA\n"
                             "QSO: 14012 CW 2024-05-04 1200 UA1AAA 599 MO01 G2CCC/MM 599 12\n"
                             "END-OF-LOG:\n");
    const std::string cty = dir / "cty.dat";
    const Ran report = Score({"--cty", cty, "--format", "csv", dir / "a.log"});
    EXPECT_NE(report.out.find("\r\n14,1,"), std::string::npos) << report.out;
    EXPECT_NE(report.out.find(",0,1,\r\n"), std::string::npos) << report.out;  // one country counted
    const Ran text = Score({"--cty", cty, "--audit", dir / "a.log"});
    EXPECT_NE(text.out.find("line 3: G2CCC/MM 14 CW: "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find(", new country (no prefix)\n"), std::string::npos) << text.out;
    const Ran json = Score({"--cty", cty, "--audit", "--format", "json", dir / "a.log"});
    EXPECT_NE(json.out.find("\"newCountry\":\"\"}"), std::string::npos) << json.out;
    const Ran csv = Score({"--cty", cty, "--audit", "--format", "csv", dir / "a.log"});
    EXPECT_NE(csv.out.find(",(no prefix)\r\n"), std::string::npos) << csv.out;
}

TEST(LogFacts, AnOwnCallNoCountryPlacesStopsTheRun) {
    TempDir dir;
    WriteFile(dir / "cty.dat", kSmallCty);
    WriteFile(dir / "a.log", "START-OF-LOG: 3.0\nCALLSIGN: M0CCX/MM\n"
                             "QSO: 14012 CW 2024-05-04 1200 M0CCX/MM 599 MO01 UA9ABC 599 NS05\n"
                             "END-OF-LOG:\n");
    const std::string cty = dir / "cty.dat";
    const Ran r = Score({"--cty", cty, dir / "a.log"});
    EXPECT_EQ(r.status, kUsageError);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("M0CCX/MM is in no country"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--my-prefix and --my-continent"), std::string::npos) << r.err;
    EXPECT_EQ(Score({"--cty", cty, "--my-continent", "EU", dir / "a.log"}).status, kUsageError);
    const Ran given = Score({"--cty", cty, "--my-prefix", "UA1", "--my-continent", "EU", dir / "a.log"});
    EXPECT_EQ(given.status, kClean) << given.err;
}

TEST(LogFacts, ADamagedCountryFileLineIsSaidAndCounted) {
    // Asiatic Russia's CQ zone damaged: RA9ABC falls to European Russia and
    // scores otherwise; the run says which line and exits as for a rejection.
    TempDir dir;
    std::string damaged(kSmallCty);
    damaged.replace(damaged.find("17:  30:  AS"), 2, "17x");
    WriteFile(dir / "cty.dat", damaged);
    WriteFile(dir / "a.log", "START-OF-LOG: 3.0\nCALLSIGN: DL1AA\n"
                             "QSO: 14012 CW 2024-05-04 1200 DL1AA 599 001 RA9ABC 599 NS05\n"
                             "END-OF-LOG:\n");
    const std::string cty = dir / "cty.dat";
    const Ran r = Score({"--cty", cty, dir / "a.log"});
    EXPECT_EQ(r.status, kRejected) << r.err;
    EXPECT_NE(r.err.find(cty + ": line 3: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("'17x'"), std::string::npos) << r.err;
}

TEST(LogFacts, MessagesNameThingsOnce) {
    TempDir dir;
    WriteLog(LogFormat::Adi, dir / "log.adi", contestsim::GenerateContacts(20, 1));
    const Ran db = Score({"--db", dir / "log.adi"});
    EXPECT_EQ(db.status, kUsageError);
    EXPECT_NE(db.err.find(" is an ADIF (.adi) log, not a SQLite database"), std::string::npos) << db.err;

    const Ran ctyDir = Score({"--cty", dir / "", dir / "log.adi"});
    EXPECT_EQ(ctyDir.status, kUnreadable);
    EXPECT_NE(ctyDir.err.find("is a directory"), std::string::npos) << ctyDir.err;

    WriteLog(LogFormat::Sqlite, dir / "log.sqlite", contestsim::GenerateContacts(20, 1));
    const Ran table = Score({"--db", dir / "log.sqlite", "--table", "Nope"});
    EXPECT_EQ(table.status, kUnreadable);
    const std::string path = dir / "log.sqlite";
    ASSERT_NE(table.err.find(path), std::string::npos) << table.err;
    EXPECT_EQ(table.err.find(path, table.err.find(path) + 1), std::string::npos) << table.err;

    const Ran version = Score({"--version"});
    EXPECT_EQ(version.status, kClean);
    EXPECT_EQ(version.out.rfind("yolscore ", 0), 0u) << version.out;
    EXPECT_EQ(version.out.back(), '\n');
}

}  // namespace
}  // namespace yol::score
