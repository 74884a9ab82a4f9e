// The window at the screen's pixel density: the design's sizes are pixels at
// 96 dots per inch. The suite runs at the prefix's density; CTest runs it a
// second time at 144 dots per inch (YOL_WINE_DPI).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ModuleFixture.h"
#include "WinTestSupport.h"

namespace yol::wintest {
namespace {

constexpr const wchar_t* kHostKey = L"Software\\yol_win_tests";

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

int FontHeight(HWND control) {
    LOGFONTW font{};
    const auto handle = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    if (handle == nullptr || GetObjectW(handle, sizeof font, &font) == 0) return 0;
    return font.lfHeight;
}

SIZE SizeOf(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return {r.right - r.left, r.bottom - r.top};
}

class DpiTest : public ModuleFixture {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, kHostKey);
        log.CreateLogTable();
        log.Add("UA9ABC", "14", "CW", "UA9", "AS", "599 NS12");
        log.Add("DL1ABC", "14", "CW", "DL", "EU", "599 7");
        log.Add("W1AW", "7", "SSB", "K", "NA", "59 1");
        log.Add("RA3ABC", "3.5", "CW", "UA1", "EU", "599 MO05");
    }
    void TearDown() override {
        ModuleFixture::TearDown();
        RegDeleteTreeW(HKEY_CURRENT_USER, kHostKey);
    }
    static int Scaled(int designed, int dpi) { return MulDiv(designed, dpi, 96); }
};

TEST_F(DpiTest, SizesAndFontsFollowTheDensity) {
    const int dpi = ScreenDpi();
    if (const char* expected = std::getenv("YOL_WINE_DPI")) {
        ASSERT_EQ(dpi, std::atoi(expected)) << "the prefix did not take the density asked for";
    }
    HWND w = Run();
    ASSERT_TRUE(IsWindow(w));

    RECT r{};
    GetWindowRect(w, &r);
    EXPECT_EQ(r.left, 975);  // the designed place does not move
    EXPECT_EQ(r.top, 191);
    const SIZE outer = SizeOf(w);
    EXPECT_EQ(outer.cx, Scaled(374, dpi));
    EXPECT_EQ(outer.cy, Scaled(196, dpi));

    HWND button = ChildOfClass(w, L"Button");
    HWND area = ChildOfClass(w, L"Edit");
    ASSERT_TRUE(button != nullptr && area != nullptr);
    const SIZE buttonSize = SizeOf(button);
    EXPECT_EQ(buttonSize.cx, Scaled(130, dpi));
    EXPECT_EQ(buttonSize.cy, Scaled(22, dpi));
    // The panel along the bottom: the text area ends where it begins.
    RECT client{}, areaRect{};
    GetClientRect(w, &client);
    GetWindowRect(area, &areaRect);
    MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&areaRect), 2);
    EXPECT_EQ(client.bottom - areaRect.bottom, Scaled(23, dpi));
    EXPECT_EQ(FontHeight(area), -Scaled(11, dpi));
    EXPECT_EQ(FontHeight(button), -Scaled(11, dpi));
}

TEST_F(DpiTest, ReportColumnsStayAligned) {
    HWND w = Run();
    HWND area = ChildOfClass(w, L"Edit");
    ASSERT_TRUE(area != nullptr);
    const std::string text = StatisticText(w);

    // The report is laid out by tabs in a fixed-pitch font: every column
    // starts at the same x on the header, the band lines and the total line,
    // and the numbers, padded to one width, end together.
    TEXTMETRICW metrics{};
    {
        HDC dc = GetDC(area);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(area, WM_GETFONT, 0, 0)));
        GetTextMetricsW(dc, &metrics);
        SelectObject(dc, old);
        ReleaseDC(area, dc);
    }
    EXPECT_EQ(metrics.tmPitchAndFamily & TMPF_FIXED_PITCH, 0) << "not a fixed-pitch font";

    std::vector<std::vector<int>> starts;  // per line: x of the first character after each tab
    std::size_t lineStart = 0;
    while (lineStart < text.size()) {
        std::size_t lineEnd = text.find("\r\n", lineStart);
        if (lineEnd == std::string::npos) lineEnd = text.size();
        if (text.compare(lineStart, 7, " Score:") != 0) {
            std::vector<int> line;
            for (std::size_t i = lineStart; i + 1 < lineEnd; ++i) {
                if (text[i] != '\t') continue;
                const auto pos = static_cast<DWORD>(SendMessageW(area, EM_POSFROMCHAR, i + 1, 0));
                line.push_back(static_cast<short>(LOWORD(pos)));
            }
            starts.push_back(line);
        }
        lineStart = lineEnd + 2;
    }
    ASSERT_GE(starts.size(), 5u) << text;  // header, three bands, total
    for (std::size_t l = 0; l < starts.size(); ++l) {
        SCOPED_TRACE(l);
        ASSERT_EQ(starts[l].size(), 4u);
        for (std::size_t c = 0; c < 4; ++c) EXPECT_EQ(starts[l][c], starts[0][c]) << "column " << c;
        if (l > 0) {
            EXPECT_GT(starts[l][0], 0);
        }
    }
}

}  // namespace
}  // namespace yol::wintest
