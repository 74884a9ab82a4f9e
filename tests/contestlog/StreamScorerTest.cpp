// Scoring as the log is read against scoring the stored contacts in
// call-sign order: the same report byte for byte on generated and hostile
// logs, in the reading thread and on a second thread with any batch size,
// and the sorted way taken where the order of scoring shows.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "RunScorer.h"
#include "Scorer.h"
#include "contestlog/Generator.h"
#include "contestlog/LogWriter.h"
#include "scoring/Report.h"

namespace yol::score {
namespace {

using contestlog::Contact;
using test::Ran;

struct Scored {
    std::string report;
    std::size_t duplicates = 0;
    std::string fallback;
};

void Feed(contestlog::LogSink& sink, const std::vector<Contact>& log) {
    std::size_t place = 0;
    for (const Contact& c : log) {
        contestlog::ContactView e;
        e.place = ++place;
        e.call = c.call;
        e.band = c.band;
        e.mode = c.mode;
        e.report = c.report;
        e.dxcc = c.dxcc;
        e.mainPrefix = c.mainPrefix;
        e.continent = c.continent;
        sink.Contact(e);
    }
}

// The recalculation's way: every contact stored, sorted by call sign, scored.
Scored Sorted(const std::vector<Contact>& log, const Operator& me) {
    ContactStore store(false);
    Feed(store, log);
    const auto order = store.CallSignOrder();
    TScoreBook book;
    Scored s;
    s.duplicates = ScoreContacts(store, &order, me.prefix, me.continent, book);
    s.report = BuildReport(book.Tallies());
    return s;
}

Scored Streamed(const std::vector<Contact>& log, const Operator& me, bool concurrent,
                std::size_t batch = 16384) {
    StreamScorer stream([&](std::string_view) { return me; }, concurrent, batch);
    Feed(stream, log);
    stream.Finish();
    Scored s;
    s.fallback = std::string(stream.Fallback());
    if (s.fallback.empty()) {
        s.report = BuildReport(stream.Tallies());
        s.duplicates = stream.Duplicates();
    }
    EXPECT_EQ(stream.Size(), log.size());
    return s;
}

const Operator kHome{"UA1", "EU"}, kForeign{"DL", "EU"}, kAsia{"UA9", "AS"};

// Streamed in every way, the same report as sorted, or a fallback.
void ExpectSameAsSorted(const std::vector<Contact>& log, const Operator& me,
                        const std::string& what) {
    const Scored sorted = Sorted(log, me);
    for (const auto& [concurrent, batch] :
         std::vector<std::pair<bool, std::size_t>>{{false, 1}, {true, 1}, {true, 7}, {true, 16384}}) {
        const Scored s = Streamed(log, me, concurrent, batch);
        ASSERT_EQ(s.fallback, "") << what;
        EXPECT_EQ(s.report, sorted.report) << what << ", concurrent " << concurrent << ", batch " << batch;
        EXPECT_EQ(s.duplicates, sorted.duplicates) << what;
    }
}

// Calls, bands and the rest from small pools, so that duplicates, shared
// multipliers and ties are common; twins differ in everything but call,
// band and mode, so that which of them is recorded shows in the score.
std::vector<Contact> HostileLog(std::uint32_t seed, std::size_t count) {
    std::mt19937 rng(seed);
    auto pick = [&](const std::vector<std::string>& pool) { return pool[rng() % pool.size()]; };
    const std::string long255(255, 'W');
    const std::vector<std::string> calls{
        "UA1ABC", "ua1abc", "UA1ABC/P", "UA1AB", "UA1ABCD", "UA1ABCDEFGHIJ", "UA1ABCDEFGHIK",
        std::string("UA1\0AB", 6), std::string("UA1AB\0", 6), "", "A", "\xC0\xDF", "\xE0\xFF",
        "DL1ABC", "DL1ABC/P", "JA1XYZ", long255, long255.substr(0, 254) + "X",
        "UA9" + std::string(252, 'Q'), "UA9" + std::string(200, 'Q')};
    // Bands that differ only in ways the multiplier keys do not ignore.
    std::vector<std::string> bands{"14", "7", "3.5", "2m", "2m ", " 2m", std::string("1\0" "8", 3),
                                   "\xEC", "\xC0", "\x80", "\x9A", "|"};
    bands.back() = "10";  // '|' is a fallback case, tested on its own
    for (int i = 0; i < 30; ++i) bands.push_back("b" + std::to_string(i));
    const std::vector<std::string> modes{"CW", "cw", "SSB", "", "FT8"};
    const std::vector<std::string> reports{"599 MO05", "599 mo05", "59 MO05 ", "599 SP12", "599",
                                           "", std::string("599 MO05\0X", 10), "59 ZZ99", "1234"};
    const std::vector<std::string> dxccs{"UA1", "ua1", "UA9", " UA9", "DL", "dl", "JA", "", "UA2"};
    const std::vector<std::string> continents{"EU", "eu", "AS", "", "As"};
    std::vector<Contact> log;
    for (std::size_t i = 0; i < count; ++i)
        log.push_back({pick(calls), pick(bands), pick(modes), pick(reports), pick(dxccs),
                       pick(dxccs), pick(continents)});
    return log;
}

TEST(StreamScoring, GeneratedLogsGiveTheSortedReport) {
    for (const std::uint32_t seed : {1u, 7u, 21u}) {
        const auto log = contestlog::GenerateContacts(20000, seed);
        for (const Operator& me : {kHome, kForeign, kAsia})
            ExpectSameAsSorted(log, me, "seed " + std::to_string(seed) + " as " + me.prefix);
    }
}

TEST(StreamScoring, HostileLogsGiveTheSortedReport) {
    for (const std::uint32_t seed : {1u, 2u, 3u, 4u}) {
        const auto log = HostileLog(seed, 3000);
        for (const Operator& me : {kHome, kForeign})
            ExpectSameAsSorted(log, me, "hostile seed " + std::to_string(seed) + " as " + me.prefix);
    }
    // The band lines come in call-sign order's order, not the file's.
    const std::vector<Contact> log{{"ZZ1A", "14", "CW", "599 MO05", "UA9", "UA9", "AS"},
                                   {"ZZ1A", "7", "CW", "599 MO05", "UA9", "UA9", "AS"},
                                   {"AA1A", "7", "CW", "599 MO06", "UA9", "UA9", "AS"},
                                   {"AA1A", "3.5", "CW", "599 MO06", "UA9", "UA9", "AS"}};
    ExpectSameAsSorted(log, kHome, "three bands");
    const std::string report = Streamed(log, kHome, true).report;
    // File order would give 14, 7, 3.5; AA1A's contacts come first, in file order.
    EXPECT_LT(report.find("\n   7\t"), report.find("\n 3.5\t")) << report;
    EXPECT_LT(report.find("\n 3.5\t"), report.find("\n  14\t")) << report;
    ExpectSameAsSorted({}, kHome, "no contacts");
}

TEST(StreamScoring, LeftWithoutFinishingItStopsItsThread) {
    const auto log = contestlog::GenerateContacts(5000, 3);
    StreamScorer stream([](std::string_view) { return kHome; }, true, 100);
    Feed(stream, log);
}

// ---- through the command line ------------------------------------------------------

Ran RunYolscore(const std::vector<std::string>& args) {
    return test::RunYolscore(args, "/nonexistent/cty.dat");
}

std::string AdiRecord(const std::string& call, const std::string& station = {}) {
    auto field = [](const std::string& name, const std::string& value) {
        return "<" + name + ":" + std::to_string(value.size()) + ">" + value + " ";
    };
    std::string r = station.empty() ? std::string() : field("STATION_CALLSIGN", station);
    return r + field("CALL", call) + field("BAND", "20m") + field("MODE", "CW") +
           field("SRX_STRING", "599 MO05") + field("CONT", "AS") + field("APP_YOL_DXCCPREFIX", "UA9") +
           field("APP_YOL_MAINPREFIX", "UA9") + "<EOR>\n";
}

// A scratch file, removed afterwards: with the text given, or empty with the
// ending given (".sqlite").
class TempFile {
public:
    explicit TempFile(const std::string& textOrEnding)
        : path_((std::filesystem::temp_directory_path() /
                 ("yolscore-stream-" + std::to_string(std::random_device{}()) +
                  (textOrEnding.starts_with(".") ? textOrEnding : ".adi")))
                    .string()) {
        if (!textOrEnding.starts_with(".")) std::ofstream(path_, std::ios::binary) << textOrEnding;
    }
    ~TempFile() { std::filesystem::remove(path_); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Logs where scoring in file order would give another report: the scorer
// says so, and yolscore scores them the sorted way.
TEST(StreamScoring, WhereTheOrderShowsItFallsBack) {
    const Contact plain{"UA9ABC", "14", "CW", "599 MO05", "UA9", "UA9", "AS"};
    auto with = [&](Contact c, const std::string& call, const std::string& band,
                    const std::string& dxcc = "UA9") {
        c.call = call;
        c.band = band;
        c.dxcc = dxcc;
        return c;
    };
    const std::string cut(255, 'Q');
    const std::vector<std::pair<std::vector<Contact>, std::string>> cases{
        // Cut to the same 255 bytes: file order records the first, call-sign
        // order the second (worth more points).
        {{plain, with(plain, cut + "Z", "14"), with(plain, cut + "A", "14", "DL")}, "255"},
        // The district goes to the band whose contact comes first.
        {{plain, with(plain, "ZZ1A", "2M"), with(plain, "AA1A", "2m")}, "letter case"},
        {{with(plain, "ZZ1A", "2\xCC"), with(plain, "AA1A", "2\xEC")}, "letter case"},
        {{with(plain, "ZZ1A", "\x8A"), plain, with(plain, "AA1A", "\x9A")}, "letter case"},
        // "a|b" with "c" and "a" with "b|c" make the same country key.
        {{with(plain, "ZZ1A", "a|b", "c"), with(plain, "AA1A", "a", "b|c")}, "'|'"},
    };
    for (auto [log, why] : cases) {
        // Repeats between the last contact and the rest put them in separate
        // batches, so that the whole log is not scored in call-sign order.
        log.insert(log.end() - 1, 20000, plain);
        for (const bool concurrent : {false, true}) {
            const Scored s = Streamed(log, kHome, concurrent, 1);
            EXPECT_NE(s.fallback.find(why), std::string::npos) << why << ": " << s.fallback;
            EXPECT_EQ(s.report, "");
        }
        const TempFile db(".sqlite");
        sqlite3* handle = nullptr;
        ASSERT_EQ(sqlite3_open(db.path().c_str(), &handle), SQLITE_OK);
        contestlog::CreateLogTable(handle, "Log");
        {
            contestlog::SqliteLogWriter writer(handle, "Log");
            for (const Contact& c : log) writer.Write(c);
            writer.Finish();
        }
        sqlite3_close(handle);
        const Ran r = RunYolscore({"--my-prefix", "UA1", "--my-continent", "EU", "--db", db.path()});
        EXPECT_EQ(r.status, kClean) << r.err;
        EXPECT_EQ(r.out, Sorted(log, kHome).report + "\n") << why;
    }
    // Near pairs that are none: no fallback.
    ExpectSameAsSorted({with(plain, "A", "2m"), with(plain, "A", "2m "), with(plain, "A", "2\xEC"),
                        with(plain, "A", "2\xED"), with(plain, "A", std::string(255, 'b')),
                        with(plain, cut, "14")},
                       kHome, "near pairs");
}

TEST(StreamScoring, CommandLineFallsBackAndReportsProblemsOnce) {
    std::string text = "<EOH>\n" + AdiRecord("UA9ABC", "UA1AAA") + AdiRecord("") +
                       AdiRecord(std::string(300, 'Q')) + AdiRecord(std::string(255, 'Q') + "A");
    const TempFile file(text);
    const Ran r = RunYolscore({"--my-prefix", "UA1", "--my-continent", "EU", file.path()});
    EXPECT_EQ(r.status, kRejected);
    const std::string rejected = "line 3: record without CALL";
    ASSERT_NE(r.err.find(rejected), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(rejected, r.err.find(rejected) + 1), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("3 contacts scored in call-sign order as UA1 in EU"), std::string::npos)
        << r.err;
    const std::vector<Contact> log{{"UA9ABC", "14", "CW", "599 MO05", "UA9", "UA9", "AS"},
                                   {std::string(300, 'Q'), "14", "CW", "599 MO05", "UA9", "UA9", "AS"},
                                   {std::string(255, 'Q') + "A", "14", "CW", "599 MO05", "UA9", "UA9", "AS"}};
    EXPECT_EQ(r.out, Sorted(log, kHome).report + "\n");
}

TEST(StreamScoring, OwnCallSignNamedAfterTheFirstContactStillCounts) {
    // The first record names no station, the second does: every contact is
    // scored as that station's operator (DL in EU), not as the UA1 in EU
    // assumed while nothing named one.
    const TempFile cty(
        "European Russia:          16:  29:  EU:   53.65:   -41.37:    -4.0:  UA:\n"
        "    R,U;\n"
        "Fed. Rep. of Germany:     14:  28:  EU:   51.00:   -10.00:    -1.0:  DL:\n"
        "    DA,DL;\n");
    const TempFile file("<EOH>\n" + AdiRecord("UA9ABC") + AdiRecord("UA9XYZ", "DL1ABC") +
                        AdiRecord("DL1ABC"));
    const Ran r = RunYolscore({"--cty", cty.path(), file.path()});
    EXPECT_EQ(r.status, kClean) << r.err;
    EXPECT_NE(r.err.find("scored in call-sign order as DL in EU"), std::string::npos) << r.err;
    const std::vector<Contact> log{{"UA9ABC", "14", "CW", "599 MO05", "UA9", "UA9", "AS"},
                                   {"UA9XYZ", "14", "CW", "599 MO05", "UA9", "UA9", "AS"},
                                   {"DL1ABC", "14", "CW", "599 MO05", "UA9", "UA9", "AS"}};
    EXPECT_EQ(r.out, Sorted(log, {"DL", "EU"}).report + "\n");
    EXPECT_NE(r.out, Sorted(log, kHome).report + "\n");
    // Named by the options, the operator is known from the start.
    const Ran given = RunYolscore({"--my-prefix", "UA9", "--my-continent", "AS", file.path()});
    EXPECT_EQ(given.status, kClean) << given.err;
    EXPECT_EQ(given.out, Sorted(log, kAsia).report + "\n");
}

}  // namespace
}  // namespace yol::score
