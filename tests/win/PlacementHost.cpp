// A host whose file name has a dot before its extension (built as
// My.Logger.exe): it loads the module, shows its window over an empty log,
// closes it with a close message and exits. PlacementTest starts it and looks
// at what the window left in the registry.
//
// Exit codes: 0 done; 1 the module failed to load or show; 2 an error box
// came up; 3 the window outlived its close.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <exception>

#include "WinTestSupport.h"

int main() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int rc = 0;
    try {
        using namespace yol::wintest;
        ErrorBoxWatcher errors;
        Module module;
        TestLog log;
        log.CreateLogTable();
        auto record = HostRecord(&log);
        HWND w = static_cast<HWND>(module.Run(0, record.get()));
        Pump(20);
        if (w == nullptr || !IsWindowVisible(w)) {
            rc = 1;
        } else {
            SendMessageW(w, WM_CLOSE, 0, 0);
            Pump(100);
            if (IsWindow(w)) rc = 3;
        }
        if (!errors.Take().empty()) rc = 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        rc = 1;
    }
    CoUninitialize();
    return rc;
}
