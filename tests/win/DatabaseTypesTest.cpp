// Log databases as hosts keep them: columns held as numbers, dates, Nulls,
// values handed out by reference, on a machine whose decimal separator is a
// comma. The module reads every value as the text the host passes live.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "WinTestSupport.h"
#include "adosim/AdoSim.h"
#include "logdb/AdoLogQuery.h"
#include "logdb/Recalc.h"
#include "scoring/Report.h"
#include "win/Bstr.h"
#include "win/TextConv.h"

namespace yol::wintest {
namespace {

// The user's regional settings with a comma as the decimal separator and a
// full stop between thousands, for the life of the object.
class CommaDecimalSeparator {
public:
    CommaDecimalSeparator() : decimal_(Read(LOCALE_SDECIMAL)), thousand_(Read(LOCALE_STHOUSAND)) {
        SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, L",");
        SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, L".");
    }
    ~CommaDecimalSeparator() {
        SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal_.c_str());
        SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, thousand_.c_str());
    }
    CommaDecimalSeparator(const CommaDecimalSeparator&) = delete;
    CommaDecimalSeparator& operator=(const CommaDecimalSeparator&) = delete;

    // 3.5 as the system writes it for the user; "3,5" once the settings took.
    static std::string UserText() {
        Bstr text;
        if (FAILED(VarBstrFromR8(3.5, LOCALE_USER_DEFAULT, 0, text.put()))) return "?";
        return Utf8FromWide(text.view());
    }

private:
    static std::wstring Read(LCTYPE type) {
        wchar_t value[16] = {};
        GetLocaleInfoW(LOCALE_USER_DEFAULT, type, value, 16);
        return value;
    }
    std::wstring decimal_, thousand_;
};

struct NoEvents : EventPump {
    void DeliverPendingEvents() override {}
};

class DatabaseTypesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CommaDecimalSeparator::UserText(), "3,5") << "the comma did not take";
        connection = adosim::OpenConnection(":memory:");
    }
    void Exec(const std::string& sql) { adosim::ExecuteSql(connection.get(), sql); }
    void CreateLog(const std::string& table, const std::string& bandType) {
        Exec("create table " + table + " (CallSign text, DigiBand " + bandType +
             ", QSOMode text, QSOReportRecived text, DXCCPrefix text, MainPrefix text, Continent text)");
        const char* rows[][4] = {
            {"UA1AAA", "3.5", "UA1", "599 MO05"}, {"UA1AAA", "3.5", "UA1", "599 MO05"},
            {"UA9XYZ", "3.5", "UA9", "599 SV01"}, {"DL1ABC", "7", "DL", "599"},
            {"UA1AAB", "14", "UA1", "599 MO06"},  {"W1AW", "14", "K", "599 12"},
            {"UA1AAB", "21", "UA1", "599 MO06"},  {"RA3A", "28", "UA3", "599 MO01"},
        };
        for (const auto& r : rows) {
            Exec("insert into " + table + " values ('" + r[0] + "','" + r[1] + "','CW','" + r[3] + "','" +
                 r[2] + "',null,'EU')");
        }
    }
    std::string ReportOf(const std::string& table) {
        auto current = HostRecord(nullptr);
        StoreShortText(current->TableName, table);
        TScoreBook book;
        NoEvents pump;
        AdoLogQuery query(connection.get());
        RecalcFromLog(query, pump, *current, book, {});
        return BuildReport(book.Tallies());
    }

    CommaDecimalSeparator comma;
    adosim::ConnectionPtr connection;
};

TEST_F(DatabaseTypesTest, NumbersReadInTheInvariantLocaleNullAndEmptyAsEmptyTextsAsTheyAre) {
    Exec("create table Typed (Real real, Whole integer, Negative integer, Day real, Text text, Big integer)");
    Exec("insert into Typed values (3.5, 14, -5, 45291.5, ' 3,5 ', 5000000000)");
    struct Case {
        const wchar_t* column;
        VARTYPE type;
        const char* text;
    };
    const Case cases[] = {
        {L"Real", adosim::kAsStored, "3.5"},  // VT_R8, as SQLite holds a real
        {L"Whole", VT_R8, "14"},
        {L"Real", VT_R4, "3.5"},
        {L"Real", VT_DECIMAL, "3.5"},
        {L"Real", VT_CY, "3.5"},
        {L"Whole", VT_CY, "14"},
        {L"Negative", VT_I1, "-5"},
        {L"Whole", VT_UI1, "14"},
        {L"Negative", VT_I2, "-5"},
        {L"Whole", VT_UI2, "14"},
        {L"Negative", VT_I4, "-5"},
        {L"Whole", VT_UI4, "14"},
        {L"Big", VT_I8, "5000000000"},
        {L"Big", VT_UI8, "5000000000"},
        {L"Negative", VT_INT, "-5"},
        {L"Whole", VT_UINT, "14"},
        {L"Whole", VT_BOOL, "True"},
        {L"Day", VT_DATE, "12/31/2023 12:00:00"},
        {L"Real", VT_NULL, ""},
        {L"Real", VT_EMPTY, ""},
        {L"Text", adosim::kAsStored, " 3,5 "},  // texts are not trimmed nor converted
        {L"Real", VT_BYREF | VT_R8, "3.5"},
        {L"Real", VT_BYREF | VT_DECIMAL, "3.5"},
        {L"Real", VT_BYREF | VT_CY, "3.5"},
        {L"Text", VT_BYREF | VT_BSTR, " 3,5 "},
        {L"Real", VT_BYREF | VT_VARIANT, "3.5"},
        {L"Whole", VT_BYREF | VT_UI8, "14"},
    };
    for (const Case& c : cases) {
        adosim::SetValueType(connection.get(), c.column, c.type);
        AdoLogQuery query(connection.get());
        query.SetText("select * from Typed");
        query.Open();
        EXPECT_EQ(std::string(query.ColumnAsText(Utf8FromWide(c.column))), c.text)
            << Utf8FromWide(c.column) << " as VARTYPE 0x" << std::hex << c.type;
        adosim::SetValueType(connection.get(), c.column, adosim::kAsStored);
    }
}

// The band a host keeps as a number scores as the same band it passes live
// as text: the reports match and 3.5 is one band.
TEST_F(DatabaseTypesTest, NumericBandColumnGivesTheReportOfTheTextColumn) {
    CreateLog("Texts", "text");
    CreateLog("Reals", "real");
    const std::string expected = ReportOf("Texts");
    ASSERT_NE(expected.find(" 3.5\t     2\t"), std::string::npos) << expected;
    EXPECT_EQ(ReportOf("Reals"), expected);
    const VARTYPE types[] = {VT_R4, VT_DECIMAL, VT_CY, VT_BYREF | VT_R8};
    for (VARTYPE type : types) {
        adosim::SetValueType(connection.get(), L"DigiBand", type);
        EXPECT_EQ(ReportOf("Reals"), expected) << "DigiBand as VARTYPE 0x" << std::hex << type;
    }
}

// The same through the module's exports: a log with a real band column
// shows the report of the log with text columns, and a contact the host
// passes live on "3.5" is a duplicate of the row held as 3.5.
TEST(DatabaseTypesModuleTest, NumericBandColumnScoresAsTheHostPassesItLive) {
    CommaDecimalSeparator comma;
    ASSERT_EQ(CommaDecimalSeparator::UserText(), "3,5") << "the comma did not take";
    ErrorBoxWatcher errors;
    Module module;
    const Contact live{.call = "UA9XYZ", .band = "3.5", .dxcc = "UA9", .continent = "AS",
                       .report = "599 SV01"};
    auto reportWith = [&](const char* bandType) {
        TestLog log;
        log.Exec(std::string("create table Log (CallSign text, DigiBand ") + bandType +
                 ", QSOMode text, QSOReportRecived text, DXCCPrefix text, MainPrefix text,"
                 " Continent text)");
        log.Add("UA1AAA", "3.5", "CW", "UA1", "EU", "599 MO05");
        log.Add(live.call, live.band, live.mode, live.dxcc, live.continent, live.report);
        log.Add("DL1ABC", "7", "CW", "DL", "EU", "599");
        log.Add("UA1AAB", "14", "CW", "UA1", "EU", "599 MO06");
        auto record = HostRecord(&log);
        HWND w = static_cast<HWND>(module.Run(0, record.get()));
        Pump();
        const std::string report = StatisticText(w);
        EXPECT_EQ(module.GetScore(HostRecord(&log, live).get()), -1) << bandType << " band column";
        module.Release();
        Pump(50);
        EXPECT_FALSE(IsWindow(w));
        return report;
    };
    const std::string expected = reportWith("text");
    EXPECT_NE(expected.find(" 3.5\t     2\t"), std::string::npos) << expected;
    EXPECT_EQ(reportWith("real"), expected);
    EXPECT_TRUE(errors.Take().empty());
}

}  // namespace
}  // namespace yol::wintest
