// What a log's header says about the station, read in one place for every
// tool: its call, the operator's name, the category it declares, whether it
// is a checklog, the score it claims, the contest it names. A LogSink passes Station() and Header()
// on to Take/Station here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace yol::contestlog {

struct LogHeader {
    std::string call;  // the log's own call as the file gives it (CALLSIGN:, STATION_CALLSIGN, ...); first wins
    std::string name;  // NAME:, bytes as in the file
    std::string club;  // CLUB:, blanks trimmed, bytes as in the file
    // Every CATEGORY header (Cabrillo 3.0 CATEGORY-*, 2.0 CATEGORY:) and
    // LOCATION: in file order, the name upper case, the value as written: what
    // the contest's class is made from.
    std::vector<std::pair<std::string, std::string>> categories;
    bool checklog = false;                 // a category says CHECKLOG
    std::optional<std::string> claimedText;  // CLAIMED-SCORE: as written
    std::optional<std::string> contest;      // CONTEST: as written (the contest the log is for)

    void Station(std::string_view callSign);
    void Take(std::string_view headerName, std::string_view value);

    // The declared category's words, upper case, joined by blanks
    // ("SINGLE-OP ALL HIGH"): the values of CATEGORY, CATEGORY-OPERATOR,
    // -BAND, -MODE, -POWER, -ASSISTED, -TRANSMITTER and -OVERLAY.
    std::string CategoryText() const;
    // CLAIMED-SCORE as a number where it reads as one ("1,234", "1 234").
    std::optional<std::int64_t> Claimed() const;
};

}  // namespace yol::contestlog
