// Bringing the text area from the report it shows to the next one by
// replacing only the lines that changed. A report rewrite after a contact
// usually touches three lines (the band's, the total and the score), and
// laying out a line of tabbed text is what costs in a multi-line text area.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace yol {

struct LineReplacement {
    std::size_t oldStart, oldLength;  // the line in the current text
    std::size_t newStart, newLength;  // its replacement in the next text
};

// The lines to replace, in text order, when both texts have the same number
// of CR LF separated lines; nothing when they do not (rewrite the whole text
// then). Empty when the texts are equal.
template <class Char>
std::optional<std::vector<LineReplacement>> ChangedLines(std::basic_string_view<Char> current,
                                                         std::basic_string_view<Char> next) {
    const Char separator[] = {Char('\r'), Char('\n')};
    const std::basic_string_view<Char> crlf(separator, 2);
    std::vector<LineReplacement> changes;
    std::size_t a = 0, b = 0;
    for (;;) {
        const std::size_t aEnd = current.find(crlf, a);
        const std::size_t bEnd = next.find(crlf, b);
        if ((aEnd == current.npos) != (bEnd == next.npos)) return std::nullopt;
        const std::size_t aLen = (aEnd == current.npos ? current.size() : aEnd) - a;
        const std::size_t bLen = (bEnd == next.npos ? next.size() : bEnd) - b;
        if (current.substr(a, aLen) != next.substr(b, bLen)) changes.push_back({a, aLen, b, bLen});
        if (aEnd == current.npos) return changes;
        a = aEnd + 2;
        b = bEnd + 2;
    }
}

}  // namespace yol
