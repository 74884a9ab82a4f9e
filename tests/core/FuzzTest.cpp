// Random record bytes thrown at evaluate and record: no crash, and the tallies
// always account for every recorded contact.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include "host/Plugin.h"
#include "scoring/Report.h"
#include "scoring/ScoreBook.h"

namespace yol {
namespace {

std::int64_t TalliedQSOs(const TScoreBook& book) {
    std::int64_t sum = 0;
    for (const auto& t : book.Tallies()) sum += t.QSOs;
    return sum;
}

TEST(FuzzTest, RandomRecordsKeepTheInvariant) {
    std::mt19937 rng(20261208);
    auto byte = [&] { return static_cast<unsigned char>(rng() & 0xFF); };
    TScoreBook book;
    ContactRecord record;
    std::size_t recorded = 0;
    std::vector<unsigned char> raw;
    for (int round = 0; round < 20000; ++round) {
        // Any number of random bytes laid over the record, the rest left from before.
        raw.resize(rng() % (sizeof record + 1));
        for (auto& b : raw) b = byte();
        std::memcpy(&record, raw.data(), raw.size());
        if (round % 3 == 0) {
            // Short fields from a tiny alphabet, so duplicates and shared keys happen.
            ShortText* fields[] = {&record.CallSign, &record.DigiBand, &record.QSOMode,
                                   &record.DXCCPrefix, &record.QSOReportRecived,
                                   &record.MyDXCCPrefix};
            for (ShortText* f : fields) {
                f->bytes[0] = static_cast<unsigned char>(rng() % 5);
                for (int i = 1; i <= f->bytes[0]; ++i)
                    f->bytes[i] = static_cast<unsigned char>("Aa1 /P:U\xE0\xC0"[rng() % 10]);
            }
        }
        const bool recordMode = rng() % 2 == 0;
        const bool dup = book.IsDuplicate(record);
        const int result = book.Evaluate(record, recordMode);
        ASSERT_TRUE(result == -1 || result == 0 || result == 1 || result == 2 || result == 3 ||
                    result == 5 || result == 10);
        ASSERT_EQ(result == -1, dup);
        if (recordMode && !dup) {
            ++recorded;
            ASSERT_TRUE(book.IsDuplicate(record));
        }
        ASSERT_EQ(book.ContactCount(), recorded);
        ASSERT_EQ(TalliedQSOs(book), static_cast<std::int64_t>(recorded));
    }
    EXPECT_FALSE(BuildReport(book.Tallies()).empty());
}

}  // namespace
}  // namespace yol
