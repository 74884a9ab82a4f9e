// The offline scorer: the same report from every format and from the
// window's own recalculation, the points rule on call signs resolved through
// the country file, the call-sign order, the audit, the outputs and the
// command line's errors and exit statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "contestlog/ContactStore.h"
#include "contestlog/Text.h"
#include "Outputs.h"
#include "RunScorer.h"
#include "contestlog/CountryFile.h"
#include "contestsim/Generator.h"
#include "scoring/Report.h"

namespace yol::score {
namespace {

using contestlog::Contact;
using contestlog::CsvField;
using contestlog::Utf8OrLatin1;
using contestlog::LogFormat;
using test::Ran;
using test::RunYolscore;

using test::AuditLog;
using test::HaveDebianCountries;
using test::Row;
using test::TempDir;
using test::WindowReport;
using test::WriteFile;
using test::WriteLog;

Ran Score(const std::vector<std::string>& args) { return RunYolscore(args); }

// ---- one report, whatever the format ------------------------------------------

TEST(ScoreFormats, EveryFormatGivesTheWindowsReportByteForByte) {
    if (!HaveDebianCountries()) GTEST_SKIP() << "Debian's cty.dat missing (package hamradio-files)";
    TempDir dir;
    const auto log = contestsim::GenerateContacts(8000, 21);
    WriteLog(LogFormat::Sqlite, dir / "log.sqlite", log);
    WriteLog(LogFormat::Cabrillo, dir / "log.cbr", log);
    WriteLog(LogFormat::Adi, dir / "log.adi", log);
    WriteLog(LogFormat::Adx, dir / "log.adx", log);
    WriteLog(LogFormat::Adi, dir / "stripped.adi", log, {.call = "UA1AAA", .hostPrefixes = false});

    const std::string expected = WindowReport(dir / "log.sqlite", "UA1");
    for (const std::string name : {"log.sqlite", "log.cbr", "log.adi", "log.adx", "stripped.adi"}) {
        const Ran r = Score({dir / name});
        EXPECT_EQ(r.status, kClean) << name << ": " << r.err;
        EXPECT_EQ(r.out, expected) << name;
        EXPECT_NE(r.err.find("call-sign order"), std::string::npos) << r.err;
    }
    // The SQLite log names no call sign of its own: UA1 in EU, and it says so.
    EXPECT_NE(Score({"--db", dir / "log.sqlite"}).err.find("scoring as UA1 in EU"), std::string::npos);
}

std::map<std::string, std::string> BandLines(const std::string& report) {
    std::map<std::string, std::string> lines;
    std::istringstream in(report);
    for (std::string line; std::getline(in, line);) lines[line.substr(0, line.find('\t'))] = line;
    return lines;
}

TEST(ScoreFormats, LogOrderAgreesWithCallSignOrderWithoutOrderDependentDuplicates) {
    // The generator's duplicates repeat a contact whole, so which of the two
    // counts does not matter; only the order of the band lines may differ.
    TempDir dir;
    WriteLog(LogFormat::Adi, dir / "log.adi", contestsim::GenerateContacts(6000, 4));
    const Ran byCall = Score({dir / "log.adi"});
    const Ran byLog = Score({"--log-order", dir / "log.adi"});
    EXPECT_EQ(byCall.status, kClean);
    EXPECT_EQ(BandLines(byCall.out), BandLines(byLog.out));
    EXPECT_NE(byCall.out, byLog.out);  // the bands come in another order
    EXPECT_NE(byLog.err.find("in log order"), std::string::npos) << byLog.err;
}

// ---- the points rule on prefixes from the country file ---------------------------

constexpr std::string_view kSmallCty =
    "European Russia:          16:  29:  EU:   53.65:   -41.37:    -4.0:  UA:\n"
    "    R,U,=R9FCH/6;\n"
    "Kaliningrad:              15:  29:  EU:   54.72:   -20.52:    -3.0:  UA2:\n"
    "    R2F,R2K,RA2,UA2;\n"
    "Asiatic Russia:           17:  30:  AS:   55.88:   -84.08:    -7.0:  UA9:\n"
    "    R0,R8,R9,UA0,UA8,UA9,RA9F(16)[30]{EU};\n"
    "Fed. Rep. of Germany:     14:  28:  EU:   51.00:   -10.00:    -1.0:  DL:\n"
    "    DA,DB,DC,DD,DF,DG,DH,DJ,DK,DL,DM,DN,DO,DP,DQ,DR;\n"
    "Japan:                    25:  45:  AS:   36.40:  -138.38:    -9.0:  JA:\n"
    "    JA,JE,JF,JG,JH,JI,JJ,JK,JL,JM,JN,JO,JP,JQ,JR,JS;\n";

std::map<std::string, std::int32_t> PointsOf(std::string_view cabrillo, std::string_view myPrefix = {},
                                             std::string_view myContinent = {}) {
    const auto cty = contestlog::CountryFile::Parse(kSmallCty);
    ContactStore store(true);
    contestlog::ReadOptions options;
    options.countries = &cty;
    contestlog::ReadCabrillo(cabrillo, options, store);
    EXPECT_EQ(store.RejectedCount() + store.NoteCount(), 0u);
    const contestlog::Country* mine = cty.Lookup(store.StationCall());
    TScoreBook book;
    std::map<std::string, std::int32_t> points;
    const auto order = store.CallSignOrder();
    ScoreContacts(store, &order, myPrefix.empty() ? mine->hostPrefix : myPrefix,
                  myContinent.empty() ? mine->continent : myContinent, book,
                  [&](const AuditEntry& a) { points[std::string(a.call)] = a.points; });
    return points;
}

std::string Cabrillo(std::string_view own, const std::vector<std::string>& calls) {
    std::string text = "START-OF-LOG: 3.0\nCALLSIGN: " + std::string(own) + "\n";
    for (const std::string& call : calls)
        text += "QSO: 14012 CW 2024-05-04 1200 " + std::string(own) + " 599 MO01 " + call + " 599 SP05\n";
    return text + "END-OF-LOG:\n";
}

TEST(PointsThroughCountryFile, RussianOperatorWorkingHomeAndForeignStations) {
    const auto points = PointsOf(Cabrillo("UA1AAA", {"UA1ABC", "RA2FA", "UA9ABC", "DL1ABC", "JA1ABC",
                                                     "UA1ABC/P", "UA9ABC/1", "DL/UA1ABC", "UA1XYZ/9",
                                                     "RA9FAA", "R9FCH/6"}));
    EXPECT_EQ(points.at("UA1ABC"), 1);     // the same prefix
    EXPECT_EQ(points.at("RA2FA"), 0);      // home, the same continent
    EXPECT_EQ(points.at("UA9ABC"), 2);     // home, another continent
    EXPECT_EQ(points.at("DL1ABC"), 3);     // foreign, the same continent
    EXPECT_EQ(points.at("JA1ABC"), 5);     // foreign, another continent
    EXPECT_EQ(points.at("UA1ABC/P"), 10);  // portable
    EXPECT_EQ(points.at("UA9ABC/1"), 1);   // signing in call area 1: European Russia
    EXPECT_EQ(points.at("DL/UA1ABC"), 3);  // operating from Germany
    EXPECT_EQ(points.at("UA1XYZ/9"), 2);   // signing in call area 9: Asiatic Russia
    EXPECT_EQ(points.at("RA9FAA"), 0);     // Asiatic Russia's prefix with Europe's continent: UA9 in EU
    EXPECT_EQ(points.at("R9FCH/6"), 1);    // listed on its own under European Russia
}

TEST(PointsThroughCountryFile, OperatorFromTheLogsOwnCallSign) {
    // UA9 in AS: a UA1 station is home from another continent.
    EXPECT_EQ(PointsOf(Cabrillo("UA9AAA", {"UA1ABC"})).at("UA1ABC"), 2);
    EXPECT_EQ(PointsOf(Cabrillo("UA9AAA", {"UA9ABC"})).at("UA9ABC"), 1);
    // A foreign operator scores only home stations, ten points each.
    const auto foreign = PointsOf(Cabrillo("DL1AAA", {"UA9ABC", "DL2ABC", "UA1ABC/P", "JA1ABC"}));
    EXPECT_EQ(foreign.at("UA9ABC"), 10);
    EXPECT_EQ(foreign.at("DL2ABC"), 0);
    EXPECT_EQ(foreign.at("UA1ABC/P"), 10);
    EXPECT_EQ(foreign.at("JA1ABC"), 0);
}

// ---- call-sign order ------------------------------------------------------------

TEST(CallSignOrder, ByUnsignedBytesStableLikeAnIndexedOrderBy) {
    std::mt19937 rng(3);
    const std::vector<std::string> pieces{"UA1ABC", "UA1ABCD", "UA1ABC/P", "UA1ABC\xC0", "UA1AB",
                                          std::string("UA1\0A", 5), "", "A", "UA1ABCDEFGHIJ",
                                          "UA1ABCDEFGHIK", "ua1abc"};
    std::string text;
    std::vector<std::string> calls;
    for (int i = 0; i < 400; ++i) calls.push_back(pieces[rng() % pieces.size()]);
    // Some calls as views into one text, some into their own strings.
    std::vector<std::size_t> offsets;
    for (const std::string& c : calls) {
        offsets.push_back(text.size());
        text += c;
    }
    ContactStore store(true);
    for (std::size_t i = 0; i < calls.size(); ++i) {
        contestlog::ContactView e;
        e.place = i + 1;
        e.call = i % 3 ? std::string_view(text).substr(offsets[i], calls[i].size()) : calls[i];
        store.Contact(e);
    }
    std::vector<std::size_t> expected(calls.size());
    for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = i;
    std::stable_sort(expected.begin(), expected.end(),
                     [&](std::size_t a, std::size_t b) { return std::string_view(calls[a]) < calls[b]; });
    const auto order = store.CallSignOrder();
    ASSERT_EQ(order.size(), expected.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(order[i], expected[i]) << i;
        EXPECT_EQ(store.CallAt(order[i]), calls[expected[i]]);
    }
}

// The stored path against the plainest way of scoring: the contacts sorted
// by call sign (stable), each stored as the recalculation stores a log row and
// evaluated. The store's pools, batches and call-sign order must give the
// same report byte for byte, on generated and on hostile logs.
std::string Plain(std::vector<Contact> log, std::string_view myPrefix, std::string_view myContinent) {
    std::stable_sort(log.begin(), log.end(), [](const Contact& a, const Contact& b) { return a.call < b.call; });
    auto record = std::make_unique<ContactRecord>();
    StoreShortText(record->MyDXCCPrefix, myPrefix);
    StoreShortText(record->MyContinent, myContinent);
    TScoreBook book;
    for (const Contact& c : log) {
        contestlog::StoreLogRow(*record, contestlog::View(c));
        book.Evaluate(*record, true);
    }
    return BuildReport(book.Tallies());
}

std::string Stored(const std::vector<Contact>& log, std::string_view myPrefix, std::string_view myContinent,
                   std::size_t* duplicates = nullptr) {
    ContactStore store(false);
    std::size_t place = 0;
    for (const Contact& c : log) {
        contestlog::ContactView view = contestlog::View(c);
        view.place = ++place;
        store.Contact(view);
    }
    const auto order = store.CallSignOrder();
    TScoreBook book;
    const std::size_t dupes = ScoreContacts(store, &order, myPrefix, myContinent, book);
    if (duplicates) *duplicates = dupes;
    return BuildReport(book.Tallies());
}

// Calls, bands and the rest from small pools, so that duplicates, shared
// multipliers and ties are common; twins differ in everything but call,
// band and mode, so that which of them is recorded shows in the score.
std::vector<Contact> HostileLog(std::uint32_t seed, std::size_t count) {
    std::mt19937 rng(seed);
    auto pick = [&](const std::vector<std::string>& pool) { return pool[rng() % pool.size()]; };
    const std::string long255(255, 'W');
    const std::vector<std::string> calls{
        "UA1ABC", "ua1abc", "UA1ABC/P", "UA1AB", "UA1ABCD", "UA1ABCDEFGHIJ", "UA1ABCDEFGHIK",
        std::string("UA1\0AB", 6), std::string("UA1AB\0", 6), "", "A", "\xC0\xDF", "\xE0\xFF",
        "DL1ABC", "DL1ABC/P", "JA1XYZ", long255, long255.substr(0, 254) + "X",
        "UA9" + std::string(252, 'Q'), "UA9" + std::string(200, 'Q'), std::string(300, 'Q'),
        std::string(255, 'Q') + "A"};
    // Bands that differ only in ways the multiplier keys do not ignore, or
    // only in letter case, or hold '|'.
    std::vector<std::string> bands{"14", "7", "3.5", "2m", "2M", "2m ", " 2m", std::string("1\0" "8", 3),
                                   "\xEC", "\xCC", "\xC0", "\x80", "\x9A", "\x8A", "a|b", "a", "b|c"};
    for (int i = 0; i < 30; ++i) bands.push_back("b" + std::to_string(i));
    const std::vector<std::string> modes{"CW", "cw", "SSB", "", "FT8"};
    const std::vector<std::string> reports{"599 MO05", "599 mo05", "59 MO05 ", "599 SP12", "599",
                                           "", std::string("599 MO05\0X", 10), "59 ZZ99", "1234"};
    const std::vector<std::string> dxccs{"UA1", "ua1", "UA9", " UA9", "DL", "dl", "JA", "", "UA2", "c", "b|c"};
    const std::vector<std::string> continents{"EU", "eu", "AS", "", "As"};
    std::vector<Contact> log;
    for (std::size_t i = 0; i < count; ++i)
        log.push_back(Row(pick(calls), pick(bands), pick(modes), pick(reports), pick(dxccs), pick(dxccs),
                          pick(continents)));
    return log;
}

TEST(CallSignOrder, StoredContactsScoreAsThePlainSortedLog) {
    for (const std::uint32_t seed : {1u, 7u}) {
        const auto log = contestsim::GenerateContacts(20000, seed);
        EXPECT_EQ(Stored(log, "UA1", "EU"), Plain(log, "UA1", "EU")) << seed;
        EXPECT_EQ(Stored(log, "DL", "EU"), Plain(log, "DL", "EU")) << seed;
        EXPECT_EQ(Stored(log, "UA9", "AS"), Plain(log, "UA9", "AS")) << seed;
    }
    for (const std::uint32_t seed : {1u, 2u, 3u, 4u}) {
        const auto log = HostileLog(seed, 3000);
        EXPECT_EQ(Stored(log, "UA1", "EU"), Plain(log, "UA1", "EU")) << "hostile " << seed;
        EXPECT_EQ(Stored(log, "DL", "EU"), Plain(log, "DL", "EU")) << "hostile " << seed;
    }
    EXPECT_EQ(Stored({}, "UA1", "EU"), Plain({}, "UA1", "EU"));
    // The band lines come in call-sign order's order, not the file's: file
    // order would give 14, 7, 3.5; AA1A's contacts come first, in file order.
    const std::vector<Contact> log{Row("ZZ1A", "14", "CW", "599 MO05", "UA9", "UA9", "AS"),
                                   Row("ZZ1A", "7", "CW", "599 MO05", "UA9", "UA9", "AS"),
                                   Row("AA1A", "7", "CW", "599 MO06", "UA9", "UA9", "AS"),
                                   Row("AA1A", "3.5", "CW", "599 MO06", "UA9", "UA9", "AS")};
    std::size_t duplicates = 9;
    const std::string report = Stored(log, "UA1", "EU", &duplicates);
    EXPECT_EQ(duplicates, 0u);
    EXPECT_LT(report.find("\n   7\t"), report.find("\n 3.5\t")) << report;
    EXPECT_LT(report.find("\n 3.5\t"), report.find("\n  14\t")) << report;
}

// ---- audit and outputs ------------------------------------------------------------

TEST(Audit, DuplicatesAndNewMultipliers) {
    if (!HaveDebianCountries()) GTEST_SKIP() << "Debian's cty.dat missing";
    TempDir dir;
    WriteFile(dir / "a.log", AuditLog());
    const Ran r = Score({"--audit", dir / "a.log"});
    EXPECT_EQ(r.status, kClean) << r.err;
    const std::string expected =
        "line 3: DL1ABC 14 CW: 3 points, new country DL\n"
        "line 5: DL1ABC 14 CW: dupe of line 3\n"
        "line 6: UA9ABC 14 CW: 2 points, new district NS05, new country UA9\n"
        "line 7: UA9ABC 7 CW: 2 points, new district NS05, new country UA9\n"
        "line 4: UA9OAA 14 CW: 2 points\n"
        "\n";
    EXPECT_EQ(r.out.substr(0, expected.size()), expected);
    EXPECT_EQ(r.out.substr(expected.size()), Score({dir / "a.log"}).out);

    const Ran logOrder = Score({"--audit", "--log-order", dir / "a.log"});
    EXPECT_EQ(logOrder.out.substr(0, logOrder.out.find('\n')),
              "line 3: DL1ABC 14 CW: 3 points, new country DL");
    EXPECT_NE(logOrder.out.find("line 4: UA9OAA 14 CW: 2 points, new district NS05, new country UA9\n"),
              std::string::npos);
    EXPECT_NE(logOrder.out.find("line 6: UA9ABC 14 CW: 2 points\n"), std::string::npos);

    const Ran csv = Score({"--audit", "--format", "csv", dir / "a.log"});
    EXPECT_EQ(csv.out.substr(0, csv.out.find("\r\n", csv.out.find("\r\n") + 2) + 2),
              std::string(kAuditCsvHeader) + "3,DL1ABC,14,CW,3,,,DL\r\n");
    EXPECT_NE(csv.out.find("5,DL1ABC,14,CW,,3,,\r\n"), std::string::npos);
}

// The numbers alone (the cross-check's re-scoring) against the audit, on
// one store scored whole in call-sign order and as a subset in file order.
TEST(Audit, NumbersAloneAgreeWithTheAudit) {
    for (const std::uint32_t seed : {1u, 2u, 3u}) {
        const auto log = seed == 1 ? contestsim::GenerateContacts(5000, seed) : HostileLog(seed, 3000);
        ContactStore store(true);
        for (std::size_t i = 0; i < log.size(); ++i) {
            contestlog::ContactView view = contestlog::View(log[i]);
            view.place = i;
            store.Contact(view);
        }
        std::vector<std::uint32_t> subset;
        for (std::uint32_t i = 0; i < store.Size(); i += 1 + i % 3) subset.push_back(i);
        for (const auto& order : {store.CallSignOrder(), subset}) {
            for (const std::string_view me : {"UA1", "DL"}) {
                TScoreBook audited, numbered;
                std::vector<std::pair<std::int32_t, std::int32_t>> expected, got;
                const std::size_t dupes = ScoreContacts(store, &order, me, "EU", audited, [&](const AuditEntry& a) {
                    expected.emplace_back(a.points, (a.newDistrict.empty() ? 0 : 1) + (a.newCountry ? 1 : 0));
                });
                EXPECT_EQ(contestlog::ScoreContactNumbers(store, &order, me, "EU", numbered, [&](const contestlog::ContactScore& c) {
                              EXPECT_EQ(c.n, got.size());
                              got.emplace_back(c.points, c.newMultipliers);
                          }),
                          dupes);
                EXPECT_EQ(got, expected) << seed << " " << me;
                EXPECT_EQ(BuildReport(numbered.Tallies()), BuildReport(audited.Tallies())) << seed << " " << me;
            }
        }
    }
}

// A strict JSON checker for what the scorer writes: objects, arrays,
// strings (valid UTF-8, no raw control bytes), integers, null.
class JsonChecker {
public:
    explicit JsonChecker(std::string_view text) : s_(text) {}
    bool Document() { return Value() && (Blank(), i_ == s_.size()); }

private:
    void Blank() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t')) ++i_;
    }
    bool Eat(char c) { return Blank(), i_ < s_.size() && s_[i_] == c ? (++i_, true) : false; }
    bool Value() {
        Blank();
        if (i_ >= s_.size()) return false;
        const char c = s_[i_];
        if (c == '{') return List('}', true);
        if (c == '[') return List(']', false);
        if (c == '"') return String();
        if (s_.substr(i_, 4) == "null") return i_ += 4, true;
        const std::size_t start = i_;
        if (c == '-') ++i_;
        while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
        return i_ > start;
    }
    bool List(char close, bool object) {
        ++i_;
        if (Eat(close)) return true;
        do {
            if (object && !(Blank(), String() && Eat(':'))) return false;
            if (!Value()) return false;
        } while (Eat(','));
        return Eat(close);
    }
    bool String() {
        if (i_ >= s_.size() || s_[i_] != '"') return false;
        for (++i_; i_ < s_.size(); ++i_) {
            const auto c = static_cast<unsigned char>(s_[i_]);
            if (c == '"') return ++i_, true;
            if (c < 0x20) return false;
            if (c == '\\') {
                const char e = i_ + 1 < s_.size() ? s_[++i_] : 0;
                if (e == 'u') {
                    for (int k = 0; k < 4; ++k)
                        if (++i_ >= s_.size() || !std::isxdigit(static_cast<unsigned char>(s_[i_]))) return false;
                } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos || e == 0) {
                    return false;
                }
            } else if (c >= 0x80) {
                const std::size_t n = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 ? 1 : 9;
                if (n == 9 || i_ + n >= s_.size()) return false;
                for (std::size_t k = 1; k <= n; ++k)
                    if ((static_cast<unsigned char>(s_[i_ + k]) & 0xC0) != 0x80) return false;
                i_ += n;
            }
        }
        return false;
    }
    std::string_view s_;
    std::size_t i_ = 0;
};

TEST(Outputs, JsonAndCsvStayWellFormedOnOddBytes) {
    const std::string odd = std::string("a\"b\\c\0d\x01\x1F\x7F", 10) + "\xC3\xA9" "\xE2\x82\xAC" "\xC0\xFF\xE2\x82" "\xED\xA0\x80";
    // Control bytes escaped, valid UTF-8 as it is, every other byte as the
    // character of its number (U+0080..U+00FF), written as UTF-8.
    const std::string json = JsonString(odd);
    EXPECT_EQ(json, "\"a\\\"b\\\\c\\u0000d\\u0001\\u001f\x7F\xC3\xA9\xE2\x82\xAC\xC3\x80\xC3\xBF\xC3\xA2\xC2\x82"
                    "\xC3\xAD\xC2\xA0\xC2\x80\"");
    EXPECT_TRUE(JsonChecker(json).Document());
    EXPECT_EQ(nlohmann::json::parse(json).get<std::string>(), Utf8OrLatin1(odd));
    EXPECT_EQ(Utf8OrLatin1("\xC0\xFF" "\xC3\xA9"), "\xC3\x80\xC3\xBF" "\xC3\xA9");

    EXPECT_EQ(CsvField("UA1ABC"), "UA1ABC");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("two\r\nlines"), "\"two\r\nlines\"");
    EXPECT_EQ(CsvField(std::string("nul\0", 4)), std::string("\"nul\0\"", 6));

    // Whole documents with odd bytes in band, call and report.
    TempDir dir;
    WriteLog(LogFormat::Sqlite, dir / "odd.sqlite",
             {Row(odd, odd, "CW", "599 MO05", "UA9", "UA9", "AS"),
              Row("UA9ABC", "14", "CW", "599 MO05", "UA9", "UA9", "AS"),
              Row("UA9ABC", "14", "CW", "599 MO06", "UA9", "UA9", "AS")});
    for (const std::vector<std::string>& extra : {std::vector<std::string>{}, {"--audit"}}) {
        std::vector<std::string> args = extra;
        args.insert(args.end(), {"--format", "json", "--db", dir / "odd.sqlite"});
        const Ran r = Score(args);
        EXPECT_EQ(r.status, kClean) << r.err;
        EXPECT_TRUE(JsonChecker(r.out).Document()) << r.out;
        EXPECT_NE(r.out.find("\"score\":"), std::string::npos);
    }
    const Ran csv = Score({"--format", "csv", "--db", dir / "odd.sqlite"});
    EXPECT_EQ(csv.out.substr(0, csv.out.find("\r\n")), "band,qsos,points,districts,countries,score");
    EXPECT_NE(csv.out.find(CsvField(odd) + ",1,2,1,1,\r\n"), std::string::npos);
    EXPECT_NE(csv.out.find("Total,2,4,2,2,16\r\n"), std::string::npos) << csv.out;
}

TEST(Outputs, TextsPrintedWholeNulIncludedAndCutAt255) {
    TempDir dir;
    const std::string band("1\0" "8", 3), longCall = "UA9" + std::string(300, 'Q');
    WriteLog(LogFormat::Sqlite, dir / "nul.sqlite",
             {Row("UA9ABC", band, "CW", "599 MO05", "UA9", "UA9", "AS"),
              Row(longCall, "14", "CW", "599 MO05", "UA9", "UA9", "AS")});
    const Ran r = Score({"--db", dir / "nul.sqlite"});
    EXPECT_EQ(r.out, WindowReport(dir / "nul.sqlite", "UA1"));
    EXPECT_NE(r.out.find(std::string("\r\n 1\0" "8\t", 7)), std::string::npos);

    const Ran audit = Score({"--audit", "--db", dir / "nul.sqlite"});
    EXPECT_NE(audit.out.find("record 2: UA9" + std::string(252, 'Q') + " 14 CW: 2 points"), std::string::npos);
    // A text holding a line end or NUL is quoted as the messages quote
    // values, so that every contact stays on its own line.
    EXPECT_NE(audit.out.find("record 1: UA9ABC '1?8' CW: 2 points"), std::string::npos) << audit.out;
}

TEST(Outputs, SummaryForAScorePostingForm) {
    if (!HaveDebianCountries()) GTEST_SKIP() << "Debian's cty.dat missing";
    TempDir dir;
    WriteFile(dir / "a.log", AuditLog());
    const Ran r = Score({"--summary", dir / "a.log"});
    EXPECT_EQ(r.status, kClean);
    EXPECT_NE(r.out.find("Station:    UA1AAA"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("5 contacts, 1 duplicates"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("14           3       7          1          2\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Claimed score: 9 points x (2 districts + 3 countries) = 45\n"), std::string::npos)
        << r.out;
}

}  // namespace
}  // namespace yol::score
