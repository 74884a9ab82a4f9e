// Looking a call sign up in the country file's tables.
#include "contestlog/CountryFile.h"

#include "contestlog/CountryFileData.h"

namespace yol::contestlog {

using namespace cty;

namespace {

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
