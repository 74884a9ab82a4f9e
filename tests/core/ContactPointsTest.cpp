#include <gtest/gtest.h>

#include "TestRecords.h"
#include "scoring/ContactPoints.h"
#include "scoring/Text.h"

namespace yol {
namespace {

using test::Contact;
using test::MakeRecord;

int Points(const Contact& c) { return ContactPoints(*MakeRecord(c)); }

TEST(HomePrefixTest, MatchesWholeEntriesBetweenColons) {
    EXPECT_TRUE(IsHomePrefix("UA1"));
    EXPECT_TRUE(IsHomePrefix("UA9"));
    EXPECT_TRUE(IsHomePrefix("UA1:UA2"));
    EXPECT_FALSE(IsHomePrefix("UA"));
    EXPECT_FALSE(IsHomePrefix(""));
    EXPECT_FALSE(IsHomePrefix("A1"));
    EXPECT_FALSE(IsHomePrefix("ua1"));
    EXPECT_FALSE(IsHomePrefix("UA1:UA2:UA9:UA1"));
}

TEST(ContactPointsTest, ForeignOperatorScoresOnlyHomeStations) {
    EXPECT_EQ(Points({.dxcc = "UA2", .myDxcc = "DL"}), 10);
    EXPECT_EQ(Points({.call = "DL1X/P", .dxcc = "DL", .myDxcc = "DL"}), 0);
    EXPECT_EQ(Points({.dxcc = "ua9 ", .myDxcc = ""}), 10);  // empty prefix: foreign
}

TEST(ContactPointsTest, OperatorPrefixIsNormalisedForPoints) {
    EXPECT_EQ(Points({.dxcc = "W", .continent = "NA", .myDxcc = "  ua9 "}), 5);
    EXPECT_EQ(Points({.dxcc = "W", .continent = "NA", .myDxcc = "UA"}), 0);  // foreign
}

TEST(ContactPointsTest, PortableBeatsSameCountryOnlyWithCapitalP) {
    EXPECT_EQ(Points({.call = "UA1AAA/P", .dxcc = "UA1"}), 10);
    EXPECT_EQ(Points({.call = "UA1AAA/p", .dxcc = "UA1"}), 1);
    EXPECT_EQ(Points({.call = "UA1AAA", .dxcc = " ua1"}), 1);
}

TEST(ContactPointsTest, HomeOperatorByContinentTable) {
    EXPECT_EQ(Points({.dxcc = "UA9", .continent = "AS"}), 2);
    EXPECT_EQ(Points({.dxcc = "DL", .continent = "EU"}), 3);
    EXPECT_EQ(Points({.dxcc = "W", .continent = "NA"}), 5);
    EXPECT_EQ(Points({.dxcc = "UA2", .continent = "EU"}), 0);
    EXPECT_EQ(Points({.dxcc = "DL", .continent = "eu"}), 3);   // upper-cased both sides
    EXPECT_EQ(Points({.dxcc = "DL", .continent = "EU "}), 5);  // not trimmed
    EXPECT_EQ(Points({.dxcc = "DL", .continent = "", .myContinent = ""}), 3);
}

}  // namespace
}  // namespace yol
