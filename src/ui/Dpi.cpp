#include "ui/Dpi.h"

#include "win/Gdi.h"

namespace yol {
namespace {

// Resolved at run time: older systems have neither.
using SetContextFn = HANDLE(WINAPI*)(HANDLE);
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);

const HANDLE kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-4));
const HANDLE kPerMonitorAware = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-3));

template <class Fn>
Fn User32(const char* name) noexcept {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (user32 == nullptr) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

}  // namespace

PerMonitorAwareScope::PerMonitorAwareScope() noexcept {
    static const auto set = User32<SetContextFn>("SetThreadDpiAwarenessContext");
    if (set == nullptr) return;
    previous_ = set(kPerMonitorAwareV2);
    if (previous_ == nullptr) previous_ = set(kPerMonitorAware);  // before the second version
}

PerMonitorAwareScope::~PerMonitorAwareScope() {
    static const auto set = User32<SetContextFn>("SetThreadDpiAwarenessContext");
    if (set != nullptr && previous_ != nullptr) set(previous_);
}

int WindowDpi(HWND window) noexcept {
    static const auto forWindow = User32<GetDpiForWindowFn>("GetDpiForWindow");
    if (forWindow != nullptr) {
        const UINT dpi = forWindow(window);
        if (dpi != 0) return static_cast<int>(dpi);
    }
    WindowDC screen(nullptr);
    const int dpi = screen.get() != nullptr ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : kDesignDpi;
}

HBITMAP StretchedBitmap(HBITMAP source, int size) noexcept {
    BITMAP info{};
    if (source == nullptr || GetObjectW(source, sizeof info, &info) == 0) return nullptr;
    WindowDC screen(nullptr);
    HDC from = CreateCompatibleDC(screen.get());
    HDC to = CreateCompatibleDC(screen.get());
    HBITMAP result = CreateCompatibleBitmap(screen.get(), size, size);
    if (from != nullptr && to != nullptr && result != nullptr) {
        SelectIn selectFrom(from, source);
        SelectIn selectTo(to, result);
        SetStretchBltMode(to, COLORONCOLOR);
        StretchBlt(to, 0, 0, size, size, from, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    }
    if (from != nullptr) DeleteDC(from);
    if (to != nullptr) DeleteDC(to);
    return result;
}

}  // namespace yol
