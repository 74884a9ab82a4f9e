#include "logdb/SqliteLogQuery.h"

#include <sqlite3.h>

namespace yol {
namespace {

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

SqliteLogQuery::~SqliteLogQuery() { Close(); }

void SqliteLogQuery::Close() {
    if (stmt_ != nullptr) sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    atEnd_ = true;
    columns_.clear();
}

void SqliteLogQuery::Open() {
    Close();
    if (db_ == nullptr) throw LogQueryError("LogQuery: no database connection");
    if (sqlite3_prepare_v2(db_, sql_.c_str(), static_cast<int>(sql_.size()), &stmt_, nullptr) !=
        SQLITE_OK) {
        const std::string message = sqlite3_errmsg(db_);
        Close();
        throw LogQueryError(message);
    }
    atEnd_ = false;
    Step();
}

void SqliteLogQuery::Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return;
    atEnd_ = true;
    if (rc != SQLITE_DONE) throw LogQueryError(sqlite3_errmsg(db_));
}

void SqliteLogQuery::Next() {
    if (!AtEnd()) Step();
}

int SqliteLogQuery::ColumnIndex(std::string_view column) {
    for (const auto& [name, index] : columns_)
        if (name == column) return index;
    int found = -1;
    const int count = stmt_ ? sqlite3_column_count(stmt_) : 0;
    for (int i = 0; i < count && found < 0; ++i)
        if (SameNameIgnoringCase(sqlite3_column_name(stmt_, i), column)) found = i;
    if (found >= 0) columns_.emplace_back(std::string(column), found);
    return found;
}

std::string_view SqliteLogQuery::ColumnAsText(std::string_view column) {
    const int index = ColumnIndex(column);
    if (index < 0) throw FieldNotFound(column);
    if (AtEnd()) throw LogQueryError("LogQuery: no current row");
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, index));
    const int length = sqlite3_column_bytes(stmt_, index);
    return text ? std::string_view(text, static_cast<std::size_t>(length)) : std::string_view();
}

}  // namespace yol
