// Pixel density: the design's sizes are pixels at 96 dots per inch, scaled
// to the density of the monitor the window stands on.
#pragma once

#include <windows.h>

namespace yol {

inline constexpr int kDesignDpi = 96;

// A designed size at the given density.
inline int ScaleToDpi(int designed, int dpi) noexcept { return MulDiv(designed, dpi, kDesignDpi); }

// Top-level windows the calling thread creates within the scope are aware
// of each monitor's density (and get WM_DPICHANGED when they move to another
// one), where the system offers it; the thread's previous awareness comes
// back at the end of the scope, so the host's own is left alone.
class PerMonitorAwareScope {
public:
    PerMonitorAwareScope() noexcept;
    ~PerMonitorAwareScope();
    PerMonitorAwareScope(const PerMonitorAwareScope&) = delete;
    PerMonitorAwareScope& operator=(const PerMonitorAwareScope&) = delete;

private:
    HANDLE previous_ = nullptr;  // the thread's awareness context before the scope
};

// The density the window is drawn at: its monitor's where the system tells
// it per window, else the screen's.
int WindowDpi(HWND window) noexcept;

// A copy of a bitmap stretched to size x size pixels; null on failure.
HBITMAP StretchedBitmap(HBITMAP source, int size) noexcept;

}  // namespace yol
