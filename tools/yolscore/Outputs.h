// yolscore's outputs: the report, the audit and the summary as text, JSON
// and CSV, and the checked writing of them.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ContactStore.h"
#include "scoring/ScoreBook.h"

namespace yol::score {

enum class Order { CallSign, Log };
enum class Format { Text, Json, Csv };

std::string_view OrderName(Order order) noexcept;

// Writes to a stream and remembers the first failure: a full disk or a
// closed pipe is an error the program reports, not a report cut short.
class Output {
public:
    explicit Output(std::FILE* stream) noexcept : stream_(stream) {}
    // The text whole, NUL bytes included.
    void Write(std::string_view text) noexcept;
    // Flushes; false when this or any write before failed (Error() says why).
    bool Finish() noexcept;
    bool Failed() const noexcept { return error_ != 0; }
    int Error() const noexcept { return error_; }

private:
    std::FILE* stream_;
    int error_ = 0;
};

// The text as a JSON string's value: valid UTF-8 kept, every other byte read
// as the character of the same number (so "\xC0" is U+00C0).
std::string JsonText(std::string_view text);
// A JSON string literal of the text (through JsonText).
std::string JsonString(std::string_view text);
// A CSV field (RFC 4180): quoted when it holds a comma, quote, CR or LF or
// any other control byte, with inner quotes doubled.
std::string CsvField(std::string_view text);

// What the log says of itself and what reading it found, for the summary
// and the JSON report.
struct LogFacts {
    std::string_view placeWord = "line";    // "line" or "record"
    std::size_t rejected = 0, notes = 0;     // lines or records rejected; notes on ones scored
    std::optional<std::string> claimedScore;  // the log's CLAIMED-SCORE, as written there
};

std::string ReportJson(const std::vector<TStatistic>& tallies, Order order, const LogFacts& facts);
std::string ReportCsv(const std::vector<TStatistic>& tallies);

std::string AuditText(const AuditEntry& entry, std::string_view placeWord);
std::string AuditJson(const AuditEntry& entry);
std::string AuditCsv(const AuditEntry& entry);
extern const char* const kAuditCsvHeader;
// The audit's JSON document: opened, one contact after another, closed with the report.
std::string AuditJsonOpen(Order order);
std::string AuditJsonClose(const std::vector<TStatistic>& tallies, const LogFacts& facts);

// What a person pastes into a score-posting form.
struct SummaryInfo {
    std::string station, myPrefix, myContinent, logPath;
    Order order = Order::CallSign;
    std::size_t contacts = 0, duplicates = 0;
    LogFacts facts;
};
std::string SummaryText(const std::vector<TStatistic>& tallies, const SummaryInfo& info);

}  // namespace yol::score
