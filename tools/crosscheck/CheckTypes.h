// What the cross-check works on and what it hands back: the submitted logs
// as plain data (no reader, no file), one verdict per contact, one result per
// log and a summary of the whole check.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "contestlog/Contact.h"

namespace yol::check {

inline constexpr std::int64_t kNoMinute = contestlog::kNoTime;
inline constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// One contact as the entrant logged it.
struct CheckContact {
    std::int64_t time = kNoMinute;  // UTC, whole minutes since 1970-01-01
    std::string band;               // as the model gives it: "1.8", "3.5", "7", "14", ...
    std::string mode;               // "CW", "SSB", ...
    std::string frequency;          // kHz as logged, may be empty
    std::string ownCall;            // the call sent on this contact (empty: the log's call)
    std::string call;               // the call worked, as logged
    std::vector<std::string> sent;      // sent exchange tokens ("599", "001")
    std::vector<std::string> received;  // received exchange tokens ("599", "MO05")
    // For the YOL scoring only: the worked station's country as the host keeps it.
    std::string dxcc, mainPrefix, continent;
    std::size_t place = 0;  // line in the file (record number where the format has no lines)
    std::string line;       // the original line, for quoting
};

// One log as an entrant submitted it.
struct SubmittedLog {
    std::string call;      // the station's call from the header, upper case
    std::string category;  // category text as read ("SINGLE-OP ALL HIGH"), may be empty
    bool checklog = false;
    std::optional<std::int64_t> claimed;  // CLAIMED-SCORE where given
    std::string name;      // NAME: header where given, bytes as in the file (for people)
    std::string file;
    // For the YOL scoring: the operator's prefix and continent as the host keeps them.
    std::string myPrefix, myContinent;
    std::vector<CheckContact> contacts;
};

// Stable codes; see VerdictCode.
enum class Verdict : std::uint8_t {
    Ok,        // confirmed by the other log
    Exchange,  // received exchange miscopied
    Busted,    // the call was miscopied: the station worked was another
    Nil,       // the other station's log has no such contact
    Unique,    // no log from the other station and too few others heard it: not credited
    NoLog,     // no log from the other station, credited by the policy
    Dupe,
    Period,    // outside the contest period
    Invalid,   // band or mode not allowed
    Partner,   // the other side erred; taken off because the rules take it from both
    Checklog,  // contact of a checklog: not scored
};
inline constexpr std::size_t kVerdictCount = 11;
std::string_view VerdictCode(Verdict v) noexcept;    // "OK", "EXCHANGE", ...
std::string_view VerdictHeading(Verdict v) noexcept; // report heading for people

enum class Blame : std::uint8_t { None, Self, Other };
std::string_view BlameCode(Blame b) noexcept;  // "", "self", "other"

struct ContactVerdict {
    Verdict verdict = Verdict::Ok;
    Blame blamed = Blame::None;
    std::string otherCall;             // the other station; the true call for Busted
    std::size_t otherLog = kNone;      // index of the other log in the input, where one matched
    std::size_t otherContact = kNone;  // index of its contact
    std::optional<std::int64_t> minutesOff;  // Nil found outside the window: by how many minutes
    std::int64_t points = 0;   // points this contact finally earns
    std::int64_t rawPoints = 0;  // points it earned in the log's own scoring (0: set aside, repeat)
    std::int64_t multipliers = 0;  // multipliers it first brought into the final score
    std::int64_t penalty = 0;  // points taken off beyond the contact's own
    std::string detail;
};

struct Tally {
    std::int64_t contacts = 0, points = 0, multipliers = 0, score = 0;
};

// A contact of this log whose other side miscopied this station's call.
struct MiscopiedBy {
    std::size_t contact = 0;   // this log's contact
    std::size_t otherLog = 0;  // who miscopied
    std::size_t otherContact = 0;
    std::string loggedAs;      // the call they logged
};

struct LogResult {
    std::string call, category;
    bool checklog = false;
    std::optional<std::int64_t> claimed;
    Tally raw;    // the log re-scored, dupes out
    Tally final;  // after the check, penalties applied
    double reductionPercent = 0;  // (raw - final) / raw score
    double errorRate = 0;         // contacts this station erred on / contacts checked
    std::int64_t clockOffset = 0; // minutes the log's clock ran ahead of the others'
    std::array<std::int64_t, kVerdictCount> counts{};
    std::vector<ContactVerdict> verdicts;  // one per contact, in the log's order
    std::vector<MiscopiedBy> miscopiedBy;
};

struct CheckSummary {
    std::size_t logs = 0, checklogs = 0, contacts = 0;
    std::size_t crossChecked = 0;  // contacts whose worked station sent a log
    std::size_t confirmed = 0;
    std::array<std::size_t, kVerdictCount> counts{};
    double seconds = 0;  // set by the caller that timed the check
};

struct CheckResult {
    std::vector<LogResult> logs;  // in the input's order
    CheckSummary summary;
};

}  // namespace yol::check
