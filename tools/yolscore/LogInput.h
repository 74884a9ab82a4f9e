// Reading the log named on the command line.
#pragma once

#include <string>
#include <string_view>

#include "contestlog/LogReader.h"

namespace yol::score {

// Reads the log at `path` into the sink; returns its format. Throws
// std::runtime_error (naming the path) when it cannot be read or is no log.
contestlog::LogFormat ReadLogInput(const std::string& path, const contestlog::ReadOptions& options,
                                   contestlog::LogSink& sink);

// --db and --table name a SQLite log: for a file that is another log, the
// usage error to report (found before anything is read), else empty.
std::string CheckDatabaseOptions(const std::string& path, bool dbGiven, bool tableGiven);

// "line" where a place is a line number (Cabrillo, .adi), else "record".
std::string_view PlaceWord(contestlog::LogFormat format) noexcept;

// "a" or "an", as the name begins.
std::string_view Article(std::string_view name) noexcept;

}  // namespace yol::score
