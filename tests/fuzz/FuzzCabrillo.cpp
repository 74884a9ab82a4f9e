// libFuzzer entry point: bytes read as a Cabrillo log. The reader must
// report and skip what it cannot read, never crash, hang or read outside
// its input.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzLogSink.h"
#include "contestlog/LogReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    yol::contestlog::fuzz::TouchingSink sink;
    yol::contestlog::ReadCabrillo(text, yol::contestlog::ReadOptions{}, sink);
    // Again split by the token counts of exchange classes (none to four tokens).
    yol::contestlog::ReadOptions byCounts;
    byCounts.exchangeCounts = {0, 1, 2, 4};
    yol::contestlog::fuzz::TouchingSink again;
    yol::contestlog::ReadCabrillo(text, byCounts, again);
    (void)yol::contestlog::DetectFormat(text, "fuzz.log");
    return 0;
}
