// The exchange check and the reasons of the verdicts in words: told from the
// verdict and the contacts it names, when a report or the verdict file needs
// them, so that the check keeps no text per contact.
#include <cctype>

#include "CrossCheck.h"
#include "Engine.h"
#include "Outputs.h"

namespace yol::check {
namespace {

bool ParseInt(std::string_view s, long long& out) {
    if (s.empty() || s.size() > 15) return false;
    out = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    return true;
}

bool Allowed(const std::vector<std::string>& list, std::string_view value) {
    if (list.empty()) return true;
    const std::string v = engine::Upper(value);
    return std::any_of(list.begin(), list.end(), [&](const std::string& x) { return engine::Upper(x) == v; });
}

std::string Reason(const std::vector<SubmittedLog>& logs, const CheckResult& result, std::size_t L, std::size_t i,
                   const Rules& rules, Verdict what) {
    const ContactVerdict& v = result.logs[L].verdicts[i];
    const SubmittedLog& log = logs[L];
    const ContactTexts mine = log.Texts(i);
    const bool hasOther = v.otherLog != kNoIndex;
    auto theirs = [&] { return logs[v.otherLog].Texts(v.otherContact); };
    const std::string otherCall = v.otherCall != kNoIndex ? result.Call(v.otherCall) : std::string();
    switch (what) {
        case Verdict::Ok:
            if (v.callMiscopied) return otherCall + " logged your call as " + engine::Upper(theirs().call);
            return "";
        case Verdict::Exchange: {
            const engine::ExchangeCheck ex = engine::CompareExchange(rules, mine.report, theirs().sent);
            return "you copied " + ex.sent + " as " + ex.copied;
        }
        case Verdict::Busted:
            return "logged " + engine::Upper(mine.call) + ", the station worked was " + otherCall + " (its log: " +
                   std::string(theirs().line) + ")";
        case Verdict::Nil: {
            const std::string worked = engine::Upper(mine.call);
            std::string d = "not in " + worked + "'s log";
            if (v.minutesOff && hasOther) {
                const std::int64_t best = (logs[v.otherLog].contacts[v.otherContact].time - result.logs[v.otherLog].clockOffset) -
                                          (log.contacts[i].time - result.logs[L].clockOffset);
                d += " within the window: " + worked + " logged you " + std::to_string(*v.minutesOff) + " minutes " +
                     (best > 0 ? "later" : "earlier");
            }
            return d;
        }
        case Verdict::NoLog:
            return engine::Upper(mine.call) + " sent no log; in " + std::to_string(v.count) + " logs";
        case Verdict::Unique: {
            const std::string worked = engine::Upper(mine.call);
            std::string d = worked + " sent no log and is in " + std::to_string(v.count) + " log" + (v.count == 1 ? "" : "s");
            if (!otherCall.empty() && otherCall != worked) d += "; probable busted call of " + otherCall;
            return d;
        }
        case Verdict::Dupe:
            return "repeats the contact at line " + std::to_string(log.contacts[v.count].place);
        case Verdict::Period:
            return log.contacts[i].time == kNoMinute ? "no time that parses" : "outside the contest period";
        case Verdict::Invalid:
            if (!Allowed(rules.bands, mine.band)) return "band " + std::string(mine.band) + " is not in the contest";
            if (!Allowed(rules.modes, mine.mode)) return "mode " + std::string(mine.mode) + " is not in the contest";
            return engine::Upper(mine.call).empty() ? "no call logged" : "the station's own call";
        case Verdict::Partner: {
            const ContactVerdict& ov = result.logs[v.otherLog].verdicts[v.otherContact];
            const Verdict o = ov.verdict == Verdict::Checklog ? ov.checked : ov.verdict;
            if (o == Verdict::Busted) return otherCall + " logged your call as " + engine::Upper(theirs().call);
            return otherCall + " miscopied your exchange: " + Reason(logs, result, v.otherLog, v.otherContact, rules, o);
        }
        case Verdict::Checklog: break;
    }
    return "";
}

}  // namespace

namespace engine {

ExchangeCheck CompareExchange(const Rules& rules, std::string_view receivedText, std::string_view sentText) {
    ExchangeCheck out;
    // Both texts hold their tokens joined by single spaces.
    auto next = [](std::string_view& rest) {
        const std::size_t end = rest.find(' ');
        const std::string_view token = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        return token;
    };
    if (sentText.empty()) return out;  // nothing to compare with
    const std::size_t mult = rules.ReceivedIndex(rules.multiplierToken);
    for (std::size_t i = 0; i < rules.received.size(); ++i) {
        const std::string_view sent = next(sentText), got = next(receivedText);
        const TokenCheck check = rules.received[i].check;
        if (check == TokenCheck::None) continue;
        if (sent.empty() || TokenAgrees(got, sent, check)) continue;
        if (out.bad) {
            out.sent += ' ';
            out.copied += ' ';
        }
        out.bad = true;
        out.sent += sent;
        out.copied += got.empty() ? std::string_view("nothing") : got;
        if (i == mult) out.multiplierBad = true;
    }
    return out;
}

}  // namespace engine

bool TokenAgrees(std::string_view received, std::string_view sent, TokenCheck check) {
    if (check == TokenCheck::None) return true;
    if (check == TokenCheck::Number) {
        long long x, y;
        if (ParseInt(received, x) && ParseInt(sent, y)) return x == y;
    }
    if (received.size() != sent.size()) return false;
    for (std::size_t i = 0; i < sent.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(received[i])) != std::toupper(static_cast<unsigned char>(sent[i])))
            return false;
    return true;
}

std::string VerdictDetail(const std::vector<SubmittedLog>& logs, const CheckResult& result, std::size_t log,
                          std::size_t contact, const Rules& rules) {
    const ContactVerdict& v = result.logs[log].verdicts[contact];
    if (v.verdict != Verdict::Checklog) return Reason(logs, result, log, contact, rules, v.verdict);
    const std::string d = Reason(logs, result, log, contact, rules, v.checked);
    return std::string(VerdictCode(v.checked)) + (d.empty() ? "" : ": " + d);
}

}  // namespace yol::check
