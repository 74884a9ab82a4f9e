// The simulated contest: reproducible from its seed, every true contact in
// both logs unless the truth says otherwise, every error where the truth puts
// it, and the logs read back through the model's readers.
#include "contestsim/ContestSim.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "LogReaderTestSink.h"
#include "contestsim/ContestSimWrite.h"
#include "contestlog/CountryFile.h"
#include "contestlog/LogReader.h"

namespace yol::contestsim {
using namespace contestlog;
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// One row of truth.csv by column name (no field of the simulation needs quoting).
struct TruthRow {
    std::map<std::string, std::string> field;
    const std::string& operator[](const std::string& name) const { return field.at(name); }
};

std::vector<TruthRow> ReadTruth(const fs::path& path) {
    std::istringstream in(ReadAll(path));
    std::string line;
    std::vector<std::string> names;
    std::vector<TruthRow> rows;
    auto split = [](const std::string& text) {
        std::vector<std::string> cells(1);
        for (char c : text) {
            if (c == ',') cells.emplace_back();
            else cells.back().push_back(c);
        }
        return cells;
    };
    std::getline(in, line);
    names = split(line);
    while (std::getline(in, line)) {
        EXPECT_EQ(line.find('"'), std::string::npos) << line;
        const auto cells = split(line);
        EXPECT_EQ(cells.size(), names.size()) << line;
        TruthRow row;
        for (std::size_t i = 0; i < names.size() && i < cells.size(); ++i) row.field[names[i]] = cells[i];
        rows.push_back(std::move(row));
    }
    return rows;
}

struct ReadBack {
    test::CollectingSink sink;
    LogFormat format = LogFormat::Unknown;
    std::map<std::size_t, const Contact*> byLine;
    std::string Header(const std::string& name) const {
        for (const auto& [n, v] : sink.headers)
            if (n == name) return v;
        return "<none>";
    }
};

// A contest written into a fresh folder, its truth and its logs read back.
class SimulatedContest : public ::testing::Test {
protected:
    static SimOptions Busy() {
        SimOptions o;
        o.stations = 60;
        o.seed = 4;
        o.contactsPerLog = 120;
        // Rates high enough that every kind shows up many times.
        o.bustedCall = 0.05, o.exchange = 0.05, o.missing = 0.04, o.dupe = 0.03, o.outside = 0.02;
        o.clock = 0.2, o.noLog = 0.1, o.checkLog = 0.1, o.adif = 0.3, o.portable = 0.1;
        return o;
    }

    // A folder of this process's own: CTest runs each test in a process of
    // its own, side by side.
    static fs::path Folder(const std::string& name) {
        return fs::path(::testing::TempDir()) / ("yolsim-" + std::to_string(::getpid())) / name;
    }

    static fs::path Write(const SimOptions& options, const std::string& name) {
        const fs::path dir = Folder(name);
        fs::remove_all(dir);
        const ContestSim sim(options);
        WriteContest(sim, dir);
        return dir;
    }

    static void SetUpTestSuite() {
        dir_ = new fs::path(Write(Busy(), "busy"));
        sim_ = new ContestSim(Busy());
        truth_ = new std::vector<TruthRow>(ReadTruth(*dir_ / "truth.csv"));
        logs_ = new std::map<std::string, ReadBack>();
        for (const auto& entry : fs::directory_iterator(*dir_ / "logs")) {
            ReadBack& back = (*logs_)["logs/" + entry.path().filename().string()];
            back.format = ReadLog(entry.path().string(), {}, back.sink);
            for (const Contact& c : back.sink.contacts) back.byLine[c.place] = &c;
        }
    }
    static void TearDownTestSuite() {
        fs::remove_all(Folder(""));
        delete sim_;
        delete logs_;
        delete truth_;
        delete dir_;
    }

    static inline fs::path* dir_ = nullptr;
    static inline ContestSim* sim_ = nullptr;  // the contest written into dir_
    static inline std::vector<TruthRow>* truth_ = nullptr;
    static inline std::map<std::string, ReadBack>* logs_ = nullptr;
};

TEST_F(SimulatedContest, SameSeedSameFilesOtherSeedOtherContest) {
    const fs::path again = Write(Busy(), "again");
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(*dir_)) {
        if (!entry.is_regular_file()) continue;
        const fs::path other = again / fs::relative(entry.path(), *dir_);
        ASSERT_TRUE(fs::exists(other)) << other;
        EXPECT_EQ(ReadAll(entry.path()), ReadAll(other)) << entry.path();
        ++files;
    }
    std::size_t againFiles = 0;
    for (const auto& entry : fs::recursive_directory_iterator(again)) againFiles += entry.is_regular_file();
    EXPECT_EQ(files, againFiles);

    SimOptions other = Busy();
    other.seed = 12;
    EXPECT_NE(ReadAll(Write(other, "other") / "truth.csv"), ReadAll(*dir_ / "truth.csv"));
}

TEST_F(SimulatedContest, LogsReadBackCleanWithTheirHeaders) {
    std::size_t logs = 0, checklogs = 0, adif = 0;
    for (const TruthRow& row : *truth_) {
        const std::string& kind = row["kind"];
        if (kind != "log" && kind != "checklog" && kind != "nolog") continue;
        if (kind == "nolog") {
            EXPECT_EQ(row["file"], "");
            continue;
        }
        ASSERT_TRUE(logs_->count(row["file"])) << row["file"];
        const ReadBack& back = logs_->at(row["file"]);
        EXPECT_TRUE(back.sink.problems.empty()) << row["file"] << "\n" << back.sink.ProblemText();
        ASSERT_EQ(back.sink.stations.size(), 1u);
        EXPECT_EQ(back.sink.stations[0], row["station"]);
        if (back.format == LogFormat::Adi) {
            ++adif;
            EXPECT_EQ(kind, "log");  // checklogs are sent as Cabrillo
        } else {
            ASSERT_EQ(back.format, LogFormat::Cabrillo);
            EXPECT_EQ(back.Header("CATEGORY-OPERATOR"), kind == "checklog" ? "CHECKLOG" : "SINGLE-OP");
            EXPECT_EQ(back.Header("CONTEST"), "YOL");
            const std::string claimed = back.Header("CLAIMED-SCORE");
            if (kind == "checklog") {
                EXPECT_EQ(claimed, "<none>");
            } else {
                ASSERT_NE(claimed, "<none>");
                const std::size_t s = sim_->Find(row["station"]);
                EXPECT_EQ(std::stoll(claimed), SimClaimedScore(*sim_, s, sim_->Log(s)));
                EXPECT_GT(std::stoll(claimed), 0);
            }
        }
        ++logs, checklogs += kind == "checklog";
    }
    EXPECT_EQ(logs, logs_->size());  // no file the truth does not name
    EXPECT_GT(checklogs, 0u);
    EXPECT_GT(adif, 0u);
}

TEST_F(SimulatedContest, EveryLineIsInItsLogAsTheTruthSays) {
    std::map<std::string, std::size_t> rowsPerFile;
    for (const TruthRow& row : *truth_) {
        const std::string& kind = row["kind"];
        if (kind == "log" || kind == "checklog" || kind == "nolog") continue;
        if (kind == "missing") {
            EXPECT_EQ(row["line"], "");
            EXPECT_EQ(row["logged_call"], "");
            continue;
        }
        const ReadBack& back = logs_->at(row["file"]);
        const auto it = back.byLine.find(std::stoul(row["line"]));
        ASSERT_NE(it, back.byLine.end()) << row["file"] << ":" << row["line"];
        const Contact& c = *it->second;
        EXPECT_EQ(c.call, row["logged_call"]);
        EXPECT_EQ(c.band, row["band"]);
        EXPECT_EQ(c.mode, row["mode"]);
        EXPECT_EQ(c.frequency, row["frequency"]);
        EXPECT_EQ(UtcText(c.time), row["logged_utc"]);
        EXPECT_EQ(c.ownCall, row["station"]);
        EXPECT_EQ(c.sent, row["sent"]);
        EXPECT_EQ(c.report, row["logged_exchange"]);
        ++rowsPerFile[row["file"]];
    }
    for (const auto& [file, back] : *logs_)
        EXPECT_EQ(back.sink.contacts.size(), rowsPerFile[file]) << file << ": lines the truth does not know";
}

TEST_F(SimulatedContest, BothSidesOfATrueContactAgree) {
    std::map<std::string, std::string> kindOf;  // station -> log, checklog, nolog
    std::map<std::string, std::vector<const TruthRow*>> sides;
    for (const TruthRow& row : *truth_) {
        const std::string& kind = row["kind"];
        if (kind == "log" || kind == "checklog" || kind == "nolog") kindOf[row["station"]] = kind;
        else sides[row["qso"]].push_back(&row);
    }
    std::size_t withNoLog = 0;
    for (const auto& [qso, rows] : sides) {
        ASSERT_LE(rows.size(), 2u) << qso;
        const TruthRow& a = *rows[0];
        if (rows.size() == 1) {
            // The other side is no log's: the only reason for one row.
            EXPECT_EQ(kindOf.at(a["true_call"]), "nolog") << qso;
            ++withNoLog;
            continue;
        }
        const TruthRow& b = *rows[1];
        EXPECT_EQ(a["true_call"], b["station"]);
        EXPECT_EQ(b["true_call"], a["station"]);
        EXPECT_EQ(a["true_exchange"], b["sent"]);
        EXPECT_EQ(b["true_exchange"], a["sent"]);
        for (const char* same : {"true_utc", "band", "mode", "frequency"}) EXPECT_EQ(a[same], b[same]) << same;
        EXPECT_FALSE(a["kind"] == "missing" && b["kind"] == "missing") << qso;
        EXPECT_EQ(a["kind"] == "dupe", b["kind"] == "dupe") << qso;
        EXPECT_EQ(a["kind"] == "period", b["kind"] == "period") << qso;
    }
    EXPECT_GT(withNoLog, 0u);
}

std::int64_t Minutes(const std::string& utc) { return UtcMinutes(utc.substr(0, 10), utc.substr(11)); }

TEST_F(SimulatedContest, ErrorsAreWhereTheTruthPutsThem) {
    std::map<std::string, std::size_t> kinds;
    std::map<std::string, std::set<std::string>> worked;  // file -> call|band|mode seen so far
    std::set<std::string> clocksOff;
    for (const TruthRow& row : *truth_) {
        const std::string& kind = row["kind"];
        ++kinds[kind];
        if (kind == "log" || kind == "checklog" || kind == "nolog") {
            const int offset = std::stoi(row["clock_offset"]);
            EXPECT_LE(std::abs(offset), 10);
            if (offset != 0) clocksOff.insert(row["station"]);
            continue;
        }
        const std::int64_t time = Minutes(row["true_utc"]);
        const bool inside = time >= kSimStart && time < kSimStart + kSimMinutes;
        EXPECT_EQ(kind == "period", !inside) << row["true_utc"];
        if (kind == "missing") continue;
        const std::int64_t drift = Minutes(row["logged_utc"]) - time - std::stoi(row["clock_offset"]);
        EXPECT_LE(std::abs(drift), 1) << row["station"] << " " << row["true_utc"] << " " << row["logged_utc"];
        EXPECT_EQ(row["logged_call"] != row["true_call"], kind == "busted_call") << row["logged_call"];
        EXPECT_EQ(row["logged_exchange"] != row["true_exchange"], kind == "exchange") << row["logged_exchange"];
        if (kind == "exchange") {  // the report stays, the district or serial changes
            EXPECT_EQ(row["logged_exchange"].substr(0, row["logged_exchange"].find(' ')),
                      row["true_exchange"].substr(0, row["true_exchange"].find(' ')));
        }
        const std::string key = row["logged_call"] + "|" + row["band"] + "|" + row["mode"];
        const bool seen = !worked[row["file"]].insert(key).second;
        // A dupe repeats a contact already in the log; anything else is new
        // (a busted call may land on one already worked, rarely).
        if (kind == "dupe") {
            EXPECT_TRUE(seen) << row["file"] << ":" << row["line"];
        } else if (kind != "busted_call") {
            EXPECT_FALSE(seen) << row["file"] << ":" << row["line"];
        }
    }
    for (const char* kind : {"ok", "busted_call", "exchange", "missing", "dupe", "period", "log", "checklog",
                             "nolog"})
        EXPECT_GT(kinds[kind], 0u) << kind;
    EXPECT_FALSE(clocksOff.empty());
}

TEST(ContestSimTest, ErrorsComeAtTheirRates) {
    SimOptions o;
    o.stations = 400;
    o.seed = 3;
    const ContestSim sim(o);
    std::map<SimError, double> count;
    double lines = 0, jittered = 0, stationsOff = 0, noLog = 0;
    for (std::size_t s = 0; s < sim.Stations().size(); ++s) {
        const SimStation& st = sim.Stations()[s];
        stationsOff += st.clockOffset != 0;
        noLog += st.log == SimLogKind::NoLog;
        for (const SimLine& line : sim.Log(s)) {
            ++count[line.error];
            ++lines;
            jittered += line.loggedTime != line.time + st.clockOffset;
        }
    }
    const double aimed = o.contactsPerLog * static_cast<double>(o.stations);
    EXPECT_GT(lines, 0.8 * aimed);
    EXPECT_LT(lines, 1.2 * aimed);
    EXPECT_NEAR(count[SimError::BustedCall] / lines, o.bustedCall, 0.004);
    EXPECT_NEAR(count[SimError::Exchange] / lines, o.exchange, 0.004);
    EXPECT_NEAR(count[SimError::Missing] / lines, o.missing, 0.003);
    EXPECT_NEAR(count[SimError::Dupe] / lines, o.dupe, 0.002);
    EXPECT_NEAR(count[SimError::Period] / lines, o.outside, 0.001);
    EXPECT_NEAR(jittered / lines, o.jitter, 0.01);
    EXPECT_NEAR(stationsOff / 400, o.clock, 0.04);
    EXPECT_NEAR(noLog / 400, o.noLog, 0.04);
}

TEST(ContestSimTest, NoRatesNoErrors) {
    SimOptions o;
    o.stations = 30;
    o.bustedCall = o.exchange = o.missing = o.dupe = o.outside = o.jitter = 0;
    o.clock = o.noLog = o.checkLog = 0;
    const ContestSim sim(o);
    for (std::size_t s = 0; s < sim.Stations().size(); ++s) {
        EXPECT_EQ(sim.Stations()[s].log, SimLogKind::Log);
        for (const SimLine& line : sim.Log(s)) {
            ASSERT_EQ(line.error, SimError::None);
            EXPECT_EQ(line.loggedTime, line.time);
            EXPECT_EQ(line.call, sim.Stations()[line.other].call);
            EXPECT_EQ(line.received, line.trueReceived);
        }
    }
}

TEST(ContestSimTest, StationsAndTheirExchanges) {
    SimOptions o;
    o.stations = 500;
    const ContestSim sim(o);
    std::set<std::string> calls;
    std::size_t home = 0;
    for (std::size_t s = 0; s < sim.Stations().size(); ++s) {
        const SimStation& st = sim.Stations()[s];
        EXPECT_TRUE(calls.insert(st.call).second) << st.call;
        EXPECT_EQ(sim.Find(st.call), s);
        EXPECT_LT(st.from, st.to);
        home += st.country->home;
        // Home stations send their district, foreign ones their serial:
        // 001, 002, ... in the order they made their contacts.
        std::uint32_t serial = 0;
        for (const SimLine& line : sim.Log(s)) {
            const std::string rst = line.mode == "SSB" ? "59 " : "599 ";
            if (st.country->home) {
                ASSERT_EQ(st.exchange.size(), 4u);
                EXPECT_EQ(line.sent, rst + st.exchange);
            } else {
                char expected[16];
                std::snprintf(expected, sizeof expected, "%03u", ++serial);
                EXPECT_EQ(line.sent, rst + expected);
            }
        }
    }
    EXPECT_EQ(sim.Find("NOSUCH"), sim.Stations().size());
    EXPECT_GT(home, 150u);
    EXPECT_LT(home, 350u);
}

TEST(ContestSimTest, CallsBelongToTheirCountry) {
    if (!fs::exists(CountryFile::kDefaultPath))
        GTEST_SKIP() << CountryFile::kDefaultPath << " missing (package hamradio-files)";
    const CountryFile cty = CountryFile::Load(CountryFile::kDefaultPath);
    SimOptions o;
    o.stations = 2000;
    const ContestSim sim(o);
    for (const SimStation& st : sim.Stations()) {
        const Country* c = cty.Lookup(st.call);
        ASSERT_NE(c, nullptr) << st.call;
        EXPECT_EQ(c->hostPrefix, st.country->dxcc) << st.call;
        EXPECT_EQ(c->continent, st.country->continent) << st.call;
    }
}

TEST(ContestSimTest, InvalidOptionsAreRefused) {
    SimOptions o;
    o.stations = 1;
    EXPECT_THROW(ContestSim{o}, std::invalid_argument);
}

// The smallest number of single-character edits between two texts.
std::size_t Edits(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = up;
        }
    }
    return row[b.size()];
}

TEST(ContestSimTest, BustedCallsAreOneSlipAway) {
    std::map<std::string, int> slips;
    for (std::uint64_t r = 0; r < 3000; ++r) {
        const std::string call = r % 2 ? "UA9ABC/P" : "DL5HNT";
        const std::string busted = BustCall(call, r * 0x9E3779B97F4A7C15ull);
        ASSERT_NE(busted, call);
        if (call.ends_with("/P") && !busted.ends_with("/P")) {
            EXPECT_EQ(busted, "UA9ABC");
            ++slips["lost /P"];
            continue;
        }
        ASSERT_EQ(Edits(busted, call), 1u) << call << " -> " << busted;
        ++slips[busted.size() < call.size()   ? "dropped"
                : busted.size() > call.size() ? "added"
                                              : "confused"];
    }
    for (const char* slip : {"lost /P", "dropped", "added", "confused"}) EXPECT_GT(slips[slip], 100) << slip;
    // The confusions are Morse ones: D and B, 5 and H, A and N, ...
    std::set<std::string> seen;
    for (std::uint64_t r = 0; r < 2000; ++r) seen.insert(BustCall("DL5AN", r * 0x9E3779B97F4A7C15ull));
    for (const char* expected : {"BL5AN", "DL HAN", "DL5NN", "DL5AA"}) {
        std::string e = expected;
        e.erase(std::remove(e.begin(), e.end(), ' '), e.end());
        EXPECT_TRUE(seen.count(e)) << e;
    }
}

TEST(ContestSimTest, MiscopiedExchangesChangeOneThing) {
    for (std::uint64_t r = 0; r < 2000; ++r) {
        const std::uint64_t h = r * 0x9E3779B97F4A7C15ull;
        for (const std::string token : {"MO05", "123", "001", "KA11", "999"}) {
            const std::string copied = MiscopyExchange(token, h);
            ASSERT_NE(copied, token);
            EXPECT_EQ(copied.size(), token.size()) << token << " -> " << copied;
            std::size_t differ = 0;
            for (std::size_t i = 0; i < token.size(); ++i) differ += copied[i] != token[i];
            EXPECT_LE(differ, 2u) << token << " -> " << copied;
        }
    }
}

}  // namespace
}  // namespace yol::contestsim
