// The contest's points rule.
#pragma once

#include <cstdint>

#include "host/Plugin.h"

namespace yol {

// Points of the contact in the record: 0, 1, 2, 3, 5 or 10. Pure.
std::int32_t ContactPoints(const ContactRecord& contact);

}  // namespace yol
