// yolscore --rules: one log scored alone under a cross-check rules file, by
// the cross-check's own scoring (its raw score), with the claimed score beside it.
#pragma once

#include <string>

#include "CheckTypes.h"
#include "CrossCheck.h"
#include "Rules.h"

namespace yol::score {

// The report: the rules, the score, its parts per band and the claimed score.
std::string RulesScoreText(const check::SubmittedLog& log, const check::Rules& rules, const std::string& rulesFile,
                           const check::AloneScore& score);

}  // namespace yol::score
