// The module's six entry points, as the host calls them. The host is a 32-bit
// Windows program calling with stdcall; the convention is chosen here, once,
// for the module and for every program of ours that plays the host.
#pragma once

#include <cstdint>

#include "host/Plugin.h"

#if defined(_WIN32) && !defined(_WIN64)
#define YOL_CALL __stdcall
#else
#define YOL_CALL
#endif

namespace yol {

// The exported names and ordinals (see YOLContest.def).
inline constexpr const char* kExportGrabNumber = "_GrabNumber";  // ordinal 1
inline constexpr const char* kExportRelease = "_Release";        // ordinal 2
inline constexpr const char* kExportGetScore = "_GetScore";      // ordinal 3
inline constexpr const char* kExportAddQSO = "_AddQSO";          // ordinal 4
inline constexpr const char* kExportRun = "_Run";                // ordinal 5
inline constexpr const char* kExportGetInfo = "_GetInfo";        // ordinal 6

// Function types of the entry points, for a host loading them by name.
using GetInfoFn = void(YOL_CALL*)(ModuleInfoRecord* info);
using RunFn = void*(YOL_CALL*)(std::int32_t ignored, ContactRecord* record);  // window handle
using GetScoreFn = std::int32_t(YOL_CALL*)(ContactRecord* record);
using AddQSOFn = std::int32_t(YOL_CALL*)(ContactRecord* record);
using GrabNumberFn = void(YOL_CALL*)(ContactRecord* record, GrabBuffer* buffer);
using ReleaseFn = void(YOL_CALL*)();

}  // namespace yol
