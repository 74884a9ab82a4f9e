// The statistics report shown in the window's text area.
#pragma once

#include <string>
#include <vector>

#include "scoring/ScoreBook.h"

namespace yol {

// The whole report text for these tallies: header, one line per band in tally
// order, total line and score line, separated by CR LF and trimmed as a whole.
std::string BuildReport(const std::vector<TStatistic>& tallies);

// Puts a text in front of `text` with spaces up to `width`; never cuts.
std::string PadLeft(std::string text, std::size_t width);

}  // namespace yol
