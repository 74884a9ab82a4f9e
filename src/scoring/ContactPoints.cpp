#include "scoring/ContactPoints.h"

#include <string>

#include "scoring/Text.h"

namespace yol {

std::int32_t ContactPoints(const ContactRecord& c) {
    const bool workedHome = IsHomePrefix(NormPrefix(ReadShortText(c.DXCCPrefix)));
    if (!IsHomePrefix(NormPrefix(ReadShortText(c.MyDXCCPrefix))))
        return workedHome ? 10 : 0;  // foreign operator: only home stations count

    if (ReadShortText(c.CallSign).find("/P") != std::string_view::npos) return 10;
    if (NormPrefix(ReadShortText(c.DXCCPrefix)) == NormPrefix(ReadShortText(c.MyDXCCPrefix)))
        return 1;

    const bool sameContinent =
        UpperAscii(ReadShortText(c.Continent)) == UpperAscii(ReadShortText(c.MyContinent));
    if (sameContinent) return workedHome ? 0 : 3;
    return workedHome ? 2 : 5;
}

}  // namespace yol
