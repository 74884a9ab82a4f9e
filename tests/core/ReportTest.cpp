#include <gtest/gtest.h>

#include <climits>

#include "scoring/Report.h"

namespace yol {
namespace {

TEST(ReportTest, EmptyBook) {
    EXPECT_EQ(BuildReport({}),
              "Band\t  QSOs\tPoints\t   YOL\t  DXCC\t\r\n"
              "Total\t     0\t     0\t     0\t     0\r\n"
              " Score: 0*(0+0)=0");
}

TEST(ReportTest, OneBandLayout) {
    EXPECT_EQ(BuildReport({{"14", 2, 4, 1, 1}}),
              "Band\t  QSOs\tPoints\t   YOL\t  DXCC\t\r\n"
              "  14\t     2\t     4\t     1\t     1\t\r\n"
              "Total\t     2\t     4\t     1\t     1\r\n"
              " Score: 4*(1+1)=8");
}

TEST(ReportTest, LongBandAndWideNumbersAreNeverCut) {
    const std::string r = BuildReport({{"144MHz", 1000000, 5, 0, 0}, {"7", 1, 0, 3, 0}});
    EXPECT_NE(r.find("\r\n144MHz\t1000000\t     5\t     0\t     0\t\r\n"), std::string::npos);
    EXPECT_NE(r.find("\r\n   7\t     1\t     0\t     3\t     0\t\r\n"), std::string::npos);
    EXPECT_NE(r.find(" Score: 5*(3+0)=15"), std::string::npos);
}

TEST(ReportTest, ScoreNeverWraps) {
    // 32-bit arithmetic would show a negative score here.
    const std::string r = BuildReport({{"14", INT_MAX, INT_MAX, 10, 5}});
    EXPECT_NE(r.find(" Score: 2147483647*(10+5)=32212254705"), std::string::npos);
}

TEST(ReportTest, PadLeft) {
    EXPECT_EQ(PadLeft("7", 4), "   7");
    EXPECT_EQ(PadLeft("1234", 4), "1234");
    EXPECT_EQ(PadLeft("-12345", 4), "-12345");
}

}  // namespace
}  // namespace yol
