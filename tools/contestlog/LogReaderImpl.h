// Internals shared by the log readers: the country data filled in from the
// country file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "contestlog/LogReader.h"
#include "contestlog/Text.h"

namespace yol::contestlog::detail {

// Whether a text read as .adi has an ADIF tag at all, and one read as
// Cabrillo starts with START-OF-LOG: or has a QSO: line: else it is no log of
// that kind (ReadLog refuses it as unreadable).
bool HasAdifTag(std::string_view text) noexcept;
bool HasCabrilloLine(std::string_view text) noexcept;

// Fills the country fields `entry` lacks from the country file. False when a
// country file is given, something was missing and the call is not in it.
bool FillCountry(const ReadOptions& options, ContactView& contact);
// The problem reported for a contact FillCountry could not complete.
std::string NoCountryMessage(std::string_view call);

}  // namespace yol::contestlog::detail
