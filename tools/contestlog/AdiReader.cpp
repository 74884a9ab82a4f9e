// ADIF .adi: optional header text up to <EOH>, then records of
// <NAME:LENGTH[:TYPE]>value fields, each record ended by <EOR>. Values are
// views into the text; a damaged tag is reported and skipped, and reading
// goes on with the next one.
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "contestlog/Bands.h"
#include "contestlog/LogReader.h"
#include "contestlog/LogReaderImpl.h"

namespace yol::contestlog {
namespace {

using detail::AdifField;

// Longest run of name, length and type characters looked at inside "<...>":
// a '<' with no tag end within it is plain text.
constexpr std::size_t kMaxTag = 256;

// Characters of field names: letters, digits and '_'.
constexpr auto kNameChars = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                   c == '_';
    return table;
}();
bool IsNameChar(char c) noexcept { return kNameChars[static_cast<unsigned char>(c)]; }

// How many bytes of an 8-byte word equal the byte in every lane of `pattern`.
int CountEqual(std::uint64_t word, std::uint64_t pattern) noexcept {
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    const std::uint64_t x = word ^ pattern;  // zero bytes where equal
    const std::uint64_t t = ~(((x & kLow7) + kLow7) | x | kLow7);  // 0x80 in those bytes
    return static_cast<int>(((t >> 7) * 0x0101010101010101ULL) >> 56);
}

// 1-based line numbers of positions met in increasing order. A line ends at
// LF, CR LF or a lone CR.
class LineCounter {
public:
    explicit LineCounter(std::string_view text) : text_(text) {}
    std::size_t LineAt(std::size_t pos) noexcept {
        if (pos < pos_) pos_ = 0, line_ = 1;  // never expected: start over
        constexpr std::uint64_t kLf = 0x0A0A0A0A0A0A0A0AULL, kCr = 0x0D0D0D0D0D0D0D0DULL;
        const char* p = text_.data();
        std::size_t i = pos_, ends = 0, crs = 0;
        for (; i + 8 <= pos; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, p + i, 8);
            ends += static_cast<std::size_t>(CountEqual(word, kLf));
            crs += static_cast<std::size_t>(CountEqual(word, kCr));
        }
        for (; i < pos; ++i) {
            ends += p[i] == '\n';
            crs += p[i] == '\r';
        }
        if (crs != 0) {  // a CR ends a line unless an LF follows it
            for (std::size_t at = pos_; at < pos; ++at) {
                const void* cr = std::memchr(p + at, '\r', pos - at);
                if (!cr) break;
                at = static_cast<std::size_t>(static_cast<const char*>(cr) - p);
                if (at + 1 >= text_.size() || p[at + 1] != '\n') ++ends;
            }
        }
        pos_ = pos;
        line_ += ends;
        return line_;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0, line_ = 1;
};

struct Tag {
    enum Kind { NotATag, Field, Eoh, Eor, NoLength, BadLength } kind = NotATag;
    std::string_view name;
    std::string_view lengthText;  // BadLength: the length as written
    std::size_t length = 0;
    std::size_t end = 0;  // just after '>'
};

// Reads the tag that starts at text[at] == '<'.
Tag ParseTag(std::string_view text, std::size_t at) noexcept {
    Tag tag;
    const std::size_t n = text.size(), limit = at + kMaxTag < n ? at + kMaxTag : n;
    std::size_t i = at + 1;
    while (i < limit && IsNameChar(text[i])) ++i;
    if (i == at + 1 || i >= limit) return tag;
    tag.name = text.substr(at + 1, i - at - 1);
    if (text[i] == '>') {
        tag.end = i + 1;
        if (EqualNoCase(tag.name, "EOR")) tag.kind = Tag::Eor;
        else if (EqualNoCase(tag.name, "EOH")) tag.kind = Tag::Eoh;
        else tag.kind = Tag::NoLength;
        return tag;
    }
    if (text[i] != ':') return tag;
    // The length, then an optional ":TYPE", then '>'.
    const std::size_t lengthAt = ++i;
    while (i < limit && text[i] != '>' && text[i] != ':' && text[i] != '<') ++i;
    const std::size_t lengthEnd = i;
    if (i < limit && text[i] == ':')
        for (++i; i < limit && IsNameChar(text[i]);) ++i;
    if (i >= limit || text[i] != '>') return tag;  // no tag end: plain text
    tag.end = i + 1;
    tag.lengthText = text.substr(lengthAt, lengthEnd - lengthAt);
    std::size_t length = 0;
    bool ok = !tag.lengthText.empty() && tag.lengthText.size() <= 18;
    for (char c : tag.lengthText) {
        if (c < '0' || c > '9') ok = false;
        else length = length * 10 + static_cast<std::size_t>(c - '0');
    }
    tag.kind = ok ? Tag::Field : Tag::BadLength;
    tag.length = length;
    return tag;
}

}  // namespace

void ReadAdi(std::string_view text, const ReadOptions& options, LogSink& sink) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    detail::AdifMapper mapper(options, sink);
    LineCounter lines(text);
    detail::AdifRecord record;
    // The header is the text before <EOH>; a file starting with '<' has none,
    // unless an <EOH> comes before the first <EOR>.
    bool inHeader = true;
    const bool headerless = !text.empty() && text.front() == '<';
    std::size_t recordAt = 0;  // where the current record's first tag is
    const char* const base = text.data();
    const std::size_t n = text.size();
    std::size_t pos = 0;
    bool sawTag = false;
    std::vector<std::pair<std::string_view, std::string_view>> headerFields;
    std::string headerName;

    while (pos < n) {
        const void* found = std::memchr(base + pos, '<', n - pos);
        if (!found) break;
        const auto at = static_cast<std::size_t>(static_cast<const char*>(found) - base);
        const Tag tag = ParseTag(text, at);
        if (tag.kind == Tag::NotATag) {
            pos = at + 1;
            continue;
        }
        pos = tag.end;
        sawTag = true;
        if (!record.any && !inHeader && tag.kind != Tag::Eor && tag.kind != Tag::Eoh)
            recordAt = at;
        switch (tag.kind) {
            case Tag::NotATag: break;
            case Tag::Field: {
                if (tag.length > n - pos) {
                    mapper.Problem(lines.LineAt(at),
                                   "field " + detail::Quoted(tag.name) + ": length " +
                                       std::to_string(tag.length) + " runs past the end of the file (" +
                                       std::to_string(n - pos) + " bytes left): field ignored");
                    break;
                }
                if (!record.any && inHeader) recordAt = at;
                if (inHeader) headerFields.emplace_back(tag.name, text.substr(pos, tag.length));
                record.Set(detail::ClassifyAdifField(tag.name), text.substr(pos, tag.length));
                pos += tag.length;
                break;
            }
            case Tag::Eoh:
                if (inHeader) {
                    inHeader = false;
                    record.Clear();  // header fields are no contact
                    for (const auto& [name, value] : headerFields)
                        sink.Header(UpperAscii(name, headerName), TrimBlanks(value));
                    headerFields.clear();
                } else {
                    mapper.Problem(lines.LineAt(at),
                                   record.any ? "<EOH> inside the records: the fields before it "
                                                "are dropped"
                                              : "<EOH> inside the records: ignored");
                    record.Clear();
                }
                break;
            case Tag::Eor:
                if (inHeader) {
                    inHeader = false;
                    headerFields.clear();  // they were the first record's
                    if (!headerless)
                        mapper.Problem(lines.LineAt(at),
                                       "<EOR> before <EOH>: the file has no header end; its "
                                       "fields so far are read as the first record");
                }
                if (record.any)
                    mapper.Emit(record, lines.LineAt(recordAt), text.substr(recordAt, tag.end - recordAt));
                record.Clear();
                break;
            case Tag::NoLength:
                if (!inHeader)
                    mapper.Problem(lines.LineAt(at), "tag <" + std::string(tag.name.substr(0, 40)) +
                                                         "> has no length: ignored");
                break;
            case Tag::BadLength:
                mapper.Problem(lines.LineAt(at), "field " + detail::Quoted(tag.name) +
                                                     ": bad length " +
                                                     detail::Quoted(tag.lengthText) +
                                                     ": field ignored");
                break;
        }
    }
    if (!sawTag) {
        mapper.Problem(1, "no ADIF tags in the file: no records");
    } else if (record.any) {
        const std::size_t line = lines.LineAt(recordAt);
        mapper.Problem(line, inHeader ? std::string("no <EOH> and no <EOR>: the file holds no records")
                                      : "the file ends inside a record (no <EOR>): record skipped");
    }
}

}  // namespace yol::contestlog
