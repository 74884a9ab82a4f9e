#include "Categories.h"

#include <algorithm>
#include <filesystem>
#include <numeric>

#include "CategoriesToml.h"
#include "Rules.h"
#include "contestlog/Text.h"

namespace yol::check {
namespace {

using contestlog::TrimBlanks;

constexpr std::array<std::string_view, kCategoryFields> kKeys{
    "operator", "assisted", "band", "mode", "power", "station", "transmitter", "overlay", "time", "location"};
constexpr std::array<std::string_view, kCategoryFields> kHeaders{
    "CATEGORY-OPERATOR", "CATEGORY-ASSISTED", "CATEGORY-BAND",    "CATEGORY-MODE", "CATEGORY-POWER",
    "CATEGORY-STATION",  "CATEGORY-TRANSMITTER", "CATEGORY-OVERLAY", "CATEGORY-TIME", "LOCATION"};

std::string Upper(std::string_view s) {
    std::string out(TrimBlanks(s));
    for (char& c : out) c = contestlog::UpperAscii(c);
    return out;
}

// The same thing said two ways is one value: PH and PHONE are SSB.
std::string Canonical(CategoryField f, std::string value) {
    if (f == CategoryField::Mode && (value == "PH" || value == "PHONE")) return "SSB";
    if (f == CategoryField::Assisted && value == "NON ASSISTED") return "NON-ASSISTED";
    return value;
}

using Said = std::vector<std::pair<CategoryField, std::string>>;

bool IsBandWord(std::string_view w) {
    if (w == "ALL" || w == "LIGHT" || w.starts_with("VHF-")) return true;
    std::size_t digits = 0;
    while (digits < w.size() && ((w[digits] >= '0' && w[digits] <= '9') || w[digits] == '.')) ++digits;
    const std::string_view unit = w.substr(digits);
    return digits > 0 && (unit == "M" || unit == "CM" || unit == "MM" || unit == "GHZ");
}

// One word of a Cabrillo 2.0 CATEGORY: line, as the fields it sets; empty when
// it is none the format knows.
Said Word(std::string_view w) {
    using F = CategoryField;
    static const std::map<std::string_view, Said, std::less<>> kWords{
        {"SINGLE-OP", {{F::Operator, "SINGLE-OP"}}},
        {"SO", {{F::Operator, "SINGLE-OP"}}},
        {"SINGLE-OP-ASSISTED", {{F::Operator, "SINGLE-OP"}, {F::Assisted, "ASSISTED"}}},
        {"SINGLE-OP-PORTABLE", {{F::Operator, "SINGLE-OP"}, {F::Station, "PORTABLE"}}},
        {"SINGLE-OP-QRP", {{F::Operator, "SINGLE-OP"}, {F::Power, "QRP"}}},
        {"MULTI-ONE", {{F::Operator, "MULTI-OP"}, {F::Transmitter, "ONE"}}},
        {"MULTI-TWO", {{F::Operator, "MULTI-OP"}, {F::Transmitter, "TWO"}}},
        {"MULTI-MULTI", {{F::Operator, "MULTI-OP"}, {F::Transmitter, "UNLIMITED"}}},
        {"MULTI-LIMITED", {{F::Operator, "MULTI-OP"}, {F::Transmitter, "LIMITED"}}},
        {"MULTI-UNLIMITED", {{F::Operator, "MULTI-OP"}, {F::Transmitter, "UNLIMITED"}}},
        {"MULTI-OP", {{F::Operator, "MULTI-OP"}}},
        {"SCHOOL-CLUB", {{F::Operator, "MULTI-OP"}, {F::Station, "SCHOOL"}}},
        {"CHECKLOG", {{F::Operator, "CHECKLOG"}}},
        {"SWL", {{F::Operator, "SWL"}}},
        {"ASSISTED", {{F::Assisted, "ASSISTED"}}},
        {"NON-ASSISTED", {{F::Assisted, "NON-ASSISTED"}}},
        {"HIGH", {{F::Power, "HIGH"}}},
        {"LOW", {{F::Power, "LOW"}}},
        {"QRP", {{F::Power, "QRP"}}},
        {"CW", {{F::Mode, "CW"}}},
        {"SSB", {{F::Mode, "SSB"}}},
        {"PH", {{F::Mode, "SSB"}}},
        {"PHONE", {{F::Mode, "SSB"}}},
        {"RTTY", {{F::Mode, "RTTY"}}},
        {"FM", {{F::Mode, "FM"}}},
        {"DIGI", {{F::Mode, "DIGI"}}},
        {"MIXED", {{F::Mode, "MIXED"}}},
        {"ROOKIE", {{F::Overlay, "ROOKIE"}}},
        {"CLASSIC", {{F::Overlay, "CLASSIC"}}},
        {"TB-WIRES", {{F::Overlay, "TB-WIRES"}}},
        {"OVER-50", {{F::Overlay, "OVER-50"}}},
        {"YOUTH", {{F::Overlay, "YOUTH"}}},
        {"EXPERT", {{F::Overlay, "EXPERT"}}},
        {"PORTABLE", {{F::Station, "PORTABLE"}}},
        {"FIXED", {{F::Station, "FIXED"}}},
        {"MOBILE", {{F::Station, "MOBILE"}}},
    };
    if (auto it = kWords.find(w); it != kWords.end()) return it->second;
    if (IsBandWord(w)) return {{F::Band, std::string(w)}};
    return {};
}

class Reading {
public:
    explicit Reading(Declared& d) : d_(d) {}

    void Set(CategoryField f, std::string value, std::string_view header) {
        value = Canonical(f, std::move(value));
        if (value.empty()) return;
        const auto i = static_cast<std::size_t>(f);
        if (d_.value[i].empty()) {
            d_.value[i] = std::move(value);
            d_.from[i] = std::string(header);
        } else if (d_.value[i] != value) {
            d_.notes.push_back(std::string(header) + " says " + value + " where " + d_.from[i] + " said " +
                               d_.value[i] + ": " + d_.value[i] + " is taken");
        }
    }

    void Cabrillo2(std::string_view line) {
        std::vector<std::string> words;
        std::string word;
        for (char c : Upper(line) + " ") {
            if (c == ' ' || c == '\t') {
                if (!word.empty()) words.push_back(std::move(word));
                word.clear();
            } else {
                word += c;
            }
        }
        std::vector<std::string> unknown;
        for (std::size_t k = 0; k < words.size(); ++k) {
            std::string w = words[k];
            // "NON ASSISTED" in two words; "SINGLE-OP-" with a stray dash.
            if (w == "NON" && k + 1 < words.size() && words[k + 1] == "ASSISTED") {
                w = "NON-ASSISTED";
                ++k;
            }
            while (w.size() > 1 && w.back() == '-') w.pop_back();
            const Said said = Word(w);
            if (said.empty()) unknown.push_back(w);
            for (const auto& [f, v] : said) Set(f, v, "CATEGORY");
        }
        if (!unknown.empty()) {
            std::string note = "CATEGORY: ";
            for (std::size_t k = 0; k < unknown.size(); ++k) note += (k ? ", " : "") + unknown[k];
            note += unknown.size() == 1 ? " is no category word this check knows" : " are no category words this check knows";
            d_.notes.push_back(std::move(note));
        }
    }

private:
    Declared& d_;
};

}  // namespace

std::string_view CategoryKey(CategoryField f) noexcept { return kKeys[static_cast<std::size_t>(f)]; }
std::string_view CategoryHeader(CategoryField f) noexcept { return kHeaders[static_cast<std::size_t>(f)]; }

bool Declared::Any() const noexcept {
    return std::any_of(value.begin(), value.end(), [](const std::string& v) { return !v.empty(); });
}

Declared ReadDeclared(const std::vector<std::pair<std::string, std::string>>& headers) {
    Declared d;
    Reading reading(d);
    for (const auto& [rawName, value] : headers) {
        const std::string name = Upper(rawName);
        if (name == "CATEGORY") {
            reading.Cabrillo2(value);
            continue;
        }
        const auto it = std::find(kHeaders.begin(), kHeaders.end(), name);
        if (it != kHeaders.end()) {
            reading.Set(static_cast<CategoryField>(it - kHeaders.begin()), Upper(value), name);
        } else if (name.starts_with("CATEGORY-") && !TrimBlanks(value).empty()) {
            d.notes.push_back(name + " is no category header this check knows");
        }
    }
    return d;
}

std::size_t CategoryRules::Find(std::string_view name) const noexcept {
    for (std::size_t i = 0; i < classes.size(); ++i)
        if (classes[i].name == name) return i;
    return kNone;
}

Placement ClassOf(const CategoryRules& rules, std::string_view call, const Declared& declared) {
    Placement p;
    p.notes = declared.notes;
    if (rules.classes.empty()) return p;
    if (auto it = rules.calls.find(std::string(call)); it != rules.calls.end()) {
        p.index = it->second;
        p.notes.push_back("placed in " + rules.classes[p.index].name + " by the committee");
        return p;
    }
    for (std::size_t c = 0; c < rules.classes.size(); ++c) {
        const CategoryClass& k = rules.classes[c];
        bool fits = true;
        for (std::size_t f = 0; f < kCategoryFields && fits; ++f)
            if (!k.when[f].empty())
                fits = std::find(k.when[f].begin(), k.when[f].end(), declared.value[f]) != k.when[f].end();
        if (fits) {
            p.index = c;
            return p;
        }
    }
    p.index = rules.defaultClass;
    if (declared.Any()) {
        std::string said;
        for (std::size_t f = 0; f < kCategoryFields; ++f)
            if (!declared.value[f].empty()) said += (said.empty() ? "" : " ") + declared.value[f];
        p.notes.push_back("the category declared (" + said + ") fits none of the contest's classes: placed in " +
                          rules.classes[p.index].name);
    }
    return p;
}

void AssignClasses(const std::vector<SubmittedLog>& logs, const CategoryRules& rules, CheckResult& result) {
    const std::size_t n = std::min(logs.size(), result.logs.size());
    for (std::size_t L = 0; L < n; ++L) {
        LogResult& r = result.logs[L];
        Declared declared = ReadDeclared(logs[L].declared);
        // A checklog is in no class: listed as received.
        const Placement p = r.checklog ? Placement{kNone, std::move(declared.notes)} : ClassOf(rules, r.call, declared);
        r.categoryNotes = p.notes;
        r.classIndex = p.index;
        r.className = p.index == kNone ? std::string() : rules.classes[p.index].name;
        r.classTitle = p.index == kNone ? std::string() : rules.classes[p.index].title;
        r.category = r.className;
        r.placeInClass = r.placeOverall = 0;
        r.tiedInClass = r.tiedOverall = false;
        r.classSize = r.overallSize = 0;
    }
    // Places by final score, ties sharing one ("1, 2, 2, 4"); checklogs none.
    std::vector<std::size_t> ranked;
    for (std::size_t L = 0; L < n; ++L)
        if (!result.logs[L].checklog) ranked.push_back(L);
    std::stable_sort(ranked.begin(), ranked.end(), [&](std::size_t a, std::size_t b) {
        return result.logs[a].final.score > result.logs[b].final.score;
    });
    std::map<std::size_t, std::vector<std::size_t>> byClass;
    for (std::size_t L : ranked) byClass[result.logs[L].classIndex].push_back(L);
    auto place = [&](const std::vector<std::size_t>& list, std::uint32_t LogResult::*placeOf,
                     std::uint32_t LogResult::*sizeOf, bool LogResult::*tiedOf) {
        for (std::size_t k = 0; k < list.size(); ++k) {
            LogResult& r = result.logs[list[k]];
            LogResult* before = k > 0 ? &result.logs[list[k - 1]] : nullptr;
            const bool tie = before && before->final.score == r.final.score;
            r.*placeOf = tie ? before->*placeOf : static_cast<std::uint32_t>(k + 1);
            r.*sizeOf = static_cast<std::uint32_t>(list.size());
            r.*tiedOf = tie;
            if (tie) before->*tiedOf = true;
        }
    };
    place(ranked, &LogResult::placeOverall, &LogResult::overallSize, &LogResult::tiedOverall);
    for (const auto& [index, list] : byClass)
        place(list, &LogResult::placeInClass, &LogResult::classSize, &LogResult::tiedInClass);
}

void ReadClassOverrides(std::string_view text, const std::string& file, CategoryRules& rules) {
    auto fail = [&](std::size_t line, const std::string& message) {
        throw RulesError(file + ":" + std::to_string(line) + ": " + message);
    };
    if (rules.classes.empty()) fail(1, "the rules define no classes ([[categories.class]]) to place a log in");
    std::map<std::string, std::size_t> given;  // call -> line
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++number;
        line = TrimBlanks(line.substr(0, line.find('#')));
        if (line.empty()) continue;
        std::size_t blank = 0;
        while (blank < line.size() && !contestlog::IsBlank(line[blank])) ++blank;
        const std::string call = Upper(line.substr(0, blank));
        const std::string name(TrimBlanks(line.substr(blank)));
        if (name.empty()) fail(number, "a call without a class: '" + call + "' (a line is CALL CLASS)");
        const std::size_t index = rules.Find(name);
        if (index == kNone) {
            std::string known;
            for (const CategoryClass& k : rules.classes) known += (known.empty() ? "" : ", ") + k.name;
            fail(number, "no class '" + name + "' in the rules (the classes: " + known + ")");
        }
        if (auto [at, fresh] = given.emplace(call, number); !fresh)
            fail(number, call + " is given a class twice (first on line " + std::to_string(at->second) + ")");
        rules.calls[call] = index;
    }
}

void LoadClassOverrides(const std::string& path, CategoryRules& rules) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw RulesError(path + ": a folder, not a file of classes");
    const std::string text = ReadRulesFile(path);
    if (text.size() > kMaxRulesBytes) throw RulesError(path + ":1: larger than 1 MiB");
    ReadClassOverrides(text, path, rules);
}

namespace {
[[noreturn]] void Fail(const std::string& file, const toml::source_region& where, const std::string& message) {
    throw RulesError(file + ":" + std::to_string(where.begin.line) + ": " + message);
}
}  // namespace

std::string PlaceText(const LogResult& r) {
    if (r.placeOverall == 0) return "";
    std::string out;
    if (!r.className.empty())
        out = Ordinal(r.placeInClass, r.tiedInClass) + " of " + std::to_string(r.classSize) + " in " + r.className + ", ";
    return out + Ordinal(r.placeOverall, r.tiedOverall) + " of " + std::to_string(r.overallSize) + " overall";
}

CategoryRules ReadCategoryTable(const toml::node& node, const std::string& file) {
    auto fail = [&](const toml::source_region& where, const std::string& message) { Fail(file, where, message); };
    const toml::table* table = node.as_table();
    if (!table) Fail(file, node.source(), "'categories' must be a table");
    auto string = [&](const toml::node& n, const std::string& key) -> std::string {
        const auto* s = n.as_string();
        if (!s) Fail(file, n.source(), "'" + key + "' must be a string");
        return s->get();
    };
    CategoryRules out;
    const toml::node* defaultNode = nullptr;
    const toml::node* callsNode = nullptr;
    for (const auto& [key, value] : *table) {
        const std::string name(key.str());
        if (name == "default") {
            defaultNode = &value;
        } else if (name == "calls") {
            callsNode = &value;
        } else if (name == "class") {
            const auto* list = value.as_array();
            if (!list) Fail(file, value.source(), "'categories.class' must be an array of tables ([[categories.class]])");
            for (const toml::node& entry : *list) {
                const auto* t = entry.as_table();
                if (!t) Fail(file, entry.source(), "'categories.class' must be an array of tables");
                CategoryClass k;
                for (const auto& [ck, cv] : *t) {
                    const std::string cname(ck.str());
                    const std::string full = "categories.class." + cname;
                    if (cname == "name") {
                        k.name = string(cv, full);
                        if (k.name.empty()) fail(cv.source(), "'" + full + "' must not be empty");
                        continue;
                    }
                    if (cname == "title") {
                        k.title = string(cv, full);
                        continue;
                    }
                    const auto f = std::find(kKeys.begin(), kKeys.end(), cname);
                    if (f == kKeys.end()) fail(ck.source(), "unknown key '" + full + "'");
                    auto& values = k.when[static_cast<std::size_t>(f - kKeys.begin())];
                    const auto field = static_cast<CategoryField>(f - kKeys.begin());
                    if (cv.is_string()) {
                        values.push_back(Canonical(field, Upper(string(cv, full))));
                    } else if (const auto* a = cv.as_array()) {
                        for (const toml::node& e : *a) values.push_back(Canonical(field, Upper(string(e, full + "[]"))));
                    } else {
                        fail(cv.source(), "'" + full + "' must be a string or an array of strings");
                    }
                }
                if (k.name.empty()) fail(entry.source(), "a class of 'categories.class' without a name");
                if (out.Find(k.name) != kNone) fail(entry.source(), "class '" + k.name + "' is defined twice");
                out.classes.push_back(std::move(k));
            }
        } else {
            fail(key.source(), "unknown key 'categories." + name + "'");
        }
    }
    if (out.classes.empty()) fail(node.source(), "'categories' defines no class ([[categories.class]])");
    if (defaultNode) {
        const std::string name = string(*defaultNode, "categories.default");
        out.defaultClass = out.Find(name);
        if (out.defaultClass == kNone) fail(defaultNode->source(), "'categories.default' names no class: '" + name + "'");
    }
    if (callsNode) {
        const auto* calls = callsNode->as_table();
        if (!calls) Fail(file, callsNode->source(), "'categories.calls' must be a table of call = \"class\"");
        for (const auto& [call, value] : *calls) {
            const std::string name = string(value, "categories.calls." + std::string(call.str()));
            const std::size_t index = out.Find(name);
            if (index == kNone) fail(value.source(), "'categories.calls." + std::string(call.str()) + "' names no class: '" + name + "'");
            out.calls[Upper(call.str())] = index;
        }
    }
    return out;
}

}  // namespace yol::check
