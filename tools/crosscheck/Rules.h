// A contest's rules as the cross-check needs them, read from TOML. The YOL
// rules are built in (YolRules) and are the default; docs/crosscheck.md
// lists every key and why each default is what it is.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "Categories.h"
#include "CheckTypes.h"
#include "Families.h"
#include "contestlog/LogReader.h"

namespace yol::contestlog {
class CountryFile;
}

namespace yol::check {

// How one token of the exchange is compared with what the other side sent.
enum class TokenCheck : std::uint8_t {
    None,    // not compared (a signal report everyone logs as 59/599)
    Exact,   // the same text, letter case aside
    Number,  // the same number ("001" = "1"); texts that are no numbers compared exactly
};

// What a received token must look like, whatever the other side sent.
enum class TokenForm : std::uint8_t {
    Any,
    Number,   // digits only (a serial, a power in watts, a zone)
    Letters,  // letters only (a state, a province, a district's abbreviation)
};

struct ExchangeToken {
    std::string name;
    TokenCheck check = TokenCheck::None;
    TokenForm form = TokenForm::Any;
    std::vector<std::string> also;  // upper case: values that fit besides the form ("KW" for a power)

    // Whether a received value has the form this token is sent in.
    bool Fits(std::string_view value) const;
    bool operator==(const ExchangeToken&) const = default;
};

// What one class of stations sends: the stations the selector holds (the
// sending station's country and continent in the country file), or, for the
// class without a selector, every station no other class takes. `sent` names
// the tokens as such a station logs them; `received` how a station working
// it logs them, each compared by name with the sent token of that name.
struct ExchangeClass {
    std::string name;  // as the reasons and the docs call it ("home", "world")
    StationSelector who;
    std::vector<ExchangeToken> sent, received;

    // The index of a token by name, or kNone.
    std::size_t SentIndex(std::string_view token) const noexcept;
    std::size_t ReceivedIndex(std::string_view token) const noexcept;
};

enum class Scoring : std::uint8_t {
    Yol,         // the YOL scoring core, as yolscore scores a log
    PerContact,  // points per confirmed / miscopied contact, multipliers of one received token per band
};

// A stretch of a band a mode may use, in kHz, both ends included.
struct Segment {
    std::string band, mode;  // upper case
    double low = 0, high = 0;
};

// Who worked whom, for the points of a contact: the two stations' countries,
// continents and zones from the country file (zones from a received token
// where the rules name one).
enum class Relation : std::uint8_t { Any, SameCountry, OtherCountry, SameContinent, OtherContinent, SameCqZone, SameItuZone };

// One row of the points table: the first row whose conditions all hold gives
// the contact's points. Empty lists: any.
struct PointsRow {
    Relation relation = Relation::Any;
    std::vector<std::string> fromContinents, toContinents;  // the logging / the worked station's continent
    std::vector<std::string> fromCountries, toCountries;    // primary prefixes of the country file ("K", "VE")
    std::vector<std::string> bands, modes;
    std::string tokenLetters;  // a received token's name: the row holds only when that token is not a number
    std::int64_t points = 0;
};

// What a multiplier counts the distinct values of.
enum class MultiplierKind : std::uint8_t {
    Token,    // a received token's value
    Country,  // the worked station's country (its primary prefix in the country file)
    CqZone,   // its CQ zone: the token named, else the country file's
    ItuZone,  // its ITU zone: likewise
    Prefix,   // its prefix by the prefix-contest rule (PrefixOf)
};

struct MultiplierRule {
    MultiplierKind kind = MultiplierKind::Token;
    std::string token;             // Token: required; zones: optional
    bool perBand = true;           // false: once per contest
    bool perMode = false;          // counted again on each mode
    std::vector<std::string> valid;  // upper case, sorted; empty: any value
    std::vector<std::string> notCounted;  // values that never count (one's own side's countries)
    // Which logging stations count it (from_continents, from_countries,
    // except_from_countries); empty: all.
    StationSelector from;
};

// The limits of a rules file. A contact earns at most kMaxPoints and a
// penalty takes at most kMaxPenalty times its points, so a log's points stay
// below 2^43 for the 2^32 contacts a log can hold; the score (points times
// multipliers) is multiplied checked and stops at kMaxScore.
inline constexpr std::int64_t kMaxPoints = 1000;
inline constexpr double kMaxPenalty = 10;
inline constexpr std::int64_t kMaxScore = INT64_MAX;
inline constexpr std::int64_t kMaxMinutes = 7 * 24 * 60;  // windows, dupe interval: a week
inline constexpr std::size_t kMaxListEntries = 10'000;    // bands, segments, rows, valid values ...

// points x multipliers, stopping at kMaxScore.
std::int64_t ScoreOf(std::int64_t points, std::int64_t multipliers) noexcept;

struct Rules {
    std::string name = "YOL";
    std::int64_t start = kNoMinute, end = kNoMinute;  // minutes, UTC; end exclusive
    std::vector<std::string> bands, modes;             // empty: any
    // What stations send, by class: the first class whose selector holds
    // for the sending station; the one without a selector takes the rest.
    // The plain [exchange] is one class.
    std::vector<ExchangeClass> exchange;
    std::int64_t window = 3;         // minutes either side, after the clock correction
    std::int64_t offsetWindow = 30;  // the wider window the clock offset is estimated over
    std::int64_t dupeAfter = 0;      // 0: a call, band and mode once; N: again after N minutes
    double bustedPenalty = 0;        // k: a busted call costs the contact and k times its points
    double nilPenalty = 0;           // k for not-in-log
    std::int64_t uniqueMinLogs = 1;  // a call with no log is credited when in at least N logs
    std::int64_t uniqueMinContacts = 1;  // ... and in at least N contacts
    bool creditNoLog = true;         // false: a call with no log is never credited
    bool blameBoth = false;          // the other side loses the contact too (any kind)
    std::optional<bool> blameBustedBoth, blameExchangeBoth;  // per kind; unset: blameBoth
    Scoring scoring = Scoring::Yol;
    std::int64_t pointsConfirmed = 1, pointsMiscopied = 0;  // per-contact scoring
    std::optional<std::int64_t> pointsNoLog;  // per-contact: credited without a log; unset: as confirmed
    std::string multiplierToken;  // per-contact: received token name; empty: score = points
    std::int64_t busyCallCount = 20;  // a probable busted call needs a log with this many contacts
    CategoryRules categories;         // the contest's classes ([categories])
    bool checklogScore = false;   // a checklog's score is worked out and shown (never ranked)
    std::vector<Segment> segments;         // empty: any frequency
    std::vector<PointsRow> pointsTable;    // per-contact: points by relation; empty: `confirmed`
    std::vector<MultiplierRule> multipliers;  // per-contact: summed; the `multiplier` key is one of them
    // The country file for relations, countries, zones and the log's own
    // country; set by the program that loaded it, never read from the file.
    const contestlog::CountryFile* countries = nullptr;

    bool BustedBlamesBoth() const noexcept { return blameBustedBoth.value_or(blameBoth); }
    bool ExchangeBlamesBoth() const noexcept { return blameExchangeBoth.value_or(blameBoth); }
    // The multipliers counted: `multipliers`, and the `multiplier` token per band.
    std::vector<MultiplierRule> AllMultipliers() const;
    // Whether the scoring needs the country file.
    bool NeedsCountries() const noexcept;
    // The segments of the contact's band and mode it lies outside, as
    // "14000-14070 kHz" (several joined by ", "), or nothing when it lies in
    // one, its band and mode have none, or the frequency is not in kHz.
    std::optional<std::string> OutsideSegments(std::string_view band, std::string_view mode,
                                               std::string_view frequency) const;
    // Whether a received value may be the multiplier `rule` counts.
    static bool ValidValue(const MultiplierRule& rule, std::string_view value);

    // The class of the station at `place` / of `call` (looked up in `countries`;
    // a call in no country, or no country file, has an empty place: only a
    // selector naming no continent or country holds for it).
    const ExchangeClass& ClassAt(const StationPlace& place) const noexcept;
    const ExchangeClass& RestClass() const noexcept;  // the class without a selector
    const ExchangeClass& ClassOf(std::string_view call) const;
    // Whether any class sends, or is received with, a token of this name.
    bool NamesToken(std::string_view token) const noexcept;
    // The token counts the classes send and are received with, distinct and
    // ascending: what a log reader may expect on each side of a line.
    std::vector<std::size_t> ExchangeCounts() const;
};

// A rules file that cannot be used: the message names the file and line.
struct RulesError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The built-in YOL rules (the default).
Rules YolRules();

// How the contest's logs are read: the country file given, and the
// exchange's token counts, so that a Cabrillo line one token short of them is
// still read (and the entrant told). Every program reading logs for a check
// or a score under these rules reads through this.
contestlog::ReadOptions ReadOptionsFor(const Rules& rules, const contestlog::CountryFile* countries);

// Reads a rules file's text; keys not given keep YolRules()'s values. Throws
// RulesError naming `file` and the line for bad TOML, unknown keys, wrong
// types, values out of range and lists longer than kMaxListEntries.
// `beside` reads a file named in the rules (valid_file), relative to the
// rules file; without it such a key is an error.
using ReadBeside = std::function<std::string(const std::string& name)>;
Rules ParseRules(std::string_view text, const std::string& file, const ReadBeside& beside = {});

// The most a rules file, or a file read beside it, may hold.
inline constexpr std::size_t kMaxRulesBytes = 1 << 20;

// The bytes of a file the rules are made of, at most kMaxRulesBytes + 1 (the
// caller refuses more); RulesError where it cannot be read.
std::string ReadRulesFile(const std::string& path);

// Reads the rules file at `path` (at most 1 MiB; a folder, a file that cannot
// be read or a larger one is a RulesError) and the files it names beside it.
Rules LoadRules(const std::string& path);

// "2026-12-05 12:00" or "2026-12-05T12:00:00Z" -> minutes since 1970; kNoMinute when bad.
std::int64_t ParseUtcMinute(std::string_view text) noexcept;

}  // namespace yol::check
