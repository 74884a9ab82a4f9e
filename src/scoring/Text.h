// Text helpers shared by the scoring rules. Texts are 8-bit, in the host's
// single-byte code page; comparisons are by unsigned byte value.
#pragma once

#include <string>
#include <string_view>

namespace yol {

// Upper-casing: only the letters a to z change.
constexpr char UpperAscii(char c) noexcept {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Drops every leading and trailing character whose code is 32 or less.
std::string_view TrimControls(std::string_view text) noexcept;

// Upper-cased (only the letters a to z change), then trimmed, into a caller's
// buffer: no allocation on the hot paths.
using TextBuffer = char[256];
std::string_view NormPrefix(std::string_view text, TextBuffer& buffer) noexcept;

// Equal after upper-casing both (a to z only), byte for byte.
bool EqualUpperAscii(std::string_view a, std::string_view b) noexcept;

// True when ":" + prefix + ":" occurs within ":UA1:UA2:UA9:".
bool IsHomePrefix(std::string_view prefix) noexcept;

// Case folding for multiplier keys: ASCII letters and the Cyrillic letters of
// Windows-1251 fold to their capitals, so that two keys equal without regard
// to letter case fold to the same bytes.
std::string FoldCase(std::string_view text);
void FoldCaseInPlace(std::string& text) noexcept;

}  // namespace yol
