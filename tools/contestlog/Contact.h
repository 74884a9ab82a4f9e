// One logged contact as the host's log table holds it: the seven texts the
// scoring reads, in the host's single-byte code page.
#pragma once

#include <string>
#include <string_view>

#include "host/Plugin.h"

namespace yol::contestlog {

struct Contact {
    std::string call;        // CallSign
    std::string band;        // DigiBand: "1.8", "3.5", "7", "14", "21", "28"
    std::string mode;        // QSOMode: "CW", "SSB"
    std::string report;      // QSOReportRecived: "599 MO05"
    std::string dxcc;        // DXCCPrefix as the host writes it: "UA1", "UA9", "DL", "K"
    std::string mainPrefix;  // MainPrefix
    std::string continent;   // Continent: "EU", "AS", ...
};

// The same texts as views, e.g. over a file's bytes.
struct ContactView {
    std::string_view call, band, mode, report, dxcc, mainPrefix, continent;
};

inline ContactView View(const Contact& c) noexcept {
    return {c.call, c.band, c.mode, c.report, c.dxcc, c.mainPrefix, c.continent};
}

// Stores the seven texts into the record's fields as they are (each cut to
// 255 bytes); every other field keeps its content.
void StoreContact(ContactRecord& record, const ContactView& contact) noexcept;
inline void StoreContact(ContactRecord& record, const Contact& contact) noexcept {
    StoreContact(record, View(contact));
}

// As the recalculation reads a log row: the texts stored, then the continent
// upper-cased (a to z only), so that a log written with "eu" means EU.
void StoreLogRow(ContactRecord& record, const ContactView& contact) noexcept;

}  // namespace yol::contestlog
