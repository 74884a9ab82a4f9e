// The pages of the results site: the index, one page per log, the summary of
// the whole check; and the one-file page for an operator's own log.
#include "Internal.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <thread>

namespace yol::webreport {

using detail::Html;

namespace {

enum class Style { Linked, Inline };

void Head(Html& h, std::string_view title, std::string_view prefix, Style style) {
    h << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
         "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">"
         "<link rel=\"icon\" href=\"data:,\"><title>";
    h.Text(title) << "</title>";
    if (style == Style::Linked) {
        h << "<link rel=\"stylesheet\" href=\"" << prefix << "site.css\"><script src=\"" << prefix
          << "site.js\" defer></script>";
    } else {
        h << "<style>" << detail::SiteCss() << "</style>";
    }
    h << "</head>\n<body>";
}

void Nav(Html& h, std::string_view prefix, bool summary) {
    h << "<nav class=\"top\"><a href=\"" << prefix << "index.html\">Results</a>";
    if (summary) h << " <a href=\"" << prefix << "summary.html\">Summary of the check</a>";
    h << "</nav>";
}

void Tail(Html& h) { h << "</main></body></html>\n"; }

void Claimed(Html& h, const std::optional<std::int64_t>& claimed) {
    if (claimed) h.Int(*claimed);
    else h << "\xE2\x80\x94";  // em dash: none claimed
}

void Offset(Html& h, double minutes) {
    if (minutes > 0) h << '+';
    else if (minutes < 0) h << "\xE2\x88\x92";
    const double a = std::abs(minutes);
    if (a == std::floor(a)) h.Int(static_cast<std::int64_t>(a));
    else h.Fixed(a, 1);
    h << " min";
}

void Fact(Html& h, std::string_view key, std::string_view label) {
    h << "<tr><th scope=\"row\">" << label << "</th><td data-key=\"" << key << "\">";
}

void LogSummary(Html& h, const LogReport& r) {
    h << "<table class=\"facts\"><caption>Summary</caption><tbody>";
    if (!r.category.empty()) {
        Fact(h, "category", "Category");
        h.Text(r.category) << "</td></tr>";
    }
    if (r.crossChecked) {
        Fact(h, "claimed", "Claimed score");
        Claimed(h, r.claimed);
        h << "</td></tr>";
        Fact(h, "raw", "Raw score");
        h.Int(r.rawScore) << "</td></tr>";
        Fact(h, "score", "Final score");
        h << "<strong>";
        h.Int(r.finalScore) << "</strong></td></tr>";
        Fact(h, "reduction", "Reduction");
        h.Fixed(r.reductionPercent, 1) << " %</td></tr>";
        Fact(h, "errors", "Error rate");
        h.Fixed(r.errorRatePercent, 1) << " %</td></tr>";
        Fact(h, "offset", "Clock offset");
        if (r.clockOffsetMinutes) Offset(h, *r.clockOffsetMinutes);
        else h << "not estimated";
        h << "</td></tr>";
        Fact(h, "contacts", "Contacts, raw \xE2\x86\x92 final");
        h.Int(r.rawContacts) << " \xE2\x86\x92 ";
        h.Int(r.finalContacts) << "</td></tr>";
    } else {
        Fact(h, "score", "Score");
        h << "<strong>";
        h.Int(r.finalScore) << "</strong></td></tr>";
        Fact(h, "contacts", "Contacts");
        h.Int(r.finalContacts) << "</td></tr>";
    }
    Fact(h, "points", "Points");
    h.Int(r.points) << "</td></tr>";
    Fact(h, "mults", "Multipliers");
    h.Int(r.multipliers) << "</td></tr></tbody></table>";
}

void Line(Html& h, std::string_view place, std::string_view line) {
    if (line.empty() && place.empty()) {
        h << "<span class=\"none\">none</span>";
        return;
    }
    if (!place.empty()) {
        h << "<span class=\"place\">";
        h.Text(place) << "</span>";
    }
    h << "<code>";
    h.Text(line) << "</code>";
}

void ContactTable(Html& h, std::string_view caption, const std::vector<const RemovedContact*>& rows, bool lost,
                  std::string_view ownHead, std::string_view otherHead) {
    // The heading above says what the table holds; the caption repeats it for screen readers.
    h << "<div class=\"scroll\"><table class=\"removed" << (lost ? "" : " others") << "\"><caption class=\"vh\">" << caption
      << "</caption><thead><tr><th scope=\"col\">UTC</th><th scope=\"col\">Band</th><th scope=\"col\">Mode</th>"
         "<th scope=\"col\">Call</th><th scope=\"col\">Reason</th>";
    if (lost) h << "<th scope=\"col\" class=\"num\">Points lost</th>";
    h << "<th scope=\"col\">" << ownHead << "</th><th scope=\"col\">" << otherHead << "</th></tr></thead><tbody>";
    // On a phone each row becomes a card and each cell is labelled with its column's
    // name by the style sheet (by position: the names are not repeated in every cell).
    for (const RemovedContact* c : rows) {
        h << "<tr><td>" << detail::UtcText(c->utc) << "</td><td>";
        h.Text(c->band) << "</td><td>";
        h.Text(c->mode) << "</td><td class=\"call\">";
        h.Text(c->call) << "</td><td>";
        h.Text(c->reason) << "</td>";
        if (lost) {
            h << "<td class=\"num\">";
            h.Int(c->lost) << "</td>";
        }
        h << "<td class=\"line\">";
        Line(h, c->ownPlace, c->ownLine);
        h << "</td><td class=\"line\">";
        Line(h, c->otherPlace, c->otherLine);
        h << "</td></tr>";
    }
    h << "</tbody></table></div>";
}

void Removed(Html& h, const LogReport& r) {
    if (r.removed.empty()) {
        if (r.crossChecked) h << "<section><h2>Removed and penalised contacts</h2><p>None: every contact stands.</p></section>";
        return;
    }
    std::array<std::vector<const RemovedContact*>, kVerdictCount> groups;
    for (const auto& c : r.removed) groups[static_cast<std::size_t>(c.verdict)].push_back(&c);
    h << "<section id=\"removed\"><h2>Removed and penalised contacts (";
    h.Int(static_cast<std::int64_t>(r.removed.size())) << ")</h2>";
    for (int i = 0; i < kVerdictCount; ++i) {
        const auto& rows = groups[static_cast<std::size_t>(i)];
        if (rows.empty()) continue;
        const auto v = static_cast<Verdict>(i);
        h << "<h3 data-verdict=\"" << VerdictCode(v) << "\">";
        detail::VerdictSwatch(h, v);
        h << " <span class=\"code\">" << VerdictCode(v) << "</span> " << VerdictLabel(v) << " (";
        h.Int(static_cast<std::int64_t>(rows.size())) << ")</h3>";
        std::string caption(VerdictLabel(v));
        caption[0] = static_cast<char>(caption[0] - 'a' + 'A');
        caption += ": " + std::to_string(rows.size()) + (rows.size() == 1 ? " contact" : " contacts");
        ContactTable(h, caption, rows, true, "Your line", "Other log\xE2\x80\x99s line");
    }
    h << "</section>";
}

void Bands(Html& h, const LogReport& r) {
    if (r.bands.empty()) return;
    h << "<section id=\"bands\"><h2>By band</h2><div class=\"scroll\"><table class=\"bands\"><caption class=\"vh\">"
         "Contacts, points and multipliers per band, as logged and after the check</caption><thead><tr>"
         "<th scope=\"col\">Band</th><th scope=\"col\" class=\"num\">Contacts logged</th>"
         "<th scope=\"col\" class=\"num\">Points logged</th><th scope=\"col\" class=\"num\">Contacts final</th>"
         "<th scope=\"col\" class=\"num\">Points final</th><th scope=\"col\" class=\"num\">Multipliers</th>"
         "</tr></thead><tbody>";
    for (const BandRow& b : r.bands) {
        h << "<tr><th scope=\"row\">";
        h.Text(b.band) << "</th><td class=\"num\">";
        h.Int(b.rawContacts) << "</td><td class=\"num\">";
        h.Int(b.rawPoints) << "</td><td class=\"num\">";
        h.Int(b.finalContacts) << "</td><td class=\"num\">";
        h.Int(b.finalPoints) << "</td><td class=\"num\">";
        h.Int(b.multipliers) << "</td></tr>";
    }
    h << "</tbody></table></div></section>";
}

void Skipped(Html& h, const LogReport& r) {
    if (r.skipped.empty()) return;
    h << "<section id=\"skipped\"><h2>Lines not read (";
    h.Int(static_cast<std::int64_t>(r.skipped.size())) << ")</h2><p>Each of these lines cost you its contact.</p><ul>";
    for (const SkippedLine& s : r.skipped) {
        h << "<li>line ";
        h.Int(s.line) << ": ";
        h.Text(s.reason) << "</li>";
    }
    h << "</ul></section>";
}

void Others(Html& h, const LogReport& r) {
    if (r.othersMiscopied.empty()) return;
    std::vector<const RemovedContact*> rows;
    for (const auto& c : r.othersMiscopied) rows.push_back(&c);
    h << "<section id=\"others\"><h2>Others who miscopied your call (";
    h.Int(static_cast<std::int64_t>(rows.size())) << ")</h2><p>For information: these cost you nothing.</p>";
    ContactTable(h, "Contacts in other logs with your call miscopied", rows, false, "Their line", "Your line");
    h << "</section>";
}

void Figure(Html& h, std::string_view caption, void (*plot)(Html&, const LogReport&), const LogReport& r) {
    h << "<figure><figcaption>" << caption << "</figcaption><div class=\"plotbox\">";
    plot(h, r);
    h << "</div></figure>";
}

void LogBody(Html& h, const LogReport& r) {
    h << "<main data-call=\"";
    h.Text(r.call) << "\" data-score=\"";
    h.Int(r.finalScore) << "\" data-contacts=\"";
    h.Int(static_cast<std::int64_t>(r.contacts.size())) << "\"><h1><span class=\"call\">";
    h.Text(r.call) << "</span>";
    if (!r.name.empty()) {
        h << " <span class=\"name\">";
        h.Text(r.name) << "</span>";
    }
    h << "</h1>";
    detail::VerdictPatterns(h);
    if (!r.reportLink.empty()) {
        h << "<p class=\"report-link\"><a href=\"";
        h.Text(r.reportLink) << "\">Your log-check report</a> (plain text)</p>";
    }
    LogSummary(h, r);
    Bands(h, r);
    h << "<section id=\"plots\"><h2>The contest in pictures</h2>";
    Figure(h, "Contacts per hour, stacked by band", detail::HourlyPlot, r);
    Figure(h, "Band activity in 15-minute cells", detail::ActivityMap, r);
    Figure(h, "Running score", detail::ScorePlot, r);
    if (r.crossChecked) Figure(h, "Verdicts of all contacts", detail::VerdictBar, r);
    h << "</section>";
    Removed(h, r);
    Skipped(h, r);
    Others(h, r);
}

std::string SiteLogPage(const Site& site, const LogReport& r) {
    std::string out;
    out.reserve(64 * 1024);
    Html h(out);
    Head(h, r.call + " \xE2\x80\x94 " + site.title, "../", Style::Linked);
    Nav(h, "../", site.summary.has_value());
    LogBody(h, r);
    Tail(h);
    return out;
}

struct Column {
    std::string_view key, head;
    bool num;
};
constexpr std::array<Column, 10> kColumns{{
    {"rank", "#", true},
    {"call", "Call", false},
    {"category", "Category", false},
    {"claimed", "Claimed", true},
    {"contacts", "Contacts", true},
    {"points", "Points", true},
    {"mults", "Mults", true},
    {"score", "Score", true},
    {"reduction", "Reduction %", true},
    {"errors", "Error rate %", true},
}};

std::string IndexPage(const Site& site) {
    // Categories in the order first seen, each by final score, best first.
    std::vector<std::string> order;
    std::map<std::string, std::vector<const ResultRow*>> byCategory;
    for (const auto& row : site.results) {
        auto [it, fresh] = byCategory.try_emplace(row.category);
        if (fresh) order.push_back(row.category);
        it->second.push_back(&row);
    }
    std::string out;
    out.reserve(site.results.size() * 140 + 8192);
    Html h(out);
    Head(h, site.title + " \xE2\x80\x94 results", "", Style::Linked);
    Nav(h, "", site.summary.has_value());
    h << "<main><h1>";
    h.Text(site.title) << "</h1>";
    if (!site.generated.empty()) {
        h << "<p class=\"generated\">";
        h.Text(site.generated) << "</p>";
    }
    h << "<p>";
    h.Int(static_cast<std::int64_t>(site.results.size())) << (site.results.size() == 1 ? " log" : " logs") << " in ";
    h.Int(static_cast<std::int64_t>(order.size())) << (order.size() == 1 ? " category" : " categories")
                                                   << ". Each call links to its log\xE2\x80\x99s report.</p>";
    if (site.carriesData)
        h << "<p class=\"data\">The results as data: <a href=\"results.csv\">results.csv</a>, "
             "<a href=\"results.json\">results.json</a>, every contact\xE2\x80\x99s verdict: "
             "<a href=\"verdicts.csv\">verdicts.csv</a>; each entrant\xE2\x80\x99s log-check report in "
             "reports/, linked from the log\xE2\x80\x99s page.</p>";
    h << "<form class=\"filter\" role=\"search\" hidden><label for=\"filter\">Find a call</label> "
         "<input type=\"search\" id=\"filter\" autocomplete=\"off\" spellcheck=\"false\" placeholder=\"e.g. DL1\">"
         " <output id=\"filter-count\" for=\"filter\" aria-live=\"polite\"></output></form>";
    if (order.size() > 1) {
        h << "<nav class=\"cats\" aria-label=\"Categories\"><ul>";
        for (std::size_t i = 0; i < order.size(); ++i) {
            h << "<li><a href=\"#cat-" << std::to_string(i) << "\">";
            h.Text(order[i].empty() ? "(no category)" : order[i]) << "</a> (";
            h.Int(static_cast<std::int64_t>(byCategory[order[i]].size())) << ")</li>";
        }
        h << "</ul></nav>";
    }
    for (std::size_t i = 0; i < order.size(); ++i) {
        auto rows = byCategory[order[i]];
        std::stable_sort(rows.begin(), rows.end(),
                         [](const ResultRow* a, const ResultRow* b) { return a->finalScore > b->finalScore; });
        const std::string name = order[i].empty() ? "(no category)" : order[i];
        h << "<section class=\"cat\" id=\"cat-" << std::to_string(i) << "\"><h2>";
        h.Text(name) << "</h2><div class=\"scroll\"><table class=\"results sortable\"><caption>";
        h.Text(name) << ": ";
        h.Int(static_cast<std::int64_t>(rows.size())) << (rows.size() == 1 ? " log" : " logs")
                                                      << ", by final score</caption><thead><tr>";
        for (const auto& c : kColumns) {
            h << "<th scope=\"col\" data-key=\"" << c.key << '"';
            if (c.num) h << " data-type=\"num\" class=\"num\"";
            h << '>' << c.head << "</th>";
        }
        h << "</tr></thead><tbody>\n";
        // Closing tags of cells and rows are implied in HTML; leaving them out keeps
        // an index of thousands of logs small.
        std::int64_t rank = 0;
        for (const ResultRow* r : rows) {
            h << "<tr><td>";
            h.Int(++rank) << "<td class=\"call\">";
            if (r->hasPage) {
                h << "<a href=\"log/";
                h.Text(PageName(r->call)) << "\">";
                h.Text(r->call) << "</a>";
            } else {
                h.Text(r->call);
            }
            h << "<td>";
            h.Text(r->category) << "<td>";
            Claimed(h, r->claimed);
            h << "<td>";
            h.Int(r->finalContacts) << "<td>";
            h.Int(r->points) << "<td>";
            h.Int(r->multipliers) << "<td>";
            h.Int(r->finalScore) << "<td>";
            h.Fixed(r->reductionPercent, 1) << "<td>";
            h.Fixed(r->errorRatePercent, 1) << "\n";
        }
        h << "</tbody></table></div></section>";
    }
    h << "<p class=\"nomatch\" hidden>No call matches.</p>";
    Tail(h);
    return out;
}

void SummaryFact(Html& h, std::string_view key, std::string_view label) {
    h << "<tr><th scope=\"row\">" << label << "</th><td class=\"num\" data-key=\"" << key << "\">";
}

std::string SummaryPage(const Site& site) {
    const CheckSummary& s = *site.summary;
    std::string out;
    Html h(out);
    Head(h, site.title + " \xE2\x80\x94 summary of the check", "", Style::Linked);
    Nav(h, "", true);
    h << "<main><h1>";
    h.Text(site.title) << ": summary of the check</h1>";
    if (!site.generated.empty()) {
        h << "<p class=\"generated\">";
        h.Text(site.generated) << "</p>";
    }
    h << "<table class=\"facts\"><caption>The whole check in figures</caption><tbody>";
    SummaryFact(h, "logs", "Logs checked");
    h.Int(s.logs) << "</td></tr>";
    SummaryFact(h, "checklogs", "Checklogs");
    h.Int(s.checklogs) << "</td></tr>";
    SummaryFact(h, "contacts", "Contacts");
    h.Int(s.contacts) << "</td></tr>";
    SummaryFact(h, "crosschecked", "Cross-checked against another log");
    h.Fixed(s.crossCheckedPercent, 1) << " %</td></tr>";
    SummaryFact(h, "confirmed", "Confirmed");
    h.Fixed(s.confirmedPercent, 1) << " %</td></tr>";
    SummaryFact(h, "busted", "Busted calls");
    h.Int(s.busted) << "</td></tr>";
    SummaryFact(h, "nil", "Not in log");
    h.Int(s.notInLog) << "</td></tr>";
    SummaryFact(h, "exchange", "Exchanges miscopied");
    h.Int(s.exchange) << "</td></tr>";
    SummaryFact(h, "uniques", "Uniques");
    h.Int(s.uniques) << "</td></tr>";
    SummaryFact(h, "dupes", "Duplicates");
    h.Int(s.dupes) << "</td></tr>";
    SummaryFact(h, "seconds", "Time taken");
    h.Fixed(s.seconds, s.seconds < 10 ? 2 : 1) << " s</td></tr></tbody></table>";

    h << "<section><h2>Calls busted most often</h2>";
    if (s.mostBusted.empty()) {
        h << "<p>No call was busted.</p>";
    } else {
        h << "<div class=\"scroll\"><table class=\"busted sortable\"><caption>Calls busted most often, and what "
             "they were logged as</caption><thead><tr><th scope=\"col\">Call</th><th scope=\"col\" data-type=\"num\" "
             "class=\"num\">Times busted</th><th scope=\"col\">Logged as</th></tr></thead><tbody>";
        for (const auto& b : s.mostBusted) {
            h << "<tr><td class=\"call\">";
            h.Text(b.call) << "</td><td class=\"num\">";
            h.Int(b.times) << "</td><td>";
            for (std::size_t i = 0; i < b.into.size(); ++i) {
                h << (i ? ", " : "") << "<span class=\"call\">";
                h.Text(b.into[i].first) << "</span> \xC3\x97";
                h.Int(b.into[i].second);
            }
            h << "</td></tr>";
        }
        h << "</tbody></table></div>";
    }
    h << "</section>";
    Tail(h);
    return out;
}

}  // namespace

void WriteSite(const Site& site, const FileSink& sink) {
    sink("site.css", detail::SiteCss());
    sink("site.js", detail::SiteJs());
    sink("index.html", IndexPage(site));
    if (site.summary) sink("summary.html", SummaryPage(site));
    // The log pages are made on worker threads, a few pages ahead of the sink, and handed
    // to the sink in order on this thread: making pages (CPU) and storing them (the
    // caller's I/O) overlap, and on a machine with two cores both work at making them.
    const std::size_t count = site.logs.size();
    const unsigned workers = count < 16 ? 0u : std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    if (workers == 0) {
        for (const auto& r : site.logs) sink("log/" + PageName(r.call), SiteLogPage(site, r));
        return;
    }
    constexpr std::size_t kAhead = 64;
    std::vector<std::optional<std::string>> ready(count);
    std::mutex m;
    std::condition_variable madeOne, tookOne;
    std::size_t next = 0, emitted = 0;
    bool stop = false;
    std::exception_ptr failed;
    auto work = [&] {
        for (;;) {
            std::size_t i;
            {
                std::unique_lock lock(m);
                tookOne.wait(lock, [&] { return stop || next >= count || next < emitted + kAhead; });
                if (stop || next >= count) return;
                i = next++;
            }
            std::string page;
            try {
                page = SiteLogPage(site, site.logs[i]);
            } catch (...) {
                std::lock_guard lock(m);
                if (!failed) failed = std::current_exception();
                madeOne.notify_all();
                return;
            }
            std::lock_guard lock(m);
            ready[i] = std::move(page);
            madeOne.notify_all();
        }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < workers; ++t) threads.emplace_back(work);
    auto finish = [&] {
        {
            std::lock_guard lock(m);
            stop = true;
        }
        tookOne.notify_all();
        for (auto& t : threads) t.join();
    };
    try {
        for (std::size_t i = 0; i < count; ++i) {
            std::string page;
            {
                std::unique_lock lock(m);
                madeOne.wait(lock, [&] { return ready[i].has_value() || failed; });
                if (!ready[i]) std::rethrow_exception(failed);
                page = std::move(*ready[i]);
                ready[i].reset();
                emitted = i + 1;
            }
            tookOne.notify_all();
            sink("log/" + PageName(site.logs[i].call), page);
        }
    } catch (...) {
        finish();  // the sink failed: stop the workers before the exception leaves
        throw;
    }
    finish();
}

std::vector<std::pair<std::string, std::string>> SiteFiles(const Site& site) {
    std::vector<std::pair<std::string, std::string>> files;
    WriteSite(site, [&](std::string_view name, std::string_view content) {
        files.emplace_back(std::string(name), std::string(content));
    });
    return files;
}

std::string LogPage(const LogReport& report, std::string_view title) {
    std::string out;
    Html h(out);
    Head(h, report.call + " \xE2\x80\x94 " + std::string(title), "", Style::Inline);
    LogBody(h, report);
    Tail(h);
    return out;
}

}  // namespace yol::webreport
