#include "contestlog/Contact.h"

#include "logdb/Recalc.h"

namespace yol::contestlog {
namespace {

void StoreAllButContinent(ContactRecord& r, const ContactView& c) noexcept {
    StoreShortText(r.CallSign, c.call);
    StoreShortText(r.DigiBand, c.band);
    StoreShortText(r.QSOMode, c.mode);
    StoreShortText(r.QSOReportRecived, c.report);
    StoreShortText(r.DXCCPrefix, c.dxcc);
    StoreShortText(r.MainPrefix, c.mainPrefix);
}

}  // namespace

void StoreContact(ContactRecord& r, const ContactView& c) noexcept {
    StoreAllButContinent(r, c);
    StoreShortText(r.Continent, c.continent);
}

void StoreLogRow(ContactRecord& r, const ContactView& c) noexcept {
    StoreAllButContinent(r, c);
    StoreContinent(r, c.continent);  // as the recalculation stores it
}

}  // namespace yol::contestlog
