// The results site of a check (yolcheck --html DIR): the cross-check's results
// as the plain structs of tools/webreport, and the site written into a folder.
//
//   webreport::Site site = SiteOf(logs, result, rules);   // nothing written yet
//   WriteSiteFolder(site, "site", stderr);                // index.html, summary.html, log/...
//
// What goes where: one log page per checked log in results order (checklogs
// too, under CHECKLOG, as results.csv lists them), its contacts in time order
// (log order where times are equal, so a few lines logged out of order keep
// the running score on a time axis) with the running score (points so far,
// penalties taken where they fell, times the multipliers so far: it ends at
// the final score); the removed and
// penalised contacts (every verdict but OK, NOLOG and CHECKLOG) with the log's
// own line and the other log's; the contacts of others who miscopied the call;
// the index rows with the figures of results.csv; the summary with the calls
// busted most often and what they were logged as. Names, calls and lines are
// shown as UTF-8 (Windows-1251 converted, contestlog::TextAsUtf8); places are
// "file name:line" without the folder.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "CheckTypes.h"
#include "Rules.h"
#include "WebReport.h"
#include "cli/ResultFolder.h"

namespace yol::check {

using cli::FolderError;
using cli::ResultFolder;

// How many of the calls busted most often the summary lists.
inline constexpr std::size_t kMostBustedShown = 25;
// The summary's lists for the committee's review: at most this many logs by
// error rate and with many not-in-log contacts (at least kManyNotInLog, and
// 2 % of the log), and unique calls.
inline constexpr std::size_t kErrorRanksShown = 100;
inline constexpr std::int64_t kManyNotInLog = 3;
inline constexpr std::size_t kUniquesShown = 1000;

// `result` from CrossCheck with contactScores (the running score and what a
// removed contact cost come from LogResult::scores); the quoted lines kept
// (QuotedContacts) where they were left in their files.
// With `carriesData`, the site's folder also holds results.csv, results.json,
// verdicts.csv and each entrant's report (ReportName), linked from the pages.
webreport::Site SiteOf(const std::vector<SubmittedLog>& logs, const CheckResult& result, const Rules& rules,
                       bool carriesData = false);

// Where a call's text report is written in the results folder (and the
// site's): "reports/" and the call's file stem (webreport::FileStem, the
// scheme of the pages) with ".txt". Calls of at most kMaxCallLength bytes.
std::string ReportName(std::string_view call);
inline constexpr std::size_t kMaxCallLength = 32;

// The running score of logs[index] after each of its contacts (by the
// contact's index), the contacts taken in `order` (indexes; log order when
// null). Whatever the order, it ends at the final score.
std::vector<std::int64_t> RunningScore(const CheckResult& result, std::size_t index,
                                       const std::vector<std::size_t>* order = nullptr);

// Stores the site's files (index.html, log/..., site.css, ...) in `folder`;
// FolderError where one cannot be written.
void WriteSiteFiles(const webreport::Site& site, ResultFolder& folder);

}  // namespace yol::check
