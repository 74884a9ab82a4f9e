#include "Rules.h"

#include <chrono>
#include <climits>
#include <filesystem>
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
    // Home stations send their district, the others a serial: one token
    // `exch` each, compared as a number where it is one.
    ASSERT_EQ(r.exchange.size(), 2u);
    EXPECT_EQ(r.exchange[0].who.countries, (std::vector<std::string>{"UA", "UA2", "UA9"}));
    EXPECT_TRUE(r.exchange[1].who.Empty());
    for (const ExchangeClass& c : r.exchange) {
        ASSERT_EQ(c.received.size(), 2u);
        EXPECT_EQ(c.received[0].check, TokenCheck::None);
        EXPECT_EQ(c.received[1].check, TokenCheck::Number);
    }
    // Classes that send alike need no country file to tell them apart.
    EXPECT_FALSE(ParseRules("[scoring]\nmethod = \"per-contact\"\n", "p.toml").NeedsCountries());
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
    ASSERT_EQ(r.exchange.size(), 1u);
    EXPECT_EQ(r.exchange[0].ReceivedIndex("region"), 2u);
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
    ASSERT_EQ(r.exchange.size(), 1u);
    ASSERT_EQ(r.exchange[0].received.size(), 1u);
    EXPECT_EQ(r.exchange[0].received[0].check, TokenCheck::Exact);
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
              "r.toml:3: 'scoring.multiplier' names no received token of any exchange class: 'zone'");
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

// Two classes: the first whose selector holds for the sending station, the
// one without a selector for the rest.
constexpr const char* kTwoClasses = R"([[exchange.classes]]
name = "home"
countries = ["k", "VE"]
sent = [{ name = "rst" }, { name = "state" }]
received = [{ name = "rst" }, { name = "state", check = "exact", form = "letters" }]
[[exchange.classes]]
name = "world"
sent = [{ name = "rst" }, { name = "power" }]
received = [{ name = "rst" }, { name = "power", form = "number", also = ["kw", "K"] }]
)";

TEST(Rules, ExchangeClassesRead) {
    const Rules r = ParseRules(kTwoClasses, "c.toml");
    ASSERT_EQ(r.exchange.size(), 2u);
    EXPECT_EQ(r.exchange[0].who.countries, (std::vector<std::string>{"K", "VE"}));
    EXPECT_EQ(r.ClassAt({"VE", "NA", 4, 9}).name, "home");
    EXPECT_EQ(r.ClassAt({"DL", "EU", 14, 28}).name, "world");
    EXPECT_EQ(r.ClassAt({}).name, "world");  // no country file, or a call in no country
    EXPECT_TRUE(r.NeedsCountries());
    EXPECT_EQ(r.ExchangeCounts(), std::vector<std::size_t>{2});
    const ExchangeToken& power = r.exchange[1].received[1];
    EXPECT_TRUE(power.Fits("100"));
    EXPECT_TRUE(power.Fits("kw"));
    EXPECT_FALSE(power.Fits("MA"));
    EXPECT_TRUE(r.exchange[0].received[1].Fits("ma"));
    EXPECT_FALSE(r.exchange[0].received[1].Fits("100"));
    // A token a multiplier reads may be sent by one class only.
    EXPECT_NO_THROW(ParseRules(std::string(kTwoClasses) + "[scoring]\nmultiplier = \"state\"\n", "c.toml"));
}

TEST(Rules, ExchangeClassErrorsNameTheFileAndTheLine) {
    const std::string two(kTwoClasses);  // 9 lines
    EXPECT_EQ(ErrorOf(two + "[scoring]\nmultiplier = \"zone\"\n"),
              "r.toml:11: 'scoring.multiplier' names no received token of any exchange class: 'zone'");
    // The entry that names it, in a list of several.
    EXPECT_EQ(ErrorOf(two + "[[scoring.multipliers]]\nkind = \"token\"\ntoken = \"state\"\n"
                            "[[scoring.multipliers]]\nkind = \"token\"\ntoken = \"zone\"\n"),
              "r.toml:13: 'scoring.multipliers' names no received token of any exchange class: 'zone'");
    EXPECT_EQ(ErrorOf(two + "[[scoring.points]]\npoints = 1\n[[scoring.points]]\ntoken_letters = \"zone\"\npoints = 2\n"),
              "r.toml:12: 'scoring.points' names no received token of any exchange class: 'zone'");
    EXPECT_EQ(ErrorOf("[[exchange.classes]]\nsent = [{ name = \"a\" }]\nreceived = [{ name = \"b\" }]\n"),
              "r.toml:1: 'exchange.classes[].received' names 'b', which 'exchange.classes[].sent' does not");
    EXPECT_EQ(ErrorOf("[[exchange.classes]]\ncountries = [\"K\"]\n"),
              "r.toml:1: 'exchange.classes' needs one class without countries or continents, for the stations no "
              "other class takes");
    EXPECT_EQ(ErrorOf("[[exchange.classes]]\nname = \"a\"\n[[exchange.classes]]\nname = \"b\"\n"),
              "r.toml:3: 'exchange.classes': a second class without countries or continents; one takes the rest");
    EXPECT_EQ(ErrorOf("[exchange]\nsent = []\nreceived = []\n[[exchange.classes]]\nname = \"a\"\n"),
              "r.toml:1: 'exchange': give either 'sent' and 'received' (one class) or 'classes'");
    EXPECT_EQ(ErrorOf("[[exchange.classes]]\nsent = [{ name = \"a\", form = \"call\" }]\n"),
              "r.toml:2: 'exchange.classes[].sent[].form' must be \"any\", \"number\" or \"letters\"");
    EXPECT_EQ(ErrorOf("[[exchange.classes]]\nregion = [\"K\"]\n"), "r.toml:2: unknown key 'exchange.classes[].region'");
}

TEST(Rules, TheCommitteesKeysAndTheFamiliesTables) {
    const Rules r = ParseRules(R"([matching]
blame = "self"
blame_busted = "both"
blame_nil = "self"
[unique]
min_logs = 2
min_contacts = 5
[scoring]
method = "per-contact"
no_log = 1
checklog_score = true
[[scoring.points]]
relation = "same-country"
points = 0
[[scoring.points]]
from_continents = ["na"]
to_continents = ["NA"]
bands = ["1.8"]
points = 4
[[scoring.multipliers]]
kind = "cq-zone"
token = "exch"
per = "contest"
per_mode = true
valid = ["5", "14", "5"]
[[segments]]
band = "14"
mode = "cw"
low = 14000
high = 14070.5
)",
                               "r.toml");
    EXPECT_FALSE(r.blameBoth);
    EXPECT_TRUE(r.BustedBlamesBoth());
    EXPECT_FALSE(r.ExchangeBlamesBoth());
    EXPECT_EQ(r.uniqueMinContacts, 5);
    EXPECT_EQ(r.pointsNoLog, 1);
    EXPECT_TRUE(r.checklogScore);
    ASSERT_EQ(r.pointsTable.size(), 2u);
    EXPECT_EQ(r.pointsTable[0].relation, Relation::SameCountry);
    EXPECT_EQ(r.pointsTable[1].fromContinents, std::vector<std::string>{"NA"});
    ASSERT_EQ(r.multipliers.size(), 1u);
    EXPECT_EQ(r.multipliers[0].kind, MultiplierKind::CqZone);
    EXPECT_FALSE(r.multipliers[0].perBand);
    EXPECT_TRUE(r.multipliers[0].perMode);
    EXPECT_EQ(r.multipliers[0].valid, (std::vector<std::string>{"14", "5"}));
    EXPECT_EQ(r.OutsideSegments("14", "CW", "14070.5"), std::nullopt);
    EXPECT_EQ(r.OutsideSegments("14", "cw", "14071"), "14000-14070.5 kHz");
    EXPECT_EQ(r.OutsideSegments("14", "CW", "14"), std::nullopt);  // a band, not kHz
    EXPECT_EQ(r.OutsideSegments("14", "SSB", "14071"), std::nullopt);  // no segment for the mode
    EXPECT_TRUE(r.NeedsCountries());
}

TEST(Rules, EveryNumberHasARangeAndEveryListALimit) {
    EXPECT_EQ(ErrorOf("[matching]\nwindow = 9223372036854775807\n"),
              "r.toml:2: 'matching.window' must be from 0 to 10080");
    EXPECT_EQ(ErrorOf("[scoring]\nconfirmed = 4611686018427387904\n"),
              "r.toml:2: 'scoring.confirmed' must be from 0 to 1000");
    EXPECT_EQ(ErrorOf("[penalty]\nbusted = 1e308\n"), "r.toml:2: 'penalty.busted' must be from 0 to 10");
    EXPECT_EQ(ErrorOf("[penalty]\nnil = nan\n"), "r.toml:2: 'penalty.nil' must be from 0 to 10");
    EXPECT_EQ(ErrorOf("[unique]\nmin_contacts = 0\n"), "r.toml:2: 'unique.min_contacts' must be from 1 to 1000000");
    EXPECT_EQ(ErrorOf("[[segments]]\nband = \"14\"\nmode = \"CW\"\nlow = 1\n"),
              "r.toml:1: 'segments' entry needs band, mode, low and high (kHz)");
    EXPECT_EQ(ErrorOf("[[scoring.points]]\nrelation = \"cousins\"\npoints = 1\n").rfind("r.toml:2: 'scoring.points[].relation' must be", 0), 0u);
    EXPECT_EQ(ErrorOf("[[scoring.points]]\npoints = 1001\n"), "r.toml:2: 'scoring.points[].points' must be from 0 to 1000");
    EXPECT_EQ(ErrorOf("[[scoring.multipliers]]\nkind = \"token\"\n"),
              "r.toml:1: 'scoring.multipliers' entry of kind token names no token");
    EXPECT_EQ(ErrorOf("[[scoring.multipliers]]\nkind = \"country\"\nvalid_file = \"x.txt\"\n"),
              "r.toml:3: 'scoring.multipliers[].valid_file': no file can be read beside these rules");
    EXPECT_EQ(ErrorOf("[matching]\nblame_nil = \"both\"\n"),
              "r.toml:2: 'matching.blame_nil' can only be \"self\": the other side logged no contact to take");
    // Huge lists are refused at once: a million bands by the file's size, a
    // list that fits in 1 MiB by its length.
    const auto started = std::chrono::steady_clock::now();
    std::string million = "bands = [";
    for (int i = 0; i < 1'000'000; ++i) million += "\"7\",";
    million += "]\n";
    EXPECT_EQ(ErrorOf(million).rfind("r.toml:1: a rules file of ", 0), 0u);
    std::string many = "bands = [";
    for (int i = 0; i < 100'000; ++i) many += "\"7\",";
    many += "]\n";
    EXPECT_EQ(ErrorOf(many), "r.toml:1: 'bands' holds 100000 entries; at most 10000");
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 2.0);
    // The score stops at the largest number instead of wrapping.
    EXPECT_EQ(ScoreOf(INT64_MAX / 2, 3), kMaxScore);
    EXPECT_EQ(ScoreOf(1'000, 1'000), 1'000'000);
}

TEST(Rules, AFileBesideTheRulesAndAFolderInstead) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "yol-rules-beside-test";
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "r.toml") << "[[scoring.multipliers]]\nkind = \"token\"\ntoken = \"exch\"\n"
                                     "valid_file = \"regions.txt\"\n";
    std::ofstream(dir / "regions.txt") << "# regions\nmo, sp\nle  # and more\n";
    const Rules r = LoadRules((dir / "r.toml").string());
    EXPECT_EQ(r.multipliers.at(0).valid, (std::vector<std::string>{"LE", "MO", "SP"}));
    try {
        LoadRules(dir.string());
        ADD_FAILURE() << "a folder read as rules";
    } catch (const RulesError& e) {
        EXPECT_EQ(std::string(e.what()), dir.string() + ": a folder, not a rules file");
    }
    fs::remove(dir / "regions.txt");
    EXPECT_THROW(LoadRules((dir / "r.toml").string()), RulesError);
    fs::remove_all(dir);
}

TEST(Rules, UtcMinutes) {
    EXPECT_EQ(ParseUtcMinute("1970-01-02 00:01"), 1441);
    EXPECT_EQ(ParseUtcMinute("1970-01-02T00:01:59Z"), 1441);
    EXPECT_EQ(ParseUtcMinute("1970-02-30 00:00"), kNoMinute);
    EXPECT_EQ(ParseUtcMinute("1970-01-02 24:00"), kNoMinute);
    EXPECT_EQ(ParseUtcMinute("1970-01-02"), kNoMinute);
}

TEST(Rules, CategoriesTableErrorsNameTheLine) {
    const std::string one = "[categories]\n[[categories.class]]\nname = \"A\"\npower = \"LOW\"\n";
    EXPECT_EQ(ErrorOf(one), "");
    EXPECT_EQ(ErrorOf(one + "colour = \"red\"\n"), "r.toml:5: unknown key 'categories.class.colour'");
    EXPECT_EQ(ErrorOf(one + "power = 5\n").substr(0, 8), "r.toml:5");  // TOML: a key twice
    EXPECT_EQ(ErrorOf("[categories]\ndefault = \"B\"\n[[categories.class]]\nname = \"A\"\n"),
              "r.toml:2: 'categories.default' names no class: 'B'");
    EXPECT_EQ(ErrorOf(one + "[categories.calls]\nLZ1A = \"Z\"\n"), "r.toml:6: 'categories.calls.LZ1A' names no class: 'Z'");
    EXPECT_EQ(ErrorOf(one + "[[categories.class]]\nname = \"A\"\n"), "r.toml:5: class 'A' is defined twice");
    EXPECT_EQ(ErrorOf("[categories]\n[[categories.class]]\ntitle = \"x\"\n"),
              "r.toml:2: a class of 'categories.class' without a name");
    EXPECT_EQ(ErrorOf("[categories]\nmode = \"CW\"\n"), "r.toml:2: unknown key 'categories.mode'");
    EXPECT_EQ(ErrorOf(one + "mode = [\"CW\", 1]\n"), "r.toml:5: 'categories.class.mode[]' must be a string");
}

}  // namespace
}  // namespace yol::check
