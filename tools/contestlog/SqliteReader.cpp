// The host's own log table in a SQLite file, read as the host reads it: the
// seven columns as text, rows in the order they were written (rowid).
#include <sqlite3.h>

#include <array>
#include <memory>
#include <stdexcept>

#include "contestlog/Bands.h"
#include "contestlog/LogReader.h"
#include "contestlog/LogReaderImpl.h"

namespace yol::contestlog {
namespace {

// The host's column names, in the order the statement selects them.
constexpr std::array<const char*, 7> kColumns{"QSOReportRecived", "DXCCPrefix", "MainPrefix",
                                              "CallSign", "DigiBand", "QSOMode", "Continent"};

struct DbCloser {
    void operator()(sqlite3* db) const noexcept { sqlite3_close(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* s) const noexcept { sqlite3_finalize(s); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

std::string QuoteName(std::string_view name) {
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"') quoted.push_back('"');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    return quoted;
}

std::string_view ColumnText(sqlite3_stmt* statement, int column) {
    const unsigned char* text = sqlite3_column_text(statement, column);
    if (!text) return {};
    return {reinterpret_cast<const char*>(text),
            static_cast<std::size_t>(sqlite3_column_bytes(statement, column))};
}

StatementPtr Prepare(sqlite3* db, const std::string& sql, const std::string& what) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
        throw std::runtime_error(what + ": " + sqlite3_errmsg(db));
    return StatementPtr(statement);
}

}  // namespace

void ReadSqlite(const std::string& path, const ReadOptions& options, LogSink& sink) {
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, DbCloser> db(raw);
    if (opened != SQLITE_OK)
        throw std::runtime_error(path + ": cannot open: " +
                                 (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(opened)));
    const std::string table = QuoteName(options.table);
    const std::string where = path + ", table " + options.table;

    // Which columns the table has, to name a missing one.
    {
        StatementPtr info = Prepare(db.get(), "PRAGMA table_info(" + table + ")", path);
        std::array<bool, kColumns.size()> found{};
        bool any = false;
        int rc;
        while ((rc = sqlite3_step(info.get())) == SQLITE_ROW) {
            any = true;
            const std::string_view name = ColumnText(info.get(), 1);
            for (std::size_t i = 0; i < kColumns.size(); ++i)
                if (EqualNoCase(name, kColumns[i])) found[i] = true;
        }
        if (rc != SQLITE_DONE) throw std::runtime_error(path + ": " + sqlite3_errmsg(db.get()));
        if (!any) throw std::runtime_error(path + ": no table named " + options.table);
        for (std::size_t i = 0; i < kColumns.size(); ++i)
            if (!found[i]) throw std::runtime_error(where + ": no column " + kColumns[i]);
    }

    std::string columns;
    for (const char* c : kColumns) columns += (columns.empty() ? "" : ", ") + QuoteName(c);
    const std::string select = "SELECT " + columns + " FROM " + table;
    sqlite3_stmt* rawStatement = nullptr;
    // Tables without a rowid are read in their own order.
    if (sqlite3_prepare_v2(db.get(), (select + " ORDER BY rowid").c_str(), -1, &rawStatement,
                           nullptr) != SQLITE_OK)
        rawStatement = Prepare(db.get(), select, where).release();
    StatementPtr statement(rawStatement);

    std::size_t row = 0;
    int rc;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        ContactView entry;
        entry.place = ++row;
        entry.report = ColumnText(statement.get(), 0);
        entry.dxcc = ColumnText(statement.get(), 1);
        entry.mainPrefix = ColumnText(statement.get(), 2);
        entry.call = ColumnText(statement.get(), 3);
        entry.band = ColumnText(statement.get(), 4);
        entry.mode = ColumnText(statement.get(), 5);
        entry.continent = ColumnText(statement.get(), 6);
        if (!detail::FillCountry(options, entry))
            sink.Problem(LogProblem{row, detail::NoCountryMessage(entry.call), Severity::Note});
        sink.Contact(entry);
    }
    if (rc != SQLITE_DONE)
        throw std::runtime_error(where + ": row " + std::to_string(row + 1) + ": " +
                                 sqlite3_errmsg(db.get()));
}

}  // namespace yol::contestlog
