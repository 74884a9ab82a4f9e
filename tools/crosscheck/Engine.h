// The engine's working state, shared by its phases (CrossCheck.cpp: ids,
// verdicts and scores; Matching.cpp: clock offsets, pairs, busted calls;
// Details.cpp: the reasons in words). Not part of the library's interface.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "CallDistance.h"
#include "CheckTypes.h"
#include "contestlog/Parallel.h"
#include "Rules.h"

namespace yol::check::engine {

using contestlog::ForEachParallel;

inline constexpr std::uint32_t kNo = kNoIndex;

// Upper case without blanks, into `out`.
inline const std::string& Upper(std::string_view s, std::string& out) {
    out.clear();
    for (char c : s) {
        if (c == ' ' || c == '\t') continue;
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}
inline std::string Upper(std::string_view s) {
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
inline std::uint64_t Key(std::uint32_t log, std::uint32_t call, std::uint32_t band, std::uint32_t mode) {
    return (static_cast<std::uint64_t>(log & 0xFFFFFF) << 40) | (static_cast<std::uint64_t>(call & 0xFFFFFF) << 16) |
           (static_cast<std::uint64_t>(band & 0xFF) << 8) | (mode & 0xFF);
}

// Contacts grouped by a key, each group in time order: one sorted array and an
// open-addressing table from key to group.
class FlatIndex {
public:
#pragma pack(push, 4)
    struct Entry {
        std::uint64_t key;
        std::int64_t time;
        std::uint32_t id;
    };
#pragma pack(pop)
    static_assert(sizeof(Entry) == 20, "an index entry is 20 bytes: nearly every contact has one while it is built");
    FlatIndex() = default;
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
        // Three quarters full, whatever the count (a power of two left it
        // between three eighths and three quarters full).
        size_ = groups + groups / 3 + 16;
        slots_.assign(size_, Slot{0, 0, 0});
        for (std::size_t i = 0; i < entries.size();) {
            std::size_t j = i;
            while (j < entries.size() && entries[j].key == entries[i].key) ++j;
            std::size_t at = Start(entries[i].key);
            while (slots_[at].count != 0) at = Next(at);
            slots_[at] = Slot{entries[i].key, static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j - i)};
            i = j;
        }
    }
    std::span<const std::uint32_t> Find(std::uint64_t key) const {
        if (slots_.empty()) return {};
        for (std::size_t at = Start(key); slots_[at].count != 0; at = Next(at))
            if (slots_[at].key == key) return {ids_.data() + slots_[at].begin, slots_[at].count};
        return {};
    }

private:
    struct Slot {
        std::uint64_t key;
        std::uint32_t begin, count;
    };
    static std::uint64_t Hash(std::uint64_t k) {
        k ^= k >> 31;
        k *= 0x9E3779B97F4A7C15ULL;
        return k ^ (k >> 29);
    }
    // The slot a key's probe starts at: the hash's top 32 bits scaled to the
    // table (multiply and shift; the table holds fewer than 2^32 slots).
    std::size_t Start(std::uint64_t key) const {
        return static_cast<std::size_t>(((Hash(key) >> 32) * size_) >> 32);
    }
    std::size_t Next(std::size_t at) const { return at + 1 == size_ ? 0 : at + 1; }
    std::vector<std::uint32_t> ids_;
    std::vector<Slot> slots_;
    std::size_t size_ = 0;
};

struct Work {
    const std::vector<SubmittedLog>& logs;
    const Rules& rules;
    Interner calls, bands, modes;
    std::vector<std::uint32_t> logCall;             // per log
    std::vector<const ExchangeClass*> logClass;     // per log: what its station sends
    std::vector<std::uint32_t> logOfCall;           // per call id: the first log with that call, or kNo
    std::vector<std::size_t> base;                  // first global id of each log
    // Per contact (global id).
    std::vector<std::uint32_t> logOf, call;
    std::vector<std::uint8_t> band, mode;
    std::vector<std::int64_t> time;                 // corrected
    std::vector<bool> eligible;
    std::vector<std::uint32_t> match;               // exact pair
    std::vector<std::uint32_t> bustPartner;         // busted pair: the other contact
    std::vector<bool> busted;                       // this side logged the wrong call
    std::vector<bool> ownRepeat;                    // the log's own repeat, for the raw score
    std::vector<bool> outside;                      // outside the period
    std::vector<std::int64_t> offset;               // per log
    FlatIndex index;  // (log, worked call, band, mode) -> that log's eligible contacts, by time

    Work(const std::vector<SubmittedLog>& l, const Rules& r) : logs(l), rules(r) {}

    std::size_t Total() const { return logOf.size(); }
    std::uint32_t PartnerOf(std::size_t g) const { return logOfCall[call[g]]; }
    ContactVerdict& V(CheckResult& result, std::size_t g) const {
        return result.logs[logOf[g]].verdicts[g - base[logOf[g]]];
    }
    ContactTexts T(std::size_t g) const { return logs[logOf[g]].Texts(g - base[logOf[g]]); }
    // What the station of contact g's log sends.
    const ExchangeClass& Sends(std::size_t g) const { return *logClass[logOf[g]]; }
    // The range of `list` within `radius` minutes of `t`.
    std::pair<const std::uint32_t*, const std::uint32_t*> Around(std::span<const std::uint32_t> list, std::int64_t t,
                                                                 std::int64_t radius) const {
        auto lo = std::lower_bound(list.begin(), list.end(), t - radius,
                                   [&](std::uint32_t g, std::int64_t v) { return time[g] < v; });
        auto hi = std::upper_bound(lo, list.end(), t + radius,
                                   [&](std::int64_t v, std::uint32_t g) { return v < time[g]; });
        return {list.data() + (lo - list.begin()), list.data() + (hi - list.begin())};
    }
};

// fn(form) for a call and each form one edit makes of it: the call itself,
// each one-character deletion, and "/" + the call without portable
// designators where it has some. Two calls one substitution, insertion,
// deletion or swap apart share a form.
template <class Fn>
void NearForms(const std::string& call, Fn&& fn) {
    fn(call);
    for (std::size_t i = 0; i < call.size(); ++i) fn(call.substr(0, i) + call.substr(i + 1));
    const std::string_view b = BaseCall(call);
    if (b.size() != call.size()) fn("/" + std::string(b));
}

// The index of every eligible contact (Work::index), built from Work::time.
void BuildIndex(Work& w);

// The phases of Matching.cpp, in order.
bool DateShifts(Work& w, CheckResult& result);  // true where a block was moved: the index is rebuilt
void EstimateOffsets(Work& w, CheckResult& result);
void PeriodAndRepeats(Work& w, CheckResult& result);
void ExactPairs(Work& w);
void SetAsideOutside(Work& w, CheckResult& result);
void BustedCalls(Work& w);

// The token at `index` of an exchange text (tokens joined by single
// spaces), or "" (also for kNone).
inline std::string_view TokenAt(std::string_view text, std::size_t index) {
    if (index == kNone) return {};
    for (std::size_t at = 0, n = 0; at <= text.size(); ++n) {
        std::size_t end = text.find(' ', at);
        if (end == std::string_view::npos) end = text.size();
        if (n == index) return text.substr(at, end - at);
        at = end + 1;
    }
    return {};
}

// The received tokens against the other side's sent ones, read by what the
// other side's class sends (`sender`): empty when they agree, else what was
// sent and what was copied, whether the multiplier token was one, and the
// first token copied in a form the class does not send it in (a power where
// a state is sent), with the value copied.
struct ExchangeCheck {
    std::string sent, copied;
    bool bad = false, multiplierBad = false;
    const ExchangeToken* misfit = nullptr;
    std::string misfitValue;
};
ExchangeCheck CompareExchange(const Rules& rules, const ExchangeClass& sender, std::string_view received,
                              std::string_view sent);
// The first received token in a form `sender`'s class does not send it in,
// and the value copied; nullptr when every token fits (a station without a
// log: its class is known from its call, what it sent is not).
const ExchangeToken* FirstMisfit(const ExchangeClass& sender, std::string_view received, std::string_view& value);

}  // namespace yol::check::engine
