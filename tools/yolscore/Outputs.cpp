#include "Outputs.h"

#include <cerrno>
#include <charconv>
#include <nlohmann/json.hpp>

#include "contestlog/Text.h"
#include "scoring/Report.h"

namespace yol::score {
namespace {

using Json = nlohmann::ordered_json;

std::string Num(std::int64_t v) { return std::to_string(v); }

std::string Dump(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::strict); }

struct Totals {
    std::int64_t qsos = 0, points = 0, districts = 0, countries = 0;
    std::int64_t Score() const { return points * (districts + countries); }
};

Totals Sum(const std::vector<TStatistic>& tallies) {
    Totals t;
    for (const TStatistic& s : tallies) {
        t.qsos += s.QSOs;
        t.points += s.Points;
        t.districts += s.Districts;
        t.countries += s.Countries;
    }
    return t;
}

// Length of the valid UTF-8 sequence at `at` (no overlongs, no surrogates,
// at most U+10FFFF), or 0.
std::size_t Utf8Length(std::string_view s, std::size_t at) noexcept {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = b(at);
    std::size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) n = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (at + n > s.size()) return 0;
    if (b(at + 1) < lo || b(at + 1) > hi) return 0;
    for (std::size_t i = 2; i < n; ++i)
        if (b(at + i) < 0x80 || b(at + i) > 0xBF) return 0;
    return n;
}

// A text that would break the audit's lines (it holds a control byte) is
// quoted as the log problems quote a value; other texts go out as they are.
std::string AuditField(std::string_view text) {
    for (const char ch : text)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) return contestlog::Quoted(text);
    return std::string(text);
}

Json TallyJson(const TStatistic& t) {
    return Json{{"band", JsonText(t.Band)}, {"qsos", t.QSOs}, {"points", t.Points},
                {"districts", t.Districts}, {"countries", t.Countries}};
}

Json ReportBody(const std::vector<TStatistic>& tallies) {
    Json bands = Json::array();
    for (const TStatistic& t : tallies) bands.push_back(TallyJson(t));
    const Totals s = Sum(tallies);
    return Json{{"bands", std::move(bands)},
                {"total", {{"qsos", s.qsos}, {"points", s.points}, {"districts", s.districts},
                           {"countries", s.countries}}},
                {"score", s.Score()}};
}

// The log's claimed score: a number where it is one, else its text.
Json ClaimedJson(const std::optional<std::string>& claimed) {
    if (!claimed) return nullptr;
    std::int64_t value = 0;
    const char* end = claimed->data() + claimed->size();
    if (!claimed->empty() && std::from_chars(claimed->data(), end, value).ptr == end) return value;
    return JsonText(*claimed);
}

void AddFacts(Json& doc, const LogFacts& facts) {
    doc["claimedScore"] = ClaimedJson(facts.claimedScore);
    doc["rejected"] = facts.rejected;
    doc["notes"] = facts.notes;
}

std::string Counted(std::size_t n, std::string_view word) {
    return std::to_string(n) + " " + std::string(word) + (n == 1 ? "" : "s");
}

}  // namespace

std::string_view OrderName(Order order) noexcept {
    return order == Order::CallSign ? "call-sign" : "log";
}

void Output::Write(std::string_view text) noexcept {
    if (text.empty() || error_ != 0) return;
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stream_) != text.size()) error_ = errno ? errno : EIO;
}

bool Output::Finish() noexcept {
    if (error_ == 0) {
        errno = 0;
        if (std::fflush(stream_) != 0 || std::ferror(stream_)) error_ = errno ? errno : EIO;
    }
    return error_ == 0;
}

std::string JsonText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (const std::size_t n = c >= 0x80 ? Utf8Length(text, i) : 0; n > 0) {
            out.append(text.substr(i, n));
            i += n;
        } else if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
        } else {  // a byte that is not UTF-8: U+0080..U+00FF
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
            ++i;
        }
    }
    return out;
}

std::string JsonString(std::string_view text) { return Dump(Json(JsonText(text))); }

std::string CsvField(std::string_view text) {
    bool quote = false;
    for (char ch : text)
        if (ch == ',' || ch == '"' || static_cast<unsigned char>(ch) < 0x20) quote = true;
    if (!quote) return std::string(text);
    std::string out = "\"";
    for (char ch : text) {
        if (ch == '"') out += '"';
        out += ch;
    }
    return out + '"';
}

std::string ReportJson(const std::vector<TStatistic>& tallies, Order order, const LogFacts& facts) {
    Json doc{{"order", OrderName(order)}, {"report", ReportBody(tallies)}};
    AddFacts(doc, facts);
    return Dump(doc) + "\n";
}

std::string ReportCsv(const std::vector<TStatistic>& tallies) {
    std::string out = "band,qsos,points,districts,countries,score\r\n";
    for (const TStatistic& t : tallies)
        out += CsvField(t.Band) + "," + Num(t.QSOs) + "," + Num(t.Points) + "," +
               Num(t.Districts) + "," + Num(t.Countries) + ",\r\n";
    const Totals s = Sum(tallies);
    out += "Total," + Num(s.qsos) + "," + Num(s.points) + "," + Num(s.districts) + "," +
           Num(s.countries) + "," + Num(s.Score()) + "\r\n";
    return out;
}

// A new country of no known prefix, as the audit shows it in text and CSV.
constexpr std::string_view kNoPrefix = "(no prefix)";

std::string AuditText(const AuditEntry& a, std::string_view placeWord) {
    std::string out(placeWord);
    out += ' ' + Num(static_cast<std::int64_t>(a.place)) + ": ";
    out += AuditField(a.call) + " " + AuditField(a.band) + " " + AuditField(a.mode) + ": ";
    if (a.points < 0) {
        out.append("dupe of ").append(placeWord).append(" ");
        out += Num(static_cast<std::int64_t>(a.dupeOf));
    } else {
        out += Num(a.points) + (a.points == 1 ? " point" : " points");
        if (!a.newDistrict.empty()) out.append(", new district ").append(a.newDistrict);
        if (a.newCountry)
            out += ", new country " + (a.country.empty() ? std::string(kNoPrefix) : AuditField(a.country));
    }
    return out + '\n';
}

std::string AuditJson(const AuditEntry& a) {
    const bool dupe = a.points < 0;
    Json entry{{"place", a.place},
               {"call", JsonText(a.call)},
               {"band", JsonText(a.band)},
               {"mode", JsonText(a.mode)},
               {"points", dupe ? Json(nullptr) : Json(a.points)},
               {"dupeOf", dupe ? Json(a.dupeOf) : Json(nullptr)},
               {"newDistrict", a.newDistrict.empty() ? Json(nullptr) : Json(JsonText(a.newDistrict))},
               {"newCountry", a.newCountry ? Json(JsonText(a.country)) : Json(nullptr)}};
    return Dump(entry);
}

std::string AuditJsonOpen(Order order) {
    return "{\"order\":" + Dump(Json(OrderName(order))) + ",\"contacts\":[";
}

std::string AuditJsonClose(const std::vector<TStatistic>& tallies, const LogFacts& facts) {
    Json tail;
    AddFacts(tail, facts);
    std::string rest = Dump(tail);  // {"claimedScore":...}
    return "\n],\"report\":" + Dump(ReportBody(tallies)) + "," + rest.substr(1) + "\n";
}

const char* const kAuditCsvHeader = "place,call,band,mode,points,dupe_of,new_district,new_country\r\n";

std::string AuditCsv(const AuditEntry& a) {
    const bool dupe = a.points < 0;
    const std::string country =
        !a.newCountry ? std::string() : a.country.empty() ? std::string(kNoPrefix) : CsvField(a.country);
    return Num(static_cast<std::int64_t>(a.place)) + "," + CsvField(a.call) + "," +
           CsvField(a.band) + "," + CsvField(a.mode) + "," + (dupe ? "" : Num(a.points)) + "," +
           (dupe ? Num(static_cast<std::int64_t>(a.dupeOf)) : "") + "," +
           CsvField(a.newDistrict) + "," + country + "\r\n";
}

std::string SummaryText(const std::vector<TStatistic>& tallies, const SummaryInfo& info) {
    auto pad = [](std::string text, std::size_t width) { return PadLeft(std::move(text), width); };
    std::string out = "YOL contest: claimed score\n";
    out += "Station:    " + (info.station.empty() ? std::string("(not named in the log)") : info.station) +
           "\n";
    out += "Operator:   " + info.myPrefix + ", " + info.myContinent + "\n";
    out += "Log:        " + info.logPath + " (" + std::to_string(info.contacts) + " contacts, " +
           std::to_string(info.duplicates) + " duplicates";
    if (info.facts.rejected) out += ", " + Counted(info.facts.rejected, info.facts.placeWord) + " rejected";
    if (info.facts.notes) out += ", " + Counted(info.facts.notes, "note");
    out += ", scored in " + std::string(OrderName(info.order)) + " order)\n\n";
    out += "Band      QSOs  Points  Districts  Countries\n";
    for (const TStatistic& t : tallies) {
        std::string band = t.Band;
        if (band.size() < 6) band.append(6 - band.size(), ' ');
        out += band + pad(Num(t.QSOs), 8) + pad(Num(t.Points), 8) + pad(Num(t.Districts), 11) +
               pad(Num(t.Countries), 11) + "\n";
    }
    const Totals s = Sum(tallies);
    out += "Total " + pad(Num(s.qsos), 8) + pad(Num(s.points), 8) + pad(Num(s.districts), 11) +
           pad(Num(s.countries), 11) + "\n\n";
    out += "Claimed score: " + Num(s.points) + " points x (" + Num(s.districts) + " districts + " +
           Num(s.countries) + " countries) = " + Num(s.Score()) + "\n";
    if (info.facts.claimedScore)
        out += "The log claims: " + *info.facts.claimedScore + " (CLAIMED-SCORE)\n";
    return out;
}

}  // namespace yol::score
