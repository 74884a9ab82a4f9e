#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/Plugin.h"

namespace yol {
namespace {

TEST(ShortTextTest, EmptyLengthByteReadsEmptyWhateverFollows) {
    ShortText t;
    std::memset(t.bytes, 'X', sizeof t.bytes);
    t.bytes[0] = 0;
    EXPECT_EQ(ReadShortText(t), "");
}

TEST(ShortTextTest, StoringCutsTo255AndLeavesTailAlone) {
    ShortText t;
    std::memset(t.bytes, 0xEE, sizeof t.bytes);
    StoreShortText(t, "AB");
    EXPECT_EQ(ReadShortText(t), "AB");
    EXPECT_EQ(t.bytes[3], 0xEE);  // bytes after the text are not cleared

    const std::string longText(300, 'Q');
    StoreShortText(t, longText);
    EXPECT_EQ(t.bytes[0], 255);
    EXPECT_EQ(ReadShortText(t), longText.substr(0, 255));
}

TEST(ShortTextTest, ReadsHighBytesAsTheyAre) {
    ShortText t;
    StoreShortText(t, "\xC0\xFF\x01");
    EXPECT_EQ(ReadShortText(t), std::string("\xC0\xFF\x01"));
}

TEST(ModuleInfoTest, WritesOnlyTextsAndIntegers) {
    ModuleInfoRecord info;
    std::memset(&info, 0xFF, sizeof info);
    FillModuleInfo(info);
    const auto* b = reinterpret_cast<const unsigned char*>(&info);
    EXPECT_EQ(b[0], 11);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 1), 11), "YOL Contest");
    EXPECT_EQ(b[260], 14);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 261), 14), "qx0plg_contest");
    EXPECT_EQ(info.InfoValue1, 1);
    EXPECT_EQ(info.InfoValue2, 1);
    for (std::size_t i = 12; i < 256; ++i) ASSERT_EQ(b[i], 0xFF) << i;
    for (std::size_t i = 275; i < 516; ++i) ASSERT_EQ(b[i], 0xFF) << i;
}

TEST(GrabBufferTest, OnlyLengthByteIsCleared) {
    GrabBuffer g;
    std::memset(g.bytes, 0x41, sizeof g.bytes);
    StoreEmptyGrab(g);
    EXPECT_EQ(g.bytes[0], 0);
    for (std::size_t i = 1; i < sizeof g.bytes; ++i) ASSERT_EQ(g.bytes[i], 0x41);
}

}  // namespace
}  // namespace yol
