// The results site's writer without a browser: escaping, page names, what the
// pages hold and the numbers the plots carry.
#include "WebReport.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>

namespace wr = yol::webreport;

namespace {

constexpr std::int64_t kT0 = 29941200;  // 2026-12-05 12:00 UTC

std::string Escaped(std::string_view s) {
    std::string out;
    wr::AppendEscaped(out, s);
    return out;
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + what.size())) ++n;
    return n;
}

// The value of data-NAME on the element with id ID.
std::string DataOf(const std::string& page, const std::string& id, const std::string& name) {
    const auto at = page.find("id=\"" + id + "\"");
    if (at == std::string::npos) return "";
    const auto end = page.find('>', at);
    std::smatch m;
    const std::string tag = page.substr(at, end - at);
    if (std::regex_search(tag, m, std::regex("data-" + name + "=\"([^\"]*)\""))) return m[1];
    return "";
}

wr::LogReport Log(std::string call, std::vector<std::pair<std::int64_t, std::string>> contacts) {
    wr::LogReport r;
    r.call = std::move(call);
    r.category = "SINGLE-OP";
    std::int64_t score = 0;
    for (auto& [t, band] : contacts) {
        score += 2;
        r.contacts.push_back({t, band, wr::Verdict::Ok, 2, score});
    }
    r.finalScore = score;
    r.finalContacts = static_cast<std::int64_t>(r.contacts.size());
    return r;
}

std::map<std::string, std::string> Files(const wr::Site& site) {
    std::map<std::string, std::string> files;
    for (auto& [name, content] : wr::SiteFiles(site)) {
        EXPECT_FALSE(files.count(name)) << name << " written twice";
        files[name] = content;
    }
    return files;
}

}  // namespace

TEST(WebReportText, EscapesMarkupKeepsCyrillicAndReplacesBrokenUtf8) {
    EXPECT_EQ(Escaped("<a href=\"x\">R&D's</a>"), "&lt;a href=&quot;x&quot;&gt;R&amp;D&#39;s&lt;/a&gt;");
    EXPECT_EQ(Escaped("Иван Петров"), "Иван Петров");
    EXPECT_EQ(Escaped("\xF0\x9F\x93\xBB radio"), "\xF0\x9F\x93\xBB radio");
    const std::string bad = "\xEF\xBF\xBD";
    EXPECT_EQ(Escaped("\xC8\xE2\xE0\xED"), bad + bad + bad + bad);  // Windows-1251 "Иван" handed over unconverted
    EXPECT_EQ(Escaped("a\x80z"), "a" + bad + "z");                  // lone continuation byte
    EXPECT_EQ(Escaped("\xC0\xAF"), bad + bad);                      // overlong '/'
    EXPECT_EQ(Escaped("\xED\xA0\x80"), bad + bad + bad);            // a surrogate
    EXPECT_EQ(Escaped("end\xD0"), "end" + bad);                     // cut short at the end
    EXPECT_EQ(Escaped("a\x01" "b\tc"), "a" + bad + "b\tc");         // control character
}

TEST(WebReportText, PageNamesAreSafeAndDistinct) {
    EXPECT_EQ(wr::PageName("DL1ABC"), "DL1ABC.html");
    EXPECT_EQ(wr::PageName("DL1ABC/P"), "DL1ABC-P.html");
    EXPECT_EQ(wr::PageName("PA/DL1ABC/MM"), "PA-DL1ABC-MM.html");
    EXPECT_NE(wr::PageName("A/B"), wr::PageName("A-B"));
    EXPECT_NE(wr::PageName("A_2FB"), wr::PageName("A/B"));
    EXPECT_EQ(wr::PageName("../x"), "_2E_2E-_78.html");
    // Distinct on a disk that ignores case, and for the calls a plain '_' would join.
    EXPECT_NE(wr::PageName("dl1abc"), wr::PageName("DL1ABC"));
    EXPECT_NE(wr::PageName("DL1ABC_P"), wr::PageName("DL1ABC:P"));
    EXPECT_EQ(wr::PageName(""), "_.html");
    EXPECT_EQ(wr::PageName("Ж"), "_D0_96.html");
}

TEST(WebReportText, VerdictCodesRoundTrip) {
    for (int i = 0; i < wr::kVerdictCount; ++i) {
        const auto v = static_cast<wr::Verdict>(i);
        EXPECT_EQ(wr::VerdictFromCode(wr::VerdictCode(v)), v);
        EXPECT_FALSE(wr::VerdictLabel(v).empty());
    }
    EXPECT_EQ(wr::VerdictFromCode("BUSTED"), wr::Verdict::Busted);
    EXPECT_EQ(wr::VerdictFromCode("busted"), std::nullopt);
    EXPECT_EQ(wr::VerdictFromCode(""), std::nullopt);
}

TEST(WebReportSite, IndexHasEveryLogRankedByCategoryAndLinked) {
    wr::Site site;
    site.title = "Кубок <YOL>";
    for (auto [call, cat, score] : {std::tuple{"UA3ABC", "SOAB", 500}, {"DL1ABC/P", "SOAB", 900},
                                    {"R3DEMO", "ЮНИОРЫ", 100}, {"K1AR", "SOAB", 700}}) {
        wr::ResultRow row;
        row.call = call;
        row.category = cat;
        row.finalScore = score;
        row.claimed = score == 100 ? std::nullopt : std::optional<std::int64_t>(score + 10);
        row.reductionPercent = -0.0001;
        site.results.push_back(row);
    }
    site.results[3].hasPage = false;
    const auto files = Files(site);
    ASSERT_TRUE(files.count("index.html"));
    EXPECT_TRUE(files.count("site.css") && files.count("site.js"));
    EXPECT_FALSE(files.count("summary.html"));  // no summary given
    const std::string& index = files.at("index.html");
    EXPECT_NE(index.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_NE(index.find("<title>Кубок &lt;YOL&gt; — results</title>"), std::string::npos);
    EXPECT_EQ(Count(index, "<tr><td>"), 8);  // two class tables and the overall one
    // Within SOAB best first; the call without a page is not linked.
    const auto dl = index.find(">DL1ABC/P</a>"), k1 = index.find("K1AR"), ua = index.find(">UA3ABC</a>");
    ASSERT_NE(dl, std::string::npos);
    EXPECT_LT(dl, k1);
    EXPECT_LT(k1, ua);
    EXPECT_NE(index.find("href=\"log/DL1ABC-P.html\""), std::string::npos);
    EXPECT_EQ(index.find("log/K1AR.html"), std::string::npos);
    EXPECT_NE(index.find("<h2>ЮНИОРЫ</h2>"), std::string::npos);
    EXPECT_NE(index.find("<td>\xE2\x80\x94<td>"), std::string::npos);  // nothing claimed
    EXPECT_EQ(index.find("-0.0"), std::string::npos);
    EXPECT_EQ(index.find("summary.html"), std::string::npos);
    // Sortable headers for every column, the filter hidden until the script shows it.
    EXPECT_EQ(Count(index, "<th scope=\"col\""), 3 * 13);
    EXPECT_NE(index.find("<form class=\"filter\" role=\"search\" hidden>"), std::string::npos);
}

TEST(WebReportSite, NothingIsFetchedFromElsewhere) {
    wr::Site site;
    site.logs.push_back(Log("UA3ABC", {{kT0, "20m"}, {kT0 + 70, "40m"}}));
    site.results.push_back(wr::ResultRowOf(site.logs[0]));
    site.summary = wr::CheckSummary{};
    site.summary->mostBusted.push_back({"UA3ABC", 3, {{"UA3ABO", 2}, {"UA3AB", 1}}});
    const auto files = Files(site);
    EXPECT_EQ(files.size(), 5u);
    for (const auto& [name, content] : files) {
        // xmlns names a namespace, it is never fetched.
        std::string text = std::regex_replace(content, std::regex("xmlns=\"http://www.w3.org/2000/svg\""), "");
        EXPECT_EQ(text.find("http:"), std::string::npos) << name;
        EXPECT_EQ(text.find("https:"), std::string::npos) << name;
        EXPECT_EQ(text.find("@import"), std::string::npos) << name;
        EXPECT_EQ(Count(text, "<svg"), Count(text, "</svg>")) << name;
    }
    const std::string& page = files.at("log/UA3ABC.html");
    EXPECT_NE(page.find("href=\"../site.css\""), std::string::npos);
    EXPECT_NE(files.at("summary.html").find("<span class=\"call\">UA3ABO</span> ×2"), std::string::npos);
}

TEST(WebReportPlots, BarsForActiveHoursOnlyEvenAcrossMidnightAndStrays) {
    // Hours 12, 13 (two contacts), 23, 00 of the next day; a stray a month later.
    auto r = Log("UA3ABC", {{kT0 + 5, "20m"}, {kT0 + 61, "20m"}, {kT0 + 119, "40m"}, {kT0 + 11 * 60, "80m"},
                            {kT0 + 12 * 60 + 30, "80m"}});
    std::string page = wr::LogPage(r);
    EXPECT_EQ(DataOf(page, "hourly", "bars"), "4");
    EXPECT_EQ(DataOf(page, "hourly", "total"), "5");
    EXPECT_EQ(Count(page, "<g class=\"bar\""), 4);
    EXPECT_NE(page.find("data-hour=\"2026-12-05 13:00\" data-count=\"2\""), std::string::npos);
    EXPECT_NE(page.find("data-hour=\"2026-12-06 00:00\" data-count=\"1\""), std::string::npos);
    // The 13:00 bar holds one 20m and one 40m part, in dial order.
    const auto bar = page.find("data-hour=\"2026-12-05 13:00\"");
    const auto end = page.find("</g>", bar);
    const std::string one = page.substr(bar, end - bar);
    EXPECT_LT(one.find("data-band=\"40m\" data-count=\"1\""), one.find("data-band=\"20m\" data-count=\"1\""));

    r.contacts.push_back({kT0 + 30 * 1440, "20m", wr::Verdict::Period, 0, r.contacts.back().runningScore});
    page = wr::LogPage(r);
    EXPECT_EQ(DataOf(page, "hourly", "bars"), "5");
    EXPECT_EQ(DataOf(page, "activity", "cells"), "6");
    // The stray sits in its own column, not a month of empty space away.
    std::smatch m;
    ASSERT_TRUE(std::regex_search(page, m, std::regex("data-hour=\"2027-01-04 12:00\" data-count=\"1\"><title>[^<]*</title><rect[^>]* x=\"([0-9.]+)\"")));
    EXPECT_LT(std::stod(m[1]), 720.0);
}

TEST(WebReportPlots, ActivityCellsScoreAndVerdictsCarryTheLogsNumbers) {
    auto r = Log("DL1ABC/P", {{kT0, "20m"}, {kT0 + 14, "20m"}, {kT0 + 15, "20m"}, {kT0 + 16, "15m"}});
    r.contacts[1].verdict = wr::Verdict::Busted;
    r.contacts[1].points = 0;
    for (int i = 0; i < 996; ++i) r.contacts.push_back({kT0 + 20 + i / 10, "15m", wr::Verdict::Ok, 1, 8 + i + 1});
    r.finalScore = r.contacts.back().runningScore;
    const std::string page = wr::LogPage(r);
    EXPECT_EQ(DataOf(page, "activity", "total"), "1000");
    // 20m: two contacts 12:00-12:14, one 12:15-12:29.
    EXPECT_NE(page.find("data-band=\"20m\" data-count=\"3\" data-cells=\"29941200:2 29941215:1\""), std::string::npos);
    EXPECT_EQ(DataOf(page, "score", "final"), std::to_string(r.finalScore));
    EXPECT_EQ(DataOf(page, "score", "points"), "1000");
    // One busted contact in a thousand still gets a visible segment, with a label in the key.
    std::smatch m;
    ASSERT_TRUE(std::regex_search(page, m, std::regex("data-verdict=\"BUSTED\" data-count=\"1\"><title>[^<]*</title><rect[^>]* width=\"([0-9.]+)\"")));
    EXPECT_GE(std::stod(m[1]), 2.0);
    EXPECT_NE(page.find("<b>BUSTED</b> busted call: 1 (0.1%)"), std::string::npos);
    EXPECT_NE(page.find("<b>OK</b> confirmed: 999 (99.9%)"), std::string::npos);
    // Every plot says what it shows in words.
    for (const char* id : {"hourly", "activity", "score", "verdicts"}) {
        EXPECT_NE(page.find(std::string("<title id=\"") + id + "-t\">"), std::string::npos) << id;
        EXPECT_NE(page.find(std::string("<desc id=\"") + id + "-d\">"), std::string::npos) << id;
    }
    EXPECT_NE(page.find("1\u202F000 contacts in 12 active 10 min spans"), std::string::npos);
}

TEST(WebReportPages, OwnLogPageLeavesOutTheCheck) {
    auto r = Log("R3DEMO", {{kT0, "20m"}, {kT0 + 90, "40m"}});
    r.name = "Ольга Смирнова";
    r.claimed = 10;
    r.crossChecked = false;
    const std::string own = wr::LogPage(r, "YOL 2026");
    EXPECT_NE(own.find("<style>"), std::string::npos);
    EXPECT_EQ(own.find("<script"), std::string::npos);
    EXPECT_EQ(own.find("site.css"), std::string::npos);
    EXPECT_NE(own.find("Ольга Смирнова"), std::string::npos);
    EXPECT_EQ(own.find("id=\"verdicts\""), std::string::npos);
    EXPECT_EQ(own.find("Claimed score"), std::string::npos);
    EXPECT_EQ(own.find("Removed and penalised"), std::string::npos);
    EXPECT_NE(own.find("id=\"hourly\""), std::string::npos);

    r.crossChecked = true;
    r.clockOffsetMinutes = -7.5;
    wr::RemovedContact c;
    c.verdict = wr::Verdict::Busted;
    c.utc = kT0;
    c.call = "K1AB";
    c.reason = "the station worked was K1AR";
    c.ownPlace = "r3demo.log:12";
    c.ownLine = "QSO: 14025 CW 2026-12-05 1200 R3DEMO 599 001 K1AB 599 002";
    c.otherPlace = "k1ar.log:40";
    c.otherLine = "QSO: 14025 CW 2026-12-05 1200 K1AR 599 002 R3DEMO 599 001";
    r.removed.push_back(c);
    c.verdict = wr::Verdict::Nil;
    c.otherPlace.clear();
    c.otherLine.clear();
    r.removed.push_back(c);
    const std::string checked = wr::LogPage(r);
    EXPECT_NE(checked.find("id=\"verdicts\""), std::string::npos);
    EXPECT_NE(checked.find("\xE2\x88\x92" "7.5 min"), std::string::npos);
    EXPECT_NE(checked.find("Removed and penalised contacts (2)"), std::string::npos);
    // Busted before not-in-log, each with both lines side by side (none where there is none).
    const auto busted = checked.find("<h3 data-verdict=\"BUSTED\">"), nil = checked.find("<h3 data-verdict=\"NIL\">");
    ASSERT_NE(busted, std::string::npos);
    EXPECT_LT(busted, nil);
    EXPECT_NE(checked.find("<span class=\"place\">k1ar.log:40</span><code>QSO: 14025 CW 2026-12-05 1200 K1AR"), std::string::npos);
    EXPECT_NE(checked.find("<span class=\"none\">none</span>", nil), std::string::npos);
}

TEST(WebReportPages, EmptyLogStillMakesAPage) {
    wr::LogReport r;
    r.call = "N0ONE";
    const std::string page = wr::LogPage(r);
    EXPECT_EQ(Count(page, "No contacts to plot."), 4);
    EXPECT_NE(page.find("Removed and penalised contacts</h2><p>None"), std::string::npos);
    EXPECT_NE(page.find("</html>"), std::string::npos);
}

TEST(WebReportSite, ManyPagesComeInOrderAndASinkFailureStopsTheWriting) {
    wr::Site site;
    for (int i = 0; i < 300; ++i) {
        site.logs.push_back(Log("K" + std::to_string(i) + "AA", {{kT0 + i, "20m"}}));
        site.results.push_back(wr::ResultRowOf(site.logs.back()));
    }
    std::vector<std::string> names;
    wr::WriteSite(site, [&](std::string_view name, std::string_view content) {
        names.emplace_back(name);
        if (name.substr(0, 4) == "log/") {
            EXPECT_NE(content.find("data-call=\"" + std::string(name.substr(4, name.size() - 9)) + "\""), std::string::npos);
        }
    });
    ASSERT_EQ(names.size(), 303u);
    EXPECT_EQ(names[0], "site.css");
    EXPECT_EQ(names[2], "index.html");
    for (int i = 0; i < 300; ++i) EXPECT_EQ(names[3 + static_cast<std::size_t>(i)], "log/K" + std::to_string(i) + "AA.html");

    int calls = 0;
    EXPECT_THROW(wr::WriteSite(site, [&](std::string_view, std::string_view) {
                     if (++calls == 50) throw std::runtime_error("disk full");
                 }),
                 std::runtime_error);
    EXPECT_EQ(calls, 50);
}

namespace {

TEST(WebReportSite, ClassTablesOverallClubsAndChecklogsApart) {
    wr::Site site;
    site.classes = {{"SO-HIGH", "Single operator, high power"}, {"SO-LOW", ""}, {"SO-QRP", ""}};
    struct R { const char* call; const char* cls; std::int64_t score; std::uint32_t inClass, overall; const char* club; bool checklog; };
    for (const R& r : {R{"LZ1A", "SO-LOW", 300, 1, 2, "Plovdiv", false}, R{"LZ2B", "SO-HIGH", 500, 1, 1, "Plovdiv", false},
                       R{"LZ3C", "SO-HIGH", 200, 2, 3, "", false}, R{"LZ4D", "", 0, 0, 0, "Sofia", true},
                       R{"LZ5E", "SO-LOW", 200, 2, 3, "", false}}) {
        wr::ResultRow row;
        row.call = r.call;
        row.className = r.cls;
        row.finalScore = r.score;
        row.placeInClass = r.inClass;
        row.placeOverall = r.overall;
        row.club = r.club;
        row.checklog = r.checklog;
        row.tiedOverall = r.overall == 3;  // LZ3C and LZ5E share the 3rd place overall
        row.country = "Bulgaria";
        row.continent = "EU";
        site.results.push_back(row);
    }
    const std::string index = Files(site).at("index.html");
    // The rules' order (an empty class has no table), then overall; the checklog only listed.
    const auto high = index.find("<h2>SO-HIGH — Single operator, high power</h2>"), low = index.find("<h2>SO-LOW</h2>"),
               overall = index.find("<h2>Overall</h2>"), clubs = index.find("<h2>Clubs</h2>"),
               checklogs = index.find("<h2>Checklogs received</h2>");
    ASSERT_NE(high, std::string::npos);
    EXPECT_LT(high, low);
    EXPECT_LT(low, overall);
    EXPECT_LT(overall, clubs);
    EXPECT_LT(clubs, checklogs);
    EXPECT_EQ(index.find("<h2>SO-QRP"), std::string::npos);
    EXPECT_EQ(Count(index, "<tr><td>"), 8);  // 2 + 2 + 4: LZ4D is in no table
    EXPECT_NE(index.find("4 logs in 2 classes and 1 checklog"), std::string::npos);
    // The call and the score first; the places as the check gave them, as
    // people say them, a shared one marked.
    EXPECT_NE(index.find("<tr><td>2nd<td class=\"call\"><a href=\"log/LZ3C.html\">LZ3C</a><td>200<td class=\"txt\">SO-HIGH"
                         "<td class=\"txt\">Bulgaria<td class=\"txt\">EU"),
              std::string::npos);
    EXPECT_NE(index.find("<tr><td>=3rd<td class=\"call\"><a href=\"log/LZ3C.html\">LZ3C</a>"), std::string::npos);
    EXPECT_NE(index.find("<tr><td>=3rd<td class=\"call\"><a href=\"log/LZ5E.html\">LZ5E</a>"), std::string::npos);
    EXPECT_NE(index.find("<tr><td>1st<td class=\"call\"><a href=\"log/LZ2B.html\">LZ2B</a>"), std::string::npos);
    // The one club with two logs adds their scores (clubs without a name are left out).
    EXPECT_NE(index.find("<td>Plovdiv</td><td class=\"num\">800</td><td class=\"num\">2</td>"), std::string::npos);
    EXPECT_EQ(Count(index, "Sofia"), 0);  // a checklog brings its club nothing
}

TEST(WebReportPages, PlaceClassRatesAndTheDifferingTokenMarked) {
    auto r = Log("LZ0AJ", {{kT0, "80m"}, {kT0 + 3, "80m"}, {kT0 + 12, "80m"}, {kT0 + 70, "80m"}});
    r.className = "SO-LOW";
    r.classTitle = "Single operator, low power";
    r.placeInClass = 2;
    r.classSize = 16;
    r.placeOverall = 8;
    r.overallSize = 1044;
    r.tiedOverall = true;
    r.categoryNotes = {"CATEGORY: BANANA is no category word this check knows"};
    wr::RemovedContact c;
    c.verdict = wr::Verdict::Partner;
    c.call = "LZ0AU";
    c.ownFields = wr::LineFields{"You", kT0, "LZ0AJ", "029 010", "LZ0AU", "021 023"};
    c.otherFields = wr::LineFields{"LZ0AU", kT0 + 1, "LZ0AU", "021 23", "LZ0AJ", "039 010"};
    r.removed.push_back(c);
    const std::string page = wr::LogPage(r);
    EXPECT_NE(page.find("<strong>2nd</strong> of 16 in SO-LOW, <strong>8th (tie)</strong> of 1\u202F044 overall"),
              std::string::npos);
    EXPECT_NE(page.find("SO-LOW (Single operator, low power)"), std::string::npos);
    EXPECT_NE(page.find("<li>CATEGORY: BANANA is no category word this check knows</li>"), std::string::npos);
    // Best rates over sliding spans: three contacts within 60 minutes, two within 10.
    EXPECT_NE(page.find("data-key=\"best60\">3 contacts from 12:00 UTC"), std::string::npos);
    EXPECT_NE(page.find("data-key=\"best10\">2 contacts from 12:00 UTC"), std::string::npos);
    // What they logged against what was sent: only 039/029 differs ("23" is "023").
    EXPECT_EQ(Count(page, "<mark>"), 2);
    EXPECT_NE(page.find("LZ0AU logged</th><td></td><td class=\"call\">LZ0AJ</td><td class=\"call\"><mark>039</mark> 010"),
              std::string::npos);
    EXPECT_NE(page.find("You sent</th><td></td><td class=\"call\">LZ0AJ</td><td class=\"call\"><mark>029</mark> 010"),
              std::string::npos);
}

TEST(WebReportPlots, BinsFitTheContestAndLargeScoresStayReadable) {
    // A 4-hour contest: 10-minute bars whatever the log's own span.
    auto r = Log("UA3ABC", {{kT0, "20m"}, {kT0 + 5, "20m"}, {kT0 + 25, "40m"}});
    r.period = std::make_pair(kT0, kT0 + 240);
    std::string page = wr::LogPage(r);
    EXPECT_EQ(DataOf(page, "hourly", "minutes"), "10");
    EXPECT_EQ(DataOf(page, "hourly", "bars"), "2");
    EXPECT_NE(page.find("<figcaption>Contacts per 10 minutes, stacked by band</figcaption>"), std::string::npos);
    EXPECT_NE(page.find(">contacts per 10 min</text>"), std::string::npos);  // the value axis' title
    r.period = std::make_pair(kT0, kT0 + 48 * 60);
    EXPECT_EQ(DataOf(wr::LogPage(r), "hourly", "minutes"), "60");
    // A score of millions: axis labels in compact units, none longer than the axis has room for.
    for (auto& c : r.contacts) c.runningScore *= 2'000'000;
    page = wr::LogPage(r);
    const auto score = page.find("id=\"score\"");
    const std::string plot = page.substr(score, page.find("</svg>", score) - score);
    std::smatch m;
    std::string rest = plot;
    int labels = 0;
    while (std::regex_search(rest, m, std::regex("text-anchor=\"end\"><line[^>]*/><text[^>]*>([^<]*)</text>|"
                                                 "stroke=\"#(?:555|ddd)\"/><text[^>]*>([^<]*)</text>"))) {
        const std::string label = m[1].matched ? m[1].str() : m[2].str();
        EXPECT_LE(label.size(), 4u) << label;
        ++labels;
        rest = m.suffix();
    }
    EXPECT_GE(labels, 3);
    EXPECT_NE(plot.find(">5M</text>"), std::string::npos);
    EXPECT_NE(plot.find(">10M</text>"), std::string::npos);
    EXPECT_NE(plot.find(">score (points)</text>"), std::string::npos);
}

}  // namespace
