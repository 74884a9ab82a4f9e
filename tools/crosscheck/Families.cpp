#include "Families.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "contestlog/CountryFile.h"

namespace yol::check {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool HasDigit(std::string_view s) {
    for (char c : s)
        if (IsDigit(c)) return true;
    return false;
}

// A designator that names no place.
bool NoPlace(std::string_view part) {
    if (part.size() == 1 && !IsDigit(part[0])) return true;
    return part == "P" || part == "M" || part == "MM" || part == "AM" || part == "QRP" || part == "QRPP";
}

// The prefix of a call without '/'.
std::string PlainPrefix(std::string_view call) {
    if (!HasDigit(call)) return std::string(call.substr(0, 2)) + "0";
    // The last digit that letters follow; a call ending in digits keeps them all.
    std::size_t end = call.size();
    for (std::size_t i = call.size(); i-- > 0;)
        if (IsDigit(call[i]) && i + 1 < call.size() && !IsDigit(call[i + 1])) {
            end = i + 1;
            break;
        }
    return std::string(call.substr(0, end));
}

// A place before or after the call: itself when it ends in a digit, else with a 0 added.
std::string PlacePrefix(std::string_view place) {
    return IsDigit(place.back()) ? std::string(place) : std::string(place) + "0";
}

}  // namespace

std::string PrefixOf(std::string_view logged) {
    std::string call;
    for (char c : logged) {
        const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if ((u >= 'A' && u <= 'Z') || IsDigit(u) || u == '/') call += u;
    }
    std::vector<std::string_view> parts;
    std::string_view rest(call);
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (!part.empty() && !NoPlace(part)) parts.push_back(part);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    }
    if (parts.empty()) return "";
    if (parts.size() == 1) return PlainPrefix(parts[0]);
    // The call is the longest part; a digit alone is a call area; else the
    // shortest other part is the place.
    std::size_t base = 0;
    for (std::size_t i = 1; i < parts.size(); ++i)
        if (parts[i].size() > parts[base].size()) base = i;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i == base || parts[i].size() != 1 || !IsDigit(parts[i][0])) continue;
        std::string p = PlainPrefix(parts[base]);
        p.back() = parts[i][0];  // the prefix ends in a digit (a 0 where the call had none)
        if (!IsDigit(p.back())) p += parts[i][0];
        return p;
    }
    std::size_t place = base == 0 ? 1 : 0;
    for (std::size_t i = 0; i < parts.size(); ++i)
        if (i != base && parts[i].size() < parts[place].size()) place = i;
    return PlacePrefix(parts[place]);
}

StationPlace PlaceOf(const contestlog::CountryFile* countries, std::string_view call) {
    StationPlace out;
    if (!countries) return out;
    const contestlog::Country* c = countries->Lookup(call);
    if (!c) return out;
    out.country = c->primaryPrefix;
    out.continent = c->continent;
    out.cqZone = c->cqZone;
    out.ituZone = c->ituZone;
    return out;
}

bool StationSelector::Holds(const StationPlace& station) const {
    auto in = [](const std::vector<std::string>& list, std::string_view value) {
        return std::find(list.begin(), list.end(), value) != list.end();
    };
    if (!continents.empty() && !in(continents, station.continent)) return false;
    if (!countries.empty() && !in(countries, station.country)) return false;
    return !in(exceptCountries, station.country);
}

}  // namespace yol::check
