#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "win/TextConv.h"
#include "ui/FormStorage.h"
#include "ui/RegistryStore.h"

namespace yol {
namespace {

// A key of its own under HKEY_CURRENT_USER, deleted afterwards.
class RegistryStoreTest : public ::testing::Test {
protected:
    ~RegistryStoreTest() override {
        store.Close();
        RegDeleteTreeW(HKEY_CURRENT_USER, WideFromAnsi(key).c_str());
    }

    bool KeyExists(const std::string& path) {
        HKEY h = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, WideFromAnsi(path).c_str(), 0, KEY_READ, &h) !=
            ERROR_SUCCESS)
            return false;
        RegCloseKey(h);
        return true;
    }
    // Writes a raw value into the section, creating it.
    void PutRaw(const std::string& section, const wchar_t* name, DWORD type, const void* data,
                DWORD size) {
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, WideFromAnsi(key + "\\" + section).c_str(),
                                  name, type, data, size),
                  ERROR_SUCCESS);
    }
    // A string value read straight from the registry; "<missing>" when absent
    // or not a string.
    std::wstring RawText(const wchar_t* name) {
        const std::wstring path = WideFromAnsi(key + "\\TfmMainForm");
        wchar_t buffer[256];
        DWORD size = sizeof buffer;
        if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer,
                         &size) != ERROR_SUCCESS)
            return L"<missing>";
        return buffer;
    }

    const std::string key = "Software\\YOLContestTest." + std::to_string(GetCurrentProcessId()) +
                            "." + std::to_string(GetTickCount64());
    RegistrySettingsStore store;
};

TEST_F(RegistryStoreTest, MissingKeySectionOrValueReadsAsNothing) {
    EXPECT_EQ(store.ReadText("TfmMainForm", "NormPos"), std::nullopt);  // nothing open
    store.Open(key);
    EXPECT_TRUE(KeyExists(key));
    EXPECT_EQ(store.ReadText("TfmMainForm", "NormPos"), std::nullopt);
    EXPECT_FALSE(store.ValueExists("TfmMainForm", "NormPos"));
    EXPECT_FALSE(KeyExists(key + "\\TfmMainForm"));  // reading creates no section

    store.WriteText("TfmMainForm", "Flags", "0");
    EXPECT_EQ(store.ReadText("TfmMainForm", "NormPos"), std::nullopt);
    EXPECT_FALSE(store.ValueExists("TfmMainForm", "NormPos"));
}

TEST_F(RegistryStoreTest, TextsRoundTripAsStringValues) {
    store.Open(key);
    store.WriteText("TfmMainForm", "NormPos", "975,191,1349,387");
    store.WriteText("TfmMainForm", "CurrentBand", "a much longer text first");
    store.WriteText("TfmMainForm", "CurrentBand", "20");
    store.WriteText("TfmMainForm", "Empty", "");
    store.WriteText("TfmMainForm", "High\xE9", "\xE9\xC0\xFF");
    store.Close();

    EXPECT_EQ(RawText(L"NormPos"), L"975,191,1349,387");
    store.Open(key);
    EXPECT_EQ(store.ReadText("TfmMainForm", "NormPos"), "975,191,1349,387");
    EXPECT_EQ(store.ReadText("TfmMainForm", "CurrentBand"), "20");
    EXPECT_EQ(store.ReadText("TfmMainForm", "Empty"), "");
    EXPECT_TRUE(store.ValueExists("TfmMainForm", "Empty"));
    EXPECT_EQ(store.ReadText("TfmMainForm", "High\xE9"), AnsiFromWide(WideFromAnsi("\xE9\xC0\xFF")));
}

TEST_F(RegistryStoreTest, ValueTypesOtherThanStringsFail) {
    const DWORD number = 5;
    PutRaw("TfmMainForm", L"NormPos(1024x768)", REG_DWORD, &number, sizeof number);
    const wchar_t expandable[] = L"%TEMP%";
    PutRaw("TfmMainForm", L"Expand", REG_EXPAND_SZ, expandable, sizeof expandable);
    const wchar_t unterminated[] = {L'1', L'2', L'3'};
    PutRaw("TfmMainForm", L"Unterminated", REG_SZ, unterminated, sizeof unterminated);

    store.Open(key);
    EXPECT_TRUE(store.ValueExists("TfmMainForm", "NormPos(1024x768)"));
    try {
        store.ReadText("TfmMainForm", "NormPos(1024x768)");
        FAIL() << "no failure";
    } catch (const SettingsError& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'NormPos(1024x768)'");
    }
    EXPECT_EQ(store.ReadText("TfmMainForm", "Expand"), "%TEMP%");  // kept as stored
    EXPECT_EQ(store.ReadText("TfmMainForm", "Unterminated"), "123");
}

class StillWindow : public PlacementWindow {
public:
    PlacementRecord GetPlacement() override { return placement; }
    void SetPlacement(const PlacementRecord& p) override { placement = p; }
    bool IsVisible() override { return true; }
    bool HasSizeableBorder() override { return true; }
    int Width() override { return placement.right - placement.left; }
    int Height() override { return placement.bottom - placement.top; }
    void SetState(WindowState) override {}
    int ScreenWidth() override { return 1280; }
    int ScreenHeight() override { return 1024; }
    int PixelsPerInch() override { return 96; }
    int SizeableFrameWidth() override { return 4; }
    int SizeableFrameHeight() override { return 4; }

    PlacementRecord placement{.flags = 0, .showCmd = 1, .minX = -1, .minY = -1, .maxX = -1,
                              .maxY = -1, .left = 975, .top = 191, .right = 1349, .bottom = 387};
};

TEST_F(RegistryStoreTest, PlacementSavedAndRestoredThroughTheRegistry) {
    StillWindow window;
    {
        TFormStorage storage(store, window, key);
        storage.RestorePlacement();
        EXPECT_TRUE(KeyExists(key));
        EXPECT_FALSE(KeyExists(key + "\\TfmMainForm"));
        storage.SaveAtDestroy();
    }
    const std::pair<const wchar_t*, const wchar_t*> expected[] = {
        {L"FormVersion", L"0"},
        {L"Flags", L"0"},
        {L"ShowCmd", L"1"},
        {L"PixelsPerInch", L"96"},
        {L"MinMaxPos(1280x1024)", L"-1,-1,-4,-4"},
        {L"MinMaxPos", L"-1,-1,-4,-4"},
        {L"NormPos(1280x1024)", L"975,191,1349,387"},
        {L"NormPos", L"975,191,1349,387"},
        {L"Visible", L"1"},
        {L"CurrentBand", L"0"},
    };
    for (const auto& [name, text] : expected) EXPECT_EQ(RawText(name), text) << AnsiFromWide(name);

    const wchar_t norm[] = L"100,50,500,350";
    PutRaw("TfmMainForm", L"NormPos(1280x1024)", REG_SZ, norm, sizeof norm);
    const wchar_t band[] = L"20";
    PutRaw("TfmMainForm", L"CurrentBand", REG_SZ, band, sizeof band);
    TFormStorage storage(store, window, key);
    storage.RestorePlacement();
    EXPECT_EQ(window.placement.left, 100);
    EXPECT_EQ(window.placement.bottom, 350);
    EXPECT_EQ(storage.CurrentBand(), "20");
}

TEST(HostExecutableTest, NamesThisProcessesExecutable) {
    const std::string path = HostExecutablePath();
    EXPECT_NE(GetFileAttributesW(WideFromAnsi(path).c_str()), INVALID_FILE_ATTRIBUTES) << path;
    EXPECT_EQ(HostKeyFromExecutable(path).rfind("Software\\", 0), 0u);
    EXPECT_EQ(HostKeyFromExecutable(path).find(".exe"), std::string::npos) << path;
}

}  // namespace
}  // namespace yol
