#include "scoring/ContactList.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace yol {

namespace {

inline void Prefetch(const void* p) noexcept {
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    (void)p;
#endif
}

}  // namespace

ContactList::ContactList() = default;
ContactList::~ContactList() = default;

void ContactList::Clear() noexcept {
    chunks_.clear();
    lastPrefix_.clear();
    blocks_.clear();
    blockUsed_ = kBlock;
    size_ = 0;
}

ContactList::Key ContactList::KeyOf(std::string_view callSign) noexcept {
    unsigned char bytes[8] = {};
    std::memcpy(bytes, callSign.data(), callSign.size() < 8 ? callSign.size() : 8);
    std::uint64_t prefix = 0;
    for (unsigned char b : bytes) prefix = (prefix << 8) | b;  // big-endian: orders as the bytes do
    return {prefix, callSign};
}

std::string_view ContactList::CallOf(const Entry& e) const noexcept {
    return {blocks_[e.text / kBlock].get() + e.text % kBlock, e.length};
}

int ContactList::Compare(const Entry& e, const Key& key) const noexcept {
    if (e.prefix != key.prefix) return e.prefix < key.prefix ? -1 : 1;
    // Equal first eight bytes: two texts of at most eight bytes differ only
    // by trailing zero bytes, so the shorter sorts first.
    if (e.length <= 8 && key.text.size() <= 8)
        return e.length == key.text.size() ? 0 : (e.length < key.text.size() ? -1 : 1);
    return CallOf(e).compare(key.text);
}

std::uint32_t ContactList::StoreText(std::string_view text) {
    // Call signs come from a ShortText, so one always fits in a block.
    if (blockUsed_ + text.size() > kBlock) {
        if (blocks_.size() >= UINT32_MAX / kBlock) throw std::length_error("contact list is full");
        blocks_.push_back(std::make_unique<char[]>(kBlock));
        blockUsed_ = 0;
    }
    const auto at = static_cast<std::uint32_t>((blocks_.size() - 1) * kBlock + blockUsed_);
    if (!text.empty()) std::memcpy(blocks_.back().get() + blockUsed_, text.data(), text.size());
    blockUsed_ += text.size();
    return at;
}

ContactList::Position ContactList::LowerBound(std::string_view callSign) const {
    const Key key = KeyOf(callSign);
    if (chunks_.empty()) return {0, 0};
    // A log read in call-sign order always lands behind the last entry.
    if (Compare(chunks_.back().back(), key) < 0) return {chunks_.size(), 0};

    // The first chunk whose last entry is not below the key holds the first
    // entry that is not below it.
    std::size_t lo = 0, hi = chunks_.size() - 1;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        const bool below = lastPrefix_[mid] != key.prefix ? lastPrefix_[mid] < key.prefix
                                                          : Compare(chunks_[mid].back(), key) < 0;
        if (below) lo = mid + 1;
        else hi = mid;
    }
    // The chunk is usually cold in the cache when a contact lands in it, and
    // halving it would wait for one line of memory at each of its steps. So
    // the sixteenths of the chunk are fetched at once and searched first,
    // then the lines of the one sixteenth that holds the place, at once too.
    const auto& chunk = chunks_[lo];
    const Entry* entries = chunk.data();
    const std::size_t n = chunk.size();
    constexpr std::size_t kParts = 16;
    for (std::size_t k = 1; k < kParts; ++k) Prefetch(entries + k * n / kParts);
    std::size_t part = 1, parts = kParts - 1;  // the first sixteenth not below the key
    while (parts > 0) {
        const std::size_t half = parts / 2;
        if (Compare(entries[(part + half) * n / kParts], key) < 0) {
            part += half + 1;
            parts -= half + 1;
        } else {
            parts = half;
        }
    }
    const std::size_t first = (part - 1) * n / kParts;
    const std::size_t last = part < kParts ? part * n / kParts : n;
    for (const Entry* e = entries + first; e < entries + last; e += 64 / sizeof(Entry)) Prefetch(e);
    const Entry* entry = std::partition_point(entries + first, entries + last,
                                              [&](const Entry& e) { return Compare(e, key) < 0; });
    return {lo, static_cast<std::size_t>(entry - entries)};
}

bool ContactList::RunContains(Position p, std::string_view callSign, std::uint32_t band,
                              std::uint32_t mode) const {
    const Key key = KeyOf(callSign);
    // The run of one call sign may reach into the following chunks.
    for (; p.chunk < chunks_.size(); ++p.chunk, p.index = 0) {
        const auto& c = chunks_[p.chunk];
        for (; p.index < c.size(); ++p.index) {
            const Entry& e = c[p.index];
            if (Compare(e, key) != 0) return false;
            if (e.band == band && e.mode == mode) return true;
        }
    }
    return false;
}

void ContactList::InsertAt(Position p, std::string_view callSign, std::uint32_t band,
                           std::uint32_t mode) {
    const Key key = KeyOf(callSign);
    const Entry entry{key.prefix, StoreText(callSign), band, mode,
                      static_cast<std::uint8_t>(callSign.size())};
    if (p.chunk == chunks_.size()) {
        // Behind every entry: append. A full last chunk is not split but
        // followed by a new one, so a log read in call-sign order packs tightly.
        if (chunks_.empty() || chunks_.back().size() == kChunk) {
            chunks_.emplace_back().reserve(kChunk);
            lastPrefix_.push_back(0);
        }
        chunks_.back().push_back(entry);
        lastPrefix_.back() = entry.prefix;
        ++size_;
        return;
    }
    if (chunks_[p.chunk].size() == kChunk) {
        auto& full = chunks_[p.chunk];
        std::vector<Entry> upper;
        upper.reserve(kChunk);
        upper.assign(full.begin() + kChunk / 2, full.end());
        full.resize(kChunk / 2);
        const std::uint64_t lowerLast = full.back().prefix;
        const auto at = static_cast<std::ptrdiff_t>(p.chunk) + 1;
        chunks_.insert(chunks_.begin() + at, std::move(upper));
        lastPrefix_.insert(lastPrefix_.begin() + at - 1, lowerLast);
        if (p.index > kChunk / 2) {
            ++p.chunk;
            p.index -= kChunk / 2;
        }
    }
    auto& target = chunks_[p.chunk];
    target.insert(target.begin() + static_cast<std::ptrdiff_t>(p.index), entry);
    lastPrefix_[p.chunk] = target.back().prefix;
    ++size_;
}

void ContactList::ForEach(
    const std::function<void(std::string_view, std::uint32_t, std::uint32_t)>& fn) const {
    for (const auto& c : chunks_)
        for (const Entry& e : c) fn(CallOf(e), e.band, e.mode);
}

}  // namespace yol
