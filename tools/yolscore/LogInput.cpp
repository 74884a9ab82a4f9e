#include "LogInput.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace yol::score {
namespace {

struct Closer {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, Closer>;

}  // namespace

contestlog::LogFormat ReadLogInput(const std::string& path, const contestlog::ReadOptions& options,
                                   contestlog::LogSink& sink) {
    const File in(std::fopen(path.c_str(), "rb"));
    if (!in) throw std::runtime_error("cannot open " + path);
    char head[4096];
    const std::size_t got = std::fread(head, 1, sizeof head, in.get());
    if (std::ferror(in.get())) throw std::runtime_error("cannot read " + path);
    const contestlog::LogFormat format = contestlog::DetectFormat(std::string_view(head, got), path);
    if (format == contestlog::LogFormat::Unknown)
        throw std::runtime_error(path + " is no log this reads (SQLite, Cabrillo, ADIF .adi or .adx)");
    if (format == contestlog::LogFormat::Sqlite) {
        contestlog::ReadSqlite(path, options, sink);
        return format;
    }
    std::string text(head, got);
    char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0;) text.append(buffer, n);
    if (std::ferror(in.get())) throw std::runtime_error("cannot read all of " + path);
    switch (format) {
        case contestlog::LogFormat::Cabrillo: contestlog::ReadCabrillo(text, options, sink); break;
        case contestlog::LogFormat::Adi: contestlog::ReadAdi(text, options, sink); break;
        case contestlog::LogFormat::Adx: contestlog::ReadAdx(text, options, sink); break;
        default: break;
    }
    return format;
}

std::string CheckDatabaseOptions(const std::string& path, bool dbGiven, bool tableGiven) {
    if (!dbGiven && !tableGiven) return {};
    const File in(std::fopen(path.c_str(), "rb"));
    if (!in) return {};  // said when the log is read
    char head[4096];
    const std::size_t got = std::fread(head, 1, sizeof head, in.get());
    const contestlog::LogFormat format = contestlog::DetectFormat(std::string_view(head, got), path);
    if (format == contestlog::LogFormat::Sqlite || format == contestlog::LogFormat::Unknown) return {};
    const std::string name(contestlog::FormatName(format));
    if (dbGiven)
        return path + " is " + std::string(Article(name)) + " " + name +
               " log, not a SQLite database: give it without --db";
    return "--table applies to SQLite logs; " + path + " is " + std::string(Article(name)) + " " + name + " log";
}

std::string_view PlaceWord(contestlog::LogFormat format) noexcept {
    return format == contestlog::LogFormat::Cabrillo || format == contestlog::LogFormat::Adi
               ? "line"
               : "record";
}

std::string_view Article(std::string_view name) noexcept {
    return !name.empty() && std::strchr("AEIOUaeiou", name[0]) ? "an" : "a";
}

}  // namespace yol::score
