// How likely one call sign was heard or typed as another: an edit distance
// whose steps are cheaper where operators really err.
#pragma once

#include <string_view>

namespace yol::check {

// Weighted edit distance between two calls (letter case aside):
//  - a substitution costs 0.5 between characters whose Morse codes differ by
//    one element (E/I, S/H, 5/H, T/M, O/0, D/B, 6/B, ...) or that sit side by
//    side on a keyboard, 1 otherwise;
//  - inserting or dropping a character costs 1, swapping two neighbours 0.75;
//  - calls that are equal once a portable designator (/P, /M, /QRP, /A, a
//    prefix like DL/) is taken off either side cost 0.5.
double CallDistance(std::string_view a, std::string_view b);

// The call without portable designators: "DL/G4ABC/P" -> "G4ABC".
std::string_view BaseCall(std::string_view call) noexcept;

}  // namespace yol::check
