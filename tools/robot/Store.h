// Where the robot keeps what it received: a data folder holding robot.sqlite
// (the submissions, WAL mode, every commit synced) and logs/<sha256>, each
// upload's bytes under the name of their SHA-256, never under anything the
// uploader sent. Keep() returns only once bytes and row are on disk.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Engine.h"
#include "contestlog/Sqlite.h"

namespace yol::robot {

struct Submission {
    std::int64_t id = 0;
    std::string call, category, sha256, fileName, format;
    std::int64_t received = 0, size = 0, contacts = 0, first = 0, last = 0, warnings = 0;
    std::optional<std::string> claimed;
    std::optional<std::int64_t> score;
};

// Thrown when something cannot be kept; the message names the file.
struct StoreError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Store {
public:
    // Creates the folder, logs/ and the database where missing; removes
    // what an interrupted Keep() left half written.
    explicit Store(std::filesystem::path folder);

    // The bytes into logs/<sha256> (written to a fresh name, synced,
    // renamed, the folder synced), then the row, committed and synced.
    // Returns the row's id.
    std::int64_t Keep(std::string_view bytes, const Answer& accepted, std::string_view fileName);

    // The latest submission of every call, by call; with `search`, only
    // calls containing it (upper case).
    std::vector<Submission> Current(std::string_view search = {}) const;
    // Every submission of one call, oldest first.
    std::vector<Submission> History(std::string_view call) const;
    std::size_t Count() const;

    // The bytes kept under a SHA-256 (Sha256Hex form); nullopt when none.
    std::optional<std::string> Bytes(std::string_view sha256) const;

    // A setting ("window", "token-sha256"); nullopt when not set.
    std::optional<std::string> Setting(std::string_view key) const;
    void SetSetting(std::string_view key, std::string_view value);

    // Writes the current set into `folder` (created; must hold no file of
    // that name yet), one file per call as FileNameOf names it. Returns the count.
    std::size_t Export(const std::filesystem::path& folder) const;

    const std::filesystem::path& Folder() const noexcept { return folder_; }

private:
    std::vector<Submission> Query(const std::string& sql, std::string_view parameter) const;

    std::filesystem::path folder_, logs_;
    contestlog::SqliteDb db_;
    mutable std::mutex mutex_;  // one connection, one statement at a time
};

// The file name of a call's current log in a downloaded set: the call with
// '/' as '-' (calls hold only letters, digits and '/'), and the format's
// extension, so that yolcheck tells the formats apart as the robot did.
std::string FileNameOf(const Submission& s);

}  // namespace yol::robot
