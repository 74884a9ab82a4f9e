// The country file's tables, shared by its reading (CountryFileParser.cpp)
// and its lookups (CountryFile.cpp). Internal to the model.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "contestlog/CountryFile.h"

namespace yol::contestlog::cty {

inline constexpr std::size_t kMaxLine = 65536;                 // longer lines are skipped
inline constexpr std::size_t kMaxKey = 32;                     // longest prefix or exact call accepted
inline constexpr std::size_t kMaxCall = 48;                    // longest call Lookup accepts
inline constexpr std::size_t kMaxParts = 8;                    // '/'-separated parts of a call
inline constexpr std::size_t kMaxProblems = 1000;              // further problems are counted, not listed
inline constexpr std::size_t kMaxText = std::size_t{1} << 30;  // key offsets are 32-bit
inline constexpr std::size_t kMaxFileSize = std::size_t{64} << 20;  // Load reads no more

inline constexpr std::array<std::string_view, 7> kContinents = {"AF", "AN", "AS", "EU", "NA", "OC", "SA"};

inline constexpr std::uint64_t kFnvOffset = 14695981039346656037ull;
inline constexpr std::uint64_t kFnvPrime = 1099511628211ull;

constexpr std::uint64_t HashStep(std::uint64_t h, char c) {
    return (h ^ static_cast<unsigned char>(c)) * kFnvPrime;
}

inline std::uint64_t Hash(std::string_view s) {
    std::uint64_t h = kFnvOffset;
    for (char c : s) h = HashStep(h, c);
    return h;
}

constexpr char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsKeyChar(char c) { return (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '/'; }
constexpr bool IsOverrideStart(char c) {
    return c == '(' || c == '[' || c == '<' || c == '{' || c == '~';
}
constexpr bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

inline std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}

// Open-addressing hash table from prefix or exact call to its country. The
// keys live in one arena; slots hold the full hash, so a probe compares
// bytes only on a hash hit.
class KeyTable {
public:
    void Build(const std::vector<std::pair<std::string, const Country*>>& entries) {
        std::size_t capacity = 16;
        while (capacity < entries.size() * 2) capacity *= 2;
        slots_.assign(capacity, Slot{});
        mask_ = capacity - 1;
        std::size_t total = 0;
        for (const auto& e : entries) total += e.first.size();
        arena_.clear();
        arena_.reserve(total);
        for (const auto& [key, country] : entries) {
            const std::uint64_t h = Hash(key);
            Slot* slot = FindSlot(h, key);
            if (slot->country != nullptr) continue;  // the first entry of a key wins
            slot->hash = h;
            slot->offset = static_cast<std::uint32_t>(arena_.size());
            slot->length = static_cast<std::uint32_t>(key.size());
            slot->country = country;
            arena_ += key;
            maxLength_ = std::max(maxLength_, key.size());
        }
    }

    const Country* Find(std::uint64_t h, std::string_view key) const {
        if (slots_.empty()) return nullptr;
        for (std::size_t i = Index(h);; i = (i + 1) & mask_) {
            const Slot& s = slots_[i];
            if (s.country == nullptr) return nullptr;
            if (s.hash == h && s.length == key.size() &&
                std::memcmp(arena_.data() + s.offset, key.data(), key.size()) == 0) {
                return s.country;
            }
        }
    }

    std::size_t MaxLength() const noexcept { return maxLength_; }

private:
    struct Slot {
        std::uint64_t hash = 0;
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
        const Country* country = nullptr;
    };

    std::size_t Index(std::uint64_t h) const {
        return static_cast<std::size_t>(h ^ (h >> 29)) & mask_;
    }

    Slot* FindSlot(std::uint64_t h, std::string_view key) {
        for (std::size_t i = Index(h);; i = (i + 1) & mask_) {
            Slot& s = slots_[i];
            if (s.country == nullptr) return &s;
            if (s.hash == h && s.length == key.size() &&
                std::memcmp(arena_.data() + s.offset, key.data(), key.size()) == 0) {
                return &s;
            }
        }
    }

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::string arena_;
    std::size_t maxLength_ = 0;
};

// What the parser fills in.
struct Storage {
    std::deque<std::string> strings;  // names and prefixes; deque keeps them in place
    std::deque<Country> countries;    // one per (entity, overrides)
    std::size_t entityCount = 0;

    std::string_view Keep(std::string s) { return strings.emplace_back(std::move(s)); }
};

}  // namespace yol::contestlog::cty

namespace yol::contestlog {

struct CountryFile::Data : cty::Storage {
    cty::KeyTable exact;
    cty::KeyTable prefixes;

    const Country* PrefixMatch(std::string_view s) const;
    const Country* Resolve(std::string_view call) const;
};

}  // namespace yol::contestlog
