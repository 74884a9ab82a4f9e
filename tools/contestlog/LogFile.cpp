#include "contestlog/LogFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace yol::contestlog {

// Either a mapping of a regular file or a buffer read to the end.
struct LogFile::Bytes {
    std::unique_ptr<char[]> owned;
    const char* data = nullptr;
    std::size_t size = 0;
    bool mapped = false;

    Bytes() = default;
    Bytes(const Bytes&) = delete;
    Bytes& operator=(const Bytes&) = delete;
    ~Bytes() {
#ifndef _WIN32
        if (mapped) munmap(const_cast<char*>(data), size);
#endif
    }
};

namespace {

// Grows a buffer while reading a stream whose size is not known.
class Growing {
public:
    char* Room(std::size_t want) {
        if (size_ + want > capacity_) {
            std::size_t capacity = capacity_ ? capacity_ * 2 : 65536;
            while (capacity < size_ + want) capacity *= 2;
            std::unique_ptr<char[]> bigger(new char[capacity]);
            if (size_) std::memcpy(bigger.get(), buffer_.get(), size_);
            buffer_ = std::move(bigger);
            capacity_ = capacity;
        }
        return buffer_.get() + size_;
    }
    void Grew(std::size_t n) noexcept { size_ += n; }
    std::size_t Size() const noexcept { return size_; }
    std::unique_ptr<char[]> Take() noexcept { return std::move(buffer_); }

private:
    std::unique_ptr<char[]> buffer_;
    std::size_t size_ = 0, capacity_ = 0;
};

[[noreturn]] void CannotRead(const std::string& path) { throw LogFileError("cannot read " + path); }

#ifndef _WIN32
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd > 2) close(fd);
    }
};
#endif

}  // namespace

LogFile::LogFile() = default;
LogFile::~LogFile() = default;
LogFile::LogFile(LogFile&&) noexcept = default;
LogFile& LogFile::operator=(LogFile&&) noexcept = default;

std::string_view LogFile::Text() const noexcept {
    return bytes_ ? std::string_view(bytes_->data, bytes_->size) : std::string_view();
}

void LogFile::Release() noexcept { bytes_.reset(); }

LogFile LogFile::Open(const std::string& path) {
    LogFile log;
    log.path_ = path;
    auto bytes = std::make_unique<Bytes>();
    bool regular = false;
#ifndef _WIN32
    Fd in;
    if (path == "-") {
        in.fd = 0;
    } else {
        in.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (in.fd < 0) throw LogFileError("cannot open " + path);
    }
    struct stat info {};
    if (fstat(in.fd, &info) != 0) CannotRead(path);
    if (S_ISDIR(info.st_mode)) CannotRead(path);
    regular = S_ISREG(info.st_mode);
    if (regular && info.st_size > 0) {
        const auto size = static_cast<std::size_t>(info.st_size);
        void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, in.fd, 0);
        if (map == MAP_FAILED) CannotRead(path);
#ifdef MADV_SEQUENTIAL
        madvise(map, size, MADV_SEQUENTIAL);
#endif
        bytes->data = static_cast<const char*>(map);
        bytes->size = size;
        bytes->mapped = true;
    } else if (!regular) {
        Growing buffer;
        while (true) {
            char* room = buffer.Room(65536);
            const ssize_t got = read(in.fd, room, 65536);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) CannotRead(path);
            if (got == 0) break;
            buffer.Grew(static_cast<std::size_t>(got));
        }
        bytes->size = buffer.Size();
        bytes->owned = buffer.Take();
        bytes->data = bytes->owned.get();
    }
#else
    struct Closer {
        void operator()(std::FILE* f) const noexcept {
            if (f != stdin) std::fclose(f);
        }
    };
    std::unique_ptr<std::FILE, Closer> in(path == "-" ? stdin : std::fopen(path.c_str(), "rb"));
    if (!in) throw LogFileError("cannot open " + path);
    // Read to the end; no seek to size a buffer, so that pipes read too.
    Growing buffer;
    while (true) {
        char* room = buffer.Room(1 << 20);
        const std::size_t got = std::fread(room, 1, 1 << 20, in.get());
        buffer.Grew(got);
        if (got < (1 << 20)) break;
    }
    if (std::ferror(in.get())) CannotRead(path);
    bytes->size = buffer.Size();
    bytes->owned = buffer.Take();
    bytes->data = bytes->owned.get();
    regular = path != "-";
#endif
    const std::string_view text(bytes->data, bytes->size);
    log.format_ = DetectFormat(text.substr(0, 4096), path);
    if (log.format_ == LogFormat::Unknown)
        throw LogFileError(path + " is no log this reads (SQLite, Cabrillo, ADIF .adi or .adx)");
    // A SQLite file is read through the database by its path.
    if (log.format_ != LogFormat::Sqlite || !regular) log.bytes_ = std::move(bytes);
    return log;
}

void ReadLog(const LogFile& log, const ReadOptions& options, LogSink& sink) {
    switch (log.Format()) {
        case LogFormat::Cabrillo: ReadCabrillo(log.Text(), options, sink); return;
        case LogFormat::Adi: ReadAdi(log.Text(), options, sink); return;
        case LogFormat::Adx: ReadAdx(log.Text(), options, sink); return;
        case LogFormat::Sqlite:
            if (!log.Text().empty())
                throw LogFileError(log.Path() + ": a SQLite log is read from a file, not from a pipe");
            ReadSqlite(log.Path(), options, sink);
            return;
        case LogFormat::Unknown: break;
    }
    throw LogFileError(log.Path() + " is no log this reads (SQLite, Cabrillo, ADIF .adi or .adx)");
}

LogFormat ReadLog(const std::string& path, const ReadOptions& options, LogSink& sink) {
    const LogFile log = LogFile::Open(path);
    ReadLog(log, options, sink);
    return log.Format();
}

}  // namespace yol::contestlog
