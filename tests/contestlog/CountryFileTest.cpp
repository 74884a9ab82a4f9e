#include "contestlog/CountryFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace yol::contestlog {
namespace {

using namespace std::string_literals;

// A small file in the real layout: WAE entity, every override kind, exact
// calls, CRLF on some lines, a list spread over two lines.
constexpr std::string_view kSmall =
    "European Russia:          16:  29:  EU:   53.65:   -41.37:    -4.0:  UA:\r\n"
    "    R,U,=R9JBF/1,=R25EMW(17)[19],=RA3CQ/9/M(17)[20];\r\n"
    "Kaliningrad:              15:  29:  EU:   54.72:   -20.52:    -3.0:  UA2:\n"
    "    R2F,RA2,UA2;\n"
    "Asiatic Russia:           17:  30:  AS:   55.88:   -84.08:    -7.0:  UA9:\n"
    "    R9,RA9,UA9,UA0(19)[33],=UA9XX{EU}~-3.0~<55.0/-37.0>;\n"
    "Fed. Rep. of Germany:     14:  28:  EU:   51.00:   -10.00:    -1.0:  DL:\n"
    "    DA,DL,=DL0XX/P;\n"
    "England:                  14:  27:  EU:   52.77:     1.47:     0.0:  G:\n"
    "    G,M,2E;\n"
    "Scotland:                 14:  27:  EU:   56.82:     4.18:     0.0:  GM:\n"
    "    GM,MM,2M;\n"
    "Shetland Islands:         14:  27:  EU:   60.50:     1.50:     0.0:  *GM/s:\n"
    "    =GM3ZET,=MM0LSI;\n"
    "United States of America: 05:  08:  NA:   37.60:    91.87:     5.0:  K:\n"
    "    AA,K,N,W,\n"
    "    K6(3)[6],W6(3)[6],=W1AW(5)[8],=KL7XX{NA}(1)[1];\n"
    "Hawaii:                   31:  61:  OC:   21.12:   157.48:    10.0:  KH6:\n"
    "    KH6;\n";

CountryFile Small(std::vector<CountryFileProblem>* problems = nullptr) {
    return CountryFile::Parse(kSmall, problems);
}

TEST(CountryFileTest, ReadsEntitiesAndOverrides) {
    std::vector<CountryFileProblem> problems;
    const CountryFile cty = Small(&problems);
    EXPECT_TRUE(problems.empty()) << problems.front().line << ": " << problems.front().message;
    EXPECT_EQ(cty.EntityCount(), 9u);

    const Country* de = cty.Lookup("DL1ABC");
    ASSERT_NE(de, nullptr);
    EXPECT_EQ(de->name, "Fed. Rep. of Germany");
    EXPECT_EQ(de->primaryPrefix, "DL");
    EXPECT_EQ(de->hostPrefix, "DL");
    EXPECT_EQ(de->continent, "EU");
    EXPECT_EQ(de->cqZone, 14);
    EXPECT_EQ(de->ituZone, 28);

    // (cq) and [itu] on a prefix; the same override set shares one Country.
    const Country* w6 = cty.Lookup("W6XYZ");
    ASSERT_NE(w6, nullptr);
    EXPECT_EQ(w6->cqZone, 3);
    EXPECT_EQ(w6->ituZone, 6);
    EXPECT_EQ(cty.Lookup("K6ABC"), w6);
    EXPECT_NE(cty.Lookup("W1ABC"), w6);

    // {continent}, ~offset~ and <lat/lon> on an exact call.
    const Country* xx = cty.Lookup("UA9XX");
    ASSERT_NE(xx, nullptr);
    EXPECT_EQ(xx->name, "Asiatic Russia");
    EXPECT_EQ(xx->continent, "EU");
    EXPECT_EQ(xx->cqZone, 17);
    const Country* kl = cty.Lookup("KL7XX");
    ASSERT_NE(kl, nullptr);
    EXPECT_EQ(kl->cqZone, 1);
    EXPECT_EQ(kl->ituZone, 1);
    EXPECT_EQ(cty.Lookup("UA0ABC")->cqZone, 19);
    EXPECT_EQ(cty.Lookup("UA0ABC")->ituZone, 33);

    // The WAE entity is its own, without the '*'.
    const Country* zet = cty.Lookup("gm3zet");
    ASSERT_NE(zet, nullptr);
    EXPECT_EQ(zet->name, "Shetland Islands");
    EXPECT_EQ(zet->primaryPrefix, "GM/s");
}

TEST(CountryFileTest, ExactCallsBeforeLongestPrefix) {
    const CountryFile cty = Small();
    EXPECT_EQ(cty.Lookup("R25EMW")->cqZone, 17);  // exact, not the R prefix
    EXPECT_EQ(cty.Lookup("R25EMX")->cqZone, 16);
    EXPECT_EQ(cty.Lookup("MM0LSI")->name, "Shetland Islands");
    EXPECT_EQ(cty.Lookup("MM0ABC")->name, "Scotland");  // MM longer than M
    EXPECT_EQ(cty.Lookup("M0ABC")->name, "England");
    EXPECT_EQ(cty.Lookup("GM4ABC")->name, "Scotland");
    EXPECT_EQ(cty.Lookup("G4ABC")->name, "England");
    EXPECT_EQ(cty.Lookup("KH6ABC")->name, "Hawaii");
    EXPECT_EQ(cty.Lookup("KH7ABC")->name, "United States of America");
    EXPECT_EQ(cty.Lookup("W1AW")->name, "United States of America");
    EXPECT_EQ(cty.Lookup(" dl1abc "), cty.Lookup("DL1ABC"));
    EXPECT_EQ(cty.Lookup("XX1ABC"), nullptr);
    EXPECT_EQ(cty.Lookup(""), nullptr);
    EXPECT_EQ(cty.Lookup("DL1 ABC"), nullptr);
    EXPECT_EQ(cty.Lookup(std::string(200, 'D')), nullptr);
}

TEST(CountryFileTest, PortableForms) {
    const CountryFile cty = Small();
    const Country* de = cty.Lookup("DL1ABC");
    EXPECT_EQ(cty.Lookup("DL1ABC/P"), de);
    EXPECT_EQ(cty.Lookup("DL1ABC/M"), de);
    EXPECT_EQ(cty.Lookup("DL1ABC/QRP"), de);
    EXPECT_EQ(cty.Lookup("DL1ABC/A"), de);
    EXPECT_EQ(cty.Lookup("DL1ABC/MM"), nullptr);
    EXPECT_EQ(cty.Lookup("DL1ABC/AM"), nullptr);

    // Exact entries, as written and without the designators.
    EXPECT_EQ(cty.Lookup("DL0XX/P")->name, "Fed. Rep. of Germany");
    EXPECT_EQ(cty.Lookup("W1AW/P")->cqZone, 5);
    EXPECT_EQ(cty.Lookup("R9JBF/1")->name, "European Russia");
    EXPECT_EQ(cty.Lookup("R9JBF/1/P")->name, "European Russia");
    EXPECT_EQ(cty.Lookup("RA3CQ/9/M")->cqZone, 17);

    // A call-area digit replaces the call's own.
    EXPECT_EQ(cty.Lookup("UA9ABC/1")->name, "European Russia");
    EXPECT_EQ(cty.Lookup("UA9ABC/2")->name, "Kaliningrad");
    EXPECT_EQ(cty.Lookup("UA3ABC/9")->name, "Asiatic Russia");
    EXPECT_EQ(cty.Lookup("UA3ABC/0/P")->cqZone, 19);
    EXPECT_EQ(cty.Lookup("W1ABC/6")->cqZone, 3);

    // A prefix before or after the home call.
    EXPECT_EQ(cty.Lookup("DL/G4ABC")->name, "Fed. Rep. of Germany");
    EXPECT_EQ(cty.Lookup("G4ABC/DL")->name, "Fed. Rep. of Germany");
    EXPECT_EQ(cty.Lookup("G4ABC/DL/P")->name, "Fed. Rep. of Germany");
    EXPECT_EQ(cty.Lookup("KH6/W1ABC")->name, "Hawaii");
    EXPECT_EQ(cty.Lookup("W1ABC/KH6")->name, "Hawaii");
    EXPECT_EQ(cty.Lookup("GM/DL1ABC")->name, "Scotland");
    // A part that does not resolve falls back to the other one.
    EXPECT_EQ(cty.Lookup("XZ/DL1ABC")->name, "Fed. Rep. of Germany");
    EXPECT_EQ(cty.Lookup("/P"), nullptr);
    EXPECT_EQ(cty.Lookup("////"), nullptr);
}

TEST(CountryFileTest, MalformedLinesAreReportedAndSkipped) {
    const std::string text =
        "garbage before any entity\n"s                                                  // 1
        "Bad Zone:                 99:  28:  EU:   51.00:   -10.00:    -1.0:  XA:\n"    // 2
        "    XA;\n"                                                                     // 3
        "Too Few Fields: 14: 28: EU:\n"                                                 // 4
        "Germany:                  14:  28:  EU:   51.00:   -10.00:    -1.0:  DL:\n"    // 5
        "    DL,D\x01X,DA(77),=DL0AA{XX},DC(14)X~1~,DB;\n"                              // 6
        "England:                  14:  27:  EU:   52.77:     1.47:     0.0:  G:\n"     // 7
        "    G,M\n"                                                                     // 8
        "Bad Continent:            14:  27:  ZZ:   52.77:     1.47:     0.0:  XB:\n"    // 9
        "    XB;\n"                                                                     // 10
        "Nul\0Name:                14:  27:  EU:   52.77:     1.47:     0.0:  XC:\n"    // 11
        "    XC;\n"                                                                     // 12
        + std::string(70000, 'x') + "\n"                                                // 13
        "Austria:                  15:  28:  EU:   47.33:   -13.33:    -1.0:  OE:\n"    // 14
        "    OE;  trailing\n"                                                           // 15
        "Italy:                    15:  28:  EU:   42.82:   -12.58:    -1.0:  I:\n"     // 16
        "    I,\n";                                                                     // 17
    std::vector<CountryFileProblem> problems;
    const CountryFile cty = CountryFile::Parse(text, &problems);
    EXPECT_EQ(cty.EntityCount(), 4u);
    EXPECT_EQ(cty.Lookup("DL1ABC")->name, "Germany");
    EXPECT_EQ(cty.Lookup("DB1ABC")->name, "Germany");  // read after the bad aliases
    EXPECT_EQ(cty.Lookup("DA1ABC"), nullptr);
    EXPECT_EQ(cty.Lookup("DC1ABC"), nullptr);
    EXPECT_EQ(cty.Lookup("DL0AA")->name, "Germany");   // the prefix, not the bad exact entry
    EXPECT_EQ(cty.Lookup("M0ABC")->name, "England");   // kept though ';' is missing
    EXPECT_EQ(cty.Lookup("OE1ABC")->name, "Austria");
    EXPECT_EQ(cty.Lookup("I1ABC")->name, "Italy");
    EXPECT_EQ(cty.Lookup("XA1ABC"), nullptr);
    EXPECT_EQ(cty.Lookup("XB1ABC"), nullptr);

    std::vector<std::size_t> lines;
    for (const auto& p : problems) {
        lines.push_back(p.line);
        EXPECT_FALSE(p.message.empty());
        EXPECT_EQ(p.message.find('\0'), std::string::npos);
        EXPECT_LT(p.message.size(), 300u);
    }
    EXPECT_EQ(lines, (std::vector<std::size_t>{1, 2, 4, 6, 7, 9, 11, 13, 15, 16}));
    EXPECT_NE(problems[0].message.find("garbage"), std::string::npos);
    EXPECT_NE(problems[1].message.find("CQ zone"), std::string::npos);
    EXPECT_NE(problems[3].message.find("3 more"), std::string::npos);
    EXPECT_NE(problems[4].message.find("';'"), std::string::npos);
    EXPECT_NE(problems[5].message.find("continent"), std::string::npos);
    EXPECT_NE(problems[9].message.find("end of the file"), std::string::npos);
}

TEST(CountryFileTest, NothingUsableThrows) {
    EXPECT_THROW(CountryFile::Parse(""), std::runtime_error);
    EXPECT_THROW(CountryFile::Parse("just some text\nand more\n"), std::runtime_error);
    EXPECT_THROW(CountryFile::Parse(std::string(1000, '\0')), std::runtime_error);
    try {
        CountryFile::Load("/nonexistent/dir/cty.dat");
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/dir/cty.dat"), std::string::npos);
    }
}

TEST(CountryFileTest, DamagedEntityLineNamesTheAliasesItTakesAlong) {
    // Asiatic Russia's CQ zone damaged: its calls fall to European Russia,
    // which must not happen without a word.
    std::string damaged(kSmall);
    damaged.replace(damaged.find("17:  30:  AS"), 2, "17x");
    std::vector<CountryFileProblem> problems;
    const CountryFile cty = CountryFile::Parse(damaged, &problems);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].line, 5u);
    EXPECT_NE(problems[0].message.find("CQ zone '17x'"), std::string::npos) << problems[0].message;
    EXPECT_NE(problems[0].message.find("with its 5 aliases"), std::string::npos) << problems[0].message;
    ASSERT_NE(cty.Lookup("RA9ABC"), nullptr);
    EXPECT_EQ(cty.Lookup("RA9ABC")->hostPrefix, "UA1");
    // An entity line with no alias list after it says so too.
    problems.clear();
    (void)CountryFile::Parse("Nowhere: 1: 1: XX: 0: 0: 0: NW:\n" + std::string(kSmall), &problems);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].line, 1u);
    EXPECT_NE(problems[0].message.find("the entity is skipped"), std::string::npos) << problems[0].message;
}

#ifndef _WIN32
TEST(CountryFileTest, LoadStopsAtItsCap) {
    try {
        (void)CountryFile::Load("/dev/zero");
        FAIL() << "read an endless file";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("larger than 64 MiB"), std::string::npos) << e.what();
    }
}
#endif

TEST(CountryFileTest, LoadNamesADirectory) {
    const std::string dir = std::filesystem::temp_directory_path().string();
    try {
        (void)CountryFile::Load(dir);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "country file '" + dir + "' is a directory");
    }
}

TEST(CountryFileTest, LoadReadsBytesAsWritten) {
    const auto path = std::filesystem::temp_directory_path() / "yol_country_file_test.dat";
    {
        std::ofstream out(path, std::ios::binary);
        out << kSmall;
    }
    const CountryFile cty = CountryFile::Load(path.string());
    std::filesystem::remove(path);
    EXPECT_EQ(cty.EntityCount(), 9u);
    EXPECT_EQ(cty.Lookup("R25EMW")->cqZone, 17);
}

class DebianCountryFileTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (std::filesystem::exists(CountryFile::kDefaultPath)) {
            file_ = new CountryFile(CountryFile::Load(CountryFile::kDefaultPath, &problems_));
        }
    }
    static void TearDownTestSuite() {
        delete file_;
        file_ = nullptr;
    }
    void SetUp() override {
        if (file_ == nullptr) GTEST_SKIP() << CountryFile::kDefaultPath << " is missing";
    }
    static std::string_view Host(std::string_view call) {
        const Country* c = file_->Lookup(call);
        return c == nullptr ? std::string_view("(none)") : c->hostPrefix;
    }

    static inline CountryFile* file_ = nullptr;
    static inline std::vector<CountryFileProblem> problems_;
};

TEST_F(DebianCountryFileTest, ReadsWithoutProblems) {
    EXPECT_TRUE(problems_.empty()) << problems_.front().line << ": " << problems_.front().message;
    EXPECT_GT(file_->EntityCount(), 340u);
}

TEST_F(DebianCountryFileTest, RussiaMapsToHostPrefixes) {
    for (const char* call : {"RA3ABC", "UA1ABC", "R1ABC", "UA9ABC/1", "RA9ABC/3"}) {
        EXPECT_EQ(Host(call), "UA1") << call;
    }
    for (const char* call : {"R2FAA", "RA2ABC", "UA2FAA", "UA3ABC/2"}) {
        EXPECT_EQ(Host(call), "UA2") << call;
    }
    for (const char* call : {"RA9ABC", "UA0ABC", "R8ABC", "UA1ABC/9"}) {
        EXPECT_EQ(Host(call), "UA9") << call;
    }
    EXPECT_EQ(file_->Lookup("RA3ABC")->name, "European Russia");
    EXPECT_EQ(file_->Lookup("RA3ABC")->primaryPrefix, "UA");
    EXPECT_EQ(file_->Lookup("RA9ABC")->continent, "AS");
    EXPECT_EQ(file_->Lookup("UA0ABC")->cqZone, 18);  // UA0A(18)[32], longer than UA0(19)[33]
    EXPECT_EQ(file_->Lookup("UA0ABC")->ituZone, 32);
}

TEST_F(DebianCountryFileTest, CommonEntities) {
    EXPECT_EQ(Host("DL1ABC"), "DL");
    EXPECT_EQ(Host("DK0ABC/P"), "DL");
    EXPECT_EQ(Host("W1AW"), "K");
    EXPECT_EQ(file_->Lookup("W1AW")->cqZone, 5);
    EXPECT_EQ(Host("K6ABC"), "K");
    EXPECT_EQ(file_->Lookup("K6ABC")->cqZone, 3);
    EXPECT_EQ(Host("JA1ABC"), "JA");
    EXPECT_EQ(file_->Lookup("JA1ABC")->continent, "AS");
    EXPECT_EQ(Host("VK2ABC"), "VK");
    EXPECT_EQ(file_->Lookup("VK2ABC")->continent, "OC");
    EXPECT_EQ(Host("G4ABC"), "G");
    EXPECT_EQ(Host("M0ABC"), "G");
    EXPECT_EQ(Host("MM0ABC"), "GM");
    EXPECT_EQ(Host("DL/G4ABC"), "DL");
    EXPECT_EQ(Host("G4ABC/DL"), "DL");
    EXPECT_EQ(Host("W1ABC/KH6"), "KH6");
    EXPECT_EQ(Host("DL1ABC/MM"), "(none)");
}

}  // namespace
}  // namespace yol::contestlog
