#include "Rules.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include <toml++/toml.h>

#include "CategoriesToml.h"

namespace yol::check {
namespace {

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

using KeyHandlers = std::map<std::string, std::function<void(const toml::node&, const std::string&)>>;

// Reads one table's keys against a list of known ones, so that an unknown
// key is an error with its line.
class Reader {
public:
    Reader(const std::string& file) : file_(file) {}

    [[noreturn]] void Fail(const toml::source_region& where, const std::string& message) const {
        throw RulesError(file_ + ":" + std::to_string(where.begin.line) + ": " + message);
    }

    // Calls `on` for each key of the table; unknown keys fail.
    void Keys(const toml::table& table, const std::string& prefix, const KeyHandlers& on) {
        for (const auto& [key, node] : table) {
            const std::string name(key.str());
            auto it = on.find(name);
            const std::string full = prefix.empty() ? name : prefix + "." + name;
            if (it == on.end()) Fail(key.source(), "unknown key '" + full + "'");
            it->second(node, full);
        }
    }

    std::string String(const toml::node& n, const std::string& key) const {
        if (auto v = n.as_string()) return v->get();
        Fail(n.source(), "'" + key + "' must be a string");
    }
    std::int64_t Integer(const toml::node& n, const std::string& key, std::int64_t min, std::int64_t max) const {
        auto v = n.as_integer();
        if (!v) Fail(n.source(), "'" + key + "' must be an integer");
        if (v->get() < min || v->get() > max)
            Fail(n.source(), "'" + key + "' must be from " + std::to_string(min) + " to " + std::to_string(max));
        return v->get();
    }
    double Number(const toml::node& n, const std::string& key, double max) const {
        double value = 0;
        if (auto i = n.as_integer()) value = static_cast<double>(i->get());
        else if (auto f = n.as_floating_point()) value = f->get();
        else Fail(n.source(), "'" + key + "' must be a number");
        if (!(value >= 0) || !(value <= max))
            Fail(n.source(), "'" + key + "' must be from 0 to " + Trimmed(max));
        return value;
    }
    bool Boolean(const toml::node& n, const std::string& key) const {
        auto b = n.as_boolean();
        if (!b) Fail(n.source(), "'" + key + "' must be true or false");
        return b->get();
    }
    const toml::array& Array(const toml::node& n, const std::string& key, const char* what) const {
        auto a = n.as_array();
        if (!a) Fail(n.source(), "'" + key + "' must be an array of " + what);
        if (a->size() > kMaxListEntries)
            Fail(n.source(), "'" + key + "' holds " + std::to_string(a->size()) + " entries; at most " +
                                 std::to_string(kMaxListEntries));
        return *a;
    }
    static std::string Trimmed(double v) {
        std::string s = std::to_string(v);
        while (s.find('.') != std::string::npos && (s.back() == '0' || s.back() == '.')) {
            const bool dot = s.back() == '.';
            s.pop_back();
            if (dot) break;
        }
        return s;
    }
    const toml::table& Table(const toml::node& n, const std::string& key) const {
        if (auto t = n.as_table()) return *t;
        Fail(n.source(), "'" + key + "' must be a table");
    }
    std::vector<std::string> Strings(const toml::node& n, const std::string& key) const {
        std::vector<std::string> out;
        for (const toml::node& e : Array(n, key, "strings")) out.push_back(String(e, key + "[]"));
        return out;
    }
    std::vector<std::string> UpperStrings(const toml::node& n, const std::string& key) const {
        std::vector<std::string> out = Strings(n, key);
        for (std::string& s : out) s = Upper(s);
        return out;
    }
    // One of the named values: `must be "a", "b" or "c"` otherwise.
    template <class T>
    T Choice(const toml::node& n, const std::string& key, std::initializer_list<std::pair<const char*, T>> names) const {
        const std::string v = String(n, key);
        std::string list;
        std::size_t k = 0;
        for (const auto& [name, value] : names) {
            if (v == name) return value;
            if (k++ > 0) list += k == names.size() ? " or " : ", ";
            list += "\"" + std::string(name) + "\"";
        }
        Fail(n.source(), "'" + key + "' must be " + list);
    }
    // "self" or "both".
    bool BlameBoth(const toml::node& n, const std::string& key) const {
        const std::string b = String(n, key);
        if (b != "self" && b != "both") Fail(n.source(), "'" + key + "' must be \"self\" or \"both\"");
        return b == "both";
    }
    std::int64_t Minute(const toml::node& n, const std::string& key) const {
        if (auto dt = n.as_date_time()) {
            const toml::date_time& v = dt->get();
            char date[16], time[8];
            std::snprintf(date, sizeof date, "%04u-%02u-%02u", static_cast<unsigned>(v.date.year) % 10000u,
                          static_cast<unsigned>(v.date.month) % 100u, static_cast<unsigned>(v.date.day) % 100u);
            std::snprintf(time, sizeof time, "%02u%02u", static_cast<unsigned>(v.time.hour) % 100u,
                          static_cast<unsigned>(v.time.minute) % 100u);
            std::int64_t m = contestlog::UtcMinutes(date, time);
            if (m == kNoMinute) Fail(n.source(), "'" + key + "' is no UTC time");
            if (v.offset) m -= v.offset->minutes;
            return m;
        }
        if (auto s = n.as_string()) {
            const std::int64_t m = ParseUtcMinute(s->get());
            if (m == kNoMinute) Fail(n.source(), "'" + key + "' is no UTC time (YYYY-MM-DD HH:MM)");
            return m;
        }
        Fail(n.source(), "'" + key + "' must be a date-time (2026-12-05T12:00:00Z)");
    }

private:
    const std::string& file_;
};

std::vector<ExchangeToken> Tokens(Reader& r, const toml::node& n, const std::string& key) {
    std::vector<ExchangeToken> out;
    for (const toml::node& e : r.Array(n, key, "tables {name, check}")) {
        const toml::table& t = r.Table(e, key + "[]");
        ExchangeToken token;
        bool named = false;
        r.Keys(t, key + "[]",
               {{"name", [&](const toml::node& v, const std::string& k) {
                     token.name = r.String(v, k);
                     named = true;
                 }},
                {"check", [&](const toml::node& v, const std::string& k) {
                     token.check = r.Choice<TokenCheck>(
                         v, k, {{"none", TokenCheck::None}, {"exact", TokenCheck::Exact}, {"number", TokenCheck::Number}});
                 }},
                {"form", [&](const toml::node& v, const std::string& k) {
                     token.form = r.Choice<TokenForm>(
                         v, k, {{"any", TokenForm::Any}, {"number", TokenForm::Number}, {"letters", TokenForm::Letters}});
                 }},
                {"also", [&](const toml::node& v, const std::string& k) { token.also = r.UpperStrings(v, k); }}});
        if (!named || token.name.empty()) r.Fail(e.source(), "'" + key + "' token without a name");
        out.push_back(std::move(token));
    }
    return out;
}

// The keys that select stations by where they are: `prefix`continents,
// `prefix`countries and except_`prefix`countries (from_continents ... for a
// multiplier, which selects the logging station; continents ... for an
// exchange class, which selects the sending one).
void SelectorKeys(Reader& r, KeyHandlers& on, StationSelector& into, const std::string& prefix) {
    on[prefix + "continents"] = [&r, &into](const toml::node& v, const std::string& k) { into.continents = r.UpperStrings(v, k); };
    on[prefix + "countries"] = [&r, &into](const toml::node& v, const std::string& k) { into.countries = r.UpperStrings(v, k); };
    on["except_" + prefix + "countries"] = [&r, &into](const toml::node& v, const std::string& k) {
        into.exceptCountries = r.UpperStrings(v, k);
    };
}

// One class's sent and received lists must name the same tokens.
void CheckClass(Reader& r, const ExchangeClass& c, const toml::source_region& where, const std::string& key) {
    if (c.sent.size() != c.received.size())
        r.Fail(where, "'" + key + ".sent' and '" + key + ".received' must name as many tokens");
    for (const ExchangeToken& t : c.received)
        if (c.SentIndex(t.name) == kNone)
            r.Fail(where, "'" + key + ".received' names '" + t.name + "', which '" + key + ".sent' does not");
}

std::vector<ExchangeClass> ExchangeClasses(Reader& r, const toml::node& n, const std::string& key) {
    std::vector<ExchangeClass> out;
    bool fallback = false;
    for (const toml::node& e : r.Array(n, key, "tables {name, countries, continents, sent, received}")) {
        const std::string k0 = key + "[]";
        ExchangeClass c;
        c.name = "class " + std::to_string(out.size() + 1);
        KeyHandlers on{
            {"name", [&](const toml::node& v, const std::string& k) { c.name = r.String(v, k); }},
            {"sent", [&](const toml::node& v, const std::string& k) { c.sent = Tokens(r, v, k); }},
            {"received", [&](const toml::node& v, const std::string& k) { c.received = Tokens(r, v, k); }}};
        SelectorKeys(r, on, c.who, "");
        r.Keys(r.Table(e, k0), k0, on);
        CheckClass(r, c, e.source(), k0);
        if (c.who.Empty()) {
            if (fallback) r.Fail(e.source(), "'" + key + "': a second class without countries or continents; one takes the rest");
            fallback = true;
        }
        out.push_back(std::move(c));
    }
    if (!fallback)
        r.Fail(n.source(), "'" + key + "' needs one class without countries or continents, for the stations no other class takes");
    return out;
}

std::vector<Segment> Segments(Reader& r, const toml::node& n, const std::string& key) {
    std::vector<Segment> out;
    for (const toml::node& e : r.Array(n, key, "tables {band, mode, low, high}")) {
        const toml::table& t = r.Table(e, key + "[]");
        Segment seg;
        bool low = false, high = false;
        r.Keys(t, key + "[]",
               {{"band", [&](const toml::node& v, const std::string& k) { seg.band = Upper(r.String(v, k)); }},
                {"mode", [&](const toml::node& v, const std::string& k) { seg.mode = Upper(r.String(v, k)); }},
                {"low", [&](const toml::node& v, const std::string& k) { seg.low = r.Number(v, k, 1e8), low = true; }},
                {"high", [&](const toml::node& v, const std::string& k) { seg.high = r.Number(v, k, 1e8), high = true; }}});
        if (seg.band.empty() || seg.mode.empty() || !low || !high)
            r.Fail(e.source(), "'" + key + "' entry needs band, mode, low and high (kHz)");
        if (seg.high < seg.low) r.Fail(e.source(), "'" + key + "' entry: high below low");
        out.push_back(std::move(seg));
    }
    return out;
}

// Each entry's place in the file goes into `at`.
std::vector<PointsRow> PointsRows(Reader& r, const toml::node& n, const std::string& key,
                                  std::vector<toml::source_region>& at) {
    std::vector<PointsRow> out;
    for (const toml::node& e : r.Array(n, key, "tables {relation, ..., points}")) {
        at.push_back(e.source());
        const toml::table& t = r.Table(e, key + "[]");
        PointsRow row;
        bool points = false;
        const std::string k0 = key + "[]";
        r.Keys(t, k0,
               {{"relation", [&](const toml::node& v, const std::string& k) {
                     static const std::map<std::string, Relation> names{
                         {"any", Relation::Any},
                         {"same-country", Relation::SameCountry},
                         {"other-country", Relation::OtherCountry},
                         {"same-continent", Relation::SameContinent},
                         {"other-continent", Relation::OtherContinent},
                         {"same-cq-zone", Relation::SameCqZone},
                         {"same-itu-zone", Relation::SameItuZone}};
                     auto it = names.find(r.String(v, k));
                     if (it == names.end())
                         r.Fail(v.source(), "'" + k + "' must be any, same-country, other-country, same-continent, "
                                                      "other-continent, same-cq-zone or same-itu-zone");
                     row.relation = it->second;
                 }},
                {"from_continents", [&](const toml::node& v, const std::string& k) { row.fromContinents = r.UpperStrings(v, k); }},
                {"to_continents", [&](const toml::node& v, const std::string& k) { row.toContinents = r.UpperStrings(v, k); }},
                {"from_countries", [&](const toml::node& v, const std::string& k) { row.fromCountries = r.UpperStrings(v, k); }},
                {"to_countries", [&](const toml::node& v, const std::string& k) { row.toCountries = r.UpperStrings(v, k); }},
                {"bands", [&](const toml::node& v, const std::string& k) { row.bands = r.UpperStrings(v, k); }},
                {"modes", [&](const toml::node& v, const std::string& k) { row.modes = r.UpperStrings(v, k); }},
                {"token_letters", [&](const toml::node& v, const std::string& k) { row.tokenLetters = r.String(v, k); }},
                {"points", [&](const toml::node& v, const std::string& k) {
                     row.points = r.Integer(v, k, 0, kMaxPoints);
                     points = true;
                 }}});
        if (!points) r.Fail(e.source(), "'" + key + "' row without points");
        out.push_back(std::move(row));
    }
    return out;
}

std::vector<MultiplierRule> MultiplierRules(Reader& r, const toml::node& n, const std::string& key,
                                            const ReadBeside& beside, std::vector<toml::source_region>& at) {
    std::vector<MultiplierRule> out;
    for (const toml::node& e : r.Array(n, key, "tables {kind, ...}")) {
        at.push_back(e.source());
        const toml::table& t = r.Table(e, key + "[]");
        MultiplierRule m;
        bool kind = false;
        KeyHandlers on{
               {"kind", [&](const toml::node& v, const std::string& k) {
                     static const std::map<std::string, MultiplierKind> names{
                         {"token", MultiplierKind::Token},     {"country", MultiplierKind::Country},
                         {"cq-zone", MultiplierKind::CqZone},  {"itu-zone", MultiplierKind::ItuZone},
                         {"prefix", MultiplierKind::Prefix}};
                     auto it = names.find(r.String(v, k));
                     if (it == names.end())
                         r.Fail(v.source(), "'" + k + "' must be token, country, cq-zone, itu-zone or prefix");
                     m.kind = it->second;
                     kind = true;
                 }},
                {"token", [&](const toml::node& v, const std::string& k) { m.token = r.String(v, k); }},
                {"per", [&](const toml::node& v, const std::string& k) {
                     m.perBand = r.Choice<bool>(v, k, {{"band", true}, {"contest", false}});
                 }},
                {"per_mode", [&](const toml::node& v, const std::string& k) { m.perMode = r.Boolean(v, k); }},
                {"not_counted", [&](const toml::node& v, const std::string& k) { m.notCounted = r.UpperStrings(v, k); }},
                {"valid", [&](const toml::node& v, const std::string& k) {
                     const std::vector<std::string> list = r.UpperStrings(v, k);
                     m.valid.insert(m.valid.end(), list.begin(), list.end());
                 }},
                {"valid_file", [&](const toml::node& v, const std::string& k) {
                     const std::string name = r.String(v, k);
                     if (!beside) r.Fail(v.source(), "'" + k + "': no file can be read beside these rules");
                     std::string text;
                     try {
                         text = beside(name);
                     } catch (const std::exception& ex) {
                         r.Fail(v.source(), "'" + k + "': " + ex.what());
                     }
                     // One value a line or several split by blanks or commas; '#' starts a comment.
                     std::istringstream lines(text);
                     std::string line;
                     while (std::getline(lines, line)) {
                         line = line.substr(0, line.find('#'));
                         for (char& c : line)
                             if (c == ',' || c == '\t' || c == '\r') c = ' ';
                         std::istringstream words(line);
                         std::string word;
                         while (words >> word) m.valid.push_back(Upper(word));
                         if (m.valid.size() > kMaxListEntries)
                             r.Fail(v.source(), "'" + k + "': " + name + " holds more than " +
                                                    std::to_string(kMaxListEntries) + " values");
                     }
                 }}};
        SelectorKeys(r, on, m.from, "from_");
        r.Keys(t, key + "[]", on);
        if (!kind) r.Fail(e.source(), "'" + key + "' entry without a kind");
        if (m.kind == MultiplierKind::Token && m.token.empty())
            r.Fail(e.source(), "'" + key + "' entry of kind token names no token");
        if (m.valid.size() > kMaxListEntries)
            r.Fail(e.source(), "'" + key + "' entry: more than " + std::to_string(kMaxListEntries) + " valid values");
        std::sort(m.valid.begin(), m.valid.end());
        m.valid.erase(std::unique(m.valid.begin(), m.valid.end()), m.valid.end());
        out.push_back(std::move(m));
    }
    return out;
}

}  // namespace

std::int64_t ScoreOf(std::int64_t points, std::int64_t multipliers) noexcept {
    std::int64_t score = 0;
    if (__builtin_mul_overflow(points, multipliers, &score)) return (points < 0) != (multipliers < 0) ? -kMaxScore : kMaxScore;
    return score;
}

std::vector<MultiplierRule> Rules::AllMultipliers() const {
    std::vector<MultiplierRule> all = multipliers;
    if (!multiplierToken.empty()) {
        MultiplierRule m;
        m.kind = MultiplierKind::Token;
        m.token = multiplierToken;
        all.insert(all.begin(), std::move(m));
    }
    return all;
}

bool Rules::NeedsCountries() const noexcept {
    if (scoring == Scoring::Yol) return true;
    for (const PointsRow& row : pointsTable)
        if (row.relation != Relation::Any || !row.fromContinents.empty() || !row.toContinents.empty() ||
            !row.fromCountries.empty() || !row.toCountries.empty())
            return true;
    // Classes that send alike (YOL's) need no country file to tell apart.
    const ExchangeClass& rest = RestClass();
    for (const ExchangeClass& c : exchange)
        if (!c.who.Empty() && (c.sent != rest.sent || c.received != rest.received)) return true;
    for (const MultiplierRule& m : multipliers)
        if (m.kind == MultiplierKind::Country || !m.from.Empty() ||
            ((m.kind == MultiplierKind::CqZone || m.kind == MultiplierKind::ItuZone) && m.token.empty()))
            return true;
    return false;
}

std::optional<std::string> Rules::OutsideSegments(std::string_view band, std::string_view mode,
                                                  std::string_view frequency) const {
    if (segments.empty() || frequency.empty()) return std::nullopt;
    double khz = 0;
    const auto [stop, ec] = std::from_chars(frequency.data(), frequency.data() + frequency.size(), khz);
    if (ec != std::errc() || stop != frequency.data() + frequency.size() || khz < 1000) return std::nullopt;
    const std::string b = Upper(band), m = Upper(mode);
    std::string spans;
    for (const Segment& s : segments) {
        if (s.band != b || s.mode != m) continue;
        if (khz >= s.low && khz <= s.high) return std::nullopt;
        if (!spans.empty()) spans += ", ";
        spans += Reader::Trimmed(s.low) + "-" + Reader::Trimmed(s.high) + " kHz";
    }
    if (spans.empty()) return std::nullopt;
    return spans;
}

bool Rules::ValidValue(const MultiplierRule& rule, std::string_view value) {
    if (rule.valid.empty()) return true;
    return std::binary_search(rule.valid.begin(), rule.valid.end(), Upper(value));
}

bool ExchangeToken::Fits(std::string_view value) const {
    if (form == TokenForm::Any || value.empty()) return true;
    const bool fits = std::all_of(value.begin(), value.end(), [&](char c) {
        const unsigned char u = static_cast<unsigned char>(c);
        return form == TokenForm::Number ? std::isdigit(u) != 0 : std::isalpha(u) != 0;
    });
    return fits || std::find(also.begin(), also.end(), Upper(value)) != also.end();
}

namespace {
std::size_t IndexOf(const std::vector<ExchangeToken>& tokens, std::string_view name) noexcept {
    for (std::size_t i = 0; i < tokens.size(); ++i)
        if (tokens[i].name == name) return i;
    return kNone;
}
}  // namespace

std::size_t ExchangeClass::SentIndex(std::string_view token) const noexcept { return IndexOf(sent, token); }
std::size_t ExchangeClass::ReceivedIndex(std::string_view token) const noexcept { return IndexOf(received, token); }

const ExchangeClass& Rules::RestClass() const noexcept {
    static const ExchangeClass kNoExchange;
    for (const ExchangeClass& c : exchange)
        if (c.who.Empty()) return c;
    return kNoExchange;
}

const ExchangeClass& Rules::ClassAt(const StationPlace& place) const noexcept {
    for (const ExchangeClass& c : exchange)
        if (!c.who.Empty() && c.who.Holds(place)) return c;
    return RestClass();
}

const ExchangeClass& Rules::ClassOf(std::string_view call) const {
    if (exchange.size() <= 1) return RestClass();
    return ClassAt(PlaceOf(countries, call));
}

bool Rules::NamesToken(std::string_view token) const noexcept {
    return std::any_of(exchange.begin(), exchange.end(),
                       [&](const ExchangeClass& c) { return c.ReceivedIndex(token) != kNone; });
}

std::vector<std::size_t> Rules::ExchangeCounts() const {
    std::vector<std::size_t> counts;
    for (const ExchangeClass& c : exchange) {
        counts.push_back(c.sent.size());
        counts.push_back(c.received.size());
    }
    std::sort(counts.begin(), counts.end());
    counts.erase(std::unique(counts.begin(), counts.end()), counts.end());
    return counts;
}

contestlog::ReadOptions ReadOptionsFor(const Rules& rules, const contestlog::CountryFile* countries) {
    contestlog::ReadOptions options;
    options.countries = countries;
    options.exchangeCounts = rules.ExchangeCounts();
    return options;
}

Rules YolRules() {
    Rules r;
    r.name = "YOL";
    r.bands = {"1.8", "3.5", "7", "14", "21", "28"};
    r.modes = {"CW", "SSB"};
    // Home stations (European and Asiatic Russia, Kaliningrad) send a signal
    // report and their district code, the others a signal report and a
    // serial number. Both are `exch`, compared as numbers where they are
    // numbers (serials: "001" = "1") and exactly where not (district codes).
    const std::vector<ExchangeToken> tokens = {{"rst", TokenCheck::None, TokenForm::Any, {}},
                                               {"exch", TokenCheck::Number, TokenForm::Any, {}}};
    r.exchange = {{"home", {{}, {"UA", "UA2", "UA9"}, {}}, tokens, tokens}, {"others", {{}, {}, {}}, tokens, tokens}};
    r.window = 3;
    r.offsetWindow = 30;
    r.dupeAfter = 0;
    r.bustedPenalty = 1;
    r.nilPenalty = 1;
    r.uniqueMinLogs = 2;
    r.blameBoth = false;
    r.scoring = Scoring::Yol;
    // Single operators by mode, multi-operator stations together; a log that
    // says nothing competes in the mixed-mode class, which takes any contact.
    auto only = [](CategoryField f, std::vector<std::string> values) {
        std::array<std::vector<std::string>, kCategoryFields> when;
        when[static_cast<std::size_t>(f)] = std::move(values);
        return when;
    };
    CategoryClass cw{"SO-CW", "Single operator, CW", only(CategoryField::Mode, {"CW"})};
    cw.when[static_cast<std::size_t>(CategoryField::Operator)] = {"SINGLE-OP"};
    CategoryClass ssb{"SO-SSB", "Single operator, SSB", only(CategoryField::Mode, {"SSB"})};
    ssb.when[static_cast<std::size_t>(CategoryField::Operator)] = {"SINGLE-OP"};
    r.categories.classes = {
        std::move(cw),
        std::move(ssb),
        {"SO-MIXED", "Single operator, mixed mode", only(CategoryField::Operator, {"SINGLE-OP"})},
        {"MULTI-OP", "Multi-operator", only(CategoryField::Operator, {"MULTI-OP"})},
    };
    r.categories.defaultClass = 2;
    return r;
}

std::int64_t ParseUtcMinute(std::string_view s) noexcept {
    // YYYY-MM-DD[ T]HH:MM[:SS][Z]
    if (!s.empty() && s.back() == 'Z') s.remove_suffix(1);
    if (s.size() < 16 || (s[10] != ' ' && s[10] != 'T') || s[13] != ':') return kNoMinute;
    if (s.size() != 16 && (s.size() != 19 || s[16] != ':')) return kNoMinute;
    std::string time(s.substr(11, 2));
    time += s.substr(14, 2);
    if (s.size() == 19) time += s.substr(17, 2);
    return contestlog::UtcMinutes(s.substr(0, 10), time);
}

Rules ParseRules(std::string_view text, const std::string& file, const ReadBeside& beside) {
    if (text.size() > kMaxRulesBytes)
        throw RulesError(file + ":1: a rules file of " + std::to_string(text.size()) + " bytes; at most " +
                         std::to_string(kMaxRulesBytes));
    toml::table root;
    try {
        root = toml::parse(text, file);
    } catch (const toml::parse_error& e) {
        throw RulesError(file + ":" + std::to_string(e.source().begin.line) + ": " +
                         std::string(e.description()));
    }
    Rules rules = YolRules();
    Reader r(file);
    toml::source_region multiplierAt;
    std::vector<toml::source_region> multipliersAt, pointsAt;  // each entry's
    auto minutes = [&](std::int64_t& into) {
        return [&r, &into](const toml::node& v, const std::string& k) { into = r.Integer(v, k, 0, kMaxMinutes); };
    };
    auto points = [&](std::int64_t& into) {
        return [&r, &into](const toml::node& v, const std::string& k) { into = r.Integer(v, k, 0, kMaxPoints); };
    };
    r.Keys(root, "",
           {{"name", [&](const toml::node& n, const std::string& k) { rules.name = r.String(n, k); }},
            {"bands", [&](const toml::node& n, const std::string& k) { rules.bands = r.Strings(n, k); }},
            {"modes", [&](const toml::node& n, const std::string& k) { rules.modes = r.UpperStrings(n, k); }},
            {"segments", [&](const toml::node& n, const std::string& k) { rules.segments = Segments(r, n, k); }},
            {"period",
             [&](const toml::node& n, const std::string& k) {
                 r.Keys(r.Table(n, k), k,
                        {{"start", [&](const toml::node& v, const std::string& kk) { rules.start = r.Minute(v, kk); }},
                         {"end", [&](const toml::node& v, const std::string& kk) { rules.end = r.Minute(v, kk); }}});
                 if (rules.start != kNoMinute && rules.end != kNoMinute && rules.end <= rules.start)
                     r.Fail(n.source(), "'period.end' must come after 'period.start'");
             }},
            {"exchange",
             [&](const toml::node& n, const std::string& k) {
                 // The plain table is one class, starting from the built-in one
                 // that takes every station; `classes` replaces them all.
                 ExchangeClass plain = rules.RestClass();
                 plain.name = "all";
                 bool plainGiven = false, classesGiven = false;
                 r.Keys(r.Table(n, k), k,
                        {{"sent", [&](const toml::node& v, const std::string& kk) {
                              plain.sent = Tokens(r, v, kk);
                              plainGiven = true;
                          }},
                         {"received", [&](const toml::node& v, const std::string& kk) {
                              plain.received = Tokens(r, v, kk);
                              plainGiven = true;
                          }},
                         {"classes", [&](const toml::node& v, const std::string& kk) {
                              rules.exchange = ExchangeClasses(r, v, kk);
                              classesGiven = true;
                          }}});
                 if (plainGiven && classesGiven)
                     r.Fail(n.source(), "'" + k + "': give either 'sent' and 'received' (one class) or 'classes'");
                 if (plainGiven) {
                     CheckClass(r, plain, n.source(), k);
                     rules.exchange = {std::move(plain)};
                 }
             }},
            {"matching",
             [&](const toml::node& n, const std::string& k) {
                 r.Keys(r.Table(n, k), k,
                        {{"window", minutes(rules.window)},
                         {"offset_window", minutes(rules.offsetWindow)},
                         {"dupe_after", minutes(rules.dupeAfter)},
                         {"blame", [&](const toml::node& v, const std::string& kk) { rules.blameBoth = r.BlameBoth(v, kk); }},
                         {"blame_busted", [&](const toml::node& v, const std::string& kk) { rules.blameBustedBoth = r.BlameBoth(v, kk); }},
                         {"blame_exchange", [&](const toml::node& v, const std::string& kk) { rules.blameExchangeBoth = r.BlameBoth(v, kk); }},
                         {"blame_nil", [&](const toml::node& v, const std::string& kk) {
                              if (r.String(v, kk) != "self")
                                  r.Fail(v.source(), "'" + kk + "' can only be \"self\": the other side logged no contact to take");
                          }}});
             }},
            {"penalty",
             [&](const toml::node& n, const std::string& k) {
                 r.Keys(r.Table(n, k), k,
                        {{"busted", [&](const toml::node& v, const std::string& kk) { rules.bustedPenalty = r.Number(v, kk, kMaxPenalty); }},
                         {"nil", [&](const toml::node& v, const std::string& kk) { rules.nilPenalty = r.Number(v, kk, kMaxPenalty); }}});
             }},
            {"unique",
             [&](const toml::node& n, const std::string& k) {
                 r.Keys(r.Table(n, k), k,
                        {{"min_logs", [&](const toml::node& v, const std::string& kk) { rules.uniqueMinLogs = r.Integer(v, kk, 1, 1'000'000); }},
                         {"min_contacts", [&](const toml::node& v, const std::string& kk) { rules.uniqueMinContacts = r.Integer(v, kk, 1, 1'000'000); }},
                         {"credit", [&](const toml::node& v, const std::string& kk) { rules.creditNoLog = r.Boolean(v, kk); }},
                         {"busy_log", [&](const toml::node& v, const std::string& kk) {
                              rules.busyCallCount = r.Integer(v, kk, 0, 1'000'000'000);
                          }}});
             }},
            {"scoring",
             [&](const toml::node& n, const std::string& k) {
                 r.Keys(r.Table(n, k), k,
                        {{"method", [&](const toml::node& v, const std::string& kk) {
                              rules.scoring = r.Choice<Scoring>(v, kk, {{"yol", Scoring::Yol}, {"per-contact", Scoring::PerContact}});
                          }},
                         {"confirmed", points(rules.pointsConfirmed)},
                         {"miscopied", points(rules.pointsMiscopied)},
                         {"no_log", [&](const toml::node& v, const std::string& kk) { rules.pointsNoLog = r.Integer(v, kk, 0, kMaxPoints); }},
                         {"checklog_score", [&](const toml::node& v, const std::string& kk) { rules.checklogScore = r.Boolean(v, kk); }},
                         {"points", [&](const toml::node& v, const std::string& kk) { rules.pointsTable = PointsRows(r, v, kk, pointsAt); }},
                         {"multipliers", [&](const toml::node& v, const std::string& kk) {
                              rules.multipliers = MultiplierRules(r, v, kk, beside, multipliersAt);
                          }},
                         {"multiplier", [&](const toml::node& v, const std::string& kk) {
                              rules.multiplierToken = r.String(v, kk);
                              multiplierAt = v.source();
                          }}});
             }},
            {"categories", [&](const toml::node& n, const std::string&) { rules.categories = ReadCategoryTable(n, file); }}});
    // A token a multiplier or points row reads is read from the received
    // exchange of the worked station's class; some class must send it.
    if (!rules.multiplierToken.empty() && !rules.NamesToken(rules.multiplierToken))
        r.Fail(multiplierAt, "'scoring.multiplier' names no received token of any exchange class: '" + rules.multiplierToken + "'");
    for (std::size_t i = 0; i < rules.multipliers.size(); ++i)
        if (const std::string& t = rules.multipliers[i].token; !t.empty() && !rules.NamesToken(t))
            r.Fail(multipliersAt[i], "'scoring.multipliers' names no received token of any exchange class: '" + t + "'");
    for (std::size_t i = 0; i < rules.pointsTable.size(); ++i)
        if (const std::string& t = rules.pointsTable[i].tokenLetters; !t.empty() && !rules.NamesToken(t))
            r.Fail(pointsAt[i], "'scoring.points' names no received token of any exchange class: '" + t + "'");
    if (rules.offsetWindow < rules.window) rules.offsetWindow = rules.window;
    return rules;
}

Rules LoadRules(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_directory(path, ec)) throw RulesError(path + ": a folder, not a rules file");
    const std::string text = ReadRulesFile(path);
    const fs::path dir = fs::path(path).parent_path();
    return ParseRules(text, path, [&](const std::string& name) {
        const fs::path beside = dir / name;
        if (fs::is_directory(beside, ec)) throw RulesError(beside.string() + " is a folder");
        std::string t = ReadRulesFile(beside.string());
        if (t.size() > kMaxRulesBytes) throw RulesError(beside.string() + " is larger than 1 MiB");
        return t;
    });
}

std::string ReadRulesFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw RulesError("cannot read " + path);
    std::string text(kMaxRulesBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) throw RulesError("cannot read " + path);
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

}  // namespace yol::check
