// The pages of the results site: the index, one page per log, the summary of
// the whole check; and the one-file page for an operator's own log.
#include "Internal.h"

#include "contestlog/Text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

#include "contestlog/Parallel.h"

namespace yol::webreport {

using detail::Html;
using detail::UtcHourText;

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
    if (claimed) h.Grouped(*claimed);
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

void Rate(Html& h, const LogReport& r, std::int64_t minutes) {
    const BestRate best = BestRateOf(r.contacts, minutes);
    Fact(h, minutes == 60 ? "best60" : "best10", minutes == 60 ? "Best 60 minutes" : "Best 10 minutes");
    h.Grouped(best.contacts) << " contacts";
    if (best.contacts > 0) h << " from " << UtcHourText(best.from) << " UTC";
    h << "</td></tr>";
}

void LogSummary(Html& h, const LogReport& r) {
    h << "<table class=\"facts\"><caption>Summary</caption><tbody>";
    if (r.placeOverall > 0) {
        Fact(h, "place", "Place");
        h << "<strong>";
        if (!r.className.empty()) {
            h << contestlog::Ordinal(r.placeInClass, r.tiedInClass) << "</strong> of ";
            h.Grouped(r.classSize) << " in ";
            h.Text(r.className) << ", <strong>";
        }
        h << contestlog::Ordinal(r.placeOverall, r.tiedOverall) << "</strong> of ";
        h.Grouped(r.overallSize) << " overall</td></tr>";
    } else if (r.checklog) {
        Fact(h, "place", "Place");
        h << "checklog: received, not ranked</td></tr>";
    }
    if (!r.className.empty()) {
        Fact(h, "class", "Class");
        h.Text(r.className);
        if (!r.classTitle.empty()) {
            h << " (";
            h.Text(r.classTitle) << ")";
        }
        h << "</td></tr>";
    }
    if (!r.category.empty()) {
        Fact(h, "category", r.className.empty() ? "Category" : "Category declared");
        h.Text(r.category) << "</td></tr>";
    }
    if (!r.categoryNotes.empty()) {
        Fact(h, "notes", "Category notes");
        h << "<ul class=\"notes\">";
        for (const auto& n : r.categoryNotes) {
            h << "<li>";
            h.Text(n) << "</li>";
        }
        h << "</ul></td></tr>";
    }
    if (!r.club.empty()) {
        Fact(h, "club", "Club");
        h.Text(r.club) << "</td></tr>";
    }
    if (!r.country.empty()) {
        Fact(h, "country", "Country");
        h.Text(r.country);
        if (!r.continent.empty()) {
            h << " (";
            h.Text(r.continent) << ")";
        }
        h << "</td></tr>";
    }
    if (r.crossChecked) {
        Fact(h, "claimed", "Claimed score");
        Claimed(h, r.claimed);
        h << "</td></tr>";
        Fact(h, "raw", "Raw score");
        h.Grouped(r.rawScore) << "</td></tr>";
        Fact(h, "score", "Final score");
        h << "<strong>";
        h.Grouped(r.finalScore) << "</strong></td></tr>";
        Fact(h, "reduction", "Reduction");
        h.Fixed(r.reductionPercent, 1) << " %</td></tr>";
        Fact(h, "errors", "Error rate");
        h.Fixed(r.errorRatePercent, 1) << " %</td></tr>";
        Fact(h, "offset", "Clock offset");
        if (r.clockOffsetMinutes) Offset(h, *r.clockOffsetMinutes);
        else h << "not estimated";
        h << "</td></tr>";
        Fact(h, "contacts", "Contacts, raw \xE2\x86\x92 final");
        h.Grouped(r.rawContacts) << " \xE2\x86\x92 ";
        h.Grouped(r.finalContacts) << "</td></tr>";
    } else {
        Fact(h, "score", "Score");
        h << "<strong>";
        h.Grouped(r.finalScore) << "</strong></td></tr>";
        Fact(h, "contacts", "Contacts");
        h.Grouped(r.finalContacts) << "</td></tr>";
    }
    Fact(h, "points", "Points");
    h.Grouped(r.points) << "</td></tr>";
    Fact(h, "mults", "Multipliers");
    h.Grouped(r.multipliers) << "</td></tr>";
    if (!r.contacts.empty()) {
        Rate(h, r, 60);
        Rate(h, r, 10);
    }
    h << "</tbody></table>";
}

// Exchange tokens agree: the same text, letter case aside, or the same number.
bool SameToken(std::string_view a, std::string_view b) {
    auto digits = [](std::string_view t) {
        return !t.empty() && t.size() < 18 && std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (digits(a) && digits(b)) return std::stoll(std::string(a)) == std::stoll(std::string(b));
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

std::vector<std::string_view> Tokens(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ') ++i;
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ') ++i;
        if (i > start) out.push_back(text.substr(start, i - start));
    }
    return out;
}

// A text set against another, token by token: those that differ in <mark>.
void Compared(Html& h, std::string_view text, std::string_view against) {
    const auto mine = Tokens(text), theirs = Tokens(against);
    if (mine.empty()) {
        h << "<span class=\"none\">none</span>";
        return;
    }
    for (std::size_t i = 0; i < mine.size(); ++i) {
        if (i) h << ' ';
        const bool differs = i >= theirs.size() || !SameToken(mine[i], theirs[i]);
        if (differs) h << "<mark>";
        h.Text(mine[i]);
        if (differs) h << "</mark>";
    }
}

// The two sides of a contact against each other: what A logged beside what B
// sent, what B logged beside what A sent.
void Alignment(Html& h, const LineFields& a, const LineFields& b) {
    h << "<table class=\"align\"><caption class=\"vh\">The two logs set against each other</caption><thead><tr>"
         "<th scope=\"col\"></th><th scope=\"col\">UTC</th><th scope=\"col\">Call</th><th scope=\"col\">Exchange</th>"
         "</tr></thead><tbody>";
    auto row = [&](const LineFields& who, std::string_view verb, std::string_view call, std::string_view against,
                   std::string_view exchange, std::string_view exchangeAgainst, bool time) {
        h << "<tr><th scope=\"row\">";
        h.Text(who.who) << ' ' << verb << "</th><td>";
        if (time && who.utc) h << UtcHourText(*who.utc);
        h << "</td><td class=\"call\">";
        Compared(h, call, against);
        h << "</td><td class=\"call\">";
        Compared(h, exchange, exchangeAgainst);
        h << "</td></tr>";
    };
    row(a, "logged", a.call, b.station, a.received, b.sent, true);
    row(b, "sent", b.station, a.call, b.sent, a.received, true);
    row(b, "logged", b.call, a.station, b.received, a.sent, false);
    row(a, "sent", a.station, b.call, a.sent, b.received, false);
    h << "</tbody></table>";
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
        h.Text(c->reason);
        if (c->ownFields && c->otherFields) Alignment(h, *c->ownFields, *c->otherFields);
        h << "</td>";
        if (lost) {
            h << "<td class=\"num\">";
            h.Grouped(c->lost) << "</td>";
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

void LineList(Html& h, const std::vector<SkippedLine>& lines, const char* id, const char* title, const char* what) {
    if (lines.empty()) return;
    h << "<section id=\"" << id << "\"><h2>" << title << " (";
    h.Int(static_cast<std::int64_t>(lines.size())) << ")</h2><p>" << what << "</p><ul>";
    for (const SkippedLine& s : lines) {
        h << "<li>line ";
        h.Int(s.line) << ": ";
        h.Text(s.reason) << "</li>";
    }
    h << "</ul></section>";
}

void Skipped(Html& h, const LogReport& r) {
    LineList(h, r.skipped, "skipped", "Lines not read", "Each of these lines cost you its contact.");
    LineList(h, r.incomplete, "incomplete", "Lines read with a token missing",
             "Each of these lines was read and checked as it stands.");
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

void Figure(Html& h, const std::string& caption, void (*plot)(Html&, const LogReport&), const LogReport& r) {
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
    const std::int64_t bin = detail::RateBinMinutes(r);
    Figure(h, bin == 60 ? "Contacts per hour, stacked by band"
                        : "Contacts per " + std::to_string(bin) + " minutes, stacked by band",
           detail::HourlyPlot, r);
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
// The call and the score first: on a phone both are in view (the call stays as
// the table scrolls sideways).
constexpr std::array<Column, 13> kColumns{{
    {"rank", "#", true},
    {"call", "Call", false},
    {"score", "Score", true},
    {"class", "Class", false},
    {"country", "Country", false},
    {"continent", "Cont.", false},
    {"club", "Club", false},
    {"claimed", "Claimed", true},
    {"contacts", "Contacts", true},
    {"points", "Points", true},
    {"mults", "Mults", true},
    {"reduction", "Reduction %", true},
    {"errors", "Error rate %", true},
}};

void CallCell(Html& h, const ResultRow& r) {
    h << "<td class=\"call\">";
    if (r.hasPage) {
        h << "<a href=\"log/";
        h.Text(PageName(r.call)) << "\">";
        h.Text(r.call) << "</a>";
    } else {
        h.Text(r.call);
    }
}

// A place in a table: "1st", a shared one "=2nd" (short, for the column).
struct Place {
    std::uint32_t place;
    bool tied;
};

// One table of results; `rank` gives each row's place.
void ResultsTable(Html& h, std::string_view id, std::string_view name, const std::vector<const ResultRow*>& rows,
                  std::string_view how, Place (*rank)(const ResultRow&, std::uint32_t)) {
    h << "<section class=\"cat\" id=\"" << id << "\"><h2>";
    h.Text(name) << "</h2><div class=\"scroll\"><table class=\"results sortable\"><caption>";
    h.Text(name) << ": ";
    h.Grouped(static_cast<std::int64_t>(rows.size())) << (rows.size() == 1 ? " log" : " logs") << ", " << how
                                                       << "</caption><thead><tr>";
    for (const auto& c : kColumns) {
        h << "<th scope=\"col\" data-key=\"" << c.key << '"';
        if (c.num) h << " data-type=\"num\" class=\"num\"";
        h << '>' << c.head << "</th>";
    }
    h << "</tr></thead><tbody>\n";
    // Closing tags of cells and rows are implied in HTML; leaving them out keeps
    // an index of thousands of logs small.
    std::uint32_t row = 0;
    for (const ResultRow* r : rows) {
        h << "<tr><td>";
        const Place place = rank(*r, ++row);
        h << (place.tied ? "=" : "") << contestlog::Ordinal(place.place);
        CallCell(h, *r);
        h << "<td>";
        h.Grouped(r->finalScore) << "<td class=\"txt\">";
        h.Text(r->className.empty() ? r->category : r->className) << "<td class=\"txt\">";
        h.Text(r->country) << "<td class=\"txt\">";
        h.Text(r->continent) << "<td class=\"txt\">";
        h.Text(r->club) << "<td>";
        if (r->claimed) h.Grouped(*r->claimed);
        else Claimed(h, r->claimed);
        h << "<td>";
        h.Grouped(r->finalContacts) << "<td>";
        h.Grouped(r->points) << "<td>";
        h.Grouped(r->multipliers) << "<td>";
        h.Fixed(r->reductionPercent, 1) << "<td>";
        h.Fixed(r->errorRatePercent, 1) << "\n";
    }
    h << "</tbody></table></div></section>";
}

// The clubs the logs name (CLUB:), by their members' scores together.
void ClubTable(Html& h, const std::vector<const ResultRow*>& ranked) {
    struct Club {
        std::int64_t logs = 0, score = 0;
        std::string best;
    };
    std::map<std::string, Club> clubs;
    for (const ResultRow* r : ranked) {
        if (r->club.empty()) continue;
        Club& c = clubs[r->club];
        ++c.logs;
        c.score += r->finalScore;
        if (c.best.empty()) c.best = r->call;
    }
    if (clubs.empty()) return;
    std::vector<std::pair<const std::string*, const Club*>> order;
    for (const auto& [name, c] : clubs) order.emplace_back(&name, &c);
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.second->score > b.second->score; });
    h << "<section id=\"clubs\"><h2>Clubs</h2><div class=\"scroll\"><table class=\"clubs sortable\"><caption>Clubs named "
         "in the logs (CLUB:), by their members\xE2\x80\x99 scores together</caption><thead><tr><th scope=\"col\" "
         "data-type=\"num\" class=\"num\">#</th><th scope=\"col\">Club</th><th scope=\"col\" data-type=\"num\" "
         "class=\"num\">Score</th><th scope=\"col\" data-type=\"num\" class=\"num\">Logs</th><th scope=\"col\">Best "
         "log</th></tr></thead><tbody>";
    std::int64_t place = 0;
    for (const auto& [name, c] : order) {
        h << "<tr><td class=\"num\">";
        h.Grouped(++place) << "</td><td>";
        h.Text(*name) << "</td><td class=\"num\">";
        h.Grouped(c->score) << "</td><td class=\"num\">";
        h.Grouped(c->logs) << "</td><td class=\"call\">";
        h.Text(c->best) << "</td></tr>";
    }
    h << "</tbody></table></div></section>";
}

std::string IndexPage(const Site& site) {
    // The contest's classes in the rules' order, then any other in the order first
    // seen; each by final score, best first; the overall table; checklogs apart.
    std::vector<std::string> order;
    std::map<std::string, std::string> titles;
    for (const auto& [name, title] : site.classes) {
        order.push_back(name);
        titles[name] = title;
    }
    std::map<std::string, std::vector<const ResultRow*>> byClass;
    std::vector<const ResultRow*> ranked, checklogs;
    for (const auto& row : site.results) {
        if (row.checklog) {
            checklogs.push_back(&row);
            continue;
        }
        ranked.push_back(&row);
        const std::string& key = row.className.empty() ? row.category : row.className;
        auto [it, fresh] = byClass.try_emplace(key);
        if (fresh && titles.find(key) == titles.end()) order.push_back(key);
        it->second.push_back(&row);
    }
    std::erase_if(order, [&](const std::string& k) { return byClass.find(k) == byClass.end(); });
    auto byScore = [](const ResultRow* a, const ResultRow* b) { return a->finalScore > b->finalScore; };
    std::stable_sort(ranked.begin(), ranked.end(), byScore);
    std::string out;
    out.reserve(site.results.size() * 240 + 8192);
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
    h.Grouped(static_cast<std::int64_t>(ranked.size())) << (ranked.size() == 1 ? " log" : " logs") << " in ";
    h.Grouped(static_cast<std::int64_t>(order.size())) << (order.size() == 1 ? " class" : " classes");
    if (!checklogs.empty()) {
        h << " and ";
        h.Grouped(static_cast<std::int64_t>(checklogs.size())) << (checklogs.size() == 1 ? " checklog" : " checklogs");
    }
    h << ". Each call links to its log\xE2\x80\x99s report.</p>";
    if (site.carriesData)
        h << "<p class=\"data\">The results as data: <a href=\"results.csv\">results.csv</a>, "
             "<a href=\"results.json\">results.json</a>, every contact\xE2\x80\x99s verdict: "
             "<a href=\"verdicts.csv\">verdicts.csv</a>; each entrant\xE2\x80\x99s log-check report in "
             "reports/, linked from the log\xE2\x80\x99s page.</p>";
    h << "<form class=\"filter\" role=\"search\" hidden><label for=\"filter\">Find a call</label> "
         "<input type=\"search\" id=\"filter\" autocomplete=\"off\" spellcheck=\"false\" placeholder=\"e.g. DL1\">"
         " <output id=\"filter-count\" for=\"filter\" aria-live=\"polite\"></output></form>";
    const bool overall = order.size() > 1;
    h << "<nav class=\"cats\" aria-label=\"Classes\"><ul>";
    for (std::size_t i = 0; i < order.size(); ++i) {
        h << "<li><a href=\"#cat-" << std::to_string(i) << "\">";
        h.Text(order[i].empty() ? "(no class)" : order[i]) << "</a> (";
        h.Grouped(static_cast<std::int64_t>(byClass[order[i]].size())) << ")</li>";
    }
    if (overall) h << "<li><a href=\"#overall\">Overall</a></li>";
    if (!checklogs.empty()) h << "<li><a href=\"#checklogs\">Checklogs</a></li>";
    h << "</ul></nav>";
    for (std::size_t i = 0; i < order.size(); ++i) {
        auto rows = byClass[order[i]];
        std::stable_sort(rows.begin(), rows.end(), byScore);
        std::string name = order[i].empty() ? "(no class)" : order[i];
        if (auto t = titles.find(order[i]); t != titles.end() && !t->second.empty()) name += " \xE2\x80\x94 " + t->second;
        ResultsTable(h, "cat-" + std::to_string(i), name, rows, "by final score",
                     [](const ResultRow& r, std::uint32_t n) {
                         return r.placeInClass > 0 ? Place{r.placeInClass, r.tiedInClass} : Place{n, false};
                     });
    }
    if (overall)
        ResultsTable(h, "overall", "Overall", ranked, "every class together, by final score",
                     [](const ResultRow& r, std::uint32_t n) {
                         return r.placeOverall > 0 ? Place{r.placeOverall, r.tiedOverall} : Place{n, false};
                     });
    ClubTable(h, ranked);
    if (!checklogs.empty()) {
        h << "<section id=\"checklogs\"><h2>Checklogs received</h2><p>Sent to help the check; not ranked.</p>"
             "<ul class=\"checklogs\">";
        for (const ResultRow* r : checklogs) {
            h << "<li class=\"call\">";
            if (r->hasPage) {
                h << "<a href=\"log/";
                h.Text(PageName(r->call)) << "\">";
                h.Text(r->call) << "</a>";
            } else {
                h.Text(r->call);
            }
            h << "</li>";
        }
        h << "</ul></section>";
    }
    h << "<p class=\"nomatch\" hidden>No call matches.</p>";
    Tail(h);
    return out;
}

void SummaryFact(Html& h, std::string_view key, std::string_view label) {
    h << "<tr><th scope=\"row\">" << label << "</th><td class=\"num\" data-key=\"" << key << "\">";
}

void LogErrorTable(Html& h, std::string_view id, std::string_view heading, std::string_view caption,
                   const std::vector<CheckSummary::LogErrors>& rows, std::string_view none) {
    h << "<section id=\"" << id << "\"><h2>" << heading << "</h2>";
    if (rows.empty()) {
        h << "<p>" << none << "</p></section>";
        return;
    }
    h << "<div class=\"scroll\"><table class=\"errors sortable\"><caption>" << caption
      << "</caption><thead><tr><th scope=\"col\">Call</th><th scope=\"col\" data-type=\"num\" class=\"num\">Error "
         "rate %</th><th scope=\"col\" "
         "data-type=\"num\" class=\"num\">Not in log</th><th scope=\"col\" data-type=\"num\" "
         "class=\"num\">Contacts</th></tr></thead><tbody>";
    for (const auto& r : rows) {
        h << "<tr><td class=\"call\"><a href=\"log/";
        h.Text(PageName(r.call)) << "\">";
        h.Text(r.call) << "</a></td><td class=\"num\">";
        h.Fixed(r.errorRatePercent, 1) << "</td><td class=\"num\">";
        h.Grouped(r.notInLog) << "</td><td class=\"num\">";
        h.Grouped(r.contacts) << "</td></tr>";
    }
    h << "</tbody></table></div></section>";
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
    h.Grouped(s.logs) << "</td></tr>";
    SummaryFact(h, "checklogs", "Checklogs");
    h.Grouped(s.checklogs) << "</td></tr>";
    SummaryFact(h, "contacts", "Contacts");
    h.Grouped(s.contacts) << "</td></tr>";
    SummaryFact(h, "crosschecked", "Cross-checked against another log");
    h.Grouped(s.crossChecked) << " (";
    h.Fixed(s.crossCheckedPercent, 1) << " % of all contacts)</td></tr>";
    SummaryFact(h, "confirmed", "Confirmed");
    h.Grouped(s.confirmed) << " (";
    h.Fixed(s.confirmedPercent, 1) << " % of those cross-checked)</td></tr>";
    SummaryFact(h, "busted", "Busted calls");
    h.Grouped(s.busted) << "</td></tr>";
    SummaryFact(h, "nil", "Not in log");
    h.Grouped(s.notInLog) << "</td></tr>";
    SummaryFact(h, "exchange", "Exchanges miscopied");
    h.Grouped(s.exchange) << "</td></tr>";
    SummaryFact(h, "uniques", "Uniques");
    h.Grouped(s.uniques) << "</td></tr>";
    SummaryFact(h, "nolog", "No log, credited");
    h.Grouped(s.noLog) << "</td></tr>";
    SummaryFact(h, "dupes", "Duplicates");
    h.Grouped(s.dupes) << "</td></tr>";
    SummaryFact(h, "period", "Outside the period");
    h.Grouped(s.period) << "</td></tr>";
    SummaryFact(h, "invalid", "Band or mode not allowed");
    h.Grouped(s.invalid) << "</td></tr>";
    SummaryFact(h, "partner", "Partner erred");
    h.Grouped(s.partner) << "</td></tr>";
    SummaryFact(h, "checklogcontacts", "Checklog contacts");
    h.Grouped(s.checklogContacts) << "</td></tr>";
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
    LogErrorTable(h, "by-error-rate", "Logs by error rate",
                  "Logs by error rate: the share of their contacts each station erred on, highest first", s.byErrorRate,
                  "No log erred.");
    LogErrorTable(h, "many-nil", "Logs with many contacts not in the other log",
                  "Logs with many contacts the other station\xE2\x80\x99s log does not hold, most first", s.manyNotInLog,
                  "No log has many.");
    h << "<section id=\"uniques\"><h2>Uniques (";
    h.Grouped(static_cast<std::int64_t>(s.uniqueCalls.size())) << ")</h2>";
    if (s.uniqueCalls.empty()) {
        h << "<p>No unique calls.</p>";
    } else {
        h << "<div class=\"scroll\"><table class=\"uniques sortable\"><caption>Calls in one log only, with no log of "
             "their own</caption><thead><tr><th scope=\"col\">Call</th><th scope=\"col\">Logged by</th></tr></thead><tbody>";
        for (const auto& [call, by] : s.uniqueCalls) {
            h << "<tr><td class=\"call\">";
            h.Text(call) << "</td><td class=\"call\">";
            h.Text(by) << "</td></tr>";
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
    // The log pages are made a batch at a time on the threads the program asked
    // for (contestlog/Parallel.h: the calling thread alone unless it opted in),
    // then handed to the sink in order on this thread.
    constexpr std::size_t kBatch = 64;
    const std::size_t count = site.logs.size();
    std::vector<std::string> pages;
    for (std::size_t first = 0; first < count; first += kBatch) {
        const std::size_t n = std::min(kBatch, count - first);
        pages.assign(n, std::string());
        contestlog::ForEachParallel(n, [&](std::size_t k) { pages[k] = SiteLogPage(site, site.logs[first + k]); });
        for (std::size_t k = 0; k < n; ++k) sink("log/" + PageName(site.logs[first + k].call), pages[k]);
    }
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
