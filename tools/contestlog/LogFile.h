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
    // The same over bytes already in memory (copied), `name` standing for
    // the path in messages; a SQLite log is read from the copy.
    static LogFile FromBytes(std::string_view bytes, const std::string& name);

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
    // Detects the format of the bytes (a regular file's SQLite log is read
    // again by its path).
    static LogFile FromBytesOf(LogFile log, std::unique_ptr<Bytes> bytes, bool regular);
    std::string path_;
    LogFormat format_ = LogFormat::Unknown;
    std::unique_ptr<Bytes> bytes_;
};

// Runs the reader of the file's format over it; throws LogFileError when a
// SQLite log cannot be opened or read.
void ReadLog(const LogFile& log, const ReadOptions& options, LogSink& sink);

}  // namespace yol::contestlog
