// SQLite handles owned one way, and what every user of the host's log table
// shares: its seven columns and the quoting of names.
#pragma once

#include <sqlite3.h>

#include <array>
#include <memory>
#include <string>
#include <string_view>

namespace yol::contestlog {

struct SqliteCloser {
    void operator()(sqlite3* db) const noexcept { sqlite3_close(db); }
};
struct SqliteFinalizer {
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
using SqliteDb = std::unique_ptr<sqlite3, SqliteCloser>;
using SqliteStatement = std::unique_ptr<sqlite3_stmt, SqliteFinalizer>;

// Opens a database (sqlite3_open_v2 flags); throws std::runtime_error
// "PATH: cannot open: why".
SqliteDb OpenSqlite(const std::string& path, int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
// Throws std::runtime_error "SQL: why".
SqliteStatement PrepareSql(sqlite3* db, const std::string& sql);
void ExecSql(sqlite3* db, const std::string& sql);

// A name as an SQL identifier: in double quotes, inner quotes doubled.
std::string QuotedName(std::string_view name);
// A name as a host's configuration may hold it, written as SQL quotes it
// ("My Log", inner quotes doubled) or plain: the name itself. Anything else
// in double quotes (a lone inner quote) is taken as it stands.
std::string UnquotedName(std::string_view name);

// The host's log columns that the scoring reads, in the order of a contact's
// seven texts (Contact.h).
inline constexpr std::array<std::string_view, 7> kLogColumns{
    "CallSign", "DigiBand", "QSOMode", "QSOReportRecived", "DXCCPrefix", "MainPrefix", "Continent"};
// The columns quoted and joined by ", ", for a SELECT or an INSERT.
std::string LogColumnList();

// A column of the current row as text (a view valid until the next step);
// empty for NULL.
std::string_view ColumnText(sqlite3_stmt* statement, int column) noexcept;

// Binds `text` to parameter `at` as text, an empty one as '' (an empty view
// may hold a null pointer, which would bind NULL). `copy` false: the text
// stays valid until the statement has run, and is not copied.
void BindText(sqlite3_stmt* statement, int at, std::string_view text, bool copy = true) noexcept;

}  // namespace yol::contestlog
