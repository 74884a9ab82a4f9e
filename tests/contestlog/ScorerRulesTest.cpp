// yolscore --rules: one log scored alone under a cross-check rules file.
#include <filesystem>
#include <fstream>

#include "RunScorer.h"

namespace yol::score {
namespace {

namespace fs = std::filesystem;
using test::RunYolscore;

class ScorerRulesTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("yolscore-rules-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
        return (dir_ / name).string();
    }
    fs::path dir_;
};

TEST_F(ScorerRulesTest, ScoresPerBandWithTheClaimedScoreBeside) {
    const std::string log = Write("a.log",
        "START-OF-LOG: 3.0\nCALLSIGN: UA3AAA\nCLAIMED-SCORE: 20\n"
        "QSO: 14010 CW 2026-12-05 1200 UA3AAA 599 001 MO UA3BBB 599 004 SP\n"
        "QSO: 14012 CW 2026-12-05 1201 UA3AAA 599 002 MO UA3CCC 599 007 SP\n"
        "QSO: 7010 CW 2026-12-05 1202 UA3AAA 599 003 MO UA3BBB 599 010 SP\n"
        "QSO: 14010 CW 2026-12-05 1203 UA3AAA 599 004 MO UA3BBB 599 011 SP\n"
        "QSO: 14010 CW 2026-12-07 1203 UA3AAA 599 005 MO UA3DDD 599 011 LE\n"
        "END-OF-LOG:\n");
    // 2 points a contact, regions per band: 14 MHz 2 contacts and SP, 7 MHz 1 and SP;
    // a repeat and a contact after the period do not count. 6 points x 2 = 12.
    const test::Ran r = RunYolscore({"--rules", YOL_RULES_DIR "/regional.toml", log});
    ASSERT_EQ(r.status, kClean) << r.err;
    EXPECT_NE(r.out.find("Rules:          Regional contest"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("14                2            4            1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("7                 1            2            1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Score:          12\nClaimed score:  20  (+8)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1 repeats, 1 outside"), std::string::npos) << r.out;
}

// Stations that send exchanges of different lengths by where they are: the
// log's lines read by the token counts of the rules' classes.
TEST_F(ScorerRulesTest, ExchangeClassesOfDifferentLengthsRead) {
    std::error_code ec;
    if (!fs::exists("/usr/share/hamradio-files/cty.dat", ec)) GTEST_SKIP() << "no country file";
    const std::string rules = Write("classes.toml",
        "name = \"Two classes\"\n"
        "[[exchange.classes]]\ncountries = [\"K\"]\n"
        "sent = [{ name = \"serial\" }, { name = \"state\" }]\n"
        "received = [{ name = \"serial\", check = \"number\" }, { name = \"state\", check = \"exact\" }]\n"
        "[[exchange.classes]]\nsent = [{ name = \"power\" }]\nreceived = [{ name = \"power\", form = \"number\" }]\n"
        "[scoring]\nmethod = \"per-contact\"\nmultiplier = \"state\"\n");
    const std::string log = Write("dl.log",
        "START-OF-LOG: 3.0\nCALLSIGN: DL1AAA\n"
        "QSO: 14010 CW 2026-12-05 1200 DL1AAA 100 K1ABC 1 MA\n"
        "QSO: 14012 CW 2026-12-05 1201 DL1AAA 100 W6BBB 5 CA\n"
        "QSO: 7010 CW 2026-12-05 1202 DL1AAA 100 K1ABC 3 MA\n"
        "END-OF-LOG:\n");
    // A point a contact, states per band: MA and CA on 20 m, MA on 40 m.
    const test::Ran r = RunYolscore({"--rules", rules, log});
    ASSERT_EQ(r.status, kClean) << r.err;
    EXPECT_NE(r.out.find("Score:          9\n"), std::string::npos) << r.out;
}

TEST_F(ScorerRulesTest, BadRulesStopAndYolRulesKeepTheReport) {
    const std::string log = Write("a.log", "START-OF-LOG: 3.0\nCALLSIGN: UA3AAA\n"
                                           "QSO: 14010 CW 2026-12-05 1200 UA3AAA 599 001 UA3BBB 599 004\nEND-OF-LOG:\n");
    test::Ran r = RunYolscore({"--rules", dir_.string(), log});
    EXPECT_EQ(r.status, kUnreadable);
    EXPECT_EQ(r.err, "yolscore: " + dir_.string() + ": a folder, not a rules file\n");
    r = RunYolscore({"--rules", Write("bad.toml", "[scoring]\nconfirmed = -1\n"), log});
    EXPECT_EQ(r.status, kUnreadable);
    EXPECT_NE(r.err.find("bad.toml:2: 'scoring.confirmed' must be from 0 to 1000"), std::string::npos) << r.err;
    r = RunYolscore({"--rules", YOL_RULES_DIR "/regional.toml", "--audit", log});
    EXPECT_EQ(r.status, kUsageError);
    // A rules file of the YOL scoring: the report as without it.
    const std::string yol = Write("yol.toml", "name = \"YOL\"\n");
    const test::Ran plain = RunYolscore({"--my-prefix", "UA3", "--my-continent", "EU", log});
    r = RunYolscore({"--rules", yol, "--my-prefix", "UA3", "--my-continent", "EU", log});
    EXPECT_EQ(r.status, plain.status);
    EXPECT_EQ(r.out, plain.out);
}

TEST_F(ScorerRulesTest, The2017RegionalContestLog) {
    const fs::path logs = fs::path(YOL_SHARED_DIR) / "multilog/plovdiv-2017/logs";
    std::error_code ec;
    if (!fs::is_directory(logs, ec)) GTEST_SKIP() << "no " << logs;
    const test::Ran r = RunYolscore({"--rules", YOL_RULES_DIR "/plovdiv.toml", (logs / "LZ0AA.log").string()});
    EXPECT_LE(r.status, kRejected) << r.err;
    EXPECT_NE(r.out.find("Score:"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("3.5      "), std::string::npos) << r.out;
}

}  // namespace
}  // namespace yol::score
