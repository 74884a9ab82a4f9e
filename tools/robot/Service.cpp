#include "Service.h"

#include "Crypto.h"
#include "Pages.h"
#include "Zip.h"
#include "contestlog/Contact.h"
#include "contestlog/Text.h"

namespace yol::robot {
namespace {

constexpr std::string_view kCookie = "yolrobot_session";
constexpr std::int64_t kSessionSeconds = 12 * 3600;

// Whether a Host header names this machine (a local test, over plain HTTP:
// the session cookie cannot then be marked Secure).
bool LoopbackHost(std::string_view host) {
    const std::size_t colon = host.rfind(':');
    if (colon != std::string_view::npos && host.find(']') == std::string_view::npos) host = host.substr(0, colon);
    return host == "localhost" || host == "127.0.0.1" || host == "[::1]";
}

std::string Field(const Request& r, const std::string& name) {
    const auto it = r.fields.find(name);
    return it == r.fields.end() ? std::string() : it->second;
}

std::string Header(const Request& r, const std::string& name) {
    const auto it = r.headers.find(name);
    return it == r.headers.end() ? std::string() : it->second;
}

bool WantsJson(const Request& r) {
    return Field(r, "format") == "json" || Header(r, "accept").find("application/json") != std::string::npos;
}

// A committee POST from a page of this site: where the browser names the
// origin, it must be this host.
bool SameOrigin(const Request& r) {
    const std::string origin = Header(r, "origin");
    if (origin.empty()) return true;
    const std::size_t scheme = origin.find("://");
    return scheme != std::string::npos && origin.substr(scheme + 3) == Header(r, "host");
}

}  // namespace

std::string CookieValue(std::string_view header, std::string_view name) {
    while (!header.empty()) {
        const std::size_t end = header.find(';');
        std::string_view pair = contestlog::TrimBlanks(header.substr(0, end));
        const std::size_t eq = pair.find('=');
        if (eq != std::string_view::npos && pair.substr(0, eq) == name) return std::string(pair.substr(eq + 1));
        if (end == std::string_view::npos) break;
        header.remove_prefix(end + 1);
    }
    return {};
}

Service::Service(Settings settings, Store& store, const contestlog::CountryFile* countries,
                 std::function<std::int64_t()> now)
    : settings_(std::move(settings)), store_(store), countries_(countries), now_(std::move(now)) {
    settings_.rules.maxBytes = settings_.limits.maxUpload;
}

std::string Service::NewToken() {
    const std::string token = RandomHex(24);
    store_.SetSetting("token-sha256", Sha256Hex(token));
    std::lock_guard lock(mutex_);
    sessions_.clear();
    return token;
}

bool Service::HasToken() const { return store_.Setting("token-sha256").has_value(); }

bool Service::WindowOpen() const {
    const std::optional<std::string> set = store_.Setting("window");
    if (set == "open") return true;
    if (set == "closed") return false;
    return settings_.windowEnd == check::kNoMinute || now_() < settings_.windowEnd * 60;
}

std::string Service::WindowText() const {
    if (!WindowOpen()) return "closed";
    if (store_.Setting("window") == "open" || settings_.windowEnd == check::kNoMinute) return "open";
    return "open until " + contestlog::UtcText(settings_.windowEnd) + " UTC";
}

bool Service::RateLimited(const std::string& address) {
    if (settings_.limits.perMinute == 0) return false;
    const std::int64_t minute = now_() / 60;
    std::lock_guard lock(mutex_);
    if (rate_.size() > 100000)  // forget the minutes gone by
        std::erase_if(rate_, [&](const auto& entry) { return entry.second.first != minute; });
    auto& [at, count] = rate_[address];
    if (at != minute) {
        at = minute;
        count = 0;
    }
    return ++count > settings_.limits.perMinute;
}

Response Service::Page(int status, std::string body) const {
    Response out;
    out.status = status;
    out.body = std::move(body);
    return out;
}

Response Service::Text(int status, std::string body) const {
    Response out;
    out.status = status;
    out.type = "text/plain; charset=utf-8";
    out.body = std::move(body);
    return out;
}

Response Service::Message(int status, std::string_view title, std::string_view text) const {
    PageContext c{settings_.rules.rules.name, WindowText(), WindowOpen()};
    return Page(status, MessagePage(c, title, text));
}

Response Service::Handle(const Request& r) {
    Response out;
    if (RateLimited(r.remote)) {
        out = Text(429, "too many requests from your address: at most " +
                            std::to_string(settings_.limits.perMinute) + " a minute; try again in a minute\n");
        out.headers.emplace_back("Retry-After", "60");
    } else {
        try {
            out = Route(r);
        } catch (const std::exception& e) {
            // The operator learns what; the client only that nothing was kept
            // (the message may name the data folder).
            if (onError) onError(r.method + " " + r.path + ": " + e.what());
            out = Text(500, "the robot could not do this; nothing was receipted. Try again later.\n");
        }
    }
    // Every answer: no script, nothing from elsewhere, never in a frame.
    out.headers.emplace_back("Content-Security-Policy",
                             "default-src 'none'; style-src 'self'; img-src 'self'; form-action 'self'; "
                             "frame-ancestors 'none'; base-uri 'none'");
    out.headers.emplace_back("X-Content-Type-Options", "nosniff");
    out.headers.emplace_back("X-Frame-Options", "DENY");
    out.headers.emplace_back("Referrer-Policy", "same-origin");  // "no-referrer" makes the Origin of our own forms "null"
    if (r.path.starts_with("/committee")) out.headers.emplace_back("Cache-Control", "no-store");
    return out;
}

Response Service::Route(const Request& r) {
    const bool get = r.method == "GET" || r.method == "HEAD";
    const PageContext c{settings_.rules.rules.name, WindowText(), WindowOpen()};
    if (get && r.path == "/") return Page(200, FormPage(c));
    if (get && r.path == "/robot.css") {
        Response css;
        css.type = "text/css; charset=utf-8";
        css.body = kStyleSheet;
        css.headers.emplace_back("Cache-Control", "max-age=3600");
        return css;
    }
    if (get && r.path == "/favicon.ico") return Text(204, "");  // none, and no error in a browser's console
    if (get && r.path == "/received") return Page(200, ReceivedPage(c, store_.Current()));
    if (get && r.path == "/received.json") {
        Response json = Text(200, ReceivedJson(store_.Current()));
        json.type = "application/json";
        return json;
    }
    if (r.method == "POST" && r.path == "/submit") return Upload(r, false);
    if (r.method == "POST" && r.path == "/upload") return Upload(r, true);
    if (r.path == "/committee" || r.path.starts_with("/committee/")) return Committee(r);
    if (r.path == "/submit" || r.path == "/upload") {
        Response wrong = Text(405, "send the log with POST (multipart form, field 'log')\n");
        wrong.headers.emplace_back("Allow", "POST");
        return wrong;
    }
    return Message(404, "Not found", "There is no such page here.");
}

Response Service::Upload(const Request& r, bool page) {
    const PageContext c{settings_.rules.rules.name, WindowText(), WindowOpen()};
    auto answer = [&](int status, const Answer& a) {
        // The form's page is a whole answer either way: refusals are not
        // errors of the page (the status is for programs).
        if (page) return Page(200, AnswerPage(c, a));
        if (WantsJson(r)) {
            Response json = Text(status, AnswerJson(a));
            json.type = "application/json";
            return json;
        }
        return Text(status, AnswerText(a));
    };
    if (!c.windowOpen)
        return answer(403, Refusal("the submission window is closed: logs are no longer accepted"));

    std::string fileName, bytes;
    if (r.file && !r.file->second.empty()) {
        fileName = r.file->first.substr(0, 255);  // shown to the committee only, never a path
        bytes = r.file->second;
    } else {
        bytes = Field(r, "text");
    }
    if (bytes.empty()) return answer(400, Refusal("no log: send a file in the field 'log' or the text in 'text'"));
    if (bytes.size() > settings_.limits.maxUpload)
        return answer(413, Refusal("the file is " + std::to_string(bytes.size()) + " bytes, over the limit of " +
                                   std::to_string(settings_.limits.maxUpload)));

    // Checking and storing take the time and the memory: only so many at once.
    struct Slot {
        std::atomic<std::size_t>& n;
        ~Slot() { --n; }
    };
    if (++uploading_ > settings_.limits.concurrentUploads) {
        --uploading_;
        Response busy = answer(503, Refusal("too many uploads at this moment: send again in a few seconds"));
        busy.headers.emplace_back("Retry-After", "5");
        return busy;
    }
    Slot slot{uploading_};

    const robot::Upload upload{bytes, fileName, Field(r, "call")};
    Answer a = CheckUpload(upload, settings_.rules, countries_);
    a.received = now_();
    if (!a.accepted) return answer(422, a);
    store_.Keep(bytes, a, fileName);  // throws (an answer 500) when it cannot be kept: no receipt then
    return answer(200, a);
}

std::optional<Service::Session> Service::Authorised(const Request& r) {
    const std::optional<std::string> stored = store_.Setting("token-sha256");
    if (!stored) return std::nullopt;
    const std::string bearer = Header(r, "authorization");
    if (bearer.starts_with("Bearer ")) {
        if (SameSecret(Sha256Hex(bearer.substr(7)), *stored)) return Session{};
        return std::nullopt;
    }
    const std::string id = CookieValue(Header(r, "cookie"), kCookie);
    if (id.empty()) return std::nullopt;
    std::lock_guard lock(mutex_);
    const auto it = sessions_.find(id);
    if (it == sessions_.end() || it->second.expires < now_()) return std::nullopt;
    return it->second;
}

Response Service::Committee(const Request& r) {
    const PageContext c{settings_.rules.rules.name, WindowText(), WindowOpen()};
    const bool post = r.method == "POST";
    if (post && r.path == "/committee/login") {
        if (!SameOrigin(r)) return Message(403, "Refused", "This form must be sent from this site's own page.");
        const std::optional<std::string> stored = store_.Setting("token-sha256");
        if (!stored || !SameSecret(Sha256Hex(Field(r, "token")), *stored))
            return Page(200, LoginPage(c, "That is not the committee token."));  // the form again
        const std::string id = RandomHex(32);
        {
            std::lock_guard lock(mutex_);
            const std::int64_t now = now_();
            std::erase_if(sessions_, [&](const auto& s) { return s.second.expires < now; });
            sessions_[id] = Session{RandomHex(32), now + kSessionSeconds};
        }
        Response to = Page(303, "");
        to.headers.emplace_back("Location", "/committee");
        to.headers.emplace_back("Set-Cookie", std::string(kCookie) + "=" + id +
                                                  "; Path=/committee; HttpOnly; SameSite=Strict; Max-Age=" +
                                                  std::to_string(kSessionSeconds) +
                                                  (LoopbackHost(Header(r, "host")) ? "" : "; Secure"));
        return to;
    }
    const std::optional<Session> session = Authorised(r);
    if (!session) {
        if (!post && r.path == "/committee") return Page(200, LoginPage(c, ""));
        return Message(401, "Committee only", "Log in on the committee page first.");
    }
    if (post) {
        // A cookie comes with any request the browser sends; the token only
        // with this site's own forms.
        if (!session->csrf.empty() && (!SameOrigin(r) || !SameSecret(Field(r, "csrf"), session->csrf)))
            return Message(403, "Refused", "This form must be sent from this site's own page.");
        if (r.path == "/committee/window") {
            const std::string state = Field(r, "state");
            if (state != "open" && state != "closed" && state != "rules")
                return Message(400, "Bad request", "The window is open, closed or set by the rules.");
            store_.SetSetting("window", state == "rules" ? "" : state);
        } else if (r.path == "/committee/logout") {
            std::lock_guard lock(mutex_);
            sessions_.erase(CookieValue(Header(r, "cookie"), kCookie));
            Response to = Page(303, "");
            to.headers.emplace_back("Location", "/");
            to.headers.emplace_back("Set-Cookie", std::string(kCookie) + "=; Path=/committee; Max-Age=0");
            return to;
        } else {
            return Message(404, "Not found", "There is no such page here.");
        }
        Response to = Page(303, "");
        to.headers.emplace_back("Location", "/committee");
        return to;
    }
    if (r.path == "/committee") {
        std::string search = Field(r, "q");
        for (char& ch : search) ch = contestlog::UpperAscii(ch);
        const std::optional<std::string> window = store_.Setting("window");
        const PageContext now{settings_.rules.rules.name, WindowText(), WindowOpen()};
        return Page(200, CommitteePage(now, store_.Current(search), search, session->csrf, window.value_or(""),
                                       store_.Count()));
    }
    if (r.path == "/committee/log") {
        const std::string call = NormalCall(Field(r, "call"));
        const std::vector<Submission> history = store_.History(call);
        if (history.empty()) return Message(404, "Not found", "No log of that call.");
        return Page(200, HistoryPage(c, call, history));
    }
    if (r.path == "/committee/file") {
        const std::optional<std::string> bytes = store_.Bytes(Field(r, "sha256"));
        if (!bytes) return Message(404, "Not found", "No file of that SHA-256.");
        Response file = Text(200, *bytes);
        file.type = "application/octet-stream";
        file.headers.emplace_back("Content-Disposition", "attachment; filename=\"" + Field(r, "sha256") + "\"");
        return file;
    }
    if (r.path == "/committee/set.zip") {
        Response zip;
        zip.type = "application/zip";
        zip.headers.emplace_back("Content-Disposition", "attachment; filename=\"logs.zip\"");
        const std::vector<Submission> logs = store_.Current();
        const Store& store = store_;
        zip.stream = [logs, &store](const std::function<bool(std::string_view)>& sink) {
            ZipWriter writer(sink);
            for (const Submission& s : logs) {
                const std::optional<std::string> bytes = store.Bytes(s.sha256);
                if (!bytes || !writer.Add(FileNameOf(s), *bytes)) return false;
            }
            return writer.Finish();
        };
        return zip;
    }
    return Message(404, "Not found", "There is no such page here.");
}

}  // namespace yol::robot
