#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "ui/FormStorage.h"

namespace yol {
namespace {

// Keys with sections of values; a value is text or a number (not text).
class FakeStore : public SettingsStore {
public:
    using Value = std::variant<std::string, unsigned>;

    void Open(const std::string& key) override {
        keys.insert(key);
        open = key;
        ++opens;
    }
    void Close() noexcept override { open.clear(); }
    bool ValueExists(const std::string& section, const std::string& name) override {
        return Find(section, name) != nullptr;
    }
    std::optional<std::string> ReadText(const std::string& section,
                                        const std::string& name) override {
        const Value* v = Find(section, name);
        if (v == nullptr) return std::nullopt;
        if (const auto* text = std::get_if<std::string>(v)) return *text;
        throw SettingsError("Invalid data type for '" + name + "'");
    }
    void WriteText(const std::string& section, const std::string& name,
                   const std::string& value) override {
        EXPECT_FALSE(open.empty());
        if (onWrite) onWrite(name);
        sections[open + "\\" + section][name] = value;
        writes.push_back(name);
    }

    // The values of the window's section under the test key.
    std::map<std::string, Value>& Values() { return sections["Software\\Logger\\TfmMainForm"]; }
    std::string Text(const std::string& name) { return std::get<std::string>(Values().at(name)); }

    std::set<std::string> keys;
    std::map<std::string, std::map<std::string, Value>> sections;
    std::vector<std::string> writes;
    std::string open;
    int opens = 0;
    std::function<void(const std::string&)> onWrite;

private:
    const Value* Find(const std::string& section, const std::string& name) {
        EXPECT_FALSE(open.empty());
        const auto s = sections.find(open + "\\" + section);
        if (s == sections.end()) return nullptr;
        const auto v = s->second.find(name);
        return v == s->second.end() ? nullptr : &v->second;
    }
};

// The designed window, hidden, on a 1024x768 screen at 96 pixels per inch.
// Applying a placement with the hide command leaves the state as it was.
class FakeWindow : public PlacementWindow {
public:
    PlacementRecord GetPlacement() override { return placement; }
    void SetPlacement(const PlacementRecord& p) override {
        applied.push_back(p);
        const auto showCmd = placement.showCmd;
        placement = p;
        if (p.showCmd == kShowHide) placement.showCmd = showCmd;
    }
    bool IsVisible() override { return visible; }
    bool HasSizeableBorder() override { return sizeable; }
    int Width() override { return placement.right - placement.left; }
    int Height() override { return placement.bottom - placement.top; }
    void SetState(WindowState state) override {
        states.push_back(state);
        placement.showCmd = state == WindowState::Maximized ? 3 : 1;
    }
    int ScreenWidth() override { return screenWidth; }
    int ScreenHeight() override { return screenHeight; }
    int PixelsPerInch() override { return 96; }
    int SizeableFrameWidth() override { return 4; }
    int SizeableFrameHeight() override { return 3; }

    PlacementRecord placement{.flags = 0, .showCmd = 1, .minX = -1, .minY = -1, .maxX = -1,
                              .maxY = -1, .left = 975, .top = 191, .right = 1349, .bottom = 387};
    bool visible = false;
    bool sizeable = true;
    int screenWidth = 1024, screenHeight = 768;
    std::vector<PlacementRecord> applied;
    std::vector<WindowState> states;
};

struct Rect {
    int left, top, right, bottom;
    bool operator==(const Rect&) const = default;
    friend std::ostream& operator<<(std::ostream& os, const Rect& r) {
        return os << r.left << ',' << r.top << ',' << r.right << ',' << r.bottom;
    }
};
Rect RectOf(const PlacementRecord& p) { return {p.left, p.top, p.right, p.bottom}; }
const Rect kDesigned{975, 191, 1349, 387};
constexpr int kIntMin = std::numeric_limits<int>::min();
constexpr int kIntMax = std::numeric_limits<int>::max();

class FormStorageTest : public ::testing::Test {
protected:
    void Put(const std::string& name, FakeStore::Value value) { store.Values()[name] = value; }
    // Restores, as at the first show, and checks that the store was closed.
    void Restore() {
        storage.RestorePlacement();
        EXPECT_TRUE(store.open.empty());
    }
    // The placement applied from the stored values, before the final fix-up.
    std::vector<PlacementRecord> RestoredPlacements() {
        return {window.applied.begin(), window.applied.end() - 1};
    }

    FakeStore store;
    FakeWindow window;
    TFormStorage storage{store, window, "Software\\Logger"};
};

TEST_F(FormStorageTest, FirstShowWithNothingStoredKeepsTheDesignedPlace) {
    Restore();
    EXPECT_EQ(store.keys, std::set<std::string>{"Software\\Logger"});
    EXPECT_TRUE(store.sections.empty());  // the section waits for the first save
    // Only the maximised-position fix is applied, hidden, to the designed place.
    ASSERT_EQ(window.applied.size(), 1u);
    const PlacementRecord& fix = window.applied[0];
    EXPECT_EQ(fix.showCmd, kShowHide);
    EXPECT_EQ(RectOf(fix), kDesigned);
    EXPECT_EQ(fix.maxX, -4);
    EXPECT_EQ(fix.maxY, -3);
    EXPECT_EQ(window.states, std::vector<WindowState>{WindowState::Normal});
    EXPECT_TRUE(storage.Restored());
    EXPECT_FALSE(storage.Saved());
    EXPECT_EQ(storage.CurrentBand(), "0");
}

TEST_F(FormStorageTest, FirstSaveWritesAllTenValuesInOrder) {
    Restore();
    window.visible = true;
    storage.SavePlacement();
    EXPECT_TRUE(store.open.empty());
    EXPECT_EQ(store.writes,
              (std::vector<std::string>{"FormVersion", "Flags", "ShowCmd", "PixelsPerInch",
                                        "MinMaxPos(1024x768)", "MinMaxPos", "NormPos(1024x768)",
                                        "NormPos", "Visible", "CurrentBand"}));
    const std::map<std::string, FakeStore::Value> expected{
        {"FormVersion", "0"}, {"Flags", "0"}, {"ShowCmd", "1"}, {"PixelsPerInch", "96"},
        {"MinMaxPos(1024x768)", "-1,-1,-4,-3"}, {"MinMaxPos", "-1,-1,-4,-3"},
        {"NormPos(1024x768)", "975,191,1349,387"}, {"NormPos", "975,191,1349,387"},
        {"Visible", "0"}, {"CurrentBand", "0"}};
    EXPECT_EQ(store.Values(), expected);
    EXPECT_TRUE(storage.Saved());
}

TEST_F(FormStorageTest, SavesFollowTheMarks) {
    storage.SavePlacement();
    storage.SaveAtDestroy();
    EXPECT_EQ(store.opens, 0);  // nothing before a restore

    // A close request saves "Visible" 0; the destruction after it saves nothing.
    Restore();
    storage.SavePlacement();
    EXPECT_EQ(store.Text("Visible"), "0");
    store.writes.clear();
    storage.SaveAtDestroy();
    EXPECT_TRUE(store.writes.empty());

    // A new restore clears Saved; the destruction then saves with "Visible" 1,
    // its mark on while it writes and off afterwards.
    Restore();
    EXPECT_FALSE(storage.Saved());
    std::vector<bool> marks;
    store.onWrite = [&](const std::string&) { marks.push_back(storage.InDestroy()); };
    storage.SaveAtDestroy();
    EXPECT_EQ(store.Text("Visible"), "1");
    EXPECT_EQ(marks, std::vector<bool>(10, true));
    EXPECT_FALSE(storage.InDestroy());
}

TEST_F(FormStorageTest, FailedSaveClosesStoreAndIsRetriedAtDestruction) {
    Restore();
    store.onWrite = [](const std::string& name) {
        if (name == "NormPos") throw SettingsError("Failed to set data for 'NormPos'");
    };
    EXPECT_THROW(storage.SavePlacement(), SettingsError);
    EXPECT_TRUE(store.open.empty());
    EXPECT_FALSE(storage.Saved());
    EXPECT_THROW(storage.SaveAtDestroy(), SettingsError);
    EXPECT_TRUE(store.open.empty());
    EXPECT_FALSE(storage.InDestroy());
}

TEST_F(FormStorageTest, StoredPlacementIsAppliedHiddenThenMaximisedPositionFixed) {
    Put("Flags", "2");
    Put("PixelsPerInch", "96");
    Put("MinMaxPos(1024x768)", "10,20,30,40");
    Put("NormPos(1024x768)", "100,50,500,350");
    Restore();
    ASSERT_EQ(window.applied.size(), 2u);
    const PlacementRecord& p = window.applied[0];
    EXPECT_EQ(p.flags, 2u);
    EXPECT_EQ(p.showCmd, kShowHide);
    EXPECT_EQ((Rect{p.minX, p.minY, p.maxX, p.maxY}), (Rect{10, 20, 30, 40}));
    EXPECT_EQ(RectOf(p), (Rect{100, 50, 500, 350}));
    const PlacementRecord& fix = window.applied[1];
    EXPECT_EQ((Rect{fix.minX, fix.minY, fix.maxX, fix.maxY}), (Rect{10, 20, -4, -3}));
    EXPECT_EQ(RectOf(fix), (Rect{100, 50, 500, 350}));
}

TEST_F(FormStorageTest, VisibleWindowKeepsItsShowCommand) {
    window.visible = true;
    Put("NormPos", "100,50,500,350");
    Restore();
    for (const auto& p : window.applied) EXPECT_EQ(p.showCmd, 1u);
}

TEST_F(FormStorageTest, PlaceIsKeptWhenDensityDiffersOrRectangleIsEmpty) {
    Put("NormPos(1024x768)", "100,50,500,350");
    Put("ShowCmd", "3");
    Put("CurrentBand", "40");
    Put("PixelsPerInch", "120");
    Restore();
    EXPECT_TRUE(RestoredPlacements().empty());
    EXPECT_EQ(RectOf(window.placement), kDesigned);
    EXPECT_EQ(window.states, std::vector<WindowState>{WindowState::Maximized});
    EXPECT_EQ(storage.CurrentBand(), "40");

    for (const char* norm : {"0,0,0,0", "500,10,400,300"}) {
        Put("PixelsPerInch", "96");
        Put("NormPos(1024x768)", norm);
        window.applied.clear();
        Restore();
        EXPECT_TRUE(RestoredPlacements().empty()) << norm;
    }
}

TEST_F(FormStorageTest, NonSizeableBorderRestoresOnlyThePosition) {
    window.sizeable = false;
    Put("NormPos", "100,50,9999,9999");
    Restore();
    ASSERT_EQ(RestoredPlacements().size(), 1u);
    EXPECT_EQ(RectOf(window.applied[0]), (Rect{100, 50, 474, 246}));

    // Left plus width is held at the top of the range.
    window.placement = FakeWindow().placement;
    window.applied.clear();
    Put("NormPos", "2147483600 0");
    Restore();
    ASSERT_EQ(RestoredPlacements().size(), 1u);
    EXPECT_EQ(RectOf(window.applied[0]), (Rect{2147483600, 0, kIntMax, 196}));
}

TEST_F(FormStorageTest, ShowCommandMapsToNormalOrMaximised) {
    const std::map<std::string, WindowState> cases{
        {"1", WindowState::Normal},  {"2", WindowState::Normal},    {"3", WindowState::Maximized},
        {"5", WindowState::Normal},  {"6", WindowState::Normal},    {"7", WindowState::Normal},
        {"9", WindowState::Normal},  {"0", WindowState::Normal},    {"11", WindowState::Normal},
        {"-3", WindowState::Normal}, {" 3 ", WindowState::Maximized}, {"3x", WindowState::Normal}};
    for (const auto& [text, state] : cases) {
        Put("ShowCmd", text);
        window.states.clear();
        Restore();
        EXPECT_EQ(window.states, std::vector<WindowState>{state}) << text;
    }
}

TEST_F(FormStorageTest, OlderVersionBlocksTheRestoreAndIsRewritten) {
    Put("FormVersion", "-1");
    Put("NormPos", "100,50,500,350");
    Put("ShowCmd", "3");
    Put("CurrentBand", "20");
    Restore();
    EXPECT_TRUE(storage.Restored());
    EXPECT_TRUE(window.states.empty());
    EXPECT_EQ(window.applied.size(), 1u);  // only the maximised-position fix
    EXPECT_EQ(window.applied[0].maxX, -4);
    EXPECT_EQ(storage.CurrentBand(), "0");
    storage.SavePlacement();
    EXPECT_EQ(store.Text("FormVersion"), "0");
    EXPECT_EQ(store.Text("NormPos"), "975,191,1349,387");
    EXPECT_EQ(store.Text("CurrentBand"), "0");

    // A version that is no number reads as 0 and lets the restore run, as
    // does a later one.
    for (const char* version : {"zero", "", "1"}) {
        SCOPED_TRACE(version);
        Put("FormVersion", version);
        Put("CurrentBand", "20");
        Restore();
        EXPECT_EQ(storage.CurrentBand(), "20");
    }
}

TEST_F(FormStorageTest, CurrentBandSurvivesACycle) {
    Put("CurrentBand", "20");
    Restore();
    EXPECT_EQ(storage.CurrentBand(), "20");
    storage.SavePlacement();
    EXPECT_EQ(store.Text("CurrentBand"), "20");
}

TEST_F(FormStorageTest, ScreenSizedValueIsPreferredAndPlainOneIsTheFallback) {
    Put("NormPos(1024x768)", "100,50,500,350");
    Put("NormPos", "200,60,600,360");
    Restore();
    EXPECT_EQ(RectOf(window.applied.front()), (Rect{100, 50, 500, 350}));

    window.screenWidth = 1280;
    window.screenHeight = 1024;
    window.applied.clear();
    Restore();
    EXPECT_EQ(RectOf(window.applied.front()), (Rect{200, 60, 600, 360}));
    storage.SavePlacement();
    EXPECT_EQ(store.Text("NormPos(1280x1024)"), "200,60,600,360");
    EXPECT_EQ(store.Text("NormPos(1024x768)"), "100,50,500,350");

    Put("NormPos(1280x1024)", "");  // empty counts as missing
    Put("NormPos", "300,70,700,370");
    window.applied.clear();
    Restore();
    EXPECT_EQ(RectOf(window.applied.front()), (Rect{300, 70, 700, 370}));
}

TEST_F(FormStorageTest, NonTextValueStopsTheRestoreAndNothingIsSavedAfter) {
    Put("NormPos(1024x768)", 5u);
    Put("ShowCmd", "3");
    try {
        storage.RestorePlacement();
        FAIL() << "no failure";
    } catch (const SettingsError& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'NormPos(1024x768)'");
    }
    EXPECT_TRUE(store.open.empty());
    EXPECT_FALSE(storage.Restored());
    EXPECT_TRUE(window.applied.empty());
    EXPECT_TRUE(window.states.empty());
    storage.SavePlacement();
    storage.SaveAtDestroy();
    EXPECT_TRUE(store.writes.empty());
}

TEST_F(FormStorageTest, DensityIsReadOnlyWhenAPositionIsStored) {
    Put("PixelsPerInch", 96u);
    EXPECT_NO_THROW(storage.RestorePlacement());

    Put("MinMaxPos", "1,2,3,4");
    try {
        storage.RestorePlacement();
        FAIL() << "no failure";
    } catch (const SettingsError& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'PixelsPerInch'");
    }
}

TEST_F(FormStorageTest, NonTextStoredValueFailsAfterTheStateIsRestored) {
    Put("CurrentBand", 20u);
    EXPECT_THROW(storage.RestorePlacement(), SettingsError);
    EXPECT_TRUE(store.open.empty());
    EXPECT_TRUE(storage.Restored());
    storage.SavePlacement();
    EXPECT_EQ(store.Text("CurrentBand"), "0");
}

TEST_F(FormStorageTest, OddWordsGiveDefaults) {
    struct Case {
        const char* norm;
        Rect expected;
    };
    const Case cases[] = {
        {"100,, 50 ,x", {100, 50, 1349, 387}},  // runs of delimiters; defaults from the window
        {" ,, , ", kDesigned},                  // no words at all
        {"+7,-0,1e3,0x10", {7, 0, 1349, 387}},
        {"99999999999,2147483648,-2147483649,99999999999999999999999", {975, 191, 1349, 387}},
        {"-2147483648,+-5,2147483647,--1", {kIntMin, 191, kIntMax, 387}},
    };
    for (const Case& c : cases) {
        window.placement = FakeWindow().placement;
        window.applied.clear();
        Put("NormPos", c.norm);
        Restore();
        ASSERT_EQ(RestoredPlacements().size(), 1u) << c.norm;
        EXPECT_EQ(RectOf(window.applied[0]), c.expected) << c.norm;
    }

    store.Values().erase("NormPos");
    window.placement = FakeWindow().placement;
    window.applied.clear();
    Put("MinMaxPos", "a 5");
    Put("Flags", "4294967295");
    Restore();
    EXPECT_EQ((Rect{window.applied[0].minX, window.applied[0].minY, window.applied[0].maxX,
                    window.applied[0].maxY}),
              (Rect{0, 5, 0, 0}));
    EXPECT_EQ(window.applied[0].flags, 4294967295u);
    for (const char* flags : {"4294967296", "x"}) {
        window.placement.flags = 6;
        window.applied.clear();
        Put("Flags", flags);
        Restore();
        EXPECT_EQ(window.applied[0].flags, 6u) << flags;
    }
}

TEST(HostKeyTest, DropsDirectoryAndOnlyTheLastExtension) {
    EXPECT_EQ(HostKeyFromExecutable("C:\\x\\My.Logger.exe"), "Software\\My.Logger");
    EXPECT_EQ(HostKeyFromExecutable("C:\\Hams\\Logger"), "Software\\Logger");
    EXPECT_EQ(HostKeyFromExecutable("C:/x.y/Logger.exe"), "Software\\Logger");
    EXPECT_EQ(HostKeyFromExecutable("Logger.EXE"), "Software\\Logger");
}

}  // namespace
}  // namespace yol
