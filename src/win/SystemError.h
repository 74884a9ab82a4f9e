// Texts for the system's error codes.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "win/TextConv.h"
#include "win/UniqueHandle.h"

namespace yol {

// "HRESULT 0x80004005 (Unspecified error)", the system's text when it has one.
inline std::string DescribeHResult(HRESULT hr) {
    char code[32];
    std::snprintf(code, sizeof code, "HRESULT 0x%08lX", static_cast<unsigned long>(hr));
    std::string text = code;
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const LocalMemory<wchar_t> message(buffer);
    if (length > 0 && message) {
        std::wstring_view m(message.get(), length);
        while (!m.empty() && (m.back() == L'\r' || m.back() == L'\n' || m.back() == L' ' || m.back() == L'.'))
            m.remove_suffix(1);
        if (!m.empty()) text += " (" + Utf8FromWide(m) + ")";
    }
    return text;
}

}  // namespace yol
