// What the robot shows: its pages as HTML (every text from a log, a form or
// the store escaped by webreport's AppendEscaped, through Page::Text only;
// no script, one stylesheet of its own). The answer for programs is in Answers.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Answers.h"
#include "Engine.h"
#include "Store.h"

namespace yol::robot {

// What every page's head and foot need to know.
struct PageContext {
    std::string contest;      // the rules' name
    std::string windowText;   // "open until 2026-12-20 12:00 UTC", "closed"
    bool windowOpen = true;
};

std::string FormPage(const PageContext& c);
std::string AnswerPage(const PageContext& c, const Answer& a);
std::string ReceivedPage(const PageContext& c, const std::vector<Submission>& logs);
std::string ReceivedJson(const std::vector<Submission>& logs);
std::string MessagePage(const PageContext& c, std::string_view title, std::string_view text);
std::string LoginPage(const PageContext& c, std::string_view message);
// `csrf`: the session's token, carried by every form that changes something.
std::string CommitteePage(const PageContext& c, const std::vector<Submission>& logs, std::string_view search,
                          std::string_view csrf, std::string_view windowSetting, std::size_t uploads);
std::string HistoryPage(const PageContext& c, std::string_view call, const std::vector<Submission>& history);

extern const std::string_view kStyleSheet;

}  // namespace yol::robot
