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

enum CheckExit : int {
    kCheckClean = 0,       // every log and contact read and checked
    kCheckRejected = 1,    // some logs, lines or contacts rejected; the rest checked
    kCheckUsage = 2,       // unknown option, missing value
    kCheckUnreadable = 3,  // the rules file or every log unreadable, or the output not writable
};

// Arguments without the program name; messages go to `err`, the short
// account of what was written to `out`.
int RunCheck(const std::vector<std::string>& args, std::FILE* out, std::FILE* err,
             const std::string& countryFile = "/usr/share/hamradio-files/cty.dat");

// One log file read into the engine's shape. Problems the reader reports,
// and contacts whose time does not parse, come as "file:line: message" in
// `messages`; `rejected` counts those that lost something. Throws
// contestlog::LogFileError when the file is no log.
struct LoadedLog {
    SubmittedLog log;
    std::vector<std::string> messages;
    std::size_t rejected = 0;
};
LoadedLog LoadLog(const std::string& path, const contestlog::ReadOptions& options);

}  // namespace yol::check
