#include <gtest/gtest.h>

#include "ui/ErrorText.h"

namespace yol {
namespace {

TEST(ErrorTextTest, FullStopOnlyAfterCharactersSortingAfterIt) {
    EXPECT_EQ(ErrorReportText("LogQuery: Field 'MainPrefix' not found"),
              "LogQuery: Field 'MainPrefix' not found.");
    EXPECT_EQ(ErrorReportText("Failed to get data for 'NormPos'"),
              "Failed to get data for 'NormPos'");  // "'" sorts before "."
    EXPECT_EQ(ErrorReportText("done."), "done.");
    EXPECT_EQ(ErrorReportText("x)"), "x)");
    EXPECT_EQ(ErrorReportText("line 3"), "line 3.");
    EXPECT_EQ(ErrorReportText("\xC0"), "\xC0.");
    EXPECT_EQ(ErrorReportText(""), "");
}

TEST(ErrorTextTest, CaptionFromTheHostExecutable) {
    EXPECT_EQ(ErrorReportCaption("C:\\Ham\\LOGGER.EXE"), "Logger");
    EXPECT_EQ(ErrorReportCaption("C:\\Ham\\My.Logger.exe"), "My");
    EXPECT_EQ(ErrorReportCaption("/opt/bin/yol_win_tests.exe"), "yol_win_tests");
    EXPECT_EQ(ErrorReportCaption("NoExtension"), "Noextension");
}

}  // namespace
}  // namespace yol
