// The host simulator's log: contacts read from a file or made up, and the
// SQLite table the host keeps them in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "contestlog/Contact.h"

struct sqlite3;

namespace yol::host {

// One logged contact, texts in UTF-8.
using LogContact = contestlog::Contact;

// One contact a line, fields separated by tabs: call, band, mode, dxcc,
// continent, report. Missing trailing fields are empty; empty lines and
// lines beginning with '#' are skipped; a CR before the line end goes. The
// main prefix is the dxcc.
// Throws std::runtime_error naming the line when it has no call sign.
std::vector<LogContact> ParseContacts(std::istream& in);

// A plausible contest log: mostly home stations with district reports, a DX
// mix, the occasional portable, duplicate, malformed report or lower-case
// continent (contestlog's generator). The same seed gives the same contacts.
std::vector<LogContact> GenerateContacts(std::size_t count, std::uint32_t seed);

// The log table's definition: the columns the module reads, and an Id.
std::string LogTableSql(const std::string& table);

// Creates the table when missing; with `empty`, removes its rows.
void PrepareLogTable(sqlite3* db, const std::string& table, bool empty);

// Appends the contacts as rows in one transaction.
void AppendToLog(sqlite3* db, const std::string& table, const std::vector<LogContact>& contacts);

}  // namespace yol::host
