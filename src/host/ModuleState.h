// What the entry points and the statistics window share, module-wide: the
// current-contact record and the slot of the one window the entry points
// talk to. Created when the module is loaded, gone when it is unloaded.
#pragma once

#include "host/Plugin.h"

namespace yol {

class TfmMainForm;

// The module's own copy of the last contact record received; all zero at
// load. The entry points copy the host's record into it; scoring and the
// recalculation work on it.
ContactRecord& CurrentContact() noexcept;

// The window the entry points talk to, or null.
TfmMainForm* ModuleWindow() noexcept;
// Made by _Run: from now on the entry points talk to it.
void AdoptWindow(TfmMainForm* window) noexcept;
// A window that stops being the module's (released by the host, closed, or
// destroyed) clears the slot, if it still holds that window; the next _Run
// then makes a new one.
void ForgetWindow(const TfmMainForm* window) noexcept;

}  // namespace yol
