// libFuzzer entry point: country-file text as bytes. Parse must report and
// skip whatever it cannot read, and Lookup must stay within its input.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "contestlog/CountryFile.h"

namespace {

using yol::contestlog::Country;
using yol::contestlog::CountryFile;
using yol::contestlog::CountryFileProblem;

void Check(const Country* c) {
    if (c == nullptr) return;
    // Touch every field so that a dangling view shows up under ASan.
    volatile std::size_t sink = c->name.size() + c->primaryPrefix.size() + c->hostPrefix.size() +
                                c->continent.size() +
                                static_cast<std::size_t>(c->cqZone + c->ituZone);
    if (!c->name.empty()) sink = sink + static_cast<unsigned char>(c->name.front());
    if (!c->hostPrefix.empty()) sink = sink + static_cast<unsigned char>(c->hostPrefix.back());
    if (c->continent.size() != 2) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<CountryFileProblem> problems;
    try {
        CountryFile parsed = CountryFile::Parse(text, &problems);
        const CountryFile cty = std::move(parsed);  // views must survive a move
        for (std::string_view call : {"DL1ABC", "UA9ABC/1", "G4ABC/DL", "W1AW/P", "R2F/UA0ABC/P",
                                      "KH6/W1ABC/QRP", "X/Y/Z/1", "DL1ABC/MM", "/", "A"}) {
            Check(cty.Lookup(call));
        }
        // Calls made of the input itself: its start, and every short window
        // after a separator, as is and with portable forms around it.
        Check(cty.Lookup(text.substr(0, 20)));
        std::size_t windows = 0;
        for (std::size_t i = 0; i < size && windows < 64; ++i) {
            if (i != 0 && text[i - 1] != ',' && text[i - 1] != '=' && text[i - 1] != ' ') continue;
            ++windows;
            const std::string_view w = text.substr(i, 12);
            Check(cty.Lookup(w));
            char buf[40];
            std::size_t n = 0;
            for (char c : std::string_view("DL/")) buf[n++] = c;
            for (char c : w) buf[n++] = c;
            for (char c : std::string_view("/3/P")) buf[n++] = c;
            Check(cty.Lookup(std::string_view(buf, n)));
            Check(cty.Lookup(std::string_view(buf + 3, n - 3)));
        }
    } catch (const std::runtime_error&) {
        // Nothing usable in the input: expected for most of them.
    }
    for (const CountryFileProblem& p : problems) {
        if (p.line == 0 || p.message.empty()) __builtin_trap();
    }
    return 0;
}
