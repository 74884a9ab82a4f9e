// The committee's check: every log against all the others. Logs in, verdicts
// out; no file or console I/O.
//
//   std::vector<SubmittedLog> logs = ...;      // one per station, calls unique
//   CheckResult result = CrossCheck(logs, YolRules());
//   result.logs[i].verdicts[j]                 // verdict of logs[i].contacts[j]
//
// How it decides, in order (docs/crosscheck.md says why):
//  1. per contact: a time that does not parse -> PERIOD, band or mode not
//     allowed, no call or the station's own call -> INVALID; set aside;
//  2. each log's clock offset: the median of its time differences to the
//     other logs' exact-call contacts over the wider offset window, refined
//     once with the other logs' offsets; matching then uses corrected times;
//  3. the period on the logged time (corrected only for a clock off by more
//     than the window) -> PERIOD, still the other side's evidence;
//  4. exact pairs (A logged B and B logged A, same band and mode, within the
//     window), one to one, closest times first; received exchange checked
//     against what the other side sent -> OK or EXCHANGE;
//  5. among contacts left, busted calls: A logged X, but C's log holds A at
//     that time, band and mode, and C is close to X (CallDistance) -> BUSTED
//     for A (true call C), and C's contact is kept (listed under "others who
//     miscopied your call") or taken as PARTNER when the rules blame both;
//  6. what is left: X sent a log -> NIL (minutes off when X logged A outside
//     the window); X sent none -> NOLOG when credited by the policy, else
//     UNIQUE (with the likely call where X is close to a busy call with a log);
//  7. DUPE: in the log's own order, a repeat within the dupe interval of a
//     contact that counted (OK or NOLOG); it still confirmed the other side.
// Checklogs take part in the matching; their own contacts come out CHECKLOG.
// When two logs carry the same call, only the first is anyone's partner.
#pragma once

#include <vector>

#include "CheckTypes.h"
#include "Rules.h"
#include "Scoring.h"

namespace yol::check {

// With `contactScores`, each LogResult's `scores` holds what every contact
// brought to the score (the results site draws the running score with it).
CheckResult CrossCheck(const std::vector<SubmittedLog>& logs, const Rules& rules, bool contactScores = false);

// The verdict of logs[log].contacts[contact] as data, for the words
// (ReasonText) and the verdict file.
VerdictFacts VerdictFactsOf(const std::vector<SubmittedLog>& logs, const CheckResult& result, std::size_t log,
                            std::size_t contact, const Rules& rules);

// One log scored alone, as the entrant's own program scores it before any
// check: every contact in the period, on a band, mode and segment of the
// contest and not a repeat counts in full (the cross-check's raw score).
struct AloneScore {
    Tally tally;
    std::vector<BandTally> bands;  // per-contact scoring only, in the order first worked
    std::size_t setAside = 0;      // outside the period, band, mode or segments, or no call
    std::size_t repeats = 0;
};
AloneScore ScoreAlone(const SubmittedLog& log, const Rules& rules);

// Whether a received token agrees with what the other side sent, by the
// token's check.
bool TokenAgrees(std::string_view received, std::string_view sent, TokenCheck check);

}  // namespace yol::check
