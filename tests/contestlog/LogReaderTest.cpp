// The log readers on small inline logs: detection, the band and mode tables,
// Cabrillo, ADIF (.adi and .adx) and SQLite, with damaged input of every kind.
#include "contestlog/LogReader.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "LogReaderTestSink.h"
#include "contestlog/Bands.h"
#include "contestlog/CountryFile.h"

namespace yol::contestlog {
namespace {

using namespace std::string_literals;
using test::CollectingSink;

CollectingSink Cabrillo(std::string_view text, const CountryFile* countries = nullptr) {
    CollectingSink sink;
    ReadOptions options;
    options.countries = countries;
    ReadCabrillo(text, options, sink);
    return sink;
}

CollectingSink Adi(std::string_view text, const CountryFile* countries = nullptr) {
    CollectingSink sink;
    ReadOptions options;
    options.countries = countries;
    ReadAdi(text, options, sink);
    return sink;
}

CollectingSink Adx(std::string_view text) {
    CollectingSink sink;
    ReadAdx(text, ReadOptions{}, sink);
    return sink;
}

// ---- detection ---------------------------------------------------------------

TEST(LogFormatTest, DetectsFromContentFirst) {
    EXPECT_EQ(DetectFormat("SQLite format 3\0rest"s, "log.adi"), LogFormat::Sqlite);
    EXPECT_EQ(DetectFormat("\xEF\xBB\xBF\r\n\r\nSTART-OF-LOG: 3.0\r\n", "x.adi"),
              LogFormat::Cabrillo);
    EXPECT_EQ(DetectFormat("QSO: 7005 CW 2009-05-30 0002 AA1ZZZ 599 1 S50A 599 4\n", ""),
              LogFormat::Cabrillo);
    EXPECT_EQ(DetectFormat("<?xml version=\"1.0\"?>\n<!-- by hand -->\n<adx><HEADER/>", "a.adi"),
              LogFormat::Adx);
    EXPECT_EQ(DetectFormat("Exported by a logger\n<EOH>\n", "a.log"), LogFormat::Adi);
    EXPECT_EQ(DetectFormat("<call:4>DL1A<eor>", "a.log"), LogFormat::Adi);
    // Whichever comes first: an ADIF header that mentions "QSO:" later on.
    EXPECT_EQ(DetectFormat("<CALL:4>DL1A<EOR>\nQSO: 1\n", ""), LogFormat::Adi);
}

TEST(LogFormatTest, FallsBackToTheExtension) {
    EXPECT_EQ(DetectFormat("", "/x.y/LOG.ADX"), LogFormat::Adx);
    EXPECT_EQ(DetectFormat("", "log.sqlite"), LogFormat::Sqlite);
    EXPECT_EQ(DetectFormat("", "log.cbr"), LogFormat::Cabrillo);
    EXPECT_EQ(DetectFormat("<html>", "log.adi"), LogFormat::Adi);
    // Free text could be an ADIF header whose <EOH> lies beyond the head.
    EXPECT_EQ(DetectFormat("Exported by a logger\n", "x"), LogFormat::Adi);
    EXPECT_EQ(DetectFormat("<html>", "x.y/z"), LogFormat::Unknown);
    EXPECT_EQ(DetectFormat("\x01\x02\0\x03"s, "x"), LogFormat::Unknown);
    EXPECT_EQ(FormatName(LogFormat::Adx), "ADIF (.adx)");
}

// ---- bands and modes ---------------------------------------------------------

TEST(BandTableTest, AdifNamesAndFrequencies) {
    const std::pair<const char*, const char*> names[] = {
        {"160m", "1.8"}, {"80M", "3.5"}, {"40m", "7"},     {"30m", "10"},    {"20m", "14"},
        {"17m", "18"},   {"15m", "21"},  {"12m", "24"},    {"10m", "28"},    {"6m", "50"},
        {"2m", "144"},   {"70CM", "432"}, {"23cm", "1.2G"}, {"submm", "300G"}};
    for (const auto& [adif, host] : names) {
        const BandInfo* band = BandFromAdif(adif);
        ASSERT_NE(band, nullptr) << adif;
        EXPECT_EQ(band->host, host) << adif;
        // Both edges of the band are in it, and the band's FREQ maps back.
        EXPECT_EQ(BandFromHz(band->lowHz), band);
        EXPECT_EQ(BandFromHz(band->highHz), band);
    }
    EXPECT_EQ(BandFromAdif("11m"), nullptr);
    EXPECT_EQ(BandFromAdif(""), nullptr);
    EXPECT_EQ(BandFromHz(14'350'001), nullptr);
    EXPECT_EQ(BandFromHz(0), nullptr);

    EXPECT_EQ(ParseHz("14.05", 1'000'000), 14'050'000u);
    EXPECT_EQ(ParseHz("7005.5", 1000), 7'005'500u);
    EXPECT_EQ(ParseHz("14.0000001", 1'000'000), 14'000'000u);  // below 1 Hz dropped
    EXPECT_EQ(ParseHz(".5", 1000), 500u);
    for (const char* bad : {"", ".", "1.2.3", "-7", "14 MHz", "99999999999999999999"})
        EXPECT_FALSE(ParseHz(bad, 1'000'000).has_value()) << bad;
}

TEST(BandTableTest, CabrilloFrequencies) {
    const std::pair<const char*, const char*> cases[] = {
        {"1800", "1.8"}, {"2000", "1.8"},  {"3500", "3.5"}, {"3999", "3.5"}, {"7000", "7"},
        {"7300", "7"},   {"10100", "10"},  {"14000", "14"}, {"18068", "18"}, {"21000", "21"},
        {"24890", "24"}, {"28000", "28"},  {"29700", "28"}, {"7005.5", "7"}, {"50", "50"},
        {"50100", "50"}, {"144", "144"},   {"144300", "144"}, {"432", "432"}, {"902", "902"},
        {"1.2G", "1.2G"}, {"1.2g", "1.2G"}, {"10G", "10G"}, {"light", "LIGHT"}, {"3.5", "3.5"}};
    for (const auto& [field, host] : cases) EXPECT_EQ(BandFromCabrillo(field), host) << field;
    for (const char* none : {"14400", "7", "", "6", "abc", "1.3G", "29701"})
        EXPECT_EQ(BandFromCabrillo(none), none == std::string_view("7") ? "7" : "") << none;
}

TEST(ModeTableTest, CabrilloAndAdif) {
    std::string buffer;
    EXPECT_EQ(ModeFromCabrillo("CW", buffer), "CW");
    EXPECT_EQ(ModeFromCabrillo("PH", buffer), "SSB");
    EXPECT_EQ(ModeFromCabrillo("ry", buffer), "RTTY");
    EXPECT_EQ(ModeFromCabrillo("DG", buffer), "DIGI");
    EXPECT_EQ(ModeFromCabrillo("FM", buffer), "FM");
    EXPECT_EQ(ModeFromCabrillo("cw/digital", buffer), "CW/DIGITAL");

    EXPECT_EQ(ModeFromAdif("SSB", "USB", buffer), "SSB");
    EXPECT_EQ(ModeFromAdif("lsb", "", buffer), "SSB");
    EXPECT_EQ(ModeFromAdif("", "USB", buffer), "SSB");
    EXPECT_EQ(ModeFromAdif("CW", "PCW", buffer), "CW");
    EXPECT_EQ(ModeFromAdif("RTTY", "ASCI", buffer), "RTTY");
    EXPECT_EQ(ModeFromAdif("MFSK", "ft4", buffer), "FT4");
    EXPECT_EQ(ModeFromAdif("ft8", "", buffer), "FT8");
    EXPECT_EQ(ModeFromAdif("", "", buffer), "");
}

TEST(TextTest, Utf8ToWindows1251) {
    std::string out;
    AppendUtf8As1251("RA3 \xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0 \xD0\x81\xD1\x91", out);
    EXPECT_EQ(out, "RA3 \xCC\xEE\xF1\xEA\xE2\xE0 \xA8\xB8");  // Москва Ёё
    out.clear();
    AppendUtf8As1251("\xE2\x84\x96 \xC3\xBC \xF0\x9F\x93\xBB", out);  // № ü and an emoji
    EXPECT_EQ(out, "\xB9 ? ?");
    out.clear();
    AppendUtf8As1251("a\xD0" "b\xFF\xE2\x84", out);  // cut and stray bytes
    EXPECT_EQ(out, "a?b??");
}

// ---- Cabrillo ------------------------------------------------------------------

constexpr std::string_view kCabrillo =
    "START-OF-LOG: 3.0\n"
    "CALLSIGN: ua3abc\n"
    "CONTEST: YOL\n"
    "QSO:  7012 CW 2024-02-03 1200 UA3ABC 599 MO05 rw1a 599 SP01\n"
    "QSO: 14012 PH 2024-02-03 1201 UA3ABC 59 MO05 DL1XX 59 0123\n"
    "END-OF-LOG:\n";

TEST(CabrilloTest, MapsQsoLines) {
    const CollectingSink sink = Cabrillo(kCabrillo);
    EXPECT_TRUE(sink.problems.empty()) << sink.ProblemText();
    ASSERT_EQ(sink.stations, std::vector<std::string>{"UA3ABC"});
    ASSERT_EQ(sink.rows.size(), 2u);
    EXPECT_EQ(sink.rows[0].place, 4u);
    EXPECT_EQ(sink.rows[0].call, "RW1A");
    EXPECT_EQ(sink.rows[0].band, "7");
    EXPECT_EQ(sink.rows[0].mode, "CW");
    EXPECT_EQ(sink.rows[0].report, "599 SP01");
    EXPECT_EQ(sink.rows[1].band, "14");
    EXPECT_EQ(sink.rows[1].mode, "SSB");
    EXPECT_EQ(sink.rows[1].report, "59 0123");
    EXPECT_EQ(sink.rows[1].dxcc, "");  // no country file
}

TEST(CabrilloTest, ExchangesOfAnyLength) {
    const CollectingSink sink = Cabrillo(
        "CALLSIGN: K1AA\n"
        "QSO: 3505 CW 2024-02-03 1200 K1AA K2BB\n"                                // none
        "QSO: 3505 CW 2024-02-03 1200 K1AA 5NN K2BB 5NN\n"                       // one
        "QSO: 3505 CW 2024-02-03 1200 K1AA 599 MO 05 K2BB 579 SP 01\n"           // three
        "QSO: 3505 CW 2024-02-03 1200 K1AA 599 05 K2BB 599 07 1\n"               // tx id
        "QSO: 3505 CW 2024-02-03 1200 K1AA 599 05 K2BB 599 07 0\n"
        "QSO: 3505 CW 2024-02-03 1200 K1AA 599 K2BB 599 07\n"                    // uneven
        "QSO: 3505 CW 2024-02-03 1200 K1AA 599 05 07 K2BB 599\n");               // uneven
    ASSERT_EQ(sink.rows.size(), 5u) << sink.ProblemText();
    EXPECT_EQ(sink.rows[0].report, "");
    EXPECT_EQ(sink.rows[1].report, "5NN");
    EXPECT_EQ(sink.rows[2].report, "579 SP 01");
    EXPECT_EQ(sink.rows[3].report, "599 07");
    EXPECT_EQ(sink.rows[4].report, "599 07");
    // Exchanges of different lengths: an even count whose last field is no
    // transmitter id, or a middle field that is no call sign.
    ASSERT_EQ(sink.problems.size(), 2u);
    EXPECT_EQ(sink.problems[0].place, 7u);
    EXPECT_NE(sink.problems[0].message.find("transmitter id"), std::string::npos);
    EXPECT_EQ(sink.problems[1].place, 8u);
    EXPECT_NE(sink.problems[1].message.find("'07'"), std::string::npos);
}

TEST(CabrilloTest, ExchangesOfTheCountsStationsSend) {
    // Home stations send three tokens, the others two: told the counts, the
    // reader splits where a call stands between them.
    CollectingSink sink;
    ReadOptions options;
    options.exchangeCounts = {2, 3};
    ReadCabrillo("CALLSIGN: K1AA\n"
                 "QSO: 7005 CW 2024-02-03 1200 K1AA 599 001 MA DL1ABC 599 100\n"      // 3 and 2
                 "QSO: 7005 CW 2024-02-03 1201 K1AA 599 MA DL1ABC 599 100 001 0\n"    // 2 and 3, tx id
                 "QSO: 7005 CW 2024-02-03 1202 K1AA 599 002 MA W1AW 599 003 CT\n"     // 3 and 3
                 "QSO: 7005 CW 2024-02-03 1203 K1AA 599 DL1ABC\n",                    // fits no count
                 options, sink);
    ASSERT_EQ(sink.rows.size(), 3u) << sink.ProblemText();
    EXPECT_EQ(sink.contacts[0].sent, "599 001 MA");
    EXPECT_EQ(sink.rows[0].call, "DL1ABC");
    EXPECT_EQ(sink.rows[0].report, "599 100");
    EXPECT_EQ(sink.contacts[1].sent, "599 MA");
    EXPECT_EQ(sink.rows[1].report, "599 100 001");
    EXPECT_EQ(sink.rows[2].report, "599 003 CT");
    ASSERT_EQ(sink.problems.size(), 1u);
    EXPECT_EQ(sink.problems[0].place, 5u);
    // Without the counts the first line is one of exchanges that differ in length.
    EXPECT_EQ(Cabrillo("QSO: 7005 CW 2024-02-03 1200 K1AA 599 001 MA DL1ABC 599 100\n").rows.size(), 0u);
}

// With the contest's token counts (sent 2, received 2) a line splits by them,
// and a line one token short is read where one field alone in the two places
// the counts allow can be a call; unknown counts leave it skipped.
TEST(CabrilloTest, TheContestsTokenCountsReadALineOneTokenShort) {
    const std::string_view text =
        "CALLSIGN: LZ0AR\n"
        "QSO: 3537 CW 2017-08-19 0741 LZ0AR 041  LZ0AP 045 040\n"       // 2: one sent token fewer
        "QSO: 3537 CW 2017-08-19 0742 LZ0AR 042 045 LZ0AP 046\n"        // 3: one received fewer
        "QSO: 3537 CW 2017-08-19 0743 LZ0AR 043 LZ0AP 047 040 1\n"      // 4: ... and a transmitter id
        "QSO: 3537 CW 2017-08-19 0744 LZ0AR 044 LZ0AP LZ0AQ 040\n"      // 5: two fields can be the call
        "QSO: 3537 CW 2017-08-19 0745 LZ0AR 5NN LZ0DR 5NN 049\n"        // 6: '5NN' is no call
        "QSO: 3537 CW 2017-08-19 0746 LZ0AR 046 046 LZ0DF/P 050 044\n"; // 7: whole
    CollectingSink unknown;
    ReadCabrillo(text, ReadOptions{}, unknown);
    ASSERT_EQ(unknown.rows.size(), 1u) << unknown.ProblemText();  // line 7 alone splits evenly
    EXPECT_EQ(unknown.problems.size(), 5u);

    ReadOptions options;
    options.exchangeCounts = {2};
    CollectingSink sink;
    ReadCabrillo(text, options, sink);
    ASSERT_EQ(sink.rows.size(), 5u) << sink.ProblemText();
    const std::size_t places[] = {2, 3, 4, 6, 7};
    const char* sent[] = {"041", "042 045", "043", "5NN", "046 046"};
    const char* received[] = {"045 040", "046", "047 040", "5NN 049", "050 044"};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(sink.rows[i].place, places[i]);
        EXPECT_EQ(sink.contacts[i].sent, sent[i]) << i;
        EXPECT_EQ(sink.rows[i].report, received[i]) << i;
    }
    EXPECT_EQ(sink.rows[0].call, "LZ0AP");
    EXPECT_EQ(sink.rows[3].call, "LZ0DR");
    EXPECT_EQ(sink.rows[4].call, "LZ0DF/P");
    ASSERT_EQ(sink.problems.size(), 5u) << sink.ProblemText();
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(sink.problems[i].place, i + 2);
        EXPECT_EQ(sink.problems[i].severity, i == 3 ? Severity::Rejected : Severity::Incomplete) << i;
    }
    EXPECT_EQ(sink.problems[0].message,
              "this line has one sent token fewer than the contest's exchange (2 sent, 2 received): "
              "read as sent '041', worked call 'LZ0AP', received '045 040'");
    EXPECT_NE(sink.problems[1].message.find("one received token fewer"), std::string::npos);

    // Counts that differ: sent 1, received 2 (a serial against a report and a district).
    options.exchangeCounts = {1, 2};
    CollectingSink uneven;
    ReadCabrillo("QSO: 7005 CW 2024-02-03 1200 K1AA 001 K2BB 599 MO05\n", options, uneven);
    ASSERT_EQ(uneven.rows.size(), 1u) << uneven.ProblemText();
    EXPECT_EQ(uneven.rows[0].report, "599 MO05");
    EXPECT_TRUE(uneven.problems.empty());
}

TEST(CabrilloTest, RejectsMalformedLinesAndReadsOn) {
    const CollectingSink sink = Cabrillo(
        "START-OF-LOG: 3.0\n"
        "CALLSIGN: K1AA\n"
        "QSO: 14400 CW 2024-02-03 1200 K1AA 599 1 K2BB 599 2\n"   // 3: no band there
        "QSO: 11m CW 2024-02-03 1200 K1AA 599 1 K2BB 599 2\n"     // 4
        "QSO: 7005 CW 2024-02-03 K1AA 599 1 K2BB 599 2\n"         // 5: no time
        "QSO: 7005 CW 2024-02-03\n"                               // 6: short
        "QSO:\n"                                                  // 7
        "X-QSO: 7005 CW 2024-02-03 1200 K1AA 599 1 K3CC 599 2\n"  // not scored, no problem
        "SOAPBOX: QSO: is a word\n"
        "QSO: 7005 CW 2024-02-03 1200 K1AA 599 1 K2BB 599 2\n");  // 10
    ASSERT_EQ(sink.rows.size(), 1u);
    EXPECT_EQ(sink.rows[0].place, 10u);
    ASSERT_EQ(sink.problems.size(), 5u) << sink.ProblemText();
    const std::size_t lines[] = {3, 4, 5, 6, 7};
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(sink.problems[i].place, lines[i]);
    EXPECT_NE(sink.problems[0].message.find("'14400'"), std::string::npos);
    EXPECT_NE(sink.problems[2].message.find("field 4"), std::string::npos);
}

TEST(CabrilloTest, LineEndsAndHeaderPlaces) {
    for (const char* eol : {"\n", "\r\n", "\r"}) {
        SCOPED_TRACE(testing::Message() << "line end " << static_cast<int>(eol[0]));
        const std::string e = eol;
        // QSO line first, the CALLSIGN: header after it: the station still
        // comes before the first contact.
        const CollectingSink sink =
            Cabrillo("\xEF\xBB\xBF" + e + "QSO: 7005 CW 2024-02-03 1200 K1AA 599 1 K2BB 599 2" + e +
                     e + "CALLSIGN: K1AA" + e + "QSO: 7005 CW 2024-02-03 1200 K1AA 599 1 K3CC 599 2");
        ASSERT_EQ(sink.rows.size(), 2u);
        EXPECT_EQ(sink.rows[0].place, 2u);
        EXPECT_EQ(sink.rows[1].place, 5u);
        EXPECT_EQ(sink.stations, std::vector<std::string>{"K1AA"});
        EXPECT_FALSE(sink.stationAfterContact);
    }
}

TEST(CabrilloTest, VersionTwoAndNoCallsignHeader) {
    // A 2.0 log: no CALLSIGN: needed, the QSO line's own call is the station.
    const CollectingSink sink = Cabrillo(
        "START-OF-LOG: 2.0\n"
        "QSO:  3799 PH 1999-03-06 0711 HC8N          59  700    W1AW          59  CT     \n"
        "QSO:  144 PH 1999-03-06 0712 HC8N          59  700    W1AW          59  CT     \n"
        "END-OF-LOG:\n");
    ASSERT_EQ(sink.rows.size(), 2u) << sink.ProblemText();
    EXPECT_EQ(sink.stations, std::vector<std::string>{"HC8N"});
    EXPECT_EQ(sink.rows[0].band, "3.5");
    EXPECT_EQ(sink.rows[0].report, "59 CT");
    EXPECT_EQ(sink.rows[1].band, "144");
    EXPECT_TRUE(Cabrillo("").problems.size() == 1u);  // not a Cabrillo log at all
}

// ---- ADIF .adi -------------------------------------------------------------------

constexpr std::string_view kAdi =
    "Written by hand\n"
    "<ADIF_VER:5>3.1.4\n"
    "<EOH>\n"
    "<call:5>rw1ab <BAND:3>40M <Mode:2>CW <RST_RCVD:3>599 <SRX:4>SP01 "
    "<STATION_CALLSIGN:6>ua3abc <eor>\n"
    "<CALL:5>DL1XX <FREQ:6>14.012 <MODE:3>SSB <SUBMODE:3>USB <SRX_STRING:7>59 0123 "
    "<RST_RCVD:2>59 <CONT:2>EU <APP_YOL_DXCCPREFIX:2>DL <app_yol_mainprefix:2>DA "
    "<OPERATOR:4>K1AA <EOR>\n"
    "<CALL:4>K1BB <BAND:3>20m <FREQ:4>99.0 <MODE:4>MFSK <SUBMODE:3>FT4 <EOR>\n";

TEST(AdiTest, MapsFields) {
    const CollectingSink sink = Adi(kAdi);
    EXPECT_TRUE(sink.problems.empty()) << sink.ProblemText();
    EXPECT_EQ(sink.stations, std::vector<std::string>{"UA3ABC"});  // first record, once
    ASSERT_EQ(sink.rows.size(), 3u);
    EXPECT_EQ(sink.rows[0].place, 4u);
    EXPECT_EQ(sink.rows[0].call, "RW1AB");
    EXPECT_EQ(sink.rows[0].band, "7");
    EXPECT_EQ(sink.rows[0].mode, "CW");
    EXPECT_EQ(sink.rows[0].report, "599 SP01");
    EXPECT_EQ(sink.rows[1].band, "14");  // from FREQ
    EXPECT_EQ(sink.rows[1].mode, "SSB");
    EXPECT_EQ(sink.rows[1].report, "59 0123");  // SRX_STRING first
    EXPECT_EQ(sink.rows[1].continent, "EU");
    EXPECT_EQ(sink.rows[1].dxcc, "DL");
    EXPECT_EQ(sink.rows[1].main, "DA");
    EXPECT_EQ(sink.rows[2].band, "14");  // BAND before FREQ
    EXPECT_EQ(sink.rows[2].mode, "FT4");
}

TEST(AdiTest, LengthsCountBytes) {
    // A value holding '<', "<EOR>" and a line end is read by its length;
    // the type indicator is skipped; text between tags is ignored.
    const CollectingSink sink = Adi(
        "<CALL:4:S>K1AA junk <BAND:3>20m<MODE:2>CW<SRX_STRING:13>5<EOR>\r\n<x>>9\n"
        "<EOR>");
    ASSERT_EQ(sink.rows.size(), 1u) << sink.ProblemText();
    EXPECT_EQ(sink.rows[0].report, "5<EOR>\r\n<x>>9");
    // Nothing rejected; only the value holding "<EOR>" is noted.
    ASSERT_EQ(sink.problems.size(), 1u) << sink.ProblemText();
    EXPECT_EQ(sink.problems[0].severity, Severity::Note);
    EXPECT_NE(sink.problems[0].message.find("SRX_STRING"), std::string::npos);
}

TEST(AdiTest, LineEnds) {
    for (const char* eol : {"\n", "\r\n", "\r"}) {
        SCOPED_TRACE(testing::Message() << "line end " << static_cast<int>(eol[0]));
        const std::string e = eol;
        const std::string rec = "<CALL:4>K1AA" + e + "<BAND:3>20m<MODE:2>CW" + e + "<EOR>" + e;
        const CollectingSink sink = Adi("header" + e + e + "<EOH>" + e + rec + e + rec + "<CALL:2>");
        ASSERT_EQ(sink.rows.size(), 2u);
        EXPECT_EQ(sink.rows[0].place, 4u);
        EXPECT_EQ(sink.rows[1].place, 8u);
        ASSERT_EQ(sink.problems.size(), 1u) << sink.ProblemText();  // runs past the end
        EXPECT_EQ(sink.problems[0].place, 11u);
    }
}

TEST(AdiTest, BadLengths) {
    const CollectingSink sink = Adi(
        "<EOH>\n"
        "<CALL:-5>K1AA <BAND:3>20m <MODE:2>CW <EOR>\n"                      // 2: no call left
        "<CALL:4>K1BB <BAND:99999999999999999999>20m <MODE:2>CW <EOR>\n"     // 3: no band left
        "<CALL:4>K1CC <BAND:3>20m <MODE:2>CW <COMMENT:x1>hi <EOR>\n"        // 4: read
        "<CALL:4>K1DD <BAND:3>20m <MODE:2>CW <EOR>\n"                       // 5
        "<CALL:4>K1EE <BAND:3>20m <MODE:> <MODE:2>CW <NAME> <EOR>\n");      // 6: read
    ASSERT_EQ(sink.rows.size(), 3u) << sink.ProblemText();
    EXPECT_EQ(sink.rows[0].call, "K1CC");
    EXPECT_EQ(sink.rows[1].call, "K1DD");
    EXPECT_EQ(sink.rows[2].call, "K1EE");
    std::vector<std::size_t> places;
    for (const LogProblem& p : sink.problems) places.push_back(p.place);
    EXPECT_EQ(places, (std::vector<std::size_t>{2, 2, 3, 3, 4, 6, 6})) << sink.ProblemText();
    EXPECT_NE(sink.problems[0].message.find("'-5'"), std::string::npos);
}

TEST(AdiTest, HeaderEdges) {
    // <EOR> before <EOH>: the fields so far make the first record.
    CollectingSink sink = Adi("free text <CALL:4>K1AA<BAND:2>6m<MODE:2>FM<EOR>\n"
                              "<CALL:4>K1BB<BAND:2>6m<MODE:2>FM<EOR>");
    ASSERT_EQ(sink.rows.size(), 2u);
    ASSERT_EQ(sink.problems.size(), 1u);
    EXPECT_NE(sink.problems[0].message.find("<EOR> before <EOH>"), std::string::npos);
    // A file starting with '<' has no header: not a problem.
    sink = Adi("<CALL:4>K1AA<BAND:2>2m<MODE:2>FM<EOR>");
    ASSERT_EQ(sink.rows.size(), 1u);
    EXPECT_TRUE(sink.problems.empty());
    EXPECT_EQ(sink.rows[0].band, "144");
    // ...unless an <EOH> says otherwise; a stray <EOH> later drops the fields before it.
    sink = Adi("<ADIF_VER:5>3.1.4<EOH><CALL:4>K1AA<BAND:2>2m<MODE:2>FM<EOR>"
               "<CALL:4>K1BB<EOH><CALL:4>K1CC<BAND:2>2m<MODE:2>FM<EOR>");
    ASSERT_EQ(sink.rows.size(), 2u);
    EXPECT_EQ(sink.rows[1].call, "K1CC");
    EXPECT_EQ(sink.problems.size(), 1u);
    // Text without any tag.
    EXPECT_EQ(Adi("just text\n").problems.size(), 1u);
    EXPECT_EQ(Adi("").problems.size(), 1u);
}

TEST(AdiTest, RejectedRecordsAreExplained) {
    const CollectingSink sink = Adi(
        "<EOH>\n"
        "<BAND:3>20m<MODE:2>CW<EOR>\n"                          // 2: no call
        "<CALL:4>K1AA<BAND:3>11m<MODE:2>CW<EOR>\n"              // 3: unknown band
        "<CALL:4>K1AA<BAND:3>11m<FREQ:6>27.125<MODE:2>CW<EOR>\n" // 4
        "<CALL:4>K1AA<FREQ:3>abc<MODE:2>CW<EOR>\n"              // 5
        "<CALL:4>K1AA<BAND:3>11m<FREQ:6>21.010<MODE:2>CW<EOR>\n" // 6: FREQ saves it
        "<CALL:4>K1AA<BAND:3>20m<EOR>\n"                        // 7: no mode
        "<EOR><EOR>\n"                                          // empty records: nothing
        "<CALL:4>K1AA<BAND:3>20m<MODE:2>CW\n");                 // 9: cut off
    ASSERT_EQ(sink.rows.size(), 1u);
    EXPECT_EQ(sink.rows[0].band, "21");
    std::vector<std::size_t> places;
    for (const LogProblem& p : sink.problems) places.push_back(p.place);
    EXPECT_EQ(places, (std::vector<std::size_t>{2, 3, 4, 5, 7, 9})) << sink.ProblemText();
    EXPECT_NE(sink.problems[1].message.find("'11m'"), std::string::npos);
    EXPECT_NE(sink.problems[5].message.find("no <EOR>"), std::string::npos);
}

TEST(AdiTest, LongValuesAndNulBytes) {
    const std::string big(300, 'R');
    const std::string huge(10 << 20, 'x');
    const std::string withNul = "59\0" "9 MO"s;
    const std::string text = "<EOH><CALL:4>K1AA<BAND:3>20m<MODE:2>CW<SRX_STRING:300>" + big +
                             "<COMMENT:" + std::to_string(huge.size()) + ">" + huge + "<EOR>" +
                             "<CALL:4>K\0AA<BAND:3>20m<MODE:2>CW<SRX_STRING:7>"s + withNul + "<EOR>";
    const CollectingSink sink = Adi(text);
    ASSERT_EQ(sink.rows.size(), 2u) << sink.ProblemText();
    EXPECT_EQ(sink.rows[0].report, big);  // whole: the record store cuts it
    EXPECT_EQ(sink.rows[1].call, "K\0AA"s);
    EXPECT_EQ(sink.rows[1].report, withNul);
}

TEST(AdiTest, JunkNeverStops) {
    // Binary junk, half tags, a '<' every byte: read through, quickly.
    std::string junk;
    for (int i = 0; i < 200000; ++i) junk.push_back(static_cast<char>((i * 7919) % 256));
    junk += std::string(100000, '<') + "<CALL:" + std::string(300, '9') + "<CALL:4";
    junk += "<CALL:4>K1AA<BAND:3>20m<MODE:2>CW<EOR>";
    const CollectingSink sink = Adi(junk);
    ASSERT_FALSE(sink.rows.empty());
    EXPECT_EQ(sink.rows.back().call, "K1AA");
}

// ---- ADIF .adx -------------------------------------------------------------------

TEST(AdxTest, MapsElements) {
    const CollectingSink sink = Adx(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<ADX>\n"
        " <HEADER><ADIF_VER>3.1.4</ADIF_VER><CALL>NOT1</CALL></HEADER>\n"
        " <RECORDS>\n"
        "  <RECORD><call>rw1ab</call><Band>40m</Band><MODE>CW</MODE><RST_RCVD>599</RST_RCVD>"
        "<SRX>SP01</SRX><STATION_CALLSIGN>UA3ABC</STATION_CALLSIGN>"
        "<APP PROGRAMID=\"YOL\" FIELDNAME=\"DxccPrefix\" TYPE=\"S\">UA1</APP>"
        "<APP PROGRAMID=\"OTHER\" FIELDNAME=\"MAINPREFIX\">XX</APP>"
        "<APP programid=\"yol\" fieldname=\"MAINPREFIX\">R</APP></RECORD>\n"
        "  <RECORD><CALL>UA9AA</CALL><FREQ>7.01</FREQ><MODE>SSB</MODE>"
        "<SRX_STRING>59 \xD0\x9C\xD0\x9E 05 &amp;</SRX_STRING><CONT>as</CONT></RECORD>\n"
        " </RECORDS>\n"
        "</ADX>\n");
    EXPECT_TRUE(sink.problems.empty()) << sink.ProblemText();
    EXPECT_EQ(sink.stations, std::vector<std::string>{"UA3ABC"});
    ASSERT_EQ(sink.rows.size(), 2u);
    EXPECT_EQ(sink.rows[0].place, 1u);
    EXPECT_EQ(sink.rows[0].call, "RW1AB");
    EXPECT_EQ(sink.rows[0].band, "7");
    EXPECT_EQ(sink.rows[0].report, "599 SP01");
    EXPECT_EQ(sink.rows[0].dxcc, "UA1");
    EXPECT_EQ(sink.rows[0].main, "R");
    EXPECT_EQ(sink.rows[1].place, 2u);
    EXPECT_EQ(sink.rows[1].report, "59 \xCC\xCE 05 &");  // Windows-1251
    EXPECT_EQ(sink.rows[1].continent, "as");
}

TEST(AdxTest, RecoversFromXmlErrors) {
    const CollectingSink sink = Adx(
        "<ADX><RECORDS>\n"
        "<RECORD><CALL>K1AA</CALL><BAND>20m</BAND><MODE>CW</MODE></RECORD>\n"
        "<RECORD><CALL>K1BB</CALL><BAND>20m</BAND><MODE>CW</MOD></RECORD>\n"   // broken
        "<RECORD><CALL>K1CC</CALL><BAND>20m</BAND><MODE>CW</MODE></RECORD>\n"
        "<RECORD><CALL>K1DD</CALL><BAND>11m</BAND><MODE>CW</MODE></RECORD>\n"  // no band
        "<RECORD><CALL>K1EE</CALL><BAND>20m</BAND><MODE>CW</MODE></RECORD>\n"
        "<RECORD><CALL>K1FF</CA");                                            // cut off
    ASSERT_EQ(sink.rows.size(), 3u) << sink.ProblemText();
    EXPECT_EQ(sink.rows[1].call, "K1CC");
    EXPECT_EQ(sink.rows[2].call, "K1EE");
    ASSERT_EQ(sink.problems.size(), 3u) << sink.ProblemText();
    EXPECT_EQ(sink.problems[0].place, 2u);
    EXPECT_NE(sink.problems[0].message.find("line 3"), std::string::npos);
    EXPECT_EQ(sink.problems[1].place, 4u);
    EXPECT_EQ(sink.problems[2].place, 6u);
}

TEST(AdxTest, RefusesDoctypesAndOtherRoots) {
    const CollectingSink laughs = Adx(
        "<?xml version=\"1.0\"?><!DOCTYPE ADX [<!ENTITY a \"aaaaaaaaaa\">"
        "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]>"
        "<ADX><RECORDS><RECORD><CALL>&b;</CALL><BAND>20m</BAND><MODE>CW</MODE></RECORD>"
        "<RECORD><CALL>K1AA</CALL><BAND>20m</BAND><MODE>CW</MODE></RECORD></RECORDS></ADX>");
    ASSERT_EQ(laughs.rows.size(), 1u) << laughs.ProblemText();
    EXPECT_EQ(laughs.rows[0].call, "K1AA");
    EXPECT_GE(laughs.problems.size(), 1u);

    const CollectingSink html = Adx("<html><RECORDS><RECORD><CALL>K1AA</CALL></RECORD></RECORDS></html>");
    EXPECT_TRUE(html.rows.empty());
    ASSERT_EQ(html.problems.size(), 1u);
    EXPECT_NE(html.problems[0].message.find("'html'"), std::string::npos);
    EXPECT_EQ(Adx("").problems.size(), 1u);
    EXPECT_EQ(Adx("").problems[0].place, 1u);  // places count from 1, before the first record too
}

// ---- country data ----------------------------------------------------------------

constexpr std::string_view kCty =
    "European Russia:          16:  29:  EU:   53.65:   -41.37:    -4.0:  UA:\n"
    "    R,U;\n"
    "Asiatic Russia:           17:  30:  AS:   55.88:   -84.08:    -7.0:  UA9:\n"
    "    R9,RA9,UA9,UA0;\n"
    "Fed. Rep. of Germany:     14:  28:  EU:   51.00:   -10.00:    -1.0:  DL:\n"
    "    DA,DL;\n";

TEST(CountryMappingTest, FillsWhatTheFileLacks) {
    const CountryFile cty = CountryFile::Parse(kCty);
    const CollectingSink cab = Cabrillo(
        "CALLSIGN: DL1AA\n"
        "QSO: 7005 CW 2024-02-03 1200 DL1AA 599 1 RW1A 599 MO05\n"
        "QSO: 7005 CW 2024-02-03 1200 DL1AA 599 1 UA9XX 599 NS01\n"
        "QSO: 7005 CW 2024-02-03 1200 DL1AA 599 1 DA0A 599 1\n"
        "QSO: 7005 CW 2024-02-03 1200 DL1AA 599 1 JA1AA 599 1\n",
        &cty);
    ASSERT_EQ(cab.rows.size(), 4u);
    EXPECT_EQ(cab.rows[0].dxcc, "UA1");  // the host's name for European Russia
    EXPECT_EQ(cab.rows[0].main, "UA");
    EXPECT_EQ(cab.rows[0].continent, "EU");
    EXPECT_EQ(cab.rows[1].dxcc, "UA9");
    EXPECT_EQ(cab.rows[1].continent, "AS");
    EXPECT_EQ(cab.rows[2].dxcc, "DL");
    EXPECT_EQ(cab.rows[3].dxcc, "");
    ASSERT_EQ(cab.problems.size(), 1u);
    EXPECT_EQ(cab.problems[0].place, 5u);

    // What the file carries wins; the rest comes from the country file.
    const CollectingSink adi =
        Adi("<CALL:5>RW1AA<BAND:3>20m<MODE:2>CW<CONT:2>AS<APP_YOL_DXCCPREFIX:3>UA2<EOR>", &cty);
    ASSERT_EQ(adi.rows.size(), 1u);
    EXPECT_EQ(adi.rows[0].dxcc, "UA2");
    EXPECT_EQ(adi.rows[0].continent, "AS");
    EXPECT_EQ(adi.rows[0].main, "UA");
}

}  // namespace
}  // namespace yol::contestlog
