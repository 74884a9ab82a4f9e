// yolscore --html DIR: the operator's own page beside an unchanged report;
// its running score ends at the report's score, its dupes are listed with
// their lines, a Windows-1251 name shows as UTF-8, and it cannot be asked for
// where nothing is scored. The folder is written as yolcheck writes its own:
// refused when it holds files, replaced only with --replace, checked first.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "RunScorer.h"

namespace yol::score {
namespace {

using test::AuditLog;
using test::Ran;
using test::RunYolscore;
using test::TempDir;
using test::WriteFile;

constexpr std::string_view kCty =
    "European Russia:          16:  29:  EU:   53.65:   -41.37:    -4.0:  UA:\n"
    "    R,U;\n"
    "Asiatic Russia:           17:  30:  AS:   55.88:   -84.08:    -7.0:  UA9:\n"
    "    R0,R8,R9,UA0,UA8,UA9;\n"
    "Fed. Rep. of Germany:     14:  28:  EU:   51.00:   -10.00:    -1.0:  DL:\n"
    "    DA,DL;\n";

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The number after "Score: " in the report: points*(districts+countries)=score.
std::string ReportScore(const std::string& report) {
    std::smatch m;
    return std::regex_search(report, m, std::regex(R"(Score: [0-9]+\*\([0-9]+\+[0-9]+\)=([0-9]+))")) ? m[1].str() : "";
}

TEST(OwnPage, BesideAnUnchangedReport) {
    TempDir dir;
    WriteFile(dir / "cty.dat", kCty);
    std::string log = AuditLog();
    log.insert(log.find("QSO:"), "NAME: \xC8\xE2\xE0\xED\nCATEGORY-OPERATOR: SINGLE-OP\n");
    WriteFile(dir / "a.log", log);
    const std::string cty = dir / "cty.dat";
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{}, {"--audit"}, {"--format", "json"}, {"--summary"}, {"--log-order"}}) {
        std::vector<std::string> plain{"--cty", cty};
        plain.insert(plain.end(), extra.begin(), extra.end());
        plain.push_back(dir / "a.log");
        std::vector<std::string> html = plain;
        html.insert(html.begin(), {"--replace", "--html", dir / "own"});
        const Ran a = RunYolscore(plain), b = RunYolscore(html);
        EXPECT_EQ(a.status, kClean) << a.err;
        EXPECT_EQ(b.status, kClean) << b.err;
        EXPECT_EQ(a.out, b.out);
        EXPECT_EQ(a.err, b.err);
    }

    const Ran report = RunYolscore({"--cty", cty, dir / "a.log"});
    const std::string score = ReportScore(report.out);
    ASSERT_FALSE(score.empty()) << report.out;
    const std::string page = Read(dir / "own/index.html");
    EXPECT_NE(page.find("data-final=\"" + score + "\""), std::string::npos) << "running score does not end at " << score;
    EXPECT_NE(page.find("\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD"), std::string::npos);  // the name in UTF-8
    EXPECT_NE(page.find("SINGLE-OP"), std::string::npos);
    // The dupe (line 7 of the log now: two header lines went in) with its line.
    EXPECT_NE(page.find("a.log:7"), std::string::npos);
    EXPECT_NE(page.find("repeats the contact at line 5"), std::string::npos);
    EXPECT_NE(page.find("1202 UA1AAA 599 MO01 DL1ABC 599 13"), std::string::npos);
    // No cross-check parts.
    EXPECT_EQ(page.find("id=\"verdicts\""), std::string::npos);
    EXPECT_EQ(page.find("<script"), std::string::npos);
}

TEST(OwnPage, UsageAndWriteErrors) {
    TempDir dir;
    WriteFile(dir / "cty.dat", kCty);
    WriteFile(dir / "a.log", AuditLog());
    const Ran parseOnly = RunYolscore({"--parse-only", "--html", dir / "p", dir / "a.log"});
    EXPECT_EQ(parseOnly.status, kUsageError);
    EXPECT_NE(parseOnly.err.find("--html"), std::string::npos) << parseOnly.err;
    const Ran noValue = RunYolscore({dir / "a.log", "--html"});
    EXPECT_EQ(noValue.status, kUsageError);
    EXPECT_EQ(RunYolscore({"--replace", dir / "a.log"}).status, kUsageError);
    // A folder that cannot be made is known before anything is scored.
    const Ran unwritten = RunYolscore({"--cty", dir / "cty.dat", "--html", dir / "a.log/p", dir / "a.log"});
    EXPECT_EQ(unwritten.status, kUnwritten);
    EXPECT_EQ(unwritten.err.rfind("yolscore: ", 0), 0u) << unwritten.err;
    EXPECT_NE(unwritten.err.find("a.log"), std::string::npos) << unwritten.err;
    EXPECT_EQ(unwritten.out, "");
}

TEST(OwnPage, TheFolderHoldsOneCompleteSet) {
    TempDir dir;
    WriteFile(dir / "cty.dat", kCty);
    WriteFile(dir / "a.log", AuditLog());
    const std::string site = dir / "site";
    const std::vector<std::string> args{"--cty", dir / "cty.dat", "--html", site, dir / "a.log"};
    ASSERT_EQ(RunYolscore(args).status, kClean);
    EXPECT_EQ(Read(site + "/.yol-manifest"), "index.html\n.yol-manifest\n");
    // A rerun is refused until --replace; the page is then the new one.
    const Ran again = RunYolscore(args);
    EXPECT_EQ(again.status, kUsageError);
    EXPECT_NE(again.err.find("yolscore: " + site + ": holds 1 file already"), std::string::npos) << again.err;
    EXPECT_EQ(again.out, "");
    std::vector<std::string> replace = args;
    replace.insert(replace.begin(), "--replace");
    EXPECT_EQ(RunYolscore(replace).status, kClean);
    EXPECT_NE(Read(site + "/index.html").find("a.log:"), std::string::npos);
    // A file of the committee's own is never replaced.
    WriteFile(dir / "site/notes.txt", "mine");
    const Ran foreign = RunYolscore(replace);
    EXPECT_EQ(foreign.status, kUsageError);
    EXPECT_NE(foreign.err.find("notes.txt, which no earlier run wrote"), std::string::npos) << foreign.err;
    EXPECT_EQ(Read(site + "/notes.txt"), "mine");
    EXPECT_TRUE(std::filesystem::exists(site + "/index.html"));
}

}  // namespace
}  // namespace yol::score
