#include "ResultFolder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#ifdef _WIN32
#include <process.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace yol::cli {
namespace {

namespace fs = std::filesystem;

fs::path Canonical(const fs::path& p) {
    std::error_code ec;
    fs::path c = fs::weakly_canonical(fs::absolute(p, ec), ec);
    return ec ? fs::absolute(p) : c;
}

// Whether `inner` is `outer` or lies inside it.
bool Within(const fs::path& inner, const fs::path& outer) {
    auto i = inner.begin(), o = outer.begin();
    for (; o != outer.end(); ++o, ++i) {
        if (o->empty()) continue;  // a trailing separator
        if (i == inner.end() || *i != *o) return false;
    }
    return true;
}

std::string Shown(const fs::path& p) { return p.string(); }

long ProcessId() {
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<long>(getpid());
#endif
}

// The files (and links) under `dir`, relative, '/'-separated, links not followed.
std::vector<std::string> FilesUnder(const fs::path& dir) {
    std::vector<std::string> out;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir, fs::directory_options::none, ec), end; !ec && it != end;
         it.increment(ec)) {
        const fs::file_status s = it->symlink_status(ec);
        if (fs::is_directory(s)) continue;
        out.push_back(fs::relative(it->path(), dir, ec).generic_string());
    }
    if (ec) throw FolderError(Shown(dir) + ": cannot be listed: " + ec.message());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

std::function<void(const fs::path&)>& ResultFolder::AfterWrite() {
    static std::function<void(const fs::path&)> hook;
    return hook;
}

ResultFolder::ResultFolder(fs::path target, const std::vector<fs::path>& inputs, bool replace)
    : target_(Canonical(target)) {
    for (const fs::path& input : inputs) {
        const fs::path in = Canonical(input);
        if (Within(target_, in))
            throw FolderError(Shown(target) + ": is " + (target_ == in ? "" : "inside ") + "the log folder " +
                              Shown(input) + "; the next check would read the results as logs: give a folder elsewhere");
    }
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(target_, ec);
    if (fs::is_symlink(status))
        throw FolderError(Shown(target) + ": is a symbolic link; results are written only into a real folder");
    if (fs::exists(status)) {
        if (!fs::is_directory(status)) throw FolderError(Shown(target) + ": exists and is no folder");
        std::set<std::string> earlier;
        std::ifstream manifest(target_ / std::string(kManifestName), std::ios::binary);
        for (std::string line; std::getline(manifest, line);)
            if (!line.empty()) earlier.insert(line);
        std::vector<std::string> present = FilesUnder(target_);
        present.erase(std::remove(present.begin(), present.end(), std::string(kManifestName)), present.end());
        if (!present.empty() && !replace)
            throw FolderError(Shown(target) + ": holds " + std::to_string(present.size()) + " file" +
                              (present.size() == 1 ? "" : "s") + " already (first: " + present.front() +
                              "); --replace replaces what an earlier run wrote there");
        for (const std::string& file : present)
            if (!earlier.count(file))
                throw FolderError(Shown(target) + ": holds " + file +
                                  ", which no earlier run wrote (not in its manifest " + std::string(kManifestName) +
                                  "): not replaced; move it away or give another folder");
    }
    const fs::path parent = target_.parent_path();
    fs::create_directories(parent, ec);
    if (ec) throw FolderError(Shown(parent) + ": cannot be made: " + ec.message(), true);
    // What a run stopped midway left beside the target goes first.
    const std::string name = target_.filename().string();
    for (const auto& entry : fs::directory_iterator(parent, ec)) {
        const std::string other = entry.path().filename().string();
        if (other.starts_with("." + name + ".partial-") || other.starts_with("." + name + ".old-")) {
            std::error_code rec;
            fs::remove_all(entry.path(), rec);
        }
    }
    fresh_ = parent / ("." + name + ".partial-" + std::to_string(ProcessId()));
    fs::remove_all(fresh_, ec);
    if (!fs::create_directory(fresh_, ec) || ec)
        throw FolderError(Shown(parent) + ": cannot be written" + (ec ? ": " + ec.message() : std::string()), true);
}

ResultFolder::~ResultFolder() {
    if (committed_) return;
    std::error_code ec;
    fs::remove_all(fresh_, ec);
}

fs::path ResultFolder::Create(std::string_view name, std::string& shown) {
    const fs::path relative = fs::path(std::string(name)).lexically_normal();
    if (relative.empty() || relative.is_absolute() || *relative.begin() == "..")
        throw FolderError(std::string(name) + ": not a name inside the results folder");
    const fs::path path = fresh_ / relative;
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec) throw FolderError(Shown(target_ / relative.parent_path()) + ": cannot be made: " + ec.message(), true);
#ifndef _WIN32
    // Made here, never opened where something stands already, links not followed.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) throw FolderError(Shown(target_ / relative) + ": cannot be written: " + std::strerror(errno), true);
    ::close(fd);
#else
    if (fs::exists(fs::symlink_status(path, ec)))
        throw FolderError(Shown(target_ / relative) + ": cannot be written: it exists already", true);
#endif
    shown = relative.generic_string();
    const std::lock_guard lock(mutex_);
    written_.push_back(shown);
    return path;
}

void ResultFolder::Write(std::string_view name, const std::function<void(std::ostream&)>& content) {
    std::string relative;
    const fs::path path = Create(name, relative);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) content(out);
    out.close();
    if (!out) throw FolderError(Shown(target_ / relative) + ": cannot be written (disk full?)", true);
    const std::lock_guard lock(mutex_);
    if (AfterWrite()) AfterWrite()(target_ / relative);
}

void ResultFolder::Write(std::string_view name, std::string_view content) {
    Write(name, [&](std::ostream& out) { out.write(content.data(), static_cast<std::streamsize>(content.size())); });
}

void ResultFolder::Commit() {
    std::string list;
    for (const std::string& file : written_) list += file + "\n";
    list += std::string(kManifestName) + "\n";
    Write(kManifestName, list);
    std::error_code ec;
    const fs::path old = target_.parent_path() /
                         ("." + target_.filename().string() + ".old-" + std::to_string(ProcessId()));
    const bool hadOld = fs::exists(fs::symlink_status(target_, ec));
    if (hadOld) {
        fs::remove_all(old, ec);
        fs::rename(target_, old, ec);
        if (ec) throw FolderError(Shown(target_) + ": the earlier results cannot be moved aside: " + ec.message(), true);
    }
    fs::rename(fresh_, target_, ec);
    if (ec) {
        const std::string why = ec.message();
        if (hadOld) fs::rename(old, target_, ec);
        throw FolderError(Shown(target_) + ": the new results cannot be moved into place: " + why, true);
    }
    committed_ = true;
    if (hadOld) fs::remove_all(old, ec);
}

}  // namespace yol::cli
