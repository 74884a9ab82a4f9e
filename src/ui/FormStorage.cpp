#include "ui/FormStorage.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace yol {
namespace {

constexpr const char* kFormVersion = "FormVersion";
constexpr const char* kFlags = "Flags";
constexpr const char* kShowCmd = "ShowCmd";
constexpr const char* kPixelsPerInch = "PixelsPerInch";
constexpr const char* kMinMaxPos = "MinMaxPos";
constexpr const char* kNormPos = "NormPos";
constexpr const char* kVisible = "Visible";

constexpr int kShowMaximized = 3;

// The whole text as a decimal integer: blanks around it, an optional sign and
// at least one digit. Anything else, or a number beyond 64 bits, is no number.
std::optional<std::int64_t> ParseInteger(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    // from_chars takes a leading '-' but no '+'.
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    }
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, 10);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

int IntOr(std::string_view text, int fallback) {
    const auto value = ParseInteger(text);
    if (!value || *value < std::numeric_limits<int>::min() ||
        *value > std::numeric_limits<int>::max())
        return fallback;
    return static_cast<int>(*value);
}

// Flags are written unsigned; a signed 32-bit form of the same bits reads too.
std::uint32_t FlagsOr(std::string_view text, std::uint32_t fallback) {
    const auto value = ParseInteger(text);
    if (!value || *value < std::numeric_limits<std::int32_t>::min() ||
        *value > std::numeric_limits<std::uint32_t>::max())
        return fallback;
    return static_cast<std::uint32_t>(*value);
}

// Word `index` (from 0) of a text whose words are separated by runs of spaces
// and commas; empty when the text has fewer words.
std::string_view Word(std::string_view text, int index) {
    constexpr std::string_view kDelimiters = " ,";
    std::size_t pos = 0;
    for (int i = 0;; ++i) {
        pos = text.find_first_not_of(kDelimiters, pos);
        if (pos == std::string_view::npos) return {};
        std::size_t end = text.find_first_of(kDelimiters, pos);
        if (end == std::string_view::npos) end = text.size();
        if (i == index) return text.substr(pos, end - pos);
        pos = end;
    }
}

// a + b, held at the ends of the int range instead of overflowing.
int AddClamped(int a, int b) {
    const std::int64_t sum = std::int64_t{a} + b;
    if (sum > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (sum < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(sum);
}

std::string FourInts(int a, int b, int c, int d) {
    return std::to_string(a) + ',' + std::to_string(b) + ',' + std::to_string(c) + ',' +
           std::to_string(d);
}

// Keeps the store open for one restore or save and closes it on every way out.
class OpenStore {
public:
    OpenStore(SettingsStore& store, const std::string& key) : store_(store) { store_.Open(key); }
    ~OpenStore() { store_.Close(); }
    OpenStore(const OpenStore&) = delete;
    OpenStore& operator=(const OpenStore&) = delete;

private:
    SettingsStore& store_;
};

}  // namespace

TFormStorage::TFormStorage(SettingsStore& store, PlacementWindow& window, std::string key)
    : store_(store), window_(window), key_(std::move(key)) {}

void TFormStorage::RestorePlacement() {
    saved_ = false;
    const std::string section(kSection);
    {
        OpenStore open(store_, key_);
        const auto text = [&](const std::string& name) {
            return store_.ReadText(section, name).value_or(std::string());
        };

        if (IntOr(text(kFormVersion), 0) >= Version) {
            // Position and size.
            PlacementRecord placement = window_.GetPlacement();
            if (!window_.IsVisible()) placement.showCmd = kShowHide;
            placement.flags = FlagsOr(text(kFlags), placement.flags);

            const std::string suffix = "(" + std::to_string(window_.ScreenWidth()) + "x" +
                                       std::to_string(window_.ScreenHeight()) + ")";
            // The value saved at this screen size, else the last one saved at any.
            const auto positionText = [&](const std::string& name) {
                std::string value = text(name + suffix);
                return value.empty() ? text(name) : value;
            };

            const std::string minMax = positionText(kMinMaxPos);
            if (!minMax.empty()) {
                placement.minX = IntOr(Word(minMax, 0), 0);
                placement.minY = IntOr(Word(minMax, 1), 0);
                placement.maxX = IntOr(Word(minMax, 2), 0);
                placement.maxY = IntOr(Word(minMax, 3), 0);
            }
            const std::string norm = positionText(kNormPos);
            if (!norm.empty()) {
                const int left = placement.left;
                const int top = placement.top;
                placement.left = IntOr(Word(norm, 0), left);
                placement.top = IntOr(Word(norm, 1), top);
                placement.right = IntOr(Word(norm, 2), AddClamped(left, window_.Width()));
                placement.bottom = IntOr(Word(norm, 3), AddClamped(top, window_.Height()));
            }

            if ((!minMax.empty() || !norm.empty()) &&
                IntOr(text(kPixelsPerInch), window_.PixelsPerInch()) == window_.PixelsPerInch()) {
                if (!window_.HasSizeableBorder()) {
                    placement.right = AddClamped(placement.left, window_.Width());
                    placement.bottom = AddClamped(placement.top, window_.Height());
                }
                if (placement.right > placement.left) window_.SetPlacement(placement);
            }

            // State: maximised or normal; the minimising commands, and any
            // other, come up normal, never minimised.
            window_.SetState(IntOr(text(kShowCmd), 0) == kShowMaximized ? WindowState::Maximized
                                                                         : WindowState::Normal);

            restored_ = true;
            currentBand_ = store_.ReadText(section, std::string(kStoredValueName))
                               .value_or(currentBand_);
        }
        restored_ = true;
    }

    // Park the maximised position just outside the screen's corner, by the
    // width of a sizeable frame, so that a maximised window's frame is hidden.
    PlacementRecord placement = window_.GetPlacement();
    if (!window_.IsVisible()) placement.showCmd = kShowHide;
    placement.maxX = -window_.SizeableFrameWidth();
    placement.maxY = -window_.SizeableFrameHeight();
    window_.SetPlacement(placement);
}

void TFormStorage::SavePlacement() {
    if (!restored_) return;
    const std::string section(kSection);
    OpenStore open(store_, key_);
    const auto write = [&](const std::string& name, const std::string& value) {
        store_.WriteText(section, name, value);
    };

    write(kFormVersion, std::to_string(Version));
    const PlacementRecord placement = window_.GetPlacement();
    write(kFlags, std::to_string(placement.flags));
    write(kShowCmd, std::to_string(placement.showCmd));
    write(kPixelsPerInch, std::to_string(window_.PixelsPerInch()));
    const std::string suffix = "(" + std::to_string(window_.ScreenWidth()) + "x" +
                               std::to_string(window_.ScreenHeight()) + ")";
    const std::string minMax =
        FourInts(placement.minX, placement.minY, placement.maxX, placement.maxY);
    write(kMinMaxPos + suffix, minMax);
    write(kMinMaxPos, minMax);
    const std::string norm =
        FourInts(placement.left, placement.top, placement.right, placement.bottom);
    write(kNormPos + suffix, norm);
    write(kNormPos, norm);
    write(kVisible, inDestroy_ ? "1" : "0");
    write(std::string(kStoredValueName), currentBand_);
    saved_ = true;
}

void TFormStorage::SaveAtDestroy() {
    if (saved_) return;
    struct DestroyMark {
        bool& mark;
        explicit DestroyMark(bool& m) : mark(m) { mark = true; }
        ~DestroyMark() { mark = false; }
    } destroying(inDestroy_);
    SavePlacement();
}

std::string HostKeyFromExecutable(std::string_view executablePath) {
    std::string_view name = executablePath;
    const std::size_t slash = name.find_last_of("\\/:");
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) name = name.substr(0, dot);
    return "Software\\" + std::string(name);
}

}  // namespace yol
