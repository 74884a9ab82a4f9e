// The module driven through its exports, as the host drives it.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "ModuleFixture.h"
#include "WinTestSupport.h"
#include "scoring/Report.h"
#include "win/WindowText.h"

namespace yol::wintest {
namespace {

constexpr const char* kEmptyReport =
    "Band\t  QSOs\tPoints\t   YOL\t  DXCC\t\r\n"
    "Total\t     0\t     0\t     0\t     0\r\n"
    " Score: 0*(0+0)=0";

class ModuleTest : public ModuleFixture {
protected:
    void SetUp() override { log.CreateLogTable(); }
    int Add(const Contact& c) { return module.AddQSO(HostRecord(&log, c).get()); }
    int Score(const Contact& c) { return module.GetScore(HostRecord(&log, c).get()); }
};

TEST_F(ModuleTest, EntryPointsBeforeRunAndAfterRelease) {
    ModuleInfoRecord info;
    std::memset(&info, 0xFF, sizeof info);
    module.GetInfo(&info);
    EXPECT_EQ(ReadShortText(info.DisplayName), "YOL Contest");
    EXPECT_EQ(ReadShortText(info.Identifier), "qx0plg_contest");
    EXPECT_EQ(info.InfoValue1, 1);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(&info)[12], 0xFF);

    EXPECT_EQ(Add({}), 0);  // no window: nothing recorded
    EXPECT_EQ(Score({}), 0);
    GrabBuffer grab;
    std::memset(&grab, 'x', sizeof grab);
    module.GrabNumber(HostRecord(&log).get(), &grab);
    EXPECT_EQ(grab.bytes[0], 0);
    EXPECT_EQ(grab.bytes[1], 'x');

    HWND w = Run();
    ASSERT_TRUE(IsWindow(w));
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_NE(GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(GetWindowLongW(w, GWL_STYLE) & WS_MAXIMIZEBOX, 0);
    EXPECT_EQ(GetParent(w), nullptr);
    EXPECT_EQ(GetWindow(w, GW_OWNER), nullptr);
    EXPECT_EQ(Utf8(WindowText(w)), "Test Host in YOL DX Contest");
    EXPECT_EQ(StatisticText(w), kEmptyReport);  // the earlier AddQSO left no trace
    std::memset(&grab, 'x', sizeof grab);
    module.GrabNumber(HostRecord(&log).get(), &grab);
    EXPECT_EQ(grab.bytes[0], 0);

    // A second run shows the same window and keeps its caption.
    EXPECT_EQ(Run("Other"), w);
    EXPECT_EQ(Utf8(WindowText(w)), "Test Host in YOL DX Contest");

    module.Release();
    EXPECT_EQ(Score({}), 0);
    EXPECT_EQ(Add({}), 0);
    module.Release();  // twice is harmless
    Pump(50);
    EXPECT_FALSE(IsWindow(w));
}

TEST_F(ModuleTest, EmptyTitleStartsCaptionWithTheBlank) {
    HWND w = Run("");
    EXPECT_EQ(Utf8(WindowText(w)), " in YOL DX Contest");
}

TEST_F(ModuleTest, EvaluateAndRecordRewriteTheReport) {
    HWND w = Run();
    EXPECT_EQ(Score({}), 3);
    EXPECT_EQ(Add({}), 3);
    EXPECT_EQ(Score({}), -1);
    EXPECT_EQ(Add({.call = "UA9XX", .band = "7", .dxcc = "UA9", .continent = "AS",
                   .report = "599 sv01"}),
              2);
    EXPECT_EQ(Add({.call = "UA1AA/P", .dxcc = "UA1", .report = "59"}), 10);
    SetWindowTextW(ChildOfClass(w, L"Edit"), L"typed by the operator");
    EXPECT_EQ(Add({}), -1);  // a duplicate still rewrites the report
    EXPECT_EQ(StatisticText(w),
              "Band\t  QSOs\tPoints\t   YOL\t  DXCC\t\r\n"
              "  14\t     2\t    13\t     1\t     2\t\r\n"
              "   7\t     1\t     2\t     1\t     1\t\r\n"
              "Total\t     3\t    15\t     2\t     3\r\n"
              " Score: 15*(2+3)=75");
}

TEST_F(ModuleTest, RecalculatesOnFirstShowAndOnTheButton) {
    log.Add("W1AW", "14", "CW", "K", "na", "599 12");
    log.Add("DL1A", "14", "CW", "DL", "EU", "599 MO05");
    log.Add("UA9X", "7", "SSB", "UA9", "AS", "599 SV01");
    log.Add("DL1A", "14", "CW", "DL", "EU", "599 MO05");  // duplicate row
    module.AddQSO(HostRecord(&log, {.call = "BEFORE"}).get());  // no window yet: not counted
    HWND w = Run();
    EXPECT_EQ(StatisticText(w),
              "Band\t  QSOs\tPoints\t   YOL\t  DXCC\t\r\n"
              "  14\t     2\t     8\t     1\t     2\t\r\n"
              "   7\t     1\t     2\t     1\t     1\t\r\n"
              "Total\t     3\t    10\t     2\t     3\r\n"
              " Score: 10*(2+3)=50");

    log.Add("F5XX", "21", "CW", "F", "EU", "599 AB12");
    HWND button = ChildOfClass(w, L"Button");
    ASSERT_NE(button, nullptr);
    SendMessageW(button, BM_CLICK, 0, 0);
    Pump();
    EXPECT_NE(StatisticText(w).find("  21\t     1\t     3\t     1\t     1\t"), std::string::npos);
    EXPECT_TRUE(IsWindowEnabled(button));
    EXPECT_EQ(Utf8(WindowText(button)), "Recalc Statistic");
}

TEST_F(ModuleTest, MissingColumnShowsTheErrorReportAndAnEmptyArea) {
    log.CreateLogTable("NoMain", false);
    log.Add("DL1A", "14", "CW", "DL", "EU", "599 MO05", "NoMain");
    auto record = HostRecord(&log);
    StoreShortText(record->TableName, "NoMain");
    HWND w = static_cast<HWND>(module.Run(0, record.get()));
    Pump(100);
    const auto boxes = errors.Take();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "LogQuery: Field 'MainPrefix' not found.");
    EXPECT_EQ(boxes[0].caption, "yol_win_tests");
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_EQ(StatisticText(w), "");
    EXPECT_TRUE(IsWindowEnabled(ChildOfClass(w, L"Button")));
    EXPECT_EQ(Add({}), 3);  // the window goes on counting
}

TEST_F(ModuleTest, CloseCommandMinimisesAndCountingGoesOn) {
    HWND w = Run();
    SendMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0);
    Pump(20);
    ASSERT_TRUE(IsWindow(w));
    EXPECT_TRUE(IsIconic(w));
    EXPECT_EQ(Add({}), 3);
    EXPECT_NE(StatisticText(w).find("  14\t     1\t     3\t"), std::string::npos);
    EXPECT_EQ(Run(), w);  // a minimised window stays minimised
    EXPECT_TRUE(IsIconic(w));
}

TEST_F(ModuleTest, CloseMessageFromTheHostEndsTheWindow) {
    HWND w = Run();
    EXPECT_EQ(Add({}), 3);
    SendMessageW(w, WM_CLOSE, 0, 0);
    EXPECT_EQ(Add({}), 0);  // the module no longer has a window
    EXPECT_FALSE(IsWindowVisible(w));
    Pump(50);
    EXPECT_FALSE(IsWindow(w));
    HWND again = Run();
    EXPECT_NE(again, nullptr);
    EXPECT_EQ(StatisticText(again), kEmptyReport);  // rebuilt from the log alone
}

TEST_F(ModuleTest, ReleaseWhileRecalculationDeliversEventsWaitsForIt) {
    for (int i = 0; i < 50; ++i) log.Add("DL" + std::to_string(i), "14", "CW", "DL", "EU", "599");
    Interloper host([&] { module.Release(); });
    host.Arm();  // delivered inside the first show's recalculation
    auto record = HostRecord(&log);
    HWND w = static_cast<HWND>(module.Run(0, record.get()));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Score({}), 0);
    Pump(50);
    EXPECT_FALSE(IsWindow(w));
}

TEST_F(ModuleTest, CloseWhileRecalculationDeliversEventsWaitsForIt) {
    for (int i = 0; i < 50; ++i) log.Add("DL" + std::to_string(i), "14", "CW", "DL", "EU", "599");
    HWND w = Run();
    Interloper host([&] { SendMessageW(w, WM_CLOSE, 0, 0); });
    host.Arm();
    SendMessageW(ChildOfClass(w, L"Button"), BM_CLICK, 0, 0);
    EXPECT_EQ(Add({}), 0);
    Pump(50);
    EXPECT_FALSE(IsWindow(w));
}

TEST_F(ModuleTest, NullPointersFromTheHostAreIgnored) {
    module.GetInfo(nullptr);
    EXPECT_EQ(module.Run(0, nullptr), nullptr);
    EXPECT_EQ(module.GetScore(nullptr), 0);
    EXPECT_EQ(module.AddQSO(nullptr), 0);
    module.GrabNumber(nullptr, nullptr);
    HWND w = Run();
    EXPECT_EQ(module.AddQSO(nullptr), 0);
    EXPECT_EQ(module.Run(0, nullptr), w);  // an existing window does not look at the record
}

TEST(ModuleUnloadTest, UnloadRightAfterReleaseDoesNotCrash) {
    TestLog log;
    log.CreateLogTable();
    HMODULE dll = LoadLibraryW(L"YOLContest.dll");
    ASSERT_NE(dll, nullptr);
    auto run = reinterpret_cast<RunFn>(reinterpret_cast<void*>(GetProcAddress(dll, kExportRun)));
    auto release =
        reinterpret_cast<ReleaseFn>(reinterpret_cast<void*>(GetProcAddress(dll, kExportRelease)));
    HWND w = static_cast<HWND>(run(0, HostRecord(&log).get()));
    ASSERT_NE(w, nullptr);
    release();
    FreeLibrary(dll);
    Pump(50);  // the window's destruction is delivered now
    EXPECT_FALSE(IsWindow(w));
}

}  // namespace
}  // namespace yol::wintest
