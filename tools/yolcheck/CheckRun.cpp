#include "CheckRun.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>

#include "cli/CommandLine.h"

#include "CrossCheck.h"
#include "Outputs.h"
#include "Parallel.h"
#include "Rules.h"
#include "SiteOf.h"
#include "contestlog/CountryFile.h"
#include "contestlog/LogFile.h"

#ifndef YOL_VERSION
#define YOL_VERSION "0"
#endif

namespace yol::check {
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
        into_.log.file = path;
    }

    void Station(std::string_view call) override {
        if (into_.log.call.empty()) into_.log.call = Upper(call);
    }
    void Header(std::string_view name, std::string_view value) override {
        if (name == "CALLSIGN" && into_.log.call.empty()) into_.log.call = Upper(value);
        if (name == "NAME" && into_.log.name.empty()) into_.log.name.assign(value);
        if (name.starts_with("CATEGORY")) {
            if (Upper(value).find("CHECKLOG") != std::string::npos) into_.log.checklog = true;
            if (name == "CATEGORY-OPERATOR" || name == "CATEGORY-BAND" || name == "CATEGORY-MODE" ||
                name == "CATEGORY-POWER" || name == "CATEGORY-ASSISTED" || name == "CATEGORY-TRANSMITTER" ||
                name == "CATEGORY-OVERLAY" || name == "CATEGORY") {
                if (!value.empty()) {
                    if (!into_.log.category.empty()) into_.log.category += ' ';
                    into_.log.category += Upper(value);
                }
            }
        }
        if (name == "CLAIMED-SCORE") {
            std::string digits;
            for (char c : value)
                if (c >= '0' && c <= '9') digits += c;
                else if (c != ',' && c != '.' && c != ' ') return;
            if (!digits.empty() && digits.size() < 18) into_.log.claimed = std::stoll(digits);
        }
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
        if (v.time == kNoMinute) {
            into_.messages.push_back(path_ + ":" + std::to_string(v.place) + ": the contact's time does not parse");
            ++into_.rejected;
        }
    }
    void Problem(const contestlog::LogProblem& p) override {
        if (p.severity == contestlog::Severity::Note) return;  // read and kept: nothing lost
        into_.messages.push_back(path_ + ":" + std::to_string(p.place) + ": " + p.message);
        ++into_.rejected;
    }

private:
    LoadedLog& into_;
    const std::string& path_;
    std::string_view file_;
    std::string sent_, received_;
};

std::string FileName(std::string call) {
    for (char& c : call)
        if (c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|')
            c = '_';
    return call;
}

bool WriteFile(const fs::path& path, std::string_view text, std::FILE* err) {
    std::ofstream out(path, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        std::fprintf(err, "yolcheck: cannot write %s\n", path.string().c_str());
        return false;
    }
    return true;
}

}  // namespace

LoadedLog LoadLog(const std::string& path, const contestlog::ReadOptions& options) {
    LoadedLog loaded;
    const contestlog::LogFile file = contestlog::LogFile::Open(path);
    std::error_code ec;
    const bool again = path != "-" && fs::is_regular_file(path, ec);  // can be read again for the quoted lines
    Loader sink(loaded, path, again ? file.Text() : std::string_view());
    contestlog::ReadLog(file, options, sink);
    loaded.log.contacts.shrink_to_fit();
    loaded.log.pool.shrink_to_fit();
    return loaded;
}

int RunCheck(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, const std::string& countryFile) {
    CLI::App app{"Cross-checks every submitted log of a contest against all the others and writes the\n"
                 "committee's reports, results and per-contact verdicts into --out DIR.",
                 "yolcheck"};
    cli::Configure(app);
    std::string rulesPath, outDir, ctyPath, htmlDir;
    std::vector<std::string> inputs;
    bool parseOnly = false, noOutputs = false;
    app.add_option("--rules", rulesPath, "contest rules (TOML); the YOL rules when not given");
    app.add_option("--out", outDir, "folder for reports/<CALL>.txt, results.csv, results.json, summary.txt, verdicts.csv");
    app.add_option("--cty", ctyPath, "country file for the YOL scoring (default: Debian's hamradio-files cty.dat)");
    app.add_option("--html", htmlDir, "also the results site: index.html, summary.html, log/<CALL>.html into DIR");
    app.add_flag("--parse-only", parseOnly, "read and parse every log, check nothing");
    app.add_flag("--no-outputs", noOutputs, "check every log but write nothing (for timing the check alone)");
    app.set_version_flag("--version", std::string("yolcheck ") + YOL_VERSION);
    app.add_option("logs", inputs, "log files, or a folder holding them")->required();
    app.footer(
        "Exit status: 0 everything read and checked, 1 something was rejected (logs, lines or\n"
        "contacts; each named with file and line on stderr; the rest checked), 2 usage error,\n"
        "3 the rules file, the output folder or every log unreadable.");

    std::vector<std::string> argv{"yolcheck"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<const char*> cargv;
    for (const auto& a : argv) cargv.push_back(a.c_str());
    try {
        app.parse(static_cast<int>(cargv.size()), cargv.data());
        if (!parseOnly && !noOutputs && outDir.empty()) throw CLI::RequiredError("--out");
    } catch (const CLI::ParseError& e) {
        std::ostringstream o, er;
        const int code = app.exit(e, o, er);
        std::fputs(o.str().c_str(), out);
        std::fputs(er.str().c_str(), err);
        return code == 0 ? kCheckClean : kCheckUsage;
    }

    const auto started = std::chrono::steady_clock::now();
    SetWorkerThreads(2);  // reading, the check and the outputs on two threads where the machine has two cores
    Rules rules = YolRules();
    if (!rulesPath.empty()) {
        std::ifstream in(rulesPath, std::ios::binary);
        if (!in) {
            std::fprintf(err, "yolcheck: cannot read the rules file %s\n", rulesPath.c_str());
            return kCheckUnreadable;
        }
        std::stringstream text;
        text << in.rdbuf();
        try {
            rules = ParseRules(text.str(), rulesPath);
        } catch (const RulesError& e) {
            std::fprintf(err, "%s\n", e.what());
            return kCheckUnreadable;
        }
    }

    // The files: each argument a log or a folder of them (its files, by name).
    std::vector<std::string> paths;
    for (const std::string& input : inputs) {
        std::error_code ec;
        if (fs::is_directory(input, ec)) {
            std::vector<std::string> inDir;
            for (const auto& entry : fs::directory_iterator(input, ec)) {
                const std::string name = entry.path().filename().string();
                if (!name.empty() && name[0] != '.' && entry.is_regular_file(ec)) inDir.push_back(entry.path().string());
            }
            std::sort(inDir.begin(), inDir.end());
            paths.insert(paths.end(), inDir.begin(), inDir.end());
        } else {
            paths.push_back(input);
        }
    }

    if (paths.empty()) {
        std::fprintf(err, "yolcheck: no log files given or found\n");
        return kCheckUnreadable;
    }

    std::optional<contestlog::CountryFile> countries;
    contestlog::ReadOptions options;
    if (rules.scoring == Scoring::Yol && !parseOnly) {
        try {
            countries = contestlog::CountryFile::Load(ctyPath.empty() ? countryFile : ctyPath);
            options.countries = &*countries;
        } catch (const std::exception& e) {
            std::fprintf(err, "yolcheck: %s: contacts without a country are scored as the log gives them\n", e.what());
        }
    }

    std::vector<SubmittedLog> logs;
    std::map<std::string, std::string> fileOfCall;
    std::size_t rejected = 0, unreadable = 0, contacts = 0;
    // Read on two threads; taken in the files' order.
    std::vector<LoadedLog> read(paths.size());
    std::vector<std::string> failures(paths.size());
    ForEachParallel(paths.size(), [&](std::size_t i) {
        try {
            read[i] = LoadLog(paths[i], options);
        } catch (const std::exception& e) {
            failures[i] = e.what();
            if (failures[i].empty()) failures[i] = paths[i] + ": cannot be read";
        }
    });
    for (std::size_t p = 0; p < paths.size(); ++p) {
        const std::string& path = paths[p];
        LoadedLog loaded = std::move(read[p]);
        if (!failures[p].empty()) {
            std::fprintf(err, "%s\n", failures[p].c_str());
            ++rejected;
            ++unreadable;
            continue;
        }
        for (const std::string& m : loaded.messages) std::fprintf(err, "%s\n", m.c_str());
        rejected += loaded.rejected;
        SubmittedLog& log = loaded.log;
        if (log.call.empty()) {
            std::fprintf(err, "%s:1: the log names no call of its own (CALLSIGN:, STATION_CALLSIGN): not checked\n",
                         path.c_str());
            ++rejected;
            continue;
        }
        auto [it, added] = fileOfCall.emplace(log.call, path);
        if (!added) {
            std::fprintf(err, "%s:1: a second log for %s (the first is %s): not checked\n", path.c_str(),
                         log.call.c_str(), it->second.c_str());
            ++rejected;
            continue;
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
    if (logs.empty() && !paths.empty() && unreadable == paths.size()) {
        std::fprintf(err, "yolcheck: no log could be read\n");
        return kCheckUnreadable;
    }
    if (parseOnly) {
        std::fprintf(out, "%zu logs, %zu contacts read\n", logs.size(), contacts);
        return rejected > 0 ? kCheckRejected : kCheckClean;
    }

    CheckResult result = CrossCheck(logs, rules, !htmlDir.empty());  // the site draws each contact's score
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
                const contestlog::LogFile file = contestlog::LogFile::Open(log.file);
                const std::string_view text = file.Text();
                for (std::uint32_t i : wanted) {
                    const CheckContact& c = log.contacts[i];
                    if (std::size_t{c.lineAt} + c.lineSize > text.size()) throw std::runtime_error("the file changed");
                    log.KeepLine(i, text.substr(c.lineAt, c.lineSize));
                }
            } catch (const std::exception& e) {
                problems[L] = log.file + ": lines to quote not read again (" + e.what() + ")";
            }
        });
        for (const std::string& p : problems)
            if (!p.empty()) std::fprintf(err, "%s\n", p.c_str());
    }
    for (std::size_t L = 0; L < logs.size(); ++L)
        for (std::size_t i = 0; i < logs[L].contacts.size(); ++i) {
            const ContactVerdict& v = result.logs[L].verdicts[i];
            if (v.verdict != Verdict::Period || logs[L].contacts[i].time == kNoMinute) continue;
            std::fprintf(err, "%s:%zu: outside the contest period: not scored\n", logs[L].file.c_str(),
                         static_cast<std::size_t>(logs[L].contacts[i].place));
            ++rejected;
        }
    result.summary.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (noOutputs) {
        std::fprintf(out, "%zu logs, %zu contacts checked in %.2f s; nothing written\n", logs.size(), contacts,
                     result.summary.seconds);
        return rejected > 0 ? kCheckRejected : kCheckClean;
    }

    std::error_code ec;
    const fs::path dir(outDir);
    fs::create_directories(dir / "reports", ec);
    if (ec) {
        std::fprintf(err, "yolcheck: cannot make %s: %s\n", (dir / "reports").string().c_str(), ec.message().c_str());
        return kCheckUnreadable;
    }
    // verdicts.csv beside the reports and results (on a second thread where
    // there is one).
    bool verdictsWritten = true, written = true;
    ForEachParallel(2, [&](std::size_t part) {
        if (part == 0) {
            try {
                std::ofstream v(dir / "verdicts.csv", std::ios::binary);
                WriteVerdictsCsv(v, logs, result, rules);
                v.close();
                verdictsWritten = static_cast<bool>(v);
            } catch (const std::exception&) {
                verdictsWritten = false;
            }
            return;
        }
        for (std::size_t L = 0; L < logs.size(); ++L)
            written &= WriteFile(dir / "reports" / (FileName(logs[L].call) + ".txt"), LogReport(logs, result, L, rules), err);
        written &= WriteFile(dir / "results.csv", ResultsCsv(result), err);
        written &= WriteFile(dir / "results.json", ResultsJson(result, rules), err);
    });
    if (!verdictsWritten) {
        std::fprintf(err, "yolcheck: cannot write %s\n", (dir / "verdicts.csv").string().c_str());
        written = false;
    }
    result.summary.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    written &= WriteFile(dir / "summary.txt", SummaryText(result, rules), err);
    if (!htmlDir.empty()) written &= WriteHtmlSite(logs, result, rules, htmlDir, err);
    if (!written) return kCheckUnreadable;
    std::fprintf(out, "%zu logs, %zu contacts checked in %.2f s; written to %s\n", logs.size(), contacts,
                 result.summary.seconds, outDir.c_str());
    return rejected > 0 ? kCheckRejected : kCheckClean;
}

}  // namespace yol::check
