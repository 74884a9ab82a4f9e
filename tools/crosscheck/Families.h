// What the scoring families need to know of a station and a call: where the
// station is (country file) and its prefix by the rule of prefix contests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace yol::contestlog {
class CountryFile;
}

namespace yol::check {

// The prefix a call counts as in a prefix contest:
//  - letters, digits and '/' only, upper case; designators that name no place
//    (/P, /M, /MM, /AM, /QRP, /QRPP and any single letter) are dropped;
//  - a plain call: up to and including the last digit before the letters that
//    end it (N8BJQ -> N8, 9A1AA -> 9A1, OEM2BZL -> OEM2, YT2000A -> YT2000);
//    a call without a digit gets a 0 after its first two letters (RAEM -> RA0);
//  - a call-area digit after '/' replaces the call's last digit
//    (N8BJQ/9 -> N9; RAEM/3 -> RA3);
//  - another place before or after the call (the shorter part) is the prefix
//    as it stands when it ends in a digit, else with a 0 after it
//    (KH6/N8BJQ and N8BJQ/KH6 -> KH6, PA/N8BJQ -> PA0, 9A/VA3LPZ -> 9A0).
// Empty when nothing is left.
std::string PrefixOf(std::string_view call);

// Where a station is: its country's primary prefix, its continent and
// zones from the country file; empty and 0 when the call is in none.
struct StationPlace {
    std::string_view country, continent;
    int cqZone = 0, ituZone = 0;
};
StationPlace PlaceOf(const contestlog::CountryFile* countries, std::string_view call);

// Which stations a rule applies to, by where they are: the continents and
// countries (primary prefixes of the country file, upper case) it names and
// the countries it leaves out. Empty lists: any station; a station in no
// country (no country file, a maritime mobile) holds where no continent or
// country is named.
struct StationSelector {
    std::vector<std::string> continents, countries, exceptCountries;

    bool Empty() const noexcept { return continents.empty() && countries.empty() && exceptCountries.empty(); }
    bool Holds(const StationPlace& station) const;
};

}  // namespace yol::check
