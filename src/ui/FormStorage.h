// The statistics window's placement store: keeps the window's position, size
// and state, and one stored value ("CurrentBand"), in the current user's
// settings store under the host program's own key, from one run of the host
// to the next. Portable: the settings store and the window are reached through
// the two small interfaces below.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace yol {

// A settings-store failure; the text goes to the standard error report.
class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Text-valued settings under one key of the current user's branch, with
// sub-keys as sections. Implementations throw SettingsError with the texts
// "Failed to create key %s", "Failed to set data for '%s'",
// "Failed to get data for '%s'" and "Invalid data type for '%s'".
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // Opens the key (e.g. "Software\\Logger"), creating it when missing.
    virtual void Open(const std::string& key) = 0;
    // Closes whatever is open; harmless when nothing is.
    virtual void Close() noexcept = 0;

    // Whether the section holds the value (a missing section holds none).
    virtual bool ValueExists(const std::string& section, const std::string& name) = 0;
    // The value as text, or nothing when the section or value is missing.
    // A value that is not text throws "Invalid data type for '<name>'".
    virtual std::optional<std::string> ReadText(const std::string& section,
                                                const std::string& name) = 0;
    // Writes a text value, creating the section when it is missing.
    virtual void WriteText(const std::string& section, const std::string& name,
                           const std::string& value) = 0;
};

// The window system's placement record (WINDOWPLACEMENT on Windows): flags,
// show command, minimised and maximised positions and the normal rectangle,
// in work-area coordinates.
struct PlacementRecord {
    std::uint32_t flags = 0;
    std::uint32_t showCmd = 0;
    int minX = 0, minY = 0;
    int maxX = 0, maxY = 0;
    int left = 0, top = 0, right = 0, bottom = 0;
};

enum class WindowState { Normal, Maximized };

// What the placement store needs of the window and the screen.
class PlacementWindow {
public:
    virtual ~PlacementWindow() = default;

    virtual PlacementRecord GetPlacement() = 0;
    virtual void SetPlacement(const PlacementRecord& placement) = 0;
    virtual bool IsVisible() = 0;
    virtual bool HasSizeableBorder() = 0;
    // Current outer size of the window.
    virtual int Width() = 0;
    virtual int Height() = 0;
    // Gives the window the state: at once when it is showing, otherwise as
    // the state in which it will become visible.
    virtual void SetState(WindowState state) = 0;

    virtual int ScreenWidth() = 0;
    virtual int ScreenHeight() = 0;
    virtual int PixelsPerInch() = 0;
    // Width and height of a sizeable window frame.
    virtual int SizeableFrameWidth() = 0;
    virtual int SizeableFrameHeight() = 0;
};

// Show commands of the placement record (the Windows values).
inline constexpr std::uint32_t kShowHide = 0;

class TFormStorage {
public:
    static constexpr int Version = 0;
    static constexpr std::string_view kSection = "TfmMainForm";
    static constexpr std::string_view kStoredValueName = "CurrentBand";

    // `key` is the host program's key, "Software\" + its executable's name
    // without the last extension (see HostKeyFromExecutable).
    TFormStorage(SettingsStore& store, PlacementWindow& window, std::string key);

    // Reads the stored placement and value and applies them. Failures throw
    // SettingsError after closing the store.
    void RestorePlacement();
    // Writes the placement and the stored value; does nothing until a restore
    // has run. Failures throw SettingsError after closing the store.
    void SavePlacement();
    // The save at the window's destruction: only when nothing was saved since
    // the restore, with "Visible" written as "1".
    void SaveAtDestroy();

    bool Restored() const noexcept { return restored_; }
    bool Saved() const noexcept { return saved_; }
    bool InDestroy() const noexcept { return inDestroy_; }
    const std::string& CurrentBand() const noexcept { return currentBand_; }
    const std::string& Key() const noexcept { return key_; }

private:
    SettingsStore& store_;
    PlacementWindow& window_;
    std::string key_;
    std::string currentBand_ = "0";
    bool restored_ = false;
    bool saved_ = false;
    bool inDestroy_ = false;
};

// "Software\" + the file name of the executable without its last extension:
// "C:\\Hams\\My.Logger.exe" gives "Software\\My.Logger".
std::string HostKeyFromExecutable(std::string_view executablePath);

}  // namespace yol
