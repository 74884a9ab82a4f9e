#include "CallDistance.h"

#include <gtest/gtest.h>

namespace yol::check {
namespace {

TEST(CallDistance, CommonConfusionsCostLessThanOtherEdits) {
    EXPECT_EQ(CallDistance("UA3ABC", "ua3abc"), 0);
    EXPECT_EQ(CallDistance("UA3ABH", "UA3AB5"), 0.5);  // H .... / 5 .....
    EXPECT_EQ(CallDistance("DL1ABC", "DL1ABK"), 0.5);  // K and C: one element
    EXPECT_EQ(CallDistance("DL1ABC", "DL1ABV"), 0.5);  // side by side on the keyboard
    EXPECT_EQ(CallDistance("DL1ABC", "DL1ABP"), 1);
    EXPECT_EQ(CallDistance("DL1ABC", "DL1AC"), 1);     // a dropped character
    EXPECT_EQ(CallDistance("DL1ABC", "DL1BAC"), 0.75); // two swapped
    EXPECT_GE(CallDistance("DL1ABC", "RZ9XYZ"), 4);
}

TEST(CallDistance, PortableDesignatorsAndPrefixes) {
    EXPECT_EQ(BaseCall("DL/G4ABC/P"), "G4ABC");
    EXPECT_EQ(BaseCall("UA3ABC/QRP"), "UA3ABC");
    EXPECT_EQ(BaseCall("UA3ABC"), "UA3ABC");
    EXPECT_EQ(BaseCall("UA9ABC/1"), "UA9ABC");
    EXPECT_EQ(CallDistance("UA3ABC/P", "UA3ABC"), 0.5);
    EXPECT_EQ(CallDistance("DL/G4ABC", "G4ABC"), 0.5);
    EXPECT_EQ(CallDistance("UA3ABC/P", "UA3ABD"), 1.5);  // designator off, then one edit
}

}  // namespace
}  // namespace yol::check
