// The window's placement store, checked in the registry itself: what the
// window leaves under HKCU\Software\<host>\TfmMainForm, and what it makes of
// whatever it finds there at its first show.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ModuleFixture.h"
#include "WinTestSupport.h"

namespace yol::wintest {
namespace {

// The host here is this program, yol_win_tests.exe.
constexpr const wchar_t* kHostKey = L"Software\\yol_win_tests";
constexpr const wchar_t* kSectionKey = L"Software\\yol_win_tests\\TfmMainForm";
constexpr const char* kDesignedRect = "975,191,1349,387";  // 374 x 196 at 975,191

std::string Four(long a, long b, long c, long d) {
    return std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c) + "," +
           std::to_string(d);
}

std::string WindowRectText(HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    return Four(r.left, r.top, r.right, r.bottom);
}

WINDOWPLACEMENT PlacementOf(HWND w) {
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    GetWindowPlacement(w, &wp);
    return wp;
}

std::string NormalRectText(HWND w) {
    const RECT r = PlacementOf(w).rcNormalPosition;
    return Four(r.left, r.top, r.right, r.bottom);
}

// Bytes as the code points of the same value (the tests' texts are Latin-1).
std::wstring Wide(const std::string& text) {
    std::wstring wide;
    for (const char c : text) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return wide;
}

// "(WxH)" for the primary screen as it is now.
std::wstring ScreenSuffix() {
    return L"(" + std::to_wstring(GetSystemMetrics(SM_CXSCREEN)) + L"x" +
           std::to_wstring(GetSystemMetrics(SM_CYSCREEN)) + L")";
}

int ScreenPixelsPerInch() {
    HDC dc = GetDC(nullptr);
    const int ppi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return ppi;
}

bool KeyExists(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// A string value read straight from the registry: its text, "<missing>", or
// "<type N>" for a value that is not REG_SZ.
std::string RawValue(const std::wstring& keyPath, const std::wstring& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return "<missing>";
    DWORD type = 0;
    wchar_t buffer[512] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    const LSTATUS status = RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                            reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return "<missing>";
    if (type != REG_SZ) return "<type " + std::to_string(type) + ">";
    return Utf8(buffer);
}

// The names of all values in a key; empty when the key is missing.
std::set<std::wstring> ValueNames(const std::wstring& keyPath) {
    std::set<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.insert(name);
    }
    RegCloseKey(key);
    return names;
}

class PlacementTest : public ModuleFixture {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, kHostKey);
        log.CreateLogTable();
        log.Add("DL1A", "14", "CW", "DL", "EU", "599 MO05");
        // Work-area and screen coordinates agree only when the work area
        // starts at the screen's corner, as it does under Xvfb.
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        ASSERT_EQ(work.left, 0);
        ASSERT_EQ(work.top, 0);
    }
    void TearDown() override {
        ModuleFixture::TearDown();
        RegDeleteTreeW(HKEY_CURRENT_USER, kHostKey);
    }

    HWND Run() {
        HWND w = ModuleFixture::Run();
        Pump(20);
        return w;
    }
    // The host's close message; the destruction it asks for follows.
    void Close(HWND w) {
        SendMessageW(w, WM_CLOSE, 0, 0);
        Pump(50);
        EXPECT_FALSE(IsWindow(w));
    }
    void ReleaseWindow(HWND w) {
        module.Release();
        Pump(50);
        EXPECT_FALSE(IsWindow(w));
    }
    int AddContact() {
        return module.AddQSO(HostRecord(&log, {.call = "F5XX", .dxcc = "F"}).get());
    }
    bool ReportShown(HWND w) { return StatisticText(w).find("  14\t     1\t") != std::string::npos; }

    void Put(const std::wstring& name, const std::string& text) {
        const std::wstring value = Wide(text);
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kSectionKey, name.c_str(), REG_SZ,
                                  value.c_str(),
                                  static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    void PutRaw(const std::wstring& name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kSectionKey, name.c_str(), type, data, size),
                  ERROR_SUCCESS);
    }
    std::string Stored(const std::wstring& name) { return RawValue(kSectionKey, name); }
};

TEST_F(PlacementTest, FirstShowWithNothingStoredUsesTheDesignAndCreatesOnlyTheKey) {
    bool probed = false;
    Interloper probe([&] {
        // The first recalculation runs while the window is still hidden.
        HWND w = FindWindowW(L"TfmMainForm", nullptr);
        EXPECT_NE(w, nullptr);
        EXPECT_FALSE(IsWindowVisible(w));
        probed = true;
    });
    probe.Arm();
    HWND w = Run();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(probed);
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_FALSE(IsZoomed(w));
    EXPECT_FALSE(IsIconic(w));
    EXPECT_EQ(WindowRectText(w), kDesignedRect);
    EXPECT_TRUE(ReportShown(w));
    EXPECT_TRUE(KeyExists(kHostKey));
    EXPECT_FALSE(KeyExists(kSectionKey));
}

TEST_F(PlacementTest, CloseMessageWritesAllTenValuesAsText) {
    HWND w = Run();
    const WINDOWPLACEMENT before = PlacementOf(w);
    Close(w);

    const std::wstring suffix = ScreenSuffix();
    EXPECT_EQ(ValueNames(kSectionKey),
              (std::set<std::wstring>{L"FormVersion", L"Flags", L"ShowCmd", L"PixelsPerInch",
                                      L"MinMaxPos" + suffix, L"MinMaxPos", L"NormPos" + suffix,
                                      L"NormPos", L"Visible", L"CurrentBand"}));
    EXPECT_EQ(Stored(L"FormVersion"), "0");
    EXPECT_EQ(Stored(L"Flags"), std::to_string(before.flags));
    EXPECT_EQ(Stored(L"ShowCmd"), "1");
    EXPECT_EQ(Stored(L"PixelsPerInch"), std::to_string(ScreenPixelsPerInch()));
    // The minimised and maximised positions as the window system reports them.
    const std::string minMax = Four(before.ptMinPosition.x, before.ptMinPosition.y,
                                    before.ptMaxPosition.x, before.ptMaxPosition.y);
    EXPECT_EQ(Stored(L"MinMaxPos" + suffix), minMax);
    EXPECT_EQ(Stored(L"MinMaxPos"), minMax);
    EXPECT_EQ(Stored(L"NormPos" + suffix), kDesignedRect);
    EXPECT_EQ(Stored(L"NormPos"), kDesignedRect);
    EXPECT_EQ(Stored(L"Visible"), "0");  // the destruction after the close saved nothing more
    EXPECT_EQ(Stored(L"CurrentBand"), "0");
}

TEST_F(PlacementTest, VisibleTellsASaveAtDestructionFromOneOnRequest) {
    HWND w = Run();
    ReleaseWindow(w);
    EXPECT_EQ(Stored(L"Visible"), "1");
    EXPECT_EQ(Stored(L"NormPos"), kDesignedRect);
    EXPECT_EQ(Stored(L"ShowCmd"), "1");

    // The shutdown query saves and the window stays; its destruction then
    // saves nothing more.
    w = Run();
    EXPECT_EQ(SendMessageW(w, WM_QUERYENDSESSION, 0, 0), TRUE);
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_EQ(Stored(L"Visible"), "0");
    SetWindowPos(w, nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ReleaseWindow(w);
    EXPECT_EQ(Stored(L"Visible"), "0");
    EXPECT_EQ(Stored(L"NormPos"), kDesignedRect);
}

TEST_F(PlacementTest, MovedWindowComesBackWhereItWasLeft) {
    HWND w = Run();
    SetWindowPos(w, nullptr, 200, 150, 400, 250, SWP_NOZORDER | SWP_NOACTIVATE);
    Close(w);
    EXPECT_EQ(Stored(L"NormPos"), "200,150,600,400");
    EXPECT_EQ(Stored(L"NormPos" + ScreenSuffix()), "200,150,600,400");

    w = Run();
    EXPECT_EQ(WindowRectText(w), "200,150,600,400");
    EXPECT_TRUE(ReportShown(w));
}

TEST_F(PlacementTest, MinimisedStateComesUpNormal) {
    for (const char* showCmd : {"2", "6", "7", "0", "99", "junk"}) {
        SCOPED_TRACE(showCmd);
        RegDeleteTreeW(HKEY_CURRENT_USER, kHostKey);
        Put(L"ShowCmd", showCmd);
        HWND w = Run();
        EXPECT_TRUE(IsWindowVisible(w));
        EXPECT_FALSE(IsIconic(w));
        EXPECT_FALSE(IsZoomed(w));
        EXPECT_EQ(WindowRectText(w), kDesignedRect);
        Close(w);
        EXPECT_EQ(Stored(L"ShowCmd"), "1");
    }

    // The operator's close button minimises; the host then releases the
    // window as it exits, and the next run comes up normal again.
    RegDeleteTreeW(HKEY_CURRENT_USER, kHostKey);
    HWND w = Run();
    SendMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0);
    Pump(20);
    ASSERT_TRUE(IsIconic(w));
    EXPECT_FALSE(KeyExists(kSectionKey));  // minimising saves nothing
    ReleaseWindow(w);
    EXPECT_EQ(Stored(L"ShowCmd"), "2");
    EXPECT_EQ(Stored(L"NormPos"), kDesignedRect);
    w = Run();
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_FALSE(IsIconic(w));
    EXPECT_EQ(WindowRectText(w), kDesignedRect);
}

TEST_F(PlacementTest, MaximisedStateIsVisibleDuringTheFirstRecalculation) {
    Put(L"ShowCmd", "3");
    bool probed = false, visibleInRecalc = false, zoomedInRecalc = false;
    Interloper probe([&] {
        probed = true;
        HWND w = FindWindowW(L"TfmMainForm", nullptr);
        visibleInRecalc = IsWindowVisible(w) != FALSE;
        zoomedInRecalc = IsZoomed(w) != FALSE;
    });
    probe.Arm();
    HWND w = Run();
    EXPECT_TRUE(probed);
    EXPECT_TRUE(visibleInRecalc);
    EXPECT_TRUE(zoomedInRecalc);
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_TRUE(IsZoomed(w));  // although the window has no maximise button
    EXPECT_TRUE(ReportShown(w));
    EXPECT_EQ(NormalRectText(w), kDesignedRect);
    EXPECT_EQ(AddContact(), 3);

    // Saved maximised, with the normal rectangle, and maximised again next time.
    Close(w);
    EXPECT_EQ(Stored(L"ShowCmd"), "3");
    EXPECT_EQ(Stored(L"NormPos"), kDesignedRect);
    w = Run();
    EXPECT_TRUE(IsZoomed(w));
    // Saved at destruction, after the window has hidden: still maximised.
    ReleaseWindow(w);
    EXPECT_EQ(Stored(L"ShowCmd"), "3");
    EXPECT_EQ(Stored(L"Visible"), "1");
}

TEST_F(PlacementTest, NonTextValueStopsTheRestoreAndEveryLaterSave) {
    struct Case {
        std::wstring name;
        DWORD type;
        std::string message;
        bool release;  // end with _Release rather than a close message
    };
    const std::wstring here = ScreenSuffix();
    const std::string hereText = Utf8(here);
    // Bytes that would also read as the text "1,2,3,4".
    const wchar_t data[] = L"1,2,3,4\0";
    for (const Case& c :
         {Case{L"NormPos" + here, REG_DWORD, "Invalid data type for 'NormPos" + hereText + "'",
               false},
          Case{L"NormPos" + here, REG_DWORD, "Invalid data type for 'NormPos" + hereText + "'",
               true},
          Case{L"NormPos", REG_BINARY, "Invalid data type for 'NormPos'", false},
          Case{L"MinMaxPos", REG_MULTI_SZ, "Invalid data type for 'MinMaxPos'", true},
          Case{L"FormVersion", REG_QWORD, "Invalid data type for 'FormVersion'", false},
          Case{L"Flags", REG_DWORD, "Invalid data type for 'Flags'", true}}) {
        SCOPED_TRACE(Utf8(c.name) + " of type " + std::to_string(c.type) +
                     (c.release ? ", released" : ", closed"));
        RegDeleteTreeW(HKEY_CURRENT_USER, kHostKey);
        PutRaw(c.name, c.type, data, c.type == REG_DWORD ? 4 : c.type == REG_QWORD ? 8 : sizeof data);
        HWND w = Run();
        const auto boxes = errors.Take();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, c.message);  // ends in a quote: no "." added
        EXPECT_EQ(boxes[0].caption, "yol_win_tests");
        EXPECT_TRUE(IsWindowVisible(w));
        EXPECT_FALSE(IsZoomed(w));
        EXPECT_EQ(WindowRectText(w), kDesignedRect);
        EXPECT_TRUE(ReportShown(w));
        EXPECT_EQ(AddContact(), 3);
        if (c.release) {
            ReleaseWindow(w);
        } else {
            Close(w);
        }
        EXPECT_EQ(ValueNames(kSectionKey), std::set<std::wstring>{c.name});
        EXPECT_EQ(Stored(c.name), "<type " + std::to_string(c.type) + ">");
    }
}

TEST_F(PlacementTest, ExpandableTextReadsAsText) {
    const std::wstring text = L"100,120,500,400";
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kSectionKey, L"NormPos", REG_EXPAND_SZ,
                              text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    HWND w = Run();
    EXPECT_EQ(WindowRectText(w), "100,120,500,400");
    Close(w);
    EXPECT_EQ(Stored(L"NormPos"), "100,120,500,400");  // rewritten as REG_SZ
}

TEST_F(PlacementTest, BadStoredDataStillShowsRecalculatesAndCounts) {
    const std::vector<std::pair<std::wstring, std::string>> cases = {
        {L"NormPos", "0,0,0,0"},
        {L"NormPos", "500,400,100,120"},
        {L"NormPos", "99999999999999999999,1,2,3"},
        {L"NormPos", "2147483647,2147483647,2147483647,2147483647"},
        {L"NormPos", "-2147483648,-2147483648,2147483647,2147483647"},
        {L"NormPos", "-100000,-100000,-99000,-99900"},
        {L"NormPos", ",,,, , ,"},
        {L"NormPos", "\x01\x7f garbage \xff"},
        {L"MinMaxPos", "-2147483648,2147483647,junk,99999999999"},
        {L"Flags", "4294967295"},
        {L"Flags", "-1"},
        {L"Flags", "99999999999999"},
        {L"ShowCmd", "-2147483648"},
        {L"PixelsPerInch", "0"},
        {L"FormVersion", "2147483648"},
        {L"CurrentBand", std::string(400, 'B')},
    };
    for (const auto& [name, text] : cases) {
        SCOPED_TRACE(Utf8(name) + " = " + text.substr(0, 60));
        RegDeleteTreeW(HKEY_CURRENT_USER, kHostKey);
        Put(name, text);
        if (name != L"NormPos") Put(L"NormPos", "100,120,500,400");
        HWND w = Run();
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(IsWindowVisible(w));
        EXPECT_FALSE(IsIconic(w));
        EXPECT_TRUE(ReportShown(w));
        EXPECT_EQ(AddContact(), 3);
        Close(w);
        EXPECT_EQ(Stored(L"Visible"), "0");
    }
    // Positions that cannot make a window leave the designed one.
    for (const char* text : {"0,0,0,0", "500,400,100,120", ",,,, , ,"}) {
        SCOPED_TRACE(text);
        RegDeleteTreeW(HKEY_CURRENT_USER, kHostKey);
        Put(L"NormPos", text);
        HWND w = Run();
        EXPECT_EQ(WindowRectText(w), kDesignedRect);
        ReleaseWindow(w);
    }
}

// A host started from My.Logger.exe: only the last extension goes.
TEST(PlacementHostKeyTest, HostWithDotsInItsNameKeepsThemInTheKey) {
    const std::wstring key = L"Software\\My.Logger";
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\My");

    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    ASSERT_GT(n, 0u);
    std::wstring program(self, n);
    program = program.substr(0, program.find_last_of(L"\\/") + 1) + L"My.Logger.exe";
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                               nullptr, nullptr, &startup, &process))
        << "cannot start " << Utf8(program);
    // A process start under 32-bit emulation takes about a minute.
    const DWORD waited = WaitForSingleObject(process.hProcess, 300000);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_EQ(waited, WAIT_OBJECT_0);
    EXPECT_EQ(exitCode, 0u);

    const std::wstring section = key + L"\\TfmMainForm";
    EXPECT_EQ(RawValue(section, L"FormVersion"), "0");
    EXPECT_EQ(RawValue(section, L"ShowCmd"), "1");
    EXPECT_EQ(RawValue(section, L"NormPos"), kDesignedRect);
    EXPECT_EQ(RawValue(section, L"NormPos" + ScreenSuffix()), kDesignedRect);
    EXPECT_EQ(RawValue(section, L"Visible"), "0");
    EXPECT_EQ(RawValue(section, L"CurrentBand"), "0");
    EXPECT_EQ(ValueNames(section).size(), 10u);
    EXPECT_FALSE(KeyExists(L"Software\\My"));
    EXPECT_FALSE(KeyExists(L"Software\\My.Logger.exe"));
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}

}  // namespace
}  // namespace yol::wintest
