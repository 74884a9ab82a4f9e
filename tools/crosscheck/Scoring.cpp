#include "Scoring.h"

#include <cctype>
#include <set>
#include <string>
#include <utility>

#include "contestlog/ContactStore.h"
#include "contestlog/Text.h"
#include "scoring/ScoreBook.h"

namespace yol::check {
namespace {

// One contact into the scorer's store, as a reader hands it over.
void Feed(contestlog::ContactStore& store, const SubmittedLog& log, std::size_t i) {
    const ContactTexts c = log.Texts(i);
    contestlog::ContactView e;
    e.call = c.call;
    e.band = c.band;
    e.mode = c.mode;
    e.report = c.report;
    e.dxcc = c.dxcc;
    e.mainPrefix = c.mainPrefix;
    e.continent = c.continent;
    e.time = log.contacts[i].time;
    e.place = log.contacts[i].place;
    store.Contact(e);
}

}  // namespace

Tally ScoreYol(const SubmittedLog& log, const std::vector<std::size_t>& included,
               std::vector<std::int64_t>& points, std::vector<std::int64_t>* newMultipliers) {
    contestlog::ContactStore store(true);
    for (std::size_t i : included) Feed(store, log, i);
    TScoreBook book;
    std::size_t n = 0;
    // The audit hands the contacts over in the order scored: the included order.
    contestlog::ScoreContacts(store, nullptr, log.myPrefix, log.myContinent, book,
                              [&](const contestlog::AuditEntry& entry) {
                                  const std::size_t i = included[n++];
                                  points[i] = entry.points;
                                  if (newMultipliers)
                                      (*newMultipliers)[i] = (entry.newDistrict.empty() ? 0 : 1) + (entry.newCountry ? 1 : 0);
                              });
    Tally t;
    for (const TStatistic& s : book.Tallies()) {
        t.contacts += s.QSOs;
        t.points += s.Points;
        t.multipliers += s.Districts + s.Countries;
    }
    t.score = t.points * t.multipliers;
    return t;
}

Tally ScorePerContact(const SubmittedLog& log, const Rules& rules,
                      const std::vector<std::size_t>& included,
                      const std::vector<std::int64_t>& points,
                      const std::vector<bool>& countMultiplier,
                      std::vector<std::int64_t>* newMultipliers) {
    const std::size_t token = rules.ReceivedIndex(rules.multiplierToken);
    std::set<std::pair<std::string, std::string>> multipliers;
    Tally t;
    for (std::size_t i : included) {
        ++t.contacts;
        t.points += points[i];
        if (points[i] <= 0 || !countMultiplier[i] || token == kNone) continue;
        const ContactTexts c = log.Texts(i);
        const std::vector<std::string_view> received = contestlog::ExchangeTokens(c.report);
        if (token >= received.size()) continue;
        std::string value(received[token]);
        for (char& ch : value) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        const bool added = multipliers.emplace(std::string(c.band), value).second;
        if (added && newMultipliers) (*newMultipliers)[i] = 1;
    }
    // Without a multiplier token the score is the points: the one multiplier
    // comes with the first contact that earns any.
    if (token == kNone && newMultipliers)
        for (std::size_t i : included)
            if (points[i] > 0) {
                (*newMultipliers)[i] = 1;
                break;
            }
    t.multipliers = token == kNone ? (t.points > 0 ? 1 : 0) : static_cast<std::int64_t>(multipliers.size());
    t.score = t.points * t.multipliers;
    return t;
}

}  // namespace yol::check
