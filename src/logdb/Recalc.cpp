#include "logdb/Recalc.h"

#include <string>

#include "scoring/Text.h"

namespace yol {

std::string LogQueryText(std::string_view tableName) {
    return "Select * from " + std::string(tableName) + " order by CallSign";
}

void ReadLogRow(LogQuery& q, ContactRecord& c) {
    StoreShortText(c.QSOReportRecived, q.ColumnAsText(kLogColumns[0]));
    StoreShortText(c.DXCCPrefix, q.ColumnAsText(kLogColumns[1]));
    StoreShortText(c.MainPrefix, q.ColumnAsText(kLogColumns[2]));
    StoreShortText(c.CallSign, q.ColumnAsText(kLogColumns[3]));
    StoreShortText(c.DigiBand, q.ColumnAsText(kLogColumns[4]));
    StoreShortText(c.QSOMode, q.ColumnAsText(kLogColumns[5]));
    StoreContinent(c, q.ColumnAsText(kLogColumns[6]));
}

void StoreContinent(ContactRecord& c, std::string_view continent) noexcept {
    StoreShortText(c.Continent, continent);
    // Continents are compared upper-cased: a log written as "eu" means EU.
    for (unsigned i = 1; i <= c.Continent.bytes[0]; ++i) {
        auto& ch = c.Continent.bytes[i];
        ch = static_cast<unsigned char>(UpperAscii(static_cast<char>(ch)));
    }
}

void RecalcFromLog(LogQuery& query, EventPump& pump, ContactRecord& current, TScoreBook& book,
                   const std::function<void()>& clearReport) {
    const std::string band(ReadShortText(current.DigiBand));
    book.Clear();
    if (clearReport) clearReport();

    query.Close();
    query.SetText(LogQueryText(ReadShortText(current.TableName)));
    query.Open();
    pump.DeliverPendingEvents();

    while (!query.AtEnd()) {
        ReadLogRow(query, current);
        book.Evaluate(current, true);
        query.Next();
    }
    query.Close();
    StoreShortText(current.DigiBand, band);
}

}  // namespace yol
