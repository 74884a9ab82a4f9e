// yolcheck's command line over small log files written here.
#include "CheckRun.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "cli/ResultFolder.h"
#include "SiteOf.h"

#ifndef _WIN32
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace yol::check {
namespace {

namespace fs = std::filesystem;
using cli::ResultFolder;

const char* const kRules = R"(name = "Test"
modes = ["CW"]
bands = ["14"]
[period]
start = 2026-12-05T10:00:00Z
end = 2026-12-05T12:00:00Z
[scoring]
method = "per-contact"
confirmed = 2
miscopied = 1
multiplier = "exch"
)";

class CheckRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("yolcheck-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "logs");
    }
    void TearDown() override { fs::remove_all(dir_); }

    void Write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static std::string Cabrillo(const std::string& call, const std::string& qsos, const std::string& extra = "") {
        return "START-OF-LOG: 3.0\nCALLSIGN: " + call + "\nCATEGORY-OPERATOR: SINGLE-OP\n" + extra + qsos +
               "END-OF-LOG:\n";
    }
    // Runs yolcheck; stdout and stderr land in out_ and err_.
    int Run(std::vector<std::string> args) {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        const int status = RunCheck(args, out, err, (dir_ / "no-cty.dat").string());
        out_ = Slurp(out);
        err_ = Slurp(err);
        return status;
    }
    static std::string Slurp(std::FILE* f) {
        std::string text;
        std::rewind(f);
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
        std::fclose(f);
        return text;
    }

    // Files under a folder, relative, with their contents.
    static std::map<std::string, std::string> Tree(const fs::path& root) {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(root))
            if (e.is_regular_file()) files[fs::relative(e.path(), root).generic_string()] = Read(e.path());
        return files;
    }
    // Two stations that confirm each other, and a third that logged one of them.
    void ThreeLogs() {
        Write("rules.toml", kRules);
        Write("logs/a.log", Cabrillo("UA3AAA", "QSO: 14010 CW 2026-12-05 1000 UA3AAA 599 MO01 UA3BBB 599 MO02\n"));
        Write("logs/b.log", Cabrillo("UA3BBB", "QSO: 14010 CW 2026-12-05 1001 UA3BBB 599 MO02 UA3AAA 599 MO01\n"));
        Write("logs/c.log", Cabrillo("UA3CCC", "QSO: 14010 CW 2026-12-05 1003 UA3CCC 599 MO03 UA3AAA 599 MO01\n"));
    }
    std::vector<std::string> Args(std::vector<std::string> extra) const {
        std::vector<std::string> args{"--rules", (dir_ / "rules.toml").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back((dir_ / "logs").string());
        return args;
    }

    fs::path dir_;
    std::string out_, err_;
};


TEST_F(CheckRunTest, WritesEveryOutputAndRejectsBadInputByFileAndLine) {
    Write("rules.toml", kRules);
    Write("logs/a.log", Cabrillo("UA3AAA",
                                 "QSO: 14010 CW 2026-12-05 1000 UA3AAA 599 MO01 UA3BBB 599 MO02\n"
                                 "QSO: 14010 CW 2026-12-05 1005 UA3AAA 599 MO01 UA3CCC 599 MO03\n"
                                 "QSO: 14010 CW 2026-12-05 1300 UA3AAA 599 MO01 UA3DDD 599 MO04\n",
                                 "CLAIMED-SCORE: 1,234\n"));
    Write("logs/b.log", Cabrillo("UA3BBB",
                                 "QSO: 14010 CW 2026-12-05 1001 UA3BBB 599 MO02 UA3AAA 599 MO01\n"
                                 "QSO: 14010 CW 2026-12-05 99:99 UA3BBB 599 MO02 UA3CCC 599 MO03\n"));
    Write("logs/b2.log", Cabrillo("UA3BBB", "QSO: 14010 CW 2026-12-05 1001 UA3BBB 599 MO02 UA3AAA 599 MO01\n"));
    Write("logs/c.log", Cabrillo("ua3ccc", "QSO: 14010 CW 2026-12-05 1005 UA3CCC 599 MO03 UA3AAA 599 MO01\n",
                                 "CATEGORY-OPERATOR: CHECKLOG\n"));
    Write("logs/nocall.adi", "log\n<EOH>\n<CALL:6>UA3BBB<QSO_DATE:8>20261205<TIME_ON:4>1000<BAND:3>20m<MODE:2>CW<EOR>\n");
    Write("logs/notes.txt", "nothing to see here\n");
    const fs::path out = dir_ / "out";
    const int status = Run({"--rules", (dir_ / "rules.toml").string(), "--out", out.string(), (dir_ / "logs").string()});
    EXPECT_EQ(status, kCheckRejected) << err_;
    const std::string logs = (dir_ / "logs").string();
    EXPECT_NE(err_.find(logs + "/b2.log:1: a second log for UA3BBB (the first is " + logs + "/b.log)"),
              std::string::npos) << err_;
    EXPECT_NE(err_.find(logs + "/nocall.adi:1: the log names no call of its own"), std::string::npos) << err_;
    EXPECT_NE(err_.find(logs + "/notes.txt"), std::string::npos) << err_;
    // A contact outside the period is a verdict, not an error; one without a time is named.
    EXPECT_EQ(err_.find("outside the contest period"), std::string::npos) << err_;
    EXPECT_NE(err_.find(logs + "/b.log: a contact without a time that parses (line 5"), std::string::npos) << err_;

    for (const char* name : {"results.csv", "results.json", "summary.txt", "verdicts.csv", "reports/UA3AAA.txt",
                             "reports/UA3BBB.txt", "reports/UA3CCC.txt"})
        EXPECT_TRUE(fs::exists(out / name)) << name;
    const std::string verdicts = Read(out / "verdicts.csv");
    EXPECT_NE(verdicts.find("UA3AAA,a.log,5,2026-12-05 10:00,14,CW,UA3BBB,OK,,UA3BBB,b.log:4,,2,"),
              std::string::npos) << verdicts;
    EXPECT_NE(verdicts.find(",UA3DDD,PERIOD,self,"), std::string::npos);
    EXPECT_NE(verdicts.find("UA3CCC,c.log,5,2026-12-05 10:05,14,CW,UA3AAA,CHECKLOG,"), std::string::npos);
    const std::string a = Read(out / "reports/UA3AAA.txt");
    EXPECT_NE(a.find("Claimed score:  1234\n"), std::string::npos) << a;
    EXPECT_NE(a.find("Final score:    8  (2 contacts, 4 points, 2 multipliers)"), std::string::npos) << a;
    EXPECT_NE(Read(out / "results.csv").find("\r\nUA3AAA,SO-MIXED,1234,"), std::string::npos);
    EXPECT_NE(out_.find("3 logs, "), std::string::npos) << out_;
}

// A line one sent token short of the contest's exchange (the rules' token
// counts) is read, checked and listed in the entrant's report; the other side
// is not faulted on the token never logged. A line no count reads stays
// skipped, named by file and line.
TEST_F(CheckRunTest, ALineOneTokenShortIsReadCheckedAndTheEntrantTold) {
    Write("rules.toml", kRules);
    Write("logs/a.log", Cabrillo("UA3AAA", "QSO: 14010 CW 2026-12-05 1000 UA3AAA 599  UA3BBB 599 MO02\n"));
    Write("logs/b.log", Cabrillo("UA3BBB", "QSO: 14010 CW 2026-12-05 1001 UA3BBB 599 MO02 UA3AAA 599 MO01\n"));
    const fs::path out = dir_ / "out", site = dir_ / "site";
    ASSERT_EQ(Run(Args({"--out", out.string(), "--html", site.string()})), kCheckClean) << err_;
    EXPECT_NE(Read(site / "log/UA3AAA.html").find("<section id=\"incomplete\"><h2>Lines read with a token missing (1)"),
              std::string::npos);
    const std::string verdicts = Read(out / "verdicts.csv");
    EXPECT_NE(verdicts.find("UA3AAA,a.log,4,2026-12-05 10:00,14,CW,UA3BBB,OK,"), std::string::npos) << verdicts;
    EXPECT_NE(verdicts.find("UA3BBB,b.log,4,2026-12-05 10:01,14,CW,UA3AAA,OK,"), std::string::npos) << verdicts;
    const std::string a = Read(out / "reports/UA3AAA.txt");
    EXPECT_NE(a.find("Lines read with a token missing (1; each checked as read)\n  line 4: this line has one sent "
                     "token fewer than the contest's exchange (2 sent, 2 received): read as sent '599', worked call "
                     "'UA3BBB', received '599 MO02'\n"),
              std::string::npos) << a;

    Write("logs/a.log", Cabrillo("UA3AAA", "QSO: 14010 CW 2026-12-05 1000 UA3AAA 599 UA3BBB UA3BBC MO02\n"));
    EXPECT_EQ(Run(Args({"--out", (dir_ / "out2").string()})), kCheckRejected);
    EXPECT_NE(err_.find((dir_ / "logs").string() + "/a.log: a line not read (line 4: "), std::string::npos) << err_;
}

// The lines the outputs quote are read back from the files after the check:
// the busted call's own line and the true station's line, in the report and
// in verdicts.csv, exactly as in the files (CR LF line ends off).
TEST_F(CheckRunTest, QuotedLinesReadBackFromTheFiles) {
    Write("rules.toml", kRules);
    const std::string aLine = "QSO: 14010 CW 2026-12-05 1000 UA3AAA 599 MO01 UA3ABD 599 MO02";
    const std::string cLine = "QSO: 14010 CW 2026-12-05 1001 UA3ABC 599 MO02 UA3AAA 599 MO01";
    Write("logs/a.log", "START-OF-LOG: 3.0\r\nCALLSIGN: UA3AAA\r\n" + aLine + "\r\nEND-OF-LOG:\r\n");
    Write("logs/c.log", Cabrillo("UA3ABC", cLine + "\n"));
    const fs::path out = dir_ / "out";
    EXPECT_EQ(Run({"--rules", (dir_ / "rules.toml").string(), "--out", out.string(), (dir_ / "logs").string()}),
              kCheckClean) << err_;
    const std::string a = Read(out / "reports/UA3AAA.txt");
    EXPECT_NE(a.find("\nBusted calls (1)\n  line 3: " + aLine + "\n"), std::string::npos) << a;
    EXPECT_NE(a.find("UA3ABC's log, line 4: " + cLine + "\n"), std::string::npos) << a;
    const std::string c = Read(out / "reports/UA3ABC.txt");
    EXPECT_NE(c.find("UA3AAA logged you as UA3ABD, line 3: " + aLine + "\n"), std::string::npos) << c;
    EXPECT_NE(Read(out / "verdicts.csv").find(",BUSTED,self,UA3ABC,c.log:4,,0,\"logged UA3ABD, the station worked was UA3ABC\"\r\n"), std::string::npos);
}

TEST_F(CheckRunTest, ExitStatusForUsageRulesAndUnreadableLogs) {
    EXPECT_EQ(Run({"--bogus"}), kCheckUsage);
    EXPECT_EQ(Run({dir_.string()}), kCheckUsage);  // no --out
    EXPECT_NE(err_.find("--out"), std::string::npos) << err_;
    EXPECT_EQ(Run({"--out", "x", "--bogus", "a.log"}), kCheckUsage);
    EXPECT_EQ(err_.rfind("yolcheck: ", 0), 0u) << err_;
    EXPECT_NE(err_.find("\nRun with --help for more information.\n"), std::string::npos) << err_;
    EXPECT_EQ(Run({"--help"}), kCheckClean);
    EXPECT_NE(out_.find("--parse-only"), std::string::npos);
    EXPECT_NE(out_.find("Usage: yolcheck"), std::string::npos) << out_;
    for (const char* status : {"\n  0  every log read", "\n  1  input not used", "\n  2  usage error", "\n  3  the rules"})
        EXPECT_NE(out_.find(status), std::string::npos) << status;
    // The same words as yolscore's and yolloggen's help: folders are DIR, files FILE.
    for (const char* option : {"  --out DIR ", "  --html DIR ", "  --rules FILE ", "  --cty FILE ", "  -q,--quiet ",
                               "  --replace ", "  --classes FILE ", " this help\n", " the program's version\n"})
        EXPECT_NE(out_.find(option), std::string::npos) << option << out_;
    EXPECT_EQ(Run({"--version"}), kCheckClean);
    EXPECT_EQ(out_.rfind("yolcheck ", 0), 0u) << out_;

    Write("bad.toml", "name = \"x\"\n[matching]\nwindows = 3\n");
    Write("logs/a.log", Cabrillo("UA3AAA", "QSO: 14010 CW 2026-12-05 1000 UA3AAA 599 MO01 UA3BBB 599 MO02\n"));
    EXPECT_EQ(Run({"--rules", (dir_ / "bad.toml").string(), "--out", (dir_ / "o").string(), (dir_ / "logs").string()}),
              kCheckUnreadable);
    EXPECT_EQ(err_, (dir_ / "bad.toml").string() + ":3: unknown key 'matching.windows'\n");
    EXPECT_EQ(Run({"--out", (dir_ / "o").string(), (dir_ / "missing.log").string()}), kCheckUnreadable);
    fs::create_directories(dir_ / "empty");
    EXPECT_EQ(Run({"--out", (dir_ / "o").string(), (dir_ / "empty").string()}), kCheckUnreadable);
    EXPECT_EQ(err_, "yolcheck: no log files given or found\n");

    // A folder given as the rules file, and a country file named that cannot
    // be read, stop the check before it runs on other rules or countries.
    EXPECT_EQ(Run({"--rules", (dir_ / "logs").string(), "--out", (dir_ / "o").string(), (dir_ / "logs").string()}),
              kCheckUnreadable);
    EXPECT_EQ(err_, (dir_ / "logs").string() + ": a folder, not a rules file\n");
    EXPECT_EQ(Run({"--cty", (dir_ / "missing.dat").string(), "--out", (dir_ / "o").string(), (dir_ / "logs").string()}),
              kCheckUnreadable);
    EXPECT_NE(err_.find("missing.dat"), std::string::npos) << err_;

    EXPECT_EQ(Run({"--parse-only", (dir_ / "logs").string()}), kCheckClean) << err_;
    EXPECT_EQ(out_, "1 logs, 1 contacts read\n");
    EXPECT_FALSE(fs::exists(dir_ / "o"));
}

// --classes: the committee's class for single logs, over the rules' own
// table; a wrong line stops the run before anything is read, named by line.
TEST_F(CheckRunTest, AFileOfClassesPlacesSingleLogs) {
    ThreeLogs();
    Write("rules.toml", std::string(kRules) + "[categories]\n[[categories.class]]\nname = \"SO\"\noperator = \"SINGLE-OP\"\n"
                                              "[[categories.class]]\nname = \"MULTI\"\n");
    Write("classes.txt", "# by mail\nua3bbb MULTI\n");
    ASSERT_EQ(Run(Args({"--classes", (dir_ / "classes.txt").string(), "--out", (dir_ / "o").string()})), kCheckClean)
        << err_;
    EXPECT_NE(Read(dir_ / "o/reports/UA3BBB.txt").find("1st of 1 in MULTI"), std::string::npos)
        << Read(dir_ / "o/reports/UA3BBB.txt");
    EXPECT_NE(Read(dir_ / "o/reports/UA3AAA.txt").find(" in SO, "), std::string::npos);
    Write("classes.txt", "UA3AAA SO\nUA3BBB M\n");
    EXPECT_EQ(Run(Args({"--classes", (dir_ / "classes.txt").string(), "--out", (dir_ / "o2").string()})),
              kCheckUnreadable);
    EXPECT_EQ(err_, (dir_ / "classes.txt").string() + ":2: no class 'M' in the rules (the classes: SO, MULTI)\n");
    EXPECT_FALSE(fs::exists(dir_ / "o2"));
}

// Verdicts are results: a check with a contact not in the other log and
// one outside the period exits 0; --strict makes chosen kinds status 1; -q
// leaves stderr and stdout empty; what the log folder holds besides logs is
// named.
TEST_F(CheckRunTest, VerdictsAreResultsAndStrictMakesThemErrors) {
    ThreeLogs();  // UA3AAA's log lacks UA3CCC: NIL for UA3CCC
    Write("logs/d.log", Cabrillo("UA3DDD", "QSO: 14010 CW 2026-12-05 1300 UA3DDD 599 MO04 UA3AAA 599 MO01\n"));
    fs::create_directories(dir_ / "logs" / "old");
    Write("logs/.hidden.log", Cabrillo("UA3EEE", ""));
    std::error_code ec;
    fs::create_symlink(dir_ / "nowhere.log", dir_ / "logs" / "gone.log", ec);
    EXPECT_EQ(Run(Args({"--out", (dir_ / "o1").string()})), kCheckClean) << err_;
    const std::string logs = (dir_ / "logs").string();
    EXPECT_NE(err_.find(logs + "/old: skipped: a folder"), std::string::npos) << err_;
    EXPECT_NE(err_.find(logs + "/.hidden.log: skipped: a dot file"), std::string::npos) << err_;
    if (!ec) {
        EXPECT_NE(err_.find(logs + "/gone.log: skipped: a symbolic link to nothing"), std::string::npos) << err_;
    }
    EXPECT_EQ(err_.find('\r'), std::string::npos) << "no progress line into a file";
    EXPECT_NE(out_.find("4 logs, 4 contacts checked in "), std::string::npos) << out_;
    EXPECT_NE(out_.find("; written to " + (dir_ / "o1").string() +
                        " (4 reports, results.csv, results.json, summary.txt, verdicts.csv); not used: nothing\n"),
              std::string::npos)
        << out_;

    EXPECT_EQ(Run(Args({"-q", "--strict", "nil,PERIOD", "--out", (dir_ / "o2").string()})), kCheckRejected);
    EXPECT_EQ(out_, "");
    EXPECT_EQ(err_, "yolcheck: --strict: 1 NIL, 1 PERIOD\n");
    EXPECT_EQ(Run(Args({"-q", "--strict", "BUSTED", "--out", (dir_ / "o3").string()})), kCheckClean) << err_;
    EXPECT_EQ(err_, "");
    EXPECT_EQ(Run(Args({"--strict", "WRONG", "--out", (dir_ / "o4").string()})), kCheckUsage);
    EXPECT_NE(err_.find("no verdict is called WRONG"), std::string::npos) << err_;
    EXPECT_FALSE(fs::exists(dir_ / "o4"));
}

// Classes whose exchanges differ in length: each log's lines read by the
// rules' token counts, each side checked against what the other's class sends.
TEST_F(CheckRunTest, ExchangeClassesOfDifferentLengths) {
    Write("cty.dat", "United States:            05:  08:  NA:   37.53:    91.67:     5.0:  K:\n    K,N,W;\n"
                     "Fed. Rep. of Germany:     14:  28:  EU:   51.00:   -10.00:    -1.0:  DL:\n    DA,DL;\n");
    Write("rules.toml", "[[exchange.classes]]\ncountries = [\"K\"]\n"
                        "sent = [{ name = \"serial\" }, { name = \"state\" }]\n"
                        "received = [{ name = \"serial\", check = \"number\" }, { name = \"state\", check = \"exact\" }]\n"
                        "[[exchange.classes]]\nsent = [{ name = \"power\" }]\n"
                        "received = [{ name = \"power\", check = \"exact\" }]\n"
                        "[scoring]\nmethod = \"per-contact\"\n");
    Write("logs/k.log", Cabrillo("K1ABC", "QSO: 14010 CW 2026-12-05 1000 K1ABC 1 MA DL1AAA 100\n"
                                          "QSO: 14010 CW 2026-12-05 1001 K1ABC 2 MA W6BBB 7 CA\n"));
    Write("logs/d.log", Cabrillo("DL1AAA", "QSO: 14010 CW 2026-12-05 1000 DL1AAA 100 K1ABC 1 MA\n"));
    Write("logs/w.log", Cabrillo("W6BBB", "QSO: 14010 CW 2026-12-05 1001 W6BBB 7 CA K1ABC 2 MO\n"));
    const fs::path o = dir_ / "o";
    EXPECT_EQ(Run(Args({"--cty", (dir_ / "cty.dat").string(), "--out", o.string()})), kCheckClean) << err_;
    EXPECT_NE(out_.find("3 logs, 4 contacts checked in "), std::string::npos) << out_;
    EXPECT_NE(out_.find("not used: nothing\n"), std::string::npos) << out_;
    const std::string verdicts = Read(o / "verdicts.csv");
    EXPECT_NE(verdicts.find(",DL1AAA,OK,"), std::string::npos) << verdicts;
    EXPECT_NE(verdicts.find(",W6BBB,OK,"), std::string::npos) << verdicts;
    EXPECT_NE(verdicts.find(",K1ABC,EXCHANGE,self,"), std::string::npos) << verdicts;  // W6BBB copied MO for MA
}

// A rerun into the same folders is refused until --replace, which removes
// what the earlier run wrote and nothing else; a folder holding files of
// its own is never replaced; the results never go into the log folder.
TEST_F(CheckRunTest, OutputFoldersHoldOneCompleteSet) {
    ThreeLogs();
    const fs::path o = dir_ / "o", h = dir_ / "h";
    ASSERT_EQ(Run(Args({"--out", o.string(), "--html", h.string()})), kCheckClean) << err_;
    for (const fs::path& folder : {o, h}) {
        EXPECT_TRUE(fs::exists(folder / "reports/UA3CCC.txt"));
        EXPECT_TRUE(fs::exists(folder / "verdicts.csv"));
        EXPECT_TRUE(fs::exists(folder / std::string(ResultFolder::kManifestName)));
    }
    EXPECT_TRUE(fs::exists(h / "results.json"));
    EXPECT_EQ(Read(o / "reports/UA3AAA.txt"), Read(h / "reports/UA3AAA.txt"));
    EXPECT_NE(Read(h / "index.html").find("<a href=\"verdicts.csv\">verdicts.csv</a>"), std::string::npos);
    EXPECT_NE(Read(h / "log/UA3AAA.html").find("<a href=\"../reports/UA3AAA.txt\">Your log-check report</a>"),
              std::string::npos);
    const auto before = Tree(o);

    fs::remove(dir_ / "logs/c.log");
    EXPECT_EQ(Run(Args({"--out", o.string(), "--html", h.string()})), kCheckUsage);
    EXPECT_NE(err_.find(o.string() + ": holds 7 files already"), std::string::npos) << err_;
    EXPECT_EQ(Tree(o), before);
    EXPECT_EQ(Run(Args({"--replace", "--out", o.string(), "--html", h.string()})), kCheckClean) << err_;
    EXPECT_FALSE(fs::exists(o / "reports/UA3CCC.txt"));
    EXPECT_FALSE(fs::exists(h / "reports/UA3CCC.txt"));
    EXPECT_FALSE(fs::exists(h / "log/UA3CCC.html"));
    for (const auto& e : fs::directory_iterator(dir_))  // nothing left beside the folders
        EXPECT_EQ(e.path().filename().string().find(".o."), std::string::npos) << e.path();

    Write("o/mine.xlsx", "the committee's own");
    EXPECT_EQ(Run(Args({"--replace", "--out", o.string()})), kCheckUsage);
    EXPECT_NE(err_.find(o.string() + ": holds mine.xlsx, which no earlier run wrote"), std::string::npos) << err_;
    EXPECT_EQ(Read(o / "mine.xlsx"), "the committee's own");

    EXPECT_EQ(Run(Args({"--out", (dir_ / "logs").string()})), kCheckUsage);
    EXPECT_NE(err_.find(": is the log folder "), std::string::npos) << err_;
    EXPECT_EQ(Run(Args({"--out", (dir_ / "logs" / "results").string()})), kCheckUsage);
    EXPECT_NE(err_.find(": is inside the log folder "), std::string::npos) << err_;
    EXPECT_FALSE(fs::exists(dir_ / "logs" / "results"));
    EXPECT_EQ(Run(Args({"--out", o.string(), "--html", (o / "site").string()})), kCheckUsage);

    // --html alone is enough; a symbolic link given as the folder is refused.
    EXPECT_EQ(Run(Args({"--html", (dir_ / "h2").string()})), kCheckClean) << err_;
    EXPECT_TRUE(fs::exists(dir_ / "h2/results.csv"));
    EXPECT_TRUE(fs::exists(dir_ / "h2/reports/UA3AAA.txt"));
    std::error_code ec;
    fs::create_directory_symlink(dir_ / "elsewhere", dir_ / "link", ec);
    if (!ec) {
        EXPECT_EQ(Run(Args({"--out", (dir_ / "link").string()})), kCheckUsage);
        EXPECT_FALSE(fs::exists(dir_ / "elsewhere"));
    }
}

#ifndef _WIN32
// A run killed while it writes leaves the previous complete set.
TEST_F(CheckRunTest, AKilledRunLeavesThePreviousCompleteSet) {
    ThreeLogs();
    const fs::path o = dir_ / "o", h = dir_ / "h";
    ASSERT_EQ(Run(Args({"--out", o.string(), "--html", h.string()})), kCheckClean) << err_;
    const auto outBefore = Tree(o), siteBefore = Tree(h);
    Write("logs/d.log", Cabrillo("UA3DDD", "QSO: 14010 CW 2026-12-05 1004 UA3DDD 599 MO04 UA3AAA 599 MO01\n"));
    for (const int killAfter : {2, 12}) {  // while writing the data; while writing the site
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int written = 0;
            ResultFolder::AfterWrite() = [&](const fs::path&) {
                if (++written == killAfter) raise(SIGKILL);
            };
            std::FILE* sink = std::fopen("/dev/null", "w");
            RunCheck(Args({"--replace", "--out", o.string(), "--html", h.string()}), sink, sink, "/nonexistent");
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << killAfter;
        EXPECT_EQ(Tree(o), outBefore) << killAfter;
        EXPECT_EQ(Tree(h), siteBefore) << killAfter;
    }
    // The next run clears what the killed one left beside the folders.
    EXPECT_EQ(Run(Args({"--replace", "--out", o.string(), "--html", h.string()})), kCheckClean) << err_;
    EXPECT_TRUE(fs::exists(o / "reports/UA3DDD.txt"));
    for (const auto& e : fs::directory_iterator(dir_))
        EXPECT_EQ(e.path().filename().string().find(".partial-"), std::string::npos) << e.path();
}
#endif

// Each call its own report and page, the same name for both, whatever the
// call holds; a call too long for a file name is an error for its log alone.
TEST_F(CheckRunTest, CallsGetFilesOfTheirOwn) {
    Write("rules.toml", kRules);
    const std::vector<std::string> calls = {"DL1ABC/P", "DL1ABC_P", "DL1ABC:P"};
    for (std::size_t i = 0; i < calls.size(); ++i)
        Write("logs/" + std::to_string(i) + ".log",
              Cabrillo(calls[i], "QSO: 14010 CW 2026-12-05 1000 " + calls[i] + " 599 MO01 UA3BBB 599 MO02\n"));
    Write("logs/long.log", Cabrillo(std::string(300, 'A'), "QSO: 14010 CW 2026-12-05 1000 AAA 599 MO01 UA3BBB 599 MO02\n"));
    EXPECT_EQ(Run(Args({"--out", (dir_ / "o").string(), "--html", (dir_ / "h").string()})), kCheckRejected);
    EXPECT_NE(err_.find("long.log:1: the log's call 'AAAA"), std::string::npos) << err_;
    EXPECT_NE(err_.find(" is 300 characters long, a call at most 32: not checked"), std::string::npos) << err_;
    std::set<std::string> stems;
    for (const std::string& call : calls) {
        const std::string report = Read(dir_ / "o" / ReportName(call));
        EXPECT_NE(report.find("Station:        " + call + "\n"), std::string::npos) << call;
        const std::string stem = fs::path(ReportName(call)).stem().string();
        EXPECT_TRUE(fs::exists(dir_ / "h/log" / (stem + ".html"))) << stem;
        stems.insert(stem);
    }
    EXPECT_EQ(stems.size(), calls.size());
    EXPECT_EQ(ReportName(std::string("DL1\0X", 5)), "reports/DL1_00X.txt");
    EXPECT_EQ(ReportName("dl1abc"), "reports/_64_6C1_61_62_63.txt");  // never the same as DL1ABC's, whatever the disk
    EXPECT_LE(ReportName(std::string(kMaxCallLength, '<')).size(), 8 + 3 * kMaxCallLength + 4);
}

}  // namespace
}  // namespace yol::check
