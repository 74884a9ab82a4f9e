// Reading whole contest logs written by any logging program: SQLite tables
// as the host keeps them, Cabrillo and ADIF (.adi and .adx). Every reader
// maps a contact to the host's contact-record fields (see
// docs/log-fields.md) and hands it to a sink, one at a time, in file order.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>
#include <string_view>

#include "contestlog/Contact.h"

namespace yol::contestlog {

class CountryFile;

enum class LogFormat { Sqlite, Cabrillo, Adi, Adx, Unknown };
std::string_view FormatName(LogFormat format) noexcept;

// From the content first (the first bytes of the file), the extension only
// where the content does not tell.
LogFormat DetectFormat(std::string_view head, std::string_view path) noexcept;

// Rejected: the line or record was not read (or only partly). Note: it was
// read and delivered, but something about it is worth saying. Incomplete: it
// was read and delivered although it holds less than the contest's exchange
// (ReadOptions' token counts): the entrant is to be told, as the line may
// cost or be worth less than a whole one.
enum class Severity { Rejected, Note, Incomplete };

struct LogProblem {
    std::size_t place = 0;  // line, or record number where the format has no lines
    std::string message;
    Severity severity = Severity::Rejected;
};

class LogSink {
public:
    virtual ~LogSink() = default;
    // The log's own call sign, when the file names it (Cabrillo CALLSIGN:,
    // ADIF STATION_CALLSIGN or OPERATOR); comes before the first contact
    // that needs it, at most once.
    virtual void Station(std::string_view /*callSign*/) {}
    // Every header the log carries (Cabrillo "CATEGORY-OPERATOR",
    // "CLAIMED-SCORE", "CALLSIGN", ...; ADIF header fields), the name
    // upper-cased without ':', the value trimmed, in file order.
    virtual void Header(std::string_view /*name*/, std::string_view /*value*/) {}
    // One contact, its seven texts as the host's record fields would hold
    // them (not yet cut to 255 bytes: storing into the record does that).
    virtual void Contact(const ContactView& contact) = 0;
    virtual void Problem(const LogProblem& problem) = 0;
};

struct ReadOptions {
    // Fills DXCCPrefix, Continent and MainPrefix a Cabrillo or ADIF log lacks
    // (SQLite logs are read as the host's table stands).
    const CountryFile* countries = nullptr;
    std::string table = "Log";   // SQLite only; plain or in SQL double quotes ("My Log")
    bool callSignOrder = false;  // SQLite: rows as "select * from T order by CallSign" gives them
    // The contest's exchange, where the caller knows its rules: the token
    // counts its stations send (one, or one per class of stations; empty: not
    // known). A Cabrillo QSO: line is then split where a call stands after one
    // count with another after it (an equal split first), and a line one token
    // short of them is read where one field alone in the places they allow can
    // be the worked call (Severity::Incomplete says which exchange is short).
    std::vector<std::size_t> exchangeCounts;
};

// A log that cannot be read at all, or is no log: nothing was delivered.
struct LogFileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Opens `path` ("-" is standard input; pipes read to the end), detects the
// format from the content (BOMs honoured) and runs its reader. Throws
// LogFileError (the message names the path) when the file cannot be read or
// is no log. Returns the format.
LogFormat ReadLog(const std::string& path, const ReadOptions& options, LogSink& sink);

// Readers over the file's bytes held in memory. Malformed input is reported
// to the sink and skipped; they never throw for bad content.
void ReadCabrillo(std::string_view text, const ReadOptions& options, LogSink& sink);
void ReadAdi(std::string_view text, const ReadOptions& options, LogSink& sink);
void ReadAdx(std::string_view text, const ReadOptions& options, LogSink& sink);
// Opens the database read-only, waits a few seconds for a lock the host
// holds, checks its integrity and reads the table as it stands. Throws
// LogFileError when it cannot be opened, is damaged or the table cannot be
// read (nothing was delivered then, but for a row that fails midway).
void ReadSqlite(const std::string& path, const ReadOptions& options, LogSink& sink);
// The same over a database's bytes held in memory (a pipe); `name` names it
// in messages.
void ReadSqliteBytes(std::string_view bytes, const std::string& name, const ReadOptions& options,
                     LogSink& sink);

}  // namespace yol::contestlog
