// libFuzzer entry point: a rules file's text as bytes. ParseRules must read
// it or throw RulesError naming the file and a line, and rules it accepts
// must keep every number within its stated range and score a small log
// without overflow.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "CrossCheck.h"
#include "Rules.h"

namespace {

using namespace yol::check;

void Check(const Rules& r) {
    auto within = [](std::int64_t v, std::int64_t lo, std::int64_t hi) {
        if (v < lo || v > hi) __builtin_trap();
    };
    within(r.window, 0, kMaxMinutes);
    within(r.offsetWindow, 0, kMaxMinutes);
    within(r.dupeAfter, 0, kMaxMinutes);
    within(r.pointsConfirmed, 0, kMaxPoints);
    within(r.pointsMiscopied, 0, kMaxPoints);
    if (!(r.bustedPenalty >= 0 && r.bustedPenalty <= kMaxPenalty)) __builtin_trap();
    if (!(r.nilPenalty >= 0 && r.nilPenalty <= kMaxPenalty)) __builtin_trap();
    if (r.bands.size() > kMaxListEntries || r.segments.size() > kMaxListEntries) __builtin_trap();
    for (const PointsRow& row : r.pointsTable) within(row.points, 0, kMaxPoints);
    for (const ExchangeClass& c : r.exchange) {
        if (c.sent.size() != c.received.size()) __builtin_trap();
        for (const ExchangeToken& t : c.received)
            if (c.SentIndex(t.name) == kNone) __builtin_trap();
    }
    if (!r.RestClass().who.Empty()) __builtin_trap();  // every station has a class
}

SubmittedLog SmallLog() {
    SubmittedLog log;
    log.call = "UA3AAA";
    const char* const calls[] = {"UA3BBB", "PA/N8BJQ", "RAEM", "UA3BBB"};
    std::int64_t t = ParseUtcMinute("2026-12-05 12:00");
    for (const char* call : calls) {
        ContactTexts c;
        c.band = "14";
        c.mode = "CW";
        c.frequency = "14010";
        c.call = call;
        c.sent = "599 001 MO";
        c.report = "599 002 SP";
        log.Add(t++, log.contacts.size() + 1, c);
    }
    return log;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Rules rules;
    try {
        rules = ParseRules(text, "fuzz.toml");
    } catch (const RulesError& e) {
        const std::string message = e.what();
        if (message.rfind("fuzz.toml:", 0) != 0) __builtin_trap();
        return 0;
    }
    Check(rules);
    static const SubmittedLog log = SmallLog();
    const AloneScore score = ScoreAlone(log, rules);
    if (score.tally.score < 0 || score.tally.points < 0) __builtin_trap();
    return 0;
}
