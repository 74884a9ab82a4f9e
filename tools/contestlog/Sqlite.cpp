#include "contestlog/Sqlite.h"

#include <stdexcept>

namespace yol::contestlog {

SqliteDb OpenSqlite(const std::string& path, int flags) {
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    SqliteDb db(raw);
    if (opened != SQLITE_OK)
        throw std::runtime_error(path + ": cannot open: " +
                                 (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(opened)));
    return db;
}

SqliteStatement PrepareSql(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr);
    SqliteStatement owned(statement);
    if (rc != SQLITE_OK) throw std::runtime_error(sql + ": " + sqlite3_errmsg(db));
    return owned;
}

void ExecSql(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : sqlite3_errmsg(db);
        sqlite3_free(error);
        throw std::runtime_error(sql + ": " + message);
    }
}

std::string QuotedName(std::string_view name) {
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"') quoted.push_back('"');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    return quoted;
}

std::string UnquotedName(std::string_view name) {
    if (name.size() < 2 || name.front() != '"' || name.back() != '"') return std::string(name);
    const std::string_view inner = name.substr(1, name.size() - 2);
    std::string plain;
    for (std::size_t i = 0; i < inner.size(); ++i) {
        if (inner[i] == '"' && (++i == inner.size() || inner[i] != '"')) return std::string(name);  // a lone quote
        plain.push_back(inner[i]);
    }
    return plain;
}

std::string LogColumnList() {
    std::string list;
    for (std::string_view column : kLogColumns) {
        if (!list.empty()) list += ", ";
        list += QuotedName(column);
    }
    return list;
}

void BindText(sqlite3_stmt* statement, int at, std::string_view text, bool copy) noexcept {
    sqlite3_bind_text(statement, at, text.empty() ? "" : text.data(), static_cast<int>(text.size()),
                      copy ? SQLITE_TRANSIENT : SQLITE_STATIC);
}

std::string_view ColumnText(sqlite3_stmt* statement, int column) noexcept {
    const unsigned char* text = sqlite3_column_text(statement, column);
    if (!text) return {};
    return {reinterpret_cast<const char*>(text),
            static_cast<std::size_t>(sqlite3_column_bytes(statement, column))};
}

}  // namespace yol::contestlog
