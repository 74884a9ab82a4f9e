#include "scoring/Text.h"

#include <array>

namespace yol {
namespace {

constexpr std::array<unsigned char, 256> MakeFoldTable() {
    std::array<unsigned char, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = static_cast<unsigned char>(i);
    for (int c = 'a'; c <= 'z'; ++c) t[c] = static_cast<unsigned char>(UpperAscii(static_cast<char>(c)));
    for (int c = 0xE0; c <= 0xFF; ++c) t[c] = static_cast<unsigned char>(c - 0x20);  // а..я
    // Windows-1251 letters outside the main block: lower -> upper.
    constexpr unsigned char pairs[][2] = {
        {0x90, 0x80}, {0x83, 0x81}, {0x9A, 0x8A}, {0x9C, 0x8C}, {0x9D, 0x8D},
        {0x9E, 0x8E}, {0x9F, 0x8F}, {0xA2, 0xA1}, {0xBC, 0xA3}, {0xB4, 0xA5},
        {0xB8, 0xA8}, {0xBA, 0xAA}, {0xBF, 0xAF}, {0xB3, 0xB2}, {0xBE, 0xBD},
    };
    for (const auto& p : pairs) t[p[0]] = p[1];
    return t;
}

constexpr auto kFold = MakeFoldTable();
constexpr std::string_view kHomePrefixes = ":UA1:UA2:UA9:";

}  // namespace

std::string_view TrimControls(std::string_view text) noexcept {
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view NormPrefix(std::string_view text, TextBuffer& buffer) noexcept {
    text = TrimControls(text);  // upper-casing never turns a blank into a letter or back
    const std::size_t n = text.size() < sizeof buffer ? text.size() : sizeof buffer;
    for (std::size_t i = 0; i < n; ++i) buffer[i] = UpperAscii(text[i]);
    return {buffer, n};
}

bool EqualUpperAscii(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    return true;
}

bool IsHomePrefix(std::string_view prefix) noexcept {
    // ":" + prefix + ":" within the list: the prefix stands between two colons.
    if (prefix.size() == 3)  // the usual case, answered at once
        return prefix[0] == 'U' && prefix[1] == 'A' &&
               (prefix[2] == '1' || prefix[2] == '2' || prefix[2] == '9');
    if (prefix.size() + 2 > kHomePrefixes.size()) return false;
    for (std::size_t at = 0; at + prefix.size() + 2 <= kHomePrefixes.size(); ++at) {
        if (kHomePrefixes[at] == ':' && kHomePrefixes[at + prefix.size() + 1] == ':' &&
            kHomePrefixes.substr(at + 1, prefix.size()) == prefix)
            return true;
    }
    return false;
}

std::string FoldCase(std::string_view text) {
    std::string out(text);
    FoldCaseInPlace(out);
    return out;
}

void FoldCaseInPlace(std::string& text) noexcept {
    for (char& c : text) c = static_cast<char>(kFold[static_cast<unsigned char>(c)]);
}

}  // namespace yol
