// Reading a country file: entity lines and their alias lists into the
// tables, every line that cannot be read reported with its number.
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <tuple>

#include "contestlog/CountryFileData.h"
#include "contestlog/Text.h"

namespace yol::contestlog {
namespace cty {
namespace {

// Index into kContinents, or -1.
int ContinentIndex(std::string_view s) {
    for (std::size_t i = 0; i < kContinents.size(); ++i) {
        if (kContinents[i].size() == s.size() &&
            std::equal(s.begin(), s.end(), kContinents[i].begin(),
                       [](char a, char b) { return Upper(a) == b; })) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool ParseInt(std::string_view s, int lo, int hi, int& out) {
    s = Trim(s);
    if (s.empty()) return false;
    int v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || v < lo || v > hi) return false;
    out = v;
    return true;
}

// A decimal number such as "-41.37" or "5.0" within [lo, hi]. Hand-written:
// floating-point from_chars is not available everywhere we build.
bool ParseDecimal(std::string_view s, double lo, double hi) {
    s = Trim(s);
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) s.remove_prefix(1);
    if (s.empty() || s.size() > 16) return false;
    double v = 0;
    double scale = 0;
    bool digits = false;
    for (char c : s) {
        if (IsDigit(c)) {
            digits = true;
            if (scale == 0) {
                v = v * 10 + (c - '0');
            } else {
                v += (c - '0') * scale;
                scale /= 10;
            }
        } else if (c == '.' && scale == 0) {
            scale = 0.1;
        } else {
            return false;
        }
    }
    // The sign does not matter for a symmetric range check.
    return digits && v <= hi && v <= -lo;
}

struct Entity {
    std::string_view name;
    std::string_view primaryPrefix;
    std::string_view hostPrefix;
    int cq = 0;
    int itu = 0;
    int continent = 0;
};

class Parser {
public:
    Parser(Storage& data, std::vector<CountryFileProblem>* problems)
        : data_(data), problems_(problems) {}

    void Run(std::string_view text) {
        std::size_t lineNo = 0;
        while (!text.empty()) {
            ++lineNo;
            const std::size_t nl = text.find('\n');
            std::string_view line = text.substr(0, nl);
            text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            Line(lineNo, line);
        }
        ReportSkipped();
        if (inList_) {
            Problem(listStart_, "alias list of '" + std::string(entity_.name) +
                                    "' is not ended with ';' before the end of the file");
        }
        if (suppressed_ > 0 && problems_ != nullptr) {
            problems_->push_back(
                {lineNo, std::to_string(suppressed_) + " further problems not listed"});
        }
    }

    std::vector<std::pair<std::string, const Country*>> exact;
    std::vector<std::pair<std::string, const Country*>> prefixes;

private:
    void Problem(std::size_t line, std::string message) {
        if (problems_ == nullptr) return;
        if (problems_->size() >= kMaxProblems) {
            ++suppressed_;
            return;
        }
        problems_->push_back({line, std::move(message)});
    }

    // An entity line that cannot be read: reported once its alias list has
    // been counted, since the whole entity goes with it.
    void Skip(std::size_t line, std::string message) {
        skippedLine_ = line;
        skippedWhy_ = std::move(message);
        skippedAliases_ = 0;
    }
    void ReportSkipped() {
        if (skippedWhy_.empty()) return;
        std::string message = std::move(skippedWhy_) + ": the entity is skipped";
        if (skippedAliases_ > 0)
            message += " with its " + std::to_string(skippedAliases_) +
                       (skippedAliases_ == 1 ? " alias" : " aliases") +
                       ": their calls fall to other entities or to none";
        skippedWhy_.clear();
        Problem(skippedLine_, std::move(message));
    }

    void Line(std::size_t lineNo, std::string_view line) {
        if (line.size() > kMaxLine) {
            Problem(lineNo, "line longer than " + std::to_string(kMaxLine) + " characters skipped");
            return;
        }
        if (Trim(line).empty()) return;
        const bool indented = IsSpace(line.front());
        if (!indented && line.find(':') != std::string_view::npos) {
            ReportSkipped();
            if (inList_) {
                Problem(listStart_, "alias list of '" + std::string(entity_.name) +
                                        "' is not ended with ';'; the aliases read are kept");
                inList_ = false;
            }
            Header(lineNo, line);
            return;
        }
        if (inList_) {
            Aliases(lineNo, line);
        } else if (!skipping_) {
            Problem(lineNo, "text outside an entity skipped: " + Quoted(Trim(line)));
        } else {
            // The alias list of a skipped entity: counted for its message.
            const std::size_t semicolon = line.find(';');
            const std::string_view list = line.substr(0, semicolon);
            for (std::size_t pos = 0; pos <= list.size();) {
                std::size_t end = list.find(',', pos);
                if (end == std::string_view::npos) end = list.size();
                if (!Trim(list.substr(pos, end - pos)).empty()) ++skippedAliases_;
                pos = end + 1;
            }
            if (semicolon != std::string_view::npos) {
                skipping_ = false;  // end of the list of a skipped entity
                ReportSkipped();
            }
        }
    }

    void Header(std::size_t lineNo, std::string_view line) {
        std::array<std::string_view, 8> f;
        std::size_t n = 0;
        std::string_view rest = line;
        while (n < f.size()) {
            const std::size_t colon = rest.find(':');
            if (colon == std::string_view::npos) break;
            f[n++] = Trim(rest.substr(0, colon));
            rest.remove_prefix(colon + 1);
        }
        skipping_ = true;
        if (n < f.size() || !Trim(rest).empty()) {
            Skip(lineNo,
                    "entity line needs 8 fields ending with ':' (name, CQ, ITU, continent, "
                    "latitude, longitude, UTC offset, prefix): " + Quoted(line));
            return;
        }
        Entity e;
        const std::string name(f[0]);
        if (name.empty()) return Skip(lineNo, "entity without a name");
        if (!std::all_of(name.begin(), name.end(), [](char c) {
                const auto u = static_cast<unsigned char>(c);
                return u >= 0x20 && u != 0x7f;
            })) {
            return Skip(lineNo, "entity name has control characters: " + Quoted(name));
        }
        if (!ParseInt(f[1], 1, 40, e.cq)) {
            return Skip(lineNo, "'" + name + "': CQ zone " + Quoted(f[1]) + " is not 1-40");
        }
        if (!ParseInt(f[2], 1, 90, e.itu)) {
            return Skip(lineNo, "'" + name + "': ITU zone " + Quoted(f[2]) + " is not 1-90");
        }
        e.continent = ContinentIndex(f[3]);
        if (e.continent < 0) {
            return Skip(lineNo, "'" + name + "': unknown continent " + Quoted(f[3]));
        }
        if (!ParseDecimal(f[4], -90, 90) || !ParseDecimal(f[5], -180, 180) ||
            !ParseDecimal(f[6], -24, 24)) {
            return Skip(lineNo,
                           "'" + name + "': latitude, longitude or UTC offset is not a number");
        }
        std::string_view prefix = f[7];
        if (!prefix.empty() && prefix.front() == '*') prefix.remove_prefix(1);  // WAE-only entity
        if (prefix.empty() || prefix.size() > kMaxKey ||
            !std::all_of(prefix.begin(), prefix.end(),
                         [](char c) { return IsKeyChar(Upper(c)); })) {
            return Skip(lineNo, "'" + name + "': bad primary prefix " + Quoted(f[7]));
        }
        e.name = data_.Keep(name);
        e.primaryPrefix = data_.Keep(std::string(prefix));
        // The host writes European Russia as UA1; Kaliningrad (UA2) and
        // Asiatic Russia (UA9) keep the file's prefix.
        e.hostPrefix = prefix == "UA" ? data_.Keep("UA1") : e.primaryPrefix;
        entity_ = e;
        ++data_.entityCount;
        skipping_ = false;
        inList_ = true;
        listStart_ = lineNo;
    }

    void Aliases(std::size_t lineNo, std::string_view line) {
        std::size_t bad = 0;
        std::string firstBad;
        std::size_t pos = 0;
        while (pos < line.size()) {
            std::size_t end = line.find_first_of(",;", pos);
            if (end == std::string_view::npos) end = line.size();
            const std::string_view token = Trim(line.substr(pos, end - pos));
            if (!token.empty()) {
                std::string why = Alias(token);
                if (!why.empty() && bad++ == 0) firstBad = std::move(why);
            }
            if (end < line.size() && line[end] == ';') {
                inList_ = false;
                if (!Trim(line.substr(end + 1)).empty()) {
                    Problem(lineNo,
                            "text after ';' ignored: " + Quoted(Trim(line.substr(end + 1))));
                }
                break;
            }
            pos = end + 1;
        }
        if (bad == 1) Problem(lineNo, firstBad);
        if (bad > 1)
            Problem(lineNo, firstBad + " (and " + std::to_string(bad - 1) + " more on this line)");
    }

    // Adds one alias; returns why it was skipped, or an empty string.
    std::string Alias(std::string_view token) {
        const bool isExact = token.front() == '=';
        if (isExact) token.remove_prefix(1);
        std::string key;
        std::size_t i = 0;
        for (; i < token.size() && !IsOverrideStart(token[i]); ++i) {
            const char c = Upper(token[i]);
            if (!IsKeyChar(c) || key.size() >= kMaxKey) {
                return "'" + std::string(entity_.name) + "': bad alias " + Quoted(token) + " skipped";
            }
            key += c;
        }
        if (key.empty() || key.front() == '/' || key.back() == '/') {
            return "'" + std::string(entity_.name) + "': bad alias " + Quoted(token) + " skipped";
        }
        int cq = entity_.cq;
        int itu = entity_.itu;
        int continent = entity_.continent;
        while (i < token.size()) {
            const char open = token[i];
            const char close = open == '('   ? ')'
                               : open == '[' ? ']'
                               : open == '<' ? '>'
                               : open == '{' ? '}'
                                             : '~';
            const std::size_t end = token.find(close, i + 1);
            const std::string_view inner = end == std::string_view::npos
                                               ? std::string_view()
                                               : token.substr(i + 1, end - i - 1);
            bool ok = IsOverrideStart(open) && end != std::string_view::npos;
            if (ok && open == '(') ok = ParseInt(inner, 1, 40, cq);
            if (ok && open == '[') ok = ParseInt(inner, 1, 90, itu);
            if (ok && open == '{') ok = (continent = ContinentIndex(inner)) >= 0;
            if (ok && open == '~') ok = ParseDecimal(inner, -24, 24);
            if (ok && open == '<') {
                const std::size_t slash = inner.find('/');
                ok = slash != std::string_view::npos &&
                     ParseDecimal(inner.substr(0, slash), -90, 90) &&
                     ParseDecimal(inner.substr(slash + 1), -180, 180);
            }
            if (!ok) {
                return "'" + std::string(entity_.name) + "': bad override in " + Quoted(token) +
                       " skipped";
            }
            i = end + 1;
        }
        (isExact ? exact : prefixes).emplace_back(std::move(key), CountryFor(cq, itu, continent));
        return {};
    }

    const Country* CountryFor(int cq, int itu, int continent) {
        const auto key = std::make_tuple(data_.entityCount, cq, itu, continent);
        auto it = interned_.find(key);
        if (it != interned_.end()) return it->second;
        Country& c = data_.countries.emplace_back();
        c.name = entity_.name;
        c.primaryPrefix = entity_.primaryPrefix;
        c.hostPrefix = entity_.hostPrefix;
        c.continent = kContinents[static_cast<std::size_t>(continent)];
        c.cqZone = cq;
        c.ituZone = itu;
        interned_.emplace(key, &c);
        return &c;
    }

    Storage& data_;
    std::vector<CountryFileProblem>* problems_;
    std::size_t suppressed_ = 0;
    Entity entity_;
    bool inList_ = false;    // reading the alias lines of entity_
    bool skipping_ = false;  // reading the alias lines of a rejected entity
    std::size_t listStart_ = 0;
    std::size_t skippedLine_ = 0, skippedAliases_ = 0;
    std::string skippedWhy_;
    std::map<std::tuple<std::size_t, int, int, int>, const Country*> interned_;
};

}  // namespace
}  // namespace cty

using namespace cty;

CountryFile CountryFile::Parse(std::string_view text, std::vector<CountryFileProblem>* problems) {
    if (text.size() > kMaxText) {
        throw std::runtime_error("country file larger than " + std::to_string(kMaxText >> 20) +
                                 " MiB");
    }
    auto data = std::make_unique<Data>();
    Parser parser(*data, problems);
    parser.Run(text);
    if (data->entityCount == 0 || (parser.exact.empty() && parser.prefixes.empty())) {
        throw std::runtime_error("country file has no usable entity with prefixes");
    }
    data->exact.Build(parser.exact);
    data->prefixes.Build(parser.prefixes);
    return CountryFile(std::move(data));
}

CountryFile CountryFile::Load(const std::string& path, std::vector<CountryFileProblem>* problems) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        throw std::runtime_error("country file '" + path + "' is a directory");
    struct Closer {
        void operator()(std::FILE* f) const noexcept { std::fclose(f); }
    };
    const std::unique_ptr<std::FILE, Closer> in(std::fopen(path.c_str(), "rb"));
    if (!in) throw std::runtime_error("cannot open country file '" + path + "'");
    // Read up to the cap and no further, whatever the file is (a device
    // such as /dev/zero has no end).
    std::string text;
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    while (text.size() <= kMaxFileSize) {
        const std::size_t at = text.size();
        text.resize(at + kPiece);
        const std::size_t got = std::fread(text.data() + at, 1, kPiece, in.get());
        text.resize(at + got);
        if (got < kPiece) break;
    }
    if (std::ferror(in.get())) throw std::runtime_error("cannot read country file '" + path + "'");
    if (text.size() > kMaxFileSize)
        throw std::runtime_error("country file '" + path + "' is larger than " +
                                 std::to_string(kMaxFileSize >> 20) + " MiB: not read");
    try {
        return Parse(text, problems);
    } catch (const std::runtime_error& e) {
        throw std::runtime_error("'" + path + "': " + e.what());
    }
}

}  // namespace yol::contestlog
