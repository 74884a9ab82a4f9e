#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "TestRecords.h"
#include "scoring/ScoreBook.h"

namespace yol {
namespace {

using test::Contact;
using test::MakeRecord;

class ScoreBookTest : public ::testing::Test {
protected:
    int Record(const Contact& c) { return book.Evaluate(*MakeRecord(c), true); }
    int Peek(const Contact& c) { return book.Evaluate(*MakeRecord(c), false); }
    const TStatistic& Tally(std::size_t i) { return book.Tallies().at(i); }

    TScoreBook book;
};

TEST_F(ScoreBookTest, EvaluateOnlyChangesNothing) {
    EXPECT_EQ(Peek({}), 3);
    EXPECT_EQ(book.ContactCount(), 0u);
    EXPECT_TRUE(book.Tallies().empty());
    EXPECT_EQ(book.DistrictKeyCount() + book.CountryKeyCount(), 0u);
    EXPECT_EQ(Peek({}), 3);  // still not a duplicate
}

TEST_F(ScoreBookTest, DuplicateNeedsSameCallBandAndModeExactly) {
    EXPECT_EQ(Record({}), 3);
    EXPECT_EQ(Record({}), -1);
    EXPECT_EQ(Peek({}), -1);
    EXPECT_EQ(Record({.band = "7"}), 3);
    EXPECT_EQ(Record({.mode = "SSB"}), 3);
    EXPECT_EQ(Record({.mode = "cw"}), 3);
    EXPECT_EQ(Record({.band = "14 "}), 3);
    EXPECT_EQ(Record({.call = "dl1abc"}), 3);
    EXPECT_EQ(book.ContactCount(), 6u);
    EXPECT_EQ(Tally(0).QSOs, 4);
}

TEST_F(ScoreBookTest, ZeroPointContactIsStillADuplicateLater) {
    EXPECT_EQ(Record({.dxcc = "UA2"}), 0);
    EXPECT_EQ(Record({.dxcc = "UA2"}), -1);
}

TEST_F(ScoreBookTest, DuplicateOfTheLowestCallWorkedOnManyBands) {
    for (auto band : {"1.8", "3.5", "7", "14", "21", "28"}) Record({.call = "A1", .band = band});
    for (int i = 0; i < 2000; ++i) Record({.call = "Z" + std::to_string(i)});
    EXPECT_EQ(Peek({.call = "A1", .band = "1.8"}), -1);
    EXPECT_EQ(Peek({.call = "A1", .band = "28"}), -1);
    EXPECT_EQ(Peek({.call = "A", .band = "28"}), 3);
}

TEST_F(ScoreBookTest, DistrictsCountOncePerBand) {
    Record({.call = "A", .report = "599 mo05"});
    Record({.call = "B", .report = "599 MO05"});
    Record({.call = "C", .band = "7", .report = "MO05"});
    Record({.call = "D", .report = "59 MO-05"});
    Record({.call = "E", .report = "M05"});
    Record({.call = "F", .report = " 599 ab12 \r\n"});
    EXPECT_EQ(Tally(0).Districts, 2);  // MO05, AB12
    EXPECT_EQ(Tally(1).Districts, 1);
}

TEST(DistrictCodeTest, PatternOnUpperCasedTrimmedReportUpToNul) {
    EXPECT_EQ(DistrictCode("599 mo05"), "MO05");
    EXPECT_EQ(DistrictCode("59 MO-05"), "");
    EXPECT_EQ(DistrictCode("M05"), "");
    EXPECT_EQ(DistrictCode("MO05\nX"), "");  // a line break does not end the text
    EXPECT_EQ(DistrictCode(std::string("599 MO05\0XY", 11)), "MO05");
    EXPECT_EQ(DistrictCode(std::string("MO05\0", 5)), "MO05");
    EXPECT_EQ(DistrictCode("\xE0\xE1MO05"), "MO05");
    EXPECT_EQ(DistrictCode("MO0\xE1"), "");
}

TEST_F(ScoreBookTest, CountryKeysIgnoreLetterCaseButNotBand) {
    Record({.call = "A", .dxcc = "dl"});
    Record({.call = "B", .dxcc = "DL"});
    Record({.call = "C", .band = "14 ", .dxcc = "DL"});
    Record({.call = "D", .dxcc = "\xF0\xE0"});  // Cyrillic lower case
    Record({.call = "E", .dxcc = "\xD0\xC0"});  // and its capitals
    ASSERT_EQ(book.Tallies().size(), 2u);
    EXPECT_EQ(Tally(0).Countries, 2);
    EXPECT_EQ(Tally(1).Band, "14 ");
    EXPECT_EQ(Tally(1).Countries, 1);
}

TEST_F(ScoreBookTest, CountryMultipliersTestTheOperatorPrefixAsStored) {
    Record({.call = "A", .dxcc = "DL", .myDxcc = "DL"});
    Record({.call = "B", .dxcc = "F", .myDxcc = " UA1"});  // home points, no countries
    Record({.call = "C", .dxcc = "G", .myDxcc = "ua1"});
    EXPECT_EQ(Tally(0).Countries, 0);
    EXPECT_EQ(Tally(0).Points, 0 + 3 + 3);
    // A foreign operator's zero-point contact still brings its district.
    EXPECT_EQ(Tally(0).Districts, 1);
}

TEST_F(ScoreBookTest, TalliesKeepFirstRecordedOrder) {
    Record({.call = "A", .band = "7"});
    Record({.call = "B", .band = "14"});
    Record({.call = "C", .band = "7"});
    Record({.call = "D", .band = "3.5"});
    ASSERT_EQ(book.Tallies().size(), 3u);
    EXPECT_EQ(Tally(0).Band, "7");
    EXPECT_EQ(Tally(0).QSOs, 2);
    EXPECT_EQ(Tally(1).Band, "14");
    EXPECT_EQ(Tally(2).Band, "3.5");
}

TEST_F(ScoreBookTest, ContactListStaysInByteOrderAcrossChunks) {
    std::vector<std::string> calls;
    for (int i = 0; i < 3000; ++i) calls.push_back("K" + std::to_string(i * 7919 % 3001));
    calls.push_back("K");
    calls.push_back("\xC0");  // above every ASCII letter as an unsigned byte
    std::mt19937 rng(7);
    std::shuffle(calls.begin(), calls.end(), rng);
    for (const auto& c : calls) Record({.call = c});
    std::vector<std::string> seen;
    book.ForEachContact([&](const TQSO& q) { seen.emplace_back(q.CallSign); });
    std::sort(calls.begin(), calls.end());  // std::string orders by unsigned bytes
    EXPECT_EQ(seen, calls);
    for (const auto& c : calls) ASSERT_EQ(Peek({.call = c}), -1) << c;
}

TEST_F(ScoreBookTest, ClearEmptiesEverything) {
    Record({});
    book.Clear();
    EXPECT_EQ(book.ContactCount(), 0u);
    EXPECT_TRUE(book.Tallies().empty());
    EXPECT_EQ(book.DistrictKeyCount() + book.CountryKeyCount(), 0u);
    EXPECT_EQ(Record({}), 3);
    EXPECT_EQ(Tally(0).Districts, 1);
    EXPECT_EQ(Tally(0).Countries, 1);
}

}  // namespace
}  // namespace yol
