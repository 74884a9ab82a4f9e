// The score book's contact list: call signs in ascending byte order, each
// with its band and mode ids.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace yol {

// Contacts in ascending call-sign order (unsigned bytes, a prefix before its
// extensions). Kept as a list of sorted chunks over a string arena, so that a
// million contacts cost a few dozen bytes each and an insert moves at most
// one chunk. Each entry carries the first eight bytes of its call sign as a
// number, which settles most comparisons without touching the arena. Bands
// and modes are stored as small ids.
class ContactList {
public:
    struct Position {
        std::size_t chunk;
        std::size_t index;
    };

    // A call sign's sort key: its first eight bytes as a big-endian number
    // (zero-padded), which orders calls as their bytes do up to the eighth.
    struct Key {
        std::uint64_t prefix;
        std::string_view text;
    };
    static Key KeyOf(std::string_view callSign) noexcept;

    ContactList();
    ~ContactList();
    ContactList(const ContactList&) = delete;
    ContactList& operator=(const ContactList&) = delete;

    std::size_t Size() const noexcept { return size_; }
    void Clear() noexcept;

    // Where the call sign's run begins (or where it would be entered).
    Position LowerBound(std::string_view callSign) const;
    // True when the run of the call sign at `at` has the band and mode ids.
    bool RunContains(Position at, std::string_view callSign, std::uint32_t band,
                     std::uint32_t mode) const;
    // Enters a contact at the place LowerBound gave for its call sign.
    void InsertAt(Position at, std::string_view callSign, std::uint32_t band, std::uint32_t mode);

    // Walks the entries in order: fn(callSign, bandId, modeId).
    void ForEach(const std::function<void(std::string_view, std::uint32_t, std::uint32_t)>& fn) const;

private:
    struct Entry {
        std::uint64_t prefix;  // first eight bytes, big-endian, zero-padded
        std::uint32_t text;    // arena position of the call sign
        std::uint32_t band;
        std::uint32_t mode;
        std::uint8_t length;
    };
    std::string_view CallOf(const Entry& e) const noexcept;
    // <0, 0, >0 as the entry sorts before, with, or after the key.
    int Compare(const Entry& e, const Key& key) const noexcept;
    std::uint32_t StoreText(std::string_view text);

    static constexpr std::size_t kChunk = 512;
    static constexpr std::size_t kBlock = 1u << 16;
    std::vector<std::vector<Entry>> chunks_;
    std::vector<std::uint64_t> lastPrefix_;  // prefix of each chunk's last entry
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t blockUsed_ = kBlock;
    std::size_t size_ = 0;
};

}  // namespace yol
