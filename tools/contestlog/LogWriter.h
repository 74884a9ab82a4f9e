// Writing contest logs: the host's SQLite log table, Cabrillo 3.0 and ADIF
// (.adi and .adx). Contacts are written one at a time, so a log of any size
// streams through.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "contestlog/Contact.h"
#include "contestlog/LogReader.h"
#include "contestlog/Sqlite.h"

namespace yol::contestlog {

class LogWriter {
public:
    virtual ~LogWriter() = default;
    virtual void Write(const ContactView& contact) = 0;
    void Write(const Contact& contact) { Write(View(contact)); }
    // Completes the log (trailer; commit, after which the database can be
    // closed). Nothing may be written after it.
    virtual void Finish() = 0;
};

// The operator of a log written as a file: Cabrillo's CALLSIGN:, ADIF's
// STATION_CALLSIGN. The files carry no prefix or continent of their own.
struct Station {
    std::string call = "UA1AAA";
    std::string contest = "YOL";
    std::string program = "yolloggen";
    // ADIF only: each contact's continent (CONT) and the host's DXCC and main
    // prefixes (APP_YOL_DXCCPREFIX, APP_YOL_MAINPREFIX). Without them a
    // reader takes all three from the country file, as for Cabrillo.
    bool hostPrefixes = true;
};

// Cabrillo, .adi or .adx into a stream (opened binary). The texts go out as
// they are (.adx: the host's Windows-1251 converted to UTF-8); each contact
// gets a time one minute after the one before, from the contest's start.
std::unique_ptr<LogWriter> MakeFileLogWriter(LogFormat format, std::ostream& out,
                                             const Station& station);

// ---- SQLite -----------------------------------------------------------------

struct SqliteLogOptions {
    bool mainPrefix = true;  // the MainPrefix column (older logs lack it)
};

// "CREATE TABLE IF NOT EXISTS": Id, CallSign, DigiBand, QSOMode,
// QSOReportRecived, DXCCPrefix, MainPrefix, Continent.
std::string LogTableSql(const std::string& table, const SqliteLogOptions& options = {});
// Creates the table when missing. Throws std::runtime_error on failure, as
// everything below does.
void CreateLogTable(sqlite3* db, const std::string& table, const SqliteLogOptions& options = {});
// The index on CallSign that keeps "order by CallSign" cheap.
void CreateCallSignIndex(sqlite3* db, const std::string& table);
void DropLogTable(sqlite3* db, const std::string& table);
void EmptyLogTable(sqlite3* db, const std::string& table);

// Appends rows to an existing table inside one transaction, committed by
// Finish (rolled back when destroyed unfinished).
class SqliteLogWriter : public LogWriter {
public:
    SqliteLogWriter(sqlite3* db, const std::string& table, const SqliteLogOptions& options = {});
    ~SqliteLogWriter() override;
    SqliteLogWriter(const SqliteLogWriter&) = delete;
    SqliteLogWriter& operator=(const SqliteLogWriter&) = delete;

    using LogWriter::Write;
    void Write(const ContactView& contact) override;
    void Finish() override;

private:
    sqlite3* db_;
    SqliteStatement insert_;
    bool mainPrefix_;
    bool open_ = false;
};

// The Cabrillo frequency (kHz) and ADIF band name of a host band ("14" ->
// "14000", "20m"); empty when the band is none of the host's.
std::string_view CabrilloFrequency(std::string_view band) noexcept;
std::string_view AdifBand(std::string_view band) noexcept;

}  // namespace yol::contestlog
