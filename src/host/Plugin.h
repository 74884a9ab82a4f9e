// Records exchanged with the host logging program.
//
// The layouts are byte-exact: the host hands us these structures by pointer.
// The shipped module runs in the host's 32-bit process, where ConnectionRef is
// 4 bytes wide and the contact record is 5,916 bytes. A 64-bit build carries an
// 8-byte ConnectionRef and every later offset moves by 4 (5,920 bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace yol {

// A length byte (0..255) followed by that many 8-bit characters in the host's
// single-byte code page. Bytes after the text carry no meaning.
struct ShortText {
    unsigned char bytes[256];
};

// Text held by a ShortText; never longer than 255 characters.
std::string_view ReadShortText(const ShortText& field) noexcept;

// Stores a text, cut to its first 255 characters. Only the length byte and the
// characters are written; the rest of the field is left as it was.
void StoreShortText(ShortText& field, std::string_view text) noexcept;

#pragma pack(push, 1)

struct ContactRecord {
    void* ConnectionRef;            // the host's open connection to its log database
    unsigned char hostArea1[8];
    ShortText TableName;
    ShortText CallSign;
    unsigned char hostArea2[16];
    ShortText DigiBand;
    ShortText QSOMode;
    ShortText Continent;
    ShortText QSOReportRecived;     // sic: the host's spelling
    unsigned char hostArea3[768];
    ShortText MainPrefix;
    ShortText DXCCPrefix;
    unsigned char hostArea4[1024];
    ShortText TitleText;
    ShortText MyContinent;
    unsigned char hostArea5[256];
    ShortText MyDXCCPrefix;
    unsigned char hostArea6[1024];
};

struct ModuleInfoRecord {
    ShortText DisplayName;
    std::int32_t InfoValue1;
    ShortText Identifier;
    std::int32_t InfoValue2;
};

#pragma pack(pop)

using GrabBuffer = ShortText;

// Every offset after ConnectionRef moves with the pointer width.
inline constexpr std::size_t kRefShift = sizeof(void*) - 4;

static_assert(sizeof(ShortText) == 256);
static_assert(sizeof(ContactRecord) == 5916 + kRefShift);
static_assert(offsetof(ContactRecord, ConnectionRef) == 0);
static_assert(offsetof(ContactRecord, TableName) == 12 + kRefShift);
static_assert(offsetof(ContactRecord, CallSign) == 268 + kRefShift);
static_assert(offsetof(ContactRecord, DigiBand) == 540 + kRefShift);
static_assert(offsetof(ContactRecord, QSOMode) == 796 + kRefShift);
static_assert(offsetof(ContactRecord, Continent) == 1052 + kRefShift);
static_assert(offsetof(ContactRecord, QSOReportRecived) == 1308 + kRefShift);
static_assert(offsetof(ContactRecord, MainPrefix) == 2332 + kRefShift);
static_assert(offsetof(ContactRecord, DXCCPrefix) == 2588 + kRefShift);
static_assert(offsetof(ContactRecord, TitleText) == 3868 + kRefShift);
static_assert(offsetof(ContactRecord, MyContinent) == 4124 + kRefShift);
static_assert(offsetof(ContactRecord, MyDXCCPrefix) == 4636 + kRefShift);
static_assert(sizeof(void*) != 4 || sizeof(ContactRecord) == 5916, "shipped 32-bit layout");
static_assert(sizeof(void*) != 8 || sizeof(ContactRecord) == 5920, "64-bit layout");

static_assert(sizeof(ModuleInfoRecord) == 520);
static_assert(offsetof(ModuleInfoRecord, DisplayName) == 0);
static_assert(offsetof(ModuleInfoRecord, InfoValue1) == 256);
static_assert(offsetof(ModuleInfoRecord, Identifier) == 260);
static_assert(offsetof(ModuleInfoRecord, InfoValue2) == 516);

inline constexpr std::string_view kDisplayName = "YOL Contest";
inline constexpr std::string_view kIdentifier = "qx0plg_contest";

// What _GetInfo writes: the two texts (length byte and characters only) and
// the two integers; every other byte keeps the host's content.
void FillModuleInfo(ModuleInfoRecord& info) noexcept;

// What _GrabNumber writes: the empty text, that is the length byte alone.
void StoreEmptyGrab(GrabBuffer& buffer) noexcept;

}  // namespace yol
