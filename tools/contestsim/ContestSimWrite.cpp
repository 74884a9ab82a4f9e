#include "contestsim/ContestSimWrite.h"

#include <fstream>
#include <memory>
#include <stdexcept>
#include <streambuf>
#include <string_view>

#include "contestlog/LogWriter.h"
#include "contestlog/Text.h"
#include "host/Plugin.h"
#include "scoring/ScoreBook.h"

namespace yol::contestsim {
using namespace contestlog;
namespace {

// Passes what the writer writes on to the file, counting lines.
class LineCounter : public std::streambuf {
public:
    explicit LineCounter(std::streambuf* target) : target_(target) {}
    std::size_t Lines() const noexcept { return lines_; }

protected:
    int_type overflow(int_type ch) override {
        if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
        const char c = traits_type::to_char_type(ch);
        return xsputn(&c, 1) == 1 ? ch : traits_type::eof();
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        for (std::streamsize i = 0; i < n; ++i) lines_ += s[i] == '\n';
        return target_->sputn(s, n);
    }

private:
    std::streambuf* target_;
    std::size_t lines_ = 0;
};

void Csv(std::ostream& out, std::string_view text) { out << CsvField(text); }

// A simulated line as the model's contact: what the station logged.
ContactView ViewOf(const SimLine& line) {
    ContactView view{};
    view.call = line.call;
    view.band = line.band;
    view.mode = line.mode;
    view.report = line.received;
    return view;
}

}  // namespace

std::string SimFileName(const SimStation& station) {
    std::string name = station.call;
    for (char& c : name)
        if (c == '/') c = '_';
    return name + (station.adif ? ".adi" : ".log");
}

std::int64_t SimClaimedScore(const ContestSim& sim, std::size_t s, const std::vector<SimLine>& lines) {
    const SimStation& me = sim.Stations()[s];
    auto record = std::make_unique<ContactRecord>();
    StoreShortText(record->MyDXCCPrefix, me.country->dxcc);
    StoreShortText(record->MyContinent, me.country->continent);
    TScoreBook book;
    for (const SimLine& line : lines) {
        if (line.error == SimError::Missing) continue;
        // The program finds the country from the call as logged; a busted
        // call nearly always stays in the country of the true one.
        const GeneratorCountry& c = *sim.Stations()[line.other].country;
        ContactView view = ViewOf(line);
        view.dxcc = c.dxcc;
        view.mainPrefix = c.mainPrefix;
        view.continent = c.continent;
        StoreContact(*record, view);
        book.Evaluate(*record, true);
    }
    std::int64_t points = 0, multipliers = 0;
    for (const TStatistic& t : book.Tallies()) {
        points += t.Points;
        multipliers += t.Districts + t.Countries;
    }
    return points * multipliers;
}

std::vector<std::size_t> WriteSimLog(const ContestSim& sim, std::size_t s, const std::vector<SimLine>& lines,
                                     std::ostream& out) {
    const SimStation& me = sim.Stations()[s];
    LineCounter counter(out.rdbuf());
    std::ostream counted(&counter);
    Station station;
    station.call = me.call;
    station.hostPrefixes = false;  // contest programs write no host prefixes
    const LogFormat format = me.adif ? LogFormat::Adi : LogFormat::Cabrillo;
    if (me.log == SimLogKind::CheckLog)
        station.category = "CHECKLOG";
    else if (format == LogFormat::Cabrillo)
        station.claimedScore = SimClaimedScore(sim, s, lines);
    const auto writer = MakeFileLogWriter(format, counted, station);
    std::vector<std::size_t> places(lines.size(), 0);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const SimLine& line = lines[i];
        if (line.error == SimError::Missing) continue;
        ContactView view = ViewOf(line);
        view.time = line.loggedTime;
        view.frequency = line.frequency;
        view.ownCall = me.call;
        view.sent = line.sent;
        places[i] = counter.Lines() + 1;
        writer->Write(view);
    }
    writer->Finish();
    counted.flush();
    if (!counted) throw std::runtime_error("writing the log of " + me.call + " failed");
    return places;
}

void WriteTruthHeader(std::ostream& out) {
    out << "kind,station,file,line,qso,true_utc,logged_utc,band,mode,frequency,true_call,logged_call,"
           "sent,true_exchange,logged_exchange,clock_offset\n";
}

void WriteTruthRows(const ContestSim& sim, std::size_t s, const std::vector<SimLine>& lines,
                    const std::vector<std::size_t>& places, std::ostream& out) {
    const SimStation& me = sim.Stations()[s];
    const std::string file = me.log == SimLogKind::NoLog ? std::string() : "logs/" + SimFileName(me);
    const std::string_view kind = me.log == SimLogKind::NoLog      ? "nolog"
                                  : me.log == SimLogKind::CheckLog ? "checklog"
                                                                   : "log";
    out << kind << ',';
    Csv(out, me.call);
    out << ',' << file << ",,,,,,,,,,,,," << me.clockOffset << '\n';
    if (me.log == SimLogKind::NoLog) return;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const SimLine& line = lines[i];
        const bool missing = line.error == SimError::Missing;
        out << SimErrorName(line.error) << ',';
        Csv(out, me.call);
        out << ',' << file << ',';
        if (!missing) out << places[i];
        out << ',' << line.qso << ',' << UtcText(line.time) << ',';
        if (!missing) out << UtcText(line.loggedTime);
        out << ',' << line.band << ',' << line.mode << ',' << line.frequency << ',';
        Csv(out, sim.Stations()[line.other].call);
        out << ',';
        if (!missing) Csv(out, line.call);
        out << ',';
        Csv(out, line.sent);
        out << ',';
        Csv(out, line.trueReceived);
        out << ',';
        if (!missing) Csv(out, line.received);
        out << ',' << me.clockOffset << '\n';
    }
}

SimWritten WriteContest(const ContestSim& sim, const std::filesystem::path& dir) {
    // Logs of an earlier contest left beside the new ones would be read with them.
    if (const std::filesystem::path logs = dir / "logs";
        std::filesystem::exists(logs) && !std::filesystem::is_empty(logs))
        throw std::runtime_error(logs.string() + " already holds files: give a new or empty folder");
    std::filesystem::create_directories(dir / "logs");
    const std::filesystem::path truthPath = dir / "truth.csv";
    std::ofstream truth(truthPath, std::ios::binary | std::ios::trunc);
    if (!truth) throw std::runtime_error("cannot write " + truthPath.string());
    WriteTruthHeader(truth);
    SimWritten written;
    std::vector<std::size_t> none;
    for (std::size_t s = 0; s < sim.Stations().size(); ++s) {
        const SimStation& me = sim.Stations()[s];
        const std::vector<SimLine> lines = sim.Log(s);
        std::vector<std::size_t> places;
        if (me.log != SimLogKind::NoLog) {
            const std::filesystem::path path = dir / "logs" / SimFileName(me);
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            if (!out) throw std::runtime_error("cannot write " + path.string());
            places = WriteSimLog(sim, s, lines, out);
            out.close();
            if (!out) throw std::runtime_error("writing " + path.string() + " failed");
            ++written.logs;
            for (std::size_t p : places) written.lines += p != 0;
            written.truthRows += lines.size();
        }
        WriteTruthRows(sim, s, lines, places, truth);
        ++written.truthRows;
    }
    truth.close();
    if (!truth) throw std::runtime_error("writing " + truthPath.string() + " failed");
    return written;
}

}  // namespace yol::contestsim
