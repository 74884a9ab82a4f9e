#include "CrossCheck.h"

#include <gtest/gtest.h>

#include "LogBuilder.h"
#include "Outputs.h"

namespace yol::check {
namespace {

using test::Call;
using test::LogBuilder;
using test::PerContactRules;
using test::V;

TEST(CrossCheckMatching, ConfirmedPairAndMiscopiedExchangeBlameOnlyTheCopier) {
    std::vector<SubmittedLog> logs = {
        LogBuilder("UA3AAA").Q(10, 0, "UA3BBB", "599 MO01", "599 MO05").Q(10, 5, "UA3CCC", "599 MO01", "599 MO06"),
        LogBuilder("UA3BBB").Q(10, 1, "UA3AAA", "599 MO05", "599 MO01"),
        LogBuilder("UA3CCC").Q(10, 5, "UA3AAA", "599 MO05", "599 MO01"),
    };
    const CheckResult r = CrossCheck(logs, PerContactRules());
    EXPECT_EQ(V(r, 0, 0).verdict, Verdict::Ok);
    EXPECT_EQ(V(r, 0, 0).otherLog, 1u);
    EXPECT_EQ(V(r, 0, 0).otherContact, 0u);
    EXPECT_EQ(V(r, 0, 1).verdict, Verdict::Exchange);
    EXPECT_EQ(V(r, 0, 1).blamed, Blame::Self);
    EXPECT_EQ(VerdictDetail(logs, r, 0, 1, PerContactRules()), "you copied MO05 as MO06");
    EXPECT_EQ(V(r, 0, 1).points, 1);
    EXPECT_EQ(V(r, 2, 0).verdict, Verdict::Ok);
    EXPECT_EQ(V(r, 1, 0).verdict, Verdict::Ok);
    // Both sides lose where the rules say so.
    Rules both = PerContactRules();
    both.blameBoth = true;
    const CheckResult b = CrossCheck(logs, both);
    EXPECT_EQ(V(b, 2, 0).verdict, Verdict::Partner);
    EXPECT_EQ(V(b, 2, 0).blamed, Blame::Other);
    EXPECT_EQ(V(b, 2, 0).points, 0);
    EXPECT_EQ(V(b, 1, 0).verdict, Verdict::Ok);
}

TEST(CrossCheckMatching, NumbersCompareAsNumbersWhereTheRulesSaySo) {
    EXPECT_TRUE(TokenAgrees("001", "1", TokenCheck::Number));
    EXPECT_FALSE(TokenAgrees("001", "1", TokenCheck::Exact));
    EXPECT_TRUE(TokenAgrees("mo05", "MO05", TokenCheck::Exact));
    EXPECT_TRUE(TokenAgrees("MO05", "MO05", TokenCheck::Number));
    EXPECT_FALSE(TokenAgrees("MO06", "MO05", TokenCheck::Number));
    EXPECT_TRUE(TokenAgrees("anything", "599", TokenCheck::None));
}

TEST(CrossCheckMatching, PairsOneToOneByExchangesThenTheClosestTime) {
    Rules rules = PerContactRules();
    rules.dupeAfter = 1;  // the same station again after a minute
    rules.window = 5;
    std::vector<SubmittedLog> logs = {
        LogBuilder("UA3AAA").Q(10, 0, "UA3BBB", "599 1", "599 1").Q(10, 3, "UA3BBB", "599 2", "599 1"),
        LogBuilder("UA3BBB").Q(10, 3, "UA3AAA", "599 1", "599 2"),
    };
    const CheckResult r = CrossCheck(logs, rules);
    EXPECT_EQ(V(r, 0, 1).verdict, Verdict::Ok);
    EXPECT_EQ(V(r, 1, 0).otherContact, 1u);
    EXPECT_EQ(V(r, 0, 0).verdict, Verdict::Nil);
    // Exchanges that fit both ways win over the closer time: UA3BBB's one line
    // fits UA3AAA's second contact, three minutes off.
    logs[1] = LogBuilder("UA3BBB").Q(10, 0, "UA3AAA", "599 1", "599 2");
    logs[0] = LogBuilder("UA3AAA").Q(10, 0, "UA3BBB", "599 1", "599 7").Q(10, 3, "UA3BBB", "599 2", "599 1");
    const CheckResult f = CrossCheck(logs, rules);
    EXPECT_EQ(V(f, 0, 1).verdict, Verdict::Ok);
    EXPECT_EQ(V(f, 1, 0).verdict, Verdict::Ok);
    EXPECT_EQ(V(f, 1, 0).otherContact, 1u);
    EXPECT_EQ(V(f, 0, 0).verdict, Verdict::Nil);
}

TEST(CrossCheckMatching, NotInLogSaysHowFarOutsideTheWindowTheOtherLogHasIt) {
    std::vector<SubmittedLog> logs = {
        LogBuilder("UA3AAA").Q(10, 0, "UA3BBB", "599 1", "599 1").Q(11, 0, "UA3CCC", "599 2", "599 7"),
        LogBuilder("UA3BBB").Q(10, 12, "UA3AAA", "599 1", "599 1"),
        LogBuilder("UA3CCC").Q(9, 0, "UA3DDD", "599 7", "599 3"),
    };
    const CheckResult r = CrossCheck(logs, PerContactRules());
    EXPECT_EQ(V(r, 0, 0).verdict, Verdict::Nil);
    EXPECT_EQ(V(r, 0, 0).minutesOff, 12);
    EXPECT_NE(VerdictDetail(logs, r, 0, 0, PerContactRules()).find("12 minutes later"), std::string::npos);
    EXPECT_EQ(V(r, 1, 0).verdict, Verdict::Nil);
    EXPECT_EQ(V(r, 1, 0).minutesOff, 12);
    EXPECT_EQ(V(r, 0, 1).verdict, Verdict::Nil);
    EXPECT_FALSE(V(r, 0, 1).minutesOff.has_value());
    // Penalty: the contact's 2 points and once more.
    EXPECT_EQ(V(r, 0, 0).penalty, 2);
    EXPECT_EQ(r.logs[0].final.points, 0);  // never below zero
}

TEST(CrossCheckBusted, TheStationReallyWorkedIsNamedAndKeepsItsContact) {
    std::vector<SubmittedLog> logs = {
        LogBuilder("UA3AAA").Q(10, 0, "UA3ABD", "599 1", "599 5").Q(10, 10, "UA3XYZ", "599 2", "599 6"),
        LogBuilder("UA3ABC").Q(10, 1, "UA3AAA", "599 5", "599 1").Q(10, 11, "UA3XYZ", "599 6", "599 9"),
        LogBuilder("UA3XYZ").Q(10, 10, "UA3AAA", "599 6", "599 2").Q(10, 11, "UA3ABC", "599 9", "599 6"),
    };
    const CheckResult r = CrossCheck(logs, PerContactRules());
    const ContactVerdict& busted = V(r, 0, 0);
    EXPECT_EQ(busted.verdict, Verdict::Busted);
    EXPECT_EQ(busted.blamed, Blame::Self);
    EXPECT_EQ(Call(r, busted.otherCall), "UA3ABC");
    EXPECT_EQ(busted.otherLog, 1u);
    EXPECT_EQ(VerdictDetail(logs, r, 0, 0, PerContactRules()), "logged UA3ABD, the station worked was UA3ABC");
    EXPECT_EQ(busted.points, 0);
    EXPECT_EQ(busted.penalty, 2);
    // The other side keeps it and hears about it.
    const ContactVerdict& kept = V(r, 1, 0);
    EXPECT_EQ(kept.verdict, Verdict::Ok);
    EXPECT_EQ(kept.blamed, Blame::Other);
    EXPECT_EQ(kept.points, 2);
    ASSERT_EQ(r.logs[1].miscopiedBy.size(), 1u);
    EXPECT_EQ(Call(r, r.logs[1].miscopiedBy[0].loggedAs), "UA3ABD");
    EXPECT_EQ(r.logs[1].miscopiedBy[0].otherLog, 0u);

    Rules both = PerContactRules();
    both.blameBoth = true;
    const CheckResult b = CrossCheck(logs, both);
    EXPECT_EQ(V(b, 1, 0).verdict, Verdict::Partner);
    EXPECT_EQ(V(b, 0, 0).verdict, Verdict::Busted);
}

TEST(CrossCheckBusted, LostPortableDesignatorAndFarCallsAreTold) {
    std::vector<SubmittedLog> logs = {
        LogBuilder("UA3AAA").Q(10, 0, "UA3ABC", "599 1", "599 5").Q(10, 20, "UA3QQQ", "599 2", "599 5"),
        LogBuilder("UA3ABC/P").Q(10, 0, "UA3AAA", "599 5", "599 1"),
        LogBuilder("RZ9ZZZ").Q(10, 20, "UA3AAA", "599 5", "599 2"),
    };
    const CheckResult r = CrossCheck(logs, PerContactRules());
    EXPECT_EQ(V(r, 0, 0).verdict, Verdict::Busted);
    EXPECT_EQ(Call(r, V(r, 0, 0).otherCall), "UA3ABC/P");
    // RZ9ZZZ is nothing like UA3QQQ: no busted call, and RZ9ZZZ's own contact is NIL.
    EXPECT_EQ(V(r, 0, 1).verdict, Verdict::Unique);
    EXPECT_EQ(V(r, 2, 0).verdict, Verdict::Nil);
}

TEST(CrossCheckClock, AnOffsetClockIsEstimatedAndCorrected) {
    // UA3AAA's clock runs 7 minutes ahead; four partners confirm it.
    LogBuilder a("UA3AAA");
    std::vector<SubmittedLog> logs;
    const char* calls[] = {"UA3BBB", "UA3CCC", "UA3DDD", "UA3EEE"};
    for (int i = 0; i < 4; ++i) a.Q(10, 7 + 10 * i, calls[i], "599 1", "599 2");
    logs.push_back(a);
    for (int i = 0; i < 4; ++i) {
        LogBuilder b(calls[i]);
        b.Q(10, 10 * i + (i == 2 ? 1 : 0), "UA3AAA", "599 2", "599 1");  // a minute of jitter
        b.Q(12, 0, calls[(i + 1) % 4], "599 2", "599 2");
        b.Q(12, 0 + (i == 0 ? 0 : 0), calls[(i + 3) % 4], "599 2", "599 2");
        logs.push_back(b);
    }
    const CheckResult r = CrossCheck(logs, PerContactRules());
    EXPECT_EQ(r.logs[0].clockOffset, 7);
    for (std::size_t i = 1; i < logs.size(); ++i) EXPECT_EQ(r.logs[i].clockOffset, 0) << logs[i].call;
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(V(r, 0, i).verdict, Verdict::Ok) << i;
}

TEST(CrossCheckPolicy, CallsWithoutALogByTheUniquePolicy) {
    std::vector<SubmittedLog> logs = {
        LogBuilder("UA3AAA").Q(10, 0, "DL1XX", "599 1", "599 5").Q(10, 5, "OK1ZZ", "599 2", "599 5")
            .Q(10, 6, "UA3BBC", "599 3", "599 5"),
        LogBuilder("UA3BBB").Q(10, 2, "DL1XX", "599 1", "599 5").Q(10, 3, "UA3CCC", "599 2", "599 5")
            .Q(10, 4, "UA3DDD", "599 3", "599 5"),
    };
    Rules rules = PerContactRules();
    const CheckResult r = CrossCheck(logs, rules);
    EXPECT_EQ(V(r, 0, 0).verdict, Verdict::NoLog);  // in two logs
    EXPECT_EQ(V(r, 0, 0).points, 2);
    EXPECT_EQ(V(r, 0, 1).verdict, Verdict::Unique);
    EXPECT_EQ(V(r, 0, 1).points, 0);
    EXPECT_EQ(V(r, 0, 1).penalty, 0);  // a unique costs the contact only
    // UA3BBC is one dot from UA3BBB, which sent a busy log.
    EXPECT_EQ(V(r, 0, 2).verdict, Verdict::Unique);
    EXPECT_EQ(Call(r, V(r, 0, 2).otherCall), "UA3BBB");
    EXPECT_NE(VerdictDetail(logs, r, 0, 2, rules).find("probable busted call of UA3BBB"), std::string::npos);
    rules.uniqueMinLogs = 1;
    EXPECT_EQ(V(CrossCheck(logs, rules), 0, 1).verdict, Verdict::NoLog);
    rules.creditNoLog = false;
    EXPECT_EQ(V(CrossCheck(logs, rules), 0, 0).verdict, Verdict::Unique);
}

TEST(CrossCheckPolicy, DupesPeriodBandsModesAndChecklogs) {
    Rules rules = PerContactRules();
    rules.start = test::At(9, 0);
    rules.end = test::At(12, 0);
    rules.bands = {"14", "7"};
    rules.modes = {"CW"};
    std::vector<SubmittedLog> logs = {
        LogBuilder("UA3AAA")
            .Q(10, 0, "UA3BBB", "599 1", "599 1")
            .Q(10, 40, "UA3BBB", "599 2", "599 1")
            .Q(12, 0, "UA3CCC", "599 3", "599 1")
            .Q(10, 50, "UA3CCC", "599 4", "599 1", "10")
            .Q(10, 55, "UA3CCC", "599 5", "599 1", "14", "SSB")
            .Q(10, 56, "UA3AAA", "599 6", "599 6"),
        LogBuilder("UA3BBB").Checklog().Q(10, 0, "UA3AAA", "599 1", "599 1"),
    };
    CheckResult r = CrossCheck(logs, rules);
    EXPECT_EQ(V(r, 0, 0).verdict, Verdict::Ok);  // a checklog confirms
    EXPECT_EQ(V(r, 0, 1).verdict, Verdict::Dupe);
    EXPECT_NE(VerdictDetail(logs, r, 0, 1, rules).find("line 10"), std::string::npos);
    EXPECT_EQ(V(r, 0, 2).verdict, Verdict::Period);
    EXPECT_EQ(V(r, 0, 3).verdict, Verdict::Invalid);
    EXPECT_EQ(V(r, 0, 4).verdict, Verdict::Invalid);
    EXPECT_EQ(V(r, 0, 5).verdict, Verdict::Invalid);
    EXPECT_EQ(V(r, 1, 0).verdict, Verdict::Checklog);
    EXPECT_EQ(r.logs[1].final.score, 0);
    EXPECT_EQ(r.summary.checklogs, 1u);
    // Again after 30 minutes where the rules allow it.
    rules.dupeAfter = 30;
    r = CrossCheck(logs, rules);
    EXPECT_EQ(V(r, 0, 1).verdict, Verdict::Nil);
}

TEST(CrossCheckScore, PerContactPointsMultipliersAndReduction) {
    std::vector<SubmittedLog> logs = {
        LogBuilder("UA3AAA")
            .Q(10, 0, "UA3BBB", "599 MO", "599 SP")
            .Q(10, 1, "UA3CCC", "599 MO", "599 KR")  // miscopied: LE
            .Q(10, 2, "UA3BBB", "599 MO", "599 SP", "7"),
        LogBuilder("UA3BBB").Q(10, 0, "UA3AAA", "599 SP", "599 MO").Q(10, 2, "UA3AAA", "599 SP", "599 MO", "7"),
        LogBuilder("UA3CCC").Q(10, 1, "UA3AAA", "599 LE", "599 MO"),
    };
    const CheckResult r = CrossCheck(logs, PerContactRules());
    const LogResult& a = r.logs[0];
    EXPECT_EQ(a.raw.points, 6);
    EXPECT_EQ(a.raw.multipliers, 3);  // SP and KR on 14, SP on 7
    EXPECT_EQ(a.raw.score, 18);
    EXPECT_EQ(a.final.points, 5);
    EXPECT_EQ(a.final.multipliers, 2);  // the miscopied KR counts for nothing
    EXPECT_EQ(a.final.score, 10);
    EXPECT_NEAR(a.reductionPercent, 100.0 * 8 / 18, 1e-9);
    EXPECT_NEAR(a.errorRate, 1.0 / 3, 1e-9);
    EXPECT_EQ(a.counts[static_cast<std::size_t>(Verdict::Ok)], 2);
    EXPECT_EQ(a.counts[static_cast<std::size_t>(Verdict::Exchange)], 1);
    EXPECT_EQ(r.summary.contacts, 6u);
    EXPECT_EQ(r.summary.confirmed, 5u);
    // Without a multiplier token the score is the points.
    Rules plain = PerContactRules();
    plain.multiplierToken.clear();
    const CheckResult p = CrossCheck(logs, plain);
    EXPECT_EQ(p.logs[0].raw.score, 6);
    EXPECT_EQ(p.logs[0].final.score, 5);
    EXPECT_EQ(p.logs[2].final.multipliers, 1);
}

TEST(CrossCheckScore, YolScoringGoesThroughTheScoringCore) {
    std::vector<SubmittedLog> logs = {
        LogBuilder("UA3AAA").Q(10, 0, "UA3BBB", "599 MO01", "599 MO05").Q(10, 5, "UA3CCC", "599 MO01", "599 MO07"),
        LogBuilder("UA3BBB").Q(10, 0, "UA3AAA", "599 MO05", "599 MO01"),
    };
    for (SubmittedLog& log : logs) {
        log.myPrefix = "UA1";
        for (std::size_t i = 0; i < log.contacts.size(); ++i) {
            ContactTexts t = log.Texts(i);
            t.dxcc = "UA1";
            log.SetTexts(i, t);
        }
    }
    ContactTexts dl = logs[0].Texts(1);
    dl.dxcc = "DL";
    dl.continent = "EU";
    logs[0].SetTexts(1, dl);
    Rules rules = YolRules();
    rules.uniqueMinLogs = 1;
    const CheckResult r = CrossCheck(logs, rules);
    // Same prefix: 1 point; a DL station from a home station in Europe: 3.
    // Multipliers: districts MO05 and MO07, countries UA1 and DL.
    EXPECT_EQ(r.logs[0].raw.contacts, 2);
    EXPECT_EQ(r.logs[0].raw.points, 4);
    EXPECT_EQ(r.logs[0].raw.multipliers, 4);
    EXPECT_EQ(V(r, 0, 1).points, 3);
    EXPECT_EQ(V(r, 0, 1).verdict, Verdict::NoLog);
    EXPECT_EQ(r.logs[0].final.score, r.logs[0].raw.score);
    EXPECT_EQ(V(r, 0, 0).points, 1);
}

}  // namespace
}  // namespace yol::check
