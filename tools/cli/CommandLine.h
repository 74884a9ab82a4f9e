// What every tool's command line shares, on top of CLI11: the same reading of
// arguments on every system. Each tool keeps its own usage text, --help,
// --version and exit statuses (2 for a usage error).
#pragma once

#include <CLI/CLI.hpp>

namespace yol::cli {

// CLI11 reads "/name" as an option on Windows by default; our tools take no
// such options, and a path may start with '/' (Wine hands Unix paths on), so
// arguments are read the same way everywhere.
inline CLI::App& Configure(CLI::App& app) {
    app.allow_windows_style_options(false);
    return app;
}

}  // namespace yol::cli
