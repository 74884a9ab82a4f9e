// What the committee's rules keys change in the cross-check: points per
// outcome, frequency segments, blame per kind, the credit threshold in
// contacts, checklog scores and the list of valid multiplier values.
#include "CrossCheck.h"

#include <array>

#include <gtest/gtest.h>

#include "LogBuilder.h"
#include "Outputs.h"

namespace yol::check {
namespace {

using test::LogBuilder;
using test::PerContactRules;

// A log whose contacts carry a frequency: "kHz call sent | received" at one a minute from 10:00.
SubmittedLog WithFrequencies(const std::string& call, const std::vector<std::array<std::string, 4>>& contacts,
                             int firstMinute = 0) {
    SubmittedLog log = LogBuilder(call).Build();
    int minute = firstMinute;
    for (const auto& [khz, worked, sent, received] : contacts) {
        ContactTexts c;
        c.band = "14";
        c.mode = "CW";
        c.frequency = khz;
        c.call = worked;
        c.sent = sent;
        c.report = received;
        log.Add(test::At(10, minute++), log.contacts.size() + 1, c);
    }
    return log;
}

TEST(RulesKeys, SegmentsJudgeEachSideOnItsOwnFrequency) {
    Rules rules = PerContactRules();
    rules.segments = {{"14", "CW", 14000, 14070}, {"14", "SSB", 14100, 14350}};
    const std::vector<SubmittedLog> logs = {
        WithFrequencies("UA3AAA", {{{"14205", "UA3BBB", "599 MO01", "599 MO02"}, {"", "UA3CCC", "599 MO01", "599 MO03"}}}),
        WithFrequencies("UA3BBB", {{{"14025", "UA3AAA", "599 MO02", "599 MO01"}}}),
        LogBuilder("UA3CCC").Q(10, 1, "UA3AAA", "599 MO03", "599 MO01"),
    };
    const CheckResult r = CrossCheck(logs, rules);
    // UA3AAA logged phone's stretch: its contact is INVALID, UA3BBB's stands.
    EXPECT_EQ(r.logs[0].verdicts[0].verdict, Verdict::Invalid);
    EXPECT_EQ(VerdictDetail(logs, r, 0, 0, rules),
              "logged on 14205 kHz, outside the CW segment of the band (14000-14070 kHz)");
    EXPECT_EQ(r.logs[1].verdicts[0].verdict, Verdict::Ok);
    // No frequency logged: never faulted by the segments.
    EXPECT_EQ(r.logs[0].verdicts[1].verdict, Verdict::Ok);
    EXPECT_EQ(r.logs[2].verdicts[0].verdict, Verdict::Ok);
    // Alone, the contact outside is set aside too.
    EXPECT_EQ(ScoreAlone(logs[0], rules).setAside, 1u);
}

TEST(RulesKeys, PointsPerOutcomeAndTheCreditThresholdInContacts) {
    Rules rules = PerContactRules();  // 2 confirmed, 1 miscopied
    rules.multiplierToken.clear();
    rules.pointsNoLog = 1;
    rules.uniqueMinLogs = 2;
    const std::vector<SubmittedLog> logs = {
        LogBuilder("UA3AAA").Q(10, 0, "UA3BBB", "599 1", "599 2").Q(10, 2, "UA3XXX", "599 2", "599 9"),
        LogBuilder("UA3BBB").Q(10, 0, "UA3AAA", "599 2", "599 1").Q(10, 3, "UA3XXX", "599 3", "599 9"),
    };
    CheckResult r = CrossCheck(logs, rules);
    EXPECT_EQ(r.logs[0].verdicts[1].verdict, Verdict::NoLog);
    EXPECT_EQ(r.logs[0].verdicts[1].points, 1);  // credited without a log: 1, not 2
    EXPECT_EQ(r.logs[0].final.points, 3);
    // In 2 logs but only 2 contacts: not credited when 3 contacts are asked for.
    rules.uniqueMinContacts = 3;
    r = CrossCheck(logs, rules);
    EXPECT_EQ(r.logs[0].verdicts[1].verdict, Verdict::Unique);
}

TEST(RulesKeys, BlamePerKind) {
    const std::vector<SubmittedLog> logs = {
        // UA3AAA miscopies UA3BBB's exchange; UA3CCC busts UA3AAA's call as UA3AAB.
        LogBuilder("UA3AAA").Q(10, 0, "UA3BBB", "599 MO01", "599 MO09").Q(10, 5, "UA3CCC", "599 MO01", "599 MO03"),
        LogBuilder("UA3BBB").Q(10, 0, "UA3AAA", "599 MO02", "599 MO01"),
        LogBuilder("UA3CCC").Q(10, 5, "UA3AAB", "599 MO03", "599 MO01"),
    };
    Rules rules = PerContactRules();
    rules.blameBustedBoth = true;  // a busted call from both sides, a miscopied exchange from the copier only
    const CheckResult r = CrossCheck(logs, rules);
    EXPECT_EQ(r.logs[0].verdicts[0].verdict, Verdict::Exchange);
    EXPECT_EQ(r.logs[1].verdicts[0].verdict, Verdict::Ok);
    EXPECT_EQ(r.logs[2].verdicts[0].verdict, Verdict::Busted);
    EXPECT_EQ(r.logs[0].verdicts[1].verdict, Verdict::Partner);
    // The other way round.
    rules.blameBustedBoth = false;
    rules.blameExchangeBoth = true;
    const CheckResult o = CrossCheck(logs, rules);
    EXPECT_EQ(o.logs[1].verdicts[0].verdict, Verdict::Partner);
    EXPECT_EQ(o.logs[0].verdicts[1].verdict, Verdict::Ok);
}

TEST(RulesKeys, ChecklogScoreIsShownWhenTheRulesSaySo) {
    std::vector<SubmittedLog> logs = {
        LogBuilder("UA3AAA").Q(10, 0, "UA3BBB", "599 MO01", "599 MO02").Checklog(),
        LogBuilder("UA3BBB").Q(10, 0, "UA3AAA", "599 MO02", "599 MO01"),
    };
    Rules rules = PerContactRules();
    EXPECT_EQ(CrossCheck(logs, rules).logs[0].final.score, 0);
    rules.checklogScore = true;
    const CheckResult r = CrossCheck(logs, rules);
    EXPECT_EQ(r.logs[0].final.score, 2);  // 2 points x 1 multiplier
    EXPECT_EQ(r.logs[0].verdicts[0].verdict, Verdict::Checklog);
    EXPECT_EQ(r.logs[0].verdicts[0].checked, Verdict::Ok);
}

TEST(RulesKeys, AValueOffTheListIsMiscopiedUnlessTheSenderSentIt) {
    Rules rules = PerContactRules();
    for (ExchangeClass& c : rules.exchange) c.received[1].check = TokenCheck::None;  // the list alone judges the value
    rules.multiplierToken.clear();
    MultiplierRule region;
    region.token = "exch";
    region.valid = {"MO", "SP"};
    rules.multipliers = {region};
    const std::vector<SubmittedLog> logs = {
        LogBuilder("UA3AAA").Q(10, 0, "UA3BBB", "599 MO", "599 MOS").Q(10, 5, "UA3CCC", "599 MO", "599 XX"),
        LogBuilder("UA3BBB").Q(10, 0, "UA3AAA", "599 MO", "599 MO"),
        LogBuilder("UA3CCC").Q(10, 5, "UA3AAA", "599 XX", "599 MO"),
    };
    const CheckResult r = CrossCheck(logs, rules);
    EXPECT_EQ(r.logs[0].verdicts[0].verdict, Verdict::Exchange);
    EXPECT_EQ(VerdictDetail(logs, r, 0, 0, rules), "the exch MOS is not on the rules' list");
    // UA3CCC sent XX itself: the contact stands and brings no multiplier.
    EXPECT_EQ(r.logs[0].verdicts[1].verdict, Verdict::Ok);
    EXPECT_EQ(r.logs[0].final.multipliers, 0);
    EXPECT_EQ(r.logs[2].final.multipliers, 1);
}

}  // namespace
}  // namespace yol::check
