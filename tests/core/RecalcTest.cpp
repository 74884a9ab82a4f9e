#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "TestRecords.h"
#include "logdb/Recalc.h"
#include "logdb/SqliteLogQuery.h"
#include "scoring/Report.h"

namespace yol {
namespace {

class CountingPump : public EventPump {
public:
    void DeliverPendingEvents() override { ++calls; }
    int calls = 0;
};

class RecalcTest : public ::testing::Test {
protected:
    RecalcTest() {
        sqlite3_open(":memory:", &db);
        Exec("create table Log (QSOReportRecived text, DXCCPrefix text, MainPrefix text,"
             " CallSign text, DigiBand text, QSOMode text, Continent text)");
        query = std::make_unique<SqliteLogQuery>(db);
        current = test::MakeRecord({.call = "HOST", .band = "21", .myDxcc = "UA1"});
        StoreShortText(current->TableName, "Log");
    }
    ~RecalcTest() override {
        query.reset();
        sqlite3_close(db);
    }

    void Exec(const std::string& sql) {
        char* error = nullptr;
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << error;
    }
    void Row(const std::string& call, const std::string& band, const std::string& continent = "EU",
             const std::string& dxcc = "DL", const std::string& report = "599 MO05") {
        Exec("insert into Log values ('" + report + "','" + dxcc + "','X','" + call + "','" + band +
             "','CW','" + continent + "')");
    }
    void Recalc() {
        RecalcFromLog(*query, pump, *current, book, [this] { ++reportClears; });
    }

    sqlite3* db = nullptr;
    std::unique_ptr<SqliteLogQuery> query;
    CountingPump pump;
    std::unique_ptr<ContactRecord> current;
    TScoreBook book;
    int reportClears = 0;
};

TEST_F(RecalcTest, RebuildsFromScrambledRowsCountingDuplicatesOnce) {
    Row("W1AW", "14", "na", "W");
    Row("DL1A", "14");
    Row("DL1A", "14");  // duplicate
    Row("DL1A", "7");
    Row("UA9X", "14", "AS", "UA9", "599 SV01");
    Recalc();
    EXPECT_EQ(pump.calls, 1);
    EXPECT_EQ(reportClears, 1);
    EXPECT_EQ(book.ContactCount(), 4u);
    ASSERT_EQ(book.Tallies().size(), 2u);
    // Read in call-sign order, so DL1A on 14 created the first tally.
    EXPECT_EQ(book.Tallies()[0].Band, "14");
    EXPECT_EQ(book.Tallies()[0].QSOs, 3);
    EXPECT_EQ(book.Tallies()[0].Points, 3 + 2 + 5);  // "na" was stored as NA
    EXPECT_EQ(book.Tallies()[0].Districts, 2);
    EXPECT_EQ(book.Tallies()[0].Countries, 3);
    EXPECT_EQ(ReadShortText(current->DigiBand), "21");  // the host's band comes back
    EXPECT_EQ(ReadShortText(current->CallSign), "W1AW");  // the last row stays
    EXPECT_EQ(ReadShortText(current->Continent), "NA");
    EXPECT_TRUE(query->AtEnd());
}

TEST_F(RecalcTest, EmptyTableGivesEmptyBookAndEarlierStateIsCleared) {
    book.Evaluate(*current, true);
    Recalc();
    EXPECT_EQ(book.ContactCount(), 0u);
    EXPECT_EQ(BuildReport(book.Tallies()).find("Total\t     0\t     0\t     0\t     0"),
              std::string("Band\t  QSOs\tPoints\t   YOL\t  DXCC\t\r\n").size());
}

TEST_F(RecalcTest, OperatorPrefixOfTheHostRescoresTheLog) {
    Row("DL1A", "14");
    StoreShortText(current->MyDXCCPrefix, "DL");
    Recalc();
    EXPECT_EQ(book.Tallies()[0].Countries, 0);
    StoreShortText(current->MyDXCCPrefix, "UA9");
    Recalc();
    EXPECT_EQ(book.Tallies()[0].Countries, 1);
    EXPECT_EQ(book.ContactCount(), 1u);
}

TEST_F(RecalcTest, MissingColumnFailsOnThirdReadOfFirstRowOnly) {
    Exec("create table NoMain (QSOReportRecived text, DXCCPrefix text, CallSign text,"
         " DigiBand text, QSOMode text, Continent text)");
    StoreShortText(current->TableName, "NoMain");
    EXPECT_NO_THROW(Recalc());  // no rows: nothing is read

    Exec("insert into NoMain values ('599 AB12', 'F', 'F1X', '7', 'CW', 'EU')");
    try {
        Recalc();
        FAIL() << "no error";
    } catch (const LogQueryError& e) {
        EXPECT_STREQ(e.what(), "LogQuery: Field 'MainPrefix' not found");
    }
    EXPECT_EQ(ReadShortText(current->QSOReportRecived), "599 AB12");
    EXPECT_EQ(ReadShortText(current->DXCCPrefix), "F");
    EXPECT_EQ(ReadShortText(current->CallSign), "HOST");  // not read yet
    EXPECT_EQ(book.ContactCount(), 0u);
    // The next run closes what the failed one left open.
    StoreShortText(current->TableName, "Log");
    Row("DL1A", "14");
    Recalc();
    EXPECT_EQ(book.ContactCount(), 1u);
}

TEST_F(RecalcTest, BadTableNameFailsWithTheDatabaseText) {
    StoreShortText(current->TableName, "Missing");
    try {
        Recalc();
        FAIL() << "no error";
    } catch (const LogQueryError& e) {
        EXPECT_NE(std::string(e.what()).find("Missing"), std::string::npos) << e.what();
    }
}

TEST_F(RecalcTest, ColumnsMatchWithoutRegardToCaseAndLongValuesAreCut) {
    Exec("create table Lower (qsoreportrecived, dxccprefix, mainprefix, callsign, digiband,"
         " qsomode, continent)");
    Exec("insert into Lower values (NULL, 'DL', 'DL', '" + std::string(300, 'C') +
         "', 14, 'CW', 'eu')");
    StoreShortText(current->TableName, "Lower");
    Recalc();
    EXPECT_EQ(book.ContactCount(), 1u);
    EXPECT_EQ(ReadShortText(current->CallSign), std::string(255, 'C'));
    EXPECT_EQ(ReadShortText(current->QSOReportRecived), "");
    EXPECT_EQ(book.Tallies()[0].Band, "14");  // an integer column reads as its text
}

}  // namespace
}  // namespace yol
