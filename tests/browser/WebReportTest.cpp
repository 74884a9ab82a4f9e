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
    EXPECT_EQ(Count(index, "<tr><td>"), 4);
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
    EXPECT_EQ(Count(index, "<th scope=\"col\""), 2 * 10);
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
    EXPECT_NE(page.find("1000 contacts in 2 active hours"), std::string::npos);
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
