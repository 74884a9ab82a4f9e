#include "contestlog/CountryFile.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <tuple>
#include <utility>

namespace yol::contestlog {

namespace {

constexpr std::size_t kMaxLine = 65536;                 // longer lines are skipped
constexpr std::size_t kMaxKey = 32;                     // longest prefix or exact call accepted
constexpr std::size_t kMaxCall = 48;                    // longest call Lookup accepts
constexpr std::size_t kMaxParts = 8;                    // '/'-separated parts of a call
constexpr std::size_t kMaxProblems = 1000;              // further problems are counted, not listed
constexpr std::size_t kMaxText = std::size_t{1} << 30;  // key offsets are 32-bit

constexpr std::array<std::string_view, 7> kContinents = {"AF", "AN", "AS", "EU", "NA", "OC", "SA"};

constexpr std::uint64_t kFnvOffset = 14695981039346656037ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

constexpr std::uint64_t HashStep(std::uint64_t h, char c) {
    return (h ^ static_cast<unsigned char>(c)) * kFnvPrime;
}

std::uint64_t Hash(std::string_view s) {
    std::uint64_t h = kFnvOffset;
    for (char c : s) h = HashStep(h, c);
    return h;
}

constexpr char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsKeyChar(char c) { return (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '/'; }
constexpr bool IsOverrideStart(char c) {
    return c == '(' || c == '[' || c == '<' || c == '{' || c == '~';
}
constexpr bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}

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

// Printable excerpt of untrusted text for a message.
std::string Excerpt(std::string_view s) {
    std::string out;
    for (char c : s.substr(0, 40)) {
        const auto u = static_cast<unsigned char>(c);
        out += (u >= 0x20 && u < 0x7f) ? c : '?';
    }
    if (s.size() > 40) out += "...";
    return out;
}

// Open-addressing hash table from prefix or exact call to its country. The
// keys live in one arena; slots hold the full hash, so a probe compares
// bytes only on a hash hit.
class KeyTable {
public:
    void Build(const std::vector<std::pair<std::string, const Country*>>& entries) {
        std::size_t capacity = 16;
        while (capacity < entries.size() * 2) capacity *= 2;
        slots_.assign(capacity, Slot{});
        mask_ = capacity - 1;
        std::size_t total = 0;
        for (const auto& e : entries) total += e.first.size();
        arena_.clear();
        arena_.reserve(total);
        for (const auto& [key, country] : entries) {
            const std::uint64_t h = Hash(key);
            Slot* slot = FindSlot(h, key);
            if (slot->country != nullptr) continue;  // the first entry of a key wins
            slot->hash = h;
            slot->offset = static_cast<std::uint32_t>(arena_.size());
            slot->length = static_cast<std::uint32_t>(key.size());
            slot->country = country;
            arena_ += key;
            maxLength_ = std::max(maxLength_, key.size());
        }
    }

    const Country* Find(std::uint64_t h, std::string_view key) const {
        if (slots_.empty()) return nullptr;
        for (std::size_t i = Index(h);; i = (i + 1) & mask_) {
            const Slot& s = slots_[i];
            if (s.country == nullptr) return nullptr;
            if (s.hash == h && s.length == key.size() &&
                std::memcmp(arena_.data() + s.offset, key.data(), key.size()) == 0) {
                return s.country;
            }
        }
    }

    std::size_t MaxLength() const noexcept { return maxLength_; }

private:
    struct Slot {
        std::uint64_t hash = 0;
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
        const Country* country = nullptr;
    };

    std::size_t Index(std::uint64_t h) const {
        return static_cast<std::size_t>(h ^ (h >> 29)) & mask_;
    }

    Slot* FindSlot(std::uint64_t h, std::string_view key) {
        for (std::size_t i = Index(h);; i = (i + 1) & mask_) {
            Slot& s = slots_[i];
            if (s.country == nullptr) return &s;
            if (s.hash == h && s.length == key.size() &&
                std::memcmp(arena_.data() + s.offset, key.data(), key.size()) == 0) {
                return &s;
            }
        }
    }

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::string arena_;
    std::size_t maxLength_ = 0;
};

// A portable designator after '/' that says nothing about the location.
bool IsDesignator(std::string_view p) {
    if (p.size() == 1) {
        switch (p[0]) {
            case 'P':
            case 'M':
            case 'A':
            case 'B':
            case 'R':
            case 'J': return true;
            default: return false;
        }
    }
    return p == "QRP" || p == "QRPP" || p == "LH" || p == "PM";
}

// What the parser fills in.
struct Storage {
    std::deque<std::string> strings;  // names and prefixes; deque keeps them in place
    std::deque<Country> countries;    // one per (entity, overrides)
    std::size_t entityCount = 0;

    std::string_view Keep(std::string s) { return strings.emplace_back(std::move(s)); }
};

}  // namespace

struct CountryFile::Data : Storage {
    KeyTable exact;
    KeyTable prefixes;

    const Country* PrefixMatch(std::string_view s) const;
    const Country* Resolve(std::string_view call) const;
};

namespace {

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

    void Line(std::size_t lineNo, std::string_view line) {
        if (line.size() > kMaxLine) {
            Problem(lineNo, "line longer than " + std::to_string(kMaxLine) + " characters skipped");
            return;
        }
        if (Trim(line).empty()) return;
        const bool indented = IsSpace(line.front());
        if (!indented && line.find(':') != std::string_view::npos) {
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
            Problem(lineNo, "text outside an entity skipped: '" + Excerpt(Trim(line)) + "'");
        } else if (line.find(';') != std::string_view::npos) {
            skipping_ = false;  // end of the list of a skipped entity
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
            Problem(lineNo,
                    "entity line needs 8 fields ending with ':' (name, CQ, ITU, continent, "
                    "latitude, longitude, UTC offset, prefix): '" +
                        Excerpt(line) + "'");
            return;
        }
        Entity e;
        const std::string name(f[0]);
        if (name.empty()) return Problem(lineNo, "entity without a name");
        if (!std::all_of(name.begin(), name.end(), [](char c) {
                const auto u = static_cast<unsigned char>(c);
                return u >= 0x20 && u != 0x7f;
            })) {
            return Problem(lineNo, "entity name has control characters: '" + Excerpt(name) + "'");
        }
        if (!ParseInt(f[1], 1, 40, e.cq)) {
            return Problem(lineNo, "'" + name + "': CQ zone '" + Excerpt(f[1]) + "' is not 1-40");
        }
        if (!ParseInt(f[2], 1, 90, e.itu)) {
            return Problem(lineNo, "'" + name + "': ITU zone '" + Excerpt(f[2]) + "' is not 1-90");
        }
        e.continent = ContinentIndex(f[3]);
        if (e.continent < 0) {
            return Problem(lineNo, "'" + name + "': unknown continent '" + Excerpt(f[3]) + "'");
        }
        if (!ParseDecimal(f[4], -90, 90) || !ParseDecimal(f[5], -180, 180) ||
            !ParseDecimal(f[6], -24, 24)) {
            return Problem(lineNo,
                           "'" + name + "': latitude, longitude or UTC offset is not a number");
        }
        std::string_view prefix = f[7];
        if (!prefix.empty() && prefix.front() == '*') prefix.remove_prefix(1);  // WAE-only entity
        if (prefix.empty() || prefix.size() > kMaxKey ||
            !std::all_of(prefix.begin(), prefix.end(),
                         [](char c) { return IsKeyChar(Upper(c)); })) {
            return Problem(lineNo, "'" + name + "': bad primary prefix '" + Excerpt(f[7]) + "'");
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
                    Problem(lineNo, "text after ';' ignored: '" +
                                        Excerpt(Trim(line.substr(end + 1))) + "'");
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
                return "'" + std::string(entity_.name) + "': bad alias '" + Excerpt(token) +
                       "' skipped";
            }
            key += c;
        }
        if (key.empty() || key.front() == '/' || key.back() == '/') {
            return "'" + std::string(entity_.name) + "': bad alias '" + Excerpt(token) +
                   "' skipped";
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
                return "'" + std::string(entity_.name) + "': bad override in '" + Excerpt(token) +
                       "' skipped";
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
    std::map<std::tuple<std::size_t, int, int, int>, const Country*> interned_;
};

}  // namespace

// Longest prefix of `s` in the prefix table.
const Country* CountryFile::Data::PrefixMatch(std::string_view s) const {
    std::array<std::uint64_t, kMaxCall + 1> h;
    const std::size_t n = std::min(s.size(), prefixes.MaxLength());
    h[0] = kFnvOffset;
    for (std::size_t i = 0; i < n; ++i) h[i + 1] = HashStep(h[i], s[i]);
    for (std::size_t len = n; len > 0; --len) {
        if (const Country* c = prefixes.Find(h[len], s.substr(0, len))) return c;
    }
    return nullptr;
}

// `call` is upper case, trimmed and at most kMaxCall long.
const Country* CountryFile::Data::Resolve(std::string_view call) const {
    if (call.size() <= exact.MaxLength()) {
        if (const Country* c = exact.Find(Hash(call), call)) return c;
    }
    if (call.find('/') == std::string_view::npos) return PrefixMatch(call);

    std::array<std::string_view, kMaxParts> parts;
    std::size_t n = 0;
    char area = 0;
    std::size_t pos = 0;
    while (pos <= call.size()) {
        std::size_t end = call.find('/', pos);
        if (end == std::string_view::npos) end = call.size();
        const std::string_view p = call.substr(pos, end - pos);
        pos = end + 1;
        if (p.empty()) continue;
        if (n > 0) {
            if (p == "MM" || p == "AM") return nullptr;  // maritime or aeronautical mobile
            if (IsDesignator(p)) continue;
        }
        if (n == parts.size()) return nullptr;
        parts[n++] = p;
    }
    if (n == 0) return nullptr;

    char buf[kMaxCall];
    {
        // Exact calls also match without the designators: W1AW/P is W1AW.
        std::size_t len = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (i > 0) buf[len++] = '/';
            std::memcpy(buf + len, parts[i].data(), parts[i].size());
            len += parts[i].size();
        }
        const std::string_view stripped(buf, len);
        if (len != call.size() && len <= exact.MaxLength()) {
            if (const Country* c = exact.Find(Hash(stripped), stripped)) return c;
        }
    }

    // A single call-area digit after the call: UA9ABC/1.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0 && parts[i].size() == 1 && IsDigit(parts[i][0])) {
            area = parts[i][0];
        } else {
            parts[kept++] = parts[i];
        }
    }
    n = kept;

    if (n == 1) {
        std::string_view home = parts[0];
        if (area != 0) {
            std::memcpy(buf, home.data(), home.size());
            std::size_t len = home.size();
            std::size_t digit = len;
            for (std::size_t i = len; i > 0; --i) {
                if (IsDigit(buf[i - 1])) {
                    digit = i - 1;
                    break;
                }
            }
            if (digit < len) {
                buf[digit] = area;
            } else if (len < kMaxCall) {
                buf[len++] = area;
            }
            if (const Country* c = PrefixMatch(std::string_view(buf, len))) return c;
        }
        return PrefixMatch(home);
    }

    // A prefix before or after the home call (DL/G4ABC, G4ABC/DL): the
    // shorter part (the first on a tie) when it resolves, else the others.
    std::stable_sort(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(n),
                     [](std::string_view a, std::string_view b) { return a.size() < b.size(); });
    for (std::size_t i = 0; i < n; ++i) {
        if (const Country* c = PrefixMatch(parts[i])) return c;
    }
    return nullptr;
}

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
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open country file '" + path + "'");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw std::runtime_error("cannot read country file '" + path + "'");
    try {
        return Parse(text.view(), problems);
    } catch (const std::runtime_error& e) {
        throw std::runtime_error("'" + path + "': " + e.what());
    }
}

CountryFile::CountryFile(std::unique_ptr<Data> data) : data_(std::move(data)) {}
CountryFile::CountryFile(CountryFile&&) noexcept = default;
CountryFile& CountryFile::operator=(CountryFile&&) noexcept = default;
CountryFile::~CountryFile() = default;

const Country* CountryFile::Lookup(std::string_view call) const {
    call = Trim(call);
    if (call.empty() || call.size() > kMaxCall || !data_) return nullptr;
    char buf[kMaxCall];
    for (std::size_t i = 0; i < call.size(); ++i) {
        const char c = Upper(call[i]);
        if (!IsKeyChar(c)) return nullptr;
        buf[i] = c;
    }
    return data_->Resolve(std::string_view(buf, call.size()));
}

std::size_t CountryFile::EntityCount() const noexcept { return data_ ? data_->entityCount : 0; }

}  // namespace yol::contestlog
