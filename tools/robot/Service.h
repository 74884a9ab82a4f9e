// The robot's requests and answers without the network: the HTTP server
// (yolrobot.cpp) turns each request into a Request, calls Handle and sends
// the Response; the tests call Handle directly. Limits per address and on
// concurrent uploads, the submission window, committee sessions with a
// cross-site token, and the headers every answer carries live here.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Engine.h"
#include "Store.h"

namespace yol::contestlog {
class CountryFile;
}

namespace yol::robot {

struct Limits {
    std::size_t maxUpload = 4u << 20;     // bytes of one log
    std::size_t perMinute = 120;          // requests per address and minute (0: no limit)
    std::size_t concurrentUploads = 16;   // uploads being checked and stored at once
    std::int64_t graceDays = 5;           // the window closes this long after the period's end
};

struct Settings {
    RobotRules rules;
    Limits limits;
    // Minutes since 1970 when the window closes by the rules (period end +
    // grace days), or kNoMinute: open until the committee closes it.
    std::int64_t windowEnd = check::kNoMinute;
};

struct Request {
    std::string method, path, remote;
    std::map<std::string, std::string> headers;  // names in lower case
    std::map<std::string, std::string> fields;   // query and form fields
    std::optional<std::pair<std::string, std::string>> file;  // the "log" part: file name, bytes
};

struct Response {
    int status = 200;
    std::string type = "text/html; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    // Where set, the body is written by this (the zip of the current set),
    // piece by piece into the sink it is given.
    std::function<bool(const std::function<bool(std::string_view)>&)> stream;
};

class Service {
public:
    // `now` gives seconds since 1970 (the tests set the clock).
    Service(Settings settings, Store& store, const contestlog::CountryFile* countries,
            std::function<std::int64_t()> now);

    // Sets a new committee token (only its SHA-256 is kept) and returns it.
    std::string NewToken();
    bool HasToken() const;

    Response Handle(const Request& request);

    // Told what failed inside (a full disk, a damaged database) where the
    // client gets status 500 and no details.
    std::function<void(const std::string&)> onError;

    const Settings& Config() const noexcept { return settings_; }

private:
    struct Session {
        std::string csrf;
        std::int64_t expires = 0;
    };

    Response Route(const Request& r);
    Response Upload(const Request& r, bool page);
    Response Committee(const Request& r);
    bool WindowOpen() const;
    std::string WindowText() const;
    bool RateLimited(const std::string& address);
    // The session of a committee request (cookie) or a bearer token's
    // pseudo-session (csrf empty: no cookie, nothing to forge).
    std::optional<Session> Authorised(const Request& r);
    Response Page(int status, std::string body) const;
    Response Text(int status, std::string body) const;
    Response Message(int status, std::string_view title, std::string_view text) const;

    Settings settings_;
    Store& store_;
    const contestlog::CountryFile* countries_;
    std::function<std::int64_t()> now_;
    std::atomic<std::size_t> uploading_{0};
    std::mutex mutex_;  // the rate counts and the sessions
    std::unordered_map<std::string, std::pair<std::int64_t, std::size_t>> rate_;  // address: minute, count
    std::unordered_map<std::string, Session> sessions_;
};

// The value of a cookie in a Cookie header; empty when absent.
std::string CookieValue(std::string_view header, std::string_view name);

}  // namespace yol::robot
