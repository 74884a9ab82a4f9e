#include "contestlog/Text.h"

#include <array>

namespace yol::contestlog {
namespace {

// Windows-1251 bytes 0x80..0xBF as Unicode code points (0 where the page has
// none); 0xC0..0xFF are U+0410..U+044F in order.
constexpr std::array<std::uint16_t, 64> kCp1251High{
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

void AppendUtf8(std::uint32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Calls `emit` with each code point of UTF-16 text; 0xFFFD for what is broken.
template <typename Emit>
void DecodeUtf16(std::string_view bytes, bool bigEndian, Emit&& emit) {
    auto unit = [&](std::size_t at) -> std::uint32_t {
        const auto a = static_cast<unsigned char>(bytes[at]), b = static_cast<unsigned char>(bytes[at + 1]);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const std::uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
            const std::uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                emit(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        emit(u >= 0xD800 && u <= 0xDFFF ? 0xFFFDu : u);
    }
    if (i < bytes.size()) emit(0xFFFDu);
}

}  // namespace

std::string_view UpperAscii(std::string_view text, std::string& buffer) {
    std::size_t i = 0;
    while (i < text.size() && !(text[i] >= 'a' && text[i] <= 'z')) ++i;
    if (i == text.size()) return text;
    buffer.assign(text);
    for (; i < buffer.size(); ++i) buffer[i] = UpperAscii(buffer[i]);
    return buffer;
}

bool EqualNoCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

bool StartsNoCase(std::string_view text, std::string_view prefix) noexcept {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

std::string_view TrimBlanks(std::string_view text) noexcept {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string Quoted(std::string_view text) {
    constexpr std::size_t kMax = 40;
    std::string out = "'";
    for (std::size_t i = 0; i < text.size() && i < kMax; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        out.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
    }
    if (text.size() > kMax) out += "...";
    out.push_back('\'');
    return out;
}

std::string Ordinal(std::uint32_t n, bool tied) {
    const std::uint32_t tens = n % 100, ones = n % 10;
    const char* suffix = (tens >= 11 && tens <= 13) ? "th" : ones == 1 ? "st" : ones == 2 ? "nd" : ones == 3 ? "rd" : "th";
    return std::to_string(n) + suffix + (tied ? " (tie)" : "");
}

std::uint32_t CodePointOf1251(unsigned char byte) noexcept {
    if (byte < 0x80) return byte;
    if (byte >= 0xC0) return 0x0410u + (byte - 0xC0u);
    return kCp1251High[byte - 0x80u];
}

char CodePointTo1251(std::uint32_t cp) noexcept {
    if (cp < 0x80) return static_cast<char>(cp);
    if (cp >= 0x0410 && cp <= 0x044F) return static_cast<char>(0xC0 + (cp - 0x0410));
    for (std::size_t i = 0; i < kCp1251High.size(); ++i)
        if (kCp1251High[i] == cp) return static_cast<char>(0x80 + i);
    return '?';
}

void AppendUtf8As1251(std::string_view utf8, std::string& out) {
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    while (i < n) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        std::size_t extra = b >= 0xF0 && b < 0xF8 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 ? 1 : 0;
        if (b >= 0xF8) extra = 0;
        std::uint32_t cp = extra == 3 ? b & 0x07u : extra == 2 ? b & 0x0Fu : b & 0x1Fu;
        std::size_t k = 1;  // bytes of the sequence that fit
        for (; k <= extra && i + k < n; ++k) {
            const auto c = static_cast<unsigned char>(utf8[i + k]);
            if ((c & 0xC0) != 0x80) break;
            cp = (cp << 6) | (c & 0x3Fu);
        }
        if (extra == 0 || k <= extra) {
            out.push_back('?');  // one '?' for a cut or broken sequence
            i += k;
            continue;
        }
        out.push_back(CodePointTo1251(cp));
        i += extra + 1;
    }
}

void Append1251AsUtf8(std::string_view text, std::string& out) {
    for (char ch : text) {
        const std::uint32_t cp = CodePointOf1251(static_cast<unsigned char>(ch));
        AppendUtf8(cp == 0 && ch != '\0' ? '?' : cp, out);
    }
}

bool IsUtf8(std::string_view text) noexcept {
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        const std::size_t extra = b >= 0xC2 && b < 0xE0 ? 1 : b >= 0xE0 && b < 0xF0 ? 2 : b >= 0xF0 && b < 0xF5 ? 3 : 0;
        if (extra == 0 || n - i <= extra) return false;  // no lead byte, or the sequence is cut
        std::uint32_t cp = b & (0x3Fu >> extra);
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3Fu);
        }
        if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += extra + 1;
    }
    return true;
}

std::string TextAsUtf8(std::string_view text) {
    if (IsUtf8(text)) return std::string(text);
    std::string out;
    out.reserve(text.size() * 2);
    Append1251AsUtf8(text, out);
    return out;
}

void AppendUtf16As1251(std::string_view bytes, bool bigEndian, std::string& out) {
    DecodeUtf16(bytes, bigEndian, [&](std::uint32_t cp) { out.push_back(CodePointTo1251(cp)); });
}

void AppendUtf16AsUtf8(std::string_view bytes, bool bigEndian, std::string& out) {
    DecodeUtf16(bytes, bigEndian, [&](std::uint32_t cp) { AppendUtf8(cp, out); });
}

std::size_t Utf8Length(std::string_view s, std::size_t at) noexcept {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = b(at);
    std::size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) n = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (at + n > s.size()) return 0;
    if (b(at + 1) < lo || b(at + 1) > hi) return 0;
    for (std::size_t i = 2; i < n; ++i)
        if (b(at + i) < 0x80 || b(at + i) > 0xBF) return 0;
    return n;
}

std::string Utf8OrLatin1(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (const std::size_t n = c >= 0x80 ? Utf8Length(text, i) : 0; n > 0) {
            out.append(text.substr(i, n));
            i += n;
        } else if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
        } else {  // a byte that is not UTF-8: U+0080..U+00FF
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
            ++i;
        }
    }
    return out;
}

std::string CsvField(std::string_view text) {
    bool quote = false;
    for (char ch : text)
        if (ch == ',' || ch == '"' || static_cast<unsigned char>(ch) < 0x20) quote = true;
    if (!quote) return std::string(text);
    std::string out = "\"";
    for (char ch : text) {
        if (ch == '"') out += '"';
        out += ch;
    }
    return out + '"';
}

bool NeedsFormulaGuard(std::string_view text) noexcept {
    if (text.empty()) return false;
    const char c = text.front();
    return c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r';
}

std::string SpreadsheetCell(std::string_view text) {
    if (!NeedsFormulaGuard(text)) return CsvField(text);
    return CsvField("'" + std::string(text));
}

}  // namespace yol::contestlog
