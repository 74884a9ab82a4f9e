// yolscore's run, step by step: the command line, the country file, the log
// read into the contact store, the operator, the scoring, the output.
#include "cli/CommandLine.h"
#include "cli/ResultFolder.h"
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>

#include "contestlog/ContactStore.h"
#include "contestlog/LogFile.h"
#include "Outputs.h"
#include "OwnPage.h"
#include "Scorer.h"
#include "contestlog/CountryFile.h"
#include "scoring/Report.h"
#ifdef YOL_SCORER_RULES
#include "CheckRun.h"
#include "RulesScore.h"
#endif

#ifndef YOL_VERSION
#define YOL_VERSION "0"
#endif

namespace yol::score {

const char* const kVersion = "yolscore " YOL_VERSION;

namespace {

// "line" where a place is a line number (Cabrillo, .adi), else "record".
std::string_view PlaceWord(contestlog::LogFormat format) noexcept {
    return format == contestlog::LogFormat::Cabrillo || format == contestlog::LogFormat::Adi
               ? "line"
               : "record";
}

// A format's name with "a" or "an" before it.
std::string WithArticle(contestlog::LogFormat format) {
    const std::string name(contestlog::FormatName(format));
    return (!name.empty() && std::strchr("AEIOU", name[0]) ? "an " : "a ") + name;
}

// ---- the command line -------------------------------------------------------------

struct Options {
    std::string helpText;  // --help: CLI11's layout, the exit statuses last
    bool quiet = false;    // -q: errors only on stderr
    std::string input, table;
    bool tableGiven = false, dbGiven = false;
    std::optional<std::string> myPrefix, myContinent, cty;
    std::string html;  // --html DIR
    bool replace = false;  // --replace: what an earlier run wrote into DIR goes
    std::string rules; // --rules FILE
    Order order = Order::CallSign;
    Format format = Format::Text;
    bool audit = false, summary = false, parseOnly = false, help = false, version = false;
};

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

Options ParseCommandLine(const std::vector<std::string>& args) {
    Options o;
    CLI::App app("Prints the statistics report of a contest log (SQLite, Cabrillo, ADIF .adi or .adx,\n"
                 "found from the content) exactly as the module's window shows it after a\n"
                 "recalculation. FILE may be - (standard input) or a pipe. Messages go to stderr,\n"
                 "each rejected line or record with file and line or record.",
                 "yolscore");
    cli::Configure(app);
    app.set_help_flag();  // -h/--help below: the help is printed by the caller
    app.allow_extras();   // unknown options reported below, by name
    app.positionals_at_end(false);
    std::string db, table, prefix, continent, cty, format;
    std::vector<std::string> files;
    bool logOrder = false;
    auto* dbOption = app.add_option("--db", db,
                                    "a SQLite log, scored as the host's table stands and in the order the\n"
                                    "database gives by call sign")->type_name("FILE");
    auto* tableOption = app.add_option("--table", table, "the SQLite log's table (default Log), plain or as SQL quotes it (\"My Log\")")->type_name("T");
    auto* prefixOption = app.add_option("--my-prefix", prefix,
                                        "the operator's DXCC prefix (UA1, UA2, UA9, ...); default: that of the\n"
                                        "log's own call sign through the country file, else UA1")->type_name("P");
    auto* continentOption = app.add_option("--my-continent", continent,
                                           "the operator's continent (EU, AS, ...); default as --my-prefix, else EU")
                                ->type_name("C");
    auto* ctyOption = app.add_option("--cty", cty,
                                     "the country file (default: cty.dat beside yolscore.exe on Windows,\n"
                                     "Debian's /usr/share/hamradio-files/cty.dat elsewhere)")->type_name("FILE");
    auto* formatOption = app.add_option("--format", format, "the output's format: text (default), json or csv")
                             ->type_name("F");
    app.add_option("--html", o.html,
                   "also the log's page (index.html: contacts per hour by band, band activity,\n"
                   "running score, dupes), scored in time order, into this folder")->type_name("DIR");
    app.add_flag("--replace", o.replace, "replace what an earlier run wrote into --html (its manifest says what)");
    app.add_option("--rules", o.rules,
                   "score under a cross-check rules file (TOML, as yolcheck --rules): the log\n"
                   "alone, as the entrant's own program scores it; prints the score, contacts,\n"
                   "points and multipliers per band and the claimed score beside it (the YOL\n"
                   "rules: the report)")->type_name("FILE");
    app.add_flag("--log-order", logOrder,
                 "score in the file's order, as a host adding the contacts live would\n"
                 "(default: call-sign order, as the recalculation does)");
    app.add_flag("--audit", o.audit, "one line per contact: place, call, band, mode, points or the contact it\n"
                                     "repeats, new district and new country");
    app.add_flag("--summary", o.summary, "a plain-text summary for a score-posting form");
    app.add_flag("--parse-only", o.parseOnly, "read and map the whole log, no scoring; prints the count");
    app.add_flag("-q,--quiet", o.quiet, "print errors only");
    app.add_flag("-h,--help", o.help, "this help");
    app.add_flag("--version", o.version, "the program's version");
    app.add_option("FILE", files, "the log");
    app.footer(cli::ExitStatuses({
        {kClean, "every contact scored (notes on some may be printed)"},
        {kRejected, "some lines or records not read (each named with file and line; the rest scored)"},
        {kUsageError, "usage error, or the --html folder refused (holds files, a symbolic link)"},
        {kUnreadable, "the log or the country file it needs could not be read"},
        {kUnwritten, "the report or the --html folder could not be written"},
    }));
    for (CLI::Option* option : app.get_options())
        option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.get_option("FILE")->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);

    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ArgumentMismatch& e) {
        const std::string what = e.what();
        throw UsageError(what.substr(0, what.find(':')) + " needs a value");
    } catch (const CLI::ParseError& e) {
        throw UsageError(e.what());
    }
    for (const std::string& extra : app.remaining())
        if (extra.size() > 1 && extra[0] == '-') throw UsageError("unknown option " + extra);
    if (o.help || o.version) {
        o.helpText = app.help();
        return o;
    }

    auto input = [&](const std::string& path) {
        if (!o.input.empty()) throw UsageError("one log at a time (" + o.input + " and " + path + ")");
        if (path.empty()) throw UsageError("empty file name");
        o.input = path;
    };
    if (*dbOption) {
        input(db);
        o.dbGiven = true;
    }
    for (const std::string& file : files) input(file);
    if (*tableOption) {
        o.table = table;
        o.tableGiven = true;
    }
    if (*prefixOption) o.myPrefix = prefix;
    if (*continentOption) o.myContinent = continent;
    if (*ctyOption) o.cty = cty;
    if (*formatOption) {
        if (format == "text") o.format = Format::Text;
        else if (format == "json") o.format = Format::Json;
        else if (format == "csv") o.format = Format::Csv;
        else throw UsageError("--format is text, json or csv, not '" + format + "'");
    }
    if (logOrder) o.order = Order::Log;
    if (o.input.empty()) throw UsageError("no log given");
    if (o.summary && (o.audit || o.format != Format::Text))
        throw UsageError("--summary is plain text and goes with neither --audit nor --format");
    if (o.parseOnly && (o.audit || o.summary))
        throw UsageError("--parse-only scores nothing: no --audit or --summary with it");
    if (o.parseOnly && !o.html.empty()) throw UsageError("--parse-only scores nothing: no --html with it");
    if (o.replace && o.html.empty()) throw UsageError("--replace applies to the --html folder: give --html DIR");
    return o;
}

// ---- the run ------------------------------------------------------------------------

// Something that ends the run with a message and an exit status.
struct Stop {
    int status;
    std::string message;
};

struct Operator {
    std::string prefix, continent;
};

class Run {
public:
    Run(const Options& o, Output& out, Output& err, const std::string& countryFile)
        : o_(o), out_(out), err_(err), defaultCountryFile_(countryFile) {}

    int Go();

private:
    void Say(const std::string& text) { err_.Write("yolscore: " + text + "\n"); }
    // A note: nothing lost, silenced by -q.
    void Note(const std::string& text) {
        if (!o_.quiet) Say(text);
    }
    void OpenLog();
    void LoadCountries();
    contestlog::ReadOptions ReadOptionsFor() const;
    void ReportProblem(const contestlog::LogProblem& p);
    int ParseOnly();
#ifdef YOL_SCORER_RULES
    int ScoreByRules(check::Rules& rules);
#endif
    void ReadStore(ContactStore& store, contestlog::LogSink* through = nullptr);
    Operator ChooseOperator(const std::string& station);
    LogFacts Facts(const ContactStore& store) const;
    std::size_t Score(const ContactStore& store, const Operator& me, TScoreBook& book);
    void WriteReport(const ContactStore& store, const Operator& me, const TScoreBook& book,
                     std::size_t duplicates);

    const Options& o_;
    Output &out_, &err_;
    std::string defaultCountryFile_;
    std::optional<contestlog::CountryFile> countries_;
    std::string ctyPath_, ctyError_;
    contestlog::LogFile log_;
    contestlog::LogFormat format_ = contestlog::LogFormat::Unknown;
    std::size_t rejected_ = 0, notes_ = 0;
    std::vector<std::size_t> exchangeCounts_;  // the exchange of --rules, where given
};

void Run::OpenLog() {
    log_ = contestlog::LogFile::Open(o_.input);
    format_ = log_.Format();
    const bool sqlite = format_ == contestlog::LogFormat::Sqlite;
    if (o_.dbGiven && !sqlite)
        throw Stop{kUsageError, o_.input + " is " + WithArticle(format_) +
                                    " log, not a SQLite database: give it without --db"};
    if (o_.tableGiven && !sqlite)
        throw Stop{kUsageError, "--table applies to SQLite logs; " + o_.input + " is " + WithArticle(format_) +
                                    " log"};
}

void Run::LoadCountries() {
    // An explicit country file must load; the default one only matters
    // when something needs it.
    ctyPath_ = o_.cty.value_or(defaultCountryFile_);
    std::error_code ec;
    try {
        if (std::filesystem::is_directory(ctyPath_, ec)) throw std::runtime_error(ctyPath_ + " is a directory");
        std::vector<contestlog::CountryFileProblem> problems;
        countries_.emplace(contestlog::CountryFile::Load(ctyPath_, &problems));
        // A damaged entry changes scores: said like a log's rejected line.
        for (const contestlog::CountryFileProblem& p : problems) {
            ++rejected_;
            Say(ctyPath_ + ": line " + std::to_string(p.line) + ": " + p.message);
        }
    } catch (const std::exception& e) {
        if (o_.cty) throw Stop{kUnreadable, e.what()};
        ctyError_ = e.what();
    }
}

// A SQLite log is the host's table: scored as it stands (nothing filled
// from the country file) and, in call-sign order, in the order the
// database's own "order by CallSign" gives, as the window's recalculation.
contestlog::ReadOptions Run::ReadOptionsFor() const {
    contestlog::ReadOptions read;
    const bool sqlite = format_ == contestlog::LogFormat::Sqlite;
    read.countries = countries_ && !sqlite ? &*countries_ : nullptr;
    if (o_.tableGiven) read.table = o_.table;
    read.callSignOrder = sqlite && o_.order == Order::CallSign;
    read.exchangeCounts = exchangeCounts_;
    return read;
}

void Run::ReportProblem(const contestlog::LogProblem& p) {
    const bool note = p.severity != contestlog::Severity::Rejected;
    ++(note ? notes_ : rejected_);
    if (note && o_.quiet) return;
    Say(o_.input + ": " + std::string(PlaceWord(format_)) + " " + std::to_string(p.place) + ": " +
        (note ? "note: " : "") + p.message);
}

// Counts what the reader hands over, and nothing else.
class CountingSink : public contestlog::LogSink {
public:
    std::function<void(const contestlog::LogProblem&)> onProblem;
    std::size_t contacts = 0;
    void Contact(const contestlog::ContactView&) override { ++contacts; }
    void Problem(const contestlog::LogProblem& p) override { onProblem(p); }
};

int Run::ParseOnly() {
    CountingSink sink;
    sink.onProblem = [this](const contestlog::LogProblem& p) { ReportProblem(p); };
    contestlog::ReadLog(log_, ReadOptionsFor(), sink);
    out_.Write(std::to_string(sink.contacts) + " contacts read from " + o_.input + " (" +
               std::string(contestlog::FormatName(format_)) + ")\n");
    return rejected_ ? kRejected : kClean;
}

void Run::ReadStore(ContactStore& store, contestlog::LogSink* through) {
    store.onProblem = [this](const contestlog::LogProblem& p) { ReportProblem(p); };
    contestlog::ReadLog(log_, ReadOptionsFor(), through ? *through : store);
    log_.Release();  // the store holds copies of all it needs
    if (!countries_ && format_ != contestlog::LogFormat::Sqlite && store.WithoutCountry() > 0)
        throw Stop{kUnreadable, o_.input + ": " + std::to_string(store.WithoutCountry()) +
                                    " contacts carry no DXCC prefix and the country file cannot be read (" +
                                    ctyError_ + "); give one with --cty FILE"};
}

// Options first, then the log's own call sign, then (a log naming no call)
// UA1 in EU.
Operator Run::ChooseOperator(const std::string& station) {
    Operator chosen{o_.myPrefix.value_or(""), o_.myContinent.value_or("")};
    if (o_.myPrefix && o_.myContinent) return chosen;
    if (station.empty()) {
        if (!o_.myPrefix) chosen.prefix = "UA1";
        if (!o_.myContinent) chosen.continent = "EU";
        Note("the log names no call sign of its own: scoring as " + chosen.prefix + " in " +
            chosen.continent + " (--my-prefix, --my-continent)");
        return chosen;
    }
    if (!countries_)
        throw Stop{kUnreadable, "the log's own call sign " + station +
                                    " needs the country file, which cannot be read (" + ctyError_ +
                                    "); give --my-prefix and --my-continent or --cty FILE"};
    const contestlog::Country* country = countries_->Lookup(station);
    if (!country)
        throw Stop{kUsageError, "the log's own call sign " + station + " is in no country of " + ctyPath_ +
                                    ": give the operator's --my-prefix and --my-continent"};
    if (!o_.myPrefix) chosen.prefix = country->hostPrefix;
    if (!o_.myContinent) chosen.continent = country->continent;
    return chosen;
}

LogFacts Run::Facts(const ContactStore& store) const {
    LogFacts facts;
    facts.claimedScore = store.ClaimedScore();
    facts.placeWord = PlaceWord(format_);
    facts.rejected = rejected_;
    facts.notes = notes_;
    return facts;
}

// Scores the stored contacts into the book; the audit, where asked for, is
// written as it goes. Returns the number of duplicates.
std::size_t Run::Score(const ContactStore& store, const Operator& me, TScoreBook& book) {
    // A database gave its rows in call-sign order already.
    const bool sort = o_.order == Order::CallSign && format_ != contestlog::LogFormat::Sqlite;
    const std::vector<std::uint32_t> order = sort ? store.CallSignOrder() : std::vector<std::uint32_t>();
    const std::vector<std::uint32_t>* scoringOrder = sort ? &order : nullptr;
    std::size_t duplicates = 0;
    if (o_.audit) {
        const std::string_view placeWord = PlaceWord(format_);
        if (o_.format == Format::Json) out_.Write(AuditJsonOpen(o_.order));
        if (o_.format == Format::Csv) out_.Write(kAuditCsvHeader);
        bool first = true;
        duplicates = ScoreContacts(store, scoringOrder, me.prefix, me.continent, book, [&](const AuditEntry& a) {
            switch (o_.format) {
                case Format::Json: out_.Write((first ? "\n" : ",\n") + AuditJson(a)); break;
                case Format::Csv: out_.Write(AuditCsv(a)); break;
                case Format::Text: out_.Write(AuditText(a, placeWord)); break;
            }
            first = false;
        });
    } else {
        duplicates = ScoreContacts(store, scoringOrder, me.prefix, me.continent, book);
    }
    Note(std::to_string(store.Size()) + " contacts scored in " + std::string(OrderName(o_.order)) +
        " order as " + me.prefix + " in " + me.continent);
    return duplicates;
}

// The one output block: the summary, or the report (closing the audit).
void Run::WriteReport(const ContactStore& store, const Operator& me, const TScoreBook& book,
                      std::size_t duplicates) {
    const LogFacts facts = Facts(store);
    const std::vector<TStatistic>& tallies = book.Tallies();
    if (o_.summary) {
        SummaryInfo info;
        info.station = store.StationCall();
        info.myPrefix = me.prefix;
        info.myContinent = me.continent;
        info.logPath = o_.input;
        info.order = o_.order;
        info.contacts = store.Size();
        info.duplicates = duplicates;
        info.facts = facts;
        out_.Write(SummaryText(tallies, info));
        return;
    }
    switch (o_.format) {
        case Format::Json:
            out_.Write(o_.audit ? AuditJsonClose(tallies, facts) : ReportJson(tallies, o_.order, facts));
            break;
        case Format::Csv:
            if (!o_.audit) out_.Write(ReportCsv(tallies));
            break;
        case Format::Text: out_.Write((o_.audit ? "\n" : "") + BuildReport(tallies) + "\n"); break;
    }
}

#ifdef YOL_SCORER_RULES
// A log scored alone under per-contact rules, through the cross-check's scoring.
int Run::ScoreByRules(check::Rules& rules) {
    if (o_.audit || o_.summary || !o_.html.empty() || o_.format != Format::Text || o_.dbGiven || o_.parseOnly)
        throw Stop{kUsageError, "--rules " + o_.rules + " scores per contact and prints its own report: no --audit, "
                                "--summary, --html, --format, --db or --parse-only with it"};
    LoadCountries();
    if (rules.NeedsCountries() && !countries_)
        throw Stop{kUnreadable, "the rules " + o_.rules + " need the country file, which cannot be read (" + ctyError_ +
                                    "); give one with --cty FILE"};
    rules.countries = countries_ ? &*countries_ : nullptr;
    const check::LoadedLog loaded = check::LoadLog(o_.input, check::ReadOptionsFor(rules, rules.countries));
    for (const check::NotRead& n : loaded.log.incomplete)
        Note(loaded.log.file + ": line " + std::to_string(n.line) + ": note: " + n.reason);
    for (const check::NotRead& n : loaded.log.notRead)
        Say(loaded.log.file + ": line " + std::to_string(n.line) + ": " + n.reason);
    rejected_ += loaded.log.notRead.size();
    const check::AloneScore score = check::ScoreAlone(loaded.log, rules);
    out_.Write(RulesScoreText(loaded.log, rules, o_.rules, score));
    return rejected_ ? kRejected : kClean;
}
#endif

int Run::Go() {
#ifndef YOL_SCORER_RULES
    // The Windows build ships without the cross-check's engine.
    if (!o_.rules.empty())
        throw Stop{kUsageError, "--rules needs the cross-check's rules, which this build leaves out; score the log "
                                "under " + o_.rules + " with the native yolscore or yolcheck"};
#else
    if (!o_.rules.empty()) {
        check::Rules rules;
        try {
            rules = check::LoadRules(o_.rules);
        } catch (const check::RulesError& e) {
            throw Stop{kUnreadable, e.what()};
        }
        if (rules.scoring != check::Scoring::Yol) return ScoreByRules(rules);
        exchangeCounts_ = rules.ExchangeCounts();
    }
#endif
    // The page's folder, checked (and its fresh folder made) before any work.
    std::optional<cli::ResultFolder> folder;
    if (!o_.html.empty()) {
        try {
            folder.emplace(o_.html, std::vector<std::filesystem::path>{}, o_.replace);
        } catch (const cli::FolderError& e) {
            throw Stop{e.unwritable ? kUnwritten : kUsageError, e.what()};
        }
    }
    OpenLog();
    LoadCountries();
    if (o_.parseOnly) return ParseOnly();
    ContactStore store(o_.audit || !o_.html.empty());
    std::optional<OwnPage> page;
    if (!o_.html.empty()) page.emplace(store);
    ReadStore(store, page ? &page->Recorder() : nullptr);
    const Operator me = ChooseOperator(store.StationCall());
    TScoreBook book;
    const std::size_t duplicates = Score(store, me, book);
    WriteReport(store, me, book, duplicates);
    if (page) {
        try {
            folder->Write("index.html", page->Html(store, o_.input, me.prefix, me.continent));
            folder->Commit();
        } catch (const cli::FolderError& e) {
            throw Stop{kUnwritten, e.what()};
        }
    }
    return rejected_ ? kRejected : kClean;
}

}  // namespace

int RunScorer(const std::vector<std::string>& args, std::FILE* out, std::FILE* err,
              const std::string& countryFile) {
    Output report(out), messages(err);
    auto finish = [&](int status) {
        if (report.Finish()) return status;
        messages.Write(std::string("yolscore: cannot write the report: ") + std::strerror(report.Error()) + "\n");
        messages.Finish();
        return static_cast<int>(kUnwritten);
    };
    Options o;
    try {
        o = ParseCommandLine(args);
    } catch (const UsageError& e) {
        messages.Write(cli::UsageMessage("yolscore", e.what()));
        messages.Finish();
        return kUsageError;
    }
    if (o.help || o.version) {
        report.Write(o.help ? o.helpText : std::string(kVersion) + "\n");
        return finish(kClean);
    }
    int status = kClean;
    Run run(o, report, messages, countryFile);
    try {
        status = run.Go();
    } catch (const Stop& stop) {
        messages.Write("yolscore: " + stop.message + "\n");
        status = stop.status;
    } catch (const std::exception& e) {  // the log could not be read
        messages.Write(std::string("yolscore: ") + e.what() + "\n");
        status = kUnreadable;
    }
    return finish(status);
}

}  // namespace yol::score
