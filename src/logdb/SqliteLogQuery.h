// LogQuery over a SQLite database connection.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "logdb/LogQuery.h"

struct sqlite3;
struct sqlite3_stmt;

namespace yol {

class SqliteLogQuery final : public LogQuery {
public:
    // The connection stays the caller's; it must outlive the query.
    explicit SqliteLogQuery(sqlite3* db) : db_(db) {}
    ~SqliteLogQuery() override;
    SqliteLogQuery(const SqliteLogQuery&) = delete;
    SqliteLogQuery& operator=(const SqliteLogQuery&) = delete;

    void Close() override;
    void SetText(std::string_view sql) override { sql_ = sql; }
    void Open() override;
    bool AtEnd() override { return stmt_ == nullptr || atEnd_; }
    std::string_view ColumnAsText(std::string_view column) override;
    void Next() override;

    // Column index by name, without regard to letter case; -1 when missing.
    int ColumnIndex(std::string_view column);

private:
    void Step();

    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
    std::string sql_;
    bool atEnd_ = true;
    std::vector<std::pair<std::string, int>> columns_;  // names asked for, per statement
};

}  // namespace yol
