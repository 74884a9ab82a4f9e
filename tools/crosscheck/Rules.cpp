#include "Rules.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>

#include <toml++/toml.h>

#include "CategoriesToml.h"

namespace yol::check {
namespace {

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}



// Reads one table's keys against a list of known ones, so that an unknown
// key is an error with its line.
class Reader {
public:
    Reader(const std::string& file) : file_(file) {}

    [[noreturn]] void Fail(const toml::source_region& where, const std::string& message) const {
        throw RulesError(file_ + ":" + std::to_string(where.begin.line) + ": " + message);
    }

    // Calls `on` for each key of the table; unknown keys fail.
    void Keys(const toml::table& table, const std::string& prefix,
              const std::map<std::string, std::function<void(const toml::node&, const std::string&)>>& on) {
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
    std::int64_t Integer(const toml::node& n, const std::string& key, std::int64_t min) const {
        auto v = n.as_integer();
        if (!v) Fail(n.source(), "'" + key + "' must be an integer");
        if (v->get() < min) Fail(n.source(), "'" + key + "' must be at least " + std::to_string(min));
        return v->get();
    }
    double Number(const toml::node& n, const std::string& key) const {
        double value = 0;
        if (auto i = n.as_integer()) value = static_cast<double>(i->get());
        else if (auto f = n.as_floating_point()) value = f->get();
        else Fail(n.source(), "'" + key + "' must be a number");
        if (!(value >= 0) || !std::isfinite(value)) Fail(n.source(), "'" + key + "' must be 0 or more");
        return value;
    }
    const toml::table& Table(const toml::node& n, const std::string& key) const {
        if (auto t = n.as_table()) return *t;
        Fail(n.source(), "'" + key + "' must be a table");
    }
    std::vector<std::string> Strings(const toml::node& n, const std::string& key) const {
        auto a = n.as_array();
        if (!a) Fail(n.source(), "'" + key + "' must be an array of strings");
        std::vector<std::string> out;
        for (const toml::node& e : *a) out.push_back(String(e, key + "[]"));
        return out;
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
    auto a = n.as_array();
    if (!a) r.Fail(n.source(), "'" + key + "' must be an array of tables {name, check}");
    std::vector<ExchangeToken> out;
    for (const toml::node& e : *a) {
        const toml::table& t = r.Table(e, key + "[]");
        ExchangeToken token;
        bool named = false;
        r.Keys(t, key + "[]",
               {{"name", [&](const toml::node& v, const std::string& k) {
                     token.name = r.String(v, k);
                     named = true;
                 }},
                {"check", [&](const toml::node& v, const std::string& k) {
                     const std::string c = r.String(v, k);
                     if (c == "none") token.check = TokenCheck::None;
                     else if (c == "exact") token.check = TokenCheck::Exact;
                     else if (c == "number") token.check = TokenCheck::Number;
                     else r.Fail(v.source(), "'" + k + "' must be \"none\", \"exact\" or \"number\"");
                 }}});
        if (!named || token.name.empty()) r.Fail(e.source(), "'" + key + "' token without a name");
        out.push_back(std::move(token));
    }
    return out;
}

}  // namespace

std::size_t Rules::ReceivedIndex(std::string_view tokenName) const noexcept {
    for (std::size_t i = 0; i < received.size(); ++i)
        if (received[i].name == tokenName) return i;
    return kNone;
}

Rules YolRules() {
    Rules r;
    r.name = "YOL";
    r.bands = {"1.8", "3.5", "7", "14", "21", "28"};
    r.modes = {"CW", "SSB"};
    r.sent = {{"rst", TokenCheck::None}, {"exch", TokenCheck::Number}};
    r.received = {{"rst", TokenCheck::None}, {"exch", TokenCheck::Number}};
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

Rules ParseRules(std::string_view text, const std::string& file) {
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
    r.Keys(root, "",
           {{"name", [&](const toml::node& n, const std::string& k) { rules.name = r.String(n, k); }},
            {"bands", [&](const toml::node& n, const std::string& k) { rules.bands = r.Strings(n, k); }},
            {"modes",
             [&](const toml::node& n, const std::string& k) {
                 rules.modes = r.Strings(n, k);
                 for (auto& m : rules.modes) m = Upper(m);
             }},
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
                 r.Keys(r.Table(n, k), k,
                        {{"sent", [&](const toml::node& v, const std::string& kk) {
                              rules.sent = Tokens(r, v, kk);
                          }},
                         {"received", [&](const toml::node& v, const std::string& kk) {
                              rules.received = Tokens(r, v, kk);
                          }}});
             }},
            {"matching",
             [&](const toml::node& n, const std::string& k) {
                 r.Keys(r.Table(n, k), k,
                        {{"window", [&](const toml::node& v, const std::string& kk) { rules.window = r.Integer(v, kk, 0); }},
                         {"offset_window", [&](const toml::node& v, const std::string& kk) { rules.offsetWindow = r.Integer(v, kk, 0); }},
                         {"dupe_after", [&](const toml::node& v, const std::string& kk) { rules.dupeAfter = r.Integer(v, kk, 0); }},
                         {"blame", [&](const toml::node& v, const std::string& kk) {
                              const std::string b = r.String(v, kk);
                              if (b == "self") rules.blameBoth = false;
                              else if (b == "both") rules.blameBoth = true;
                              else r.Fail(v.source(), "'" + kk + "' must be \"self\" or \"both\"");
                          }}});
             }},
            {"penalty",
             [&](const toml::node& n, const std::string& k) {
                 r.Keys(r.Table(n, k), k,
                        {{"busted", [&](const toml::node& v, const std::string& kk) { rules.bustedPenalty = r.Number(v, kk); }},
                         {"nil", [&](const toml::node& v, const std::string& kk) { rules.nilPenalty = r.Number(v, kk); }}});
             }},
            {"unique",
             [&](const toml::node& n, const std::string& k) {
                 r.Keys(r.Table(n, k), k,
                        {{"min_logs", [&](const toml::node& v, const std::string& kk) { rules.uniqueMinLogs = r.Integer(v, kk, 1); }},
                         {"credit", [&](const toml::node& v, const std::string& kk) {
                              auto b = v.as_boolean();
                              if (!b) r.Fail(v.source(), "'" + kk + "' must be true or false");
                              rules.creditNoLog = b->get();
                          }},
                         {"busy_log", [&](const toml::node& v, const std::string& kk) {
                              rules.busyCallCount = r.Integer(v, kk, 0);
                          }}});
             }},
            {"scoring",
             [&](const toml::node& n, const std::string& k) {
                 r.Keys(r.Table(n, k), k,
                        {{"method", [&](const toml::node& v, const std::string& kk) {
                              const std::string m = r.String(v, kk);
                              if (m == "yol") rules.scoring = Scoring::Yol;
                              else if (m == "per-contact") rules.scoring = Scoring::PerContact;
                              else r.Fail(v.source(), "'" + kk + "' must be \"yol\" or \"per-contact\"");
                          }},
                         {"confirmed", [&](const toml::node& v, const std::string& kk) { rules.pointsConfirmed = r.Integer(v, kk, 0); }},
                         {"miscopied", [&](const toml::node& v, const std::string& kk) { rules.pointsMiscopied = r.Integer(v, kk, 0); }},
                         {"multiplier", [&](const toml::node& v, const std::string& kk) {
                              rules.multiplierToken = r.String(v, kk);
                              multiplierAt = v.source();
                          }}});
             }},
            {"categories", [&](const toml::node& n, const std::string&) { rules.categories = ReadCategoryTable(n, file); }}});
    if (rules.sent.size() != rules.received.size())
        r.Fail(root.source(), "'exchange.sent' and 'exchange.received' must name as many tokens");
    if (!rules.multiplierToken.empty() && rules.ReceivedIndex(rules.multiplierToken) == kNone)
        r.Fail(multiplierAt, "'scoring.multiplier' names no received token: '" + rules.multiplierToken + "'");
    if (rules.offsetWindow < rules.window) rules.offsetWindow = rules.window;
    return rules;
}

}  // namespace yol::check
