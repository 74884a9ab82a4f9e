// Flat hash tables behind the score book's band, mode and multiplier lookups.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace yol {

// Texts numbered in the order they were first entered, in one flat table:
// a lookup touches a slot or two and the text itself, which keeps the band,
// mode and multiplier lookups cheap on every contact.
class TextTable {
public:
    static constexpr std::uint32_t kMissing = UINT32_MAX;

    // The text's number, or kMissing.
    std::uint32_t Find(std::string_view text) const noexcept;
    // The text's number and whether it was entered just now.
    std::pair<std::uint32_t, bool> Intern(std::string_view text);
    // The text of a number Intern gave.
    std::string_view At(std::uint32_t id) const noexcept {
        const std::uint32_t end = id + 1 < count_ ? starts_[id + 1] : static_cast<std::uint32_t>(pool_.size());
        return std::string_view(pool_).substr(starts_[id], end - starts_[id]);
    }
    std::size_t size() const noexcept { return count_; }
    void clear() noexcept;

private:
    struct Slot {
        std::uint32_t hash;    // 0 marks a free slot
        std::uint32_t id;
        std::uint32_t offset;  // into pool_
        std::uint32_t length;
    };
    static std::uint32_t Hash(std::string_view text) noexcept;
    std::size_t Probe(std::string_view text, std::uint32_t hash) const noexcept;
    void Grow();

    std::vector<Slot> slots_;
    std::string pool_;                   // the texts in the order of their numbers
    std::vector<std::uint32_t> starts_;  // where each number's text begins in pool_
    std::uint32_t count_ = 0;
};

// A set of 64-bit numbers in one flat table.
class NumberSet {
public:
    // Adds the number unless present; true when it was added.
    bool Insert(std::uint64_t value);
    // Starts fetching the number's slot ahead of an Insert.
    void Prefetch(std::uint64_t value) const noexcept;
    std::size_t size() const noexcept { return count_; }
    void clear() noexcept;

private:
    void Grow();

    std::vector<std::uint64_t> slots_;  // value + 1; 0 marks a free slot
    std::size_t count_ = 0;
};

}  // namespace yol
