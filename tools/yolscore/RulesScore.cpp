#include "RulesScore.h"

#include <cstdio>

namespace yol::score {
namespace {

// 23885488 -> "23,885,488"
std::string Grouped(std::int64_t v) {
    std::string digits = std::to_string(v < 0 ? -v : v), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return (v < 0 ? "-" : "") + out;
}

std::string Row(const std::string& band, const check::Tally& t) {
    char line[128];
    std::snprintf(line, sizeof line, "%-8s %10s %12s %12s\n", band.c_str(), Grouped(t.contacts).c_str(),
                  Grouped(t.points).c_str(), Grouped(t.multipliers).c_str());
    return line;
}

}  // namespace

std::string RulesScoreText(const check::SubmittedLog& log, const check::Rules& rules, const std::string& rulesFile,
                           const check::AloneScore& score) {
    std::string out = "Rules:          " + rules.name + " (" + rulesFile + ")\n";
    out += "Station:        " + (log.call.empty() ? std::string("(no call in the log)") : log.call) + "\n\n";
    out += "Band       Contacts       Points  Multipliers\n";
    for (const check::BandTally& b : score.bands) out += Row(b.band, b.tally);
    out += Row("Total", score.tally);
    out += "\nScore:          " + Grouped(score.tally.score) + "\n";
    out += "Claimed score:  " + (log.claimed ? Grouped(*log.claimed) : std::string("not given"));
    if (log.claimed && *log.claimed != score.tally.score)
        out += "  (" + std::string(*log.claimed > score.tally.score ? "+" : "") +
               Grouped(*log.claimed - score.tally.score) + ")";
    out += "\n";
    out += "Not counted:    " + Grouped(static_cast<std::int64_t>(score.repeats)) + " repeats, " +
           Grouped(static_cast<std::int64_t>(score.setAside)) +
           " outside the period, bands, modes or segments (or without a call)\n";
    return out;
}

}  // namespace yol::score
