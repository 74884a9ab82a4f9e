#include "Scoring.h"

#include <algorithm>
#include <functional>
#include <cctype>
#include <unordered_set>
#include <string>
#include <utility>

#include "contestlog/ContactStore.h"
#include "contestlog/Text.h"
#include "scoring/ScoreBook.h"
#include "Engine.h"

namespace yol::check {
YolScoring::YolScoring(const SubmittedLog& log) : log_(log), store_(false) {
    for (std::size_t i = 0; i < log.contacts.size(); ++i) store_.Contact(log.Texts(i));
}

Tally YolScoring::Score(const std::vector<std::size_t>& included, std::vector<std::int64_t>& points,
                        std::vector<std::int64_t>* newMultipliers) const {
    // The store holds the log's contacts in file order: an index is a contact's.
    const std::vector<std::uint32_t> order(included.begin(), included.end());
    TScoreBook book;
    contestlog::ScoreContactNumbers(store_, &order, log_.myPrefix, log_.myContinent, book,
                                    [&](const contestlog::ContactScore& c) {
                                        const std::size_t i = included[c.n];
                                        points[i] = c.points;
                                        if (newMultipliers) (*newMultipliers)[i] = c.newMultipliers;
                                    });
    Tally t;
    for (const TStatistic& s : book.Tallies()) {
        t.contacts += s.QSOs;
        t.points += s.Points;
        t.multipliers += s.Districts + s.Countries;
    }
    t.score = ScoreOf(t.points, t.multipliers);
    return t;
}

namespace {

bool In(const std::vector<std::string>& list, std::string_view value) {
    return list.empty() || std::find(list.begin(), list.end(), value) != list.end();
}

// Upper case, as the engine compares texts.
std::string UpperText(std::string_view s) { return engine::Upper(s); }

using engine::TokenAt;

// A zone as a number without leading zeros, or 0 when the text is none.
int ZoneNumber(std::string_view text) {
    int zone = 0;
    if (text.empty() || text.size() > 3) return 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        zone = zone * 10 + (c - '0');
    }
    return zone;
}

}  // namespace

PerContactScoring::PerContactScoring(const SubmittedLog& log, const Rules& rules)
    : log_(log), rules_(rules), me_(PlaceOf(rules.countries, log.call)), mine_(&rules.ClassAt(me_)) {
    const std::vector<MultiplierRule> all = rules.AllMultipliers();
    counts_ = !all.empty();
    for (const MultiplierRule& m : all) {
        if (!m.from.Holds(me_)) continue;
        Counted c{m, {}};
        // The token's place in what each class sends, as received.
        for (const ExchangeClass& k : rules.exchange) c.token.push_back(m.token.empty() ? kNone : k.ReceivedIndex(m.token));
        if (m.kind == MultiplierKind::CqZone && cqToken_.empty()) cqToken_ = m.token;
        if (m.kind == MultiplierKind::ItuZone && ituToken_.empty()) ituToken_ = m.token;
        multipliers_.push_back(std::move(c));
    }
}

const PerContactScoring::Placed& PerContactScoring::Worked(std::size_t i) const {
    if (places_.empty()) places_.resize(log_.contacts.size());
    Placed& p = places_[i];
    if (!p.known) {
        p.place = PlaceOf(rules_.countries, log_.Texts(i).call);
        p.sends = &rules_.ClassAt(p.place);
        p.known = true;
    }
    return p;
}

const StationPlace& PerContactScoring::Place(std::size_t i) const { return Worked(i).place; }

std::size_t PerContactScoring::Counted::In(const Rules& rules, const ExchangeClass& sends) const {
    // `sends` is one of rules.exchange, or the empty class of rules that define none.
    const ExchangeClass* first = rules.exchange.data();
    if (std::less<const ExchangeClass*>()(&sends, first) || !std::less<const ExchangeClass*>()(&sends, first + rules.exchange.size()))
        return kNone;
    const std::size_t k = static_cast<std::size_t>(&sends - first);
    return k < token.size() ? token[k] : kNone;
}

bool PerContactScoring::RowHolds(const PointsRow& row, std::size_t i, const StationPlace& them) const {
    const ContactTexts c = log_.Texts(i);
    if (!In(row.bands, UpperText(c.band)) || !In(row.modes, UpperText(c.mode))) return false;
    if (!In(row.fromContinents, me_.continent) || !In(row.toContinents, them.continent)) return false;
    if (!In(row.fromCountries, me_.country) || !In(row.toCountries, them.country)) return false;
    const ExchangeClass& sends = *Worked(i).sends;
    if (!row.tokenLetters.empty()) {
        const std::string_view t = TokenAt(c.report, sends.ReceivedIndex(row.tokenLetters));
        if (t.empty() || ZoneNumber(t) != 0 || t == "0" || t == "00") return false;
    }
    auto zone = [&](const std::string& token, int mine, int theirs) {
        // The zones as the exchange gives them (what this station's class
        // sends, what the worked one's class sends), else the country file's.
        const int sent = token.empty() ? 0 : ZoneNumber(TokenAt(c.sent, mine_->SentIndex(token)));
        const int got = token.empty() ? 0 : ZoneNumber(TokenAt(c.report, sends.ReceivedIndex(token)));
        const int a = sent ? sent : mine, b = got ? got : theirs;
        return a != 0 && a == b;
    };
    switch (row.relation) {
        case Relation::Any: return true;
        case Relation::SameCountry: return !me_.country.empty() && me_.country == them.country;
        case Relation::OtherCountry: return !them.country.empty() && me_.country != them.country;
        case Relation::SameContinent:
            return !me_.continent.empty() && me_.continent == them.continent;
        case Relation::OtherContinent: return !them.continent.empty() && me_.continent != them.continent;
        case Relation::SameCqZone: return zone(cqToken_, me_.cqZone, them.cqZone);
        case Relation::SameItuZone: return zone(ituToken_, me_.ituZone, them.ituZone);
    }
    return false;
}

std::int64_t PerContactScoring::FullPoints(std::size_t i) const {
    if (rules_.pointsTable.empty()) return rules_.pointsConfirmed;
    const StationPlace& them = Place(i);
    for (const PointsRow& row : rules_.pointsTable)
        if (RowHolds(row, i, them)) return row.points;
    return 0;
}

std::string PerContactScoring::ValueOf(const Counted& m, std::size_t i, const StationPlace& them) const {
    const ContactTexts c = log_.Texts(i);
    const std::size_t token = m.In(rules_, *Worked(i).sends);
    switch (m.rule.kind) {
        case MultiplierKind::Token: return UpperText(TokenAt(c.report, token));
        case MultiplierKind::Country: return std::string(them.country);
        case MultiplierKind::CqZone:
        case MultiplierKind::ItuZone: {
            const std::string_view t = TokenAt(c.report, token);
            // A zone token that is no number (a society station's) counts as itself.
            if (!t.empty()) return ZoneNumber(t) ? std::to_string(ZoneNumber(t)) : UpperText(t);
            const int z = m.rule.kind == MultiplierKind::CqZone ? them.cqZone : them.ituZone;
            return z ? std::to_string(z) : std::string();
        }
        case MultiplierKind::Prefix: return PrefixOf(c.call);
    }
    return {};
}

std::optional<PerContactScoring::OffList> PerContactScoring::InvalidValue(std::size_t i, std::string_view sent) const {
    const ExchangeClass& sends = *Worked(i).sends;
    for (const Counted& m : multipliers_) {
        const std::size_t token = m.In(rules_, sends);
        if (m.rule.valid.empty() || token == kNone) continue;
        const std::string v = UpperText(TokenAt(log_.Texts(i).report, token));
        if (!v.empty() && !Rules::ValidValue(m.rule, v) && v != UpperText(TokenAt(sent, sends.SentIndex(m.rule.token))))
            return OffList{m.rule.token, v};
    }
    return std::nullopt;
}

Tally PerContactScoring::Score(const std::vector<std::size_t>& included, const std::vector<std::int64_t>& points,
                               const std::vector<bool>& countMultiplier, std::vector<std::int64_t>* newMultipliers,
                               std::vector<BandTally>* byBand) const {
    std::unordered_set<std::string> seen;
    std::string key;
    Tally t;
    auto bandOf = [&](std::string_view band) -> Tally* {
        if (!byBand) return nullptr;
        for (BandTally& b : *byBand)
            if (b.band == band) return &b.tally;
        byBand->push_back({std::string(band), {}});
        return &byBand->back().tally;
    };
    const bool places = rules_.countries != nullptr;
    for (std::size_t i : included) {
        const ContactTexts c = log_.Texts(i);
        Tally* band = bandOf(c.band);
        ++t.contacts;
        t.points += points[i];
        if (band) ++band->contacts, band->points += points[i];
        if (!countMultiplier[i]) continue;
        const StationPlace none;
        const StationPlace& them = places ? Place(i) : none;
        std::int64_t brought = 0;
        for (std::size_t k = 0; k < multipliers_.size(); ++k) {
            const Counted& m = multipliers_[k];
            const std::string value = ValueOf(m, i, them);
            if (value.empty() || !Rules::ValidValue(m.rule, value) ||
                std::find(m.rule.notCounted.begin(), m.rule.notCounted.end(), value) != m.rule.notCounted.end())
                continue;
            key = std::to_string(k);
            key += '\x1f';
            if (m.rule.perBand) key += UpperText(c.band);
            key += '\x1f';
            if (m.rule.perMode) key += UpperText(c.mode);
            key += '\x1f';
            key += value;
            if (seen.insert(key).second) ++brought;
        }
        t.multipliers += brought;
        if (band) band->multipliers += brought;
        if (newMultipliers) (*newMultipliers)[i] = brought;
    }
    // Without multipliers the score is the points: the one multiplier comes
    // with the first contact that earns any.
    if (!counts_) {
        t.multipliers = t.points > 0 ? 1 : 0;
        for (std::size_t i : included)
            if (points[i] > 0) {
                if (newMultipliers) (*newMultipliers)[i] = 1;
                if (Tally* band = bandOf(log_.Texts(i).band)) band->multipliers = 1;
                break;
            }
    }
    t.score = ScoreOf(t.points, t.multipliers);
    if (byBand)
        for (BandTally& b : *byBand) b.tally.score = ScoreOf(b.tally.points, b.tally.multipliers);
    return t;
}

}  // namespace yol::check
