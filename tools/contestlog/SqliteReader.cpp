// The host's own log table in a SQLite file, read as the host reads it: the
// seven columns as text, exactly as they stand (nothing is filled in from the
// country file), rows in the order they were written (rowid) or, for
// callSignOrder, in the order "select * from T order by CallSign" gives.
// The database is checked before reading: a damaged one is refused.
#include <algorithm>
#include <array>
#include <stdexcept>
#include <vector>

#include "contestlog/LogReader.h"
#include "contestlog/LogReaderImpl.h"
#include "contestlog/Sqlite.h"
#include "contestlog/Text.h"

namespace yol::contestlog {
namespace {

// How long a database the host holds locked is waited for.
constexpr int kBusyMilliseconds = 5000;

[[noreturn]] void Fail(const std::string& where, sqlite3* db) {
    throw LogFileError(where + ": " + sqlite3_errmsg(db));
}

SqliteStatement Prepare(sqlite3* db, const std::string& sql, const std::string& where) {
    sqlite3_stmt* statement = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr);
    SqliteStatement owned(statement);
    if (rc != SQLITE_OK) Fail(where, db);
    return owned;
}

// Refuses a database whose pages do not hold together: read as it is, a
// damaged table loses rows without a word.
void CheckIntegrity(sqlite3* db, const std::string& where) {
    SqliteStatement check = Prepare(db, "PRAGMA quick_check(1)", where);
    const int rc = sqlite3_step(check.get());
    if (rc != SQLITE_ROW) Fail(where, db);
    const std::string_view verdict = ColumnText(check.get(), 0);
    if (verdict != "ok")
        throw LogFileError(where + ": the database is damaged (" + std::string(verdict.substr(0, 200)) +
                           "): not read; repair it or take a backup");
}

// Whether the table holds a row.
bool HasRows(sqlite3* db, const std::string& table, const std::string& where) {
    SqliteStatement any = Prepare(db, "SELECT 1 FROM " + QuotedName(table) + " LIMIT 1", where);
    const int rc = sqlite3_step(any.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) Fail(where, db);
    return rc == SQLITE_ROW;
}

// Throws naming a missing table or the first of the seven columns it lacks.
// A table without rows may lack any of them but CallSign, as in the host's
// recalculation ("select * ... order by CallSign" reads no field of an empty
// result): false for such a table, which holds nothing to read.
bool CheckColumns(sqlite3* db, const std::string& path, const std::string& table, const std::string& where) {
    SqliteStatement info = Prepare(db, "PRAGMA table_info(" + QuotedName(table) + ")", path);
    std::array<bool, kLogColumns.size()> found{};
    bool any = false;
    int rc;
    while ((rc = sqlite3_step(info.get())) == SQLITE_ROW) {
        any = true;
        const std::string_view name = ColumnText(info.get(), 1);
        for (std::size_t i = 0; i < kLogColumns.size(); ++i)
            if (EqualNoCase(name, kLogColumns[i])) found[i] = true;
    }
    if (rc != SQLITE_DONE) Fail(path, db);
    if (!any) throw LogFileError(path + ": no table named " + table);
    static_assert(kLogColumns[0] == "CallSign");
    for (std::size_t i = 0; i < kLogColumns.size(); ++i) {
        if (found[i]) continue;
        if (i == 0 || HasRows(db, table, where))
            throw LogFileError(where + ": no column " + std::string(kLogColumns[i]));
        return false;
    }
    return true;
}

// The empty ones of DXCCPrefix, Continent and MainPrefix, for a note.
std::string EmptyCountryFields(const ContactView& c) {
    std::string names;
    auto add = [&](std::string_view text, const char* name) {
        if (!text.empty()) return;
        names.append(names.empty() ? "" : ", ").append(name);
    };
    add(c.dxcc, "DXCCPrefix");
    add(c.continent, "Continent");
    add(c.mainPrefix, "MainPrefix");
    return names;
}

void ReadOpen(sqlite3* db, const std::string& path, const ReadOptions& options, LogSink& sink) {
    sqlite3_busy_timeout(db, kBusyMilliseconds);
    const std::string table = UnquotedName(options.table);
    const std::string where = path + ", table " + table;
    CheckIntegrity(db, path);
    if (!CheckColumns(db, path, table, where)) return;

    const std::string select = "SELECT " + LogColumnList() + " FROM " + QuotedName(table);
    sqlite3_stmt* raw = nullptr;
    // In call-sign order a row keeps its place in the table (its position in
    // rowid order), so that messages and the audit name the same record
    // whichever order the log is scored in.
    std::vector<sqlite3_int64> rowids;
    if (options.callSignOrder) {
        if (sqlite3_prepare_v2(db, ("SELECT rowid FROM " + QuotedName(table) + " ORDER BY rowid").c_str(),
                               -1, &raw, nullptr) == SQLITE_OK) {
            SqliteStatement ids(raw);
            while (sqlite3_step(ids.get()) == SQLITE_ROW) rowids.push_back(sqlite3_column_int64(ids.get(), 0));
        } else {
            sqlite3_finalize(raw);  // a table without a rowid: places in the order read
        }
        raw = nullptr;
        // The host's own query, so that equal calls come in its order and
        // calls stored as numbers or blobs sort where SQLite sorts them.
        const std::string withRowid =
            "SELECT " + LogColumnList() + ", rowid FROM " + QuotedName(table) + " ORDER BY CallSign";
        raw = Prepare(db, rowids.empty() ? select + " ORDER BY CallSign" : withRowid, where).release();
    } else if (sqlite3_prepare_v2(db, (select + " ORDER BY rowid").c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        raw = Prepare(db, select, where).release();  // a table without a rowid, in its own order
    }
    SqliteStatement statement(raw);

    std::size_t row = 0;
    int rc;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        ContactView contact;
        sqlite3_stmt* s = statement.get();
        ++row;
        if (rowids.empty()) {
            contact.place = row;
        } else {
            const auto at = std::lower_bound(rowids.begin(), rowids.end(), sqlite3_column_int64(s, 7));
            contact.place = static_cast<std::size_t>(at - rowids.begin()) + 1;
        }
        contact.call = ColumnText(s, 0);
        contact.band = ColumnText(s, 1);
        contact.mode = ColumnText(s, 2);
        contact.report = ColumnText(s, 3);
        contact.dxcc = ColumnText(s, 4);
        contact.mainPrefix = ColumnText(s, 5);
        contact.continent = ColumnText(s, 6);
        if (contact.dxcc.empty() || contact.continent.empty() || contact.mainPrefix.empty())
            sink.Problem(LogProblem{contact.place,
                                    "call " + Quoted(contact.call) + ": " + EmptyCountryFields(contact) +
                                        " empty: scored as the table has it, as the host scores it",
                                    Severity::Note});
        sink.Contact(contact);
    }
    if (rc != SQLITE_DONE)
        throw LogFileError(where + ": row " + std::to_string(row + 1) + ": " + sqlite3_errmsg(db));
}

}  // namespace

void ReadSqlite(const std::string& path, const ReadOptions& options, LogSink& sink) {
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    SqliteDb db(raw);
    if (opened != SQLITE_OK)
        throw LogFileError(path + ": cannot open: " + (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(opened)));
    ReadOpen(db.get(), path, options, sink);
}

void ReadSqliteBytes(std::string_view bytes, const std::string& name, const ReadOptions& options,
                     LogSink& sink) {
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE, nullptr);
    SqliteDb db(raw);
    if (opened != SQLITE_OK) throw LogFileError(name + ": cannot open: " + sqlite3_errstr(opened));
    // A database in WAL mode (header bytes 18 and 19 are 2) opens from memory
    // only as a rollback-journal one: a copy with those bytes set to 1.
    std::string walCopy;
    if (bytes.size() >= 100 && bytes[18] == 2 && bytes[19] == 2) {
        walCopy.assign(bytes);
        walCopy[18] = walCopy[19] = 1;
        bytes = walCopy;
    }
    // Read-only over the bytes as they are: SQLite neither copies nor frees them.
    auto* data = reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data()));
    const auto size = static_cast<sqlite3_int64>(bytes.size());
    if (sqlite3_deserialize(db.get(), "main", data, size, size, SQLITE_DESERIALIZE_READONLY) != SQLITE_OK)
        Fail(name, db.get());
    ReadOpen(db.get(), name, options, sink);
}

}  // namespace yol::contestlog
