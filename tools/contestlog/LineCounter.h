// Line numbers of byte positions in a log's text, for the readers' messages.
// A line ends at LF, CR LF or a lone CR.
#pragma once

#include <cstddef>
#include <string_view>

namespace yol::contestlog::detail {

// Line ends in text[from, to).
std::size_t CountLineEnds(std::string_view text, std::size_t from, std::size_t to) noexcept;

// 1-based line numbers of positions, counted from the last position asked
// for: positions met in increasing order cost one pass over the text in all,
// and a step back costs only its own distance.
class LineCounter {
public:
    explicit LineCounter(std::string_view text) noexcept : text_(text) {}
    std::size_t LineAt(std::size_t pos) noexcept {
        if (pos > text_.size()) pos = text_.size();
        if (pos >= pos_) line_ += CountLineEnds(text_, pos_, pos);
        else line_ -= CountLineEnds(text_, pos, pos_);
        pos_ = pos;
        return line_;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0, line_ = 1;
};

}  // namespace yol::contestlog::detail
