// The exchange check and the reasons of the verdicts in words: told from the
// verdict and the contacts it names, when a report or the verdict file needs
// them, so that the check keeps no text per contact.
#include <cctype>

#include "CrossCheck.h"
#include "Engine.h"
#include "Outputs.h"
#include "contestlog/Text.h"
#include "Scoring.h"

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

// The finding behind a checklog's verdict, or the verdict itself.
Verdict Finding(const ContactVerdict& v) { return v.verdict == Verdict::Checklog ? v.checked : v.verdict; }

std::string Plural(std::uint32_t n, std::string_view word) {
    return std::to_string(n) + " " + std::string(word) + (n == 1 ? "" : "s");
}

}  // namespace

namespace engine {

ExchangeCheck CompareExchange(const Rules& rules, const ExchangeClass& sender, std::string_view receivedText,
                              std::string_view sentText) {
    ExchangeCheck out;
    // Both texts hold their tokens joined by single spaces.
    auto next = [](std::string_view& rest) {
        const std::size_t end = rest.find(' ');
        const std::string_view token = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        return token;
    };
    if (sentText.empty()) return out;  // nothing to compare with
    const std::size_t mult = rules.multiplierToken.empty() ? kNone : sender.ReceivedIndex(rules.multiplierToken);
    for (std::size_t i = 0; i < sender.received.size(); ++i) {
        const ExchangeToken& token = sender.received[i];
        const std::string_view got = next(receivedText);
        // The sent token of that name (the same place where the class lists both alike).
        const std::size_t at = i < sender.sent.size() && sender.sent[i].name == token.name ? i : sender.SentIndex(token.name);
        const std::string_view sent = TokenAt(sentText, at);
        if (sent.empty()) continue;
        // A value in a form the class does not send is miscopied unless it is what was sent.
        const bool misfit = !token.Fits(got) && !TokenAgrees(got, sent, TokenCheck::Exact);
        if (!misfit && TokenAgrees(got, sent, token.check)) continue;
        if (misfit && !out.misfit) {
            out.misfit = &token;
            out.misfitValue = got;
        }
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

const ExchangeToken* FirstMisfit(const ExchangeClass& sender, std::string_view received, std::string_view& value) {
    for (std::size_t i = 0; i < sender.received.size(); ++i) {
        const std::string_view got = TokenAt(received, i);
        if (!sender.received[i].Fits(got)) {
            value = got;
            return &sender.received[i];
        }
    }
    return nullptr;
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

VerdictFacts VerdictFactsOf(const std::vector<SubmittedLog>& logs, const CheckResult& result, std::size_t L,
                            std::size_t i, const Rules& rules) {
    const ContactVerdict& v = result.logs[L].verdicts[i];
    const SubmittedLog& log = logs[L];
    const ContactTexts mine = log.Texts(i);
    VerdictFacts f;
    f.verdict = Finding(v);
    f.checklog = v.verdict == Verdict::Checklog;
    f.blamed = v.blamed;
    f.worked = engine::Upper(mine.call);
    if (v.otherCall != kNoIndex) f.otherCall = result.Call(v.otherCall);
    const bool hasOther = v.otherLog != kNoIndex;
    if (hasOther) {
        f.otherFile = logs[v.otherLog].file;
        f.otherLine = logs[v.otherLog].contacts[v.otherContact].place;
    }
    auto theirs = [&] { return logs[v.otherLog].Texts(v.otherContact); };
    // A token copied in a form the sender's class does not send it in.
    auto facts = [&f](const ExchangeClass& sender, const ExchangeToken& token, std::string_view value,
                      const std::string& sentBy) {
        f.misfitToken = token.name;
        f.senderClass = sender.name;
        f.misfitForm = token.form == TokenForm::Number ? "number" : "letters";
        f.misfitAlso = token.also;
        f.value = value;
        f.otherCall = sentBy;
    };
    switch (f.verdict) {
        case Verdict::Ok:
            if (v.callMiscopied && hasOther) f.loggedAs = engine::Upper(theirs().call);
            break;
        case Verdict::Exchange:
            if (!hasOther) {  // a station without a log, copied in a form its class does not send
                const ExchangeClass& sender = rules.ClassOf(mine.call);
                std::string_view value;
                if (const ExchangeToken* misfit = engine::FirstMisfit(sender, mine.report, value))
                    facts(sender, *misfit, value, f.worked);
            } else {
                const ExchangeClass& sender = rules.ClassOf(logs[v.otherLog].call);
                engine::ExchangeCheck ex = engine::CompareExchange(rules, sender, mine.report, theirs().sent);
                if (ex.misfit) {
                    facts(sender, *ex.misfit, ex.misfitValue, f.otherCall);
                    break;
                }
                if (!ex.bad && rules.scoring == Scoring::PerContact) {
                    if (auto off = PerContactScoring(log, rules).InvalidValue(i, theirs().sent)) {
                        f.offListToken = std::move(off->token);
                        f.value = std::move(off->value);
                        break;
                    }
                }
                f.sent = std::move(ex.sent);
                f.copied = std::move(ex.copied);
            }
            break;
        case Verdict::Nil:
            f.minutesOff = v.minutesOff;
            if (v.minutesOff && hasOther) {
                const std::int64_t theirTime =
                    logs[v.otherLog].contacts[v.otherContact].time - result.logs[v.otherLog].clockOffset;
                const std::int64_t myTime = log.contacts[i].time - result.logs[L].clockOffset;
                f.otherLater = theirTime > myTime;
            }
            break;
        case Verdict::NoLog:
        case Verdict::Unique:
            f.logs = v.count;
            break;
        case Verdict::Dupe:
            f.repeatsLine = v.count < log.contacts.size() ? log.contacts[v.count].place : 0;
            break;
        case Verdict::Period:
            f.cause = log.contacts[i].time == kNoMinute ? SetAsideCause::NoTime : SetAsideCause::OutsidePeriod;
            break;
        case Verdict::Invalid:
            if (!Allowed(rules.bands, mine.band)) {
                f.cause = SetAsideCause::Band;
                f.value = mine.band;
            } else if (!Allowed(rules.modes, mine.mode)) {
                f.cause = SetAsideCause::Mode;
                f.value = mine.mode;
            } else if (auto segments = rules.OutsideSegments(mine.band, mine.mode, mine.frequency)) {
                f.cause = SetAsideCause::Segment;
                f.value = mine.frequency;
                f.mode = engine::Upper(mine.mode);
                f.segments = std::move(*segments);
            } else {
                f.cause = f.worked.empty() ? SetAsideCause::NoCall : SetAsideCause::OwnCall;
            }
            break;
        case Verdict::Partner:
            if (hasOther) {
                // The other side logged another call (busted this one; its line may
                // be a repeat of its own as well), or miscopied the exchange.
                const std::string loggedAs = engine::Upper(theirs().call);
                if (loggedAs != engine::Upper(log.call)) {
                    f.loggedAs = loggedAs;
                } else {
                    // What this side sent, as the other side copied it.
                    engine::ExchangeCheck ex =
                        engine::CompareExchange(rules, rules.ClassOf(log.call), theirs().report, mine.sent);
                    f.sent = std::move(ex.sent);
                    f.copied = std::move(ex.copied);
                }
            }
            break;
        case Verdict::Busted:
        case Verdict::Checklog: break;
    }
    return f;
}

std::string ReasonText(const VerdictFacts& f) {
    std::string d;
    switch (f.verdict) {
        case Verdict::Ok:
            if (!f.loggedAs.empty()) d = f.otherCall + " logged your call as " + f.loggedAs;
            break;
        case Verdict::Exchange:
            if (!f.offListToken.empty()) {
                d = "the " + f.offListToken + " " + f.value + " is not on the rules' list";
            } else if (!f.misfitToken.empty()) {
                d = "you copied " + f.value + " as " + f.otherCall + "'s " + f.misfitToken + "; " + f.senderClass +
                    " stations send it as " + (f.misfitForm == "number" ? "a number" : "letters");
                for (std::size_t k = 0; k < f.misfitAlso.size(); ++k)
                    d += (k + 1 == f.misfitAlso.size() ? " or " : ", ") + f.misfitAlso[k];
            } else
                d = "you copied " + f.sent + " as " + f.copied;
            break;
        case Verdict::Busted:
            d = "logged " + f.worked + ", the station worked was " + f.otherCall;
            break;
        case Verdict::Nil:
            d = "not in " + f.worked + "'s log";
            if (f.minutesOff)
                d += " within the window: " + f.worked + " logged you " + Plural(static_cast<std::uint32_t>(*f.minutesOff), "minute") +
                     (f.otherLater ? " later" : " earlier");
            break;
        case Verdict::NoLog:
            d = f.worked + " sent no log; credited, as it is in " + Plural(f.logs, "log");
            break;
        case Verdict::Unique:
            d = f.worked + " sent no log and is in " + Plural(f.logs, "log");
            if (!f.otherCall.empty() && f.otherCall != f.worked) d += "; probable busted call of " + f.otherCall;
            break;
        case Verdict::Dupe:
            d = "repeats the contact at line " + std::to_string(f.repeatsLine);
            break;
        case Verdict::Period:
            d = f.cause == SetAsideCause::NoTime ? "no time that parses" : "outside the contest period";
            break;
        case Verdict::Invalid:
            switch (f.cause) {
                case SetAsideCause::Band: d = "band " + f.value + " is not in the contest"; break;
                case SetAsideCause::Mode: d = "mode " + f.value + " is not in the contest"; break;
                case SetAsideCause::Segment:
                    d = "logged on " + f.value + " kHz, outside the " + f.mode + " segment of the band (" + f.segments + ")";
                    break;
                case SetAsideCause::NoCall: d = "no call logged"; break;
                default: d = "the station's own call"; break;
            }
            break;
        case Verdict::Partner:
            if (!f.loggedAs.empty())
                d = f.otherCall + " logged your call as " + f.loggedAs;
            else
                d = f.otherCall + " copied your " + f.sent + " as " + f.copied;
            break;
        case Verdict::Checklog: break;
    }
    if (!f.checklog) return d;
    return std::string(VerdictCode(f.verdict)) + (d.empty() ? "" : ": " + d);
}

std::string MiscopiedText(const CheckResult& result, const std::vector<SubmittedLog>& logs, const MiscopiedBy& m) {
    return logs[m.otherLog].call + " logged you as " + result.Call(m.loggedAs);
}

std::string VerdictDetail(const std::vector<SubmittedLog>& logs, const CheckResult& result, std::size_t log,
                          std::size_t contact, const Rules& rules) {
    return ReasonText(VerdictFactsOf(logs, result, log, contact, rules));
}

std::string ShownLine(const SubmittedLog& log, std::size_t i) {
    const ContactTexts t = log.Texts(i);
    if (t.line.empty() || contestlog::StartsNoCase(t.line, "QSO:")) return std::string(t.line);
    const std::int64_t time = log.contacts[i].time;
    std::string out = "QSO: ";
    out += t.frequency.empty() ? t.band : t.frequency;
    out += ' ';
    out += t.mode;
    out += ' ';
    out += time == kNoMinute ? std::string("(no time)") : contestlog::UtcText(time);
    out += ' ';
    out += t.ownCall.empty() ? std::string_view(log.call) : t.ownCall;
    for (std::string_view part : {t.sent, t.call, t.report}) {
        if (part.empty()) continue;
        out += ' ';
        out += part;
    }
    return out;
}

}  // namespace yol::check
