// Country data in the standard country-file format (cty.dat): which DXCC
// entity, continent and zones a call sign belongs to.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace yol::contestlog {

// What a call sign resolves to, with the overrides of the entry that
// matched applied. The views point into the CountryFile and stay valid as
// long as it lives.
struct Country {
    std::string_view name;           // "European Russia"
    std::string_view primaryPrefix;  // the file's primary prefix: "UA", "UA2", "UA9", "DL", "K"
    std::string_view hostPrefix;     // the prefix as the host writes it: "UA1" for "UA", else primaryPrefix
    std::string_view continent;      // "EU", "AS", ... after any override of the matched alias
    int cqZone = 0;                  // after any override
    int ituZone = 0;                 // after any override
};

// A line of the file that could not be read; the rest is read all the same.
struct CountryFileProblem {
    std::size_t line = 0;  // 1-based
    std::string message;
};

class CountryFile {
public:
    // Parses the file's text. Malformed entries are skipped and reported in
    // `problems`; throws std::runtime_error only when nothing usable is left.
    static CountryFile Parse(std::string_view text, std::vector<CountryFileProblem>* problems = nullptr);
    // Reads and parses a file of at most 64 MiB; throws std::runtime_error
    // naming the path when it cannot be read, is a directory or is larger.
    static CountryFile Load(const std::string& path,
                            std::vector<CountryFileProblem>* problems = nullptr);
    // Debian's copy (hamradio-files), where the machine has it.
    static constexpr const char* kDefaultPath = "/usr/share/hamradio-files/cty.dat";

    CountryFile(CountryFile&&) noexcept;
    CountryFile& operator=(CountryFile&&) noexcept;
    ~CountryFile();

    // The country of a call sign as logged, in any case. Exact-call entries
    // first (as given, then without designators), then the longest matching
    // prefix. /P, /M, /QRP, /A, /B, /R and the like are ignored; /MM and /AM
    // have no country (null); a call-area digit after '/' replaces the call's
    // own (UA9ABC/1 is European Russia); of a prefix before or after the call
    // (DL/G4ABC, G4ABC/DL) the shorter part wins when it resolves. Null when
    // nothing matches. Allocates nothing; the pointer lives as long as *this.
    const Country* Lookup(std::string_view call) const;
    std::size_t EntityCount() const noexcept;

private:
    struct Data;
    explicit CountryFile(std::unique_ptr<Data> data);
    std::unique_ptr<Data> data_;
};

}  // namespace yol::contestlog
