// Small hand-made logs for the cross-check tests.
#pragma once

#include <string>
#include <vector>

#include "CheckTypes.h"
#include "Rules.h"

namespace yol::check::test {

// Minutes of 2026-12-05 hh:mm.
inline std::int64_t At(int hh, int mm) { return ParseUtcMinute("2026-12-05 00:00") + hh * 60 + mm; }

inline std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : text) {
        if (c == ' ') {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

inline std::string Joined(const std::vector<std::string>& tokens) {
    std::string out;
    for (const std::string& t : tokens) out += (out.empty() ? "" : " ") + t;
    return out;
}

class LogBuilder {
public:
    LogBuilder(std::string call, std::string file = "") {
        log_.call = std::move(call);
        log_.file = file.empty() ? log_.call + ".log" : std::move(file);
        log_.category = "SINGLE-OP";
        log_.declared = {{"CATEGORY-OPERATOR", "SINGLE-OP"}};
        log_.myPrefix = "UA3";
        log_.myContinent = "EU";
    }
    // A contact at hh:mm on `band` CW, sending `sent`, receiving `received`.
    LogBuilder& Q(int hh, int mm, const std::string& call, const std::string& sent, const std::string& received,
                  const std::string& band = "14", const std::string& mode = "CW") {
        const std::string sentText = Joined(Split(sent)), receivedText = Joined(Split(received));
        const std::string line = "QSO: " + band + " " + mode + " " + std::to_string(hh) + ":" + std::to_string(mm) +
                                 " " + log_.call + " " + sent + " " + call + " " + received;
        ContactTexts t;
        t.band = band;
        t.mode = mode;
        t.call = call;
        t.sent = sentText;
        t.report = receivedText;
        t.dxcc = "UA3";
        t.mainPrefix = "UA";
        t.continent = "EU";
        t.line = line;
        log_.Add(At(hh, mm), log_.contacts.size() + 10, t);
        return *this;
    }
    LogBuilder& Checklog() {
        log_.checklog = true;
        return *this;
    }
    LogBuilder& Category(const std::string& category) {
        log_.category = category;
        log_.declared = {{"CATEGORY", category}};
        return *this;
    }
    SubmittedLog Build() const { return log_; }
    operator SubmittedLog() const { return log_; }

private:
    SubmittedLog log_;
};

// Verdict of logs[log].contacts[contact], and a call by its id ("" for none).
inline const ContactVerdict& V(const CheckResult& r, std::size_t log, std::size_t contact) {
    return r.logs.at(log).verdicts.at(contact);
}
inline std::string Call(const CheckResult& r, std::uint32_t id) {
    return id == kNoIndex ? std::string() : r.Call(id);
}

// Per-contact rules: 2 points confirmed, 1 miscopied, multipliers of "exch"
// per band, every miss penalised once more.
inline Rules PerContactRules() {
    Rules r = YolRules();
    r.name = "TEST";
    r.bands = {};
    r.scoring = Scoring::PerContact;
    r.pointsConfirmed = 2;
    r.pointsMiscopied = 1;
    r.multiplierToken = "exch";
    r.uniqueMinLogs = 2;
    r.bustedPenalty = 1;
    r.nilPenalty = 1;
    r.busyCallCount = 2;
    return r;
}

}  // namespace yol::check::test
