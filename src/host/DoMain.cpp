// The module's six entry points. Every one ends in a catch-all: no exception
// and no failure crosses into the host.
#include "host/DoMain.h"

#include <windows.h>

#include <cstring>
#include <type_traits>

#include "host/ModuleState.h"
#include "ui/MainForm.h"

using namespace yol;

namespace {

void CopyIn(const ContactRecord* record) noexcept {
    if (record != nullptr) std::memcpy(&CurrentContact(), record, sizeof(ContactRecord));
}

}  // namespace

extern "C" {

void YOL_CALL YolGetInfo(ModuleInfoRecord* info) {
    try {
        if (info != nullptr) FillModuleInfo(*info);
    } catch (...) {
    }
}

void* YOL_CALL YolRun(std::int32_t /*ignored*/, ContactRecord* record) {
    try {
        TfmMainForm* window = ModuleWindow();
        if (window == nullptr) {
            if (record == nullptr) return nullptr;
            window = TfmMainForm::Create(*record);
            AdoptWindow(window);
        }
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
        TfmMainForm* window = ModuleWindow();
        if (window == nullptr) return 0;
        return window->ScoreBook().Evaluate(CurrentContact(), false);
    } catch (...) {
        return 0;
    }
}

std::int32_t YOL_CALL YolAddQSO(ContactRecord* record) {
    try {
        if (record == nullptr) return 0;
        CopyIn(record);
        TfmMainForm* window = ModuleWindow();
        if (window == nullptr) return 0;
        const std::int32_t result = window->ScoreBook().Evaluate(CurrentContact(), true);
        window->WriteReport();
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
        if (TfmMainForm* window = ModuleWindow()) window->Release();
    } catch (...) {
    }
}

}  // extern "C"

// Each export has exactly the type the host calls it with.
static_assert(std::is_same_v<decltype(&YolGetInfo), GetInfoFn>);
static_assert(std::is_same_v<decltype(&YolRun), RunFn>);
static_assert(std::is_same_v<decltype(&YolGetScore), GetScoreFn>);
static_assert(std::is_same_v<decltype(&YolAddQSO), AddQSOFn>);
static_assert(std::is_same_v<decltype(&YolGrabNumber), GrabNumberFn>);
static_assert(std::is_same_v<decltype(&YolRelease), ReleaseFn>);
