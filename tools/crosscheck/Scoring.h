// The two scorings a rules file can name, over a log's contacts that count:
// the YOL scoring core, and per-contact scoring with its families.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "CheckTypes.h"
#include "contestlog/ContactStore.h"
#include "Families.h"
#include "Rules.h"

namespace yol::check {

// The YOL scoring core, as yolscore scores a log, over a log's contacts
// stored for it once: each Score scores a subset of them.
class YolScoring {
public:
    explicit YolScoring(const SubmittedLog& log);

    // The contacts at `included` (indexes into log.contacts) are scored in
    // that order; `points[i]` gets the points of contact i (-1 where the
    // scoring core calls it a duplicate; other entries untouched). `points`
    // must hold log.contacts.size() entries; so must `newMultipliers` where
    // given, which gets the multipliers each contact first brought (new
    // districts and countries).
    Tally Score(const std::vector<std::size_t>& included, std::vector<std::int64_t>& points,
                std::vector<std::int64_t>* newMultipliers = nullptr) const;

private:
    const SubmittedLog& log_;
    contestlog::ContactStore store_;
};

// One band's part of a score; a multiplier counted once per contest
// belongs to the band it was first worked on.
struct BandTally {
    std::string band;
    Tally tally;
};

// Per-contact scoring of one log: points by outcome and, where the rules
// give a points table, by who worked whom; multipliers the sum of the rules'
// multipliers (distinct values per band or contest, optionally per mode).
class PerContactScoring {
public:
    PerContactScoring(const SubmittedLog& log, const Rules& rules);

    // The points contact i earns when it counts in full: the first row of the
    // points table that holds, else the rules' `confirmed`.
    std::int64_t FullPoints(std::size_t i) const;
    // "the loc ONT is not on the rules' list" when a value contact i received
    // for a multiplier this log counts is not on its list and is not what the
    // other side sent (`sent`: its sent exchange; a value both logs agree on
    // stands, and brings no multiplier); else nothing.
    struct OffList {
        std::string token, value;  // the token's name in the rules, the value received (upper case)
    };
    std::optional<OffList> InvalidValue(std::size_t i, std::string_view sent) const;

    // Each included contact earns `points[i]` (set by the caller) and brings
    // multipliers except where `countMultiplier[i]` is false (a contact of 0
    // points too: a same-country contact counts its zone and country). `newMultipliers`, where given, gets the multipliers each contact
    // first brought (in the included order); `byBand` the tally per band.
    Tally Score(const std::vector<std::size_t>& included, const std::vector<std::int64_t>& points,
                const std::vector<bool>& countMultiplier, std::vector<std::int64_t>* newMultipliers = nullptr,
                std::vector<BandTally>* byBand = nullptr) const;

private:
    struct Counted {
        MultiplierRule rule;
        std::vector<std::size_t> token;  // per exchange class: the received token's index, or kNone
        // The token's index where the worked station sends as `sends`.
        std::size_t In(const Rules& rules, const ExchangeClass& sends) const;
    };
    // The value contact i brings for multiplier `m`, "" for none.
    std::string ValueOf(const Counted& m, std::size_t i, const StationPlace& them) const;
    bool RowHolds(const PointsRow& row, std::size_t i, const StationPlace& them) const;
    // The worked station of contact i and what its class sends, looked up once.
    struct Placed {
        StationPlace place;
        const ExchangeClass* sends = nullptr;
        bool known = false;
    };
    const Placed& Worked(std::size_t i) const;
    const StationPlace& Place(std::size_t i) const;

    mutable std::vector<Placed> places_;  // one scorer serves one thread

    const SubmittedLog& log_;
    const Rules& rules_;
    StationPlace me_;
    const ExchangeClass* mine_;         // what this log's station sends
    std::vector<Counted> multipliers_;  // those this log counts
    bool counts_ = false;               // the rules count multipliers at all
    std::string cqToken_, ituToken_;    // the tokens the zones are read from, by name
};

}  // namespace yol::check
