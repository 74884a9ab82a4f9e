// The matching phases of the check: clock offsets, the period and the log's
// own repeats, exact pairs, busted calls. CrossCheck.cpp runs them in order.
#include <atomic>
#include <cmath>
#include <limits>
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

// Minutes `t` lies outside the period; 0 inside.
std::int64_t MinutesOutside(const Rules& rules, std::int64_t t) {
    if (rules.start != kNoMinute && t < rules.start) return rules.start - t;
    if (rules.end != kNoMinute && t >= rules.end) return t - rules.end + 1;
    return 0;
}

}  // namespace

// A block of a log dated a whole day off: contacts whose partners' logs hold
// them a day (within the offset window) from where this log dates them, and
// not near their own date. At least kMinBlock such contacts, one after another
// in the log with no contact the other logs place at its own date between them,
// make a block; it is moved by the day and recorded on the log's result.
bool DateShifts(Work& w, CheckResult& result) {
    constexpr std::int64_t kDay = 24 * 60;
    constexpr std::uint32_t kMinBlock = 3;
    enum : std::int8_t { kUnknown = 0, kLate = 1, kEarly = -1, kOwnDate = 2 };
    std::vector<std::int8_t> found(w.Total(), kUnknown);
    ForEachParallel(w.logs.size(), [&](std::size_t L) {
        for (std::size_t g = w.base[L]; g < w.base[L] + w.logs[L].contacts.size(); ++g) {
            if (!w.eligible[g]) continue;
            const std::uint32_t P = w.PartnerOf(g);
            if (P == kNo || P == L) continue;
            const auto list = w.index.Find(Key(P, w.logCall[L], w.band[g], w.mode[g]));
            auto near = [&](std::int64_t t) {
                const auto [lo, hi] = w.Around(list, t, w.rules.offsetWindow);
                return lo != hi;
            };
            if (list.empty()) continue;
            found[g] = near(w.time[g]) ? kOwnDate : near(w.time[g] - kDay) ? kLate : near(w.time[g] + kDay) ? kEarly : kUnknown;
        }
    });
    std::atomic<bool> any{false};
    ForEachParallel(w.logs.size(), [&](std::size_t L) {
        const std::size_t b = w.base[L], n = w.logs[L].contacts.size();
        std::int8_t sign = kUnknown;
        std::uint32_t first = 0, last = 0, count = 0;
        auto close = [&] {
            if (sign != kUnknown && count >= kMinBlock) {
                for (std::size_t i = first; i <= last; ++i)
                    if (w.time[b + i] != kNoMinute) w.time[b + i] -= sign * kDay;
                result.logs[L].dateShifts.push_back({first, last, static_cast<std::int32_t>(sign * kDay)});
                any = true;
            }
            sign = kUnknown;
            count = 0;
        };
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::int8_t f = found[b + i];
            if (f == kUnknown) continue;
            if (f != sign) close();
            if (f == kOwnDate) continue;
            if (sign == kUnknown) sign = f, first = i;
            last = i;
            ++count;
        }
        close();
    });
    return any;
}

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
                // The nearest is next to where the target would stand; the earlier one on a tie.
                const auto at = std::lower_bound(list.begin(), list.end(), target,
                                                 [&](std::uint32_t x, std::int64_t v) { return raw[x] < v; });
                std::int64_t best = at != list.end() ? raw[*at] - target : std::numeric_limits<std::int64_t>::max();
                if (at != list.begin() && target - raw[*(at - 1)] <= best) best = raw[*(at - 1)] - target;
                if (std::llabs(best) <= w.rules.offsetWindow) diffs.push_back(raw[g] - (target + best) + prev[P]);
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
            const std::int64_t t = correct ? w.time[g] : w.time[g] + w.offset[L];  // as logged, a date shift undone
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

namespace {

// Candidates of one contact: at most this many either side of its place in
// the other log's list, so that two logs holding each other thousands of
// times in one window pair in linear time and memory.
inline constexpr std::ptrdiff_t kCandidatesEachSide = 8;

// The other log's contacts within the window that contact `g` may pair with:
// the window's range, cut to kCandidatesEachSide either side of where `g`
// stands among its own log's contacts at that time (the k-th of L's contacts
// at 12:00 faces the k-th of P's).
std::pair<const std::uint32_t*, const std::uint32_t*> Candidates(const Work& w, std::size_t g,
                                                                 std::span<const std::uint32_t> mine,
                                                                 std::span<const std::uint32_t> theirs) {
    auto [lo, hi] = w.Around(theirs, w.time[g], w.rules.window);
    if (hi - lo <= 2 * kCandidatesEachSide + 1) return {lo, hi};
    const auto firstOfMine = std::lower_bound(mine.begin(), mine.end(), w.time[g],
                                              [&](std::uint32_t x, std::int64_t v) { return w.time[x] < v; });
    // Groups are in (time, contact) order.
    const auto self = std::lower_bound(firstOfMine, mine.end(), g, [&](std::uint32_t x, std::size_t v) {
        return w.time[x] < w.time[v] || (w.time[x] == w.time[v] && x < v);
    });
    const auto firstOfTheirs = std::lower_bound(lo, hi, w.time[g],
                                                [&](std::uint32_t x, std::int64_t v) { return w.time[x] < v; });
    const std::uint32_t* centre = std::min(firstOfTheirs + (self - firstOfMine), hi - 1);
    return {std::max(lo, centre - kCandidatesEachSide), std::min(hi, centre + kCandidatesEachSide + 1)};
}

}  // namespace

// One to one: the pairs whose exchanges fit both ways first, then one way,
// then the closest times, then the order of the files.
void ExactPairs(Work& w) {
    const std::size_t total = w.Total();
    w.match.assign(total, kNo);
    struct Pair {
        std::uint64_t rank;  // misfits, minutes apart
        std::uint32_t a, b;
        bool operator<(const Pair& o) const { return std::tie(rank, a, b) < std::tie(o.rank, o.a, o.b); }
    };
    std::vector<Pair> pairs;
    for (std::size_t g = 0; g < total; ++g) {
        if (!w.eligible[g]) continue;
        const std::uint32_t L = w.logOf[g], P = w.PartnerOf(g);
        if (P == kNo || P <= L) continue;
        const auto theirs = w.index.Find(Key(P, w.logCall[L], w.band[g], w.mode[g]));
        if (theirs.empty()) continue;
        const auto mine = w.index.Find(Key(L, w.call[g], w.band[g], w.mode[g]));
        // Where either log holds the other more than once here, the exchanges choose.
        const bool choose = theirs.size() > 1 || mine.size() > 1;
        auto [lo, hi] = Candidates(w, g, mine, theirs);
        for (auto p = lo; p != hi; ++p) {
            if (!w.eligible[*p]) continue;
            std::uint64_t misfits = 0;
            if (choose) {
                const ContactTexts a = w.T(g), b = w.T(*p);
                misfits = CompareExchange(w.rules, w.Sends(*p), a.report, b.sent).bad +
                          CompareExchange(w.rules, w.Sends(g), b.report, a.sent).bad;
            }
            pairs.push_back({(misfits << 32) | static_cast<std::uint64_t>(std::llabs(w.time[*p] - w.time[g])),
                             static_cast<std::uint32_t>(g), *p});
        }
    }
    std::sort(pairs.begin(), pairs.end());
    for (const auto& [rank, a, b] : pairs) {
        if (w.match[a] != kNo || w.match[b] != kNo) continue;
        w.match[a] = b;
        w.match[b] = a;
    }
}

// A contact its own log places inside the period but the clock correction
// moves outside has the benefit of the doubt: it stays when the other log's
// matching contact is inside on that log's scale, or, with no matching
// contact, when the correction moves it out by no more than a minute (what an
// estimate may be off by). Two estimates that agree still put it outside.
void SetAsideOutside(Work& w, CheckResult& result) {
    const std::vector<bool> judged = w.outside;
    for (std::size_t g = 0; g < w.Total(); ++g) {
        if (!judged[g]) continue;
        const std::uint32_t m = w.match[g];
        const std::int64_t logged = w.time[g] + w.offset[w.logOf[g]];  // as logged, a date shift undone
        if (MinutesOutside(w.rules, logged) == 0 &&
            (m != kNo ? !judged[m] : MinutesOutside(w.rules, w.time[g]) <= 1)) {
            w.outside[g] = false;
            continue;
        }
        ContactVerdict& v = w.V(result, g);
        v.verdict = Verdict::Period;
        v.blamed = Blame::Self;
        if (m != kNo) {
            v.otherLog = w.logOf[m];
            v.otherContact = static_cast<std::uint32_t>(m - w.base[w.logOf[m]]);
            v.otherCall = w.logCall[w.logOf[m]];
        }
        w.eligible[g] = false;  // its partner keeps the pair
    }
    w.outside = {};
}

// A logged X, but C's log holds A at that time, band and mode, and C is
// close to X. Contacts out of the period are no evidence: they are set aside.
// Where more than kWideRange contacts hold A in the window (many logs working
// one station in one minute), the logs searched are those whose call is one
// edit from X (NearForms), each with its candidates bounded as in the exact
// pairing, so that the search stays linear; calls two edits apart are then
// not found.
void BustedCalls(Work& w) {
    constexpr std::ptrdiff_t kWideRange = 64;
    const std::size_t total = w.Total();
    w.bustPartner.assign(total, kNo);
    w.busted.assign(total, false);
    const Rules& rules = w.rules;
    const bool checkedExchange = std::any_of(rules.exchange.begin(), rules.exchange.end(), [](const ExchangeClass& c) {
        return std::any_of(c.received.begin(), c.received.end(), [](const ExchangeToken& t) {
            return t.check != TokenCheck::None || t.form != TokenForm::Any;
        });
    });
    auto isOpen = [&](std::uint32_t g) { return w.eligible[g] && w.match[g] == kNo; };
    std::vector<FlatIndex::Entry> entries;
    for (std::size_t g = 0; g < total; ++g)
        if (isOpen(static_cast<std::uint32_t>(g)))
            entries.push_back({Key(0, w.call[g], w.band[g], w.mode[g]), w.time[g], static_cast<std::uint32_t>(g)});
    const FlatIndex open(std::move(entries));
    std::unordered_map<std::string, std::vector<std::uint32_t>> logsByForm;  // built when first needed
    std::vector<std::tuple<double, std::uint32_t, std::uint32_t>> pairs;
    auto consider = [&](std::size_t g, std::uint32_t p) {
        const std::uint32_t L = w.logOf[g], C = w.logOf[p];
        if (C == L || w.logCall[C] == w.call[g] || w.logOfCall[w.logCall[C]] != C) return;
        const std::string &logged = w.calls.Text(w.call[g]), &real = w.calls.Text(w.logCall[C]);
        const double d = CallDistance(logged, real);
        const bool far = d > 2.0 || d * 2 >= static_cast<double>(std::max(logged.size(), real.size()));
        if (d > 3.0) return;
        // Where the exchange is checked, the pair must fit at least one way
        // (what one received is what the other sent); both ways is better.
        // A call beyond the distance limit is still a probable busted call
        // when the exchanges fit exactly both ways in the same minute.
        int fits = 2;
        if (checkedExchange) {
            const ContactTexts a = w.T(g), c = w.T(p);
            fits = !CompareExchange(rules, w.Sends(p), a.report, c.sent).bad +
                   !CompareExchange(rules, w.Sends(g), c.report, a.sent).bad;
            if (fits == 0) return;
        }
        if (far && (!checkedExchange || fits < 2 || w.time[p] != w.time[g])) return;
        pairs.emplace_back(d * 100 + (2 - fits) * 10 + static_cast<double>(std::llabs(w.time[p] - w.time[g])),
                           static_cast<std::uint32_t>(g), p);
    };
    for (std::size_t g = 0; g < total; ++g) {
        if (!isOpen(static_cast<std::uint32_t>(g))) continue;
        const std::uint32_t L = w.logOf[g];
        const auto list = open.Find(Key(0, w.logCall[L], w.band[g], w.mode[g]));
        if (list.empty()) continue;
        auto [lo, hi] = w.Around(list, w.time[g], rules.window);
        if (hi - lo <= kWideRange) {
            for (auto p = lo; p != hi; ++p) consider(g, *p);
            continue;
        }
        if (logsByForm.empty())
            for (std::size_t C = 0; C < w.logs.size(); ++C)
                if (w.logOfCall[w.logCall[C]] == C)
                    NearForms(w.calls.Text(w.logCall[C]),
                              [&](const std::string& f) { logsByForm[f].push_back(static_cast<std::uint32_t>(C)); });
        const auto mine = w.index.Find(Key(L, w.call[g], w.band[g], w.mode[g]));
        std::vector<std::uint32_t> seen;
        NearForms(w.calls.Text(w.call[g]), [&](const std::string& f) {
            const auto it = logsByForm.find(f);
            if (it == logsByForm.end()) return;
            for (std::uint32_t C : it->second) {
                if (std::find(seen.begin(), seen.end(), C) != seen.end()) continue;
                seen.push_back(C);
                auto [from, to] = Candidates(w, g, mine, w.index.Find(Key(C, w.logCall[L], w.band[g], w.mode[g])));
                for (auto p = from; p != to; ++p)
                    if (isOpen(*p)) consider(g, *p);
            }
        });
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
