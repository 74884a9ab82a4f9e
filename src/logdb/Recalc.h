// Rebuilding the score book from the host's log table.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "host/Plugin.h"
#include "logdb/LogQuery.h"
#include "scoring/ScoreBook.h"

namespace yol {

// The columns read from every row, in reading order.
inline constexpr std::string_view kLogColumns[] = {
    "QSOReportRecived", "DXCCPrefix", "MainPrefix", "CallSign", "DigiBand", "QSOMode", "Continent",
};

// "Select * from <table> order by CallSign", the table name as it is.
std::string LogQueryText(std::string_view tableName);

// Reads the current row's seven columns into the contact's fields.
void ReadLogRow(LogQuery& query, ContactRecord& current);

// Stores a continent as the recalculation does: cut to 255 characters and
// upper-cased (a to z only), so that a log written with "eu" means EU.
void StoreContinent(ContactRecord& current, std::string_view continent) noexcept;

// Clears the book, calls clearReport, reads every row of the log table named
// by current.TableName in call-sign order and records it. The operator's own
// fields stay as the host last passed them. Failures propagate; what was
// recorded before stays in the book.
void RecalcFromLog(LogQuery& query, EventPump& pump, ContactRecord& current, TScoreBook& book,
                   const std::function<void()>& clearReport);

}  // namespace yol
