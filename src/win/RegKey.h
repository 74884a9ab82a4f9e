// An open registry key, closed when it goes.
#pragma once

#include <windows.h>

#include "win/UniqueHandle.h"

namespace yol {

inline void CloseRegKey(HKEY key) noexcept { RegCloseKey(key); }
using RegKey = UniqueHandle<HKEY, CloseRegKey>;

}  // namespace yol
