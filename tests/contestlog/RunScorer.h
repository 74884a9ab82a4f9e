// The scorer's command line run in the test's own process, with its output
// and messages caught; scratch folders, logs written in any format, and the
// window's own recalculation over a SQLite log to compare with.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "Scorer.h"
#include "contestlog/Contact.h"
#include "contestlog/CountryFile.h"
#include "contestlog/LogWriter.h"
#include "logdb/Recalc.h"
#include "logdb/SqliteLogQuery.h"
#include "scoring/Report.h"

namespace yol::score::test {

struct Ran {
    int status = -1;
    std::string out, err;
};

inline std::string Drain(std::FILE* f) {
    std::string text;
    std::rewind(f);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
    std::fclose(f);
    return text;
}

inline Ran RunYolscore(const std::vector<std::string>& args,
                       const std::string& countryFile = contestlog::CountryFile::kDefaultPath) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Ran r;
    r.status = RunScorer(args, out, err, countryFile);
    r.out = Drain(out);
    r.err = Drain(err);
    return r;
}

inline bool HaveDebianCountries() { return std::filesystem::exists(contestlog::CountryFile::kDefaultPath); }

// A scratch folder for one test, removed afterwards.
class TempDir {
public:
    TempDir() {
        path_ = std::filesystem::temp_directory_path() /
                ("yolscore-test-" + std::to_string(std::random_device{}()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(path_);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, std::string_view text) {
    std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
}

inline void WriteLog(contestlog::LogFormat format, const std::string& path,
                     const std::vector<contestlog::Contact>& contacts,
                     const contestlog::Station& station = {}) {
    if (format == contestlog::LogFormat::Sqlite) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        contestlog::CreateLogTable(db, "Log");
        contestlog::CreateCallSignIndex(db, "Log");
        contestlog::SqliteLogWriter writer(db, "Log");
        for (const contestlog::Contact& c : contacts) writer.Write(c);
        writer.Finish();
        sqlite3_close(db);
        return;
    }
    std::ofstream out(path, std::ios::binary);
    const auto writer = contestlog::MakeFileLogWriter(format, out, station);
    for (const contestlog::Contact& c : contacts) writer->Write(c);
    writer->Finish();
}

// A contact of the seven texts.
inline contestlog::Contact Row(std::string call, std::string band, std::string mode, std::string report,
                               std::string dxcc, std::string mainPrefix, std::string continent) {
    contestlog::Contact c;
    c.call = std::move(call);
    c.band = std::move(band);
    c.mode = std::move(mode);
    c.report = std::move(report);
    c.dxcc = std::move(dxcc);
    c.mainPrefix = std::move(mainPrefix);
    c.continent = std::move(continent);
    return c;
}

// A Cabrillo log of UA1AAA: a duplicate (line 5 of line 3), a district
// already counted on the band (line 6), the same contact on a new band (7).
inline std::string AuditLog() {
    return "START-OF-LOG: 3.0\nCALLSIGN: UA1AAA\n"
           "QSO: 14012 CW 2024-05-04 1200 UA1AAA 599 MO01 DL1ABC 599 12\n"      // line 3
           "QSO: 14012 CW 2024-05-04 1201 UA1AAA 599 MO01 UA9OAA 599 NS05\n"    // line 4
           "QSO: 14012 CW 2024-05-04 1202 UA1AAA 599 MO01 DL1ABC 599 13\n"      // line 5: dupe of 3
           "QSO: 14012 CW 2024-05-04 1203 UA1AAA 599 MO01 UA9ABC 599 NS05\n"    // line 6: district known
           "QSO: 7012 CW 2024-05-04 1204 UA1AAA 599 MO01 UA9ABC 599 ns05\n"     // line 7: new band
           "END-OF-LOG:\n";
}

// The window's recalculation over the SQLite log, as the module runs it
// (the table name as the host holds it); throws where the module fails.
inline std::string WindowReport(const std::string& path, std::string_view myPrefix,
                                std::string_view myContinent = "EU", std::string_view table = "Log") {
    struct NoEvents : EventPump {
        void DeliverPendingEvents() override {}
    } pump;
    sqlite3* raw = nullptr;
    sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, &sqlite3_close);  // closed when it throws too
    auto current = std::make_unique<ContactRecord>();
    StoreShortText(current->TableName, table);
    StoreShortText(current->MyDXCCPrefix, myPrefix);
    StoreShortText(current->MyContinent, myContinent);
    TScoreBook book;
    {
        SqliteLogQuery query(db.get());
        RecalcFromLog(query, pump, *current, book, {});
    }
    return BuildReport(book.Tallies()) + "\n";
}

}  // namespace yol::score::test
