#include "contestlog/LogFile.h"

#include "contestlog/LogReaderImpl.h"
#include "contestlog/Text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
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
    // Room for `n` bytes at once, so that a file of known size is read
    // without a copy.
    void Reserve(std::size_t n) {
        if (n > capacity_) {
            std::unique_ptr<char[]> bigger(new char[n]);
            if (size_) std::memcpy(bigger.get(), buffer_.get(), size_);
            buffer_ = std::move(bigger);
            capacity_ = n;
        }
    }
    // Where the next bytes go; grows (doubling) only when the buffer is full.
    char* Room() {
        if (size_ == capacity_) Reserve(capacity_ ? capacity_ * 2 : 65536);
        return buffer_.get() + size_;
    }
    std::size_t Free() const noexcept { return capacity_ - size_; }
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
    } else {  // a pipe, a terminal, or a file that claims no size (/proc)
        Growing buffer;
        while (true) {
            char* room = buffer.Room();
            const ssize_t got = read(in.fd, room, buffer.Free());
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
    if (path == "-") _setmode(_fileno(stdin), _O_BINARY);  // no CR LF or Ctrl-Z translation
    std::unique_ptr<std::FILE, Closer> in(path == "-" ? stdin : std::fopen(path.c_str(), "rb"));
    if (!in) throw LogFileError("cannot open " + path);
    // Read to the end; no seek to size a buffer, so that pipes read too. A
    // regular file's size makes the buffer right at once.
    Growing buffer;
    struct _stat64 info {};
    if (_fstat64(_fileno(in.get()), &info) == 0 && (info.st_mode & _S_IFDIR) != 0) CannotRead(path);
    if ((info.st_mode & _S_IFREG) != 0 && info.st_size > 0)
        buffer.Reserve(static_cast<std::size_t>(info.st_size) + 1);
    while (true) {
        char* room = buffer.Room();
        const std::size_t got = std::fread(room, 1, buffer.Free(), in.get());
        buffer.Grew(got);
        if (got == 0) break;
    }
    if (std::ferror(in.get())) CannotRead(path);
    bytes->size = buffer.Size();
    bytes->owned = buffer.Take();
    bytes->data = bytes->owned.get();
    regular = path != "-";
#endif
    return FromBytesOf(std::move(log), std::move(bytes), regular);
}

LogFile LogFile::FromBytes(std::string_view bytes, const std::string& name) {
    LogFile log;
    log.path_ = name;
    auto owned = std::make_unique<Bytes>();
    owned->owned.reset(new char[bytes.empty() ? 1 : bytes.size()]);
    if (!bytes.empty()) std::memcpy(owned->owned.get(), bytes.data(), bytes.size());
    owned->data = owned->owned.get();
    owned->size = bytes.size();
    return FromBytesOf(std::move(log), std::move(owned), false);
}

LogFile LogFile::FromBytesOf(LogFile log, std::unique_ptr<Bytes> bytes, bool regular) {
    const std::string& path = log.path_;
    const std::string_view text(bytes->data, bytes->size);
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
        // UTF-16 with its BOM: .adx goes to expat as it is (expat reads the
        // BOM); Cabrillo and .adi are read in the host's code page, one byte
        // a character, so that ADIF lengths still count characters.
        const bool bigEndian = text[0] == '\xFE';
        std::string head;
        AppendUtf16AsUtf8(text.substr(2, 8192), bigEndian, head);
        log.format_ = DetectFormat(std::string_view(head).substr(0, 4096), path);
        if (log.format_ == LogFormat::Cabrillo || log.format_ == LogFormat::Adi) {
            std::string converted;
            AppendUtf16As1251(text.substr(2), bigEndian, converted);
            auto owned = std::make_unique<Bytes>();
            owned->owned.reset(new char[converted.size() ? converted.size() : 1]);
            std::memcpy(owned->owned.get(), converted.data(), converted.size());
            owned->data = owned->owned.get();
            owned->size = converted.size();
            bytes = std::move(owned);
        } else if (log.format_ != LogFormat::Adx) {
            throw LogFileError(path + " is UTF-16 text but no log this reads (Cabrillo, ADIF .adi or .adx)");
        }
        log.bytes_ = std::move(bytes);
        return log;
    }
    log.format_ = DetectFormat(text.substr(0, 4096), path);
    if (log.format_ == LogFormat::Unknown)
        throw LogFileError(path + " is no log this reads (SQLite, Cabrillo, ADIF .adi or .adx)");
    // A SQLite file is read through the database by its path.
    if (log.format_ != LogFormat::Sqlite || !regular) log.bytes_ = std::move(bytes);
    return log;
}

void ReadLog(const LogFile& log, const ReadOptions& options, LogSink& sink) {
    // Text with nothing of its format in it, taken for one by its name or as
    // header text, is no log: unreadable, not a log whose lines were all bad.
    if (log.Format() == LogFormat::Cabrillo && !detail::HasCabrilloLine(log.Text()))
        throw LogFileError(log.Path() + " is no log this reads: no START-OF-LOG: and no QSO: lines");
    if (log.Format() == LogFormat::Adi && !detail::HasAdifTag(log.Text()))
        throw LogFileError(log.Path() + " is no log this reads: no ADIF tags");
    switch (log.Format()) {
        case LogFormat::Cabrillo: ReadCabrillo(log.Text(), options, sink); return;
        case LogFormat::Adi: ReadAdi(log.Text(), options, sink); return;
        case LogFormat::Adx: ReadAdx(log.Text(), options, sink); return;
        case LogFormat::Sqlite:
            if (log.Text().empty()) ReadSqlite(log.Path(), options, sink);
            else ReadSqliteBytes(log.Text(), log.Path(), options, sink);
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
