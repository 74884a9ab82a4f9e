// yolcheck's command line over small log files written here.
#include "CheckRun.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace yol::check {
namespace {

namespace fs = std::filesystem;

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

    fs::path dir_;
    std::string out_, err_;
};

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
    EXPECT_NE(err_.find(logs + "/a.log:7: outside the contest period"), std::string::npos) << err_;
    EXPECT_NE(err_.find(logs + "/b.log:5: "), std::string::npos) << err_;  // the time that does not parse

    for (const char* name : {"results.csv", "results.json", "summary.txt", "verdicts.csv", "reports/UA3AAA.txt",
                             "reports/UA3BBB.txt", "reports/UA3CCC.txt"})
        EXPECT_TRUE(fs::exists(out / name)) << name;
    const std::string verdicts = Read(out / "verdicts.csv");
    EXPECT_NE(verdicts.find("UA3AAA," + logs + "/a.log,5,2026-12-05 10:00,14,CW,UA3BBB,OK,,UA3BBB," + logs + "/b.log:4,,2,"),
              std::string::npos) << verdicts;
    EXPECT_NE(verdicts.find(",UA3DDD,PERIOD,self,"), std::string::npos);
    EXPECT_NE(verdicts.find("UA3CCC," + logs + "/c.log,5,2026-12-05 10:05,14,CW,UA3AAA,CHECKLOG,"), std::string::npos);
    const std::string a = Read(out / "reports/UA3AAA.txt");
    EXPECT_NE(a.find("Claimed score:  1234\n"), std::string::npos) << a;
    EXPECT_NE(a.find("Final score:    8  (2 contacts, 4 points, 2 multipliers)"), std::string::npos) << a;
    EXPECT_NE(Read(out / "results.csv").find("\r\nUA3AAA,SINGLE-OP,1234,"), std::string::npos);
    EXPECT_NE(out_.find("3 logs, "), std::string::npos) << out_;
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
    EXPECT_NE(Read(out / "verdicts.csv").find("the station worked was UA3ABC (its log: " + cLine + ")"), std::string::npos);
}

TEST_F(CheckRunTest, ExitStatusForUsageRulesAndUnreadableLogs) {
    EXPECT_EQ(Run({"--bogus"}), kCheckUsage);
    EXPECT_EQ(Run({dir_.string()}), kCheckUsage);  // no --out
    EXPECT_NE(err_.find("--out"), std::string::npos) << err_;
    EXPECT_EQ(Run({"--help"}), kCheckClean);
    EXPECT_NE(out_.find("--parse-only"), std::string::npos);
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

}  // namespace
}  // namespace yol::check
