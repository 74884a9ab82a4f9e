// libFuzzer entry point: bytes read as an ADIF .adx file. The reader must
// report and skip what it cannot read, never crash, hang or read outside its
// input, and stay linear however many XML errors the bytes hold.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzLogSink.h"
#include "contestlog/LogReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    yol::contestlog::fuzz::TouchingSink sink;
    yol::contestlog::ReadAdx(text, yol::contestlog::ReadOptions{}, sink);
    (void)yol::contestlog::DetectFormat(text, "fuzz.adx");
    return 0;
}
