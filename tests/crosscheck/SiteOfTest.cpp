// The results site filled from a check: the running score ends at the final
// score under both scorings, removed contacts carry both lines and what they
// cost, others' miscopies and the most-busted calls are told, names read as
// Windows-1251 show as UTF-8; and yolcheck --html writes the folder.
#include "SiteOf.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>

#include <gtest/gtest.h>

#include "CheckRun.h"
#include "CrossCheck.h"
#include "LogBuilder.h"
#include "Outputs.h"

namespace yol::check {
namespace {

namespace fs = std::filesystem;
namespace wr = webreport;
using test::LogBuilder;
using test::PerContactRules;

const wr::LogReport& PageOf(const wr::Site& site, const std::string& call) {
    for (const wr::LogReport& page : site.logs)
        if (page.call == call) return page;
    throw std::runtime_error("no page for " + call);
}

// Every log's running score ends at its final score, and the multipliers the
// contacts brought add up to the final multipliers.
void ExpectRunningScoresEndRight(const CheckResult& r) {
    for (std::size_t L = 0; L < r.logs.size(); ++L) {
        const std::vector<std::int64_t> running = RunningScore(r, L);
        ASSERT_EQ(running.size(), r.logs[L].verdicts.size());
        if (running.empty()) continue;
        EXPECT_EQ(running.back(), r.logs[L].final.score) << r.logs[L].call;
        // Taken in any order (here backwards), the last one taken ends there too.
        std::vector<std::size_t> backwards(running.size());
        std::iota(backwards.rbegin(), backwards.rend(), std::size_t{0});
        EXPECT_EQ(RunningScore(r, L, &backwards).front(), r.logs[L].final.score) << r.logs[L].call;
        const std::int64_t brought = std::accumulate(r.logs[L].scores.begin(), r.logs[L].scores.end(),
                                                     std::int64_t{0},
                                                     [](std::int64_t n, const ContactScore& v) { return n + v.multipliers; });
        EXPECT_EQ(brought, r.logs[L].checklog ? 0 : r.logs[L].final.multipliers) << r.logs[L].call;
    }
}

TEST(SiteOf, RunningScoreEndsAtTheFinalScoreUnderBothScorings) {
    // Per contact: a miscopied multiplier counts for nothing, busted and NIL are penalised.
    std::vector<SubmittedLog> logs = {
        LogBuilder("UA3AAA")
            .Q(10, 0, "UA3BBB", "599 MO", "599 SP")
            .Q(10, 1, "UA3CCC", "599 MO", "599 KR")  // miscopied: LE
            .Q(10, 2, "UA3BBB", "599 MO", "599 SP", "7")
            .Q(10, 3, "UA3CCX", "599 MO", "599 LE", "7"),  // busted: UA3CCC logged it
        LogBuilder("UA3BBB").Q(10, 0, "UA3AAA", "599 SP", "599 MO").Q(10, 2, "UA3AAA", "599 SP", "599 MO", "7"),
        LogBuilder("UA3CCC").Q(10, 1, "UA3AAA", "599 LE", "599 MO").Q(10, 3, "UA3AAA", "599 LE", "599 MO", "7"),
    };
    const CheckResult r = CrossCheck(logs, PerContactRules(), true);
    ASSERT_EQ(r.logs[0].verdicts[3].verdict, Verdict::Busted);
    EXPECT_EQ(r.logs[0].scores[0].multipliers, 1);  // SP on 14
    EXPECT_EQ(r.logs[0].scores[1].multipliers, 0);  // KR miscopied
    EXPECT_EQ(r.logs[0].scores[2].multipliers, 1);  // SP on 7
    EXPECT_EQ(r.logs[0].scores[3].rawPoints, 2);
    const std::vector<std::int64_t> running = RunningScore(r, 0);
    EXPECT_EQ(running[0], 2 * 1);
    EXPECT_EQ(running[2], 5 * 2);
    EXPECT_EQ(running[3], (5 - 2) * 2);  // the busted contact's penalty where it fell
    ExpectRunningScoresEndRight(r);
    // Without a multiplier token the score is the points: one multiplier, from the first contact.
    Rules plain = PerContactRules();
    plain.multiplierToken.clear();
    const CheckResult p = CrossCheck(logs, plain, true);
    EXPECT_EQ(p.logs[0].scores[0].multipliers, 1);
    ExpectRunningScoresEndRight(p);

    // YOL: through the scoring core, districts and countries.
    std::vector<SubmittedLog> yol = {
        LogBuilder("UA3AAA")
            .Q(10, 0, "UA3BBB", "599 MO01", "599 MO05")
            .Q(10, 5, "UA3CCC", "599 MO01", "599 MO07")
            .Q(10, 6, "UA3BBB", "599 MO01", "599 MO05", "7"),
        LogBuilder("UA3BBB").Q(10, 0, "UA3AAA", "599 MO05", "599 MO01").Q(10, 6, "UA3AAA", "599 MO05", "599 MO01", "7"),
    };
    for (SubmittedLog& log : yol) {
        log.myPrefix = "UA1";
        for (std::size_t i = 0; i < log.contacts.size(); ++i) {
            ContactTexts t = log.Texts(i);
            t.dxcc = "UA1";
            log.SetTexts(i, t);
        }
    }
    ContactTexts dl = yol[0].Texts(1);
    dl.dxcc = "DL";
    yol[0].SetTexts(1, dl);
    Rules rules = YolRules();
    rules.uniqueMinLogs = 1;
    const CheckResult y = CrossCheck(yol, rules, true);
    EXPECT_EQ(y.logs[0].scores[0].multipliers, 2);  // MO05 and UA1 on 14
    ExpectRunningScoresEndRight(y);
}

TEST(SiteOf, PagesCarryTheCheckAsTheResultsFileHasIt) {
    std::vector<SubmittedLog> logs = {
        LogBuilder("UA3AAA", "UA3AAA.log")
            .Q(10, 0, "UA3ABD", "599 1", "599 5")
            .Q(10, 10, "UA3XYZ", "599 2", "599 6"),
        LogBuilder("UA3ABC").Q(10, 1, "UA3AAA", "599 5", "599 1").Q(10, 11, "UA3XYZ", "599 6", "599 9"),
        LogBuilder("UA3XYZ").Q(10, 10, "UA3AAA", "599 6", "599 2").Q(10, 11, "UA3ABC", "599 9", "599 6"),
        LogBuilder("UA3CHK").Checklog().Q(10, 12, "UA3XYZ", "599 1", "599 7"),
    };
    logs[0].name = "\xC8\xE2\xE0\xED \xCF\xE5\xF2\xF0\xEE\xE2";  // Windows-1251
    logs[1].name = "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD";              // UTF-8 already
    logs[0].claimed = 12;
    const Rules rules = PerContactRules();
    CheckResult r = CrossCheck(logs, rules, true);
    r.summary.seconds = 1.25;
    const wr::Site site = SiteOf(logs, r, rules);

    // The index: results order, the figures of results.csv, the checklog under CHECKLOG.
    const std::vector<std::size_t> order = ResultsOrder(r);
    ASSERT_EQ(site.results.size(), order.size());
    ASSERT_EQ(site.logs.size(), order.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        const LogResult& lr = r.logs[order[k]];
        const wr::ResultRow& row = site.results[k];
        EXPECT_EQ(row.call, lr.call);
        EXPECT_EQ(row.finalScore, lr.final.score);
        EXPECT_EQ(row.finalContacts, lr.final.contacts);
        EXPECT_EQ(row.multipliers, lr.final.multipliers);
        EXPECT_DOUBLE_EQ(row.reductionPercent, lr.reductionPercent);
        EXPECT_DOUBLE_EQ(row.errorRatePercent, 100.0 * lr.errorRate);
        // The class as results.csv gives it, the category as the log declared it, the places.
        EXPECT_EQ(row.className, lr.className);
        EXPECT_EQ(row.category, lr.checklog ? "CHECKLOG" : "SINGLE-OP");
        EXPECT_EQ(row.placeOverall, lr.placeOverall);
        EXPECT_EQ(row.placeInClass, lr.placeInClass);
        EXPECT_EQ(row.checklog, lr.checklog);
        EXPECT_EQ(row.className, lr.checklog ? "" : "SO-MIXED");
    }
    EXPECT_EQ(site.results.front().placeOverall, 1u);
    EXPECT_EQ(site.classes.size(), 4u);  // the YOL classes
    EXPECT_EQ(site.results.back().call, "UA3CHK");

    const wr::LogReport& a = PageOf(site, "UA3AAA");
    EXPECT_EQ(a.name, "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD \xD0\x9F\xD0\xB5\xD1\x82\xD1\x80\xD0\xBE\xD0\xB2");
    EXPECT_EQ(PageOf(site, "UA3ABC").name, logs[1].name);
    EXPECT_EQ(a.claimed, std::optional<std::int64_t>(12));
    ASSERT_EQ(a.contacts.size(), 2u);
    // Contacts in time order: a line logged out of order takes its place by time.
    {
        std::vector<SubmittedLog> swapped = logs;
        std::swap(swapped[0].contacts[0], swapped[0].contacts[1]);
        const CheckResult s = CrossCheck(swapped, rules, true);
        const wr::Site swappedSite = SiteOf(swapped, s, rules);
        const wr::LogReport& page = PageOf(swappedSite, "UA3AAA");
        ASSERT_EQ(page.contacts.size(), 2u);
        EXPECT_LT(page.contacts[0].utc, page.contacts[1].utc);
        EXPECT_EQ(page.contacts[1].runningScore, s.logs[0].final.score);
    }
    EXPECT_EQ(a.contacts[0].band, "20m");
    EXPECT_EQ(a.contacts[0].verdict, wr::Verdict::Busted);
    EXPECT_EQ(a.contacts.back().runningScore, a.finalScore);
    ASSERT_EQ(a.removed.size(), 1u);
    const wr::RemovedContact& busted = a.removed[0];
    EXPECT_EQ(busted.verdict, wr::Verdict::Busted);
    EXPECT_EQ(busted.call, "UA3ABD");
    EXPECT_EQ(busted.ownPlace, "UA3AAA.log:10");  // the file's name, not its folder
    EXPECT_EQ(busted.ownLine, logs[0].Texts(0).line);
    EXPECT_EQ(busted.otherPlace, "UA3ABC.log:10");
    EXPECT_EQ(busted.otherLine, logs[1].Texts(0).line);
    EXPECT_EQ(busted.lost, 2 + 2);  // its points and as much again
    EXPECT_EQ(busted.band, "20m");
    EXPECT_EQ(busted.reason, "logged UA3ABD, the station worked was UA3ABC");  // its line stands beside

    // The station whose call was busted hears of it, their line first.
    const wr::LogReport& abc = PageOf(site, "UA3ABC");
    ASSERT_EQ(abc.othersMiscopied.size(), 1u);
    EXPECT_EQ(abc.othersMiscopied[0].call, "UA3ABD");
    EXPECT_EQ(abc.othersMiscopied[0].ownLine, logs[0].Texts(0).line);
    EXPECT_EQ(abc.othersMiscopied[0].otherLine, logs[1].Texts(0).line);
    EXPECT_TRUE(abc.removed.empty());
    EXPECT_TRUE(PageOf(site, "UA3CHK").removed.empty());  // a checklog loses nothing

    ASSERT_TRUE(site.summary);
    EXPECT_EQ(site.summary->logs, 4);
    EXPECT_EQ(site.summary->checklogs, 1);
    EXPECT_EQ(site.summary->busted, 1);
    EXPECT_DOUBLE_EQ(site.summary->seconds, 1.25);
    ASSERT_EQ(site.summary->mostBusted.size(), 1u);
    EXPECT_EQ(site.summary->mostBusted[0].call, "UA3ABC");
    EXPECT_EQ(site.summary->mostBusted[0].times, 1);
    ASSERT_EQ(site.summary->mostBusted[0].into.size(), 1u);
    EXPECT_EQ(site.summary->mostBusted[0].into[0], (std::pair<std::string, std::int64_t>("UA3ABD", 1)));
    EXPECT_NE(site.title.find("TEST"), std::string::npos);
}

TEST(SiteOf, APartnerIsToldWhoCopiedWhat) {
    std::vector<SubmittedLog> logs = {
        LogBuilder("UA3AAA").Q(10, 0, "UA3BBB", "599 MO01", "599 MO05").Q(10, 5, "UA3CCC", "599 MO01", "599 MO06"),
        LogBuilder("UA3BBB").Q(10, 1, "UA3AAA", "599 MO05", "599 MO01"),
        LogBuilder("UA3CCC").Q(10, 5, "UA3AAA", "599 MO05", "599 MO01"),
    };
    Rules both = PerContactRules();
    both.blameBoth = true;
    const CheckResult r = CrossCheck(logs, both, true);
    const wr::Site site = SiteOf(logs, r, both);
    const wr::LogReport& ccc = PageOf(site, "UA3CCC");
    ASSERT_EQ(ccc.removed.size(), 1u);
    EXPECT_EQ(ccc.removed[0].verdict, wr::Verdict::Partner);
    EXPECT_EQ(ccc.removed[0].reason, "UA3AAA copied your MO05 as MO06");
    EXPECT_EQ(ccc.removed[0].otherLine, logs[0].Texts(1).line);
    ExpectRunningScoresEndRight(r);
    // The miscopier a checklog: its finding comes after its code, and is told the same way.
    logs[0].checklog = true;
    const CheckResult c = CrossCheck(logs, both, true);
    const wr::Site checklogSite = SiteOf(logs, c, both);
    ASSERT_EQ(PageOf(checklogSite, "UA3CCC").removed.size(), 1u);
    EXPECT_EQ(PageOf(checklogSite, "UA3CCC").removed[0].reason, "UA3AAA copied your MO05 as MO06");
}

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int RunYolcheck(const std::vector<std::string>& args, std::string& err) {
    std::FILE* out = std::tmpfile();
    std::FILE* errFile = std::tmpfile();
    const int status = RunCheck(args, out, errFile, "/nonexistent/cty.dat");
    std::rewind(errFile);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, errFile)) > 0;) err.append(buffer, n);
    std::fclose(out);
    std::fclose(errFile);
    return status;
}

TEST(SiteOf, YolcheckHtmlWritesTheFolder) {
    const fs::path dir = fs::temp_directory_path() / "yolcheck-html-test";
    fs::remove_all(dir);
    fs::create_directories(dir / "logs");
    std::ofstream(dir / "logs" / "a.log", std::ios::binary)
        << "START-OF-LOG: 3.0\nCALLSIGN: UA3AAA\nNAME: \xC8\xE2\xE0\xED\nCATEGORY-OPERATOR: SINGLE-OP\n"
           "QSO: 14012 CW 2026-12-12 1200 UA3AAA 599 MO01 UA3BBB 599 MO05\nEND-OF-LOG:\n";
    std::ofstream(dir / "logs" / "b.log", std::ios::binary)
        << "START-OF-LOG: 3.0\nCALLSIGN: UA3BBB\nCATEGORY-OPERATOR: SINGLE-OP\n"
           "QSO: 14012 CW 2026-12-12 1201 UA3BBB 599 MO05 UA3AAA 599 MO01\nEND-OF-LOG:\n";
    const std::string rules = std::string(YOL_RULES_DIR) + "/yol-sim.toml";
    std::string err;
    EXPECT_EQ(RunYolcheck({"--rules", rules, "--out", (dir / "out").string(), "--html", (dir / "site").string(),
                   (dir / "logs").string()},
                  err),
              kCheckClean)
        << err;
    EXPECT_TRUE(fs::exists(dir / "site" / "index.html"));
    EXPECT_TRUE(fs::exists(dir / "site" / "summary.html"));
    EXPECT_TRUE(fs::exists(dir / "site" / "site.css"));
    const std::string page = Read(dir / "site" / "log" / "UA3AAA.html");
    EXPECT_NE(page.find("\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD"), std::string::npos);  // the name in UTF-8
    // The text outputs are those of a run without --html.
    std::string err2;
    ASSERT_EQ(RunYolcheck({"--rules", rules, "--out", (dir / "plain").string(), (dir / "logs").string()}, err2), kCheckClean);
    for (const char* name : {"results.csv", "verdicts.csv", "reports/UA3AAA.txt"})
        EXPECT_EQ(Read(dir / "out" / name), Read(dir / "plain" / name)) << name;

    // A file where the site's folder should be: the run says so and fails.
    std::ofstream(dir / "blocked", std::ios::binary) << "x";
    err.clear();
    EXPECT_EQ(RunYolcheck({"--rules", rules, "--out", (dir / "out2").string(), "--html", (dir / "blocked").string(),
                   (dir / "logs").string()},
                  err),
              kCheckUsage);
    EXPECT_NE(err.find("blocked: exists and is no folder"), std::string::npos) << err;
    fs::remove_all(dir);
}

}  // namespace
}  // namespace yol::check
