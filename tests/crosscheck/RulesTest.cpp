#include "Rules.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace yol::check {
namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The message of the RulesError the text raises, or "" when it reads.
std::string ErrorOf(const std::string& text) {
    try {
        ParseRules(text, "r.toml");
    } catch (const RulesError& e) {
        return e.what();
    }
    return "";
}

TEST(Rules, YolIsBuiltInWithItsDefaults) {
    const Rules r = YolRules();
    EXPECT_EQ(r.window, 3);
    EXPECT_EQ(r.scoring, Scoring::Yol);
    ASSERT_EQ(r.received.size(), 2u);
    EXPECT_EQ(r.received[0].check, TokenCheck::None);
    EXPECT_EQ(r.received[1].check, TokenCheck::Number);
    EXPECT_FALSE(r.blameBoth);
    EXPECT_EQ(r.dupeAfter, 0);
    // An empty file is the YOL rules.
    const Rules empty = ParseRules("", "empty.toml");
    EXPECT_EQ(empty.name, "YOL");
    EXPECT_EQ(empty.bands, r.bands);
}

TEST(Rules, TheShippedRegionalFileReads) {
    const Rules r = ParseRules(ReadFile(YOL_RULES_DIR "/regional.toml"), "regional.toml");
    EXPECT_EQ(r.scoring, Scoring::PerContact);
    EXPECT_EQ(r.pointsConfirmed, 2);
    EXPECT_EQ(r.pointsMiscopied, 1);
    EXPECT_EQ(r.multiplierToken, "region");
    EXPECT_EQ(r.ReceivedIndex("region"), 2u);
    EXPECT_EQ(r.uniqueMinLogs, 3);
    EXPECT_EQ(r.start, ParseUtcMinute("2026-12-05 12:00"));
    EXPECT_EQ(r.end - r.start, 24 * 60);
}

TEST(Rules, EveryKeyOfAFullFile) {
    const Rules r = ParseRules(R"(name = "X"
bands = ["3.5"]
modes = ["cw"]
period = { start = "2016-08-20 08:00", end = 2016-08-20T12:00:00+03:00 }
[exchange]
sent = [{ name = "nr" }]
received = [{ name = "nr", check = "exact" }]
[matching]
window = 10
offset_window = 40
dupe_after = 30
blame = "both"
[penalty]
busted = 2
nil = 0.5
[unique]
min_logs = 4
busy_log = 50
credit = false
[scoring]
method = "per-contact"
confirmed = 3
miscopied = 0
multiplier = "nr"
)",
                               "full.toml");
    EXPECT_EQ(r.modes, std::vector<std::string>{"CW"});
    EXPECT_EQ(r.end - r.start, 60);  // 12:00+03:00 is 09:00 UTC
    EXPECT_EQ(r.start, ParseUtcMinute("2016-08-20 08:00"));
    ASSERT_EQ(r.received.size(), 1u);
    EXPECT_EQ(r.received[0].check, TokenCheck::Exact);
    EXPECT_EQ(r.window, 10);
    EXPECT_EQ(r.offsetWindow, 40);
    EXPECT_EQ(r.dupeAfter, 30);
    EXPECT_TRUE(r.blameBoth);
    EXPECT_EQ(r.bustedPenalty, 2);
    EXPECT_EQ(r.nilPenalty, 0.5);
    EXPECT_EQ(r.uniqueMinLogs, 4);
    EXPECT_EQ(r.busyCallCount, 50);
    EXPECT_FALSE(r.creditNoLog);
    EXPECT_EQ(r.pointsConfirmed, 3);
    EXPECT_EQ(r.pointsMiscopied, 0);
    EXPECT_EQ(r.multiplierToken, "nr");
    EXPECT_NE(ErrorOf("[period]\nstart = 2016-08-20T08:00:00Z\nend = 2016-08-20T08:00:00Z\n").find("must come after"),
              std::string::npos);
}

TEST(Rules, ErrorsNameTheFileAndTheLine) {
    EXPECT_EQ(ErrorOf("name = \"X\"\nwindow = 3\n"), "r.toml:2: unknown key 'window'");
    EXPECT_EQ(ErrorOf("[matching]\nwindow = \"3\"\n"), "r.toml:2: 'matching.window' must be an integer");
    EXPECT_EQ(ErrorOf("[matching]\n\nwindow = -1\n"), "r.toml:3: 'matching.window' must be from 0 to 10080");
    EXPECT_EQ(ErrorOf("[matching]\nblame = \"nobody\"\n"), "r.toml:2: 'matching.blame' must be \"self\" or \"both\"");
    EXPECT_EQ(ErrorOf("[scoring]\nmethod = \"yol\"\nmultiplier = \"zone\"\n"),
              "r.toml:3: 'scoring.multiplier' names no received token: 'zone'");
    EXPECT_EQ(ErrorOf("bands = [\"7\", 14]\n"), "r.toml:1: 'bands[]' must be a string");
    EXPECT_EQ(ErrorOf("[exchange]\nreceived = [{ name = \"a\", kind = \"x\" }]\n"),
              "r.toml:2: unknown key 'exchange.received[].kind'");
    EXPECT_EQ(ErrorOf("[period]\nstart = \"yesterday\"\n"),
              "r.toml:2: 'period.start' is no UTC time (YYYY-MM-DD HH:MM)");
    EXPECT_EQ(ErrorOf("[penalty]\nnil = \"one\"\n"), "r.toml:2: 'penalty.nil' must be a number");
    EXPECT_EQ(ErrorOf("[unique]\ncredit = 1\n"), "r.toml:2: 'unique.credit' must be true or false");
    // Not TOML at all.
    EXPECT_EQ(ErrorOf("name = \n").rfind("r.toml:1: ", 0), 0u);
    // Exchanges of different lengths.
    EXPECT_NE(ErrorOf("[exchange]\nsent = [{ name = \"a\" }]\n").find("as many tokens"), std::string::npos);
}

TEST(Rules, UtcMinutes) {
    EXPECT_EQ(ParseUtcMinute("1970-01-02 00:01"), 1441);
    EXPECT_EQ(ParseUtcMinute("1970-01-02T00:01:59Z"), 1441);
    EXPECT_EQ(ParseUtcMinute("1970-02-30 00:00"), kNoMinute);
    EXPECT_EQ(ParseUtcMinute("1970-01-02 24:00"), kNoMinute);
    EXPECT_EQ(ParseUtcMinute("1970-01-02"), kNoMinute);
}

}  // namespace
}  // namespace yol::check
