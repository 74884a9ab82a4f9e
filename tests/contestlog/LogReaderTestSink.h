// A sink for the reader tests that copies everything it is handed.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "contestlog/LogReader.h"

namespace yol::contestlog::test {

struct Row {
    std::size_t place;
    std::string call, band, mode, report, dxcc, continent, main;
};

struct CollectingSink : LogSink {
    std::vector<std::string> stations;
    std::vector<Row> rows;
    std::vector<contestlog::Contact> contacts;  // everything, the new fields too
    std::vector<std::pair<std::string, std::string>> headers;
    std::vector<LogProblem> problems;

    void Header(std::string_view name, std::string_view value) override {
        headers.emplace_back(name, value);
    }

    void Station(std::string_view call) override {
        stations.emplace_back(call);
        if (!rows.empty()) stationAfterContact = true;
    }
    void Contact(const ContactView& e) override {
        rows.push_back(Row{e.place, std::string(e.call), std::string(e.band),
                           std::string(e.mode), std::string(e.report),
                           std::string(e.dxcc), std::string(e.continent),
                           std::string(e.mainPrefix)});
        contacts.push_back(ToContact(e));
    }
    void Problem(const LogProblem& p) override { problems.push_back(p); }

    // All problems, one a line, for failure messages.
    std::string ProblemText() const {
        std::string text;
        for (const LogProblem& p : problems) text += std::to_string(p.place) + ": " + p.message + "\n";
        return text;
    }
    bool stationAfterContact = false;
};

}  // namespace yol::contestlog::test
