#include "Zip.h"

#include <zlib.h>

namespace yol::robot {
namespace {

void Put16(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

constexpr std::uint32_t kDosDate = (0u << 9) | (1u << 5) | 1u;  // 1980-01-01: the bytes alone decide

}  // namespace

bool ZipWriter::Add(std::string_view name, std::string_view bytes) {
    const auto crc = static_cast<std::uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
    const auto size = static_cast<std::uint32_t>(bytes.size());
    auto common = [&](std::string& out) {
        Put16(out, 20);  // version needed
        Put16(out, 0);   // flags
        Put16(out, 0);   // stored
        Put16(out, 0);   // time
        Put16(out, kDosDate);
        Put32(out, crc);
        Put32(out, size);
        Put32(out, size);
        Put16(out, static_cast<std::uint32_t>(name.size()));
        Put16(out, 0);  // extra
    };
    std::string local;
    Put32(local, 0x04034b50);
    common(local);
    local += name;
    Put32(central_, 0x02014b50);
    Put16(central_, 20);  // made by
    common(central_);
    Put16(central_, 0);  // comment
    Put16(central_, 0);  // disk
    Put16(central_, 0);  // internal attributes
    Put32(central_, 0);  // external attributes
    Put32(central_, static_cast<std::uint32_t>(offset_));
    central_ += name;
    offset_ += local.size() + bytes.size();
    ++count_;
    return sink_(local) && sink_(bytes);
}

bool ZipWriter::Finish() {
    std::string end;
    Put32(end, 0x06054b50);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, count_);
    Put16(end, count_);
    Put32(end, static_cast<std::uint32_t>(central_.size()));
    Put32(end, static_cast<std::uint32_t>(offset_));
    Put16(end, 0);
    return sink_(central_) && sink_(end);
}

}  // namespace yol::robot
