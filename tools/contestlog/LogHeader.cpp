#include "LogHeader.h"

#include "Text.h"

namespace yol::contestlog {

void LogHeader::Station(std::string_view callSign) {
    if (call.empty()) call.assign(callSign);
}

void LogHeader::Take(std::string_view headerName, std::string_view value) {
    if (headerName == "CALLSIGN") Station(value);
    if (headerName == "NAME" && name.empty()) name.assign(value);
    if (headerName == "CLAIMED-SCORE" && !claimedText) claimedText.emplace(value);
    if (headerName == "CONTEST" && !contest) contest.emplace(value);
    if (headerName == "CLUB" && club.empty()) club.assign(TrimBlanks(value));
    if (headerName == "LOCATION") categories.emplace_back(std::string(headerName), std::string(value));
    if (headerName.starts_with("CATEGORY")) {
        categories.emplace_back(std::string(headerName), std::string(value));
        std::string upper;
        if (UpperAscii(value, upper).find("CHECKLOG") != std::string_view::npos) checklog = true;
    }
}

std::string LogHeader::CategoryText() const {
    static constexpr std::string_view kParts[] = {"CATEGORY",       "CATEGORY-OPERATOR", "CATEGORY-BAND",
                                                  "CATEGORY-MODE",  "CATEGORY-POWER",    "CATEGORY-ASSISTED",
                                                  "CATEGORY-TRANSMITTER", "CATEGORY-OVERLAY"};
    std::string out, upper;
    for (const auto& [header, value] : categories) {
        bool part = false;
        for (std::string_view p : kParts) part |= header == p;
        if (!part || value.empty()) continue;
        if (!out.empty()) out += ' ';
        out += UpperAscii(value, upper);
    }
    return out;
}

std::optional<std::int64_t> LogHeader::Claimed() const {
    if (!claimedText) return std::nullopt;
    std::int64_t value = 0;
    int digits = 0;
    for (char c : *claimedText) {
        if (c >= '0' && c <= '9') {
            if (++digits > 17) return std::nullopt;
            value = value * 10 + (c - '0');
        } else if (c != ',' && c != '.' && c != ' ') {
            return std::nullopt;
        }
    }
    return digits ? std::optional<std::int64_t>(value) : std::nullopt;
}

}  // namespace yol::contestlog
