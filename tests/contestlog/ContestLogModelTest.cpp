// The shared contest-log model: the generator's flavour and its agreement
// with the country file, and the writers read back by the readers.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "contestlog/Contact.h"
#include "contestlog/CountryFile.h"
#include "contestsim/Generator.h"
#include "contestlog/LogReader.h"
#include "contestlog/LogWriter.h"
#include "contestlog/Sqlite.h"
#include "logdb/Recalc.h"
#include "scoring/ScoreBook.h"

namespace yol::contestlog {
namespace {

using contestsim::GenerateContacts;
using contestsim::GeneratorCountries;
using contestsim::GeneratorCountry;

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return text;
}

const CountryFile* DebianCountries() {
    static const std::unique_ptr<CountryFile> file = []() -> std::unique_ptr<CountryFile> {
        if (!std::filesystem::exists(CountryFile::kDefaultPath)) return nullptr;
        return std::make_unique<CountryFile>(CountryFile::Load(CountryFile::kDefaultPath));
    }();
    return file.get();
}

TEST(Generator, SameSeedSameLogOtherSeedOther) {
    const auto a = GenerateContacts(500, 7), b = GenerateContacts(500, 7), c = GenerateContacts(500, 8);
    ASSERT_EQ(a.size(), 500u);
    bool allSame = true, anyDifferent = false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        allSame = allSame && a[i].call == b[i].call && a[i].report == b[i].report && a[i].band == b[i].band;
        anyDifferent = anyDifferent || a[i].call != c[i].call;
    }
    EXPECT_TRUE(allSame);
    EXPECT_TRUE(anyDifferent);
}

TEST(Generator, KeepsTheFlavourOfAContestLog) {
    const auto log = GenerateContacts(20000, 1);
    std::size_t home = 0, portable = 0, dashed = 0, empty = 0, lowerContinent = 0, districts = 0;
    std::set<std::string> countries, bands, seen;
    std::size_t repeats = 0;
    for (const Contact& c : log) {
        home += c.dxcc == "UA1" || c.dxcc == "UA2" || c.dxcc == "UA9";
        portable += c.call.ends_with("/P");
        dashed += c.report.find('-') != std::string::npos;
        empty += c.report.empty();
        lowerContinent += c.continent == "eu";
        districts += !DistrictCode(c.report).empty();
        countries.insert(c.dxcc);
        bands.insert(c.band);
        repeats += !seen.insert(c.call + "|" + c.band + "|" + c.mode).second;
        EXPECT_EQ(c.mainPrefix, c.dxcc);
    }
    EXPECT_GT(home, log.size() * 2 / 5);
    EXPECT_GT(districts, log.size() / 2);
    EXPECT_GT(portable, 100u);
    EXPECT_GT(dashed, 50u);
    EXPECT_GT(empty, 50u);
    EXPECT_GT(lowerContinent, 50u);
    EXPECT_GT(repeats, 200u);  // duplicates
    EXPECT_EQ(countries.size(), GeneratorCountries().size());
    EXPECT_EQ(bands.size(), 6u);
}

// Every call the generator can make, and every call of a long log, lies in
// the country its table names, as Debian's country file sees it: a log
// written without prefixes and scored through the country file scores as
// the same log with them.
TEST(Generator, CountriesAgreeWithTheCountryFile) {
    const CountryFile* cty = DebianCountries();
    if (!cty) GTEST_SKIP() << CountryFile::kDefaultPath << " missing (package hamradio-files)";
    auto expect = [&](const std::string& call, const GeneratorCountry& c) {
        const Country* found = cty->Lookup(call);
        ASSERT_NE(found, nullptr) << call;
        EXPECT_EQ(found->hostPrefix, c.dxcc) << call << " is " << found->name;
        EXPECT_EQ(found->continent, c.continent) << call << " is " << found->name;
    };
    for (const GeneratorCountry& c : GeneratorCountries()) {
        std::istringstream stems(c.stems);
        for (std::string stem; stems >> stem;) {
            const std::string digits = stem.ends_with('#') ? c.digits : std::string(1, '\0');
            for (char digit : digits) {
                std::string base = stem;
                if (base.ends_with('#')) base.back() = digit;
                for (const char* l = c.firstLetters; *l; ++l) {
                    for (char second = '@'; second <= 'Z'; ++second) {
                        std::string call = base + *l;
                        if (second != '@') call += second;
                        expect(call, c);
                        if (second == 'Q') expect(call + "/P", c);
                    }
                }
            }
        }
    }
    std::map<std::string, const GeneratorCountry*> byPrefix;
    for (const GeneratorCountry& c : GeneratorCountries()) byPrefix[c.dxcc] = &c;
    for (const Contact& c : GenerateContacts(200000, 5)) {
        const Country* found = cty->Lookup(c.call);
        ASSERT_NE(found, nullptr) << c.call;
        EXPECT_EQ(found->hostPrefix, c.dxcc) << c.call;
        EXPECT_EQ(found->continent, Upper(c.continent)) << c.call;
    }
}

// ---- writers ----------------------------------------------------------------

struct Collect : LogSink {
    std::string station;
    std::vector<contestlog::Contact> contacts;
    std::vector<LogProblem> problems;
    void Station(std::string_view call) override { station = call; }
    void Contact(const ContactView& e) override {
        contacts.push_back({std::string(e.call), std::string(e.band), std::string(e.mode),
                            std::string(e.report), std::string(e.dxcc), std::string(e.mainPrefix),
                            std::string(e.continent)});
    }
    void Problem(const LogProblem& p) override { problems.push_back(p); }
};

std::string Written(LogFormat format, const std::vector<Contact>& contacts, const Station& station = {}) {
    std::ostringstream out(std::ios::binary);
    const auto writer = MakeFileLogWriter(format, out, station);
    for (const Contact& c : contacts) writer->Write(c);
    writer->Finish();
    return out.str();
}

TEST(LogWriters, FilesReadBackAsTheSameContacts) {
    const CountryFile* cty = DebianCountries();
    const auto log = GenerateContacts(3000, 11);
    ReadOptions options;
    options.countries = cty;
    for (LogFormat format : {LogFormat::Cabrillo, LogFormat::Adi, LogFormat::Adx}) {
        SCOPED_TRACE(std::string(FormatName(format)));
        if (format == LogFormat::Cabrillo && !cty) continue;  // Cabrillo carries no country
        const std::string text = Written(format, log, {.call = "RA9ABC"});
        EXPECT_EQ(DetectFormat(text, ""), format);
        Collect got;
        if (format == LogFormat::Cabrillo) ReadCabrillo(text, options, got);
        if (format == LogFormat::Adi) ReadAdi(text, options, got);
        if (format == LogFormat::Adx) ReadAdx(text, options, got);
        EXPECT_TRUE(got.problems.empty()) << got.problems.front().message;
        EXPECT_EQ(got.station, "RA9ABC");
        ASSERT_EQ(got.contacts.size(), log.size());
        for (std::size_t i = 0; i < log.size(); ++i) {
            const Contact &w = log[i], &r = got.contacts[i];
            ASSERT_EQ(r.call, w.call);
            EXPECT_EQ(r.band, w.band);
            EXPECT_EQ(r.mode, w.mode);
            EXPECT_EQ(r.report, w.report) << w.call;
            EXPECT_EQ(r.dxcc, w.dxcc) << w.call;
            EXPECT_EQ(Upper(r.continent), Upper(w.continent)) << w.call;
        }
    }
}

TEST(LogWriters, AdxEscapesMarkupAndConvertsCyrillic) {
    const Contact odd{"DL1<&>", "14", "CW", "599 \xCC\xCE""01", "DL", "DL", "EU"};
    const std::string text = Written(LogFormat::Adx, {odd});
    EXPECT_NE(text.find("<CALL>DL1&lt;&amp;&gt;</CALL>"), std::string::npos) << text;
    EXPECT_NE(text.find("599 \xD0\x9C\xD0\x9E""01"), std::string::npos);  // "МО" in UTF-8
    Collect got;
    ReadAdx(text, {}, got);
    ASSERT_EQ(got.contacts.size(), 1u);
    EXPECT_EQ(got.contacts[0].call, odd.call);
    EXPECT_EQ(got.contacts[0].report, odd.report);
}

TEST(LogWriters, SqliteTableHasTheHostsColumnsAndIndex) {
    const SqliteDb owner = OpenSqlite(":memory:");
    sqlite3* db = owner.get();
    CreateLogTable(db, "My \"Log\"");
    CreateCallSignIndex(db, "My \"Log\"");
    {
        SqliteLogWriter writer(db, "My \"Log\"");
        writer.Write(Contact{"UA9ABC", "7", "CW", "", "UA9", "UA9", "as"});
        writer.Write(Contact{"DL1ABC", "14", "SSB", "599 12", "DL", "DL", "EU"});
        writer.Finish();
    }
    {
        SqliteLogWriter unfinished(db, "My \"Log\"");
        unfinished.Write(Contact{"F5AA", "14", "CW", "", "F", "F", "EU"});
    }  // rolled back
    const SqliteStatement stmt = PrepareSql(
        db, "select Id, " + LogColumnList() + ", typeof(QSOReportRecived) from " + QuotedName("My \"Log\"") +
                " order by CallSign");
    std::vector<std::string> rows;
    while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
        std::string row;
        for (int i = 0; i < 9; ++i) row += std::string(ColumnText(stmt.get(), i)) + ";";
        rows.push_back(row);
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"2;DL1ABC;14;SSB;599 12;DL;DL;EU;text;",
                                              "1;UA9ABC;7;CW;;UA9;UA9;as;text;"}));
    int indexes = 0;
    sqlite3_exec(db, "select name from sqlite_master where type='index' and sql like '%CallSign%'",
                 [](void* n, int, char**, char**) { ++*static_cast<int*>(n); return 0; }, &indexes, nullptr);
    EXPECT_EQ(indexes, 1);
}

// The scorer stores a contact as the recalculation reads a log row; the two
// must not drift apart.
class RowQuery : public LogQuery {
public:
    explicit RowQuery(const Contact& c) : c_(c) {}
    void Close() override {}
    void SetText(std::string_view) override {}
    void Open() override {}
    bool AtEnd() override { return false; }
    void Next() override {}
    std::string_view ColumnAsText(std::string_view column) override {
        const std::map<std::string_view, std::string_view> row{
            {"QSOReportRecived", c_.report}, {"DXCCPrefix", c_.dxcc}, {"MainPrefix", c_.mainPrefix},
            {"CallSign", c_.call}, {"DigiBand", c_.band}, {"QSOMode", c_.mode}, {"Continent", c_.continent}};
        return row.at(column);
    }

private:
    const Contact& c_;
};

TEST(StoreLogRow, StoresAsTheRecalculationReadsARow) {
    const std::string longCall(300, 'K');
    const Contact c{longCall, "14", "CW", std::string("599 \0MO05", 9), "UA9", "UA9", "aS\xE0z"};
    auto viaQuery = std::make_unique<ContactRecord>(), viaStore = std::make_unique<ContactRecord>();
    RowQuery query(c);
    ReadLogRow(query, *viaQuery);
    StoreLogRow(*viaStore, View(c));
    EXPECT_EQ(std::memcmp(viaQuery.get(), viaStore.get(), sizeof(ContactRecord)), 0);
    EXPECT_EQ(ReadShortText(viaStore->Continent), "AS\xE0Z");
    EXPECT_EQ(ReadShortText(viaStore->CallSign).size(), 255u);
}

}  // namespace
}  // namespace yol::contestlog
