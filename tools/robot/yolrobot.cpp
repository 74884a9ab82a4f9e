// yolrobot: the contest's log robot as a web service. This file is the thin
// HTTP layer (cpp-httplib) and the command line; what a request gets is
// decided in Service.cpp, what a log gets in Engine.cpp.
#include <httplib.h>

#include <pthread.h>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

#include "Rules.h"
#include "Service.h"
#include "cli/CommandLine.h"
#include "contestlog/CountryFile.h"
#include "contestlog/Text.h"

#ifndef YOL_VERSION
#define YOL_VERSION "0"
#endif

namespace {

using namespace yol;

robot::Request RequestOf(const httplib::Request& req, bool trustProxy) {
    robot::Request r;
    r.method = req.method;
    r.path = req.path;
    r.remote = req.remote_addr;
    for (const auto& [name, value] : req.headers) {
        std::string lower = name;
        for (char& c : lower) c = contestlog::LowerAscii(c);
        r.headers.emplace(lower, value);  // the first of repeated headers
    }
    if (trustProxy) {
        // Behind the reverse proxy every connection comes from it: the
        // address it appended last is the client's.
        const std::string forwarded = req.get_header_value("X-Forwarded-For");
        const std::size_t comma = forwarded.rfind(',');
        const std::string last = forwarded.substr(comma == std::string::npos ? 0 : comma + 1);
        if (!last.empty()) r.remote = std::string(contestlog::TrimBlanks(last));
    }
    for (const auto& [name, value] : req.params) r.fields.emplace(name, value);
    for (const auto& [name, part] : req.files) {
        if (name == "log") r.file.emplace(part.filename, part.content);
        else r.fields.emplace(name, part.content);
    }
    return r;
}

void Send(const robot::Response& out, httplib::Response& res) {
    res.status = out.status;
    for (const auto& [name, value] : out.headers) res.set_header(name, value);
    if (out.stream) {
        auto stream = out.stream;
        res.set_chunked_content_provider(out.type, [stream](std::size_t, httplib::DataSink& sink) {
            const bool whole = stream([&](std::string_view piece) { return sink.write(piece.data(), piece.size()); });
            if (whole) sink.done();
            return whole;
        });
    } else {
        res.set_content(out.body, out.type);
    }
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int Run(int argc, char** argv) {
    CLI::App app{"The contest's log robot: a web service that receives the entrants' logs, answers each at once\n"
                 "(accepted with a receipt, or refused with the reasons by line), keeps every accepted log\n"
                 "and lists the logs received.",
                 "yolrobot"};
    cli::Configure(app);
    std::string rulesPath, dataDir = "robot-data", bind = "127.0.0.1", ctyPath = contestlog::CountryFile::kDefaultPath;
    std::string windowEnd, exportDir;
    std::vector<std::string> contests;
    int port = 8080;
    std::size_t threads = 8, maxUploadKiB = 4096;
    long readTimeout = 10;
    bool anyContest = false, newToken = false, trustProxy = false;
    robot::Settings settings;
    app.add_option("--port", port, "TCP port (0: any free one, printed)")->check(CLI::Range(0, 65535));
    app.add_option("--bind", bind, "address to listen on (default 127.0.0.1; a reverse proxy sits in front)");
    app.add_option("--rules", rulesPath, "contest rules (TOML); the YOL rules when not given");
    app.add_option("--data", dataDir, "data folder: robot.sqlite and logs/ (default ./robot-data)");
    app.add_option("--cty", ctyPath, "country file for the YOL scoring (default: Debian's hamradio-files cty.dat)");
    app.add_option("--contest", contests, "a CONTEST: name logs may give (repeat; default: the rules' name)");
    app.add_flag("--any-contest", anyContest, "take logs whatever contest their CONTEST: header names");
    app.add_option("--grace-days", settings.limits.graceDays, "the window closes this many days after the period")
        ->check(CLI::Range(0, 365));
    app.add_option("--window-end", windowEnd, "the window's end (\"2026-12-20 12:00\", UTC) instead of the rules'");
    app.add_option("--max-upload", maxUploadKiB, "largest log in KiB (default 4096)")->check(CLI::Range(1, 1 << 20));
    app.add_option("--per-minute", settings.limits.perMinute, "requests per address and minute (0: no limit)");
    app.add_option("--concurrent-uploads", settings.limits.concurrentUploads, "uploads checked at once")
        ->check(CLI::Range(1, 4096));
    app.add_option("--threads", threads, "connections served at once (default 8)")->check(CLI::Range(1, 1024));
    app.add_option("--read-timeout", readTimeout, "seconds a client may stay silent mid-request (default 10)")
        ->check(CLI::Range(1, 600));
    app.add_flag("--trust-proxy", trustProxy, "take the client's address from X-Forwarded-For (behind a proxy only)");
    app.add_flag("--new-token", newToken, "make a new committee token (the old one stops working)");
    app.add_option("--export", exportDir, "write the current set of logs into this new folder and exit");
    app.set_version_flag("--version", std::string("yolrobot ") + YOL_VERSION);
    app.footer("Exit status: 0 stopped by SIGINT or SIGTERM (or --export done), 2 usage error,\n"
               "3 the rules, the data folder or the port unusable.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }

    try {
        settings.rules.rules = rulesPath.empty() ? check::YolRules() : check::ParseRules(ReadText(rulesPath), rulesPath);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "yolrobot: %s\n", e.what());
        return 3;
    }
    settings.rules.contestNames = contests;
    settings.rules.anyContest = anyContest;
    settings.limits.maxUpload = maxUploadKiB * 1024;
    if (!windowEnd.empty()) {
        settings.windowEnd = check::ParseUtcMinute(windowEnd);
        if (settings.windowEnd == check::kNoMinute) {
            std::fprintf(stderr, "yolrobot: --window-end '%s' is no time (\"2026-12-20 12:00\")\n", windowEnd.c_str());
            return 2;
        }
    } else if (settings.rules.rules.end != check::kNoMinute) {
        settings.windowEnd = settings.rules.rules.end + settings.limits.graceDays * 24 * 60;
    }

    std::optional<contestlog::CountryFile> countries;
    try {
        countries.emplace(contestlog::CountryFile::Load(ctyPath));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "yolrobot: %s (scoring every operator as UA1 in EU)\n", e.what());
    }

    std::optional<robot::Store> store;
    try {
        store.emplace(dataDir);
        if (!exportDir.empty()) {
            const std::size_t n = store->Export(exportDir);
            std::printf("yolrobot: %zu logs written into %s\n", n, exportDir.c_str());
            return 0;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "yolrobot: %s\n", e.what());
        return 3;
    }
    robot::Service service(settings, *store, countries ? &*countries : nullptr,
                           [] { return static_cast<std::int64_t>(std::time(nullptr)); });
    service.onError = [](const std::string& what) { std::fprintf(stderr, "yolrobot: %s\n", what.c_str()); };
    if (newToken || !service.HasToken())
        std::printf("yolrobot: committee token (shown this once; only its hash is kept): %s\n",
                    service.NewToken().c_str());

    // SIGINT and SIGTERM stop the server from a thread of their own.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    httplib::Server server;
    server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server.set_payload_max_length(settings.limits.maxUpload + 64 * 1024);  // the form's fields beside the log
    server.set_read_timeout(readTimeout, 0);
    server.set_write_timeout(readTimeout, 0);
    server.set_keep_alive_timeout(5);
    server.set_keep_alive_max_count(20);
    auto handler = [&](const httplib::Request& req, httplib::Response& res) {
        Send(service.Handle(RequestOf(req, trustProxy)), res);
    };
    server.Get(".*", handler);
    server.Post(".*", handler);
    // What the library refuses itself (413, 400, unknown methods) gets words
    // and the same strict headers.
    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty()) return;
        std::string text = "refused: HTTP status " + std::to_string(res.status);
        if (res.status == 413) text = "refused: the upload is over the size limit";
        if (res.status == 400) text = "refused: a request this server cannot read";
        if (res.status == 414) text = "refused: the address is too long";
        if (res.status == 404) text = "refused: no such page";
        res.set_content(text + "\n", "text/plain; charset=utf-8");
        res.set_header("Content-Security-Policy", "default-src 'none'; frame-ancestors 'none'");
        res.set_header("X-Content-Type-Options", "nosniff");
    });

    int bound = port;
    if (port == 0) bound = server.bind_to_any_port(bind);
    else if (!server.bind_to_port(bind, port)) bound = -1;
    if (bound <= 0) {
        std::fprintf(stderr, "yolrobot: cannot listen on %s port %d\n", bind.c_str(), port);
        return 3;
    }
    std::printf("yolrobot: serving http://%s:%d/ (data in %s)\n", bind.c_str(), bound, dataDir.c_str());
    std::fflush(stdout);
    std::thread stopper([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.stop();
    });
    server.listen_after_bind();
    if (stopper.joinable()) {
        pthread_kill(stopper.native_handle(), SIGTERM);
        stopper.join();
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return Run(argc, argv); }
