// The answer to an upload in the forms a logging program reads (plain text,
// JSON) and the pieces its page shares with them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "Engine.h"

namespace yol::robot {

// Findings shown at most in one answer; the rest are counted.
inline constexpr std::size_t kShownFindings = 1000;

// "line 12: " (or "record 12: "), empty for the whole file.
std::string PlaceOf(const Answer& a, const Finding& f);
// An accepted answer's facts as label and value, in the order shown.
std::vector<std::pair<std::string, std::string>> AnswerFacts(const Answer& a);

std::string AnswerText(const Answer& a);
std::string AnswerJson(const Answer& a);

}  // namespace yol::robot
