#include "HostLog.h"

#include <array>
#include <stdexcept>

#include "contestlog/Generator.h"
#include "contestlog/LogWriter.h"

namespace yol::host {

std::vector<LogContact> ParseContacts(std::istream& in) {
    std::vector<LogContact> contacts;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::array<std::string, 6> fields;
        std::size_t field = 0, start = 0;
        for (;;) {
            const std::size_t tab = line.find('\t', start);
            if (field < fields.size()) fields[field++] = line.substr(start, tab - start);
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        if (fields[0].empty()) throw std::runtime_error("contacts line " + std::to_string(number) + ": no call sign");
        contacts.push_back({.call = fields[0], .band = fields[1], .mode = fields[2], .report = fields[5],
                            .dxcc = fields[3], .mainPrefix = fields[3], .continent = fields[4]});
    }
    return contacts;
}

std::vector<LogContact> GenerateContacts(std::size_t count, std::uint32_t seed) {
    return contestlog::GenerateContacts(count, seed);
}

std::string LogTableSql(const std::string& table) { return contestlog::LogTableSql(table); }

void PrepareLogTable(sqlite3* db, const std::string& table, bool empty) {
    contestlog::CreateLogTable(db, table);
    contestlog::CreateCallSignIndex(db, table);
    if (empty) contestlog::EmptyLogTable(db, table);
}

void AppendToLog(sqlite3* db, const std::string& table, const std::vector<LogContact>& contacts) {
    contestlog::SqliteLogWriter writer(db, table);
    for (const LogContact& c : contacts) writer.Write(c);
    writer.Finish();
}

}  // namespace yol::host
