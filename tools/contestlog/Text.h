// The small text helpers of the contest-log model, once: ASCII case, blanks,
// name characters, an excerpt quoted for a message, and the host's code page
// (Windows-1251) to and from UTF-8 and UTF-16 through one table.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace yol::contestlog {

// Space, tab, CR, LF.
constexpr bool IsBlank(char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
// Letters, digits and '_' (ADIF field names, XML-ish tags); a table, as the
// .adi reader asks for every byte of every tag.
inline constexpr std::array<bool, 256> kNameChars = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    return table;
}();
constexpr bool IsNameChar(char c) noexcept { return kNameChars[static_cast<unsigned char>(c)]; }
constexpr char UpperAscii(char c) noexcept { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
constexpr char LowerAscii(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// `text` with ASCII letters upper-cased: the text itself when it has none in
// lower case, else a copy in `buffer`.
std::string_view UpperAscii(std::string_view text, std::string& buffer);
// Case-insensitive ASCII comparison.
bool EqualNoCase(std::string_view a, std::string_view b) noexcept;
bool StartsNoCase(std::string_view text, std::string_view prefix) noexcept;
// Without leading and trailing blanks.
std::string_view TrimBlanks(std::string_view text) noexcept;

// A value for a message, in single quotes: at most 40 bytes, control and
// non-ASCII bytes as '?', "..." after a longer one. Never splits a message
// over lines, whatever the value holds.
std::string Quoted(std::string_view text);

// A place as people say it: "1st", "2nd", "3rd", "11th", "122nd"; a place
// shared with another log "2nd (tie)" (`tied`).
std::string Ordinal(std::uint32_t n, bool tied = false);

// Windows-1251: the Unicode code point of a byte (0 for 0x98, which has
// none), and the byte of a code point ('?' where the page has none).
std::uint32_t CodePointOf1251(unsigned char byte) noexcept;
char CodePointTo1251(std::uint32_t codePoint) noexcept;
// Appends UTF-8 text in Windows-1251: Cyrillic and the page's other
// characters as their byte, anything else (and malformed UTF-8) as '?'.
void AppendUtf8As1251(std::string_view utf8, std::string& out);
// Appends Windows-1251 text as UTF-8 (0x98, which the page lacks, as '?').
void Append1251AsUtf8(std::string_view text, std::string& out);
// Whether the text is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing beyond U+10FFFF). Pure ASCII is.
bool IsUtf8(std::string_view text) noexcept;
// A log's text for people, as UTF-8: kept where it is UTF-8 already (a log
// written so), else read as Windows-1251 (the host's code page, in which the
// readers hand over .adx and UTF-16 logs and most Cabrillo logs come).
std::string TextAsUtf8(std::string_view text);
// Appends UTF-16 (no BOM; little- or big-endian) as Windows-1251; unpaired
// surrogates and a trailing odd byte as '?'.
void AppendUtf16As1251(std::string_view bytes, bool bigEndian, std::string& out);
// Appends UTF-16 (no BOM) as UTF-8, for reading a UTF-16 XML file's prolog.
void AppendUtf16AsUtf8(std::string_view bytes, bool bigEndian, std::string& out);

// Length of the valid UTF-8 sequence at `at` (no overlongs, no surrogates,
// at most U+10FFFF), or 0.
std::size_t Utf8Length(std::string_view text, std::size_t at) noexcept;
// The text as UTF-8: valid UTF-8 kept, every other byte read as the character
// of the same number (so "\xC0" is U+00C0); for JSON, whose strings are UTF-8.
std::string Utf8OrLatin1(std::string_view text);
// A CSV field (RFC 4180): quoted when it holds a comma, quote, CR or LF or
// any other control byte, with inner quotes doubled.
std::string CsvField(std::string_view text);
// A text cell of a CSV meant for spreadsheets: CsvField, and a cell that
// starts with = + - @ (or a tab or CR) gets a leading ' so that no
// spreadsheet runs it as a formula.
std::string SpreadsheetCell(std::string_view text);
bool NeedsFormulaGuard(std::string_view text) noexcept;

}  // namespace yol::contestlog
