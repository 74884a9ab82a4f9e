// One logged contact: the seven texts the host's log table holds (in its
// single-byte code page), and what a log file adds to them: when, on which
// frequency, from which own call, the sent exchange and where in the file it
// stands. One template gives the owning form and the view over a file's bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "host/Plugin.h"

namespace yol::contestlog {

// The time of a contact that has none.
inline constexpr std::int64_t kNoTime = std::numeric_limits<std::int64_t>::min();

template <class Text>
struct BasicContact {
    // The host's seven texts.
    Text call{};        // CallSign
    Text band{};        // DigiBand: "1.8", "3.5", "7", "14", "21", "28"
    Text mode{};        // QSOMode: "CW", "SSB"
    Text report{};      // QSOReportRecived: the received exchange, tokens joined by single spaces
    Text dxcc{};        // DXCCPrefix as the host writes it: "UA1", "UA9", "DL", "K"
    Text mainPrefix{};  // MainPrefix
    Text continent{};   // Continent: "EU", "AS", ...
    // What the files add.
    std::int64_t time = kNoTime;  // UTC, whole minutes since 1970-01-01
    Text frequency{};             // kHz as logged ("14012"), empty where not given
    Text ownCall{};               // the call the operator sent on this contact
    Text sent{};                  // the sent exchange, tokens joined by single spaces ("599 001")
    std::size_t place = 0;        // line (Cabrillo, .adi) or record number (.adx, SQLite rows)
    Text line{};                  // the original line or record as in the file, no line end
};

using Contact = BasicContact<std::string>;           // owning
using ContactView = BasicContact<std::string_view>;  // views, valid only during a sink's call

ContactView View(const Contact& contact) noexcept;
Contact ToContact(const ContactView& contact);

// The tokens of an exchange text, split on blanks (space, tab, CR, LF).
std::vector<std::string_view> ExchangeTokens(std::string_view exchange);

// Minutes since 1970-01-01 00:00 UTC of a date ("2024-05-04" or "20240504")
// and a time ("1207", "12:07", "120730": seconds dropped); kNoTime when either
// is no valid date or time.
std::int64_t UtcMinutes(std::string_view date, std::string_view time) noexcept;
// "YYYY-MM-DD HH:MM" of a time in minutes; empty for kNoTime.
std::string UtcText(std::int64_t minutes);

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
