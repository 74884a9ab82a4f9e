#include "TestRecords.h"

namespace yol::test {

void Fill(ContactRecord& r, const Contact& c) {
    StoreShortText(r.CallSign, c.call);
    StoreShortText(r.DigiBand, c.band);
    StoreShortText(r.QSOMode, c.mode);
    StoreShortText(r.DXCCPrefix, c.dxcc);
    StoreShortText(r.Continent, c.continent);
    StoreShortText(r.QSOReportRecived, c.report);
    StoreShortText(r.MyDXCCPrefix, c.myDxcc);
    StoreShortText(r.MyContinent, c.myContinent);
}

std::unique_ptr<ContactRecord> MakeRecord(const Contact& c) {
    auto r = std::make_unique<ContactRecord>();
    Fill(*r, c);
    return r;
}

}  // namespace yol::test
