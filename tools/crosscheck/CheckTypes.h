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
#include <utility>
#include <vector>

#include "contestlog/Contact.h"

namespace yol::check {

inline constexpr std::int64_t kNoMinute = contestlog::kNoTime;
inline constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// A contact as the model's view (contestlog::ContactView): what a reader
// hands over, and what SubmittedLog::Texts() gives back over the log's pool.
// The sent exchange and the received one (`report`) are their tokens joined by
// single spaces; dxcc, mainPrefix and continent are the worked station's
// country as the host keeps it (YOL scoring only).
using ContactTexts = contestlog::ContactView;

// One contact as the entrant logged it: its time and place, and where its
// texts stand in the log's text pool (one after another, in ContactTexts'
// order, the line apart). The line may instead stay in the file (lineInFile:
// lineAt is its offset there) until the outputs need it (KeepLine). The
// texts cost their length.
struct CheckContact {
    std::int64_t time = kNoMinute;  // UTC, whole minutes since 1970-01-01
    std::uint32_t place = 0;        // line in the file (record number where the format has no lines)
    std::uint32_t at = 0;           // first byte of its texts in SubmittedLog::pool
    std::uint32_t lineAt = 0;       // first byte of the line in the pool, or in the file
    std::uint16_t sentSize = 0, receivedSize = 0, lineSize = 0;
    std::uint8_t bandSize = 0, modeSize = 0, frequencySize = 0, ownCallSize = 0, callSize = 0, dxccSize = 0,
                 mainPrefixSize = 0, continentSize = 0;
    bool lineInFile = false;
};
static_assert(sizeof(CheckContact) <= 40, "a checked contact is 40 bytes beside its texts");

inline constexpr std::size_t kLineInPool = static_cast<std::size_t>(-1);

// A line of a log that was not read into a contact, and why in plain words
// (as the reader says it): it cost the entrant that contact.
struct NotRead {
    std::uint32_t line = 0;
    std::string reason;
};

// One log as an entrant submitted it.
struct SubmittedLog {
    std::string call;      // the station's call from the header, upper case
    std::string category;  // category text as read ("SINGLE-OP ALL HIGH"), may be empty
    bool checklog = false;
    std::optional<std::int64_t> claimed;  // CLAIMED-SCORE where given
    std::string name;      // NAME: header where given, bytes as in the file (for people)
    std::string club;      // CLUB: header where given, bytes as in the file
    std::string country, continent;  // of the station's call, from the country file; empty when unknown
    // The category headers (CATEGORY-*, CATEGORY, LOCATION) as read, in file
    // order: the contest's class is made from them (Categories.h).
    std::vector<std::pair<std::string, std::string>> declared;
    std::string file;      // the log's own file name, as entrants and the public see it (no folder)
    std::string path;      // where it was read from (the committee's own; never shown), may be empty
    // For the YOL scoring: the operator's prefix and continent as the host keeps them.
    std::string myPrefix, myContinent;
    std::vector<CheckContact> contacts;
    std::string pool;  // the contacts' texts
    std::vector<NotRead> notRead;  // lines the reader skipped or rejected, in file order
    // Lines read although they hold less than the contest's exchange (one
    // token short), and what was read: the entrant is told. In file order.
    std::vector<NotRead> incomplete;

    // Appends a contact; texts longer than their field holds (255 bytes, the
    // exchanges and the line 65,535) are cut. With `lineInFile` (the line's
    // offset in the file), the line is not kept: Texts().line stays empty
    // until KeepLine.
    void Add(std::int64_t time, std::size_t place, const ContactTexts& texts, std::size_t lineInFile = kLineInPool);
    // Gives contact i new texts (the old ones stay in the pool unused).
    void SetTexts(std::size_t i, const ContactTexts& texts);
    // Keeps contact i's line, read back from the file, in the pool.
    void KeepLine(std::size_t i, std::string_view line);
    ContactTexts Texts(std::size_t i) const noexcept;
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

inline constexpr std::uint32_t kNoIndex = 0xFFFFFFFFu;

// 36 bytes: the reason is drawn out as data by VerdictFactsOf (CrossCheck.h)
// and told in words by ReasonText (Outputs.h), from the verdict and the two
// contacts.
struct ContactVerdict {
    Verdict verdict = Verdict::Ok;
    Blame blamed = Blame::None;
    Verdict checked = Verdict::Ok;       // for CHECKLOG: the verdict the contact had
    bool callMiscopied = false;          // the other side logged this station's call wrong (a busted pair)
    std::uint32_t otherCall = kNoIndex;  // CheckResult::calls: the other station; the true call for Busted
    std::uint32_t otherLog = kNoIndex;   // index of the other log in the input, where one matched
    std::uint32_t otherContact = kNoIndex;  // index of its contact
    std::optional<std::int32_t> minutesOff;  // Nil found outside the window: by how many minutes
    std::uint32_t count = 0;   // UNIQUE, NOLOG: logs the call is in; DUPE: the contact repeated
    std::int32_t points = 0;   // points this contact finally earns
    std::int32_t penalty = 0;  // points taken off beyond the contact's own
};
static_assert(sizeof(ContactVerdict) <= 36, "a verdict is 36 bytes");

// Why a contact was set aside (INVALID, PERIOD): what the words name.
enum class SetAsideCause : std::uint8_t { None, NoTime, OutsidePeriod, Band, Mode, Segment, NoCall, OwnCall };

// A contact's verdict as data, everything its reason is told from: the
// verdict, who is blamed, the other station and its line, the tokens that
// differed and the minutes off. Calls upper case, texts as in the logs.
struct VerdictFacts {
    Verdict verdict = Verdict::Ok;  // what is told: for a checklog's contact the verdict it had
    bool checklog = false;          // the contact is a checklog's (told after its verdict's code)
    Blame blamed = Blame::None;
    std::string worked;             // the call this log logged
    std::string otherCall;          // the other station; BUSTED: the call really worked; UNIQUE: the likely call
    std::string loggedAs;           // the other side logged this station's call as this (a busted call of theirs)
    // EXCHANGE: what the other side sent and this side copied; PARTNER: what
    // this side sent and the other side copied. Token by token, blank-separated.
    std::string sent, copied;
    std::optional<std::int32_t> minutesOff;  // NIL: the other log holds it this far off the window
    bool otherLater = false;                 // ... later (else earlier) than this log
    std::uint32_t logs = 0;          // UNIQUE, NOLOG: logs the call is in
    std::uint32_t repeatsLine = 0;   // DUPE: the line of the contact it repeats
    SetAsideCause cause = SetAsideCause::None;
    std::string value;               // INVALID: the band or mode not in the contest, or the frequency (kHz)
                                     // outside the segments; EXCHANGE: a multiplier value off the rules' list
    std::string mode, segments;      // INVALID by segment: the mode and its segments ("14000-14070 kHz")
    std::string offListToken;        // EXCHANGE: the token whose value is off the rules' list
    // EXCHANGE: a token copied (`value`) in a form the other side's class does
    // not send it in: the token, the class, its form as the rules name it
    // ("number", "letters") and the values that fit besides.
    std::string misfitToken, senderClass, misfitForm;
    std::vector<std::string> misfitAlso;
    std::string otherFile;           // the other log's file name, where one is named
    std::uint32_t otherLine = 0;     // its line
};

struct Tally {
    std::int64_t contacts = 0, points = 0, multipliers = 0, score = 0;
};

// A contact of this log whose other side miscopied this station's call.
struct MiscopiedBy {
    std::uint32_t contact = 0;   // this log's contact
    std::uint32_t otherLog = 0;  // who miscopied
    std::uint32_t otherContact = 0;
    std::uint32_t loggedAs = 0;  // CheckResult::calls: the call they logged
};

// What a contact brought to the final score, for a report that draws the
// running score or says what a removed contact cost (CrossCheck with
// contactScores; the verdict stays 36 bytes).
struct ContactScore {
    std::int32_t rawPoints = 0;    // points in the log's own scoring (0: set aside, repeat)
    std::int32_t multipliers = 0;  // multipliers it first brought into the final score
};

// Contacts of a log dated a whole day off (the date typed wrong, or a
// program's date rolled over at the wrong time), recognised by the other logs
// and corrected before matching.
struct DateShift {
    std::uint32_t first = 0, last = 0;  // the block: contacts first..last of the log
    std::int32_t minutes = 0;           // how far the log's dates were off: +1440 a day late
};

struct LogResult {
    std::string call, category;  // category: the contest's class (className), or the text declared when none
    // The contest's class (AssignClasses): its index in the rules' classes
    // (kNone: the rules define none), name and title; why it is not what the
    // log declared, and the declarations not understood.
    std::size_t classIndex = kNone;
    std::string className, classTitle;
    std::vector<std::string> categoryNotes;
    // Places by final score (ties share one, each tied), of how many; 0 for checklogs.
    std::uint32_t placeInClass = 0, classSize = 0, placeOverall = 0, overallSize = 0;
    bool tiedInClass = false, tiedOverall = false;
    bool checklog = false;
    std::optional<std::int64_t> claimed;
    Tally raw;    // the log re-scored, dupes out
    Tally final;  // after the check, penalties applied
    double reductionPercent = 0;  // (raw - final) / raw score
    double errorRate = 0;         // contacts this station erred on / contacts checked
    std::int64_t clockOffset = 0; // minutes the log's clock ran ahead of the others'
    std::vector<DateShift> dateShifts;  // blocks dated a day off, corrected
    std::array<std::int64_t, kVerdictCount> counts{};
    std::vector<ContactVerdict> verdicts;  // one per contact, in the log's order
    std::vector<MiscopiedBy> miscopiedBy;
    std::vector<ContactScore> scores;      // one per contact where asked for, else empty
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
    std::vector<std::string> calls;  // every call the check saw, upper case, by id
    const std::string& Call(std::uint32_t id) const { return calls[id]; }
};

}  // namespace yol::check
