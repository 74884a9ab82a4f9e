// Logs from strangers: errors in every record cost no more than the reading,
// messages keep notes apart from rejections, BOMs are honoured, and logs come
// through pipes and standard input as well as from files.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <thread>

#include "LogReaderTestSink.h"
#include "contestlog/LogFile.h"
#include "contestlog/LogReader.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace yol::contestlog {
namespace {

using test::CollectingSink;
using Clock = std::chrono::steady_clock;

double SecondsFor(const std::function<void()>& run) {
    const auto start = Clock::now();
    run();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// ---- errors in every record -------------------------------------------------------

TEST(HostileLogTest, AdiWithABadTagInEveryRecordReadsInLinearTime) {
    // Once 39 s for 40,000 records: every record's line was counted from the
    // file's start again.
    constexpr int kRecords = 40000;
    std::string text = "header\n<EOH>\n";
    for (int i = 0; i < kRecords; ++i)
        text += "<CALL:5>DL1AA <BAD:x>1 <BAND:3>20m <MODE:2>CW <EOR>\n";
    CollectingSink sink;
    const double seconds = SecondsFor([&] { ReadAdi(text, ReadOptions{}, sink); });
    EXPECT_LT(seconds, 3.0);
    ASSERT_EQ(sink.rows.size(), static_cast<std::size_t>(kRecords));
    ASSERT_EQ(sink.problems.size(), static_cast<std::size_t>(kRecords));
    EXPECT_EQ(sink.rows.back().place, kRecords + 2u);
    EXPECT_EQ(sink.problems.back().place, kRecords + 2u);
}

TEST(HostileLogTest, AdxWithAnXmlErrorInEveryRecordReadsInLinearTime) {
    // Once 124 s for 40,000 records: each error counted lines from the start
    // and restarted the parser on a copy of the whole rest of the file.
    constexpr int kRecords = 20000;
    std::string text = "<?xml version=\"1.0\"?>\n<ADX><RECORDS>\n";
    for (int i = 0; i < kRecords; ++i) {
        text += "<RECORD><CALL>DL1AA</CALL><BAND>20m</BAND><MODE>CW</MODE></RECORD>\n";
        text += "<RECORD><CALL>DL2BB</CALL><NAME>A & B</NAME><BAND>20m</BAND><MODE>CW</MODE></RECORD>\n";
    }
    text += "</RECORDS></ADX>\n";
    CollectingSink sink;
    const double seconds = SecondsFor([&] { ReadAdx(text, ReadOptions{}, sink); });
    EXPECT_LT(seconds, 3.0);
    EXPECT_EQ(sink.rows.size(), static_cast<std::size_t>(kRecords));
    ASSERT_EQ(sink.problems.size(), static_cast<std::size_t>(kRecords));
    const std::string& last = sink.problems.back().message;
    EXPECT_EQ(last.rfind("line " + std::to_string(2 * kRecords + 2) + ": XML error", 0), 0u) << last;
}

// ---- notes and rejections ---------------------------------------------------------

TEST(HostileLogTest, AdiNotesWhatWasReadAnyway) {
    // A LoTW export's trailing tag loses nothing; a length that runs over the
    // record's end swallows the next record, which is worth saying.
    const std::string text =
        "<EOH>\n<CALL:5>DL1AA<BAND:3>20m<MODE:2>CW<EOR>\n"
        "<CALL:5>DL2BB<BAND:3>20m<MODE:2>CW<COMMENT:40>ok<EOR>\n<CALL:5>DL3CC<BAND:3>20m<MODE:2>CW<EOR>\n"
        "<APP_LoTW_EOF>\n";
    CollectingSink sink;
    ReadAdi(text, ReadOptions{}, sink);
    ASSERT_EQ(sink.rows.size(), 2u);
    ASSERT_EQ(sink.problems.size(), 2u) << sink.ProblemText();
    EXPECT_EQ(sink.problems[0].place, 3u);
    EXPECT_EQ(sink.problems[0].severity, Severity::Note);
    EXPECT_NE(sink.problems[0].message.find("<EOR>"), std::string::npos);
    EXPECT_EQ(sink.problems[1].place, 5u);
    EXPECT_EQ(sink.problems[1].severity, Severity::Note);
    // Inside a record a tag without length may hide a value: a rejection.
    CollectingSink inside;
    ReadAdi("<EOH><CALL:5>DL1AA<SRX_STRING>599 05<BAND:3>20m<MODE:2>CW<EOR>", ReadOptions{}, inside);
    ASSERT_EQ(inside.problems.size(), 1u);
    EXPECT_EQ(inside.problems[0].severity, Severity::Rejected);
}

TEST(HostileLogTest, AdiTrailingFieldsOfNoContactAreANote) {
    // An application's end mark after the last <EOR> loses nothing; a
    // trailing fragment with a contact field is a record cut short.
    const std::string records = "<EOH>\n<CALL:5>DL1AA<BAND:3>20m<MODE:2>CW<EOR>\n";
    const std::pair<const char*, Severity> cases[] = {
        {"<APP_X_EOF:0>\n", Severity::Note},
        {"<COMMENT:3>end <APP_X_EOF:0>\n", Severity::Note},
        {"<APP_X_EOF:0>\n<CALL:5>DL2BB<BAND:3>20m\n", Severity::Rejected},
        {"<CALL:5>DL2BB<BAND:3>20m<MODE:2>CW\n", Severity::Rejected},
    };
    for (const auto& [tail, severity] : cases) {
        CollectingSink sink;
        ReadAdi(records + tail, ReadOptions{}, sink);
        EXPECT_EQ(sink.rows.size(), 1u) << tail;
        ASSERT_EQ(sink.problems.size(), 1u) << tail << sink.ProblemText();
        EXPECT_EQ(sink.problems[0].place, 3u) << tail;
        EXPECT_EQ(sink.problems[0].severity, severity) << tail << sink.ProblemText();
        if (severity == Severity::Note)
            EXPECT_NE(sink.problems[0].message.find("holds no contact field"), std::string::npos)
                << sink.problems[0].message;
        else
            EXPECT_NE(sink.problems[0].message.find("ends inside a record"), std::string::npos)
                << sink.problems[0].message;
    }
}

// ---- files, BOMs, pipes -------------------------------------------------------------

class LogFileTest : public testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path =
            (std::filesystem::temp_directory_path() /
             ("yol-logfile-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" + name))
                .string();
        std::ofstream(path, std::ios::binary) << bytes;
        paths_.push_back(path);
        return path;
    }
    void TearDown() override {
        for (const std::string& p : paths_) std::filesystem::remove(p);
    }
    std::vector<std::string> paths_;
};

std::string Utf16(std::string_view ascii, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : ascii) {
        if (bigEndian) out.push_back('\0');
        out.push_back(c);
        if (!bigEndian) out.push_back('\0');
    }
    return out;
}

constexpr std::string_view kCabrillo =
    "START-OF-LOG: 3.0\r\nCALLSIGN: RA9ABC\r\nQSO: 14012 CW 2024-05-04 1207 RA9ABC 599 001 DL1AA 599 MO05\r\n"
    "END-OF-LOG:\r\n";
constexpr std::string_view kAdi = "x\n<EOH>\n<CALL:5>DL1AA<BAND:3>20m<MODE:2>CW<SRX_STRING:8>599 MO05<EOR>\n";
constexpr std::string_view kAdx =
    "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<ADX><RECORDS><RECORD><CALL>DL1AA</CALL><BAND>20m</BAND>"
    "<MODE>CW</MODE><SRX_STRING>599 MO05</SRX_STRING></RECORD></RECORDS></ADX>\n";

TEST_F(LogFileTest, HonoursByteOrderMarks) {
    const std::pair<std::string, LogFormat> cases[] = {
        {"\xEF\xBB\xBF" + std::string(kCabrillo), LogFormat::Cabrillo},
        {Utf16(kCabrillo, false), LogFormat::Cabrillo},
        {Utf16(kAdi, true), LogFormat::Adi},
        {Utf16(kAdx, false), LogFormat::Adx},
    };
    int n = 0;
    for (const auto& [bytes, format] : cases) {
        SCOPED_TRACE(n);
        const std::string path = Write("bom" + std::to_string(n++), bytes);
        CollectingSink sink;
        EXPECT_EQ(ReadLog(path, ReadOptions{}, sink), format);
        ASSERT_EQ(sink.rows.size(), 1u) << sink.ProblemText();
        EXPECT_EQ(sink.rows[0].call, "DL1AA");
        EXPECT_EQ(sink.rows[0].report, "599 MO05");
        EXPECT_TRUE(sink.problems.empty()) << sink.ProblemText();
    }
}

TEST_F(LogFileTest, ClearErrorsForWhatCannotBeRead) {
    CollectingSink sink;
    const std::string missing = Write("gone", "") + ".missing";
    try {
        ReadLog(missing, ReadOptions{}, sink);
        FAIL();
    } catch (const LogFileError& e) {
        EXPECT_EQ(std::string(e.what()), "cannot open " + missing);
    }
    const std::string dir = std::filesystem::temp_directory_path().string();
    EXPECT_THROW(ReadLog(dir, ReadOptions{}, sink), LogFileError);
    EXPECT_THROW(ReadLog(Write("binary", std::string("\x01\x02\0\x03", 4)), ReadOptions{}, sink), LogFileError);
    // Taken for a format by the name or as ADIF header text, but holding
    // nothing of it: no log, rather than a log whose every line was bad.
    EXPECT_THROW(ReadLog(Write("plain.log", "a letter, not a log\n"), ReadOptions{}, sink), LogFileError);
    EXPECT_THROW(ReadLog(Write("plain.adi", "a letter, not a log\n"), ReadOptions{}, sink), LogFileError);
    EXPECT_THROW(ReadLog(Write("plain.txt", "a letter, not a log\n"), ReadOptions{}, sink), LogFileError);
    EXPECT_TRUE(sink.rows.empty());
}

#ifndef _WIN32
// A log of `records` ADIF records, bigger than any first read.
std::string BigAdi(int records) {
    std::string text = "<EOH>\n";
    for (int i = 0; i < records; ++i) text += "<CALL:5>DL1AA<BAND:3>20m<MODE:2>CW<EOR>\n";
    return text;
}

// Writes `text` into a pipe from a thread; the read end's descriptor.
struct Pipe {
    int fds[2] = {-1, -1};
    std::thread writer;
    explicit Pipe(std::string text) {
        EXPECT_EQ(pipe(fds), 0);
        writer = std::thread([this, text = std::move(text)] {
            for (std::size_t at = 0; at < text.size();) {
                const ssize_t n = write(fds[1], text.data() + at, text.size() - at);
                if (n <= 0) break;
                at += static_cast<std::size_t>(n);
            }
            close(fds[1]);
        });
    }
    ~Pipe() {
        writer.join();
        close(fds[0]);
    }
};

TEST(LogPipeTest, ReadsPipesToTheEnd) {
    Pipe pipe{BigAdi(20000)};  // about 800 KB
    CollectingSink sink;
    EXPECT_EQ(ReadLog("/dev/fd/" + std::to_string(pipe.fds[0]), ReadOptions{}, sink), LogFormat::Adi);
    EXPECT_EQ(sink.rows.size(), 20000u);
    EXPECT_TRUE(sink.problems.empty());
}

TEST(LogPipeTest, DashIsStandardInput) {
    Pipe pipe{std::string(kCabrillo)};
    const int saved = dup(0);
    ASSERT_GE(saved, 0);
    ASSERT_EQ(dup2(pipe.fds[0], 0), 0);
    CollectingSink sink;
    LogFormat format = LogFormat::Unknown;
    EXPECT_NO_THROW(format = ReadLog("-", ReadOptions{}, sink));
    dup2(saved, 0);
    close(saved);
    EXPECT_EQ(format, LogFormat::Cabrillo);
    ASSERT_EQ(sink.rows.size(), 1u);
    EXPECT_EQ(sink.stations, std::vector<std::string>{"RA9ABC"});
}
#endif

}  // namespace
}  // namespace yol::contestlog
