// yolcheck's command line: reads the logs through the contest-log model,
// runs the cross-check engine and writes its texts into the output folder.
// main() only calls RunCheck.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "CheckTypes.h"
#include "contestlog/LogReader.h"

namespace yol::check {

// The exit statuses, the same words in --help and docs/crosscheck.md.
enum CheckExit : int {
    kCheckClean = 0,       // every log read and every contact judged (verdicts are results, however many)
    kCheckRejected = 1,    // input not used: a file that is no log, a line not read, a second log for a
                           // call, a call too long; or a verdict of a kind given to --strict
    kCheckUsage = 2,       // unknown option, missing value, an output folder refused
    kCheckUnreadable = 3,  // the rules, classes or country file, every log unreadable; the outputs not writable
};

// Arguments without the program name; messages go to `err`, the short
// account of what was written to `out`.
int RunCheck(const std::vector<std::string>& args, std::FILE* out, std::FILE* err,
             const std::string& countryFile = "/usr/share/hamradio-files/cty.dat");

// One log file read into the engine's shape. The lines the reader did not
// read are in log.notRead (with the reader's reason); `untimed` holds the
// lines of contacts whose time does not parse (read, then judged PERIOD).
// Throws contestlog::LogFileError when the file is no log.
struct LoadedLog {
    SubmittedLog log;
    std::vector<std::uint32_t> untimed;
};
LoadedLog LoadLog(const std::string& path, const contestlog::ReadOptions& options);

}  // namespace yol::check
