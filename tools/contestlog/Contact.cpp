#include "contestlog/Contact.h"

namespace yol::contestlog {

void StoreContact(ContactRecord& r, const ContactView& c) noexcept {
    StoreShortText(r.CallSign, c.call);
    StoreShortText(r.DigiBand, c.band);
    StoreShortText(r.QSOMode, c.mode);
    StoreShortText(r.QSOReportRecived, c.report);
    StoreShortText(r.DXCCPrefix, c.dxcc);
    StoreShortText(r.MainPrefix, c.mainPrefix);
    StoreShortText(r.Continent, c.continent);
}

void StoreLogRow(ContactRecord& r, const ContactView& c) noexcept {
    StoreContact(r, c);
    for (unsigned i = 1; i <= r.Continent.bytes[0]; ++i) {
        unsigned char& ch = r.Continent.bytes[i];
        if (ch >= 'a' && ch <= 'z') ch = static_cast<unsigned char>(ch - 'a' + 'A');
    }
}

}  // namespace yol::contestlog
