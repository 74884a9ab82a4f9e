// What every tool's command line shares, on top of CLI11: the same reading of
// arguments on every system, the same help layout (CLI11's, ending with the
// exit statuses), the same way of telling a usage error ("prog: message").
// yolcheck, yolscore and yolloggen use the same words for the same things:
// --out is always a folder, --format always the output's format, -q leaves
// errors only, --version prints "prog VERSION", 2 is a usage error.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include <CLI/CLI.hpp>

namespace yol::cli {

inline constexpr int kUsageStatus = 2;

// CLI11 reads "/name" as an option on Windows by default; our tools take no
// such options, and a path may start with '/' (Wine hands Unix paths on), so
// arguments are read the same way everywhere.
inline CLI::App& Configure(CLI::App& app) {
    app.allow_windows_style_options(false);
    return app;
}

// The footer of --help: "Exit status:" and one line (or more) per status.
inline std::string ExitStatuses(std::initializer_list<std::pair<int, std::string_view>> statuses) {
    std::string out = "Exit status:";
    for (const auto& [status, meaning] : statuses) {
        out += "\n  " + std::to_string(status) + "  ";
        for (char c : meaning) out += c == '\n' ? std::string("\n     ") : std::string(1, c);
    }
    return out;
}

// A usage error as every tool tells it on stderr.
inline std::string UsageMessage(std::string_view prog, std::string_view message) {
    return std::string(prog) + ": " + std::string(message) + "\nRun with --help for more information.\n";
}

}  // namespace yol::cli
