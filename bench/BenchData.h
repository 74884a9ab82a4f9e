// The benchmarks' contacts: realistic YOL logs from the shared generator, as
// the log generator, the host simulator and the tests make them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "contestlog/Contact.h"
#include "contestsim/Generator.h"
#include "host/Plugin.h"

namespace yol::bench {

// A contact record of the operator UA1 in EU.
inline std::unique_ptr<ContactRecord> OperatorRecord() {
    auto r = std::make_unique<ContactRecord>();
    StoreShortText(r->MyDXCCPrefix, "UA1");
    StoreShortText(r->MyContinent, "EU");
    return r;
}

// Records of a generated log (duplicates and all), each as the host passes
// a contact: `count` of them, from `seed`.
inline std::vector<std::unique_ptr<ContactRecord>> GeneratedRecords(std::size_t count,
                                                                    std::uint32_t seed) {
    contestsim::LogGenerator generator(seed);
    std::vector<std::unique_ptr<ContactRecord>> records;
    records.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        records.push_back(OperatorRecord());
        contestlog::StoreContact(*records.back(), generator.Next());
    }
    return records;
}

}  // namespace yol::bench
