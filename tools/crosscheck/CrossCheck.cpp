#include "CrossCheck.h"

#include <cmath>
#include <optional>

#include "CallDistance.h"
#include "Engine.h"
#include "Scoring.h"

namespace yol::check {
namespace {

using namespace engine;

// Interned ids of every contact, and the contacts set aside before matching:
// no time that parses (PERIOD), a band or mode not allowed, no call or the
// station's own call (INVALID).
void Prepare(Work& w, CheckResult& result) {
    const std::vector<SubmittedLog>& logs = w.logs;
    const std::size_t nLogs = logs.size();
    std::size_t total = 0;
    for (std::size_t L = 0; L < nLogs; ++L) {
        w.base.push_back(total);
        total += logs[L].contacts.size();
        w.logCall.push_back(w.calls.Id(Upper(logs[L].call)));
        w.logClass.push_back(&w.rules.ClassOf(logs[L].call));
    }
    if (total >= kNo) throw std::runtime_error("too many contacts for one check");
    w.logOf.resize(total);
    w.call.resize(total);
    w.band.resize(total);
    w.mode.resize(total);
    w.time.resize(total);
    w.eligible.assign(total, true);
    w.offset.assign(nLogs, 0);

    std::vector<std::string> allowedBands, allowedModes;
    for (const auto& b : w.rules.bands) allowedBands.push_back(Upper(b));
    for (const auto& m : w.rules.modes) allowedModes.push_back(Upper(m));
    auto allowed = [](const std::vector<std::string>& list, const std::string& v) {
        return list.empty() || std::find(list.begin(), list.end(), v) != list.end();
    };

    std::string scratch;
    for (std::size_t L = 0; L < nLogs; ++L) {
        LogResult& r = result.logs[L];
        r.call = logs[L].call;
        r.category = logs[L].category;
        r.checklog = logs[L].checklog;
        r.claimed = logs[L].claimed;
        r.verdicts.resize(logs[L].contacts.size());
        for (std::size_t i = 0; i < logs[L].contacts.size(); ++i) {
            const std::size_t g = w.base[L] + i;
            const ContactTexts c = logs[L].Texts(i);
            const std::int64_t time = logs[L].contacts[i].time;
            w.logOf[g] = static_cast<std::uint32_t>(L);
            w.call[g] = w.calls.Id(Upper(c.call, scratch));
            const std::uint32_t band = w.bands.Id(Upper(c.band, scratch));
            const std::uint32_t mode = w.modes.Id(Upper(c.mode, scratch));
            if (band > 255 || mode > 255 || w.calls.Size() >= 0xFFFFFF || nLogs >= 0xFFFFFF)
                throw std::runtime_error("too many distinct bands, modes, calls or logs for one check");
            w.band[g] = static_cast<std::uint8_t>(band);
            w.mode[g] = static_cast<std::uint8_t>(mode);
            w.time[g] = time;
            ContactVerdict& v = r.verdicts[i];
            v.otherCall = w.call[g];
            if (time == kNoMinute) {
                v.verdict = Verdict::Period;
            } else if (!allowed(allowedBands, w.bands.Text(band)) || !allowed(allowedModes, w.modes.Text(mode)) ||
                       w.calls.Text(w.call[g]).empty() || w.call[g] == w.logCall[L]) {
                v.verdict = Verdict::Invalid;
            } else {
                continue;
            }
            v.blamed = Blame::Self;
            w.eligible[g] = false;
        }
    }
    w.logOfCall.assign(w.calls.Size(), kNo);
    for (std::size_t L = 0; L < nLogs; ++L)
        if (w.logOfCall[w.logCall[L]] == kNo) w.logOfCall[w.logCall[L]] = static_cast<std::uint32_t>(L);

    BuildIndex(w);
}

// What is left after the matching: X sent a log -> NIL; X sent none -> NOLOG
// or UNIQUE; and the pairs' verdicts: BUSTED, OK or EXCHANGE.
void Verdicts(Work& w, CheckResult& result, std::vector<std::vector<bool>>& multiplierOk) {
    const std::vector<SubmittedLog>& logs = w.logs;
    const Rules& rules = w.rules;
    const std::size_t total = w.Total(), nLogs = logs.size();
    // Logs each call is in (for the unique policy) and the calls with logs by
    // their one-deletion forms (for the probable busted call).
    std::vector<std::uint32_t> logsWith(w.calls.Size(), 0), seenIn(w.calls.Size(), kNo),
        contactsWith(w.calls.Size(), 0);
    for (std::size_t g = 0; g < total; ++g) {
        if (w.eligible[g]) ++contactsWith[w.call[g]];
        if (!w.eligible[g] || seenIn[w.call[g]] == w.logOf[g]) continue;
        seenIn[w.call[g]] = w.logOf[g];
        ++logsWith[w.call[g]];
    }
    std::unordered_map<std::string, std::vector<std::uint32_t>> nearIndex;
    for (std::size_t L = 0; L < nLogs; ++L) {
        if (static_cast<std::int64_t>(logs[L].contacts.size()) < rules.busyCallCount || w.logOfCall[w.logCall[L]] != L) continue;
        NearForms(w.calls.Text(w.logCall[L]), [&](const std::string& f) { nearIndex[f].push_back(static_cast<std::uint32_t>(L)); });
    }
    auto likelyCall = [&](const std::string& unique) -> std::uint32_t {
        std::uint32_t best = kNo;
        double bestD = 1.01;
        std::size_t bestN = 0;
        NearForms(unique, [&](const std::string& f) {
            auto it = nearIndex.find(f);
            if (it == nearIndex.end()) return;
            for (std::uint32_t L : it->second) {
                const double d = CallDistance(unique, w.calls.Text(w.logCall[L]));
                const std::size_t n = logs[L].contacts.size();
                if (d < bestD || (d == bestD && n > bestN)) best = L, bestD = d, bestN = n;
            }
        });
        return best;
    };

    // A call the policy alone would credit is first taken as a probable busted
    // call of a busier one when it is in at most kFewLogs logs: a call one
    // edit away (CallDistance at most 1) in at least kBusierBy times as many
    // logs, logged on the same band and mode within the wider offset window of the contact,
    // with or without a log of its own.
    constexpr std::uint32_t kBusierBy = 5, kFewLogs = 2;
    auto creditedByPolicy = [&](std::uint32_t call) {
        return rules.creditNoLog && w.logOfCall[call] == kNo && logsWith[call] >= static_cast<std::uint64_t>(rules.uniqueMinLogs) &&
               contactsWith[call] >= static_cast<std::uint64_t>(rules.uniqueMinContacts);
    };
    auto mayBeBust = [&](std::uint32_t call) { return creditedByPolicy(call) && logsWith[call] <= kFewLogs; };
    // The busier calls near each call that may be a bust, then the contacts
    // of just those calls, by band, mode and time.
    std::unordered_map<std::string, std::vector<std::uint32_t>> busyByForm;
    std::vector<std::vector<std::uint32_t>> busierOf(w.calls.Size());
    FlatIndex busyContacts;
    {
        std::uint32_t fewest = kNo;
        for (std::uint32_t c = 0; c < w.calls.Size(); ++c)
            if (logsWith[c] > 0 && mayBeBust(c)) fewest = std::min(fewest, logsWith[c]);
        if (fewest != kNo)
            for (std::uint32_t c = 0; c < w.calls.Size(); ++c)
                if (logsWith[c] >= kBusierBy * fewest)
                    NearForms(w.calls.Text(c), [&](const std::string& f) { busyByForm[f].push_back(c); });
        std::vector<bool> wanted(w.calls.Size(), false);
        for (std::uint32_t x = 0; x < w.calls.Size() && !busyByForm.empty(); ++x) {
            if (logsWith[x] == 0 || !mayBeBust(x)) continue;
            const std::string& mine = w.calls.Text(x);
            NearForms(mine, [&](const std::string& f) {
                const auto it = busyByForm.find(f);
                if (it == busyByForm.end()) return;
                for (std::uint32_t c : it->second)
                    if (c != x && logsWith[c] >= kBusierBy * logsWith[x] &&
                        std::find(busierOf[x].begin(), busierOf[x].end(), c) == busierOf[x].end() &&
                        CallDistance(mine, w.calls.Text(c)) <= 1.0) {
                        busierOf[x].push_back(c);
                        wanted[c] = true;
                    }
            });
        }
        busyByForm.clear();
        // Counted first: nearly every contact may be wanted, and a vector that
        // doubled its way there would hold three times its size at the last step.
        std::size_t count = 0;
        for (std::size_t g = 0; g < total; ++g) count += w.eligible[g] && wanted[w.call[g]];
        std::vector<FlatIndex::Entry> entries;
        entries.reserve(count);
        for (std::size_t g = 0; g < total; ++g)
            if (w.eligible[g] && wanted[w.call[g]])
                entries.push_back({Key(0, w.call[g], w.band[g], w.mode[g]), w.time[g], static_cast<std::uint32_t>(g)});
        busyContacts = FlatIndex(std::move(entries));
    }
    // The busiest of them logged on this contact's band and mode near its time.
    auto busierCall = [&](std::size_t g) -> std::uint32_t {
        std::uint32_t best = kNo;
        for (std::uint32_t c : busierOf[w.call[g]]) {
            if (best != kNo && logsWith[c] <= logsWith[best]) continue;
            auto [lo, hi] = w.Around(busyContacts.Find(Key(0, c, w.band[g], w.mode[g])), w.time[g], rules.offsetWindow);
            if (lo != hi) best = c;
        }
        return best;
    };

    for (std::size_t L = 0; L < nLogs; ++L) multiplierOk[L].assign(logs[L].contacts.size(), true);

    // By log, on two threads: a contact's verdict, its log's miscopiedBy and
    // multiplierOk belong to its log alone.
    const bool listed = rules.scoring == Scoring::PerContact &&
                        std::any_of(rules.multipliers.begin(), rules.multipliers.end(),
                                    [](const MultiplierRule& m) { return !m.valid.empty(); });
    const bool formsChecked = std::any_of(rules.exchange.begin(), rules.exchange.end(), [](const ExchangeClass& c) {
        return std::any_of(c.received.begin(), c.received.end(),
                           [](const ExchangeToken& t) { return t.form != TokenForm::Any; });
    });
    ForEachParallel(nLogs, [&](std::size_t log) {
    std::optional<PerContactScoring> scoring;
    if (listed) scoring.emplace(logs[log], rules);
    for (std::size_t g = w.base[log]; g < w.base[log] + logs[log].contacts.size(); ++g) {
        if (!w.eligible[g]) continue;
        const std::uint32_t L = w.logOf[g];
        ContactVerdict& v = w.V(result, g);
        const std::uint32_t other = w.match[g] != kNo ? w.match[g] : w.bustPartner[g];
        if (other != kNo) {
            v.otherLog = w.logOf[other];
            v.otherContact = static_cast<std::uint32_t>(other - w.base[w.logOf[other]]);
        }
        if (w.busted[g]) {
            v.verdict = Verdict::Busted;
            v.blamed = Blame::Self;
            v.otherCall = w.logCall[w.logOf[other]];
            continue;
        }
        if (other != kNo) {
            v.otherCall = w.logCall[w.logOf[other]];
            const ExchangeCheck ex = CompareExchange(rules, w.Sends(other), w.T(g).report, w.T(other).sent);
            // A value not on the rules' list is miscopied whatever the other side sent.
            if (ex.bad || (scoring && scoring->InvalidValue(g - w.base[L], w.T(other).sent))) {
                v.verdict = Verdict::Exchange;
                v.blamed = Blame::Self;
                multiplierOk[L][g - w.base[L]] = !ex.multiplierBad;
            } else {
                v.verdict = Verdict::Ok;
            }
            if (w.bustPartner[g] != kNo) {  // the other side miscopied this station's call
                result.logs[L].miscopiedBy.push_back({static_cast<std::uint32_t>(g - w.base[L]), w.logOf[other],
                                                      static_cast<std::uint32_t>(other - w.base[w.logOf[other]]),
                                                      w.call[other]});
                v.callMiscopied = true;
                if (v.verdict == Verdict::Ok) v.blamed = Blame::Other;
            }
            continue;
        }
        const std::uint32_t P = w.PartnerOf(g);
        if (P != kNo) {
            v.verdict = Verdict::Nil;
            v.blamed = Blame::Self;
            // The nearest of P's unpaired contacts with this station, among
            // at most kNilLook either side of this contact's time.
            constexpr std::ptrdiff_t kNilLook = 64;
            const auto list = w.index.Find(Key(P, w.logCall[L], w.band[g], w.mode[g]));
            const auto mid = std::lower_bound(list.begin(), list.end(), w.time[g],
                                              [&](std::uint32_t x, std::int64_t t) { return w.time[x] < t; });
            const auto from = mid - std::min(kNilLook, mid - list.begin());
            const auto to = mid + std::min(kNilLook, list.end() - mid);
            std::int64_t best = 0;
            std::uint32_t at = kNo;
            for (auto p = from; p != to; ++p) {
                const std::uint32_t b = *p;
                if (w.eligible[b] && w.match[b] == kNo && w.bustPartner[b] == kNo &&
                    (at == kNo || std::llabs(w.time[b] - w.time[g]) < std::llabs(best)))
                    best = w.time[b] - w.time[g], at = b;
            }
            if (at != kNo) {
                v.minutesOff = static_cast<std::int32_t>(std::llabs(best));
                v.otherLog = P;
                v.otherContact = static_cast<std::uint32_t>(at - w.base[P]);
            }
            continue;
        }
        v.count = logsWith[w.call[g]];
        const std::uint32_t busier = mayBeBust(w.call[g]) ? busierCall(g) : kNo;
        if (busier != kNo) {
            v.verdict = Verdict::Unique;
            v.blamed = Blame::Self;
            v.otherCall = busier;
        } else if (creditedByPolicy(w.call[g])) {
            // Credited, unless copied in a form the station's class does not send.
            const ContactTexts t = w.T(g);
            std::string_view value;
            const ExchangeToken* misfit = formsChecked ? FirstMisfit(rules.ClassOf(t.call), t.report, value) : nullptr;
            v.verdict = misfit ? Verdict::Exchange : Verdict::NoLog;
            if (misfit) {
                v.blamed = Blame::Self;
                multiplierOk[L][g - w.base[L]] = misfit->name != rules.multiplierToken;
            }
        } else {
            v.verdict = Verdict::Unique;
            v.blamed = Blame::Self;
            const std::uint32_t likely = likelyCall(w.calls.Text(w.call[g]));
            if (likely != kNo) v.otherCall = w.logCall[likely];
        }
    }
    });
}

// A contact logged outside its mode's segments of the band is INVALID for
// its own log, judged on its own logged frequency; its pair still stands for
// the other side. A log without frequencies is never faulted.
void OutsideSegments(Work& w, CheckResult& result) {
    if (w.rules.segments.empty()) return;
    for (std::size_t g = 0; g < w.Total(); ++g) {
        if (!w.eligible[g]) continue;
        const ContactTexts c = w.T(g);
        if (!w.rules.OutsideSegments(c.band, c.mode, c.frequency)) continue;
        ContactVerdict& v = w.V(result, g);
        v.verdict = Verdict::Invalid;
        v.blamed = Blame::Self;
        w.eligible[g] = false;
    }
}

// Blame first: where the rules say so, a confirmed contact whose other side
// busted this station's call or miscopied the exchange is PARTNER, judged on
// the other side's finding before dupes (a busted or miscopied line that is
// also its log's own repeat still erred). Then dupes: a repeat within the
// rules' interval of a contact that counted (confirmed, or credited without a
// log), in the log's own order; a PARTNER contact earned nothing, so it starts
// no interval. A dupe costs its own log the contact and nothing more; it
// still confirmed the other side's contact.
void BlameAndDupes(Work& w, CheckResult& result) {
    const Rules& rules = w.rules;
    const bool busted = rules.BustedBlamesBoth(), exchange = rules.ExchangeBlamesBoth();
    for (std::size_t g = 0; (busted || exchange) && g < w.Total(); ++g) {
        if (!w.eligible[g]) continue;
        ContactVerdict& v = w.V(result, g);
        if (v.verdict != Verdict::Ok || v.otherLog == kNoIndex) continue;
        const ContactVerdict& ov = result.logs[v.otherLog].verdicts[v.otherContact];
        if ((exchange && ov.verdict == Verdict::Exchange) || (busted && ov.verdict == Verdict::Busted)) {
            v.verdict = Verdict::Partner;
            v.blamed = Blame::Other;
        }
    }
    for (std::size_t L = 0; L < w.logs.size(); ++L) {
        std::unordered_map<std::uint64_t, std::uint32_t> counted;  // key -> last contact that counted
        for (std::size_t g = w.base[L]; g < w.base[L] + w.logs[L].contacts.size(); ++g) {
            if (!w.eligible[g]) continue;
            ContactVerdict& v = w.V(result, g);
            const std::uint64_t key = Key(0, w.call[g], w.band[g], w.mode[g]);
            auto it = counted.find(key);
            if (it != counted.end() && (rules.dupeAfter == 0 || w.time[g] - w.time[it->second] < rules.dupeAfter)) {
                v.verdict = Verdict::Dupe;
                v.blamed = Blame::Self;
                v.count = static_cast<std::uint32_t>(it->second - w.base[L]);
                w.eligible[g] = false;
                continue;
            }
            if (v.verdict == Verdict::Ok || v.verdict == Verdict::NoLog) counted[key] = static_cast<std::uint32_t>(g);
        }
    }
}

// One log's raw and final score, and its counts; logs are scored in parallel.
void ScoreLog(const Work& w, std::size_t L, CheckResult& result, const std::vector<bool>& multiplierOk,
              bool contactScores) {
    const Rules& rules = w.rules;
    LogResult& r = result.logs[L];
    const SubmittedLog& log = w.logs[L];
    const std::size_t n = log.contacts.size();
    if (!log.checklog || rules.checklogScore) {
        std::vector<std::size_t> rawIncluded, finalIncluded;
        std::vector<std::int64_t> rawPoints(n, 0), finalPoints(n, 0);
        std::vector<std::int64_t> newMultipliers;
        if (contactScores) newMultipliers.assign(n, 0);
        std::vector<std::int64_t>* brought = contactScores ? &newMultipliers : nullptr;
        for (std::size_t i = 0; i < n; ++i) {
            const Verdict v = r.verdicts[i].verdict;
            const bool setAside = v == Verdict::Invalid || v == Verdict::Period;
            if (!setAside && !w.ownRepeat[w.base[L] + i]) rawIncluded.push_back(i);
            const bool credited = v == Verdict::Ok || v == Verdict::NoLog ||
                                  (v == Verdict::Exchange && rules.scoring == Scoring::PerContact);
            if (credited) finalIncluded.push_back(i);
        }
        if (rules.scoring == Scoring::Yol) {
            // One store for both: the final set is scored from the raw one's contacts.
            const YolScoring scoring(log);
            r.raw = scoring.Score(rawIncluded, rawPoints);
            r.final = scoring.Score(finalIncluded, finalPoints, brought);
        } else {
            const PerContactScoring scoring(log, rules);
            const std::vector<bool> all(n, true);
            for (std::size_t i : rawIncluded) rawPoints[i] = scoring.FullPoints(i);
            for (std::size_t i : finalIncluded) {
                const Verdict v = r.verdicts[i].verdict;
                finalPoints[i] = v == Verdict::Exchange                     ? rules.pointsMiscopied
                                 : v == Verdict::NoLog && rules.pointsNoLog ? *rules.pointsNoLog
                                                                            : rawPoints[i];
            }
            // A miscopied contact that earns nothing brings no multiplier either.
            std::vector<bool> counts = multiplierOk;
            for (std::size_t i : finalIncluded)
                if (r.verdicts[i].verdict == Verdict::Exchange && finalPoints[i] <= 0) counts[i] = false;
            r.raw = scoring.Score(rawIncluded, rawPoints, all);
            r.final = scoring.Score(finalIncluded, finalPoints, counts, brought);
        }
        std::int64_t penalty = 0;
        for (std::size_t i = 0; i < n; ++i) {
            ContactVerdict& v = r.verdicts[i];
            v.points = static_cast<std::int32_t>(std::max<std::int64_t>(finalPoints[i], 0));
            double k = 0;
            if (v.verdict == Verdict::Busted) k = rules.bustedPenalty;
            else if (v.verdict == Verdict::Nil) k = rules.nilPenalty;
            if (k > 0 && rawPoints[i] > 0) {
                const std::int64_t p = std::llround(k * static_cast<double>(rawPoints[i]));
                v.penalty = static_cast<std::int32_t>(p);
                penalty += p;
            }
        }
        if (contactScores) {
            r.scores.resize(n);
            for (std::size_t i = 0; i < n; ++i) {
                r.scores[i].rawPoints = static_cast<std::int32_t>(std::max<std::int64_t>(rawPoints[i], 0));
                r.scores[i].multipliers = static_cast<std::int32_t>(newMultipliers[i]);
            }
        }
        r.final.points = std::max<std::int64_t>(r.final.points - penalty, 0);
        r.final.score = ScoreOf(r.final.points, r.final.multipliers);
        if (r.raw.score > 0)
            r.reductionPercent = 100.0 * static_cast<double>(r.raw.score - r.final.score) /
                                 static_cast<double>(r.raw.score);
    }
    // A checklog's contacts are not scored; where the rules publish its
    // score it stays in the totals above, shown and never ranked.
    if (log.checklog)
        for (ContactVerdict& v : r.verdicts) {
            v.checked = v.verdict;
            v.verdict = Verdict::Checklog;
            v.blamed = Blame::None;
            v.points = 0;
        }
    std::int64_t checked = 0, errors = 0;
    for (const ContactVerdict& v : r.verdicts) {
        ++r.counts[static_cast<std::size_t>(v.verdict)];
        if (v.otherLog != kNoIndex || v.verdict == Verdict::Nil || v.verdict == Verdict::Busted) {
            ++checked;
            if (v.blamed == Blame::Self) ++errors;
        }
    }
    r.errorRate = checked > 0 ? static_cast<double>(errors) / static_cast<double>(checked) : 0;
}

void Summarise(const Work& w, CheckResult& result) {
    CheckSummary& s = result.summary;
    for (std::size_t L = 0; L < w.logs.size(); ++L) {
        for (const ContactVerdict& v : result.logs[L].verdicts) {
            ++s.counts[static_cast<std::size_t>(v.verdict)];
            if (v.otherLog != kNoIndex || v.verdict == Verdict::Nil || v.verdict == Verdict::Busted) ++s.crossChecked;
            if (v.verdict == Verdict::Ok) ++s.confirmed;
        }
        ++s.logs;
        if (w.logs[L].checklog) ++s.checklogs;
        s.contacts += w.logs[L].contacts.size();
    }
}

}  // namespace

// Built once (again only after a date shift): a log's times all shift by its
// one clock offset, so the order within a group stays; contacts set aside
// later are skipped by the users.
void engine::BuildIndex(Work& w) {
    w.index = FlatIndex();  // a rebuild frees the old table first
    std::vector<FlatIndex::Entry> entries;
    entries.reserve(w.Total());
    for (std::size_t g = 0; g < w.Total(); ++g)
        if (w.eligible[g])
            entries.push_back({Key(w.logOf[g], w.call[g], w.band[g], w.mode[g]), w.time[g], static_cast<std::uint32_t>(g)});
    w.index = FlatIndex(std::move(entries));
}

CheckResult CrossCheck(const std::vector<SubmittedLog>& logs, const Rules& rules, bool contactScores) {
    Work w(logs, rules);
    CheckResult result;
    result.logs.resize(logs.size());
    Prepare(w, result);
    if (DateShifts(w, result)) BuildIndex(w);
    EstimateOffsets(w, result);
    PeriodAndRepeats(w, result);
    ExactPairs(w);
    SetAsideOutside(w, result);
    BustedCalls(w);
    std::vector<std::vector<bool>> multiplierOk(logs.size());
    Verdicts(w, result, multiplierOk);
    OutsideSegments(w, result);
    BlameAndDupes(w, result);
    ForEachParallel(logs.size(), [&](std::size_t L) { ScoreLog(w, L, result, multiplierOk[L], contactScores); });
    Summarise(w, result);
    result.calls.reserve(w.calls.Size());
    for (std::uint32_t id = 0; id < w.calls.Size(); ++id) result.calls.push_back(w.calls.Text(id));
    AssignClasses(logs, rules.categories, result);
    return result;
}

}  // namespace yol::check

namespace yol::check {

AloneScore ScoreAlone(const SubmittedLog& log, const Rules& rules) {
    const std::vector<SubmittedLog> logs{log};
    Work w(logs, rules);
    CheckResult result;
    result.logs.resize(1);
    Prepare(w, result);
    EstimateOffsets(w, result);
    PeriodAndRepeats(w, result);
    AloneScore out;
    std::vector<std::size_t> included;
    for (std::size_t i = 0; i < log.contacts.size(); ++i) {
        const ContactTexts c = log.Texts(i);
        if (!w.eligible[i] || w.outside[i] || rules.OutsideSegments(c.band, c.mode, c.frequency)) ++out.setAside;
        else if (w.ownRepeat[i]) ++out.repeats;
        else included.push_back(i);
    }
    std::vector<std::int64_t> points(log.contacts.size(), 0);
    if (rules.scoring == Scoring::Yol) {
        out.tally = YolScoring(log).Score(included, points);
    } else {
        const PerContactScoring scoring(log, rules);
        for (std::size_t i : included) points[i] = scoring.FullPoints(i);
        out.tally = scoring.Score(included, points, std::vector<bool>(log.contacts.size(), true), nullptr, &out.bands);
    }
    return out;
}

}  // namespace yol::check
