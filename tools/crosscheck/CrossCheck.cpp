#include "CrossCheck.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <span>
#include <string>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "CallDistance.h"
#include "Scoring.h"

namespace yol::check {
namespace {

constexpr std::uint32_t kNo = 0xFFFFFFFFu;

// Upper case without blanks, into `out`.
const std::string& Upper(std::string_view s, std::string& out) {
    out.clear();
    for (char c : s) {
        if (c == ' ' || c == '\t') continue;
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}
std::string Upper(std::string_view s) {
    std::string out;
    return Upper(s, out);
}

class Interner {
public:
    std::uint32_t Id(std::string_view text) {
        if (auto it = ids_.find(text); it != ids_.end()) return it->second;
        auto [it, added] = ids_.emplace(std::string(text), static_cast<std::uint32_t>(texts_.size()));
        texts_.push_back(&it->first);
        return it->second;
    }
    const std::string& Text(std::uint32_t id) const { return *texts_[id]; }
    std::size_t Size() const { return texts_.size(); }

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
    };
    std::unordered_map<std::string, std::uint32_t, Hash, std::equal_to<>> ids_;
    std::vector<const std::string*> texts_;
};

// (log or 0, call, band, mode) packed into one number.
std::uint64_t Key(std::uint32_t log, std::uint32_t call, std::uint32_t band, std::uint32_t mode) {
    return (static_cast<std::uint64_t>(log & 0xFFFFFF) << 40) | (static_cast<std::uint64_t>(call & 0xFFFFFF) << 16) |
           (static_cast<std::uint64_t>(band & 0xFF) << 8) | (mode & 0xFF);
}

// Contacts grouped by a key, each group in time order: one sorted array and an
// open-addressing table from key to group.
class FlatIndex {
public:
    struct Entry {
        std::uint64_t key;
        std::int64_t time;
        std::uint32_t id;
    };
    explicit FlatIndex(std::vector<Entry> entries) {
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            return a.key != b.key ? a.key < b.key : a.time != b.time ? a.time < b.time : a.id < b.id;
        });
        ids_.resize(entries.size());
        std::size_t groups = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            ids_[i] = entries[i].id;
            groups += i == 0 || entries[i].key != entries[i - 1].key;
        }
        std::size_t size = 16;
        while (size < groups * 2) size *= 2;
        slots_.assign(size, Slot{0, 0, 0});
        mask_ = size - 1;
        for (std::size_t i = 0; i < entries.size();) {
            std::size_t j = i;
            while (j < entries.size() && entries[j].key == entries[i].key) ++j;
            std::size_t at = Hash(entries[i].key) & mask_;
            while (slots_[at].count != 0) at = (at + 1) & mask_;
            slots_[at] = Slot{entries[i].key, static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j - i)};
            i = j;
        }
    }
    std::span<const std::uint32_t> Find(std::uint64_t key) const {
        for (std::size_t at = Hash(key) & mask_; slots_[at].count != 0; at = (at + 1) & mask_)
            if (slots_[at].key == key) return {ids_.data() + slots_[at].begin, slots_[at].count};
        return {};
    }

private:
    struct Slot {
        std::uint64_t key;
        std::uint32_t begin, count;
    };
    static std::size_t Hash(std::uint64_t k) {
        k ^= k >> 31;
        k *= 0x9E3779B97F4A7C15ULL;
        return static_cast<std::size_t>(k ^ (k >> 29));
    }
    std::vector<std::uint32_t> ids_;
    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
};

bool ParseInt(std::string_view s, long long& out) {
    if (s.empty() || s.size() > 15) return false;
    out = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    return true;
}

std::int64_t Median(std::vector<std::int64_t>& v) {
    const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

struct Work {
    const std::vector<SubmittedLog>& logs;
    const Rules& rules;
    Interner calls, bands, modes;
    std::vector<std::uint32_t> logCall;             // per log
    std::vector<std::uint32_t> logOfCall;           // per call id: the first log with that call, or kNo
    std::vector<std::size_t> base;                  // first global id of each log
    // Per contact (global id).
    std::vector<std::uint32_t> logOf, call, band, mode;
    std::vector<std::int64_t> time;                 // corrected
    std::vector<bool> eligible;
    std::vector<std::uint32_t> match;               // exact pair
    std::vector<std::uint32_t> bustPartner;         // busted pair: the other contact
    std::vector<bool> busted;                       // this side logged the wrong call
    std::vector<std::int64_t> offset;               // per log

    Work(const std::vector<SubmittedLog>& l, const Rules& r) : logs(l), rules(r) {}

    const CheckContact& C(std::size_t g) const { return logs[logOf[g]].contacts[g - base[logOf[g]]]; }
    std::string Where(std::size_t g) const {
        const SubmittedLog& log = logs[logOf[g]];
        return log.file + ":" + std::to_string(C(g).place);
    }
};

// The received tokens against the other side's sent ones: empty when they agree,
// else what was sent and what was copied, and whether the multiplier token was one.
struct ExchangeCheck {
    std::string sent, copied;
    bool bad = false, multiplierBad = false;
};

ExchangeCheck CompareExchange(const Rules& rules, const CheckContact& mine, const CheckContact& theirs) {
    ExchangeCheck out;
    if (theirs.sent.empty()) return out;  // nothing to compare with
    const std::size_t mult = rules.ReceivedIndex(rules.multiplierToken);
    for (std::size_t i = 0; i < rules.received.size(); ++i) {
        const TokenCheck check = rules.received[i].check;
        if (check == TokenCheck::None) continue;
        const std::string_view sent = i < theirs.sent.size() ? std::string_view(theirs.sent[i]) : std::string_view();
        const std::string_view got = i < mine.received.size() ? std::string_view(mine.received[i]) : std::string_view();
        if (sent.empty() || TokenAgrees(got, sent, check)) continue;
        if (out.bad) {
            out.sent += ' ';
            out.copied += ' ';
        }
        out.bad = true;
        out.sent += sent;
        out.copied += got.empty() ? std::string_view("nothing") : got;
        if (i == mult) out.multiplierBad = true;
    }
    return out;
}

}  // namespace

bool TokenAgrees(std::string_view received, std::string_view sent, TokenCheck check) {
    if (check == TokenCheck::None) return true;
    if (check == TokenCheck::Number) {
        long long x, y;
        if (ParseInt(received, x) && ParseInt(sent, y)) return x == y;
    }
    if (received.size() != sent.size()) return false;
    for (std::size_t i = 0; i < sent.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(received[i])) != std::toupper(static_cast<unsigned char>(sent[i])))
            return false;
    return true;
}

CheckResult CrossCheck(const std::vector<SubmittedLog>& logs, const Rules& rules) {
    Work w(logs, rules);
    const std::size_t nLogs = logs.size();
    CheckResult result;
    result.logs.resize(nLogs);

    // ---- ids ------------------------------------------------------------------
    std::size_t total = 0;
    for (std::size_t L = 0; L < nLogs; ++L) {
        w.base.push_back(total);
        total += logs[L].contacts.size();
        w.logCall.push_back(w.calls.Id(Upper(logs[L].call)));
    }
    w.logOf.resize(total);
    w.call.resize(total);
    w.band.resize(total);
    w.mode.resize(total);
    w.time.resize(total);
    w.eligible.assign(total, true);
    w.match.assign(total, kNo);
    w.bustPartner.assign(total, kNo);
    w.busted.assign(total, false);
    w.offset.assign(nLogs, 0);

    std::vector<std::string> allowedBands, allowedModes;
    for (const auto& b : rules.bands) allowedBands.push_back(Upper(b));
    for (const auto& m : rules.modes) allowedModes.push_back(Upper(m));
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
            const CheckContact& c = logs[L].contacts[i];
            w.logOf[g] = static_cast<std::uint32_t>(L);
            w.call[g] = w.calls.Id(Upper(c.call, scratch));
            w.band[g] = w.bands.Id(Upper(c.band, scratch));
            w.mode[g] = w.modes.Id(Upper(c.mode, scratch));
            const std::string& callText = w.calls.Text(w.call[g]);
            const std::string& bandText = w.bands.Text(w.band[g]);
            const std::string& modeText = w.modes.Text(w.mode[g]);
            w.time[g] = c.time;
            ContactVerdict& v = r.verdicts[i];
            v.otherCall = callText;
            if (c.time == kNoMinute) {
                v.verdict = Verdict::Period;
                v.detail = "no time that parses";
            } else if (!allowed(allowedBands, bandText)) {
                v.verdict = Verdict::Invalid;
                v.detail = "band " + c.band + " is not in the contest";
            } else if (!allowed(allowedModes, modeText)) {
                v.verdict = Verdict::Invalid;
                v.detail = "mode " + c.mode + " is not in the contest";
            } else if (callText.empty() || w.call[g] == w.logCall[L]) {
                v.verdict = Verdict::Invalid;
                v.detail = callText.empty() ? "no call logged" : "the station's own call";
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
    if (w.bands.Size() > 255 || w.modes.Size() > 255 || w.calls.Size() >= 0xFFFFFF || nLogs >= 0xFFFFFF)
        throw std::runtime_error("too many distinct bands, modes, calls or logs for one check");

    // Index: (log, worked call, band, mode) -> that log's contacts, by time.
    // Built once: a log's times all shift by its one offset, so the order
    // within a group stays; contacts set aside later are skipped by the users.
    auto buildIndex = [&](bool withLog, auto&& include) {
        std::vector<FlatIndex::Entry> entries;
        for (std::size_t g = 0; g < total; ++g)
            if (include(g))
                entries.push_back({Key(withLog ? w.logOf[g] : 0, w.call[g], w.band[g], w.mode[g]), w.time[g],
                                   static_cast<std::uint32_t>(g)});
        return FlatIndex(std::move(entries));
    };
    // The range of `list` within `radius` minutes of `t`.
    auto around = [&](std::span<const std::uint32_t> list, std::int64_t t, std::int64_t radius) {
        auto lo = std::lower_bound(list.begin(), list.end(), t - radius,
                                   [&](std::uint32_t g, std::int64_t v) { return w.time[g] < v; });
        auto hi = std::upper_bound(lo, list.end(), t + radius,
                                   [&](std::int64_t v, std::uint32_t g) { return v < w.time[g]; });
        return std::make_pair(lo, hi);
    };
    auto partnerOf = [&](std::size_t g) { return w.logOfCall[w.call[g]]; };

    const FlatIndex index = buildIndex(true, [&](std::size_t g) { return w.eligible[g]; });

    // ---- clock offsets ----------------------------------------------------------
    {
        const std::vector<std::int64_t> raw = w.time;
        std::vector<std::int64_t> prev(nLogs, 0), next(nLogs, 0), diffs;
        for (int round = 0; round < 2; ++round) {
            for (std::size_t L = 0; L < nLogs; ++L) {
                diffs.clear();
                for (std::size_t g = w.base[L]; g < w.base[L] + logs[L].contacts.size(); ++g) {
                    if (!w.eligible[g]) continue;
                    const std::uint32_t P = partnerOf(g);
                    if (P == kNo || P == L) continue;
                    const auto list = index.Find(Key(P, w.logCall[L], w.band[g], w.mode[g]));
                    if (list.empty()) continue;
                    // Nearest on the corrected scale of both logs.
                    const std::int64_t target = raw[g] - prev[L] + prev[P];
                    auto [lo, hi] = around(list, target, rules.offsetWindow);
                    std::int64_t best = 0;
                    bool found = false;
                    for (auto p = lo; p != hi; ++p) {
                        const std::int64_t d = raw[*p] - target;
                        if (!found || std::llabs(d) < std::llabs(best)) best = d, found = true;
                    }
                    if (found) diffs.push_back(raw[g] - (target + best) + prev[P]);
                }
                next[L] = diffs.size() >= 3 ? Median(diffs) : 0;
            }
            prev = next;
        }
        for (std::size_t L = 0; L < nLogs; ++L) {
            w.offset[L] = prev[L];
            result.logs[L].clockOffset = prev[L];
            for (std::size_t g = w.base[L]; g < w.base[L] + logs[L].contacts.size(); ++g)
                if (w.time[g] != kNoMinute) w.time[g] -= prev[L];
        }
    }

    // ---- period, and the log's own repeats ------------------------------------------
    // The period applies to the time logged; a clock off by more than the
    // window is corrected first. A contact outside the period, or a repeat,
    // still takes part in the matching: it costs its own log the contact but
    // is evidence for the other side. Which repeats are dupes is decided after
    // the matching, from the contacts that counted (see below); `ownRepeat`
    // is the log's own view, for the raw score.
    std::vector<bool> outside(total, false), ownRepeat(total, false);
    for (std::size_t L = 0; L < nLogs; ++L) {
        const std::size_t n = logs[L].contacts.size();
        const bool correct = std::llabs(w.offset[L]) > rules.window;
        std::unordered_map<std::uint64_t, std::uint32_t> last;  // key -> last counted contact
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t g = w.base[L] + i;
            if (!w.eligible[g]) continue;
            const std::int64_t t = correct ? w.time[g] : logs[L].contacts[i].time;
            if ((rules.start != kNoMinute && t < rules.start) || (rules.end != kNoMinute && t >= rules.end)) {
                outside[g] = true;
                continue;
            }
            auto [it, added] = last.try_emplace(Key(0, w.call[g], w.band[g], w.mode[g]), static_cast<std::uint32_t>(g));
            if (added) continue;
            if (rules.dupeAfter > 0 && std::llabs(w.time[g] - w.time[it->second]) >= rules.dupeAfter) {
                it->second = static_cast<std::uint32_t>(g);
                continue;
            }
            ownRepeat[g] = true;
        }
    }

    // ---- exact pairs ----------------------------------------------------------------
    {
        std::vector<std::tuple<std::int64_t, std::uint32_t, std::uint32_t>> pairs;
        for (std::size_t g = 0; g < total; ++g) {
            if (!w.eligible[g]) continue;
            const std::uint32_t L = w.logOf[g], P = partnerOf(g);
            if (P == kNo || P <= L) continue;
            auto [lo, hi] = around(index.Find(Key(P, w.logCall[L], w.band[g], w.mode[g])), w.time[g], rules.window);
            for (auto p = lo; p != hi; ++p)
                if (w.eligible[*p])
                    pairs.emplace_back(std::llabs(w.time[*p] - w.time[g]), static_cast<std::uint32_t>(g), *p);
        }
        std::sort(pairs.begin(), pairs.end());
        for (const auto& [d, a, b] : pairs) {
            if (w.match[a] != kNo || w.match[b] != kNo) continue;
            w.match[a] = b;
            w.match[b] = a;
        }
    }

    for (std::size_t g = 0; g < total; ++g) {
        if (!outside[g]) continue;
        ContactVerdict& v = result.logs[w.logOf[g]].verdicts[g - w.base[w.logOf[g]]];
        v.verdict = Verdict::Period;
        v.blamed = Blame::Self;
        v.detail = "outside the contest period";
        if (w.match[g] != kNo) {
            const std::uint32_t o = w.match[g];
            v.otherLog = w.logOf[o];
            v.otherContact = o - w.base[w.logOf[o]];
            v.otherCall = w.calls.Text(w.logCall[w.logOf[o]]);
        }
        w.eligible[g] = false;  // its partner keeps the pair
    }

    // ---- busted calls -------------------------------------------------------------------
    {
        const bool checkedExchange = std::any_of(rules.received.begin(), rules.received.end(),
                                                 [](const ExchangeToken& t) { return t.check != TokenCheck::None; });
        auto open = buildIndex(false, [&](std::size_t g) { return w.eligible[g] && w.match[g] == kNo; });
        // (contacts out of the period are no busted-call evidence: they are set aside)
        std::vector<std::tuple<double, std::uint32_t, std::uint32_t>> pairs;
        for (std::size_t g = 0; g < total; ++g) {
            if (!w.eligible[g] || w.match[g] != kNo) continue;
            const std::uint32_t L = w.logOf[g];
            const auto list = open.Find(Key(0, w.logCall[L], w.band[g], w.mode[g]));
            if (list.empty()) continue;
            const std::string& logged = w.calls.Text(w.call[g]);
            auto [lo, hi] = around(list, w.time[g], rules.window);
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
                    fits = !CompareExchange(rules, w.C(g), w.C(*p)).bad + !CompareExchange(rules, w.C(*p), w.C(g)).bad;
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

    // ---- verdicts ---------------------------------------------------------------------------
    // Logs each call is in (for the unique policy) and the calls with logs by
    // their one-deletion forms (for the probable busted call).
    std::vector<std::uint32_t> logsWith(w.calls.Size(), 0), seenIn(w.calls.Size(), kNo);
    for (std::size_t g = 0; g < total; ++g) {
        if (!w.eligible[g] || seenIn[w.call[g]] == w.logOf[g]) continue;
        seenIn[w.call[g]] = w.logOf[g];
        ++logsWith[w.call[g]];
    }
    std::unordered_map<std::string, std::vector<std::uint32_t>> nearIndex;
    auto forms = [](const std::string& call, auto&& fn) {
        fn(call);
        for (std::size_t i = 0; i < call.size(); ++i) fn(call.substr(0, i) + call.substr(i + 1));
        const std::string_view b = BaseCall(call);
        if (b.size() != call.size()) fn("/" + std::string(b));
    };
    for (std::size_t L = 0; L < nLogs; ++L) {
        if (static_cast<std::int64_t>(logs[L].contacts.size()) < rules.busyCallCount || w.logOfCall[w.logCall[L]] != L) continue;
        forms(w.calls.Text(w.logCall[L]), [&](const std::string& f) { nearIndex[f].push_back(static_cast<std::uint32_t>(L)); });
    }
    auto likelyCall = [&](const std::string& unique) -> std::uint32_t {
        std::uint32_t best = kNo;
        double bestD = 1.01;
        std::size_t bestN = 0;
        forms(unique, [&](const std::string& f) {
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

    std::vector<std::vector<bool>> multiplierOk(nLogs);
    for (std::size_t L = 0; L < nLogs; ++L) multiplierOk[L].assign(logs[L].contacts.size(), true);

    for (std::size_t g = 0; g < total; ++g) {
        if (!w.eligible[g]) continue;
        const std::uint32_t L = w.logOf[g];
        ContactVerdict& v = result.logs[L].verdicts[g - w.base[L]];
        const CheckContact& mine = w.C(g);
        const std::uint32_t other = w.match[g] != kNo ? w.match[g] : w.bustPartner[g];
        if (other != kNo) {
            v.otherLog = w.logOf[other];
            v.otherContact = other - w.base[w.logOf[other]];
        }
        if (w.busted[g]) {
            const CheckContact& theirs = w.C(other);
            v.verdict = Verdict::Busted;
            v.blamed = Blame::Self;
            v.otherCall = w.calls.Text(w.logCall[w.logOf[other]]);
            v.detail = "logged " + w.calls.Text(w.call[g]) + ", the station worked was " + v.otherCall +
                       " (its log: " + theirs.line + ")";
            continue;
        }
        if (other != kNo) {
            const CheckContact& theirs = w.C(other);
            v.otherCall = w.calls.Text(w.logCall[w.logOf[other]]);
            const ExchangeCheck ex = CompareExchange(rules, mine, theirs);
            if (ex.bad) {
                v.verdict = Verdict::Exchange;
                v.blamed = Blame::Self;
                v.detail = "you copied " + ex.sent + " as " + ex.copied;
                multiplierOk[L][g - w.base[L]] = !ex.multiplierBad;
            } else {
                v.verdict = Verdict::Ok;
            }
            if (w.bustPartner[g] != kNo) {  // the other side miscopied this station's call
                const std::string& as = w.calls.Text(w.call[other]);
                result.logs[L].miscopiedBy.push_back(
                    {g - w.base[L], w.logOf[other], other - w.base[w.logOf[other]], as});
                if (v.verdict == Verdict::Ok) {
                    v.blamed = Blame::Other;
                    v.detail = v.otherCall + " logged your call as " + as;
                }
            }
            continue;
        }
        const std::uint32_t P = partnerOf(g);
        const std::string& worked = w.calls.Text(w.call[g]);
        if (P != kNo) {
            v.verdict = Verdict::Nil;
            v.blamed = Blame::Self;
            v.detail = "not in " + worked + "'s log";
            {
                std::int64_t best = 0;
                std::uint32_t at = kNo;
                for (std::uint32_t b : index.Find(Key(P, w.logCall[L], w.band[g], w.mode[g])))
                    if (w.eligible[b] && w.match[b] == kNo && w.bustPartner[b] == kNo &&
                        (at == kNo || std::llabs(w.time[b] - w.time[g]) < std::llabs(best)))
                        best = w.time[b] - w.time[g], at = b;
                if (at != kNo) {
                    v.minutesOff = std::llabs(best);
                    v.otherLog = P;
                    v.otherContact = at - w.base[P];
                    v.detail += " within the window: " + worked + " logged you " + std::to_string(std::llabs(best)) +
                                " minutes " + (best > 0 ? "later" : "earlier");
                }
            }
            continue;
        }
        const std::uint32_t n = logsWith[w.call[g]];
        if (rules.creditNoLog && n >= static_cast<std::uint64_t>(rules.uniqueMinLogs)) {
            v.verdict = Verdict::NoLog;
            v.detail = worked + " sent no log; in " + std::to_string(n) + " logs";
        } else {
            v.verdict = Verdict::Unique;
            v.blamed = Blame::Self;
            v.detail = worked + " sent no log and is in " + std::to_string(n) + " log" + (n == 1 ? "" : "s");
            const std::uint32_t likely = likelyCall(worked);
            if (likely != kNo) {
                v.otherCall = w.calls.Text(w.logCall[likely]);
                v.detail += "; probable busted call of " + v.otherCall;
            }
        }
    }
    // Dupes: a repeat within the rules' interval of a contact that counted
    // (confirmed, or credited without a log), in the log's own order. A dupe
    // costs its own log the contact and nothing more; it still confirmed the
    // other side's contact above.
    for (std::size_t L = 0; L < nLogs; ++L) {
        std::unordered_map<std::uint64_t, std::uint32_t> counted;  // key -> last contact that counted
        for (std::size_t g = w.base[L]; g < w.base[L] + logs[L].contacts.size(); ++g) {
            if (!w.eligible[g]) continue;
            ContactVerdict& v = result.logs[L].verdicts[g - w.base[L]];
            const std::uint64_t key = Key(0, w.call[g], w.band[g], w.mode[g]);
            auto it = counted.find(key);
            if (it != counted.end() && (rules.dupeAfter == 0 || w.time[g] - w.time[it->second] < rules.dupeAfter)) {
                v.verdict = Verdict::Dupe;
                v.blamed = Blame::Self;
                v.detail = "repeats the contact at line " + std::to_string(w.C(it->second).place);
                w.eligible[g] = false;
                continue;
            }
            if (v.verdict == Verdict::Ok || v.verdict == Verdict::NoLog) counted[key] = static_cast<std::uint32_t>(g);
        }
    }

    // Both sides lose where the rules say so.
    if (rules.blameBoth) {
        for (std::size_t g = 0; g < total; ++g) {
            if (!w.eligible[g]) continue;
            const std::uint32_t L = w.logOf[g];
            ContactVerdict& v = result.logs[L].verdicts[g - w.base[L]];
            if (v.verdict != Verdict::Ok || v.otherLog == kNone) continue;
            const std::size_t og = w.base[v.otherLog] + v.otherContact;
            const ContactVerdict& ov = result.logs[v.otherLog].verdicts[v.otherContact];
            if (ov.verdict == Verdict::Exchange || ov.verdict == Verdict::Busted) {
                v.verdict = Verdict::Partner;
                v.blamed = Blame::Other;
                v.detail = v.otherCall + (ov.verdict == Verdict::Busted ? " logged your call as " + w.calls.Text(w.call[og])
                                                                         : " miscopied your exchange: " + ov.detail);
            }
        }
    }

    // ---- scores -------------------------------------------------------------------------------
    for (std::size_t L = 0; L < nLogs; ++L) {
        LogResult& r = result.logs[L];
        const SubmittedLog& log = logs[L];
        const std::size_t n = log.contacts.size();
        if (log.checklog) {
            for (ContactVerdict& v : r.verdicts) {
                v.detail = std::string(VerdictCode(v.verdict)) + (v.detail.empty() ? "" : ": " + v.detail);
                v.verdict = Verdict::Checklog;
                v.blamed = Blame::None;
                v.points = 0;
            }
        } else {
            std::vector<std::size_t> rawIncluded, finalIncluded;
            std::vector<std::int64_t> rawPoints(n, 0), finalPoints(n, 0), newMultipliers(n, 0);
            for (std::size_t i = 0; i < n; ++i) {
                const Verdict v = r.verdicts[i].verdict;
                const bool setAside = v == Verdict::Invalid || v == Verdict::Period;
                if (!setAside && !ownRepeat[w.base[L] + i]) rawIncluded.push_back(i);
                const bool credited = v == Verdict::Ok || v == Verdict::NoLog ||
                                      (v == Verdict::Exchange && rules.scoring == Scoring::PerContact);
                if (credited) finalIncluded.push_back(i);
            }
            if (rules.scoring == Scoring::Yol) {
                r.raw = ScoreYol(log, rawIncluded, rawPoints);
                r.final = ScoreYol(log, finalIncluded, finalPoints, &newMultipliers);
            } else {
                const std::vector<bool> all(n, true);
                for (std::size_t i : rawIncluded) rawPoints[i] = rules.pointsConfirmed;
                for (std::size_t i : finalIncluded)
                    finalPoints[i] = r.verdicts[i].verdict == Verdict::Exchange ? rules.pointsMiscopied
                                                                                : rules.pointsConfirmed;
                r.raw = ScorePerContact(log, rules, rawIncluded, rawPoints, all);
                r.final = ScorePerContact(log, rules, finalIncluded, finalPoints, multiplierOk[L], &newMultipliers);
            }
            std::int64_t penalty = 0;
            for (std::size_t i = 0; i < n; ++i) {
                ContactVerdict& v = r.verdicts[i];
                v.points = std::max<std::int64_t>(finalPoints[i], 0);
                v.rawPoints = std::max<std::int64_t>(rawPoints[i], 0);
                v.multipliers = newMultipliers[i];
                double k = 0;
                if (v.verdict == Verdict::Busted) k = rules.bustedPenalty;
                else if (v.verdict == Verdict::Nil) k = rules.nilPenalty;
                if (k > 0 && rawPoints[i] > 0) {
                    v.penalty = static_cast<std::int64_t>(std::llround(k * static_cast<double>(rawPoints[i])));
                    penalty += v.penalty;
                }
            }
            r.final.points = std::max<std::int64_t>(r.final.points - penalty, 0);
            r.final.score = r.final.points * r.final.multipliers;
            if (r.raw.score > 0)
                r.reductionPercent = 100.0 * static_cast<double>(r.raw.score - r.final.score) /
                                     static_cast<double>(r.raw.score);
        }
        std::int64_t checked = 0, errors = 0;
        for (const ContactVerdict& v : r.verdicts) {
            ++r.counts[static_cast<std::size_t>(v.verdict)];
            ++result.summary.counts[static_cast<std::size_t>(v.verdict)];
            const bool cross = v.otherLog != kNone || v.verdict == Verdict::Nil || v.verdict == Verdict::Busted;
            if (cross) {
                ++checked;
                ++result.summary.crossChecked;
                if (v.blamed == Blame::Self) ++errors;
            }
            if (v.verdict == Verdict::Ok) ++result.summary.confirmed;
        }
        r.errorRate = checked > 0 ? static_cast<double>(errors) / static_cast<double>(checked) : 0;
        ++result.summary.logs;
        if (log.checklog) ++result.summary.checklogs;
        result.summary.contacts += n;
    }
    return result;
}

std::string_view VerdictCode(Verdict v) noexcept {
    static constexpr std::string_view codes[kVerdictCount] = {"OK",   "EXCHANGE", "BUSTED",  "NIL",
                                                              "UNIQUE", "NOLOG",  "DUPE",    "PERIOD",
                                                              "INVALID", "PARTNER", "CHECKLOG"};
    return codes[static_cast<std::size_t>(v)];
}

std::string_view VerdictHeading(Verdict v) noexcept {
    static constexpr std::string_view headings[kVerdictCount] = {
        "Confirmed",
        "Received exchange miscopied",
        "Busted calls",
        "Not in the other station's log",
        "Uniques (no log from the other station, not credited)",
        "No log from the other station (credited)",
        "Duplicates",
        "Outside the contest period",
        "Band or mode not allowed",
        "Taken off because the other station erred",
        "Checklog contacts",
    };
    return headings[static_cast<std::size_t>(v)];
}

std::string_view BlameCode(Blame b) noexcept {
    switch (b) {
        case Blame::Self: return "self";
        case Blame::Other: return "other";
        case Blame::None: break;
    }
    return "";
}

}  // namespace yol::check
