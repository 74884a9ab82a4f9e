// What the readers take from a log beyond the host's seven texts: time,
// frequency, own call, sent exchange, the original line and the headers; and
// the writers writing them back.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "LogReaderTestSink.h"
#include "contestlog/Bands.h"
#include "contestlog/LogReader.h"
#include "contestlog/LogWriter.h"
#include "contestlog/Text.h"

namespace yol::contestlog {
namespace {

using test::CollectingSink;
using Headers = std::vector<std::pair<std::string, std::string>>;

TEST(ContactTimeTest, DatesAndTimesAsUtcMinutes) {
    EXPECT_EQ(UtcMinutes("1970-01-01", "0000"), 0);
    EXPECT_EQ(UtcMinutes("19700102", "0001"), 1441);
    EXPECT_EQ(UtcMinutes("2024-02-29", "23:59"), UtcMinutes("20240301", "0000") - 1);
    EXPECT_EQ(UtcMinutes("2024-05-04", "120759"), UtcMinutes("2024-05-04", "1207"));
    EXPECT_EQ(UtcText(UtcMinutes("2024-05-04", "1207")), "2024-05-04 12:07");
    EXPECT_EQ(UtcText(UtcMinutes("1969-12-31", "2359")), "1969-12-31 23:59");
    for (auto [date, time] : {std::pair{"2023-02-29", "0000"}, {"2024-13-01", "0000"},
                              {"2024-05-04", "2400"}, {"2024-05-04", "1260"}, {"2024-5-4", "1200"},
                              {"20240504", "12"}, {"20240504", "120799"}, {"", ""}})
        EXPECT_EQ(UtcMinutes(date, time), kNoTime) << date << " " << time;
    EXPECT_EQ(UtcText(kNoTime), "");
}

TEST(ContactTimeTest, FrequenciesMoveThreePlaces) {
    std::string buffer;
    EXPECT_EQ(KilohertzOfMegahertz("14.0125", buffer), "14012.5");
    EXPECT_EQ(KilohertzOfMegahertz("7", buffer), "7000");
    EXPECT_EQ(KilohertzOfMegahertz("0.1365", buffer), "136.5");
    EXPECT_EQ(KilohertzOfMegahertz(".5", buffer), "500");
    EXPECT_EQ(KilohertzOfMegahertz("014.000", buffer), "14000");
    EXPECT_EQ(MegahertzOfKilohertz("14012.5", buffer), "14.0125");
    EXPECT_EQ(MegahertzOfKilohertz("7000", buffer), "7");
    EXPECT_EQ(MegahertzOfKilohertz("50", buffer), "0.05");
    for (std::string_view bad : {"", ".", "14.0.1", "14,0", "-7", "1e3"})
        EXPECT_EQ(KilohertzOfMegahertz(bad, buffer), "") << bad;
    EXPECT_EQ(ExchangeTokens(" 599\t001  MO "), (std::vector<std::string_view>{"599", "001", "MO"}));
}

TEST(TextTest, Windows1251BothWaysFromOneTable) {
    std::string all, utf8, back;
    for (int b = 1; b < 256; ++b)
        if (b != 0x98) all.push_back(static_cast<char>(b));  // 0x98 is no character of the page
    Append1251AsUtf8(all, utf8);
    AppendUtf8As1251(utf8, back);
    EXPECT_EQ(back, all);
    std::string one;
    Append1251AsUtf8("\xB9\x96\xA8", one);  // numero sign, en dash, Cyrillic Yo
    EXPECT_EQ(one, "\xE2\x84\x96\xE2\x80\x93\xD0\x81");
    one.clear();
    Append1251AsUtf8("\x98", one);
    EXPECT_EQ(one, "?");
}

TEST(TextTest, TextForPeopleAsUtf8) {
    // UTF-8 stays as it is; anything that is not is read as Windows-1251.
    EXPECT_EQ(TextAsUtf8("\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD"), "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD");
    EXPECT_EQ(TextAsUtf8("\xC8\xE2\xE0\xED LZ1PJ"), "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD LZ1PJ");
    EXPECT_EQ(TextAsUtf8("DL1ABC"), "DL1ABC");
    EXPECT_TRUE(IsUtf8("\xE2\x84\x96 \xF0\x9F\x93\xBB"));
    for (std::string_view bad : {"\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xD0",
                                 "\xE2\x84", "\x80", "\xFF"})
        EXPECT_FALSE(IsUtf8(bad)) << bad.size();
    // A cut sequence at the end is Windows-1251, not half a character.
    EXPECT_EQ(TextAsUtf8("\xE0\xE1"), "\xD0\xB0\xD0\xB1");
    EXPECT_EQ(BandFromHost("14")->adif, "20m");
    EXPECT_EQ(BandFromHost("3.5")->adif, "80m");
    EXPECT_EQ(BandFromHost("20m"), nullptr);
}

TEST(TextTest, Utf16AsWindows1251) {
    std::string out;
    AppendUtf16As1251(std::string_view("D\0L\0\x1C\x04\x3D\xD8\x00\xDE\x00\xD8!", 13), false, out);
    EXPECT_EQ(out, "DL\xCC???");  // a pair outside the page, a lone surrogate, an odd byte
    out.clear();
    AppendUtf16As1251(std::string_view("\0D\0L\x04\x1C", 6), true, out);
    EXPECT_EQ(out, "DL\xCC");
    EXPECT_EQ(Quoted("a\nb\rc\0d"), "'a?b?c'");
}

TEST(ContactFieldsTest, CabrilloLinesAndHeaders) {
    const std::string text =
        "START-OF-LOG: 3.0\r\nCALLSIGN: ra9abc\r\nCATEGORY-OPERATOR:  SINGLE-OP \r\n"
        "CLAIMED-SCORE: 1234\r\nX-QSO: 14000 CW 2024-05-04 1200 RA9ABC 599 1 DL1AA 599 2\r\n"
        "QSO:  14012 CW 2024-05-04 1207 ra9abc 599 001 dl1aa 599 MO05\r\n"
        "QSO: 50 PH 2024-05-04 2400 RA9ABC 59 DL2BB 57 1\r\nEND-OF-LOG:\r\n";
    CollectingSink sink;
    ReadCabrillo(text, ReadOptions{}, sink);
    ASSERT_EQ(sink.contacts.size(), 2u) << sink.ProblemText();
    const Contact& a = sink.contacts[0];
    EXPECT_EQ(a.time, UtcMinutes("2024-05-04", "1207"));
    EXPECT_EQ(a.frequency, "14012");
    EXPECT_EQ(a.ownCall, "RA9ABC");
    EXPECT_EQ(a.sent, "599 001");
    EXPECT_EQ(a.report, "599 MO05");
    EXPECT_EQ(a.place, 6u);
    EXPECT_EQ(a.line, "QSO:  14012 CW 2024-05-04 1207 ra9abc 599 001 dl1aa 599 MO05");
    const Contact& b = sink.contacts[1];  // a band designator is no frequency; 24:00 no time
    EXPECT_EQ(b.frequency, "");
    EXPECT_EQ(b.time, kNoTime);
    EXPECT_EQ(b.sent, "59");
    EXPECT_EQ(sink.headers, (Headers{{"START-OF-LOG", "3.0"},
                                     {"CALLSIGN", "ra9abc"},
                                     {"CATEGORY-OPERATOR", "SINGLE-OP"},
                                     {"CLAIMED-SCORE", "1234"},
                                     {"END-OF-LOG", ""}}));
}

TEST(ContactFieldsTest, AdiRecordsAndHeaders) {
    const std::string record1 =
        "<call:5>dl1aa <qso_date:8>20240504 <time_on:6>120759 <freq:7>14.0125 <mode:2>CW "
        "<rst_sent:3>599 <stx:3>001 <srx_string:8>599 MO05 <operator:6>ra9abc <eor>";
    const std::string record2 =
        "<CALL:5>DL2BB\r\n<BAND:3>20m <MODE:2>CW <STX_STRING:7>599 002 <RST_SENT:3>579\r\n"
        "<STATION_CALLSIGN:6>UA9XYZ <OPERATOR:6>RA9ABC <EOR>";
    const std::string text = "Exported\r\n<adif_ver:5>3.1.4 <programid:3> X \r\n<EOH>\r\n" + record1 +
                             "\r\n" + record2 + "\r\n";
    CollectingSink sink;
    ReadAdi(text, ReadOptions{}, sink);
    ASSERT_EQ(sink.contacts.size(), 2u) << sink.ProblemText();
    const Contact& a = sink.contacts[0];
    EXPECT_EQ(a.time, UtcMinutes("2024-05-04", "1207"));
    EXPECT_EQ(a.frequency, "14012.5");
    EXPECT_EQ(a.sent, "599 001");
    EXPECT_EQ(a.ownCall, "RA9ABC");
    EXPECT_EQ(a.place, 4u);
    EXPECT_EQ(a.line, record1);
    const Contact& b = sink.contacts[1];
    EXPECT_EQ(b.sent, "599 002");  // STX_STRING before RST_SENT and STX
    EXPECT_EQ(b.ownCall, "UA9XYZ");  // STATION_CALLSIGN before OPERATOR
    EXPECT_EQ(b.time, kNoTime);
    EXPECT_EQ(b.frequency, "");
    EXPECT_EQ(b.line, record2);
    EXPECT_EQ(sink.headers, (Headers{{"ADIF_VER", "3.1.4"}, {"PROGRAMID", "X"}}));
    EXPECT_EQ(sink.stations, std::vector<std::string>{"RA9ABC"});
}

TEST(ContactFieldsTest, HeaderlessAdiHasNoHeaders) {
    CollectingSink sink;
    ReadAdi("<CALL:4>DL1A <BAND:3>20m <MODE:2>CW <EOR>", ReadOptions{}, sink);
    ASSERT_EQ(sink.contacts.size(), 1u);
    EXPECT_TRUE(sink.headers.empty());
    EXPECT_EQ(sink.contacts[0].line, "<CALL:4>DL1A <BAND:3>20m <MODE:2>CW <EOR>");
}

TEST(ContactFieldsTest, AdxRecordsAndHeaders) {
    const std::string record =
        "<RECORD><CALL>DL1AA</CALL><QSO_DATE>20240504</QSO_DATE><TIME_ON>1207</TIME_ON>"
        "<FREQ>7.0055</FREQ><MODE>CW</MODE><STX_STRING>599 001</STX_STRING>"
        "<STATION_CALLSIGN>ra9abc</STATION_CALLSIGN></RECORD>";
    const std::string text = "<?xml version=\"1.0\"?>\n<ADX><HEADER><ADIF_VER> 3.1.4 </ADIF_VER>"
                             "<programid>X</programid></HEADER>\n<RECORDS>\n" +
                             record + "\n" + record + "</RECORDS></ADX>\n";
    CollectingSink sink;
    ReadAdx(text, ReadOptions{}, sink);
    ASSERT_EQ(sink.contacts.size(), 2u) << sink.ProblemText();
    for (const Contact& c : sink.contacts) {
        EXPECT_EQ(c.time, UtcMinutes("2024-05-04", "1207"));
        EXPECT_EQ(c.frequency, "7005.5");
        EXPECT_EQ(c.sent, "599 001");
        EXPECT_EQ(c.ownCall, "RA9ABC");
        EXPECT_EQ(c.line, record);
    }
    EXPECT_EQ(sink.headers, (Headers{{"ADIF_VER", "3.1.4"}, {"PROGRAMID", "X"}}));
}

TEST(ContactFieldsTest, AdxLineAfterAnXmlErrorIsTheRecordsOwn) {
    const std::string good = "<RECORD><CALL>DL1AA</CALL><BAND>20m</BAND><MODE>CW</MODE></RECORD>";
    const std::string text = "<ADX><RECORDS><RECORD><CALL>A & B</CALL></RECORD>\n" + good +
                             "</RECORDS></ADX>";
    CollectingSink sink;
    ReadAdx(text, ReadOptions{}, sink);
    ASSERT_EQ(sink.contacts.size(), 1u) << sink.ProblemText();
    EXPECT_EQ(sink.contacts[0].line, good);
}

std::string Written(LogFormat format, const std::vector<Contact>& contacts) {
    std::ostringstream out(std::ios::binary);
    const auto writer = MakeFileLogWriter(format, out, Station{});
    for (const Contact& c : contacts) writer->Write(c);
    writer->Finish();
    return out.str();
}

TEST(ContactFieldsTest, WritersWriteTheFieldsThatAreSet) {
    Contact full{.call = "DL1AA", .band = "14", .mode = "CW", .report = "599 MO05"};
    full.time = UtcMinutes("2025-11-30", "2359");
    full.frequency = "14012.5";
    full.ownCall = "RA9ABC";
    full.sent = "599 001";
    Contact bare{.call = "DL2BB", .band = "7", .mode = "CW", .report = "599 MO06"};
    for (LogFormat format : {LogFormat::Cabrillo, LogFormat::Adi, LogFormat::Adx}) {
        SCOPED_TRACE(std::string(FormatName(format)));
        const std::string text = Written(format, {full, bare});
        CollectingSink sink;
        if (format == LogFormat::Cabrillo) ReadCabrillo(text, ReadOptions{}, sink);
        if (format == LogFormat::Adi) ReadAdi(text, ReadOptions{}, sink);
        if (format == LogFormat::Adx) ReadAdx(text, ReadOptions{}, sink);
        ASSERT_EQ(sink.contacts.size(), 2u) << sink.ProblemText();
        const Contact& a = sink.contacts[0];
        EXPECT_EQ(a.time, full.time);
        EXPECT_EQ(a.frequency, full.frequency);
        EXPECT_EQ(a.ownCall, full.ownCall);
        EXPECT_EQ(a.sent, full.sent);
        EXPECT_EQ(a.report, full.report);
        // Unset: the station's call and a generated time, as before.
        const Contact& b = sink.contacts[1];
        EXPECT_EQ(b.ownCall, Station{}.call);
        EXPECT_NE(b.time, kNoTime);
        EXPECT_EQ(b.report, bare.report);
        EXPECT_EQ(b.sent, format == LogFormat::Cabrillo ? "599 MO01" : "");
        EXPECT_EQ(b.frequency, format == LogFormat::Cabrillo ? "7000" : "");
    }
}

}  // namespace
}  // namespace yol::contestlog
