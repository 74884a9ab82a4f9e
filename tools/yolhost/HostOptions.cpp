// The host simulator's command line.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Host.h"
#include "win/TextConv.h"
#include "win/UniqueHandle.h"

namespace yol::host {
namespace {

constexpr const char* kUsage =
    "usage: yolhost [--dll PATH] [--db FILE] [--table Log] [--my-prefix UA1] [--my-continent EU]\n"
    "               [--title TEXT] [--contacts FILE] [--generate N] [--seed S] [--preload N]\n"
    "               [--recalc] [--hold-ms N] [--keep-open] [--keep-errors]\n"
    "       yolhost --bench N [--dll PATH] [--db FILE] [--table Log] [--seed S]\n";

[[noreturn]] void Usage(const std::string& problem) {
    std::fprintf(stderr, "yolhost: %s\n%s", problem.c_str(), kUsage);
    std::exit(2);
}

std::size_t Count(const std::string& option, const std::string& text) {
    char* end = nullptr;
    const unsigned long long n = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || text[0] == '-') Usage(option + " needs a number, not '" + text + "'");
    return static_cast<std::size_t>(n);
}

}  // namespace

Options ParseOptions() {
    int argc = 0;
    const yol::LocalMemory<LPWSTR> argv(CommandLineToArgvW(GetCommandLineW(), &argc));
    std::vector<std::string> args;
    for (int i = 1; argv && i < argc; ++i) args.push_back(yol::Utf8FromWide(argv.get()[i]));

    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) Usage(a + " needs a value");
            return args[++i];
        };
        if (a == "--dll") o.dll = yol::WideFromUtf8(value());
        else if (a == "--db") o.db = value();
        else if (a == "--table") o.table = value();
        else if (a == "--my-prefix") o.myPrefix = value();
        else if (a == "--my-continent") o.myContinent = value();
        else if (a == "--title") o.title = value();
        else if (a == "--contacts") o.contactsFile = value();
        else if (a == "--generate") o.generate = Count(a, value());
        else if (a == "--preload") o.preload = Count(a, value());
        else if (a == "--seed") o.seed = static_cast<std::uint32_t>(Count(a, value()));
        else if (a == "--hold-ms") o.holdMs = static_cast<int>(std::min<std::size_t>(Count(a, value()), 86400000));
        else if (a == "--bench") o.bench = Count(a, value());
        else if (a == "--keep-open") o.keepOpen = true;
        else if (a == "--keep-errors") o.keepErrors = true;
        else if (a == "--recalc") o.recalc = true;
        else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else Usage("unknown option " + a);
    }
    return o;
}

}  // namespace yol::host
