// The log query over an ADO connection, driven through our own ADO-style
// connection on a SQLite log.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "adosim/AdoSim.h"
#include "logdb/AdoLogQuery.h"
#include "logdb/Recalc.h"
#include "logdb/SqliteLogQuery.h"
#include "scoring/Report.h"
#include "win/TextConv.h"

namespace yol {
namespace {

struct NoEvents : EventPump {
    void DeliverPendingEvents() override {}
};

class AdoLogQueryTest : public ::testing::Test {
protected:
    AdoLogQueryTest() : baseline(adosim::LiveObjects()), connection(adosim::OpenConnection(":memory:")) {
        Exec("create table Log (Id integer primary key, CallSign text, DigiBand text, QSOMode text,"
             " QSOReportRecived text, DXCCPrefix text, MainPrefix text, Continent text)");
    }
    ~AdoLogQueryTest() override {
        query.reset();
        connection.reset();
        EXPECT_EQ(Live(), 0) << "a simulator object was not released";
    }

    // Simulator objects made by this test and still alive.
    long Live() const { return adosim::LiveObjects() - baseline; }
    void Exec(const std::string& sql) { adosim::ExecuteSql(connection.get(), sql); }
    void Row(const std::string& call, const std::string& band, const std::string& report = "599 MO05",
             const std::string& dxcc = "DL", const std::string& continent = "EU") {
        Exec("insert into Log (CallSign, DigiBand, QSOMode, QSOReportRecived, DXCCPrefix, MainPrefix, Continent)"
             " values ('" + call + "','" + band + "','CW','" + report + "','" + dxcc + "','M" + dxcc + "','" +
             continent + "')");
    }
    AdoLogQuery& Query() {
        if (!query) query = std::make_unique<AdoLogQuery>(connection.get());
        return *query;
    }
    void OpenLog(const std::string& table = "Log") {
        Query().SetText(LogQueryText(table));
        Query().Open();
    }
    std::string Text(std::string_view column) { return std::string(Query().ColumnAsText(column)); }
    std::string ErrorOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const LogQueryError& e) {
            return e.what();
        }
        return "(no error)";
    }

    const long baseline;
    adosim::ConnectionPtr connection;
    std::unique_ptr<AdoLogQuery> query;
};

TEST_F(AdoLogQueryTest, WalksRowsInCallSignOrderReadingEveryColumn) {
    Row("W1AW", "14", "599 12", "K", "NA");
    Row("DL1A", "7", "599 MO05", "DL", "EU");
    Row("UA9X", "3.5", "59 SV01", "UA9", "AS");
    OpenLog();

    ASSERT_FALSE(Query().AtEnd());
    EXPECT_EQ(Text("QSOReportRecived"), "599 MO05");
    EXPECT_EQ(Text("DXCCPrefix"), "DL");
    EXPECT_EQ(Text("MainPrefix"), "MDL");
    EXPECT_EQ(Text("CallSign"), "DL1A");
    EXPECT_EQ(Text("DigiBand"), "7");
    EXPECT_EQ(Text("QSOMode"), "CW");
    EXPECT_EQ(Text("Continent"), "EU");
    EXPECT_EQ(Text("callsign"), "DL1A") << "names match without regard to letter case";

    std::vector<std::string> seen;
    for (; !Query().AtEnd(); Query().Next()) seen.push_back(Text("CallSign") + "/" + Text("DigiBand"));
    EXPECT_EQ(seen, (std::vector<std::string>{"DL1A/7", "UA9X/3.5", "W1AW/14"}));

    Query().Next();  // past the end: nothing happens
    EXPECT_TRUE(Query().AtEnd());
    Query().Close();
    Query().Close();
    EXPECT_TRUE(Query().AtEnd());
    EXPECT_EQ(Live(), 1) << "only the connection stays after Close";
}

TEST_F(AdoLogQueryTest, EmptyTableIsAtEndAtOnceAndReopeningStartsAgain) {
    OpenLog();
    EXPECT_TRUE(Query().AtEnd());
    Row("DL1A", "14");
    OpenLog();  // reopening closes the old recordset first
    ASSERT_FALSE(Query().AtEnd());
    EXPECT_EQ(Text("CallSign"), "DL1A");
    Query().Next();
    EXPECT_TRUE(Query().AtEnd());
}

TEST_F(AdoLogQueryTest, MissingColumnIsNamedOnlyWhenARowIsRead) {
    Exec("create table NoMain (CallSign text, DigiBand text, QSOMode text, QSOReportRecived text,"
         " DXCCPrefix text, Continent text)");
    auto current = std::make_unique<ContactRecord>();
    StoreShortText(current->TableName, "NoMain");
    StoreShortText(current->MainPrefix, "OLD");
    TScoreBook book;
    NoEvents pump;

    // Without rows no column is read, so nothing fails.
    EXPECT_EQ(ErrorOf([&] { RecalcFromLog(Query(), pump, *current, book, {}); }), "(no error)");

    Exec("insert into NoMain values ('DL1A','14','CW','599 MO05','DL','EU')");
    EXPECT_EQ(ErrorOf([&] { RecalcFromLog(Query(), pump, *current, book, {}); }),
              "LogQuery: Field 'MainPrefix' not found");
    // The two columns before it were read into the record; the third was not.
    EXPECT_EQ(ReadShortText(current->QSOReportRecived), "599 MO05");
    EXPECT_EQ(ReadShortText(current->DXCCPrefix), "DL");
    EXPECT_EQ(ReadShortText(current->MainPrefix), "OLD");
    EXPECT_EQ(book.ContactCount(), 0u);

    // The query was left open; the next recalculation starts cleanly.
    Exec("alter table NoMain add column MainPrefix text");
    EXPECT_EQ(ErrorOf([&] { RecalcFromLog(Query(), pump, *current, book, {}); }), "(no error)");
    EXPECT_EQ(book.ContactCount(), 1u);
}

TEST_F(AdoLogQueryTest, DatabaseFailuresCarryTheDatabasesOwnText) {
    EXPECT_EQ(ErrorOf([&] { OpenLog("Nope"); }), "no such table: Nope");
    EXPECT_TRUE(Query().AtEnd());
    EXPECT_EQ(ErrorOf([&] { OpenLog("Log where"); }), "near \"order\": syntax error");

    // Reading past the end goes to the database, which refuses.
    Row("DL1A", "14");
    OpenLog();
    Query().Next();
    const std::string atEnd = ErrorOf([&] { Text("CallSign"); });
    EXPECT_NE(atEnd.find("EOF"), std::string::npos) << atEnd;

    Query().Close();
    EXPECT_EQ(ErrorOf([&] { Text("CallSign"); }), "LogQuery: the query is not open");
}

TEST_F(AdoLogQueryTest, ValuesAreConvertedToTextInTheHostCodePage) {
    Exec("create table Typed (CallSign text, Report, Big, Ratio, Blank)");
    Exec("insert into Typed values ('F5\xC3\x89T\xC3\x89', 599, 5000000000, 2.0, null)");
    Query().SetText("select * from Typed");
    Query().Open();
    EXPECT_EQ(Text("Report"), "599");
    EXPECT_EQ(Text("Big"), "5000000000");
    EXPECT_EQ(Text("Ratio"), "2");
    EXPECT_EQ(Text("Blank"), "");
    // UTF-8 in the database, the ANSI code page in the record.
    EXPECT_EQ(Text("CallSign"), AnsiFromWide(L"F5\u00C9T\u00C9"));
    EXPECT_EQ(Query().ColumnAsText("CallSign").size(), AnsiFromWide(L"F5\u00C9T\u00C9").size());
}

TEST_F(AdoLogQueryTest, ZeroConnectionFailsAtOpenWithoutCrashing) {
    AdoLogQuery unbound(nullptr);
    EXPECT_TRUE(unbound.AtEnd());
    unbound.Close();
    unbound.SetText(LogQueryText("Log"));
    EXPECT_EQ(ErrorOf([&] { unbound.Open(); }), "LogQuery: no database connection");
    EXPECT_TRUE(unbound.AtEnd());

    auto current = std::make_unique<ContactRecord>();
    StoreShortText(current->TableName, "Log");
    TScoreBook book;
    NoEvents pump;
    EXPECT_EQ(ErrorOf([&] { RecalcFromLog(unbound, pump, *current, book, {}); }),
              "LogQuery: no database connection");
}

TEST_F(AdoLogQueryTest, HoldsTheConnectionWhileBound) {
    Row("DL1A", "14");
    Query();
    connection.reset();  // the host lets go of its reference
    EXPECT_EQ(Live(), 1);
    OpenLog();
    EXPECT_EQ(Text("CallSign"), "DL1A");
    query.reset();
    EXPECT_EQ(Live(), 0);
}

// The same rows scored through the ADO path and through SQLite directly.
TEST_F(AdoLogQueryTest, RecalculationMatchesTheDirectSqlitePath) {
    const char* calls[] = {"UA1AAA", "UA1AAA/P", "ua1aab", "UA9XYZ", "DL1ABC", "W1AW", "UA2FF", "RA3A",
                           "UA1AAA/p", "JA1ZZ", "OK1KZ", "RZ9UA"};
    const char* bands[] = {"14", "7", "3.5", "14 ", "21"};
    const char* modes[] = {"CW", "SSB", "cw"};
    const char* dxccs[] = {"UA1", "UA9", "DL", "K", "ua2", "UA2", " UA1", "JA"};
    const char* continents[] = {"EU", "eu", "AS", "NA", "EU ", ""};
    const char* reports[] = {"599 MO05", "59 mo05", "599 SV01", "59 MO-05", "599", "599 12", "599 KR44  ", "null"};
    std::uint32_t x = 12345;
    auto pick = [&x](std::size_t n) {
        x = x * 1103515245u + 12345u;
        return static_cast<std::size_t>((x >> 8) % n);
    };
    Exec("begin");
    for (int i = 0; i < 3000; ++i) {
        const std::string report = reports[pick(std::size(reports))];
        Exec(std::string("insert into Log (CallSign, DigiBand, QSOMode, QSOReportRecived, DXCCPrefix, MainPrefix,"
                         " Continent) values ('") +
             calls[pick(std::size(calls))] + "','" + bands[pick(std::size(bands))] + "','" +
             modes[pick(std::size(modes))] + "'," + (report == "null" ? report : "'" + report + "'") + ",'" +
             dxccs[pick(std::size(dxccs))] + "',null,'" + continents[pick(std::size(continents))] + "')");
    }
    Exec("commit");

    for (const char* myPrefix : {"UA1", "DL"}) {
        auto viaAdo = std::make_unique<ContactRecord>();
        StoreShortText(viaAdo->TableName, "Log");
        StoreShortText(viaAdo->MyDXCCPrefix, myPrefix);
        StoreShortText(viaAdo->MyContinent, "EU");
        auto direct = std::make_unique<ContactRecord>(*viaAdo);
        TScoreBook adoBook, directBook;
        NoEvents pump;
        RecalcFromLog(Query(), pump, *viaAdo, adoBook, {});
        SqliteLogQuery sqliteQuery(adosim::DatabaseOf(connection.get()));
        RecalcFromLog(sqliteQuery, pump, *direct, directBook, {});

        EXPECT_GT(directBook.Tallies().size(), 3u);
        EXPECT_EQ(adoBook.ContactCount(), directBook.ContactCount());
        EXPECT_EQ(adoBook.DistrictKeyCount(), directBook.DistrictKeyCount());
        EXPECT_EQ(adoBook.CountryKeyCount(), directBook.CountryKeyCount());
        EXPECT_EQ(BuildReport(adoBook.Tallies()), BuildReport(directBook.Tallies())) << myPrefix;
        EXPECT_EQ(0, std::memcmp(viaAdo.get(), direct.get(), sizeof(ContactRecord)))
            << "the last row read leaves the same record";
    }
}

}  // namespace
}  // namespace yol
