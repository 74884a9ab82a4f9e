// Scoring a whole contest log outside the host, as the module's statistics
// window scores it: yolscore's main() only calls RunScorer. The contacts are
// kept and scored by the model's contestlog/ContactStore.h; the outputs are in Outputs.h.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "contestlog/CountryFile.h"

namespace yol::score {

// The whole program: arguments without the program name; the report goes to
// `out`, messages to `err`. Returns the exit status. `countryFile` is the
// country file used when --cty names none.
int RunScorer(const std::vector<std::string>& args, std::FILE* out, std::FILE* err,
              const std::string& countryFile = contestlog::CountryFile::kDefaultPath);

extern const char* const kVersion;  // "yolscore 1.0.0"

enum ExitStatus : int {
    kClean = 0,       // every contact read and scored (notes on some may have been printed)
    kRejected = 1,    // some lines or records were rejected or only partly read; the rest scored
    kUsageError = 2,  // unknown option, missing value, options that do not go together, or
                      // the operator's prefix and continent needed and not found
    kUnreadable = 3,  // the log (or the country file it needs) could not be read: nothing scored
    kUnwritten = 4,   // the report could not be written whole (full disk, closed pipe)
};

}  // namespace yol::score
