// Real logs written by other programs (shared/testdata): every file is read
// without a crash, and every record it rejects is explained.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "LogReaderTestSink.h"
#include "contestlog/CountryFile.h"
#include "contestlog/LogReader.h"

namespace yol::contestlog {
namespace {

namespace fs = std::filesystem;
using test::CollectingSink;

#ifndef YOL_TESTDATA_DIR
#define YOL_TESTDATA_DIR ""
#endif

const fs::path kData = YOL_TESTDATA_DIR;

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Expected {
    const char* file;
    LogFormat format;
    std::size_t contacts, problems;
    const char* station;
};

CollectingSink ReadFile(const fs::path& path, LogFormat format) {
    const std::string text = Slurp(path);
    CollectingSink sink;
    ReadOptions options;
    if (format == LogFormat::Cabrillo) ReadCabrillo(text, options, sink);
    else ReadAdi(text, options, sink);
    return sink;
}

TEST(LogReaderFilesTest, RealLogs) {
    if (!fs::is_directory(kData)) GTEST_SKIP() << "no test data in " << kData;
    // Counted by hand; X-QSO: lines are not contacts, and the QSO: line
    // before the header in CQWPX_bad_style.log is one.
    const Expected expected[] = {
        {"cabrillo/CQWPX.log", LogFormat::Cabrillo, 2, 0, "AA1ZZZ"},
        {"cabrillo/CQWPX_bad_style.log", LogFormat::Cabrillo, 2, 0, "AA1ZZZ"},
        {"cabrillo/CQWPX_claimed_score_empty.log", LogFormat::Cabrillo, 2, 0, "AA1ZZZ"},
        {"cabrillo/LAQP.log", LogFormat::Cabrillo, 1, 0, "KX5XXX"},
        {"cabrillo/badorder.log", LogFormat::Cabrillo, 1, 0, "DJ3EI"},
        {"cabrillo/iaru.log", LogFormat::Cabrillo, 1, 0, "DJ3EI"},
        {"adif/ADIF_316_test_QSOs_2025_08_27.adi", LogFormat::Adi, 6191, 0, "M0CCX/MM"},
        {"adif/N3FJP-AClogAdif.adi", LogFormat::Adi, 438, 0, ""},
        {"adif/skcc-logger.adi", LogFormat::Adi, 15, 0, "K9CTS"},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.file);
        const std::string text = Slurp(kData / e.file);
        EXPECT_EQ(DetectFormat(text.substr(0, 4096), e.file), e.format);
        const CollectingSink sink = ReadFile(kData / e.file, e.format);
        EXPECT_EQ(sink.rows.size(), e.contacts);
        EXPECT_EQ(sink.problems.size(), e.problems) << sink.ProblemText();
        EXPECT_EQ(sink.stations.empty() ? "" : sink.stations.front(), e.station);
        EXPECT_LE(sink.stations.size(), 1u);
    }
}

TEST(LogReaderFilesTest, RealValues) {
    if (!fs::is_directory(kData)) GTEST_SKIP() << "no test data in " << kData;
    const CollectingSink wpx = ReadFile(kData / "cabrillo/CQWPX_bad_style.log", LogFormat::Cabrillo);
    ASSERT_EQ(wpx.rows.size(), 2u);
    EXPECT_EQ(wpx.rows[0].place, 3u);
    EXPECT_EQ(wpx.rows[0].call, "S50A");
    EXPECT_EQ(wpx.rows[0].band, "7");
    EXPECT_EQ(wpx.rows[0].report, "599 4");
    EXPECT_EQ(wpx.rows[1].report, "599 34");
    EXPECT_FALSE(wpx.stationAfterContact);  // CALLSIGN: comes after the first QSO: line

    const CollectingSink laqp = ReadFile(kData / "cabrillo/LAQP.log", LogFormat::Cabrillo);
    ASSERT_EQ(laqp.rows.size(), 1u);
    EXPECT_EQ(laqp.rows[0].mode, "CW/DIGITAL");  // not a Cabrillo mode: kept as written
    EXPECT_EQ(laqp.rows[0].report, "599 ORLE");

    const CollectingSink skcc = ReadFile(kData / "adif/skcc-logger.adi", LogFormat::Adi);
    ASSERT_EQ(skcc.rows.size(), 15u);
    EXPECT_EQ(skcc.rows[0].place, 14u);
    EXPECT_EQ(skcc.rows[0].call, "N2KPJ");
    EXPECT_EQ(skcc.rows[0].band, "14");
    EXPECT_EQ(skcc.rows[0].report, "599");

    const CollectingSink n3fjp = ReadFile(kData / "adif/N3FJP-AClogAdif.adi", LogFormat::Adi);
    ASSERT_FALSE(n3fjp.rows.empty());
    EXPECT_EQ(n3fjp.rows[0].continent, "NA");  // <Cont:2>

    // With Debian's country file every contact of the ADIF project's test
    // file is read all the same; calls it does not know are reported.
    const CollectingSink all = ReadFile(kData / "adif/ADIF_316_test_QSOs_2025_08_27.adi", LogFormat::Adi);
    std::size_t ssb = 0, modes = 0;
    for (const auto& row : all.rows) {
        ssb += row.mode == "SSB";
        modes += row.mode.empty();
    }
    EXPECT_EQ(modes, 0u);
    EXPECT_GT(ssb, 100u);
}

TEST(LogReaderFilesTest, WithDebianCountryFile) {
    if (!fs::is_directory(kData)) GTEST_SKIP() << "no test data in " << kData;
    if (!fs::exists(CountryFile::kDefaultPath)) GTEST_SKIP() << "no " << CountryFile::kDefaultPath;
    const CountryFile cty = CountryFile::Load(CountryFile::kDefaultPath);
    ReadOptions options;
    options.countries = &cty;
    CollectingSink sink;
    ReadAdi(Slurp(kData / "adif/skcc-logger.adi"), options, sink);
    ASSERT_EQ(sink.rows.size(), 15u);
    EXPECT_TRUE(sink.problems.empty()) << sink.ProblemText();
    for (const auto& row : sink.rows) {
        EXPECT_EQ(row.dxcc, row.call.starts_with("VE") ? "VE" : "K") << row.call;
        EXPECT_EQ(row.continent, "NA") << row.call;
    }
}

}  // namespace
}  // namespace yol::contestlog
