// The score book: contacts made so far, one tally per band, and the
// multipliers already counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/Plugin.h"

namespace yol {

// One band's tally.
struct TStatistic {
    std::string Band;            // the DigiBand text of the contact that created it
    std::int32_t QSOs = 0;
    std::int32_t Points = 0;
    std::int32_t Districts = 0;  // YOL district multipliers
    std::int32_t Countries = 0;  // DXCC multipliers
};

// One recorded contact, as read back from the contact list.
struct TQSO {
    std::string_view CallSign;
    std::string_view DigiBand;
    std::string_view QSOMode;
};

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
    std::string pool_;
    std::uint32_t count_ = 0;
};

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
    struct Key {
        std::uint64_t prefix;
        std::string_view text;
    };

    static Key KeyOf(std::string_view callSign) noexcept;
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

class TScoreBook {
public:
    // Returns -1 for a duplicate, otherwise the contact's points. Without
    // recordMode nothing in the book changes.
    std::int32_t Evaluate(const ContactRecord& contact, bool recordMode);

    // True when a recorded contact has the same call sign, band and mode,
    // each compared byte for byte.
    bool IsDuplicate(const ContactRecord& contact) const;

    void Clear();

    const std::vector<TStatistic>& Tallies() const noexcept { return tallies_; }
    std::size_t ContactCount() const noexcept { return contacts_.Size(); }
    std::size_t DistrictKeyCount() const noexcept { return districtKeys_.size(); }
    std::size_t CountryKeyCount() const noexcept { return countryKeys_.size(); }

    // The recorded contacts in call-sign order.
    void ForEachContact(const std::function<void(const TQSO&)>& fn) const;

private:
    void CountMultiplier(TextTable& keys, std::string_view band, std::string_view value,
                         std::int32_t& counter);


    ContactList contacts_;
    std::vector<TStatistic> tallies_;          // in the order bands were first recorded
    TextTable tallyOfBand_;                    // band text -> index into tallies_
    // District keys compare the band without regard to letter case and the
    // code is always four of A-Z and 0-9: a key is the band's folded id with
    // the code packed beside it.
    TextTable foldedBandIds_;                  // folded band text -> id
    std::vector<std::uint32_t> tallyFoldedBand_;  // per tally: its folded band id
    TextTable modeIds_;                        // mode text -> id
    std::vector<std::string> modeNames_;
    NumberSet districtKeys_;                   // folded band id and code
    TextTable countryKeys_;                    // folded band|prefix|
    std::string key_;                          // scratch for forming keys
};

// The district code a received report carries: its last four characters when
// the report, upper-cased and trimmed, ends in four of A-Z and 0-9. The report
// counts up to its first NUL. Empty when there is none.
std::string_view DistrictCode(std::string_view report, char (&code)[4]) noexcept;
std::string DistrictCode(std::string_view report);

}  // namespace yol
