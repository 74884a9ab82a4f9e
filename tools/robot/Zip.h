// A zip archive written as it goes (stored, no compression: logs are
// small and the archive only carries them), for the committee's download.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace yol::robot {

class ZipWriter {
public:
    // Each piece of the archive goes to `sink`; false from it stops the writing.
    explicit ZipWriter(std::function<bool(std::string_view)> sink) : sink_(std::move(sink)) {}
    bool Add(std::string_view name, std::string_view bytes);
    bool Finish();

private:
    std::function<bool(std::string_view)> sink_;
    std::string central_;
    std::uint64_t offset_ = 0;
    std::uint16_t count_ = 0;
};

}  // namespace yol::robot
