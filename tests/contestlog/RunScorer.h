// The scorer's command line run in the test's own process, with its output
// and messages caught.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "Scorer.h"

namespace yol::score::test {

struct Ran {
    int status = -1;
    std::string out, err;
};

inline std::string Drain(std::FILE* f) {
    std::string text;
    std::rewind(f);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
    std::fclose(f);
    return text;
}

inline Ran RunYolscore(const std::vector<std::string>& args,
                       const std::string& countryFile = contestlog::CountryFile::kDefaultPath) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Ran r;
    r.status = RunScorer(args, out, err, countryFile);
    r.out = Drain(out);
    r.err = Drain(err);
    return r;
}

}  // namespace yol::score::test
