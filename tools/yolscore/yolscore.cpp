// Prints the statistics report of a contest log through the scoring core
// alone, as the module would show it after a recalculation (run with --help).
#ifdef _WIN32
#include <windows.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Scorer.h"

namespace {

// Windows has no shared place for country data: the operator keeps cty.dat
// beside the program.
std::string DefaultCountryFile() {
#ifdef _WIN32
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return "cty.dat";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        if (path.size() >= 0x10000) return "cty.dat";
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "cty.dat";
#else
    return yol::contestlog::CountryFile::kDefaultPath;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const int status = yol::score::RunScorer(args, stdout, stderr, DefaultCountryFile());
    // RunScorer flushed and checked the report; closing can still fail.
    if (std::fclose(stdout) != 0) {
        std::fprintf(stderr, "yolscore: cannot write the report: %s\n", std::strerror(errno));
        return yol::score::kUnwritten;
    }
    return status;
}
