// What the check writes, as text: the report sent to each entrant, the
// results table (CSV, JSON), the summary of the whole check and the
// per-contact verdict file. No files here: the caller writes the texts.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "CheckTypes.h"
#include "Rules.h"

namespace yol::check {

// The logs in results order: by category, then final score, highest first,
// then call.
std::vector<std::size_t> ResultsOrder(const CheckResult& result);

// The reason for a contact's verdict in words ("you copied MO05 as MO06"),
// empty for a plain confirmation.
std::string VerdictDetail(const std::vector<SubmittedLog>& logs, const CheckResult& result, std::size_t log,
                          std::size_t contact, const Rules& rules);

// Per log, the contacts (in order, each once) whose lines the reports and
// the verdict file quote: those listed under a heading, the contacts they
// name, and the pairs under "others who miscopied your call". A caller that
// kept the lines in their files (SubmittedLog::Add) puts these back with
// KeepLine before writing.
std::vector<std::vector<std::uint32_t>> QuotedContacts(const std::vector<SubmittedLog>& logs,
                                                       const CheckResult& result);

// The plain-text report for logs[index].
std::string LogReport(const std::vector<SubmittedLog>& logs, const CheckResult& result,
                      std::size_t index, const Rules& rules);

std::string ResultsCsv(const CheckResult& result);
std::string ResultsJson(const CheckResult& result, const Rules& rules);
std::string SummaryText(const CheckResult& result, const Rules& rules);

// verdicts.csv: the header, then one row per contact of every log, logs in
// input order, contacts in file order.
extern const char* const kVerdictsCsvHeader;
void WriteVerdictsCsv(std::ostream& out, const std::vector<SubmittedLog>& logs, const CheckResult& result,
                      const Rules& rules);

}  // namespace yol::check
