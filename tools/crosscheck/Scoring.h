// The two scorings a rules file can name, over a log's contacts that count.
#pragma once

#include <cstdint>
#include <vector>

#include "CheckTypes.h"
#include "Rules.h"

namespace yol::check {

// The YOL scoring core, as yolscore scores a log: the contacts at `included`
// (indexes into log.contacts) are scored in that order; `points[i]` gets the
// points of contact i (-1 where the scoring core calls it a duplicate; other
// entries untouched). `points` must hold log.contacts.size() entries; so
// must `newMultipliers` where given, which gets the multipliers each contact
// first brought (new districts and countries).
Tally ScoreYol(const SubmittedLog& log, const std::vector<std::size_t>& included,
               std::vector<std::int64_t>& points, std::vector<std::int64_t>* newMultipliers = nullptr);

// Per-contact scoring: each included contact earns `points[i]` (already
// set by the caller); multipliers are the distinct values of the rules'
// multiplier token per band among contacts earning points, except where
// `countMultiplier[i]` is false. `newMultipliers`, where given, gets 1 at the
// contact that first brought each multiplier (in the included order).
Tally ScorePerContact(const SubmittedLog& log, const Rules& rules,
                      const std::vector<std::size_t>& included,
                      const std::vector<std::int64_t>& points,
                      const std::vector<bool>& countMultiplier,
                      std::vector<std::int64_t>* newMultipliers = nullptr);

}  // namespace yol::check
