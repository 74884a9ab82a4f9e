// The contacts of a log kept compactly for scoring, the order they are
// scored in, and the scoring itself (with an optional audit of each contact).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "contestlog/Contact.h"
#include "contestlog/LogHeader.h"
#include "contestlog/LogReader.h"
#include "scoring/KeyTables.h"
#include "scoring/ScoreBook.h"

namespace yol::contestlog {

// The contacts of a log in file order, each as a few numbers (22 bytes): the
// call sign's first eight bytes in place (the whole call for nearly every
// call; longer ones are also copied whole into an arena of call signs), the
// report and the shape (band, mode and country texts) as ids of texts kept in
// flat pools. Nothing points into the file once it is read.
class ContactStore : public LogSink {
public:
    // `keepPlaces` keeps each contact's line or record number.
    explicit ContactStore(bool keepPlaces);

    std::function<void(const LogProblem&)> onProblem;

    void Station(std::string_view callSign) override;
    void Header(std::string_view name, std::string_view value) override;
    void Contact(const ContactView& contact) override;
    void Problem(const LogProblem& problem) override;

    std::size_t Size() const noexcept { return size_; }
    // Lines or records rejected, and notes on contacts read and stored.
    std::size_t RejectedCount() const noexcept { return rejected_; }
    std::size_t NoteCount() const noexcept { return notes_; }
    const std::string& StationCall() const noexcept { return header_.call; }
    // The log's CLAIMED-SCORE (Cabrillo), as written there.
    const std::optional<std::string>& ClaimedScore() const noexcept { return header_.claimedText; }
    // What the header says: call, name, category, claimed score.
    const LogHeader& HeaderFacts() const noexcept { return header_; }
    // Contacts that came without a DXCC prefix (no country data for them).
    std::size_t WithoutCountry() const noexcept { return withoutCountry_; }

    ContactView At(std::size_t index) const noexcept;
    std::string_view CallAt(std::size_t index) const noexcept;
    std::size_t PlaceAt(std::size_t index) const noexcept;  // 0 without keepPlaces
    // The contacts at `indexes[0..count)` into `out`, in that order: the
    // loads of one batch are independent, so they overlap.
    void Gather(const std::uint32_t* indexes, std::size_t count,
                ContactView* out) const noexcept;

    // The indexes in call-sign order: ascending by unsigned bytes, a call
    // before its extensions, equal calls in file order (as "order by
    // CallSign" over an index reads them).
    std::vector<std::uint32_t> CallSignOrder() const;

private:
#pragma pack(push, 1)
    struct Entry {
        char head[8];              // the call's first eight bytes, zero-padded
        std::uint32_t tail;        // calls over eight bytes: block << kBlockBits | offset
        std::uint32_t report;      // id in texts_
        std::uint32_t shape;       // index into shapes_
        std::uint16_t callLength;  // longer calls are cut here (far beyond the record's 255)
    };
#pragma pack(pop)
    // band, mode, DXCC prefix, main prefix, continent: ids in texts_
    using Shape = std::array<std::uint32_t, 5>;
    std::uint32_t InternShape(const std::array<std::string_view, 5>& pieces);
    ContactView ViewOf(const Entry& e) const noexcept;
    std::string_view CallOf(const Entry& e) const noexcept;

    static constexpr unsigned kBlockBits = 20;  // 1 MiB blocks, up to 4,096 of them

    static constexpr std::size_t kEntriesPerChunk = std::size_t{1} << 16;
    const Entry& EntryAt(std::size_t index) const noexcept {
        return entries_[index / kEntriesPerChunk][index % kEntriesPerChunk];
    }

    bool keepPlaces_;
    std::vector<std::unique_ptr<Entry[]>> entries_;  // chunks: growing never copies
    std::size_t size_ = 0;
    std::vector<std::size_t> places_;
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t blockUsed_ = std::size_t{1} << kBlockBits;
    TextTable texts_;            // reports and the shapes' pieces
    TextTable shapeKeys_;        // a shape's five texts, each after its length
    std::vector<Shape> shapes_;  // by shapeKeys_ number
    std::string shapeKey_;
    LogHeader header_;
    std::size_t rejected_ = 0, notes_ = 0;
    std::size_t withoutCountry_ = 0;
};

// What one contact did to the score, its texts as the record holds them.
struct AuditEntry {
    std::size_t place = 0;
    std::string_view call, band, mode;
    std::int32_t points = 0;   // -1: a duplicate
    std::size_t dupeOf = 0;    // the place of the contact it repeats
    std::string_view newDistrict;  // empty when it brought none
    // A new country: its DXCC prefix as the record holds it, which may be
    // empty (a contact of no known country still counts one).
    bool newCountry = false;
    std::string_view country;
};

// Scores the stored contacts in the order given (file order without one)
// into the book, each stored into one record as the recalculation stores a
// log row (StoreLogRow) and evaluated in record mode; the
// operator's prefix and continent are set once. With `audit`, it is called
// once per contact (the store must keep places). Returns the number of
// duplicates.
std::size_t ScoreContacts(const ContactStore& store, const std::vector<std::uint32_t>* order,
                          std::string_view myPrefix, std::string_view myContinent,
                          TScoreBook& book,
                          const std::function<void(const AuditEntry&)>& audit = {});

// What one contact did to the score, as numbers: its position in the order
// scored, its points (-1: a duplicate) and the multipliers it brought (a new
// district and a new country count one each).
struct ContactScore {
    std::size_t n = 0;
    std::int32_t points = 0;
    std::int32_t newMultipliers = 0;
};

// As ScoreContacts, with `each` called once per contact with its numbers
// alone: no texts are kept or looked up, so the store need not keep places.
// Scoring a store twice with different orders scores two subsets of one log.
std::size_t ScoreContactNumbers(const ContactStore& store, const std::vector<std::uint32_t>* order,
                                std::string_view myPrefix, std::string_view myContinent, TScoreBook& book,
                                const std::function<void(const ContactScore&)>& each);

}  // namespace yol::contestlog
