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

// The reason for a verdict in words ("you copied MO05 as MO06"), told to the
// station whose contact it is; empty for a plain confirmation. The one place
// that words a verdict: the report, verdicts.csv and the site all say this.
// A checklog's contact is told as its verdict's code, then the reason
// ("EXCHANGE: you copied ..."). The other log's line is quoted beside it, not
// in it.
std::string ReasonText(const VerdictFacts& facts);

// For a contact another station busted this station's call on: "UA3AAA
// logged you as UA3ABD".
std::string MiscopiedText(const CheckResult& result, const std::vector<SubmittedLog>& logs, const MiscopiedBy& m);

// ReasonText of VerdictFactsOf.
std::string VerdictDetail(const std::vector<SubmittedLog>& logs, const CheckResult& result, std::size_t log,
                          std::size_t contact, const Rules& rules);

// A contact's line as people read it: a Cabrillo line as it is in the file;
// a contact from any other format (ADIF tags, a database row) the way a
// Cabrillo line gives it: time, band, mode, call, exchange sent and received.
std::string ShownLine(const SubmittedLog& log, std::size_t contact);

// Per log, the contacts (in order, each once) whose lines the reports and
// the verdict file quote: those listed under a heading, the contacts they
// name, and the pairs under "others who miscopied your call". A caller that
// kept the lines in their files (SubmittedLog::Add) puts these back with
// KeepLine before writing.
std::vector<std::vector<std::uint32_t>> QuotedContacts(const std::vector<SubmittedLog>& logs,
                                                       const CheckResult& result);

// A log's figures on one band: raw (the log re-scored: contacts that earn
// points) and final (the contacts the final score counts, the band's points
// after penalties, the multipliers it brought), as the totals count them. Points and multipliers need the result's
// contact scores (CrossCheck with contactScores); without them they are 0.
struct BandFigures {
    std::string band;  // "20m", as people name it (the log's own text where it names no band)
    std::int64_t rawContacts = 0, finalContacts = 0, rawPoints = 0, finalPoints = 0, multipliers = 0;
};
// By band, lowest frequency first.
std::vector<BandFigures> ByBand(const SubmittedLog& log, const LogResult& result, const Rules& rules);

// A verdict's kind for people, in the middle of a sentence: "not in log",
// "busted calls", ...
std::string_view VerdictKindWords(Verdict v) noexcept;

// The plain-text report for logs[index]: the figures, by band, the contacts
// by verdict with their share of the log, each removed or penalised contact
// with its reason and both lines, the lines the readers did not read, and the
// others who miscopied the call.
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
