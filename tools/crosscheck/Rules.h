// A contest's rules as the cross-check needs them, read from TOML. The YOL
// rules are built in (YolRules) and are the default; docs/crosscheck.md
// lists every key and why each default is what it is.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "Categories.h"
#include "CheckTypes.h"

namespace yol::check {

// How one token of the exchange is compared with what the other side sent.
enum class TokenCheck : std::uint8_t {
    None,    // not compared (a signal report everyone logs as 59/599)
    Exact,   // the same text, letter case aside
    Number,  // the same number ("001" = "1"); texts that are no numbers compared exactly
};

struct ExchangeToken {
    std::string name;
    TokenCheck check = TokenCheck::None;
};

enum class Scoring : std::uint8_t {
    Yol,         // the YOL scoring core, as yolscore scores a log
    PerContact,  // points per confirmed / miscopied contact, multipliers of one received token per band
};

struct Rules {
    std::string name = "YOL";
    std::int64_t start = kNoMinute, end = kNoMinute;  // minutes, UTC; end exclusive
    std::vector<std::string> bands, modes;             // empty: any
    std::vector<ExchangeToken> sent, received;         // in the order they are logged
    std::int64_t window = 3;         // minutes either side, after the clock correction
    std::int64_t offsetWindow = 30;  // the wider window the clock offset is estimated over
    std::int64_t dupeAfter = 0;      // 0: a call, band and mode once; N: again after N minutes
    double bustedPenalty = 0;        // k: a busted call costs the contact and k times its points
    double nilPenalty = 0;           // k for not-in-log
    std::int64_t uniqueMinLogs = 1;  // a call with no log is credited when in at least N logs
    bool creditNoLog = true;         // false: a call with no log is never credited
    bool blameBoth = false;          // the other side loses the contact too
    Scoring scoring = Scoring::Yol;
    std::int64_t pointsConfirmed = 1, pointsMiscopied = 0;  // per-contact scoring
    std::string multiplierToken;  // per-contact: received token name; empty: score = points
    std::int64_t busyCallCount = 20;  // a probable busted call needs a log with this many contacts
    CategoryRules categories;         // the contest's classes ([categories])

    // The index of a received token by name, or kNone.
    std::size_t ReceivedIndex(std::string_view name) const noexcept;
};

// A rules file that cannot be used: the message names the file and line.
struct RulesError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The built-in YOL rules (the default).
Rules YolRules();

// Reads a rules file's text; keys not given keep YolRules()'s values. Throws
// RulesError naming `file` and the line for bad TOML, unknown keys, wrong
// types and values out of range.
Rules ParseRules(std::string_view text, const std::string& file);

// "2026-12-05 12:00" or "2026-12-05T12:00:00Z" -> minutes since 1970; kNoMinute when bad.
std::int64_t ParseUtcMinute(std::string_view text) noexcept;

}  // namespace yol::check
