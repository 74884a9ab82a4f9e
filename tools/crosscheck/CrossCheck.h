// The committee's check: every log against all the others. Logs in, verdicts
// out; no file or console I/O.
//
//   std::vector<SubmittedLog> logs = ...;      // one per station, calls unique
//   CheckResult result = CrossCheck(logs, YolRules());
//   result.logs[i].verdicts[j]                 // verdict of logs[i].contacts[j]
//
// How it decides, in order:
//  1. per contact: a time that does not parse or lies outside the period
//     (after the clock correction) -> PERIOD, band or mode not allowed or the
//     station's own call -> INVALID, a repeat by the rules' dupe rule -> DUPE;
//     these take no part in the matching;
//  2. each log's clock offset: the median of its time differences to the
//     other logs' exact-call contacts over the wider offset window, refined
//     once with the other logs' offsets; matching then uses corrected times;
//  3. exact pairs (A logged B and B logged A, same band and mode, within the
//     window), one to one, closest times first; received exchange checked
//     against what the other side sent -> OK or EXCHANGE;
//  4. among contacts left, busted calls: A logged X, but C's log holds A at
//     that time, band and mode, and C is close to X (CallDistance) -> BUSTED
//     for A (true call C), and C's contact is kept (listed under "others who
//     miscopied your call") or taken as PARTNER when the rules blame both;
//  5. what is left: X sent a log -> NIL (minutes off when X logged A outside
//     the window); X sent none -> NOLOG when X is in at least
//     rules.uniqueMinLogs logs, else UNIQUE (with the likely call where X is
//     close to a busy call that has a log).
// Checklogs take part in the matching; their own contacts come out CHECKLOG.
// When two logs carry the same call, only the first is anyone's partner.
#pragma once

#include <vector>

#include "CheckTypes.h"
#include "Rules.h"

namespace yol::check {

CheckResult CrossCheck(const std::vector<SubmittedLog>& logs, const Rules& rules);

// Whether a received token agrees with what the other side sent, by the
// token's check.
bool TokenAgrees(std::string_view received, std::string_view sent, TokenCheck check);

}  // namespace yol::check
