// A log file's bytes and format, from a path, "-" (standard input) or a pipe:
// regular files are mapped (POSIX) or read once into memory, anything else is
// read to its end. ReadLog(path, ...) in LogReader.h is this plus the reader.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "contestlog/LogReader.h"

namespace yol::contestlog {

class LogFile {
public:
    // Throws LogFileError ("cannot open PATH", "cannot read PATH", "PATH is
    // no log this reads (...)").
    static LogFile Open(const std::string& path);

    LogFile();
    ~LogFile();
    LogFile(LogFile&&) noexcept;
    LogFile& operator=(LogFile&&) noexcept;

    const std::string& Path() const noexcept { return path_; }
    LogFormat Format() const noexcept { return format_; }
    // The file's bytes; empty for a SQLite file read through the database
    // by its path.
    std::string_view Text() const noexcept;
    // Gives the bytes back (a later Text() is empty).
    void Release() noexcept;

private:
    struct Bytes;
    std::string path_;
    LogFormat format_ = LogFormat::Unknown;
    std::unique_ptr<Bytes> bytes_;
};

// Runs the reader of the file's format over it; throws LogFileError when a
// SQLite log cannot be opened or read.
void ReadLog(const LogFile& log, const ReadOptions& options, LogSink& sink);

}  // namespace yol::contestlog
