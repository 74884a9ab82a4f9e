#include "Answers.h"

#include <nlohmann/json.hpp>

#include "contestlog/Contact.h"

namespace yol::robot {

namespace {

std::string Minute(std::int64_t minutes) { return minutes ? contestlog::UtcText(minutes) + " UTC" : "-"; }

}  // namespace

std::string PlaceOf(const Answer& a, const Finding& f) {
    return f.place ? a.placeWord + " " + std::to_string(f.place) + ": " : std::string();
}

std::vector<std::pair<std::string, std::string>> AnswerFacts(const Answer& a) {
    return {{"call", a.call},
            {"class", a.category.empty() ? "(none declared)" : a.category},
            {"format", a.format},
            {"contacts", std::to_string(a.contacts)},
            {"first contact", Minute(a.first)},
            {"last contact", Minute(a.last)},
            {"claimed score", a.claimed ? *a.claimed : "(none)"},
            {"computed score", a.score ? std::to_string(*a.score) : "(after the cross-check)"},
            {"sha256", a.sha256},
            {"received", UtcSecondText(a.received)}};
}

std::string AnswerText(const Answer& a) {
    std::string out = a.accepted ? "accepted\n" : "refused\n";
    if (a.accepted)
        for (const auto& [label, value] : AnswerFacts(a)) out += label + ": " + value + "\n";
    const std::vector<Finding>& list = a.accepted ? a.warnings : a.reasons;
    for (std::size_t i = 0; i < list.size() && i < kShownFindings; ++i)
        out += (a.accepted ? "warning: " : "reason: ") + PlaceOf(a, list[i]) + list[i].text + "\n";
    if (list.size() > kShownFindings) out += "and " + std::to_string(list.size() - kShownFindings) + " more\n";
    return out;
}

std::string AnswerJson(const Answer& a) {
    using nlohmann::json;
    auto findings = [&](const std::vector<Finding>& list) {
        json out = json::array();
        for (const Finding& f : list) out.push_back({{"place", f.place}, {"text", f.text}});
        return out;
    };
    json doc{{"accepted", a.accepted}, {"reasons", findings(a.reasons)}};
    if (a.accepted) {
        doc["warnings"] = findings(a.warnings);
        doc["place_word"] = a.placeWord;
        doc["call"] = a.call;
        doc["class"] = a.category;
        doc["format"] = a.format;
        doc["contacts"] = a.contacts;
        doc["first"] = a.first ? json(contestlog::UtcText(a.first)) : json();
        doc["last"] = a.last ? json(contestlog::UtcText(a.last)) : json();
        doc["claimed_score"] = a.claimed ? json(*a.claimed) : json();
        doc["score"] = a.score ? json(*a.score) : json();
        doc["sha256"] = a.sha256;
        doc["received"] = UtcSecondText(a.received);
    }
    return doc.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace yol::robot
