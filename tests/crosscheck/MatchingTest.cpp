// The matching where the evidence is thin or the logs hostile: the period
// under a clock estimate, which of two repeats pairs, probable busted calls,
// logs built to make the pairing square in size, and the index the steps look
// contacts up in.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CrossCheck.h"
#include "Engine.h"
#include "Outputs.h"
#include "LogBuilder.h"

namespace yol::check {
namespace {

using test::Call;
using test::LogBuilder;
using test::PerContactRules;
using test::V;

// "UA3" and three letters from n: distinct calls for generated logs.
std::string CallOf(std::size_t n, const char* prefix = "UA3") {
    std::string call = prefix;
    for (std::size_t k = 0, m = n; k < 3; ++k, m /= 16) call += static_cast<char>('B' + m % 16);
    return call;
}

TEST(MatchingPeriod, AClockEstimateNeverPutsOutsideWhatBothLogsPlaceInside) {
    Rules rules = PerContactRules();
    rules.start = test::At(12, 0);
    rules.end = test::At(18, 0);
    // UA3AAA's clock runs 6 minutes ahead by three partners; the fourth
    // logged the contact at the start 5 minutes apart.
    LogBuilder a("UA3AAA");
    std::vector<SubmittedLog> logs;
    const char* partners[] = {"UA3BBB", "UA3CCC", "UA3DDD"};
    for (int i = 0; i < 3; ++i) {
        a.Q(13, 6 + 10 * i, partners[i], "599 1", "599 2");
        logs.push_back(LogBuilder(partners[i]).Q(13, 10 * i, "UA3AAA", "599 2", "599 1"));
    }
    a.Q(12, 5, "UA3EEE", "599 1", "599 2");  // corrected 11:59; UA3EEE logged 12:00
    a.Q(12, 5, "OK1ZZ", "599 1", "599 2");   // no log: corrected a minute out
    a.Q(12, 2, "UA3FFF", "599 1", "599 2");  // corrected 11:56; UA3FFF logged 11:56 too
    logs.push_back(LogBuilder("UA3EEE").Q(12, 0, "UA3AAA", "599 2", "599 1"));
    logs.push_back(LogBuilder("UA3FFF").Q(11, 56, "UA3AAA", "599 2", "599 1"));
    logs.insert(logs.begin(), a.Build());
    const CheckResult r = CrossCheck(logs, rules);
    ASSERT_EQ(r.logs[0].clockOffset, 6);
    EXPECT_EQ(V(r, 0, 3).verdict, Verdict::Ok);
    EXPECT_EQ(V(r, 4, 0).verdict, Verdict::Ok);
    EXPECT_EQ(V(r, 0, 4).verdict, Verdict::Unique);
    EXPECT_EQ(V(r, 0, 5).verdict, Verdict::Period);  // both logs place it outside
    EXPECT_EQ(V(r, 5, 0).verdict, Verdict::Period);
}

TEST(MatchingBusted, ACallBeyondTheDistanceLimitFittingBothWaysInTheSameMinuteIsBusted) {
    std::vector<SubmittedLog> logs = {
        LogBuilder("UA9XX").Q(12, 0, "UA3SBC", "599 MO05", "599 123"),  // 2.5 from UA3AAA
        LogBuilder("UA3AAA").Q(12, 0, "UA9XX", "599 123", "599 MO05"),
    };
    CheckResult r = CrossCheck(logs, PerContactRules());
    EXPECT_EQ(V(r, 0, 0).verdict, Verdict::Busted);
    EXPECT_EQ(Call(r, V(r, 0, 0).otherCall), "UA3AAA");
    // A minute apart, or an exchange that fits one way only, is not enough.
    logs[1] = LogBuilder("UA3AAA").Q(12, 1, "UA9XX", "599 123", "599 MO05");
    EXPECT_NE(V(CrossCheck(logs, PerContactRules()), 0, 0).verdict, Verdict::Busted);
    logs[1] = LogBuilder("UA3AAA").Q(12, 0, "UA9XX", "599 123", "599 MO06");
    EXPECT_NE(V(CrossCheck(logs, PerContactRules()), 0, 0).verdict, Verdict::Busted);
}

TEST(MatchingPolicy, ACallCreditedOnlyByThePolicyIsFirstTakenAsABustOfABusierOne) {
    // DL1ABC sent no log but is in ten logs on 14 CW around 10:00; DL1ABD,
    // one dot away, is in two logs at 10:05 on the same band: a repeated
    // bust. OK1ZZ in two logs, far from any busy call, is credited, and so is
    // DL1ABF, in two logs hours after DL1ABC was on.
    std::vector<SubmittedLog> logs;
    for (int i = 0; i < 10; ++i) {
        LogBuilder b(CallOf(static_cast<std::size_t>(i)));
        b.Q(10, i, "DL1ABC", "599 1", "599 5");
        if (i < 2) b.Q(10, 5, "DL1ABD", "599 2", "599 5").Q(10, 30, "OK1ZZ", "599 3", "599 4");
        if (i == 2 || i == 3) b.Q(16, 0, "DL1ABF", "599 2", "599 5");
        logs.push_back(b);
    }
    Rules rules = PerContactRules();
    const CheckResult r = CrossCheck(logs, rules);
    EXPECT_EQ(V(r, 0, 0).verdict, Verdict::NoLog);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(V(r, i, 1).verdict, Verdict::Unique) << i;
        EXPECT_EQ(Call(r, V(r, i, 1).otherCall), "DL1ABC");
        EXPECT_EQ(V(r, i, 2).verdict, Verdict::NoLog);
    }
    EXPECT_EQ(V(r, 2, 1).verdict, Verdict::NoLog);
    EXPECT_EQ(V(r, 3, 1).verdict, Verdict::NoLog);
}

// With blame on both sides: a contact taken off for the partner's fault
// earned nothing, so the same station may be worked again at once; and a
// partner's busted line that is also its own repeat still busted the call.
TEST(MatchingBlame, APartnerContactStartsNoDupeIntervalAndABustedRepeatStillBlames) {
    Rules rules = PerContactRules();
    rules.blameBoth = true;
    rules.dupeAfter = 30;
    std::vector<SubmittedLog> logs = {
        LogBuilder("UA3AAA").Q(10, 0, "UA3BBB", "599 1", "599 7").Q(10, 10, "UA3BBB", "599 2", "599 8"),
        LogBuilder("UA3BBB").Q(10, 0, "UA3AAA", "599 7", "599 9").Q(10, 10, "UA3AAA", "599 8", "599 2"),
    };
    CheckResult r = CrossCheck(logs, rules);
    EXPECT_EQ(V(r, 1, 0).verdict, Verdict::Exchange);
    EXPECT_EQ(V(r, 0, 0).verdict, Verdict::Partner);
    EXPECT_EQ(V(r, 0, 1).verdict, Verdict::Ok);
    EXPECT_EQ(V(r, 1, 1).verdict, Verdict::Ok);

    // UA3BBB works UA3AAT at 10:00, then UA3AAA at 10:10 and logs it as
    // UA3AAT again: its line is busted (and a repeat of its own), and
    // UA3AAA, who copied right, loses the contact with the reason.
    logs = {
        LogBuilder("UA3AAA").Q(10, 10, "UA3BBB", "599 2", "599 8"),
        LogBuilder("UA3BBB").Q(10, 0, "UA3AAT", "599 7", "599 5").Q(10, 10, "UA3AAT", "599 8", "599 2"),
        LogBuilder("UA3AAT").Q(10, 0, "UA3BBB", "599 5", "599 7"),
    };
    r = CrossCheck(logs, rules);
    EXPECT_EQ(V(r, 0, 0).verdict, Verdict::Partner);
    EXPECT_EQ(VerdictDetail(logs, r, 0, 0, rules), "UA3BBB logged your call as UA3AAT");
    EXPECT_NE(V(r, 1, 1).verdict, Verdict::Ok);
    EXPECT_EQ(V(r, 1, 0).verdict, Verdict::Ok);
    // Blamed on the miscopier alone, UA3AAA keeps it and is told.
    rules.blameBoth = false;
    r = CrossCheck(logs, rules);
    EXPECT_EQ(V(r, 0, 0).verdict, Verdict::Ok);
    EXPECT_EQ(V(r, 0, 0).blamed, Blame::Other);
}

TEST(MatchingDates, ABlockOfALogDatedADayOffIsRecognisedAndCorrected) {
    Rules rules = PerContactRules();
    rules.start = test::At(9, 0);
    rules.end = test::At(12, 0);
    // UA3AAA's contacts 1 to 4 are dated the next day; the first and the last
    // are right.
    LogBuilder a("UA3AAA");
    std::vector<SubmittedLog> logs;
    a.Q(9, 30, "UA3ZZZ", "599 1", "599 2");
    for (int i = 0; i < 4; ++i) {
        const std::string call = CallOf(static_cast<std::size_t>(i));
        a.Q(24 + 10, 10 * i, call, "599 1", "599 2");
        logs.push_back(LogBuilder(call).Q(10, 10 * i, "UA3AAA", "599 2", "599 1"));
    }
    a.Q(11, 0, "UA3ZZZ", "599 1", "599 2", "7");
    logs.push_back(LogBuilder("UA3ZZZ").Q(9, 30, "UA3AAA", "599 2", "599 1").Q(11, 0, "UA3AAA", "599 2", "599 1", "7"));
    logs.insert(logs.begin(), a.Build());
    const CheckResult r = CrossCheck(logs, rules);
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(V(r, 0, i).verdict, Verdict::Ok) << i;
    ASSERT_EQ(r.logs[0].dateShifts.size(), 1u);
    EXPECT_EQ(r.logs[0].dateShifts[0].first, 1u);
    EXPECT_EQ(r.logs[0].dateShifts[0].last, 4u);
    EXPECT_EQ(r.logs[0].dateShifts[0].minutes, 24 * 60);
    EXPECT_EQ(r.logs[0].clockOffset, 0);
    for (std::size_t L = 1; L < logs.size(); ++L) EXPECT_TRUE(r.logs[L].dateShifts.empty());
    // The entrant is told, with the lines, rather than faulted.
    const std::string report = LogReport(logs, r, 0, rules);
    EXPECT_NE(report.find("Dates corrected: lines " + std::to_string(logs[0].contacts[1].place) + " to " +
                          std::to_string(logs[0].contacts[4].place) + " were dated 1 day late"),
              std::string::npos)
        << report;
}

// Two logs holding each other n times in one minute, every line's exchange
// its own serial: each line pairs with the other's line of the same serial.
std::vector<SubmittedLog> HostilePair(std::size_t n) {
    LogBuilder a("UA3AAA"), b("UA3BBB");
    for (std::size_t i = 0; i < n; ++i) {
        const std::string serial = "599 " + std::to_string(i + 1);
        a.Q(12, 0, "UA3BBB", serial, serial);
        b.Q(12, 0, "UA3AAA", serial, serial);
    }
    return {a.Build(), b.Build()};
}

// n logs working UA9XYZ in one minute, whose log busts every call (drops its
// last letter).
std::vector<SubmittedLog> OneStationBustingAll(std::size_t n) {
    std::vector<SubmittedLog> logs;
    LogBuilder x("UA9XYZ");
    for (std::size_t k = 0; k < n; ++k) {
        const std::string call = CallOf(k), serial = std::to_string(k + 1);
        x.Q(12, 0, call.substr(0, call.size() - 1), "599 MO05", "599 " + serial);
        logs.push_back(LogBuilder(call).Q(12, 0, "UA9XYZ", "599 " + serial, "599 MO05"));
    }
    logs.push_back(x);
    return logs;
}

// The index every step looks contacts up in: each key's contacts in time
// order (ties by id), nothing for a key it does not hold, from one group to
// tens of thousands (the probes wrap round the table's end).
TEST(MatchingIndex, EveryGroupFoundWholeInTimeOrderAndNothingElse) {
    EXPECT_TRUE(engine::FlatIndex().Find(7).empty());
    std::mt19937_64 rng(5);
    for (const std::size_t groups : {std::size_t{1}, std::size_t{12}, std::size_t{13}, std::size_t{3000},
                                     std::size_t{49152}, std::size_t{49153}}) {
        std::vector<engine::FlatIndex::Entry> entries;
        std::map<std::uint64_t, std::vector<std::pair<std::int64_t, std::uint32_t>>> expected;
        for (std::size_t k = 0; k < groups; ++k) {
            const std::uint64_t key = rng() | 1;  // even keys are never held
            for (std::uint64_t n = 1 + rng() % 3; n > 0; --n) {
                const auto id = static_cast<std::uint32_t>(entries.size());
                const std::int64_t time = static_cast<std::int64_t>(rng() % 5) - 2;
                entries.push_back({key, time, id});
                expected[key].emplace_back(time, id);
            }
        }
        std::shuffle(entries.begin(), entries.end(), rng);
        const engine::FlatIndex index(std::move(entries));
        for (auto& [key, list] : expected) {
            std::sort(list.begin(), list.end());
            const auto found = index.Find(key);
            ASSERT_EQ(found.size(), list.size()) << groups;
            for (std::size_t i = 0; i < list.size(); ++i) EXPECT_EQ(found[i], list[i].second) << groups;
        }
        for (int miss = 0; miss < 1000; ++miss) EXPECT_TRUE(index.Find(rng() & ~std::uint64_t{1}).empty()) << groups;
    }
}

TEST(MatchingHostile, RepeatsInOneMinutePairByTheirExchangesInLinearWork) {
    const std::size_t n = 2000;
    const auto logs = HostilePair(n);
    const CheckResult r = CrossCheck(logs, PerContactRules());
    EXPECT_EQ(V(r, 0, 0).verdict, Verdict::Ok);
    for (std::size_t i = 0; i < n; ++i) {
        ASSERT_EQ(V(r, 0, i).otherContact, i);
        ASSERT_EQ(V(r, 1, i).otherContact, i);
        if (i > 0) {
            ASSERT_EQ(V(r, 0, i).verdict, Verdict::Dupe);
        }
    }
}

TEST(MatchingHostile, ManyLogsWorkingOneStationThatBustsEveryCallAreAllFound) {
    const std::size_t n = 300;  // more than the narrow search takes
    const auto logs = OneStationBustingAll(n);
    const CheckResult r = CrossCheck(logs, PerContactRules());
    for (std::size_t k = 0; k < n; ++k) {
        ASSERT_EQ(V(r, n, k).verdict, Verdict::Busted) << k;
        ASSERT_EQ(Call(r, V(r, n, k).otherCall), CallOf(k));
        ASSERT_TRUE(V(r, k, 0).callMiscopied);
    }
}

double PeakMegabytes() {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    double kb = 0;
    while (std::fgets(line, sizeof line, f)) {
        if (std::sscanf(line, "VmHWM: %lf", &kb) == 1) break;
    }
    std::fclose(f);
    return kb / 1024;
}

// Benchmarks, run by hand (--gtest_also_run_disabled_tests; YOL_HOSTILE_N,
// default 8,000): time and peak memory of both hostile shapes.
TEST(MatchingHostile, DISABLED_Sizes) {
    const std::size_t n = std::getenv("YOL_HOSTILE_N") ? std::stoul(std::getenv("YOL_HOSTILE_N")) : 8000;
    for (int shape = 0; shape < 2; ++shape) {
        const auto logs = shape == 0 ? HostilePair(n) : OneStationBustingAll(n);
        const auto t0 = std::chrono::steady_clock::now();
        const CheckResult r = CrossCheck(logs, PerContactRules());
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("%s, n = %zu: %.2f s, peak %.0f MB\n",
                    shape == 0 ? "two logs holding each other n times in one minute"
                               : "n logs working one station that busts every call",
                    n, s, PeakMegabytes());
        EXPECT_EQ(r.logs.size(), logs.size());
    }
}

}  // namespace
}  // namespace yol::check
