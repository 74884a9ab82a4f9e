// The header facts every tool reads the same way: a Cabrillo 3.0 log and a
// Cabrillo 2.0 one through the reader, the claimed score as people write it.
#include "contestlog/LogHeader.h"

#include <gtest/gtest.h>

#include "contestlog/LogReader.h"

namespace yol::contestlog {
namespace {

struct HeaderSink : LogSink {
    LogHeader header;
    void Station(std::string_view call) override { header.Station(call); }
    void Header(std::string_view name, std::string_view value) override { header.Take(name, value); }
    void Contact(const ContactView&) override {}
    void Problem(const LogProblem&) override {}
};

LogHeader Read(const std::string& text) {
    HeaderSink sink;
    ReadCabrillo(text, ReadOptions{}, sink);
    return sink.header;
}

TEST(LogHeader, CallCategoryAndClaimedScoreFromEitherCabrillo) {
    const LogHeader v3 = Read("START-OF-LOG: 3.0\nCALLSIGN: ua3aaa\nNAME: Ivan\nCATEGORY-OPERATOR: single-op\n"
                              "CATEGORY-BAND: ALL\nCATEGORY-STATION: FIXED\nCATEGORY-POWER: HIGH\n"
                              "CLAIMED-SCORE: 1,234\nEND-OF-LOG:\n");
    EXPECT_EQ(v3.call, "UA3AAA");
    EXPECT_EQ(v3.name, "Ivan");
    EXPECT_EQ(v3.CategoryText(), "SINGLE-OP ALL HIGH");  // the station's kind is no category of the results
    EXPECT_EQ(v3.categories.size(), 4u);
    EXPECT_EQ(v3.Claimed(), 1234);
    EXPECT_FALSE(v3.checklog);
    const LogHeader v2 = Read("START-OF-LOG: 2.0\nCALLSIGN: UA3BBB\nCATEGORY: CHECKLOG\nCLAIMED-SCORE: n/a\nEND-OF-LOG:\n");
    EXPECT_TRUE(v2.checklog);
    EXPECT_EQ(v2.CategoryText(), "CHECKLOG");
    EXPECT_EQ(v2.claimedText, "n/a");
    EXPECT_EQ(v2.Claimed(), std::nullopt);
    LogHeader h;
    h.Take("CLAIMED-SCORE", "123456789012345678");  // beyond what a score can be
    EXPECT_EQ(h.Claimed(), std::nullopt);
}

}  // namespace
}  // namespace yol::contestlog
