// libFuzzer entry point: bytes read as a SQLite log, in file order and in
// call-sign order. A damaged database is refused with a LogFileError; any
// other exception, a crash or a read outside the input is a finding.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzLogSink.h"
#include "contestlog/LogReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (bool callSignOrder : {false, true}) {
        yol::contestlog::fuzz::TouchingSink sink(false);
        yol::contestlog::ReadOptions options;
        options.callSignOrder = callSignOrder;
        try {
            yol::contestlog::ReadSqliteBytes(bytes, "fuzz.sqlite", options, sink);
        } catch (const yol::contestlog::LogFileError&) {
            // refused: damaged, no table, no column
        }
    }
    return 0;
}
