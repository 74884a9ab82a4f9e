// The results site and the per-log pages, as HTML with SVG plots, from plain
// data. This library knows no log format and does no file I/O of its own: the
// caller fills the structs below and receives the files through a callback.
//
// How to fill them
// ----------------
// All texts are UTF-8 (convert Windows-1251 names and lines before handing
// them over; a stray invalid byte is shown as U+FFFD, never passed through).
// Times are whole minutes since 1970-01-01 UTC, as Contact::time of the
// contest-log model (tools/contestlog/Contact.h).
//
// LogReport, one per log (yolcheck: one per scored log; yolscore --html: the
// operator's own log with crossChecked = false):
//   call, category, name      header values (CALLSIGN:, CATEGORY-*:, NAME:)
//   claimed                   CLAIMED-SCORE: when the log has one
//   rawScore / finalScore     own log re-scored with dupes out / after the check
//   rawContacts / finalContacts, points, multipliers   the final figures
//   reductionPercent          100 * (claimed - final) / claimed, or against raw
//                             when there is no claim; the caller decides
//   errorRatePercent          share of the log's contacts it was blamed for
//   clockOffsetMinutes        the estimated offset (+: the log's clock is ahead)
//   contacts                  every contact of the log in log or time order (the
//                             running score follows it): utc, band,
//                             verdict (the stable codes of verdicts.csv, see
//                             VerdictFromCode), points finally earned (0 when
//                             removed) and the log's score after this contact
//   removed                   the removed and penalised contacts (verdict not OK)
//                             with the reason for people, the log's own line and
//                             the other log's line ("" when there is none)
//   othersMiscopied           for information: contacts in other logs that
//                             busted this station's call (same fields)
// ResultRow, one per log for the index: ResultRowOf(report) fills one from a
// LogReport; a caller that keeps no contacts in memory fills the rows itself.
// CheckSummary, once per check: the counts of the whole check and the calls
// busted most often, each with what it was busted into.
//
// What is written (WriteSite): index.html, summary.html, log/<PageName>.html
// for each LogReport, and site.css and site.js beside them. Nothing is fetched
// from elsewhere; tables read without scripts, sorting and the filter are
// added by site.js. LogPage() writes the same per-log page as one file with
// its style inline, for yolscore --html FILE.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace yol::webreport {

// The verdict codes of the per-contact verdict file (verdicts.csv).
enum class Verdict { Ok, Exchange, Busted, Nil, Unique, NoLog, Dupe, Period, Invalid, Partner, Checklog };
inline constexpr int kVerdictCount = 11;

// "OK", "BUSTED", ... (the stable code); nullopt for an unknown code.
std::optional<Verdict> VerdictFromCode(std::string_view code);
std::string_view VerdictCode(Verdict v);
// For people: "confirmed", "busted call", ...
std::string_view VerdictLabel(Verdict v);

struct Contact {
    std::int64_t utc = 0;            // minutes since 1970-01-01 UTC
    std::string band;                // "20m", as the contest-log model names bands
    Verdict verdict = Verdict::Ok;
    std::int64_t points = 0;         // points this contact finally earns
    std::int64_t runningScore = 0;   // the log's score after this contact
};

// One side of a contact as its log has it, for the aligned comparison of two
// lines: who wrote it ("You" or the call), its time, the station's own call,
// what it sent, the call it logged and what it received.
struct LineFields {
    std::string who;
    std::optional<std::int64_t> utc;
    std::string station, sent, call, received;
};

struct RemovedContact {
    Verdict verdict = Verdict::Nil;
    std::int64_t utc = 0;
    std::string band, mode, call;    // as the log has them
    std::string reason;              // "you copied MO05 as MO06"
    std::int64_t lost = 0;           // points taken off, penalty included
    std::string ownPlace, ownLine;   // "file:line" and the line as in the file
    std::string otherPlace, otherLine; // the other log's; empty when none
    // Where both are given, the page sets the two sides against each other,
    // what one logged beside what the other sent, the differing tokens marked.
    std::optional<LineFields> ownFields, otherFields;
};

// One band of a log: raw (the log re-scored) and final (after the check).
struct BandRow {
    std::string band;                // "20m"
    std::int64_t rawContacts = 0, finalContacts = 0, rawPoints = 0, finalPoints = 0, multipliers = 0;
};

// A line of the log the reader skipped or rejected, and why, in plain words.
struct SkippedLine {
    std::int64_t line = 0;
    std::string reason;
};
// The best rate: most contacts in any `minutes` long span, and when it began.
struct BestRate {
    std::int64_t minutes = 0, contacts = 0, from = 0;
};
BestRate BestRateOf(const std::vector<Contact>& contacts, std::int64_t minutes);

struct LogReport {
    std::string call, category, name;
    std::string reportLink;          // the entrant's text report, relative to the page ("" : none)
    std::vector<BandRow> bands;      // per band, in band order; empty: not shown
    std::vector<SkippedLine> skipped; // lines not read: each cost a contact
    std::vector<SkippedLine> incomplete; // lines read with a token of the exchange missing, and how read
    bool crossChecked = true;        // false: one operator's own log, no check parts
    std::optional<std::int64_t> claimed;
    std::int64_t rawScore = 0, finalScore = 0;
    std::int64_t rawContacts = 0, finalContacts = 0, points = 0, multipliers = 0;
    double reductionPercent = 0, errorRatePercent = 0;
    std::optional<double> clockOffsetMinutes;
    std::vector<Contact> contacts;
    std::vector<RemovedContact> removed;
    std::vector<RemovedContact> othersMiscopied;
    // The contest's class (empty: the rules define none) and the places by
    // final score, of how many (0: no place, as for a checklog); notes on the
    // category the log declared; club (CLUB:), country and continent.
    std::string className, classTitle;
    std::uint32_t placeInClass = 0, classSize = 0, placeOverall = 0, overallSize = 0;
    bool tiedInClass = false, tiedOverall = false;  // the place shared with another log
    std::vector<std::string> categoryNotes;
    std::string club, country, continent;
    bool checklog = false;
    // The contest's period, where known: the rate plots bin to fit its length.
    std::optional<std::pair<std::int64_t, std::int64_t>> period;
};

struct ResultRow {
    std::string call, category;
    std::optional<std::int64_t> claimed;
    std::int64_t finalContacts = 0, points = 0, multipliers = 0, finalScore = 0;
    double reductionPercent = 0, errorRatePercent = 0;
    bool hasPage = true;             // link the call to log/<PageName(call)>
    std::string className, club, country, continent;
    std::uint32_t placeInClass = 0, placeOverall = 0;  // 0: none
    bool tiedInClass = false, tiedOverall = false;
    bool checklog = false;           // listed as received, never ranked
};
ResultRow ResultRowOf(const LogReport& report);

struct BustedCall {
    std::string call;                // the call really worked
    std::int64_t times = 0;          // how often it was busted
    std::vector<std::pair<std::string, std::int64_t>> into; // what it was logged as, how often
};

struct CheckSummary {
    std::int64_t logs = 0, checklogs = 0, contacts = 0;
    double crossCheckedPercent = 0, confirmedPercent = 0;
    std::int64_t busted = 0, notInLog = 0, exchange = 0, uniques = 0, dupes = 0;
    double seconds = 0;              // time the check took
    std::vector<BustedCall> mostBusted; // most often first; the site shows them as given
    // The rest of the text summary's figures.
    std::int64_t crossChecked = 0, confirmed = 0, noLog = 0, period = 0, invalid = 0, partner = 0,
                 checklogContacts = 0;
    // For the committee's own review, in the order given: logs by error rate,
    // the calls no other log holds, the logs with many contacts not in the
    // other log.
    struct LogErrors {
        std::string call;
        std::int64_t contacts = 0, notInLog = 0;
        double errorRatePercent = 0;
    };
    std::vector<LogErrors> byErrorRate, manyNotInLog;
    std::vector<std::pair<std::string, std::string>> uniqueCalls;  // the unique call, the log that holds it
};

struct Site {
    std::string title = "Results";   // the contest's name, shown on every page
    bool carriesData = false;        // results.csv, results.json, verdicts.csv beside index.html
    std::string generated;           // free text under the titles ("checked 2026-12-09"), may be empty
    std::vector<ResultRow> results;  // the index; grouped by category in first-seen order
    std::vector<std::pair<std::string, std::string>> classes;  // the contest's: name and title, in order
    std::vector<LogReport> logs;     // one page each
    std::optional<CheckSummary> summary;
};

// Receives one written file: a name relative to the site's folder ("index.html",
// "log/DL1ABC.html") and its content. Always called on WriteSite's own thread, in
// order (site.css, site.js, index.html, summary.html, the log pages in the order of
// Site::logs); the log pages are made a batch at a time on the worker threads the
// program asked for (contestlog/Parallel.h), none unless it did. An exception
// from the sink stops the writing and leaves WriteSite.
using FileSink = std::function<void(std::string_view name, std::string_view content)>;

void WriteSite(const Site& site, const FileSink& sink);
std::vector<std::pair<std::string, std::string>> SiteFiles(const Site& site);

// One self-contained page for one log (style inline, no script needed).
std::string LogPage(const LogReport& report, std::string_view title = "Log report");

// The file name of a call's page and report, without its ending: upper-case
// letters and digits kept; '/' as '-'; anything else (lower case too, for
// file systems that ignore case) as _XX (hex), so that distinct calls never
// share a file. At most three times the call's length: the caller bounds it.
std::string FileStem(std::string_view call);
// FileStem(call) + ".html": the page inside log/.
std::string PageName(std::string_view call);

// Text for HTML: & < > " ' escaped, invalid UTF-8 replaced by U+FFFD.
void AppendEscaped(std::string& out, std::string_view text);

}  // namespace yol::webreport
