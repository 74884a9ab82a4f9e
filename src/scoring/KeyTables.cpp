#include "scoring/KeyTables.h"

#include <stdexcept>

namespace yol {

// ---- TextTable -----------------------------------------------------------------

void TextTable::clear() noexcept {
    slots_.clear();
    pool_.clear();
    starts_.clear();
    count_ = 0;
}

std::uint32_t TextTable::Hash(std::string_view text) noexcept {
    std::uint32_t h = 2166136261u;  // FNV-1a: short texts, inline
    for (char c : text) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    return h | 1u;
}

std::size_t TextTable::Probe(std::string_view text, std::uint32_t hash) const noexcept {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    for (; slots_[i].hash != 0; i = (i + 1) & mask) {
        const Slot& s = slots_[i];
        if (s.hash == hash && std::string_view(pool_).substr(s.offset, s.length) == text) break;
    }
    return i;
}

std::uint32_t TextTable::Find(std::string_view text) const noexcept {
    if (slots_.empty()) return kMissing;
    const Slot& s = slots_[Probe(text, Hash(text))];
    return s.hash != 0 ? s.id : kMissing;
}

std::pair<std::uint32_t, bool> TextTable::Intern(std::string_view text) {
    if ((count_ + 1) * 2 > slots_.size()) Grow();  // at most half full
    const std::uint32_t hash = Hash(text);
    Slot& s = slots_[Probe(text, hash)];
    if (s.hash != 0) return {s.id, false};
    if (pool_.size() + text.size() > UINT32_MAX || count_ == kMissing)
        throw std::length_error("too many texts");
    s = Slot{hash, count_, static_cast<std::uint32_t>(pool_.size()),
             static_cast<std::uint32_t>(text.size())};
    starts_.push_back(static_cast<std::uint32_t>(pool_.size()));
    pool_.append(text);
    return {count_++, true};
}

void TextTable::Grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 16 : old.size() * 2, Slot{0, 0, 0, 0});
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& s : old) {
        if (s.hash == 0) continue;
        std::size_t i = s.hash & mask;
        while (slots_[i].hash != 0) i = (i + 1) & mask;
        slots_[i] = s;
    }
}

// ---- NumberSet ---------------------------------------------------------------

void NumberSet::clear() noexcept {
    slots_.clear();
    count_ = 0;
}

namespace {
std::size_t Mix(std::uint64_t v) noexcept {
    v ^= v >> 33;
    v *= 0xff51afd7ed558ccdULL;
    v ^= v >> 33;
    return static_cast<std::size_t>(v);
}
}  // namespace

void NumberSet::Grow() {
    std::vector<std::uint64_t> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, 0);
    const std::size_t mask = slots_.size() - 1;
    for (std::uint64_t stored : old) {
        if (stored == 0) continue;
        std::size_t i = Mix(stored) & mask;
        while (slots_[i] != 0) i = (i + 1) & mask;
        slots_[i] = stored;
    }
}

void NumberSet::Prefetch(std::uint64_t value) const noexcept {
#if defined(__GNUC__)
    if (!slots_.empty()) __builtin_prefetch(&slots_[Mix(value + 1) & (slots_.size() - 1)]);
#else
    (void)value;
#endif
}

bool NumberSet::Insert(std::uint64_t value) {
    if ((count_ + 1) * 2 > slots_.size()) Grow();  // at most half full
    const std::uint64_t stored = value + 1;
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = Mix(stored) & mask;
    for (; slots_[i] != 0; i = (i + 1) & mask)
        if (slots_[i] == stored) return false;
    slots_[i] = stored;
    ++count_;
    return true;
}

}  // namespace yol
