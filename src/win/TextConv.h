// Text conversions between UTF-16, the host's ANSI code page and UTF-8.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace yol {

// Converts UTF-16 into `out` (replacing its content) in the given code page.
// Characters the code page lacks become its default character.
inline void NarrowInto(std::wstring_view text, UINT codePage, std::string& out) {
    out.clear();
    if (text.empty()) return;
    // ASCII is the same in every ANSI code page and in UTF-8.
    bool ascii = true;
    for (wchar_t c : text) ascii = ascii && c < 0x80;
    if (ascii) {
        out.resize(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) out[i] = static_cast<char>(text[i]);
        return;
    }
    const int length = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return;
    out.resize(static_cast<std::size_t>(needed));
    const int written =
        WideCharToMultiByte(codePage, 0, text.data(), length, out.data(), needed, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(written > 0 ? written : 0));
}

inline std::string Narrow(std::wstring_view text, UINT codePage) {
    std::string out;
    NarrowInto(text, codePage, out);
    return out;
}

// Converts text in the given code page to UTF-16. Invalid sequences become
// U+FFFD (UTF-8) or the code page's best fit.
inline std::wstring Widen(std::string_view text, UINT codePage) {
    std::wstring out;
    if (text.empty()) return out;
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) return out;
    out.resize(static_cast<std::size_t>(needed));
    const int written = MultiByteToWideChar(codePage, 0, text.data(), length, out.data(), needed);
    out.resize(static_cast<std::size_t>(written > 0 ? written : 0));
    return out;
}

// The host's single-byte code page is the process's ANSI code page.
inline std::string AnsiFromWide(std::wstring_view text) { return Narrow(text, CP_ACP); }
inline std::wstring WideFromAnsi(std::string_view text) { return Widen(text, CP_ACP); }
inline std::string Utf8FromWide(std::wstring_view text) { return Narrow(text, CP_UTF8); }
inline std::wstring WideFromUtf8(std::string_view text) { return Widen(text, CP_UTF8); }
inline std::string AnsiFromUtf8(std::string_view text) { return AnsiFromWide(WideFromUtf8(text)); }
inline std::string Utf8FromAnsi(std::string_view text) { return Utf8FromWide(WideFromAnsi(text)); }

}  // namespace yol
