#include "Store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <utility>

#include "Crypto.h"
#include "contestlog/LogReader.h"

namespace yol::robot {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kTempPrefix = "incoming-";

[[noreturn]] void Fail(const fs::path& path, const char* what) {
    throw StoreError(path.string() + ": " + what + ": " + std::strerror(errno));
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const noexcept { return fd_; }
    int Release() noexcept { return std::exchange(fd_, -1); }

private:
    int fd_;
};

void SyncFolder(const fs::path& folder) {
    Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) Fail(folder, "cannot open the folder");
    if (::fsync(fd.get()) != 0) Fail(folder, "cannot sync the folder");
}

void WriteAll(int fd, std::string_view bytes, const fs::path& path) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) Fail(path, "cannot write");
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

// Writes the bytes as a new file and syncs it; the name is taken only when
// the file is whole.
void WriteDurably(const fs::path& folder, const fs::path& target, std::string_view bytes) {
    static std::atomic<std::uint64_t> counter{0};
    const fs::path temp = folder / (std::string(kTempPrefix) + std::to_string(::getpid()) + "-" +
                                    std::to_string(counter.fetch_add(1)));
    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0640));
    if (fd.get() < 0) Fail(temp, "cannot create");
    try {
        WriteAll(fd.get(), bytes, temp);
        if (::fsync(fd.get()) != 0) Fail(temp, "cannot sync");
        if (::close(fd.Release()) != 0) Fail(temp, "cannot close");
        if (::rename(temp.c_str(), target.c_str()) != 0) Fail(target, "cannot rename into place");
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    SyncFolder(folder);
}

std::optional<std::string> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

constexpr const char* kColumns =
    "id, call, category, sha256, file_name, format, received, size, contacts, first, last, warnings, claimed, score";

Submission RowOf(sqlite3_stmt* st) {
    Submission s;
    s.id = sqlite3_column_int64(st, 0);
    s.call = contestlog::ColumnText(st, 1);
    s.category = contestlog::ColumnText(st, 2);
    s.sha256 = contestlog::ColumnText(st, 3);
    s.fileName = contestlog::ColumnText(st, 4);
    s.format = contestlog::ColumnText(st, 5);
    s.received = sqlite3_column_int64(st, 6);
    s.size = sqlite3_column_int64(st, 7);
    s.contacts = sqlite3_column_int64(st, 8);
    s.first = sqlite3_column_int64(st, 9);
    s.last = sqlite3_column_int64(st, 10);
    s.warnings = sqlite3_column_int64(st, 11);
    if (sqlite3_column_type(st, 12) != SQLITE_NULL) s.claimed = std::string(contestlog::ColumnText(st, 12));
    if (sqlite3_column_type(st, 13) != SQLITE_NULL) s.score = sqlite3_column_int64(st, 13);
    return s;
}

}  // namespace

Store::Store(fs::path folder) : folder_(std::move(folder)), logs_(folder_ / "logs") {
    std::error_code ec;
    fs::create_directories(logs_, ec);
    if (ec) throw StoreError(logs_.string() + ": cannot create: " + ec.message());
    for (const fs::directory_entry& e : fs::directory_iterator(logs_, ec))
        if (e.path().filename().string().starts_with(kTempPrefix)) fs::remove(e.path(), ec);
    try {
        db_ = contestlog::OpenSqlite((folder_ / "robot.sqlite").string());
        sqlite3_busy_timeout(db_.get(), 10000);
        contestlog::ExecSql(db_.get(), "pragma journal_mode=WAL");
        contestlog::ExecSql(db_.get(), "pragma synchronous=FULL");
        contestlog::ExecSql(db_.get(),
                            "create table if not exists submissions(id integer primary key, call text not null, "
                            "category text, sha256 text not null, file_name text, format text, received integer, "
                            "size integer, contacts integer, first integer, last integer, warnings integer, "
                            "claimed text, score integer);"
                            "create index if not exists submissions_call on submissions(call, id);"
                            "create table if not exists settings(key text primary key, value text)");
    } catch (const std::exception& e) {
        throw StoreError(e.what());
    }
}

std::int64_t Store::Keep(std::string_view bytes, const Answer& a, std::string_view fileName) {
    const std::string sha = Sha256Hex(bytes);
    const fs::path target = logs_ / sha;
    std::error_code ec;
    // The same bytes again need no second copy: the name is taken only by
    // whole, synced files.
    if (!fs::exists(target, ec)) WriteDurably(logs_, target, bytes);
    std::lock_guard lock(mutex_);
    try {
        auto st = contestlog::PrepareSql(
            db_.get(), std::string("insert into submissions(") + (kColumns + 4) +
                           ") values(?,?,?,?,?,?,?,?,?,?,?,?,?)");
        contestlog::BindText(st.get(), 1, a.call);
        contestlog::BindText(st.get(), 2, a.category);
        contestlog::BindText(st.get(), 3, sha);
        contestlog::BindText(st.get(), 4, fileName);
        contestlog::BindText(st.get(), 5, a.format);
        sqlite3_bind_int64(st.get(), 6, a.received);
        sqlite3_bind_int64(st.get(), 7, static_cast<std::int64_t>(bytes.size()));
        sqlite3_bind_int64(st.get(), 8, static_cast<std::int64_t>(a.contacts));
        sqlite3_bind_int64(st.get(), 9, a.first);
        sqlite3_bind_int64(st.get(), 10, a.last);
        sqlite3_bind_int64(st.get(), 11, static_cast<std::int64_t>(a.warnings.size()));
        if (a.claimed) contestlog::BindText(st.get(), 12, *a.claimed);
        if (a.score) sqlite3_bind_int64(st.get(), 13, *a.score);
        if (sqlite3_step(st.get()) != SQLITE_DONE)
            throw StoreError(std::string("robot.sqlite: cannot insert: ") + sqlite3_errmsg(db_.get()));
        return sqlite3_last_insert_rowid(db_.get());
    } catch (const StoreError&) {
        throw;
    } catch (const std::exception& e) {
        throw StoreError(e.what());
    }
}

std::vector<Submission> Store::Query(const std::string& sql, std::string_view parameter) const {
    std::lock_guard lock(mutex_);
    auto st = contestlog::PrepareSql(db_.get(), sql);
    if (sqlite3_bind_parameter_count(st.get()) > 0) contestlog::BindText(st.get(), 1, parameter);
    std::vector<Submission> rows;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) rows.push_back(RowOf(st.get()));
    if (rc != SQLITE_DONE) throw StoreError(std::string("robot.sqlite: ") + sqlite3_errmsg(db_.get()));
    return rows;
}

std::vector<Submission> Store::Current(std::string_view search) const {
    return Query(std::string("select ") + kColumns +
                     " from submissions where id in (select max(id) from submissions group by call)"
                     " and instr(call, ?) > 0 order by call",
                 search);
}

std::vector<Submission> Store::History(std::string_view call) const {
    return Query(std::string("select ") + kColumns + " from submissions where call = ? order by id", call);
}

std::size_t Store::Count() const {
    std::lock_guard lock(mutex_);
    auto st = contestlog::PrepareSql(db_.get(), "select count(*) from submissions");
    return sqlite3_step(st.get()) == SQLITE_ROW ? static_cast<std::size_t>(sqlite3_column_int64(st.get(), 0)) : 0;
}

std::optional<std::string> Store::Bytes(std::string_view sha256) const {
    if (!IsSha256Hex(sha256)) return std::nullopt;
    return ReadFile(logs_ / std::string(sha256));
}

std::optional<std::string> Store::Setting(std::string_view key) const {
    std::lock_guard lock(mutex_);
    auto st = contestlog::PrepareSql(db_.get(), "select value from settings where key = ?");
    contestlog::BindText(st.get(), 1, key);
    if (sqlite3_step(st.get()) != SQLITE_ROW) return std::nullopt;
    return std::string(contestlog::ColumnText(st.get(), 0));
}

void Store::SetSetting(std::string_view key, std::string_view value) {
    std::lock_guard lock(mutex_);
    auto st = contestlog::PrepareSql(db_.get(), "insert or replace into settings(key, value) values(?, ?)");
    contestlog::BindText(st.get(), 1, key);
    contestlog::BindText(st.get(), 2, value);
    if (sqlite3_step(st.get()) != SQLITE_DONE)
        throw StoreError(std::string("robot.sqlite: cannot save a setting: ") + sqlite3_errmsg(db_.get()));
}

std::size_t Store::Export(const fs::path& folder) const {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw StoreError(folder.string() + ": cannot create: " + ec.message());
    std::size_t n = 0;
    for (const Submission& s : Current()) {
        const std::optional<std::string> bytes = Bytes(s.sha256);
        if (!bytes) throw StoreError((logs_ / s.sha256).string() + ": cannot read");
        const fs::path path = folder / FileNameOf(s);
        if (fs::exists(path, ec)) throw StoreError(path.string() + ": already there");
        std::ofstream out(path, std::ios::binary);
        out.write(bytes->data(), static_cast<std::streamsize>(bytes->size()));
        out.close();
        if (!out) throw StoreError(path.string() + ": cannot write");
        ++n;
    }
    return n;
}

std::string FileNameOf(const Submission& s) {
    std::string name = s.call;
    for (char& c : name)
        if (c == '/') c = '-';
    using contestlog::FormatName;
    using contestlog::LogFormat;
    if (s.format == FormatName(LogFormat::Adi)) return name + ".adi";
    if (s.format == FormatName(LogFormat::Adx)) return name + ".adx";
    if (s.format == FormatName(LogFormat::Sqlite)) return name + ".sqlite";
    return name + ".log";  // Cabrillo
}

}  // namespace yol::robot
