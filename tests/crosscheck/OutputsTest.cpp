#include "Outputs.h"

#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "CrossCheck.h"
#include "LogBuilder.h"

namespace yol::check {
namespace {

using test::LogBuilder;

struct Checked {
    std::vector<SubmittedLog> logs;
    Rules rules = test::PerContactRules();
    CheckResult result;
};

// UA3AAA busts UA3ABC, miscopies UA3BBB's exchange; UA3BBB in another category.
Checked Sample() {
    Checked c;
    c.logs = {
        LogBuilder("UA3AAA").Q(10, 0, "UA3ABD", "599 MO", "599 SP").Q(10, 5, "UA3BBB", "599 MO", "599 \"Q,\""),
        LogBuilder("UA3ABC").Q(10, 0, "UA3AAA", "599 SP", "599 MO").Q(10, 20, "UA3BBB", "599 SP", "599 LE"),
        LogBuilder("UA3BBB").Category("MULTI-OP").Q(10, 5, "UA3AAA", "599 LE", "599 MO").Q(10, 20, "UA3ABC", "599 LE", "599 SP"),
    };
    c.result = CrossCheck(c.logs, c.rules);
    return c;
}

TEST(Outputs, VerdictsCsvOneRowPerContact) {
    const Checked c = Sample();
    std::ostringstream out;
    WriteVerdictsCsv(out, c.logs, c.result, c.rules);
    const std::string text = out.str();
    EXPECT_EQ(text.rfind(kVerdictsCsvHeader, 0), 0u);
    EXPECT_NE(text.find("UA3AAA,UA3AAA.log,10,2026-12-05 10:00,14,CW,UA3ABD,BUSTED,self,UA3ABC,UA3ABC.log:10,,0,"),
              std::string::npos);
    EXPECT_NE(text.find("UA3ABC,UA3ABC.log,10,2026-12-05 10:00,14,CW,UA3AAA,OK,other,UA3AAA,UA3AAA.log:10,,2,"
                        "UA3AAA logged your call as UA3ABD\r\n"),
              std::string::npos);
    // Quotes and commas in the detail are quoted.
    EXPECT_NE(text.find(",EXCHANGE,self,UA3BBB,UA3BBB.log:10,,1,\"you copied LE as \"\"Q,\"\"\"\r\n"),
              std::string::npos);
    std::size_t rows = 0;
    for (char ch : text) rows += ch == '\n';
    EXPECT_EQ(rows, 7u);
}

TEST(Outputs, ReportQuotesBothLogsUnderTheirHeadings) {
    const Checked c = Sample();
    const std::string a = LogReport(c.logs, c.result, 0, c.rules);
    EXPECT_NE(a.find("Station:        UA3AAA\n"), std::string::npos);
    EXPECT_NE(a.find("Claimed score:  not given\n"), std::string::npos);
    EXPECT_NE(a.find("Raw score:      8  (2 contacts, 4 points, 2 multipliers)\n") , std::string::npos);
    EXPECT_NE(a.find("Final score:    0"), std::string::npos);
    EXPECT_NE(a.find("\nBusted calls (1)\n  line 10: " + std::string(c.logs[0].Texts(0).line)), std::string::npos);
    EXPECT_NE(a.find("(penalty 2 points)\n    UA3ABC's log, line 10: " + std::string(c.logs[1].Texts(0).line)),
              std::string::npos);
    EXPECT_NE(a.find("\nReceived exchange miscopied (1)\n"), std::string::npos);
    const std::string b = LogReport(c.logs, c.result, 1, c.rules);
    EXPECT_NE(b.find("Others who miscopied your call (1; for information, you keep these)\n"), std::string::npos);
    EXPECT_NE(b.find("UA3AAA logged you as UA3ABD, line 10: " + std::string(c.logs[0].Texts(0).line)), std::string::npos);
}

TEST(Outputs, ResultsSortedByCategoryThenScore) {
    const Checked c = Sample();
    const std::vector<std::size_t> order = ResultsOrder(c.result);
    ASSERT_EQ(order.size(), 3u);
    EXPECT_EQ(order[0], 1u);  // UA3ABC scores more than UA3AAA
    EXPECT_EQ(order[1], 0u);
    EXPECT_EQ(order[2], 2u);  // the YOL classes' order: SO-MIXED before MULTI-OP
    const std::string csv = ResultsCsv(c.result);
    EXPECT_EQ(csv.find("call,category,claimed,raw_contacts"), 0u);
    EXPECT_NE(csv.find("\r\nUA3BBB,MULTI-OP,,2,4,"), std::string::npos);
    const auto json = nlohmann::json::parse(ResultsJson(c.result, c.rules));
    EXPECT_EQ(json["contest"], "TEST");
    ASSERT_EQ(json["results"].size(), 3u);
    EXPECT_EQ(json["results"][1]["call"], "UA3AAA");
    EXPECT_EQ(json["results"][1]["verdicts"]["BUSTED"], 1);
    EXPECT_EQ(json["results"][1]["raw"]["score"], 8);
    EXPECT_TRUE(json["results"][1]["claimed"].is_null());
    const std::string summary = SummaryText(c.result, c.rules);
    EXPECT_NE(summary.find("Contacts:              6\n"), std::string::npos);
    EXPECT_NE(summary.find("Busted calls:          1\n"), std::string::npos);
}

// Cells a spreadsheet would run as a formula get a leading quote in both
// CSVs; numbers stay numbers.
TEST(Outputs, CsvCellsNeverStartAFormula) {
    Checked c;
    c.logs = {
        LogBuilder("UA3AAA", "=cmd.log").Category("=HYPERLINK(1)").Q(10, 0, "@UA3BBB", "599 MO", "599 SP"),
        LogBuilder("UA3BBB", "+b.log").Q(10, 0, "UA3AAA", "599 SP", "599 MO"),
    };
    c.result = CrossCheck(c.logs, c.rules);
    const std::string results = ResultsCsv(c.result);
    // The category column carries the contest's class, never the declared text.
    EXPECT_NE(results.find("\r\nUA3AAA,SO-MIXED,,"), std::string::npos) << results;
    std::ostringstream out;
    WriteVerdictsCsv(out, c.logs, c.result, c.rules);
    const std::string verdicts = out.str();
    EXPECT_NE(verdicts.find("UA3AAA,'=cmd.log,10,2026-12-05 10:00,14,CW,'@UA3BBB,"), std::string::npos) << verdicts;
    EXPECT_NE(verdicts.find(",'+b.log:10,"), std::string::npos) << verdicts;
    for (const std::string& text : {results, verdicts})
        for (const char* bad : {",=", ",+", ",@", "\n=", "\n+", "\n@"}) EXPECT_EQ(text.find(bad), std::string::npos) << bad;
}

}  // namespace
}  // namespace yol::check
