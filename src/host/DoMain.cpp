// The module's entry points and the state they share. Every entry point ends
// in a catch-all: no exception and no failure crosses into the host.
#include <windows.h>

#include <cstring>

#include "host/DoMain.h"
#include "ui/MainForm.h"

namespace yol {
namespace {

ContactRecord gCurrentContact{};      // the last contact record received
TfmMainForm* gWindow = nullptr;       // the statistics window, or none

void CopyIn(const ContactRecord* record) noexcept {
    if (record != nullptr) std::memcpy(&gCurrentContact, record, sizeof gCurrentContact);
}

}  // namespace

ContactRecord& CurrentContact() noexcept { return gCurrentContact; }

void ForgetWindow(const TfmMainForm* window) noexcept {
    if (gWindow == window) gWindow = nullptr;
}

}  // namespace yol

using namespace yol;

extern "C" {

void YOL_CALL YolGetInfo(ModuleInfoRecord* info) {
    try {
        if (info != nullptr) FillModuleInfo(*info);
    } catch (...) {
    }
}

void* YOL_CALL YolRun(std::int32_t /*ignored*/, ContactRecord* record) {
    try {
        if (gWindow == nullptr) {
            if (record == nullptr) return nullptr;
            gWindow = TfmMainForm::Create(*record);
        }
        TfmMainForm* window = gWindow;
        HWND handle = window->Handle();
        window->Show();  // may run a recalculation; failures are reported by the window
        return handle;
    } catch (...) {
        return nullptr;
    }
}

std::int32_t YOL_CALL YolGetScore(ContactRecord* record) {
    try {
        if (record == nullptr) return 0;
        CopyIn(record);
        if (gWindow == nullptr) return 0;
        return gWindow->ScoreBook().Evaluate(gCurrentContact, false);
    } catch (...) {
        return 0;
    }
}

std::int32_t YOL_CALL YolAddQSO(ContactRecord* record) {
    try {
        if (record == nullptr) return 0;
        CopyIn(record);
        if (gWindow == nullptr) return 0;
        const std::int32_t result = gWindow->ScoreBook().Evaluate(gCurrentContact, true);
        gWindow->WriteReport();
        return result;
    } catch (...) {
        return 0;
    }
}

void YOL_CALL YolGrabNumber(ContactRecord* record, GrabBuffer* buffer) {
    try {
        CopyIn(record);
        if (buffer != nullptr) StoreEmptyGrab(*buffer);
    } catch (...) {
    }
}

void YOL_CALL YolRelease() {
    try {
        TfmMainForm* window = gWindow;
        gWindow = nullptr;
        if (window != nullptr) window->Release();
    } catch (...) {
    }
}

}  // extern "C"
