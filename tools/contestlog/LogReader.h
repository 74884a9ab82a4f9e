// Reading whole contest logs written by any logging program: SQLite tables
// as the host keeps them, Cabrillo and ADIF (.adi and .adx). Every reader
// maps a contact to the host's contact-record fields (see
// docs/log-fields.md) and hands it to a sink, one at a time, in file order.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace yol::contestlog {

class CountryFile;

enum class LogFormat { Sqlite, Cabrillo, Adi, Adx, Unknown };
std::string_view FormatName(LogFormat format) noexcept;

// From the content first (the first bytes of the file), the extension only
// where the content does not tell.
LogFormat DetectFormat(std::string_view head, std::string_view path) noexcept;

// One contact, its texts as the host's record fields would hold them (not
// yet cut to 255 bytes: storing into the record does that). The views are
// valid only during the sink's call.
struct LogEntry {
    std::size_t place = 0;  // the QSO: line (Cabrillo), the line where the record starts (.adi),
                            // the record's number (.adx, SQLite rows in file order)
    std::string_view callSign, digiBand, qsoMode, report, dxccPrefix, continent, mainPrefix;
};

// A line or record that was rejected or only partly read.
struct LogProblem {
    std::size_t place = 0;  // line, or record number where the format has no lines
    std::string message;
};

class LogSink {
public:
    virtual ~LogSink() = default;
    // The log's own call sign, when the file names it (Cabrillo CALLSIGN:,
    // ADIF STATION_CALLSIGN or OPERATOR); comes before the first contact
    // that needs it, at most once.
    virtual void Station(std::string_view /*callSign*/) {}
    virtual void Contact(const LogEntry& entry) = 0;
    virtual void Problem(const LogProblem& problem) = 0;
};

struct ReadOptions {
    const CountryFile* countries = nullptr;  // fills DXCCPrefix, Continent, MainPrefix the file lacks
    std::string table = "Log";               // SQLite only
};

// Readers over the file's bytes held in memory. Malformed input is reported
// to the sink and skipped; they never throw for bad content.
void ReadCabrillo(std::string_view text, const ReadOptions& options, LogSink& sink);
void ReadAdi(std::string_view text, const ReadOptions& options, LogSink& sink);
void ReadAdx(std::string_view text, const ReadOptions& options, LogSink& sink);
// Opens the database read-only; throws std::runtime_error when it cannot be
// opened or the table cannot be read.
void ReadSqlite(const std::string& path, const ReadOptions& options, LogSink& sink);

}  // namespace yol::contestlog
