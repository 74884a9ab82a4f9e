// The engine on simulated contests whose every error is known: each injected
// error found with the right verdict, blamed side and true call where the
// logs hold the evidence, no clean contact penalised, every clock offset
// within a minute.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>

#include <gtest/gtest.h>

#include "CrossCheck.h"
#include "Outputs.h"
#include "contestsim/ContestSim.h"

namespace yol::check {
namespace {

using contestsim::ContestSim;
using contestsim::SimError;
using contestsim::SimLine;
using contestsim::SimLogKind;

// The exchange's tokens joined by single spaces, as yolcheck keeps them.
std::string Joined(const std::string& text) {
    std::string out;
    for (std::string_view t : contestlog::ExchangeTokens(text)) {
        if (!out.empty()) out += ' ';
        out += t;
    }
    return out;
}

struct Simulated {
    std::vector<SubmittedLog> logs;
    std::vector<std::size_t> station;              // per log: the station
    std::vector<std::vector<SimLine>> lines;       // per log: the lines written, in order
    std::vector<std::size_t> logOfStation;         // per station: its log or kNone
    std::vector<int> clockOffset;                  // per log: the station's clock
};

Simulated Build(const ContestSim& sim) {
    Simulated s;
    s.logOfStation.assign(sim.Stations().size(), kNone);
    for (std::size_t st = 0; st < sim.Stations().size(); ++st) {
        const contestsim::SimStation& station = sim.Stations()[st];
        if (station.log == SimLogKind::NoLog) continue;
        SubmittedLog log;
        log.call = station.call;
        log.checklog = station.log == SimLogKind::CheckLog;
        log.file = station.call + ".log";
        std::vector<SimLine> written;
        for (SimLine& line : sim.Log(st)) {
            if (line.error == SimError::Missing) continue;
            ContactTexts c;
            c.band = line.band;
            c.mode = line.mode;
            c.frequency = line.frequency;
            c.call = line.call;
            const std::string sent = Joined(line.sent), received = Joined(line.received);
            c.sent = sent;
            c.report = received;
            log.Add(line.loggedTime, written.size() + 1, c);
            written.push_back(std::move(line));
        }
        s.logOfStation[st] = s.logs.size();
        s.logs.push_back(std::move(log));
        s.station.push_back(st);
        s.clockOffset.push_back(station.clockOffset);
        s.lines.push_back(std::move(written));
    }
    return s;
}

// What the truth says a line's verdict must be, and whether the logs hold the
// evidence for it; `why` names the cause where they do not.
struct Expected {
    Verdict verdict;
    bool evidence = true;
    std::string why;
};

Expected Expect(const Simulated& s, std::size_t mine, const SimLine& line,
               const std::map<std::string, std::size_t>& logsWith) {
    const std::size_t otherLog = s.logOfStation[line.other];
    auto it = logsWith.find(line.call);
    const Verdict noLog = it != logsWith.end() && it->second >= 2 ? Verdict::NoLog : Verdict::Unique;
    // The other side's line of the same true contact.
    SimError otherError = SimError::Missing;
    if (otherLog != kNone)
        for (const SimLine& o : s.lines[otherLog])
            if (o.qso == line.qso) otherError = o.error;
    // The period applies to the time logged, corrected only for a clock off
    // by more than the window.
    const int offset = s.clockOffset[mine];
    const std::int64_t t = line.loggedTime - (std::abs(offset) > 3 ? offset : 0);
    if (t < contestsim::kSimStart || t >= contestsim::kSimStart + contestsim::kSimMinutes)
        return {Verdict::Period, true, ""};
    SimError error = line.error;
    if (error == SimError::Dupe || error == SimError::Period) error = SimError::None;  // judged by the logs
    switch (error) {
        case SimError::BustedCall:
            // Where no log holds the station really worked, the busted call is
            // a call with no log like any other: the unique policy decides.
            if (otherLog == kNone) return {Verdict::Busted, false, "busted call of a station with no log"};
            if (otherError == SimError::Missing) return {Verdict::Busted, false, "busted call, other side left it out"};
            if (otherError == SimError::BustedCall) return {Verdict::Busted, false, "both sides busted the call"};
            return {Verdict::Busted, true, ""};
        case SimError::Exchange:
            if (otherLog == kNone) return {Verdict::Exchange, false, "miscopied exchange of a station with no log"};
            if (otherError == SimError::Missing) return {Verdict::Nil, true, ""};
            return {Verdict::Exchange, true, ""};
        case SimError::Dupe:
        case SimError::Period:
        case SimError::None:
        case SimError::Missing:
            break;
    }
    if (otherLog == kNone) return {noLog, true, ""};
    if (otherError == SimError::Missing) return {Verdict::Nil, true, ""};
    if (otherError == SimError::BustedCall) return {Verdict::Ok, false, "other side busted the call"};
    return {Verdict::Ok, true, ""};
}

struct Tallies {
    std::map<std::pair<std::string, std::string>, std::size_t> confusion;  // (expected, got)
    std::map<std::string, std::size_t> unexplained, explained;
    std::size_t cleanPenalised = 0, offsetsOff = 0, wrongTrueCall = 0, wrongBlame = 0;
};

Tallies CheckSimulated(const contestsim::SimOptions& options) {
    const ContestSim sim(options);
    const Simulated s = Build(sim);
    Rules rules = YolRules();
    rules.start = contestsim::kSimStart;
    rules.end = contestsim::kSimStart + contestsim::kSimMinutes;
    rules.scoring = Scoring::PerContact;
    rules.multiplierToken = "exch";
    rules.pointsConfirmed = 1;
    const CheckResult r = CrossCheck(s.logs, rules);
    // The unique policy: calls with no log count when in at least two logs.
    std::map<std::string, std::size_t> logsWith;
    for (const SubmittedLog& log : s.logs) {
        std::map<std::string, bool> seen;
        for (std::size_t i = 0; i < log.contacts.size(); ++i) {
            const std::string call(log.Texts(i).call);
            if (!seen[call]) seen[call] = true, ++logsWith[call];
        }
    }
    Tallies t;
    // A log too small to estimate its clock from (the offset check below
    // passes it under ten contacts) holds no evidence where the clock matters.
    std::vector<bool> clockUnknown(s.logs.size());
    for (std::size_t L = 0; L < s.logs.size(); ++L)
        clockUnknown[L] = std::llabs(r.logs[L].clockOffset - s.clockOffset[L]) > 1;
    for (std::size_t L = 0; L < s.logs.size(); ++L) {
        const contestsim::SimStation& st = sim.Stations()[s.station[L]];
        if (s.logs[L].contacts.size() >= 10 && std::llabs(r.logs[L].clockOffset - st.clockOffset) > 1) {
            ++t.offsetsOff;
            ADD_FAILURE() << st.call << " clock " << st.clockOffset << " estimated " << r.logs[L].clockOffset;
        }
        // A repeat of a contact that counted, in the log's order, is a dupe.
        std::map<std::string, bool> counted;
        for (std::size_t i = 0; i < s.lines[L].size(); ++i) {
            const SimLine& line = s.lines[L][i];
            const ContactVerdict& v = r.logs[L].verdicts[i];
            if (s.logs[L].checklog) {
                EXPECT_EQ(v.verdict, Verdict::Checklog);
                continue;
            }
            Expected e = Expect(s, L, line, logsWith);
            const std::size_t otherLog = s.logOfStation[line.other];
            if (e.evidence && (clockUnknown[L] || (otherLog != kNone && clockUnknown[otherLog])))
                e = {e.verdict, false, "clock of a log too small to estimate"};
            const std::string key = line.call + "|" + std::string(line.band) + "|" + std::string(line.mode);
            if (e.verdict != Verdict::Period && counted[key]) e = {Verdict::Dupe, true, ""};
            else if (e.verdict == Verdict::Ok || e.verdict == Verdict::NoLog) counted[key] = true;
            const std::string want(VerdictCode(e.verdict)), got(VerdictCode(v.verdict));
            ++t.confusion[{want, got}];
            if (want != got) {
                if (!e.evidence) {
                    ++t.explained[e.why + " (found as " + got + ")"];
                }
                else {
                    ++t.unexplained[want + " found as " + got];
                    std::printf("  %s line %zu (%s): %s found as %s: %s\n", s.logs[L].call.c_str(), i + 1,
                                std::string(contestsim::SimErrorName(line.error)).c_str(), want.c_str(), got.c_str(),
                                VerdictDetail(s.logs, r, L, i, rules).c_str());
                }
            }
            const bool clean = line.error == SimError::None;
            const bool credited = v.verdict == Verdict::Ok || v.verdict == Verdict::NoLog;
            // A clean line the rules leave standing must be credited.
            if (clean && e.evidence && (e.verdict == Verdict::Ok || e.verdict == Verdict::NoLog) && !credited) {
                ++t.cleanPenalised;
                ADD_FAILURE() << s.logs[L].call << " line " << i + 1 << " clean, found " << got << ": " << VerdictDetail(s.logs, r, L, i, rules);
            }
            if (e.verdict == Verdict::Busted && v.verdict == Verdict::Busted &&
                r.Call(v.otherCall) != sim.Stations()[line.other].call)
                ++t.wrongTrueCall;
            const bool selfError = e.verdict != Verdict::Ok && e.verdict != Verdict::NoLog;
            if (e.evidence && want == got && (v.blamed == Blame::Self) != selfError) ++t.wrongBlame;
        }
    }
    return t;
}

void Print(const Tallies& t) {
    std::map<std::string, std::size_t> expected, found, right;
    for (const auto& [k, n] : t.confusion) {
        expected[k.first] += n;
        found[k.second] += n;
        if (k.first == k.second) right[k.first] += n;
    }
    std::printf("%-10s %9s %9s %9s %9s\n", "verdict", "expected", "found", "precision", "recall");
    for (const auto& [code, n] : expected)
        std::printf("%-10s %9zu %9zu %8.2f%% %8.2f%%\n", code.c_str(), n, found[code],
                    found[code] ? 100.0 * static_cast<double>(right[code]) / static_cast<double>(found[code]) : 100.0,
                    100.0 * static_cast<double>(right[code]) / static_cast<double>(n));
    for (const auto& [why, n] : t.explained) std::printf("  explained: %zu %s\n", n, why.c_str());
    for (const auto& [why, n] : t.unexplained) std::printf("  UNEXPLAINED: %zu %s\n", n, why.c_str());
}

TEST(SimulatedCheck, EveryErrorWithEvidenceIsFound) {
    for (std::uint64_t seed : {1u, 2u, 3u}) {
        contestsim::SimOptions options;
        options.stations = 120;
        options.seed = seed;
        options.contactsPerLog = 300;
        const Tallies t = CheckSimulated(options);
        std::printf("seed %llu\n", static_cast<unsigned long long>(seed));
        Print(t);
        EXPECT_EQ(t.cleanPenalised, 0u);
        EXPECT_EQ(t.offsetsOff, 0u);
        EXPECT_EQ(t.wrongTrueCall, 0u);
        EXPECT_EQ(t.wrongBlame, 0u);
        std::size_t unexplained = 0;
        for (const auto& [why, n] : t.unexplained) unexplained += n;
        EXPECT_EQ(unexplained, 0u) << "seed " << seed;
    }
}

// Many clocks off, up to half an hour: an estimate never turns a contact both
// logs place inside the period into a penalty, and a call two stations bust
// the same way is not credited as a station without a log.
TEST(SimulatedCheck, ClocksFarOffPenaliseNoCleanContact) {
    for (const auto& [stations, clockMinutes] : {std::pair<std::size_t, int>{3000, 30}}) {
        contestsim::SimOptions options;
        options.stations = stations;
        options.seed = 7;
        options.contactsPerLog = 40;
        options.clock = 0.12;
        options.clockMinutes = clockMinutes;
        options.jitter = 0.3;
        const Tallies t = CheckSimulated(options);
        std::printf("%zu stations, clocks up to %d minutes off\n", stations, clockMinutes);
        Print(t);
        EXPECT_EQ(t.cleanPenalised, 0u);
        EXPECT_EQ(t.offsetsOff, 0u);
        std::size_t unexplained = 0;
        for (const auto& [why, n] : t.unexplained) unexplained += n;
        EXPECT_EQ(unexplained, 0u);
    }
}

}  // namespace
}  // namespace yol::check

namespace yol::check {
namespace {

// A size probe, run by hand: --gtest_also_run_disabled_tests, YOL_SIM_STATIONS.
TEST(SimulatedCheck, DISABLED_Size) {
    contestsim::SimOptions options;
    options.stations = std::getenv("YOL_SIM_STATIONS") ? std::stoul(std::getenv("YOL_SIM_STATIONS")) : 1000;
    const auto t0 = std::chrono::steady_clock::now();
    const ContestSim sim(options);
    Simulated s = Build(sim);
    std::size_t contacts = 0;
    for (const auto& log : s.logs) contacts += log.contacts.size();
    s.lines.clear();
    s.lines.shrink_to_fit();
    const auto t1 = std::chrono::steady_clock::now();
    const CheckResult r = CrossCheck(s.logs, YolRules());
    const auto t2 = std::chrono::steady_clock::now();
    std::printf("%zu logs, %zu contacts: built in %.2f s, checked in %.2f s\n", s.logs.size(), contacts,
                std::chrono::duration<double>(t1 - t0).count(), std::chrono::duration<double>(t2 - t1).count());
    EXPECT_EQ(r.logs.size(), s.logs.size());
}

}  // namespace
}  // namespace yol::check
