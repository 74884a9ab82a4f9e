#include <gtest/gtest.h>

#include <string>

#include "scoring/Report.h"
#include "ui/ReportUpdate.h"

namespace yol {
namespace {

// Applies the replacements from the last to the first, as the window does.
std::string Apply(std::string text, std::string_view next, const std::vector<LineReplacement>& r) {
    for (auto it = r.rbegin(); it != r.rend(); ++it)
        text.replace(it->oldStart, it->oldLength, next.substr(it->newStart, it->newLength));
    return text;
}

TEST(ReportUpdateTest, OnlyChangedLinesAreReplacedAndTheResultIsTheNextReport) {
    const std::string before = BuildReport({{"14", 2, 4, 1, 1}, {"7", 1, 2, 1, 1}});
    const std::string after = BuildReport({{"14", 3, 7, 1, 1}, {"7", 1, 2, 1, 1}});
    const auto changes = ChangedLines<char>(before, after);
    ASSERT_TRUE(changes.has_value());
    EXPECT_EQ(changes->size(), 3u);  // the band 14 line, the total and the score
    EXPECT_EQ(Apply(before, after, *changes), after);
}

TEST(ReportUpdateTest, EqualTextsNeedNothingAndANewLineNeedsAWholeRewrite) {
    const std::string report = BuildReport({{"14", 2, 4, 1, 1}});
    EXPECT_TRUE(ChangedLines<char>(report, report)->empty());
    EXPECT_FALSE(ChangedLines<char>(report, BuildReport({{"14", 2, 4, 1, 1}, {"7", 1, 2, 0, 0}})));
    EXPECT_FALSE(ChangedLines<char>("typed by the operator", report));
}

TEST(ReportUpdateTest, OperatorEditsOnAnyLineAreOverwritten) {
    const std::string report = BuildReport({{"14", 2, 4, 1, 1}});
    std::string edited = report;
    edited.replace(0, 4, "Bxnd and more");
    edited += "x";
    const auto changes = ChangedLines<char>(edited, report);
    ASSERT_TRUE(changes.has_value());
    EXPECT_EQ(Apply(edited, report, *changes), report);
    EXPECT_EQ(ChangedLines<char>(std::string("a\r\n\r\nb"), std::string("a\r\nx\r\nb"))->size(), 1u);
}

}  // namespace
}  // namespace yol
