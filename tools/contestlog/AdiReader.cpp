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
#include "contestlog/AdifFields.h"
#include "contestlog/LineCounter.h"
#include "contestlog/LogReaderImpl.h"

namespace yol::contestlog {
namespace {

using detail::AdifField;

// Longest run of name, length and type characters looked at inside "<...>":
// a '<' with no tag end within it is plain text.
constexpr std::size_t kMaxTag = 256;

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

// The value holds "<EOR>" in any case.
bool HoldsEor(std::string_view value) noexcept {
    // Values are short: a plain loop beats a call to memchr.
    for (std::size_t at = 0; at + 5 <= value.size(); ++at)
        if (value[at] == '<' && EqualNoCase(value.substr(at, 5), "<EOR>")) return true;
    return false;
}

}  // namespace

void ReadAdi(std::string_view text, const ReadOptions& options, LogSink& sink) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    detail::AdifMapper mapper(options, sink);
    detail::LineCounter lines(text);
    detail::AdifRecord record;
    // The header is the text before <EOH>; a file starting with '<' has none,
    // unless an <EOH> comes before the first <EOR>.
    bool inHeader = true;
    const bool headerless = !text.empty() && text.front() == '<';
    std::size_t recordAt = 0;    // where the current record's first tag is
    std::size_t recordLine = 1;  // and its line
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
        if (!record.any && !inHeader && tag.kind != Tag::Eor && tag.kind != Tag::Eoh) {
            recordAt = at;
            recordLine = lines.LineAt(at);  // asked for before any later position
        }
        switch (tag.kind) {
            case Tag::NotATag: break;
            case Tag::Field: {
                if (tag.length > n - pos) {
                    mapper.Problem(lines.LineAt(at),
                                   "field " + Quoted(tag.name) + ": length " +
                                       std::to_string(tag.length) + " runs past the end of the file (" +
                                       std::to_string(n - pos) + " bytes left): field ignored");
                    break;
                }
                if (!record.any && inHeader) recordAt = at, recordLine = lines.LineAt(at);
                const std::string_view value = text.substr(pos, tag.length);
                if (inHeader) headerFields.emplace_back(tag.name, value);
                record.Set(detail::ClassifyAdifField(tag.name), value);
                if (HoldsEor(value))
                    mapper.Problem(lines.LineAt(at),
                                   "field " + Quoted(tag.name) + ": its length " + std::to_string(tag.length) +
                                       " takes in an <EOR>: a record after it may be read as part of "
                                       "this value",
                                   Severity::Note);
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
                    mapper.Emit(record, recordLine, text.substr(recordAt, tag.end - recordAt));
                record.Clear();
                break;
            case Tag::NoLength:
                // Between records (a trailing <APP_LoTW_EOF>) nothing is lost.
                if (!inHeader)
                    mapper.Problem(lines.LineAt(at),
                                   "tag <" + std::string(tag.name.substr(0, 40)) + "> has no length: ignored",
                                   record.any ? Severity::Rejected : Severity::Note);
                break;
            case Tag::BadLength:
                mapper.Problem(lines.LineAt(at), "field " + Quoted(tag.name) +
                                                     ": bad length " +
                                                     Quoted(tag.lengthText) +
                                                     ": field ignored");
                break;
        }
    }
    if (!sawTag) {
        mapper.Problem(1, "no ADIF tags in the file: no records");
    } else if (record.any && inHeader) {
        mapper.Problem(recordLine, "no <EOH> and no <EOR>: the file holds no records");
    } else if (record.any && !record.contact) {
        // An application's end mark (<APP_X_EOF:0>) or other trailing
        // fields of no contact: nothing is lost.
        mapper.Problem(recordLine,
                       "after the last <EOR>, " + Quoted(TrimBlanks(text.substr(recordAt))) +
                           " holds no contact field: ignored",
                       Severity::Note);
    } else if (record.any) {
        mapper.Problem(recordLine, "the file ends inside a record (no <EOR>): record skipped");
    }
}

}  // namespace yol::contestlog
