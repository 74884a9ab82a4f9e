// libFuzzer entry point: bytes made into a few small logs and a set of rules,
// then cross-checked. The engine must never crash, read out of bounds or
// hang, and what it hands back must hold together: one verdict per contact,
// every index it names inside the input, every count adding up.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "CrossCheck.h"
#include "Outputs.h"

namespace {

using namespace yol::check;

// Calls close to each other, so that pairs, busts and uniques all occur.
constexpr const char* kCalls[] = {"UA3AAA", "UA3AAB", "UA3ABA", "DL1XX",    "DL1XY", "UA3AA",
                                  "OK1ZZ",  "UA9XYZ", "UA3AAA/P", "UA3SBC", "",      "ua3aab"};
constexpr std::size_t kCallCount = sizeof kCalls / sizeof kCalls[0];
constexpr const char* kBands[] = {"14", "7", "10"};
constexpr const char* kModes[] = {"CW", "SSB"};

class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Empty() const { return at_ >= size_; }
    std::uint8_t Next() { return at_ < size_ ? data_[at_++] : 0; }

private:
    const std::uint8_t* data_;
    std::size_t size_, at_ = 0;
};

[[noreturn]] void Fail(int line) {
    std::fprintf(stderr, "FuzzEngine.cpp:%d: the result does not hold together\n", line);
    __builtin_trap();
}
#define FAIL_UNLESS(ok) \
    if (!(ok)) Fail(__LINE__)

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes in(data, size);
    const std::int64_t start = ParseUtcMinute("2026-12-12 12:00");
    Rules rules = YolRules();
    const std::uint8_t r = in.Next(), r2 = in.Next();
    rules.blameBoth = r & 1;
    rules.creditNoLog = (r & 2) == 0;
    rules.dupeAfter = (r & 4) ? 10 : 0;
    // The YOL scoring goes through the scoring core, tens of times slower: one case in 64.
    rules.scoring = (r2 & 63) == 0 ? Scoring::Yol : Scoring::PerContact;
    rules.multiplierToken = (r & 8) ? "exch" : "";
    rules.window = 1 + (r2 >> 6);
    rules.pointsConfirmed = 2;
    rules.pointsMiscopied = 1;
    rules.bustedPenalty = (r & 16) ? 1 : 0;
    rules.nilPenalty = (r & 32) ? 1 : 0;
    rules.uniqueMinLogs = 1 + (r >> 6);
    rules.busyCallCount = 1;
    if (r & 64) rules.start = start, rules.end = start + 120;
    rules.bands = {"14", "7"};

    const std::size_t nLogs = 1 + in.Next() % 6;
    std::vector<SubmittedLog> logs(nLogs);
    for (std::size_t L = 0; L < nLogs; ++L) {
        logs[L].call = kCalls[L];
        logs[L].file = logs[L].call + ".log";
        logs[L].myPrefix = "UA3";
        logs[L].myContinent = "EU";
        logs[L].checklog = L == 5;
    }
    std::vector<std::string> texts;
    while (!in.Empty()) {
        const std::uint8_t who = in.Next(), what = in.Next(), when = in.Next(), sent = in.Next(), got = in.Next();
        SubmittedLog& log = logs[who % nLogs];
        const std::string sentText = "599 " + std::to_string(sent % 16), gotText = "599 " + std::to_string(got % 16);
        ContactTexts t;
        t.call = kCalls[what % kCallCount];
        t.band = kBands[(what >> 4) % 3];
        t.mode = kModes[(what >> 6) & 1];
        t.sent = sentText;
        t.report = gotText;
        t.dxcc = "UA3";
        t.mainPrefix = "UA";
        t.continent = "EU";
        t.line = "QSO:";
        const std::int64_t time = when == 255 ? kNoMinute : start - 20 + when;
        log.Add(time, log.contacts.size() + 1, t);
    }

    const CheckResult result = CrossCheck(logs, rules, true);
    FAIL_UNLESS(result.logs.size() == nLogs);
    std::size_t contacts = 0;
    for (std::size_t L = 0; L < nLogs; ++L) {
        const LogResult& lr = result.logs[L];
        const std::size_t n = logs[L].contacts.size();
        FAIL_UNLESS(lr.verdicts.size() == n);
        FAIL_UNLESS(lr.scores.size() == (logs[L].checklog ? 0 : n));  // a checklog is not scored
        std::int64_t counted = 0;
        for (std::int64_t k : lr.counts) counted += k;
        FAIL_UNLESS(counted == static_cast<std::int64_t>(n));
        contacts += n;
        for (std::size_t i = 0; i < n; ++i) {
            const ContactVerdict& v = lr.verdicts[i];
            FAIL_UNLESS(v.otherLog == kNoIndex ||
                        (v.otherLog < nLogs && v.otherContact < logs[v.otherLog].contacts.size()));
            FAIL_UNLESS(v.otherCall == kNoIndex || v.otherCall < result.calls.size());
            FAIL_UNLESS(v.points >= 0 && v.penalty >= 0);
            (void)VerdictDetail(logs, result, L, i, rules);
        }
        FAIL_UNLESS(lr.final.score >= 0 && lr.raw.score >= 0);
    }
    FAIL_UNLESS(result.summary.contacts == contacts);
    return 0;
}
