// ADIF .adx: <ADX><HEADER>...</HEADER><RECORDS><RECORD><CALL>...</CALL>...
// </RECORD></RECORDS></ADX>, parsed with expat. Element names in any case;
// application fields as <APP PROGRAMID="YOL" FIELDNAME="DXCCPREFIX">. Values
// come as UTF-8 and are stored in Windows-1251, the host's code page. After
// an XML error the reader starts over at the next <RECORD>.
#include <expat.h>

#include <array>
#include <climits>
#include <memory>

#include "contestlog/Bands.h"
#include "contestlog/LogReader.h"
#include "contestlog/AdifFields.h"
#include "contestlog/LineCounter.h"
#include "contestlog/LogReaderImpl.h"

namespace yol::contestlog {
namespace {

using detail::AdifField;

// The next "<RECORD" start tag (any case) at or after `from`, or npos.
std::size_t FindRecordTag(std::string_view text, std::size_t from) noexcept {
    for (std::size_t at = text.find('<', from); at != std::string_view::npos;
         at = text.find('<', at + 1)) {
        if (at + 7 >= text.size()) return std::string_view::npos;
        const char next = text[at + 7];
        if (EqualNoCase(text.substr(at + 1, 6), "RECORD") &&
            (next == '>' || next == '/' || IsBlank(next)))
            return at;
    }
    return std::string_view::npos;
}

struct ParserDeleter {
    void operator()(XML_Parser p) const noexcept { XML_ParserFree(p); }
};
using ParserPtr = std::unique_ptr<std::remove_pointer_t<XML_Parser>, ParserDeleter>;

class AdxReader {
public:
    AdxReader(const ReadOptions& options, LogSink& sink) : mapper_(options, sink) {}

    void Read(std::string_view text) {
        text_ = text;
        lines_ = detail::LineCounter(text);
        std::size_t start = 0;
        bool synthetic = false;  // a restart: the text is fed after "<ADX><RECORDS>"
        while (true) {
            const std::size_t stop = ParseFrom(text, start, synthetic);
            if (stop == std::string_view::npos) return;
            const std::size_t next = FindRecordTag(text, stop + 1);
            if (next == std::string_view::npos) return;
            start = next;
            synthetic = true;
        }
    }

private:
    static constexpr std::string_view kRestartPrefix = "<ADX><RECORDS>";

    // Parses text[start..]; npos when done, else where an error stopped it.
    std::size_t ParseFrom(std::string_view text, std::size_t start, bool synthetic) {
        ParserPtr owner(XML_ParserCreate(nullptr));
        if (!owner) {
            mapper_.Problem(Place(), "out of memory for the XML parser: the file is not read");
            return std::string_view::npos;
        }
        parser_ = owner.get();
        XML_SetUserData(parser_, this);
        XML_SetElementHandler(parser_, &AdxReader::OnStart, &AdxReader::OnEnd);
        XML_SetCharacterDataHandler(parser_, &AdxReader::OnText);
        XML_SetStartDoctypeDeclHandler(parser_, &AdxReader::OnDoctype);
        depth_ = 0;
        start_ = start;
        prefix_ = synthetic ? kRestartPrefix.size() : 0;
        inRecords_ = inRecord_ = inHeader_ = false;
        doctype_ = badRoot_ = false;

        bool ok = true;
        if (synthetic) {
            ok = XML_Parse(parser_, kRestartPrefix.data(), static_cast<int>(kRestartPrefix.size()),
                           XML_FALSE) == XML_STATUS_OK;
        }
        // In small pieces: expat copies what it is given, so a restart after
        // an error costs a piece, not the rest of the file.
        const std::string_view rest = text.substr(start);
        constexpr std::size_t kPiece = std::size_t{16} << 10;
        for (std::size_t at = 0; ok; at += kPiece) {
            const std::size_t len = rest.size() - at < kPiece ? rest.size() - at : kPiece;
            const bool last = at + len >= rest.size();
            ok = XML_Parse(parser_, rest.data() + at, static_cast<int>(len),
                           last ? XML_TRUE : XML_FALSE) == XML_STATUS_OK;
            if (last) break;
        }
        if (ok) return std::string_view::npos;

        // Where it stopped, in the whole text.
        const XML_Index index = XML_GetCurrentByteIndex(parser_);
        std::size_t at = start;
        if (index >= 0 && static_cast<std::size_t>(index) >= prefix_)
            at = start + static_cast<std::size_t>(index) - prefix_;
        if (at > text.size()) at = text.size();
        const std::size_t line = lines_.LineAt(at);  // errors come in file order

        std::string where = "line " + std::to_string(line);
        std::string message;
        if (badRoot_) {
            mapper_.Problem(Place(), where + ": the root element is " + Quoted(rootName_) +
                                         ", not ADX: the file is not read");
            return std::string_view::npos;
        }
        if (doctype_)
            message = where + ": a DOCTYPE declaration, which ADX files do not have";
        else
            message = where + ": XML error: " +
                      XML_ErrorString(XML_GetErrorCode(parser_));
        if (inRecord_)
            message += ": record " + std::to_string(recordNo_) + " skipped";
        message += "; reading on at the next <RECORD>";
        mapper_.Problem(Place(), std::move(message));
        return at;
    }

    static AdxReader& Self(void* user) { return *static_cast<AdxReader*>(user); }

    static void OnStart(void* user, const XML_Char* name, const XML_Char** attributes) {
        AdxReader& self = Self(user);
        const std::string_view element(name);
        const int depth = ++self.depth_;
        if (depth == 1) {
            if (!EqualNoCase(element, "ADX")) {
                self.badRoot_ = true;
                self.rootName_ = element;
                XML_StopParser(self.parser_, XML_FALSE);
            }
        } else if (depth == 2) {
            self.inRecords_ = EqualNoCase(element, "RECORDS");
            self.inHeader_ = EqualNoCase(element, "HEADER");
        } else if (depth == 3 && self.inHeader_) {
            self.headerName_ = element;
            self.headerRaw_.clear();
        } else if (depth == 3 && self.inRecords_ && EqualNoCase(element, "RECORD")) {
            self.inRecord_ = true;
            ++self.recordNo_;
            self.recordAt_ = self.Position();
            self.record_.Clear();
        } else if (depth == 4 && self.inRecord_) {
            AdifField field = detail::ClassifyAdifField(element);
            if (EqualNoCase(element, "APP")) field = AppField(attributes);
            self.field_ = field;
            self.record_.any = true;
            if (field != AdifField::Other) self.raw_[static_cast<std::size_t>(field)].clear();
        }
    }

    // <APP PROGRAMID="YOL" FIELDNAME="DXCCPREFIX" TYPE="S">
    static AdifField AppField(const XML_Char** attributes) {
        std::string_view program, field;
        for (const XML_Char** a = attributes; a && a[0] && a[1]; a += 2) {
            if (EqualNoCase(a[0], "PROGRAMID")) program = a[1];
            else if (EqualNoCase(a[0], "FIELDNAME")) field = a[1];
        }
        if (!EqualNoCase(program, "YOL")) return AdifField::Other;
        if (EqualNoCase(field, "DXCCPREFIX")) return AdifField::YolDxccPrefix;
        if (EqualNoCase(field, "MAINPREFIX")) return AdifField::YolMainPrefix;
        return AdifField::Other;
    }

    static void OnEnd(void* user, const XML_Char* /*name*/) {
        AdxReader& self = Self(user);
        const int depth = self.depth_--;
        if (depth == 4 && self.inRecord_ && self.field_ != AdifField::Other) {
            const auto f = static_cast<std::size_t>(self.field_);
            self.value_[f].clear();
            AppendUtf8As1251(self.raw_[f], self.value_[f]);
            self.record_.Set(self.field_, self.value_[f]);
            self.field_ = AdifField::Other;
        } else if (depth == 3 && self.inRecord_) {
            self.inRecord_ = false;
            std::size_t end = self.Position() + static_cast<std::size_t>(XML_GetCurrentByteCount(self.parser_));
            if (end > self.text_.size()) end = self.text_.size();
            const std::size_t at = self.recordAt_ < end ? self.recordAt_ : end;
            self.mapper_.Emit(self.record_, self.recordNo_, self.text_.substr(at, end - at));
        } else if (depth == 3 && self.inHeader_) {
            std::string value, name;
            AppendUtf8As1251(self.headerRaw_, value);
            self.mapper_.Header(UpperAscii(self.headerName_, name), TrimBlanks(value));
        } else if (depth == 2) {
            self.inRecords_ = self.inHeader_ = false;
        }
    }

    static void OnText(void* user, const XML_Char* text, int length) {
        AdxReader& self = Self(user);
        if (length <= 0) return;
        if (self.depth_ == 4 && self.inRecord_ && self.field_ != AdifField::Other)
            self.raw_[static_cast<std::size_t>(self.field_)].append(text, static_cast<std::size_t>(length));
        else if (self.depth_ == 3 && self.inHeader_)
            self.headerRaw_.append(text, static_cast<std::size_t>(length));
    }

    static void OnDoctype(void* user, const XML_Char*, const XML_Char*, const XML_Char*, int) {
        AdxReader& self = Self(user);
        self.doctype_ = true;
        XML_StopParser(self.parser_, XML_FALSE);
    }

    // The place of a problem: the record being read, or the last one read;
    // 1 before the first (places count from 1).
    std::size_t Place() const noexcept { return recordNo_ > 0 ? recordNo_ : 1; }

    // Where the current event starts in the whole text.
    std::size_t Position() const noexcept {
        const XML_Index index = XML_GetCurrentByteIndex(parser_);
        if (index < 0 || static_cast<std::size_t>(index) < prefix_) return start_;
        const std::size_t at = start_ + static_cast<std::size_t>(index) - prefix_;
        return at < text_.size() ? at : text_.size();
    }

    detail::AdifMapper mapper_;
    std::string_view text_;
    detail::LineCounter lines_{{}};
    std::size_t start_ = 0, prefix_ = 0, recordAt_ = 0;
    bool inHeader_ = false;
    std::string headerName_, headerRaw_;
    XML_Parser parser_ = nullptr;
    int depth_ = 0;
    bool inRecords_ = false, inRecord_ = false, doctype_ = false, badRoot_ = false;
    std::string rootName_;
    std::size_t recordNo_ = 0;  // records started so far
    AdifField field_ = AdifField::Other;
    detail::AdifRecord record_;
    std::array<std::string, detail::kAdifFieldCount> raw_, value_;
};

}  // namespace

void ReadAdx(std::string_view text, const ReadOptions& options, LogSink& sink) {
    AdxReader(options, sink).Read(text);
}

}  // namespace yol::contestlog
