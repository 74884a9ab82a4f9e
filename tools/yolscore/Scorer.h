// Scoring a whole contest log outside the host, as the module's statistics
// window scores it: the reading of the log (any format), the contacts kept
// compactly over the file's bytes, the order they are scored in, the audit of
// each contact and the outputs. yolscore's main() only calls RunScorer.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "contestlog/Contact.h"
#include "contestlog/CountryFile.h"
#include "contestlog/LogFile.h"
#include "contestlog/LogReader.h"
#include "scoring/KeyTables.h"
#include "scoring/ScoreBook.h"

namespace yol::score {

// The whole program: arguments without the program name; the report goes to
// `out`, messages to `err`. Returns the exit status (see kUsage).
// `countryFile` is the country file used when --cty names none.
int RunScorer(const std::vector<std::string>& args, std::FILE* out, std::FILE* err,
              const std::string& countryFile = contestlog::CountryFile::kDefaultPath);

extern const char* const kUsage;

enum ExitStatus : int {
    kClean = 0,       // every contact read and scored
    kRejected = 1,    // some lines or records were rejected or only partly read; the rest scored
    kUsageError = 2,  // unknown option, missing value, options that do not go together
    kUnreadable = 3,  // the log (or the country file it needs) could not be read: nothing scored
};

enum class Order { CallSign, Log };
enum class Format { Text, Json, Csv };

// "line" where a place is a line number (Cabrillo, .adi), else "record".
std::string_view PlaceWord(contestlog::LogFormat format) noexcept;

// The contacts of a log in file order, each as a few numbers (22 bytes): the
// call sign's first eight bytes in place (the whole call for nearly every
// call; longer ones are also copied whole into an arena of call signs), the
// report and the shape (band, mode and country texts) as ids of texts kept in
// flat pools. Nothing points into the file once it is read.
class ContactStore : public contestlog::LogSink {
public:
    // `keepPlaces` keeps each contact's line or record number.
    explicit ContactStore(bool keepPlaces);

    std::function<void(const contestlog::LogProblem&)> onProblem;

    void Station(std::string_view callSign) override;
    void Contact(const contestlog::ContactView& entry) override;
    void Problem(const contestlog::LogProblem& problem) override;

    std::size_t Size() const noexcept { return size_; }
    std::size_t ProblemCount() const noexcept { return problems_; }
    const std::string& StationCall() const noexcept { return station_; }
    // Contacts that came without a DXCC prefix (no country data for them).
    std::size_t WithoutCountry() const noexcept { return withoutCountry_; }

    contestlog::ContactView At(std::size_t index) const noexcept;
    std::string_view CallAt(std::size_t index) const noexcept;
    std::size_t PlaceAt(std::size_t index) const noexcept;  // 0 without keepPlaces
    // The contacts at `indexes[0..count)` into `out`, in that order: the
    // loads of one batch are independent, so they overlap.
    void Gather(const std::uint32_t* indexes, std::size_t count,
                contestlog::ContactView* out) const noexcept;

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
    // Texts numbered in the order first seen, all in one pool.
    class Texts {
    public:
        std::uint32_t Intern(std::string_view text);
        std::string_view At(std::uint32_t id) const noexcept {
            return {pool_.data() + spans_[id].offset, spans_[id].length};
        }

    private:
        struct Span {
            std::uint32_t offset, length;
        };
        std::string pool_;
        std::vector<Span> spans_;
        std::vector<std::uint64_t> slots_;  // hash's high half | id + 1; 0 is free
    };
    // band, mode, DXCC prefix, main prefix, continent: ids in texts_
    using Shape = std::array<std::uint32_t, 5>;
    std::uint32_t InternShape(const std::array<std::string_view, 5>& pieces);
    contestlog::ContactView ViewOf(const Entry& e) const noexcept;

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
    Texts texts_;                       // reports and the shapes' pieces
    std::vector<Shape> shapes_;
    std::vector<std::uint64_t> shapeSlots_;  // as in Texts
    std::string station_;
    std::size_t problems_ = 0;
    std::size_t withoutCountry_ = 0;
};

// What one contact did to the score, its texts as the record holds them.
struct AuditEntry {
    std::size_t place = 0;
    std::string_view call, band, mode;
    std::int32_t points = 0;   // -1: a duplicate
    std::size_t dupeOf = 0;    // the place of the contact it repeats
    std::string_view newDistrict, newCountry;  // empty when it brought none
};

// Scores the stored contacts in the order given into the book, each stored
// into one record as the recalculation reads a log row and evaluated in
// record mode; the operator's prefix and continent are set once. With
// `audit`, it is called once per contact (the store must keep places).
// Returns the number of duplicates.
std::size_t ScoreContacts(const ContactStore& store, const std::vector<std::uint32_t>* order,
                          std::string_view myPrefix, std::string_view myContinent,
                          TScoreBook& book,
                          const std::function<void(const AuditEntry&)>& audit = {});

// The operator as every contact's record carries it.
struct Operator {
    std::string prefix, continent;
    bool operator==(const Operator&) const = default;
};

// Scores a log in one pass as it is read: each contact stored into one record
// and evaluated in record mode as it comes (in file order, or sorted within a
// batch), and the tallies then put in the order call-sign order would have
// created them. That gives the call-sign order's report, because with a
// stable sort the first contact of each duplicate group is the same in both
// orders, points depend on the contact alone, and counts and multiplier sets
// are sums and sets. A band's tally is
// created in call-sign order by its contact with the least (call sign, file
// position): kept per tally as the contacts go by.
//
// Where that does not hold the scorer says so (Fallback()) and the log has to
// be scored the sorted way (ContactStore, CallSignOrder, ScoreContacts):
//  - a call sign longer than 255 bytes (the record cuts it, the sort does not);
//  - two band texts equal without regard to letter case (they share
//    multiplier keys, so which tally counts a multiplier depends on order);
//  - a band text holding '|' (it would let country keys of two bands meet).
// The operator is asked for at the first contact, with the log's own call
// sign seen so far; the caller checks OperatorUsed() against the final one.
class StreamScorer : public contestlog::LogSink {
public:
    using OperatorOf = std::function<Operator(std::string_view station)>;
    // `concurrent`: the score book is filled on a second thread, fed batches
    // of `batchSize` contacts; within a batch they are scored in call-sign
    // order (any order that keeps equal calls in file order gives the same
    // tallies).
    StreamScorer(OperatorOf operatorOf, bool concurrent, std::size_t batchSize = 16384);
    ~StreamScorer() override;
    StreamScorer(const StreamScorer&) = delete;
    StreamScorer& operator=(const StreamScorer&) = delete;

    std::function<void(const contestlog::LogProblem&)> onProblem;

    void Station(std::string_view callSign) override;
    void Contact(const contestlog::ContactView& entry) override;
    void Problem(const contestlog::LogProblem& problem) override;

    // After the reading: waits for the scoring; rethrows what stopped it.
    void Finish();

    // Why these tallies cannot stand for call-sign order's; empty when they can.
    std::string_view Fallback() const noexcept { return fallback_; }
    // Set at the first contact.
    const Operator& OperatorUsed() const noexcept { return operator_; }
    // The tallies in the order call-sign order creates them (after Finish).
    std::vector<TStatistic> Tallies() const;
    std::size_t Duplicates() const noexcept { return duplicates_; }

    std::size_t Size() const noexcept { return size_; }
    std::size_t ProblemCount() const noexcept { return problems_; }
    const std::string& StationCall() const noexcept { return station_; }
    std::size_t WithoutCountry() const noexcept { return withoutCountry_; }

private:
    struct Batch;
    struct Queue;
    void ScoreBatch(Batch& batch);
    void Score(const contestlog::ContactView& contact, std::size_t index);
    void Submit();
    void Work();

    OperatorOf operatorOf_;
    std::size_t batchSize_;
    std::string station_;
    Operator operator_;
    std::size_t size_ = 0, problems_ = 0, withoutCountry_ = 0;
    std::string fallback_;
    // The scoring's own (the scoring thread's while it runs).
    std::unique_ptr<ContactRecord> record_;
    std::unique_ptr<TScoreBook> book_;
    std::size_t duplicates_ = 0;
    // Per tally, numbered as the book numbers them: the least call sign
    // among its contacts and that contact's file position.
    struct Winner {
        std::string call;
        std::size_t index;
    };
    std::vector<Winner> winners_;
    TextTable bandIds_, foldedBands_;
    std::string folded_, scoringFallback_;
    std::unique_ptr<Queue> queue_;  // concurrent only
};

// ---- outputs ----------------------------------------------------------------

// Writes a text whole, NUL bytes included.
void WriteText(std::FILE* out, std::string_view text);

// A JSON string literal: control bytes, '"' and '\\' escaped, valid UTF-8
// passed through, every other byte as \u00XX of its value.
std::string JsonString(std::string_view text);
// A CSV field (RFC 4180): quoted when it holds a comma, quote, CR or LF or
// any other control byte, with inner quotes doubled.
std::string CsvField(std::string_view text);

std::string_view OrderName(Order order) noexcept;

std::string ReportJson(const std::vector<TStatistic>& tallies);  // {"bands":[...],"total":{...},"score":N}
std::string ReportCsv(const std::vector<TStatistic>& tallies);

std::string AuditText(const AuditEntry& entry, std::string_view placeWord);
std::string AuditJson(const AuditEntry& entry);
std::string AuditCsv(const AuditEntry& entry);
extern const char* const kAuditCsvHeader;

// What a person pastes into a score-posting form.
struct SummaryInfo {
    std::string station, myPrefix, myContinent, logPath;
    Order order = Order::CallSign;
    std::size_t contacts = 0, duplicates = 0, rejected = 0;
};
std::string SummaryText(const std::vector<TStatistic>& tallies, const SummaryInfo& info);

}  // namespace yol::score
