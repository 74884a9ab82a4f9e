// yolscore's command line: options, reading, scoring and printing.
#include <functional>
#include <optional>
#include <stdexcept>
#include <thread>

#include "Scorer.h"
#include "contestlog/CountryFile.h"
#include "scoring/Report.h"

namespace yol::score {

const char* const kUsage =
    "usage: yolscore [options] FILE\n"
    "       yolscore [options] --db FILE [--table Log]\n"
    "Prints the statistics report of a contest log (SQLite, Cabrillo, ADIF .adi or .adx,\n"
    "found from the content) exactly as the module's window shows it after a recalculation.\n"
    "  --db FILE           a SQLite log; --table names its table (default Log)\n"
    "  --my-prefix P       the operator's DXCC prefix (UA1, UA2, UA9, ...)\n"
    "  --my-continent C    the operator's continent (EU, AS, ...)\n"
    "                      both default to those of the log's own call sign (Cabrillo\n"
    "                      CALLSIGN:, ADIF STATION_CALLSIGN or OPERATOR) through the\n"
    "                      country file, else to UA1 and EU\n"
    "  --cty FILE          the country file (default: cty.dat beside yolscore.exe on\n"
    "                      Windows, Debian's /usr/share/hamradio-files/cty.dat elsewhere);\n"
    "                      needed only for contacts without a DXCC prefix and for the\n"
    "                      log's own call sign\n"
    "  --log-order         score in the file's order, as a host adding the contacts live\n"
    "                      would (default: call-sign order, as the recalculation does)\n"
    "  --audit             one line per contact: place, call, band, mode, points or the\n"
    "                      contact it repeats, new district and new country\n"
    "  --format F          text (default), json or csv, for the report and the audit\n"
    "  --summary           a plain-text summary for a score-posting form\n"
    "  --parse-only        read and map the whole log, no scoring; prints the count\n"
    "Messages go to stderr, each rejected line or record with file and line or record.\n"
    "Exit status: 0 every contact scored, 1 some lines or records rejected (the rest\n"
    "scored), 2 usage error, 3 the log or the country file it needs could not be read.\n";

namespace {

struct Options {
    std::string input, table;
    bool tableGiven = false, dbGiven = false;
    std::optional<std::string> myPrefix, myContinent, cty;
    Order order = Order::CallSign;
    Format format = Format::Text;
    bool audit = false, summary = false, parseOnly = false, help = false;
};

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

Options Parse(const std::vector<std::string>& args) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
            return args[++i];
        };
        auto input = [&](const std::string& path) {
            if (!o.input.empty()) throw UsageError("one log at a time (" + o.input + " and " + path + ")");
            if (path.empty()) throw UsageError("empty file name");
            o.input = path;
        };
        if (a == "--db") {
            input(value());
            o.dbGiven = true;
        } else if (a == "--table") {
            o.table = value();
            o.tableGiven = true;
        } else if (a == "--my-prefix") {
            o.myPrefix = value();
        } else if (a == "--my-continent") {
            o.myContinent = value();
        } else if (a == "--cty") {
            o.cty = value();
        } else if (a == "--format") {
            const std::string f = value();
            if (f == "text") o.format = Format::Text;
            else if (f == "json") o.format = Format::Json;
            else if (f == "csv") o.format = Format::Csv;
            else throw UsageError("--format is text, json or csv, not '" + f + "'");
        } else if (a == "--log-order") {
            o.order = Order::Log;
        } else if (a == "--audit") {
            o.audit = true;
        } else if (a == "--summary") {
            o.summary = true;
        } else if (a == "--parse-only") {
            o.parseOnly = true;
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--") {
            for (++i; i < args.size(); ++i) input(args[i]);
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            throw UsageError("unknown option " + a);
        } else {
            input(a);
        }
    }
    if (o.help) return o;
    if (o.input.empty()) throw UsageError("no log given");
    if (o.summary && (o.audit || o.format != Format::Text))
        throw UsageError("--summary is plain text and goes with neither --audit nor --format");
    if (o.parseOnly && (o.audit || o.summary))
        throw UsageError("--parse-only scores nothing: no --audit or --summary with it");
    return o;
}

// Counts what the reader hands over, and nothing else.
class CountingSink : public contestlog::LogSink {
public:
    std::function<void(const contestlog::LogProblem&)> onProblem;
    std::size_t contacts = 0, problems = 0;
    void Contact(const contestlog::ContactView&) override { ++contacts; }
    void Problem(const contestlog::LogProblem& p) override {
        ++problems;
        if (onProblem) onProblem(p);
    }
};

void Say(std::FILE* err, const std::string& text) { WriteText(err, "yolscore: " + text + "\n"); }

}  // namespace

int RunScorer(const std::vector<std::string>& args, std::FILE* out, std::FILE* err,
              const std::string& countryFile) {
    Options o;
    try {
        o = Parse(args);
    } catch (const UsageError& e) {
        Say(err, e.what());
        WriteText(err, kUsage);
        return kUsageError;
    }
    if (o.help) {
        WriteText(out, kUsage);
        return kClean;
    }

    contestlog::LogFile log;
    try {
        log = contestlog::LogFile::Open(o.input);
    } catch (const std::exception& e) {
        Say(err, e.what());
        return kUnreadable;
    }
    if (o.dbGiven && log.Format() != contestlog::LogFormat::Sqlite) {
        Say(err, o.input + " is a " + std::string(contestlog::FormatName(log.Format())) +
                     " log, not a SQLite database: give it without --db");
        return kUsageError;
    }
    if (o.tableGiven && log.Format() != contestlog::LogFormat::Sqlite) {
        Say(err, "--table applies to SQLite logs; " + o.input + " is " +
                     std::string(contestlog::FormatName(log.Format())));
        return kUsageError;
    }

    // The country file: an explicit one must load; the default one only
    // matters when something needs it.
    std::optional<contestlog::CountryFile> countries;
    std::string ctyPath = o.cty.value_or(countryFile), ctyError;
    try {
        countries.emplace(contestlog::CountryFile::Load(ctyPath));
    } catch (const std::exception& e) {
        if (o.cty) {
            Say(err, e.what());
            return kUnreadable;
        }
        ctyError = e.what();
    }

    const std::string_view placeWord = PlaceWord(log.Format());
    auto report = [&](const contestlog::LogProblem& p) {
        Say(err, o.input + ": " + std::string(placeWord) + " " + std::to_string(p.place) + ": " + p.message);
    };
    contestlog::ReadOptions read;
    read.countries = countries ? &*countries : nullptr;
    if (o.tableGiven) read.table = o.table;
    auto readInto = [&](contestlog::LogSink& sink) { contestlog::ReadLog(log, read, sink); };

    if (o.parseOnly) {
        CountingSink sink;
        sink.onProblem = report;
        try {
            readInto(sink);
        } catch (const std::exception& e) {
            Say(err, o.input + ": " + e.what());
            return kUnreadable;
        }
        WriteText(out, std::to_string(sink.contacts) + " contacts read from " + o.input + " (" +
                           std::string(contestlog::FormatName(log.Format())) + ")\n");
        return sink.problems ? kRejected : kClean;
    }

    // The operator: options first, then the log's own call sign, then UA1/EU.
    // Messages go to `say` (none when guessing); false when the call sign
    // needs the country file and it cannot be read.
    auto chooseOperator = [&](const std::string& station, Operator& chosen,
                              const std::function<void(const std::string&)>& say) {
        chosen = {o.myPrefix.value_or(""), o.myContinent.value_or("")};
        if (o.myPrefix && o.myContinent) return true;
        const contestlog::Country* country = nullptr;
        if (!station.empty()) {
            if (!countries) {
                say("the log's own call sign " + station +
                    " needs the country file, which cannot be read (" + ctyError +
                    "); give --my-prefix and --my-continent or --cty FILE");
                return false;
            }
            country = countries->Lookup(station);
            if (!country) say("the log's own call sign " + station + " is in no country of " + ctyPath);
        }
        if (country) {
            if (!o.myPrefix) chosen.prefix = country->hostPrefix;
            if (!o.myContinent) chosen.continent = country->continent;
        } else {
            if (!o.myPrefix) chosen.prefix = "UA1";
            if (!o.myContinent) chosen.continent = "EU";
            if (station.empty())
                say("the log names no call sign of its own: scoring as " + chosen.prefix + " in " +
                    chosen.continent + " (--my-prefix, --my-continent)");
        }
        return true;
    };
    auto sayTo = [&](const std::string& text) { Say(err, text); };
    auto withoutCountryError = [&](std::size_t n) {
        Say(err, o.input + ": " + std::to_string(n) +
                     " contacts carry no DXCC prefix and the country file cannot be read (" +
                     ctyError + "); give one with --cty FILE");
    };

    // Call-sign order without the audit: scored in one pass as the log is
    // read, unless the log is one where the order of scoring shows.
    if (!o.audit && o.order == Order::CallSign) {
        std::optional<StreamScorer> stream;
        stream.emplace(
            [&](std::string_view station) {
                Operator guess;
                chooseOperator(std::string(station), guess, [](const std::string&) {});
                return guess;
            },
            std::thread::hardware_concurrency() != 1);  // on one core, in the reading thread
        stream->onProblem = report;
        try {
            readInto(*stream);
            stream->Finish();
        } catch (const std::exception& e) {
            Say(err, o.input + ": " + e.what());
            return kUnreadable;
        }
        if (!countries && stream->WithoutCountry() > 0) {
            withoutCountryError(stream->WithoutCountry());
            return kUnreadable;
        }
        Operator me;
        if (!chooseOperator(stream->StationCall(), me, sayTo)) return kUnreadable;
        SummaryInfo info;
        info.station = stream->StationCall();
        info.contacts = stream->Size();
        info.rejected = stream->ProblemCount();
        std::vector<TStatistic> tallies;
        // The operator was guessed from the call sign known at the first
        // contact; the log may name its own later.
        if (stream->Fallback().empty() && (stream->Size() == 0 || stream->OperatorUsed() == me)) {
            tallies = stream->Tallies();
            info.duplicates = stream->Duplicates();
            stream.reset();
        } else {
            stream.reset();
            ContactStore store(false);  // its problems were told on the first reading
            try {
                readInto(store);
            } catch (const std::exception& e) {
                Say(err, o.input + ": " + e.what());
                return kUnreadable;
            }
            log.Release();
            const std::vector<std::uint32_t> order = store.CallSignOrder();
            TScoreBook book;
            info.duplicates = ScoreContacts(store, &order, me.prefix, me.continent, book);
            tallies = book.Tallies();
        }
        Say(err, std::to_string(info.contacts) + " contacts scored in call-sign order as " +
                     me.prefix + " in " + me.continent);
        if (o.summary) {
            info.myPrefix = me.prefix;
            info.myContinent = me.continent;
            info.logPath = o.input;
            info.order = o.order;
            WriteText(out, SummaryText(tallies, info));
        } else if (o.format == Format::Json) {
            WriteText(out, "{\"order\":\"" + std::string(OrderName(o.order)) +
                               "\",\"report\":" + ReportJson(tallies) + "}\n");
        } else if (o.format == Format::Csv) {
            WriteText(out, ReportCsv(tallies));
        } else {
            WriteText(out, BuildReport(tallies) + "\n");
        }
        return info.rejected ? kRejected : kClean;
    }

    ContactStore store(o.audit);
    store.onProblem = report;
    try {
        readInto(store);
    } catch (const std::exception& e) {
        Say(err, o.input + ": " + e.what());
        return kUnreadable;
    }
    log.Release();  // the store holds copies of all it needs
    if (!countries && store.WithoutCountry() > 0) {
        withoutCountryError(store.WithoutCountry());
        return kUnreadable;
    }
    Operator me;
    if (!chooseOperator(store.StationCall(), me, sayTo)) return kUnreadable;
    const std::string& myPrefix = me.prefix;
    const std::string& myContinent = me.continent;

    std::vector<std::uint32_t> order;
    if (o.order == Order::CallSign) order = store.CallSignOrder();
    TScoreBook book;
    std::size_t duplicates = 0;
    const bool json = o.format == Format::Json, csv = o.format == Format::Csv;
    if (o.audit) {
        if (json) WriteText(out, "{\"order\":\"" + std::string(OrderName(o.order)) + "\",\"contacts\":[");
        if (csv) WriteText(out, kAuditCsvHeader);
        bool first = true;
        duplicates = ScoreContacts(store, o.order == Order::CallSign ? &order : nullptr, myPrefix,
                                   myContinent, book, [&](const AuditEntry& a) {
                                       if (json) WriteText(out, (first ? "\n" : ",\n") + AuditJson(a));
                                       else if (csv) WriteText(out, AuditCsv(a));
                                       else WriteText(out, AuditText(a, placeWord));
                                       first = false;
                                   });
    } else {
        duplicates = ScoreContacts(store, o.order == Order::CallSign ? &order : nullptr, myPrefix,
                                   myContinent, book);
    }
    std::vector<std::uint32_t>().swap(order);

    Say(err, std::to_string(store.Size()) + " contacts scored in " + std::string(OrderName(o.order)) +
                 " order as " + myPrefix + " in " + myContinent);
    if (o.summary) {
        SummaryInfo info;
        info.station = store.StationCall();
        info.myPrefix = myPrefix;
        info.myContinent = myContinent;
        info.logPath = o.input;
        info.order = o.order;
        info.contacts = store.Size();
        info.duplicates = duplicates;
        info.rejected = store.ProblemCount();
        WriteText(out, SummaryText(book.Tallies(), info));
    } else if (json) {
        std::string body = ReportJson(book.Tallies());  // {"bands":...}
        if (o.audit) WriteText(out, "\n],\"report\":" + body + "}\n");
        else WriteText(out, "{\"order\":\"" + std::string(OrderName(o.order)) + "\",\"report\":" + body + "}\n");
    } else if (csv) {
        if (!o.audit) WriteText(out, ReportCsv(book.Tallies()));
    } else {
        if (o.audit) WriteText(out, "\n");
        WriteText(out, BuildReport(book.Tallies()) + "\n");
    }
    return store.ProblemCount() ? kRejected : kClean;
}

}  // namespace yol::score
