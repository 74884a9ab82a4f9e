// The robot's engine: an uploaded log's bytes and the contest's rules in, the
// answer an entrant gets out (accepted with its facts, or refused with every
// reason by line). No network, no storage: the service and the tests call it
// alike. Logs are read through the contest-log model, scored by the
// cross-check's scoring (the log alone, before any cross-check).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Rules.h"

namespace yol::contestlog {
class CountryFile;
}

namespace yol::robot {

// What the robot checks against besides the cross-check's rules.
struct RobotRules {
    check::Rules rules;
    // Contest names a log's CONTEST: header may give (compared in upper case,
    // letters and digits only); empty: the rules' name alone. With
    // `anyContest` the header is not checked.
    std::vector<std::string> contestNames;
    bool anyContest = false;
    std::size_t maxBytes = 4u << 20;  // larger uploads are refused unread
};

// One upload as the entrant sent it.
struct Upload {
    std::string_view bytes;
    std::string fileName;      // as the entrant's program named it: shown, never a path
    std::string declaredCall;  // the call the uploader typed, may be empty
};

// A reason or a warning: the line (or record) it is about, 0 for the whole file.
struct Finding {
    std::size_t place = 0;
    std::string text;
};

struct Answer {
    bool accepted = false;
    std::vector<Finding> reasons;   // why it was refused (empty when accepted)
    std::vector<Finding> warnings;  // what an accepted log should know
    std::string placeWord = "line"; // "line" or "record", for the places above
    std::string call;               // upper case
    // The contest's class of the log (the rules' [categories], as the check
    // will place it; "CHECKLOG"), or, where the rules define no classes, the
    // category it declares; notes on the declaration are warnings.
    std::string category;
    std::string format;             // "Cabrillo", "ADIF (.adi)", ...
    std::size_t contacts = 0;
    std::int64_t first = 0, last = 0;     // minutes since 1970; 0 without timed contacts
    std::optional<std::string> claimed;   // CLAIMED-SCORE as written
    // Computed from the log alone (contacts the rules count, before any
    // cross-check) by the YOL scoring; none under per-contact rules.
    std::optional<std::int64_t> score;
    std::string sha256;                   // of the bytes, lower-case hex
    std::int64_t received = 0;            // seconds since 1970, set by the caller
};

// Reads and judges one upload. Never throws for bad content: anything the
// readers cannot use is a reason in the answer.
Answer CheckUpload(const Upload& upload, const RobotRules& rules, const contestlog::CountryFile* countries);

// An answer with one reason and nothing read (the window is closed, the
// upload is empty ...).
Answer Refusal(std::string reason);

// Upper case, letters and digits only: how contest names are compared.
std::string ContestKey(std::string_view name);

// Call signs as the robot keeps them: trimmed and upper case; empty when the
// text holds anything but letters, digits and '/' or is longer than 20.
std::string NormalCall(std::string_view text);

// "2026-12-06 10:00:00 UTC".
std::string UtcSecondText(std::int64_t seconds);

}  // namespace yol::robot
