#include "host/ModuleState.h"

namespace yol {
namespace {

ContactRecord gCurrentContact{};
TfmMainForm* gWindow = nullptr;

}  // namespace

ContactRecord& CurrentContact() noexcept { return gCurrentContact; }

TfmMainForm* ModuleWindow() noexcept { return gWindow; }

void AdoptWindow(TfmMainForm* window) noexcept { gWindow = window; }

void ForgetWindow(const TfmMainForm* window) noexcept {
    if (gWindow == window) gWindow = nullptr;
}

}  // namespace yol
