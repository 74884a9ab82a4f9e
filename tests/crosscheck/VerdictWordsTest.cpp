// Every verdict is worded once: the entrant's report, verdicts.csv and the
// site say the same words for each contact, for every kind of verdict, and
// the words say who erred ("UA3AAA copied your MO07 as MO06" to the station
// that copied right).
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "CrossCheck.h"
#include "LogBuilder.h"
#include "Outputs.h"
#include "SiteOf.h"
#include "contestlog/Text.h"

namespace yol::check {
namespace {

using test::LogBuilder;

struct Checked {
    std::vector<SubmittedLog> logs;
    Rules rules;
    CheckResult result;
};

// One contest holding every kind of verdict.
Checked EveryVerdict(bool blameBoth) {
    Checked c;
    c.rules = test::PerContactRules();
    c.rules.start = test::At(10, 0);
    c.rules.end = test::At(12, 0);
    c.rules.bands = {"14", "7"};
    c.rules.blameBoth = blameBoth;
    c.logs = {
        LogBuilder("UA3AAA")
            .Q(10, 0, "UA3BBB", "599 MO01", "599 MO05")   // OK
            .Q(10, 2, "UA3BBB", "599 MO01", "599 MO05")   // DUPE
            .Q(10, 5, "UA3CCC", "599 MO01", "599 MO06")   // EXCHANGE: UA3CCC sent MO07
            .Q(10, 10, "UA3DDX", "599 MO01", "599 MO08")  // BUSTED: UA3DDD was worked
            .Q(10, 20, "UA3EEE", "599 MO01", "599 MO09")  // NIL: UA3EEE logged it 40 minutes later
            .Q(10, 30, "UA3NOL", "599 MO01", "599 MO10")  // NOLOG: in two logs
            .Q(10, 35, "UA3UNQ", "599 MO01", "599 MO11")  // UNIQUE
            .Q(11, 40, "UA3FFF", "599 MO01", "599 MO12", "21")  // INVALID: band
            .Q(13, 0, "UA3GGG", "599 MO01", "599 MO13"),  // PERIOD
        LogBuilder("UA3BBB").Q(10, 0, "UA3AAA", "599 MO05", "599 MO01").Q(10, 31, "UA3NOL", "599 MO05", "599 MO10"),
        LogBuilder("UA3CCC")  // PARTNER when both are blamed
            .Q(10, 5, "UA3AAA", "599 MO07", "599 MO01")
            .Q(10, 40, "UA3CHK", "599 MO07", "599 MO14"),
        LogBuilder("UA3DDD")
            .Q(10, 10, "UA3AAA", "599 MO08", "599 MO01")  // OK, its call miscopied (PARTNER when both are blamed)
            .Q(10, 50, "UA3BBB", "599 MO08", "599 MO05"),
        LogBuilder("UA3EEE").Q(11, 0, "UA3AAA", "599 MO09", "599 MO01"),
        LogBuilder("UA3CHK").Checklog().Q(10, 40, "UA3CCC", "599 MO14", "599 MO02"),  // CHECKLOG (was EXCHANGE)
    };
    c.result = CrossCheck(c.logs, c.rules, true);
    return c;
}

std::string Words(const Checked& c, const std::string& call, std::size_t contact) {
    for (std::size_t L = 0; L < c.logs.size(); ++L)
        if (c.logs[L].call == call) return VerdictDetail(c.logs, c.result, L, contact, c.rules);
    return "no log " + call;
}

TEST(VerdictWords, EachKindToldFromItsFacts) {
    const Checked one = EveryVerdict(false);
    EXPECT_EQ(Words(one, "UA3AAA", 0), "");
    EXPECT_EQ(Words(one, "UA3AAA", 1), "repeats the contact at line 10");
    EXPECT_EQ(Words(one, "UA3AAA", 2), "you copied MO07 as MO06");
    EXPECT_EQ(Words(one, "UA3AAA", 3), "logged UA3DDX, the station worked was UA3DDD");
    EXPECT_EQ(Words(one, "UA3AAA", 4), "not in UA3EEE's log within the window: UA3EEE logged you 40 minutes later");
    EXPECT_EQ(Words(one, "UA3AAA", 5), "UA3NOL sent no log; credited, as it is in 2 logs");
    EXPECT_EQ(Words(one, "UA3AAA", 6), "UA3UNQ sent no log and is in 1 log");
    EXPECT_EQ(Words(one, "UA3AAA", 7), "band 21 is not in the contest");
    EXPECT_EQ(Words(one, "UA3AAA", 8), "outside the contest period");
    EXPECT_EQ(Words(one, "UA3DDD", 0), "UA3AAA logged your call as UA3DDX");
    EXPECT_EQ(Words(one, "UA3CHK", 0), "EXCHANGE: you copied MO07 as MO02");

    // Both sides lose: the one who copied right is told who miscopied what.
    const Checked both = EveryVerdict(true);
    EXPECT_EQ(both.result.logs[2].verdicts[0].verdict, Verdict::Partner);
    EXPECT_EQ(Words(both, "UA3CCC", 0), "UA3AAA copied your MO07 as MO06");
    EXPECT_EQ(Words(both, "UA3DDD", 0), "UA3AAA logged your call as UA3DDX");
    const VerdictFacts facts = VerdictFactsOf(both.logs, both.result, 2, 0, both.rules);
    EXPECT_EQ(facts.blamed, Blame::Other);
    EXPECT_EQ(facts.sent, "MO07");
    EXPECT_EQ(facts.copied, "MO06");
    EXPECT_EQ(facts.otherFile, "UA3AAA.log");
    EXPECT_EQ(facts.otherLine, 12u);
}

// The report, verdicts.csv and the site carry the same words for every
// contact that has any; and every kind of verdict is among them.
TEST(VerdictWords, ReportCsvAndSiteSayTheSame) {
    for (const bool blameBoth : {false, true}) {
        SCOPED_TRACE(blameBoth ? "both blamed" : "one blamed");
        const Checked c = EveryVerdict(blameBoth);
        std::ostringstream csvOut;
        WriteVerdictsCsv(csvOut, c.logs, c.result, c.rules);
        const std::string csv = csvOut.str();
        const webreport::Site site = SiteOf(c.logs, c.result, c.rules);
        std::set<Verdict> seen;
        for (std::size_t L = 0; L < c.logs.size(); ++L) {
            const std::string report = LogReport(c.logs, c.result, L, c.rules);
            const webreport::LogReport* page = nullptr;
            for (const webreport::LogReport& p : site.logs)
                if (p.call == c.logs[L].call) page = &p;
            ASSERT_NE(page, nullptr);
            for (std::size_t i = 0; i < c.logs[L].contacts.size(); ++i) {
                const ContactVerdict& v = c.result.logs[L].verdicts[i];
                seen.insert(v.verdict);
                const std::string words = VerdictDetail(c.logs, c.result, L, i, c.rules);
                SCOPED_TRACE(c.logs[L].call + " contact " + std::to_string(i) + ": " + words);
                if (words.empty()) continue;
                EXPECT_NE(csv.find("," + contestlog::CsvField(words) + "\r\n"), std::string::npos);
                if (v.verdict == Verdict::Ok || v.verdict == Verdict::NoLog || v.verdict == Verdict::Checklog) continue;
                EXPECT_NE(report.find("\n    " + words), std::string::npos) << report;
                const std::string place = c.logs[L].file + ":" + std::to_string(c.logs[L].contacts[i].place);
                bool onPage = false;
                for (const webreport::RemovedContact& rc : page->removed)
                    onPage |= rc.ownPlace == place && rc.reason == words;
                EXPECT_TRUE(onPage);
            }
            // Others who miscopied this call: the same words in the report and on the page.
            for (const MiscopiedBy& m : c.result.logs[L].miscopiedBy) {
                const std::string words = MiscopiedText(c.result, c.logs, m);
                EXPECT_NE(report.find("    " + words + ", line "), std::string::npos);
                ASSERT_FALSE(page->othersMiscopied.empty());
                EXPECT_EQ(page->othersMiscopied[0].reason, words);
            }
        }
        EXPECT_EQ(seen.size(), blameBoth ? kVerdictCount : kVerdictCount - 1);  // PARTNER only when both lose
    }
}

// An ADIF log's line is quoted the way a Cabrillo line reads, and the busted
// call's other line once.
TEST(VerdictWords, OtherLinesQuotedOnceAndAlike) {
    Checked c = EveryVerdict(false);
    SubmittedLog adif;
    adif.call = "UA3DDD";
    adif.file = "ddd.adi";
    ContactTexts t;
    t.band = "14";
    t.mode = "CW";
    t.frequency = "14012";
    t.call = "UA3AAA";
    t.sent = "599 MO08";
    t.report = "599 MO01";
    t.line = "<CALL:6>UA3AAA<QSO_DATE:8>20261205<TIME_ON:4>1010<BAND:3>20m<MODE:2>CW<EOR>";
    adif.Add(test::At(10, 10), 4, t);
    c.logs[3] = adif;
    c.result = CrossCheck(c.logs, c.rules, true);
    EXPECT_EQ(ShownLine(c.logs[3], 0), "QSO: 14012 CW 2026-12-05 10:10 UA3DDD 599 MO08 UA3AAA 599 MO01");
    const std::string report = LogReport(c.logs, c.result, 0, c.rules);
    EXPECT_NE(report.find("UA3DDD's log, line 4: QSO: 14012 CW 2026-12-05 10:10 UA3DDD 599 MO08 UA3AAA 599 MO01\n"),
              std::string::npos)
        << report;
    EXPECT_EQ(report.find("<CALL:6>"), std::string::npos);
    std::size_t quoted = 0;
    for (std::size_t at = 0; (at = report.find("UA3DDD 599 MO08", at)) != std::string::npos; ++at) ++quoted;
    EXPECT_EQ(quoted, 1u) << report;
}

}  // namespace
}  // namespace yol::check
