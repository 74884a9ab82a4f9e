// The matching phases of the check: clock offsets, the period and the log's
// own repeats, exact pairs, busted calls. CrossCheck.cpp runs them in order.
#include <cmath>
#include <tuple>

#include "CallDistance.h"
#include "Engine.h"

namespace yol::check::engine {
namespace {

std::int64_t Median(std::vector<std::int64_t>& v) {
    const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

}  // namespace

void EstimateOffsets(Work& w, CheckResult& result) {
    const std::size_t nLogs = w.logs.size();
    const std::vector<std::int64_t> raw = w.time;
    std::vector<std::int64_t> prev(nLogs, 0), next(nLogs, 0);
    for (int round = 0; round < 2; ++round) {
        ForEachParallel(nLogs, [&](std::size_t L) {
            std::vector<std::int64_t> diffs;
            for (std::size_t g = w.base[L]; g < w.base[L] + w.logs[L].contacts.size(); ++g) {
                if (!w.eligible[g]) continue;
                const std::uint32_t P = w.PartnerOf(g);
                if (P == kNo || P == L) continue;
                const auto list = w.index.Find(Key(P, w.logCall[L], w.band[g], w.mode[g]));
                if (list.empty()) continue;
                // Nearest on the corrected scale of both logs.
                const std::int64_t target = raw[g] - prev[L] + prev[P];
                auto lo = std::lower_bound(list.begin(), list.end(), target - w.rules.offsetWindow,
                                           [&](std::uint32_t x, std::int64_t v) { return raw[x] < v; });
                std::int64_t best = 0;
                bool found = false;
                for (auto p = lo; p != list.end() && raw[*p] <= target + w.rules.offsetWindow; ++p) {
                    const std::int64_t d = raw[*p] - target;
                    if (!found || std::llabs(d) < std::llabs(best)) best = d, found = true;
                }
                if (found) diffs.push_back(raw[g] - (target + best) + prev[P]);
            }
            next[L] = diffs.size() >= 3 ? Median(diffs) : 0;
        });
        prev = next;
    }
    for (std::size_t L = 0; L < nLogs; ++L) {
        w.offset[L] = prev[L];
        result.logs[L].clockOffset = prev[L];
        for (std::size_t g = w.base[L]; g < w.base[L] + w.logs[L].contacts.size(); ++g)
            if (w.time[g] != kNoMinute) w.time[g] -= prev[L];
    }
}

// The period applies to the time logged; a clock off by more than the
// window is corrected first. A contact outside the period, or a repeat,
// still takes part in the matching: it costs its own log the contact but
// is evidence for the other side. Which repeats are dupes is decided after
// the matching, from the contacts that counted; `ownRepeat` is the log's own
// view, for the raw score.
void PeriodAndRepeats(Work& w, CheckResult&) {
    const std::size_t total = w.Total();
    w.outside.assign(total, false);
    w.ownRepeat.assign(total, false);
    for (std::size_t L = 0; L < w.logs.size(); ++L) {
        const std::size_t n = w.logs[L].contacts.size();
        const bool correct = std::llabs(w.offset[L]) > w.rules.window;
        std::unordered_map<std::uint64_t, std::uint32_t> last;  // key -> last counted contact
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t g = w.base[L] + i;
            if (!w.eligible[g]) continue;
            const std::int64_t t = correct ? w.time[g] : w.logs[L].contacts[i].time;
            if ((w.rules.start != kNoMinute && t < w.rules.start) || (w.rules.end != kNoMinute && t >= w.rules.end)) {
                w.outside[g] = true;
                continue;
            }
            auto [it, added] = last.try_emplace(Key(0, w.call[g], w.band[g], w.mode[g]), static_cast<std::uint32_t>(g));
            if (added) continue;
            if (w.rules.dupeAfter > 0 && std::llabs(w.time[g] - w.time[it->second]) >= w.rules.dupeAfter) {
                it->second = static_cast<std::uint32_t>(g);
                continue;
            }
            w.ownRepeat[g] = true;
        }
    }
}

void ExactPairs(Work& w) {
    const std::size_t total = w.Total();
    w.match.assign(total, kNo);
    std::vector<std::tuple<std::int64_t, std::uint32_t, std::uint32_t>> pairs;
    for (std::size_t g = 0; g < total; ++g) {
        if (!w.eligible[g]) continue;
        const std::uint32_t L = w.logOf[g], P = w.PartnerOf(g);
        if (P == kNo || P <= L) continue;
        auto [lo, hi] = w.Around(w.index.Find(Key(P, w.logCall[L], w.band[g], w.mode[g])), w.time[g], w.rules.window);
        for (auto p = lo; p != hi; ++p)
            if (w.eligible[*p]) pairs.emplace_back(std::llabs(w.time[*p] - w.time[g]), static_cast<std::uint32_t>(g), *p);
    }
    std::sort(pairs.begin(), pairs.end());
    for (const auto& [d, a, b] : pairs) {
        if (w.match[a] != kNo || w.match[b] != kNo) continue;
        w.match[a] = b;
        w.match[b] = a;
    }
}

void SetAsideOutside(Work& w, CheckResult& result) {
    for (std::size_t g = 0; g < w.Total(); ++g) {
        if (!w.outside[g]) continue;
        ContactVerdict& v = w.V(result, g);
        v.verdict = Verdict::Period;
        v.blamed = Blame::Self;
        if (w.match[g] != kNo) {
            const std::uint32_t o = w.match[g];
            v.otherLog = w.logOf[o];
            v.otherContact = static_cast<std::uint32_t>(o - w.base[w.logOf[o]]);
            v.otherCall = w.logCall[w.logOf[o]];
        }
        w.eligible[g] = false;  // its partner keeps the pair
    }
    w.outside = {};
}

// A logged X, but C's log holds A at that time, band and mode, and C is
// close to X. Contacts out of the period are no evidence: they are set aside.
void BustedCalls(Work& w) {
    const std::size_t total = w.Total();
    w.bustPartner.assign(total, kNo);
    w.busted.assign(total, false);
    const Rules& rules = w.rules;
    const bool checkedExchange = std::any_of(rules.received.begin(), rules.received.end(),
                                             [](const ExchangeToken& t) { return t.check != TokenCheck::None; });
    std::vector<FlatIndex::Entry> entries;
    for (std::size_t g = 0; g < total; ++g)
        if (w.eligible[g] && w.match[g] == kNo)
            entries.push_back({Key(0, w.call[g], w.band[g], w.mode[g]), w.time[g], static_cast<std::uint32_t>(g)});
    const FlatIndex open(std::move(entries));
    std::vector<std::tuple<double, std::uint32_t, std::uint32_t>> pairs;
    for (std::size_t g = 0; g < total; ++g) {
        if (!w.eligible[g] || w.match[g] != kNo) continue;
        const std::uint32_t L = w.logOf[g];
        const auto list = open.Find(Key(0, w.logCall[L], w.band[g], w.mode[g]));
        if (list.empty()) continue;
        const std::string& logged = w.calls.Text(w.call[g]);
        auto [lo, hi] = w.Around(list, w.time[g], rules.window);
        for (auto p = lo; p != hi; ++p) {
            const std::uint32_t C = w.logOf[*p];
            if (C == L || w.logCall[C] == w.call[g] || w.logOfCall[w.logCall[C]] != C) continue;
            const std::string& real = w.calls.Text(w.logCall[C]);
            const double d = CallDistance(logged, real);
            if (d > 2.0 || d * 2 >= static_cast<double>(std::max(logged.size(), real.size()))) continue;
            // Where the exchange is checked, the pair must fit at least one
            // way (what one received is what the other sent); both ways is better.
            int fits = 2;
            if (checkedExchange) {
                const ContactTexts a = w.T(g), c = w.T(*p);
                fits = !CompareExchange(rules, a.received, c.sent).bad + !CompareExchange(rules, c.received, a.sent).bad;
                if (fits == 0) continue;
            }
            pairs.emplace_back(d * 100 + (2 - fits) * 10 + static_cast<double>(std::llabs(w.time[*p] - w.time[g])),
                               static_cast<std::uint32_t>(g), *p);
        }
    }
    std::sort(pairs.begin(), pairs.end());
    for (const auto& [cost, a, c] : pairs) {
        if (w.bustPartner[a] != kNo || w.bustPartner[c] != kNo) continue;
        w.bustPartner[a] = c;
        w.bustPartner[c] = a;
        w.busted[a] = true;
    }
}

}  // namespace yol::check::engine
