#include "scoring/ContactPoints.h"

#include "scoring/Text.h"

namespace yol {

std::int32_t ContactPoints(const ContactRecord& c) {
    TextBuffer worked, mine;
    const std::string_view workedPrefix = NormPrefix(ReadShortText(c.DXCCPrefix), worked);
    const std::string_view myPrefix = NormPrefix(ReadShortText(c.MyDXCCPrefix), mine);
    const bool workedHome = IsHomePrefix(workedPrefix);
    if (!IsHomePrefix(myPrefix)) return workedHome ? 10 : 0;  // foreign operator: only home stations count

    if (ReadShortText(c.CallSign).find("/P") != std::string_view::npos) return 10;
    if (workedPrefix == myPrefix) return 1;
    if (EqualUpperAscii(ReadShortText(c.Continent), ReadShortText(c.MyContinent)))
        return workedHome ? 0 : 3;
    return workedHome ? 2 : 5;
}

}  // namespace yol
