// The contest's classes: declarations read from the headers, classes and
// places from them, the [categories] table of the rules file.
#include "Categories.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "CheckRun.h"
#include "CrossCheck.h"
#include "Rules.h"

namespace yol::check {
namespace {

namespace fs = std::filesystem;
using Headers = std::vector<std::pair<std::string, std::string>>;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

const std::string& Field(const Declared& d, CategoryField f) { return d.value[static_cast<std::size_t>(f)]; }

TEST(Categories, BothCabrilloVersionsSayTheSameThing) {
    using F = CategoryField;
    // 2.0: one line, its words sorted into fields by what they are.
    const Declared two = ReadDeclared({{"CATEGORY", "single-op-assisted ALL HIGH mixed"}});
    EXPECT_EQ(Field(two, F::Operator), "SINGLE-OP");
    EXPECT_EQ(Field(two, F::Assisted), "ASSISTED");
    EXPECT_EQ(Field(two, F::Band), "ALL");
    EXPECT_EQ(Field(two, F::Power), "HIGH");
    EXPECT_EQ(Field(two, F::Mode), "MIXED");
    EXPECT_TRUE(two.notes.empty());
    // As 2017's entrants wrote it: a stray dash, "NON ASSISTED" in two words.
    const Declared sloppy = ReadDeclared({{"CATEGORY", "SINGLE-OP- NON ASSISTED ALL QRP CW"}});
    EXPECT_EQ(Field(sloppy, F::Assisted), "NON-ASSISTED");
    EXPECT_EQ(Field(sloppy, F::Power), "QRP");
    EXPECT_TRUE(sloppy.notes.empty()) << sloppy.notes[0];
    // 3.0 and 2.0 in one log agreeing (PH is SSB): nothing to say.
    const Declared both = ReadDeclared({{"CATEGORY-MODE", "SSB"}, {"CATEGORY-POWER", " low "}, {"CATEGORY", "SINGLE-OP 80M LOW PH"}});
    EXPECT_EQ(Field(both, F::Mode), "SSB");
    EXPECT_EQ(Field(both, F::Band), "80M");
    EXPECT_TRUE(both.notes.empty());
    EXPECT_FALSE(ReadDeclared({{"CLAIMED-SCORE", "5"}, {"CATEGORY-POWER", ""}}).Any());
}

TEST(Categories, UnknownAndConflictingDeclarationsAreNoted) {
    const Declared d = ReadDeclared({{"CATEGORY-POWER", "HIGH"},
                                     {"CATEGORY", "SINGLE-OP LOW CW BANANA"},
                                     {"CATEGORY-DXPEDITION", "YES"}});
    EXPECT_EQ(Field(d, CategoryField::Power), "HIGH");  // the first said is kept
    ASSERT_EQ(d.notes.size(), 3u);
    EXPECT_EQ(d.notes[0], "CATEGORY says LOW where CATEGORY-POWER said HIGH: HIGH is taken");
    EXPECT_EQ(d.notes[1], "CATEGORY: BANANA is no category word this check knows");
    EXPECT_EQ(d.notes[2], "CATEGORY-DXPEDITION is no category header this check knows");
}

TEST(Categories, ClassesFromTheShippedPlovdivRules) {
    const Rules rules = ParseRules(ReadFile(YOL_RULES_DIR "/plovdiv.toml"), "plovdiv.toml");
    const CategoryRules& c = rules.categories;
    ASSERT_EQ(c.classes.size(), 3u);
    auto nameOf = [&](const Headers& h, std::string_view call = "LZ1A") {
        const Placement p = ClassOf(c, call, ReadDeclared(h));
        return c.classes.at(p.index).name + (p.notes.empty() ? "" : " / " + p.notes.back());
    };
    EXPECT_EQ(nameOf({{"CATEGORY", "SINGLE-OP 80M LOW CW"}}), "SO-LOW");
    EXPECT_EQ(nameOf({{"CATEGORY-POWER", "QRP"}, {"CATEGORY-OPERATOR", "SINGLE-OP"}}), "SO-QRP");
    EXPECT_EQ(nameOf({{"CATEGORY", "SINGLE-OP-PORTABLE 80M QRP CW"}}), "SO-QRP");
    // Nothing declared: the default, silently; something but no power: the default, said.
    EXPECT_EQ(nameOf({}), "SO-HIGH");
    EXPECT_EQ(nameOf({{"CATEGORY", "SINGLE-OP"}}),
              "SO-HIGH / the category declared (SINGLE-OP) fits none of the contest's classes: placed in SO-HIGH");
    // The committee's word wins over the header.
    CategoryRules withCall = c;
    withCall.calls["LZ1A"] = c.Find("SO-QRP");
    const Placement p = ClassOf(withCall, "LZ1A", ReadDeclared({{"CATEGORY-POWER", "HIGH"}}));
    EXPECT_EQ(withCall.classes[p.index].name, "SO-QRP");
    // The same classes for 2016; the YOL rules file and the built-in YOL rules agree.
    EXPECT_EQ(ParseRules(ReadFile(YOL_RULES_DIR "/plovdiv-2016.toml"), "p").categories.classes.size(), 3u);
    const CategoryRules sim = ParseRules(ReadFile(YOL_RULES_DIR "/yol-sim.toml"), "y").categories;
    const CategoryRules yol = YolRules().categories;
    ASSERT_EQ(sim.classes.size(), yol.classes.size());
    for (std::size_t i = 0; i < sim.classes.size(); ++i) {
        EXPECT_EQ(sim.classes[i].name, yol.classes[i].name);
        EXPECT_EQ(sim.classes[i].when, yol.classes[i].when);
    }
    EXPECT_EQ(sim.defaultClass, yol.defaultClass);
}

TEST(Categories, PlacesInClassAndOverallTiesShareCheckloglessRanks) {
    CategoryRules rules;
    rules.classes = {{"HI", "", {}}, {"LO", "", {}}};
    rules.classes[0].when[static_cast<std::size_t>(CategoryField::Power)] = {"HIGH"};
    rules.classes[1].when[static_cast<std::size_t>(CategoryField::Power)] = {"LOW"};
    struct Entry { std::string call, power; std::int64_t score; bool checklog; };
    const std::vector<Entry> entries{{"A", "HIGH", 100, false}, {"B", "LOW", 300, false}, {"C", "HIGH", 100, false},
                                     {"D", "LOW", 50, false},  {"E", "HIGH", 900, true},  {"F", "HIGH", 200, false}};
    std::vector<SubmittedLog> logs(entries.size());
    CheckResult result;
    result.logs.resize(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        logs[i].declared = {{"CATEGORY-POWER", entries[i].power}};
        result.logs[i].call = entries[i].call;
        result.logs[i].final.score = entries[i].score;
        result.logs[i].checklog = entries[i].checklog;
    }
    AssignClasses(logs, rules, result);
    auto at = [&](std::size_t i) { return PlaceText(result.logs[i]); };
    EXPECT_EQ(at(1), "1st of 2 in LO, 1st of 5 overall");
    EXPECT_EQ(at(5), "1st of 3 in HI, 2nd of 5 overall");
    EXPECT_EQ(at(0), "2nd (tie) of 3 in HI, 3rd (tie) of 5 overall");  // A and C share a place
    EXPECT_EQ(at(2), "2nd (tie) of 3 in HI, 3rd (tie) of 5 overall");
    EXPECT_EQ(at(3), "2nd of 2 in LO, 5th of 5 overall");
    EXPECT_EQ(at(4), "");  // a checklog: received, never ranked
    EXPECT_EQ(result.logs[4].classIndex, kNone);
    EXPECT_EQ(result.logs[1].category, "LO");
    EXPECT_EQ(Ordinal(11), "11th");
    EXPECT_EQ(Ordinal(112), "112th");
    EXPECT_EQ(Ordinal(122), "122nd");
    EXPECT_EQ(Ordinal(101), "101st");
}

// The committee's file of classes: one reader over the rules' own table,
// every error with file and line.
TEST(Categories, AFileOfClassesOverTheRulesTable) {
    CategoryRules c = ParseRules(ReadFile(YOL_RULES_DIR "/plovdiv.toml"), "plovdiv.toml").categories;
    c.calls["LZ1A"] = c.Find("SO-LOW");
    ReadClassOverrides("# the committee's word\n\nlz1a SO-QRP   # asked by mail\nLZ2B\tSO-HIGH\n", "classes.txt", c);
    EXPECT_EQ(c.classes[ClassOf(c, "LZ1A", ReadDeclared({})).index].name, "SO-QRP");  // over the table
    EXPECT_EQ(c.classes[ClassOf(c, "LZ2B", ReadDeclared({{"CATEGORY-POWER", "QRP"}})).index].name, "SO-HIGH");
    auto error = [&](std::string_view text) {
        CategoryRules copy = c;
        try {
            ReadClassOverrides(text, "classes.txt", copy);
        } catch (const RulesError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(error("LZ1A SO-QRP\nLZ3C so-qrp\n"),
              "classes.txt:2: no class 'so-qrp' in the rules (the classes: SO-HIGH, SO-LOW, SO-QRP)");
    EXPECT_EQ(error("LZ1A\n"), "classes.txt:1: a call without a class: 'LZ1A' (a line is CALL CLASS)");
    EXPECT_EQ(error("LZ1A SO-QRP\n# x\nlz1a SO-LOW\n"), "classes.txt:3: LZ1A is given a class twice (first on line 1)");
    CategoryRules none;
    EXPECT_THROW(ReadClassOverrides("LZ1A SO-QRP\n", "classes.txt", none), RulesError);
    EXPECT_THROW(LoadClassOverrides("/nonexistent/classes.txt", c), RulesError);
}

// The 2017 contest with its shipped rules: one class per power, every log in one.
TEST(Categories, The2017LogsFallIntoTheShippedClasses) {
    const fs::path dir = fs::path(YOL_TESTDATA_DIR) / "multilog/plovdiv-2017/logs";
    if (!fs::is_directory(dir)) GTEST_SKIP() << dir << " is absent";
    const Rules rules = ParseRules(ReadFile(YOL_RULES_DIR "/plovdiv.toml"), "plovdiv.toml");
    std::vector<SubmittedLog> logs;
    for (const auto& e : fs::directory_iterator(dir)) logs.push_back(LoadLog(e.path().string(), {}).log);
    const CheckResult result = CrossCheck(logs, rules);
    std::map<std::string, int> perClass;
    int checklogs = 0, noted = 0;
    for (const LogResult& r : result.logs) {
        if (r.checklog) {
            ++checklogs;
            EXPECT_EQ(r.placeOverall, 0u);
            continue;
        }
        ++perClass[r.className];
        EXPECT_GT(r.placeInClass, 0u);
        EXPECT_EQ(r.overallSize, 44u);
        noted += !r.categoryNotes.empty();
    }
    EXPECT_EQ(checklogs, 3);
    EXPECT_EQ(perClass, (std::map<std::string, int>{{"SO-HIGH", 19}, {"SO-LOW", 16}, {"SO-QRP", 9}}));
    EXPECT_EQ(noted, 3);  // "CATEGORY: SINGLE-OP" names no power
}

}  // namespace
}  // namespace yol::check
