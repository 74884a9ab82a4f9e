// The SQLite reader: the host's table read as it stands, in the host's order,
// and databases that are damaged, locked or come through a pipe.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>

#include "LogReaderTestSink.h"
#include "contestlog/CountryFile.h"
#include "contestlog/LogReader.h"
#include "contestlog/Sqlite.h"

namespace yol::contestlog {
namespace {

using test::CollectingSink;

// ---- SQLite ----------------------------------------------------------------------

class SqliteTest : public testing::Test {
protected:
    void SetUp() override {
        path_ = (std::filesystem::temp_directory_path() /
                 ("yol-logreader-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                  "-" + testing::UnitTest::GetInstance()->current_test_info()->name() + ".sqlite"))
                    .string();
        std::filesystem::remove(path_);
    }
    void TearDown() override {
        for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path_ + suffix);
    }
    void Exec(const std::string& sql) { ExecSql(OpenSqlite(path_).get(), sql); }
    std::string path_;
};

TEST_F(SqliteTest, ReadsRowsInFileOrder) {
    Exec("CREATE TABLE Log (Id INTEGER PRIMARY KEY, CallSign TEXT, DigiBand TEXT, QSOMode TEXT,"
         " QSOReportRecived TEXT, DXCCPrefix TEXT, MainPrefix TEXT, Continent TEXT, Extra TEXT);"
         "INSERT INTO Log VALUES (5, 'UA3AAA', '7', 'CW', '599 MO05', 'UA1', 'UA1', 'eu', 'x');"
         "INSERT INTO Log VALUES (2, 'DL1AA', 14, 'SSB', NULL, 'DL', 'DL', 'EU', 'y');");
    CollectingSink sink;
    ReadSqlite(path_, ReadOptions{}, sink);
    ASSERT_EQ(sink.rows.size(), 2u);
    EXPECT_EQ(sink.rows[0].call, "DL1AA");  // rowid 2 first
    EXPECT_EQ(sink.rows[0].place, 1u);
    EXPECT_EQ(sink.rows[0].band, "14");     // a number read as text
    EXPECT_EQ(sink.rows[0].report, "");
    EXPECT_EQ(sink.rows[1].report, "599 MO05");
    EXPECT_EQ(sink.rows[1].continent, "eu");  // as stored
    EXPECT_TRUE(sink.problems.empty());
}

TEST_F(SqliteTest, ClearErrors) {
    Exec("CREATE TABLE Log (CallSign TEXT, DigiBand TEXT, QSOMode TEXT, QSOReportRecived TEXT,"
         " DXCCPrefix TEXT, Continent TEXT);"
         "INSERT INTO Log VALUES ('DL1AA', '14', 'CW', '599 1', 'DL', 'EU');");
    CollectingSink sink;
    try {
        ReadSqlite(path_, ReadOptions{}, sink);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("MainPrefix"), std::string::npos) << e.what();
    }
    ReadOptions other;
    other.table = "Other\"; DROP TABLE Log; --";
    EXPECT_THROW(ReadSqlite(path_, other, sink), std::runtime_error);
    EXPECT_THROW(ReadSqlite(path_ + ".missing", ReadOptions{}, sink), std::runtime_error);
    Exec("CREATE TABLE Check1 (x);");  // the table is still there
}

constexpr const char* kTable =
    "CREATE TABLE Log (Id INTEGER PRIMARY KEY, CallSign, DigiBand TEXT, QSOMode TEXT,"
    " QSOReportRecived TEXT, DXCCPrefix TEXT, MainPrefix TEXT, Continent TEXT);";

TEST_F(SqliteTest, TableNamedPlainOrAsSqlQuotesIt) {
    Exec("CREATE TABLE \"My \"\"Best\"\" Log\" (CallSign, DigiBand, QSOMode, QSOReportRecived, DXCCPrefix,"
         " MainPrefix, Continent);"
         "INSERT INTO \"My \"\"Best\"\" Log\" VALUES ('DL1AA', '14', 'CW', '599 1', 'DL', 'DL', 'EU');");
    for (const char* name : {"My \"Best\" Log", "\"My \"\"Best\"\" Log\""}) {
        ReadOptions options;
        options.table = name;
        CollectingSink sink;
        ReadSqlite(path_, options, sink);
        ASSERT_EQ(sink.rows.size(), 1u) << name;
        EXPECT_EQ(sink.rows[0].call, "DL1AA");
    }
    // Quotes that are no SQL quoting leave the name as written: no such table.
    for (const char* name : {"\"My \"Best\" Log\"", "\"My \"\"Best\"\" Log\"\"", "\"My Log"}) {
        ReadOptions options;
        options.table = name;
        CollectingSink sink;
        try {
            ReadSqlite(path_, options, sink);
            FAIL() << "read a table for " << name;
        } catch (const LogFileError& e) {
            EXPECT_NE(std::string(e.what()).find(std::string("no table named ") + name), std::string::npos)
                << e.what();
        }
    }
}

TEST_F(SqliteTest, AnEmptyTableMayLackAnyColumnButCallSign) {
    // As the host's recalculation: "select * from T order by CallSign"
    // reads no field of an empty result, but needs the column it sorts by.
    Exec("CREATE TABLE Log (CallSign, DigiBand, QSOMode); CREATE TABLE NoCall (DigiBand);");
    CollectingSink sink;
    EXPECT_NO_THROW(ReadSqlite(path_, ReadOptions{}, sink));
    EXPECT_TRUE(sink.rows.empty());
    EXPECT_TRUE(sink.problems.empty()) << sink.ProblemText();
    ReadOptions noCall;
    noCall.table = "NoCall";
    EXPECT_THROW(ReadSqlite(path_, noCall, sink), LogFileError);
    Exec("INSERT INTO Log VALUES ('DL1AA', '14', 'CW');");
    try {
        ReadSqlite(path_, ReadOptions{}, sink);
        FAIL() << "read a table with rows and without QSOReportRecived";
    } catch (const LogFileError& e) {
        EXPECT_NE(std::string(e.what()).find("table Log: no column QSOReportRecived"), std::string::npos)
            << e.what();
    }
    EXPECT_TRUE(sink.rows.empty());
}

TEST_F(SqliteTest, ReadsTheTableAsItStandsAndNotesEmptyCountryFields) {
    Exec(std::string(kTable) +
         "INSERT INTO Log VALUES (1, 'DL1AA', '14', 'CW', '599 MO05', 'DL', 'DL', '');"
         "INSERT INTO Log VALUES (2, 'RA9AA', '14', 'CW', '599 NS01', '', '', 'AS');"
         "INSERT INTO Log VALUES (3, 'UA3AA', '14', 'CW', '599 MO01', 'UA1', 'UA', 'EU');");
    const CountryFile cty = CountryFile::Parse(
        "Asiatic Russia: 17: 30: AS: 55.88: -84.08: -7.0: UA9:\n    R9,RA9,UA9;\n"
        "Fed. Rep. of Germany: 14: 28: EU: 51.00: -10.00: -1.0: DL:\n    DL;\n");
    ReadOptions options;
    options.countries = &cty;  // not used for a host table
    CollectingSink sink;
    ReadSqlite(path_, options, sink);
    ASSERT_EQ(sink.rows.size(), 3u);
    EXPECT_EQ(sink.rows[0].continent, "");
    EXPECT_EQ(sink.rows[1].dxcc, "");
    EXPECT_EQ(sink.rows[1].main, "");
    ASSERT_EQ(sink.problems.size(), 2u) << sink.ProblemText();
    EXPECT_EQ(sink.problems[0].place, 1u);
    EXPECT_EQ(sink.problems[0].severity, Severity::Note);
    EXPECT_NE(sink.problems[0].message.find("Continent empty"), std::string::npos);
    EXPECT_EQ(sink.problems[1].place, 2u);
    EXPECT_NE(sink.problems[1].message.find("DXCCPrefix, MainPrefix empty"), std::string::npos);
}

TEST_F(SqliteTest, CallSignOrderIsTheDatabasesOwn) {
    // Typeless CallSign: 10 and 9 stored as integers sort before every text,
    // and by value.
    Exec(std::string(kTable) +
         "INSERT INTO Log VALUES (1, 'DL1AA', '14', 'CW', '', 'DL', 'DL', 'EU');"
         "INSERT INTO Log VALUES (2, 10, '14', 'CW', '', 'DL', 'DL', 'EU');"
         "INSERT INTO Log VALUES (3, 9, '7', 'CW', '', 'DL', 'DL', 'EU');"
         "INSERT INTO Log VALUES (4, 'DL1AA', '21', 'CW', '', 'DL', 'DL', 'EU');");
    ReadOptions options;
    CollectingSink inFileOrder;
    ReadSqlite(path_, options, inFileOrder);
    options.callSignOrder = true;
    CollectingSink inCallOrder;
    ReadSqlite(path_, options, inCallOrder);
    auto calls = [](const CollectingSink& s) {
        std::string text;
        for (const auto& r : s.rows) text += r.call + "/" + r.band + " ";
        return text;
    };
    EXPECT_EQ(calls(inFileOrder), "DL1AA/14 10/14 9/7 DL1AA/21 ");
    EXPECT_EQ(calls(inCallOrder), "9/7 10/14 DL1AA/14 DL1AA/21 ");
    // Each row keeps its place in the table in either order.
    auto places = [](const CollectingSink& s) {
        std::string text;
        for (const auto& r : s.rows) text += std::to_string(r.place) + " ";
        return text;
    };
    EXPECT_EQ(places(inFileOrder), "1 2 3 4 ");
    EXPECT_EQ(places(inCallOrder), "3 2 1 4 ");
}

TEST_F(SqliteTest, DamagedHeaderIsUnreadable) {
    Exec(std::string(kTable) + "INSERT INTO Log VALUES (1, 'DL1AA', '14', 'CW', '', 'DL', 'DL', 'EU');");
    {
        std::fstream file(path_, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(16);
        file.write("\x01\x03\xFF\xFF\xFF\xFF\xFF\xFF", 8);  // page size 259, versions, reserve
    }
    CollectingSink sink;
    EXPECT_THROW(ReadSqlite(path_, ReadOptions{}, sink), LogFileError);
    EXPECT_THROW(ReadLog(path_, ReadOptions{}, sink), LogFileError);
    EXPECT_TRUE(sink.rows.empty());
}

TEST_F(SqliteTest, DamagedPageIsRefusedBeforeReading) {
    std::string rows = std::string(kTable) + "BEGIN;";
    for (int i = 0; i < 2000; ++i)
        rows += "INSERT INTO Log VALUES (" + std::to_string(i + 1) + ", 'DL" + std::to_string(i) +
                "AA', '14', 'CW', '599 MO05', 'DL', 'DL', 'EU');";
    Exec(rows + "COMMIT;");
    const auto size = std::filesystem::file_size(path_);
    ASSERT_GT(size, 20u * 4096);
    {
        std::fstream file(path_, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(10 * 4096);  // a leaf page of the table in the middle
        const std::string junk(4096, '\xEE');
        file.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
    CollectingSink sink;
    try {
        ReadSqlite(path_, ReadOptions{}, sink);
        FAIL() << "read " << sink.rows.size() << " rows of a damaged table";
    } catch (const LogFileError& e) {
        EXPECT_NE(std::string(e.what()).find("damaged"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(sink.rows.empty());
}

TEST_F(SqliteTest, WaitsForALockTheHostHolds) {
    Exec(std::string(kTable) + "INSERT INTO Log VALUES (1, 'DL1AA', '14', 'CW', '', 'DL', 'DL', 'EU');");
    SqliteDb host = OpenSqlite(path_);
    ExecSql(host.get(), "BEGIN EXCLUSIVE; INSERT INTO Log VALUES (2, 'DL2BB', '14', 'CW', '', 'DL', 'DL', 'EU');");
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ExecSql(host.get(), "COMMIT");
    });
    CollectingSink sink;
    EXPECT_NO_THROW(ReadSqlite(path_, ReadOptions{}, sink));
    release.join();
    EXPECT_EQ(sink.rows.size(), 2u);
}

TEST_F(SqliteTest, ReadsFromBytesInMemory) {
    Exec(std::string(kTable) + "INSERT INTO Log VALUES (1, 'DL1AA', '14', 'CW', '599 1', 'DL', 'DL', 'EU');");
    std::ifstream in(path_, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    CollectingSink sink;
    ReadSqliteBytes(bytes, "-", ReadOptions{}, sink);
    ASSERT_EQ(sink.rows.size(), 1u);
    EXPECT_EQ(sink.rows[0].report, "599 1");
    EXPECT_THROW(ReadSqliteBytes(bytes.substr(0, 200), "-", ReadOptions{}, sink), LogFileError);
}

TEST_F(SqliteTest, ReadsAWalDatabaseFromBytes) {
    Exec(std::string("PRAGMA journal_mode=WAL;") + kTable +
         "INSERT INTO Log VALUES (1, 'DL1AA', '14', 'CW', '599 1', 'DL', 'DL', 'EU');"
         "PRAGMA wal_checkpoint(TRUNCATE);");
    std::ifstream in(path_, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes[18], 2);  // WAL mode
    CollectingSink sink;
    ReadSqliteBytes(bytes, "-", ReadOptions{}, sink);
    ASSERT_EQ(sink.rows.size(), 1u);
    EXPECT_EQ(sink.rows[0].call, "DL1AA");
}

}  // namespace
}  // namespace yol::contestlog
