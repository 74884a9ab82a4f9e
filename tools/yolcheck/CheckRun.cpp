#include "CheckRun.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>

#include "cli/CommandLine.h"

#include "CrossCheck.h"
#include "Outputs.h"
#include "Rules.h"
#include "SiteOf.h"
#include "contestlog/CountryFile.h"
#include "contestlog/LogFile.h"
#include "contestlog/LogHeader.h"
#include "contestlog/Parallel.h"
#include "contestlog/Text.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#ifndef YOL_VERSION
#define YOL_VERSION "0"
#endif

namespace yol::check {

using contestlog::ForEachParallel;
using contestlog::SetWorkerThreads;

namespace {

namespace fs = std::filesystem;

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// The exchange's tokens joined by single spaces, into `out`.
std::string_view Normalised(std::string_view text, std::string& out) {
    out.clear();
    for (std::string_view t : contestlog::ExchangeTokens(text)) {
        if (!out.empty()) out += ' ';
        out += t;
    }
    return out;
}

class Loader : public contestlog::LogSink {
public:
    // `file`: the file's bytes where lines can be read back from it later
    // (a regular file), else empty: lines are then kept.
    Loader(LoadedLog& into, const std::string& path, std::string_view file)
        : into_(into), path_(path), file_(file) {
        into_.log.path = path;
        into_.log.file = path == "-" ? std::string("(standard input)") : fs::path(path).filename().string();
    }

    void Station(std::string_view call) override { header_.Station(call); }
    void Header(std::string_view name, std::string_view value) override { header_.Take(name, value); }
    // The header's facts into the log, once it is read.
    void Finish() {
        into_.log.call = Upper(header_.call);
        into_.log.name = header_.name;
        into_.log.category = header_.CategoryText();
        into_.log.checklog = header_.checklog;
        into_.log.claimed = header_.Claimed();
        into_.log.club = header_.club;
        into_.log.declared = header_.categories;
    }
    void Contact(const contestlog::ContactView& v) override {
        ContactTexts t;
        t.band = v.band;
        t.mode = v.mode;
        t.frequency = v.frequency;
        t.ownCall = v.ownCall;
        t.call = v.call;
        t.sent = Normalised(v.sent, sent_);
        t.report = Normalised(v.report, received_);
        t.dxcc = v.dxcc;
        t.mainPrefix = v.mainPrefix;
        t.continent = v.continent;
        t.line = v.line;
        std::size_t lineInFile = kLineInPool;
        if (!file_.empty() && v.line.data() >= file_.data() && v.line.data() + v.line.size() <= file_.data() + file_.size())
            lineInFile = static_cast<std::size_t>(v.line.data() - file_.data());
        into_.log.Add(v.time, v.place, t, lineInFile);
        if (v.time == kNoMinute) into_.untimed.push_back(static_cast<std::uint32_t>(v.place));
    }
    void Problem(const contestlog::LogProblem& p) override {
        if (p.severity == contestlog::Severity::Note) return;  // read and kept: nothing lost
        (p.severity == contestlog::Severity::Incomplete ? into_.log.incomplete : into_.log.notRead)
            .push_back({static_cast<std::uint32_t>(p.place), p.message});
    }

private:
    LoadedLog& into_;
    const std::string& path_;
    std::string_view file_;
    std::string sent_, received_;
    contestlog::LogHeader header_;
};

}  // namespace

LoadedLog LoadLog(const std::string& path, const contestlog::ReadOptions& options) {
    LoadedLog loaded;
    const contestlog::LogFile file = contestlog::LogFile::Open(path);
    std::error_code ec;
    const bool again = path != "-" && fs::is_regular_file(path, ec);  // can be read again for the quoted lines
    Loader sink(loaded, path, again ? file.Text() : std::string_view());
    contestlog::ReadLog(file, options, sink);
    sink.Finish();
    loaded.log.contacts.shrink_to_fit();
    loaded.log.pool.shrink_to_fit();
    return loaded;
}

namespace {

bool IsTerminal(std::FILE* f) {
#ifdef _WIN32
    return _isatty(_fileno(f)) != 0;
#else
    return isatty(fileno(f)) != 0;
#endif
}

// stderr as yolcheck uses it: errors always, notes unless -q, and on a
// terminal one progress line, overwritten in place and cleared before any
// other message (never into a redirected stderr).
class Console {
public:
    Console(std::FILE* err, bool quiet) : err_(err), quiet_(quiet), terminal_(!quiet && IsTerminal(err)) {}
    ~Console() { Clear(); }
    void Error(const std::string& message) { Say(message); }
    void Note(const std::string& message) {
        if (!quiet_) Say(message);
    }
    void Progress(const std::string& message) {
        if (!terminal_) return;
        std::lock_guard lock(m_);
        std::fprintf(err_, "\r%s\033[K", message.c_str());
        std::fflush(err_);
        shown_ = true;
    }
    void Clear() {
        std::lock_guard lock(m_);
        ClearLocked();
    }

private:
    void Say(const std::string& message) {
        std::lock_guard lock(m_);
        ClearLocked();
        std::fprintf(err_, "%s\n", message.c_str());
    }
    void ClearLocked() {
        if (!shown_) return;
        std::fputs("\r\033[K", err_);
        shown_ = false;
    }
    std::FILE* err_;
    bool quiet_, terminal_, shown_ = false;
    std::mutex m_;
};

// A call as a message shows it: as it is where it is plain, else quoted with
// its odd bytes as '?' (a call cannot split a message over lines).
std::string ShownCall(std::string_view call) {
    for (char c : call)
        if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7E) return contestlog::Quoted(call);
    return std::string(call);
}

// "N things (first: line L: why)" or "line L: why" for one.
std::string Counted(std::size_t n, std::string_view one, std::string_view many, std::uint32_t first,
                    std::string_view why) {
    const std::string at = "line " + std::to_string(first) + (why.empty() ? std::string() : ": " + std::string(why));
    if (n == 1) return std::string(one) + " (" + at + ")";
    return std::to_string(n) + " " + std::string(many) + " (first: " + at + ")";
}

std::string Thousands(std::size_t n) {
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

}  // namespace

int RunCheck(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, const std::string& countryFile) {
    CLI::App app{"Cross-checks every submitted log of a contest against all the others and writes the\n"
                 "committee's reports, results and per-contact verdicts into --out DIR, the results\n"
                 "site into --html DIR, or both.",
                 "yolcheck"};
    cli::Configure(app);
    app.set_help_flag("-h,--help", "this help");
    std::string rulesPath, classesPath, outDir, ctyPath, htmlDir;
    std::vector<std::string> inputs, strict;
    bool parseOnly = false, replace = false, quiet = false, noOutputs = false;
    app.add_option("--rules", rulesPath, "the contest's rules (TOML); the YOL rules when not given")->type_name("FILE");
    app.add_option("--classes", classesPath,
                   "the committee's class for single logs: one \"CALL CLASS\" a line ('#' comments),\n"
                   "a class of the rules' [categories]; over the rules' [categories.calls]")->type_name("FILE");
    app.add_option("--out", outDir,
                   "the folder for reports/<CALL>.txt, results.csv, results.json, summary.txt,\n"
                   "verdicts.csv")->type_name("DIR");
    app.add_option("--html", htmlDir,
                   "the folder for the results site (index.html, summary.html, log/<CALL>.html)\n"
                   "with the same data files")->type_name("DIR");
    app.add_flag("--replace", replace, "replace what an earlier run wrote into --out / --html (its manifest says what)");
    app.add_option("--strict", strict, "verdicts of these kinds (codes: NIL,BUSTED,...) make the exit status 1")
        ->delimiter(',')->type_name("KIND,...");
    app.add_option("--cty", ctyPath, "the country file (default: Debian's /usr/share/hamradio-files/cty.dat)")
        ->type_name("FILE");
    app.add_flag("--parse-only", parseOnly, "read and parse every log, check nothing");
    app.add_flag("-q,--quiet", quiet, "print errors only");
    app.add_flag("--no-outputs", noOutputs, "check every log but write nothing (for timing the check alone)");
    app.set_version_flag("--version", std::string("yolcheck ") + YOL_VERSION, "the program's version");
    app.add_option("LOGS", inputs, "log files, or a folder holding them")->required();
    app.footer(cli::ExitStatuses({
        {kCheckClean, "every log read and every contact judged (verdicts are results, however many)"},
        {kCheckRejected, "input not used: a file that is no log, a line not read, a second log for a call,\n"
                         "a call too long (each named on stderr with file and line; the rest checked);\n"
                         "or a verdict of a kind given to --strict"},
        {kCheckUsage, "usage error, or an output folder refused (not empty, inside the log folder)"},
        {kCheckUnreadable, "the rules, the --classes file or the country file unreadable or wrong (file\n"
                           "and line), no log readable, the outputs not writable"},
    }));

    std::vector<std::string> argv{"yolcheck"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<const char*> cargv;
    for (const auto& a : argv) cargv.push_back(a.c_str());
    std::vector<bool> strictKinds(kVerdictCount, false);
    try {
        app.parse(static_cast<int>(cargv.size()), cargv.data());
        if (!parseOnly && !noOutputs && outDir.empty() && htmlDir.empty())
            throw CLI::RequiredError("--out or --html (where the results go)");
        for (const std::string& kind : strict) {
            bool known = false;
            for (std::size_t v = 0; v < kVerdictCount; ++v)
                if (Upper(kind) == VerdictCode(static_cast<Verdict>(v))) strictKinds[v] = known = true;
            if (!known) throw CLI::ValidationError("--strict", "no verdict is called " + kind);
        }
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), out);
        return kCheckClean;
    } catch (const CLI::CallForVersion&) {
        std::fprintf(out, "yolcheck %s\n", YOL_VERSION);
        return kCheckClean;
    } catch (const CLI::ParseError& e) {
        std::fputs(cli::UsageMessage("yolcheck", e.what()).c_str(), err);
        return kCheckUsage;
    }
    Console console(err, quiet);
    auto fail = [&](const std::string& message, int status) {
        console.Error("yolcheck: " + message);
        return status;
    };

    const auto started = std::chrono::steady_clock::now();
    SetWorkerThreads(2);  // reading, the check and the outputs on two threads where the machine has two cores
    Rules rules = YolRules();
    if (!rulesPath.empty()) {
        try {
            rules = LoadRules(rulesPath);
        } catch (const RulesError& e) {  // names the file (and line)
            console.Error(e.what());
            return kCheckUnreadable;
        }
    }
    if (!classesPath.empty()) {
        try {
            LoadClassOverrides(classesPath, rules.categories);
        } catch (const RulesError& e) {  // names the file and line
            console.Error(e.what());
            return kCheckUnreadable;
        }
    }

    // The files: each argument a log or a folder of them (its files, by
    // name). What a folder holds besides is named, not read.
    std::vector<std::string> paths;
    std::vector<fs::path> inputFolders;
    for (const std::string& input : inputs) {
        std::error_code ec;
        if (fs::is_directory(input, ec)) {
            inputFolders.emplace_back(input);
            std::vector<std::string> inDir;
            for (const auto& entry : fs::directory_iterator(input, ec)) {
                const std::string name = entry.path().filename().string();
                const std::string shown = entry.path().string();
                std::error_code sec;
                const fs::file_status link = entry.symlink_status(sec);
                const fs::file_status target = entry.status(sec);
                if (!name.empty() && name[0] == '.') {
                    console.Note(shown + ": skipped: a dot file (hidden), not read as a log");
                } else if (fs::is_directory(target)) {
                    console.Note(shown + ": skipped: a folder (logs are read from the folder itself, not below it)");
                } else if (fs::is_symlink(link) && !fs::exists(target)) {
                    console.Note(shown + ": skipped: a symbolic link to nothing");
                } else if (!fs::is_regular_file(target)) {
                    console.Note(shown + ": skipped: not a regular file");
                } else {
                    inDir.push_back(shown);
                }
            }
            if (ec) return fail(input + ": the folder cannot be listed: " + ec.message(), kCheckUnreadable);
            std::sort(inDir.begin(), inDir.end());
            paths.insert(paths.end(), inDir.begin(), inDir.end());
        } else {
            paths.push_back(input);
        }
    }
    if (paths.empty()) return fail("no log files given or found", kCheckUnreadable);

    // The output folders, checked (and their fresh folders made) before any work.
    std::optional<ResultFolder> outFolder, htmlFolder;
    if (!parseOnly) {
        try {
            if (!outDir.empty() && !htmlDir.empty()) {
                const fs::path a = fs::weakly_canonical(fs::absolute(outDir)), b = fs::weakly_canonical(fs::absolute(htmlDir));
                auto within = [](const fs::path& inner, const fs::path& outer) {
                    const auto [o, i] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
                    return o == outer.end();
                };
                if (within(a, b) || within(b, a))
                    throw FolderError("--out " + outDir + " and --html " + htmlDir +
                                      " overlap: give two separate folders (the site carries the data files too)");
            }
            if (!outDir.empty()) outFolder.emplace(outDir, inputFolders, replace);
            if (!htmlDir.empty()) htmlFolder.emplace(htmlDir, inputFolders, replace);
        } catch (const FolderError& e) {
            return fail(e.what(), e.unwritable ? kCheckUnreadable : kCheckUsage);
        }
    }

    std::optional<contestlog::CountryFile> countries;
    contestlog::ReadOptions options = ReadOptionsFor(rules, nullptr);
    // A country file named on the command line must load: without it every
    // score that needs it would change.
    if (!ctyPath.empty() || (rules.NeedsCountries() && !parseOnly)) {
        try {
            countries = contestlog::CountryFile::Load(ctyPath.empty() ? countryFile : ctyPath);
            options.countries = &*countries;
            rules.countries = &*countries;
        } catch (const std::exception& e) {
            if (!ctyPath.empty()) return fail(std::string(e.what()), kCheckUnreadable);
            console.Note(std::string("yolcheck: ") + e.what() +
                         ": contacts without a country are scored as the log gives them");
        }
    }

    // The site's country and continent columns: the country file also where
    // the scoring needs none (the contacts are then read without it).
    if (!countries && !htmlDir.empty() && !parseOnly) {
        try {
            countries = contestlog::CountryFile::Load(ctyPath.empty() ? countryFile : ctyPath);
        } catch (const std::exception&) {
            // no country columns
        }
    }
    std::vector<SubmittedLog> logs;
    std::map<std::string, std::string> fileOfCall;
    std::size_t logsRejected = 0, linesRejected = 0, unreadable = 0, contacts = 0;
    // Read on two threads; taken in the files' order.
    std::vector<LoadedLog> read(paths.size());
    std::vector<std::string> failures(paths.size());
    std::atomic<std::size_t> done{0};
    ForEachParallel(paths.size(), [&](std::size_t i) {
        try {
            read[i] = LoadLog(paths[i], options);
        } catch (const std::exception& e) {
            failures[i] = e.what();
            if (failures[i].empty()) failures[i] = paths[i] + ": cannot be read";
        }
        console.Progress("reading logs: " + std::to_string(++done) + " of " + std::to_string(paths.size()));
    });
    for (std::size_t p = 0; p < paths.size(); ++p) {
        const std::string& path = paths[p];
        LoadedLog loaded = std::move(read[p]);
        if (!failures[p].empty()) {
            console.Error(failures[p]);
            ++logsRejected;
            ++unreadable;
            continue;
        }
        SubmittedLog& log = loaded.log;
        if (!log.notRead.empty()) {
            console.Error(path + ": " + Counted(log.notRead.size(), "a line not read", "lines not read",
                                                log.notRead.front().line, log.notRead.front().reason));
            linesRejected += log.notRead.size();
        }
        if (!loaded.untimed.empty())
            console.Note(path + ": " + Counted(loaded.untimed.size(), "a contact without a time that parses",
                                               "contacts without a time that parses", loaded.untimed.front(),
                                               "judged PERIOD"));
        if (log.call.empty()) {
            console.Error(path + ":1: the log names no call of its own (CALLSIGN:, STATION_CALLSIGN): not checked");
            ++logsRejected;
            continue;
        }
        if (log.call.size() > kMaxCallLength) {
            console.Error(path + ":1: the log's call " + contestlog::Quoted(log.call) + " is " + std::to_string(log.call.size()) +
                          " characters long, a call at most " + std::to_string(kMaxCallLength) + ": not checked");
            ++logsRejected;
            continue;
        }
        auto [it, added] = fileOfCall.emplace(log.call, path);
        if (!added) {
            console.Error(path + ":1: a second log for " + ShownCall(log.call) + " (the first is " + it->second +
                          "): not checked");
            ++logsRejected;
            continue;
        }
        if (countries) {
            if (const contestlog::Country* c = countries->Lookup(log.call)) {
                log.country.assign(c->name);
                log.continent.assign(c->continent);
            }
        }
        if (options.countries) {
            if (const contestlog::Country* c = options.countries->Lookup(log.call)) {
                log.myPrefix.assign(c->hostPrefix);
                log.myContinent.assign(c->continent);
            }
        }
        if (log.myPrefix.empty()) log.myPrefix = "UA1";
        if (log.myContinent.empty()) log.myContinent = "EU";
        contacts += log.contacts.size();
        logs.push_back(std::move(log));
    }
    const bool inputRejected = logsRejected > 0 || linesRejected > 0;
    if (logs.empty() && unreadable == paths.size()) return fail("no log could be read", kCheckUnreadable);
    if (parseOnly) {
        console.Clear();
        if (!quiet) std::fprintf(out, "%zu logs, %zu contacts read\n", logs.size(), contacts);
        return inputRejected ? kCheckRejected : kCheckClean;
    }

    console.Progress("matching " + Thousands(contacts) + " contacts of " + Thousands(logs.size()) + " logs");
    CheckResult result = CrossCheck(logs, rules, true);  // the reports and the site give points per band
    // The lines the outputs quote, read back from their files.
    {
        const std::vector<std::vector<std::uint32_t>> quoted = QuotedContacts(logs, result);
        std::vector<std::string> problems(logs.size());
        ForEachParallel(logs.size(), [&](std::size_t L) {
            SubmittedLog& log = logs[L];
            std::vector<std::uint32_t> wanted;
            for (std::uint32_t i : quoted[L])
                if (log.contacts[i].lineInFile) wanted.push_back(i);
            if (wanted.empty()) return;
            try {
                const contestlog::LogFile file = contestlog::LogFile::Open(log.path);
                const std::string_view text = file.Text();
                // The pool grows once, by what it takes: doubling a huge log's pool would cost it twice over.
                std::size_t more = 0;
                for (std::uint32_t i : wanted) more += log.contacts[i].lineSize;
                log.pool.reserve(log.pool.size() + more);
                for (std::uint32_t i : wanted) {
                    const CheckContact& c = log.contacts[i];
                    if (std::size_t{c.lineAt} + c.lineSize > text.size()) throw std::runtime_error("the file changed");
                    log.KeepLine(i, text.substr(c.lineAt, c.lineSize));
                }
            } catch (const std::exception& e) {
                problems[L] = log.path + ": lines to quote not read again (" + e.what() + ")";
            }
        });
        for (const std::string& p : problems)
            if (!p.empty()) console.Error(p);
    }
    std::size_t strictCount = 0;
    std::string strictKindsSeen;
    for (std::size_t v = 0; v < kVerdictCount; ++v) {
        if (!strictKinds[v] || result.summary.counts[v] == 0) continue;
        strictCount += result.summary.counts[v];
        strictKindsSeen += (strictKindsSeen.empty() ? "" : ", ") + Thousands(result.summary.counts[v]) + " " +
                           std::string(VerdictCode(static_cast<Verdict>(v)));
    }
    result.summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (noOutputs) {
        std::fprintf(out, "%zu logs, %zu contacts checked in %.2f s; nothing written\n", logs.size(), contacts,
                     result.summary.seconds);
        return inputRejected || strictCount > 0 ? kCheckRejected : kCheckClean;
    }

    // The data files, into the first folder; the site's folder gets its pages and a copy of them.
    constexpr const char* kDataFiles[] = {"results.csv", "results.json", "verdicts.csv"};
    try {
        ResultFolder& data = outFolder ? *outFolder : *htmlFolder;
        console.Progress("writing " + Thousands(logs.size()) + " reports");
        // verdicts.csv beside the reports and results (on a second thread where there is one).
        std::exception_ptr failed[2];
        ForEachParallel(2, [&](std::size_t part) {
            try {
                if (part == 0) {
                    data.Write("verdicts.csv", [&](std::ostream& o) { WriteVerdictsCsv(o, logs, result, rules); });
                    return;
                }
                for (std::size_t L = 0; L < logs.size(); ++L) {
                    const std::string text = LogReport(logs, result, L, rules);
                    data.Write(ReportName(logs[L].call), text);
                    if (htmlFolder && outFolder) htmlFolder->Write(ReportName(logs[L].call), text);
                }
                data.Write("results.csv", ResultsCsv(result));
                data.Write("results.json", ResultsJson(result, rules));
            } catch (...) {
                failed[part] = std::current_exception();
            }
        });
        for (const std::exception_ptr& f : failed)
            if (f) std::rethrow_exception(f);
        result.summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (outFolder) outFolder->Write("summary.txt", SummaryText(result, rules));
        if (htmlFolder) {
            console.Progress("writing the site: " + Thousands(logs.size()) + " log pages");
            if (outFolder)
                for (const char* name : kDataFiles)
                    htmlFolder->Write(name, [&](std::ostream& o) {
                        std::ifstream in(outFolder->Written(name), std::ios::binary);
                        o << in.rdbuf();
                    });
            WriteSiteFiles(SiteOf(logs, result, rules, true), *htmlFolder);
        }
        if (outFolder) outFolder->Commit();
        if (htmlFolder) htmlFolder->Commit();
    } catch (const FolderError& e) {
        return fail(e.what(), kCheckUnreadable);
    }
    console.Clear();

    if (!quiet) {
        std::string written;
        if (outFolder)
            written += outDir + " (" + Thousands(logs.size()) + " reports, results.csv, results.json, summary.txt, verdicts.csv)";
        if (htmlFolder)
            written += (written.empty() ? "" : " and ") + htmlDir + " (the site, " +
                       Thousands(htmlFolder->Files()) + " files)";
        std::string rejected;
        if (logsRejected > 0) rejected += Thousands(logsRejected) + (logsRejected == 1 ? " log" : " logs");
        if (linesRejected > 0)
            rejected += (rejected.empty() ? "" : ", ") + Thousands(linesRejected) + (linesRejected == 1 ? " line" : " lines");
        std::fprintf(out, "%zu logs, %zu contacts checked in %.2f s; written to %s; not used: %s\n", logs.size(),
                     contacts, result.summary.seconds, written.c_str(), rejected.empty() ? "nothing" : rejected.c_str());
    }
    if (strictCount > 0) console.Error("yolcheck: --strict: " + strictKindsSeen);
    return inputRejected || strictCount > 0 ? kCheckRejected : kCheckClean;
}

}  // namespace yol::check
