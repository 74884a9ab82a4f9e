// Fonts, bitmaps and device contexts.
#pragma once

#include <windows.h>

#include "win/UniqueHandle.h"

namespace yol {

inline void FreeGdiObject(HGDIOBJ h) noexcept { DeleteObject(h); }

using UniqueFont = UniqueHandle<HFONT, FreeGdiObject>;
using UniqueBitmap = UniqueHandle<HBITMAP, FreeGdiObject>;

// A device context borrowed from a window for the scope.
class WindowDC {
public:
    explicit WindowDC(HWND w) noexcept : w_(w), dc_(GetDC(w)) {}
    ~WindowDC() {
        if (dc_ != nullptr) ReleaseDC(w_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const noexcept { return dc_; }

private:
    HWND w_;
    HDC dc_;
};

// Selects a GDI object into a device context for the scope.
class SelectIn {
public:
    SelectIn(HDC dc, HGDIOBJ obj) noexcept : dc_(dc), old_(SelectObject(dc, obj)) {}
    ~SelectIn() { SelectObject(dc_, old_); }
    SelectIn(const SelectIn&) = delete;
    SelectIn& operator=(const SelectIn&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

}  // namespace yol
