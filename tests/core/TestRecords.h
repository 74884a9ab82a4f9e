// Building contact records for the tests.
#pragma once

#include <memory>
#include <string_view>

#include "host/Plugin.h"

namespace yol::test {

struct Contact {
    std::string_view call = "DL1ABC";
    std::string_view band = "14";
    std::string_view mode = "CW";
    std::string_view dxcc = "DL";
    std::string_view continent = "EU";
    std::string_view report = "599 MO05";
    std::string_view myDxcc = "UA1";
    std::string_view myContinent = "EU";
};

// A zeroed record on the heap with these fields stored.
std::unique_ptr<ContactRecord> MakeRecord(const Contact& c = {});

// Stores the contact's fields into an existing record.
void Fill(ContactRecord& r, const Contact& c);

}  // namespace yol::test
