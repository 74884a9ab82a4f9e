// A folder a run writes its results into (yolcheck --out and --html, yolscore
// --html), whole or not at all: the files go into a fresh folder beside the
// target, which is moved into place when every file is written. A run
// stopped midway (an error, a kill) leaves the target as it was: the previous
// complete set, or nothing.
//
// The target must be new, empty, or (with `replace`) hold only what an
// earlier run of the tool wrote: the manifest it leaves there
// (kManifestName) lists those files. A folder holding anything else is never
// touched. Nothing is written through a symbolic link: the fresh folder is
// made by the run, and each file is created there, never opened if it exists.
#pragma once

#include <filesystem>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace yol::cli {

// Why a folder cannot take the results; the message names the folder and why.
// `unwritable`: the folder cannot be written (else: refused, as the command
// line asked for something the tool will not do).
struct FolderError : std::runtime_error {
    explicit FolderError(const std::string& message, bool cannotWrite = false)
        : std::runtime_error(message), unwritable(cannotWrite) {}
    bool unwritable;
};

class ResultFolder {
public:
    static constexpr std::string_view kManifestName = ".yol-manifest";

    // Checks the target and makes the fresh folder beside it (so that a
    // folder that cannot be written is known before any work). Throws
    // FolderError where the target is, or is inside, one of `inputs`
    // (folders the logs are read from), is no folder, holds files of its
    // own (without `replace`) or files no earlier run wrote (even with it),
    // or where the fresh folder cannot be made.
    ResultFolder(std::filesystem::path target, const std::vector<std::filesystem::path>& inputs, bool replace);
    ~ResultFolder();  // an uncommitted fresh folder is removed
    ResultFolder(const ResultFolder&) = delete;
    ResultFolder& operator=(const ResultFolder&) = delete;

    // Writes `name` ("reports/UA3AAA.txt"; sub-folders made as needed) into
    // the fresh folder. Throws FolderError naming the file and why.
    void Write(std::string_view name, std::string_view content);
    // The same, the content given piece by piece to `out`.
    void Write(std::string_view name, const std::function<void(std::ostream&)>& out);

    // Writes the manifest and moves the set into place; an earlier set there
    // goes. Throws FolderError where the move fails (the earlier set stays).
    void Commit();

    // A file written so far, where it stands until Commit.
    std::filesystem::path Written(std::string_view name) const { return fresh_ / std::string(name); }
    const std::filesystem::path& Target() const { return target_; }
    std::size_t Files() const { return written_.size(); }

    // Called after each file written, one call at a time (tests stop a run
    // midway with it).
    static std::function<void(const std::filesystem::path&)>& AfterWrite();

private:
    // The file's place in the fresh folder, made empty; `relative` gets its name there.
    std::filesystem::path Create(std::string_view name, std::string& relative);

    std::filesystem::path target_, fresh_;
    std::mutex mutex_;  // Write may be called from several threads at once
    std::vector<std::string> written_;
    bool committed_ = false;
};

}  // namespace yol::cli
