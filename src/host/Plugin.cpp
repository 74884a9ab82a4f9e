#include "host/Plugin.h"

#include <algorithm>
#include <cstring>

namespace yol {

std::string_view ReadShortText(const ShortText& field) noexcept {
    return {reinterpret_cast<const char*>(field.bytes + 1), field.bytes[0]};
}

void StoreShortText(ShortText& field, std::string_view text) noexcept {
    const std::size_t n = std::min<std::size_t>(text.size(), 255);
    // The source may overlap the field (a text read from it and stored back).
    if (n != 0) std::memmove(field.bytes + 1, text.data(), n);
    field.bytes[0] = static_cast<unsigned char>(n);
}

void FillModuleInfo(ModuleInfoRecord& info) noexcept {
    StoreShortText(info.DisplayName, kDisplayName);
    StoreShortText(info.Identifier, kIdentifier);
    const std::int32_t one = 1;
    std::memcpy(&info.InfoValue1, &one, sizeof one);
    std::memcpy(&info.InfoValue2, &one, sizeof one);
}

void StoreEmptyGrab(GrabBuffer& buffer) noexcept { buffer.bytes[0] = 0; }

}  // namespace yol
