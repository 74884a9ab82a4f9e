// The log robot without a network: the engine's answers, the store's
// durability and history, and the service's pages, limits, window and
// committee protection, each through Service::Handle as the server calls it.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "Crypto.h"
#include "Engine.h"
#include "Pages.h"
#include "Service.h"
#include "Store.h"
#include "Rules.h"

namespace fs = std::filesystem;
using namespace yol::robot;

namespace {

const std::string kLog =
    "START-OF-LOG: 3.0\n"
    "CONTEST: YOL\n"
    "CALLSIGN: UA1ABC\n"
    "CATEGORY-OPERATOR: SINGLE-OP\n"
    "CATEGORY-MODE: CW\n"
    "CLAIMED-SCORE: 12\n"
    "QSO: 14012 CW 2026-12-12 1200 UA1ABC 599 001 DL1XYZ 599 005\n"
    "QSO: 7012 CW 2026-12-12 1300 UA1ABC 599 002 OK1AB 599 010\n"
    "QSO: 50012 CW 2026-12-12 1310 UA1ABC 599 003 SP1AA 599 011\n"
    "QSO: 7012 CW 2026-12-14 1300 UA1ABC 599 004 OK2AB 599 012\n"
    "QSO: garbage\n"
    "END-OF-LOG:\n";

RobotRules YolPeriod() {
    RobotRules r;
    r.rules = yol::check::YolRules();
    r.rules.start = yol::check::ParseUtcMinute("2026-12-12 12:00");
    r.rules.end = yol::check::ParseUtcMinute("2026-12-13 12:00");
    return r;
}

Answer Check(const std::string& bytes, const std::string& declared = "", RobotRules rules = YolPeriod()) {
    return CheckUpload(Upload{bytes, "my.log", declared}, rules, nullptr);
}

bool HasReason(const Answer& a, const std::string& part) {
    for (const Finding& f : a.reasons)
        if (f.text.find(part) != std::string::npos) return true;
    return false;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
    return text;
}

TEST(RobotEngine, AcceptsALogWithItsFactsAndWarningsByLine) {
    const Answer a = Check(kLog, "ua1abc");
    ASSERT_TRUE(a.accepted) << (a.reasons.empty() ? "" : a.reasons[0].text);
    EXPECT_EQ(a.call, "UA1ABC");
    EXPECT_EQ(a.category, "SO-CW");  // the contest's class, from the YOL rules' [categories]
    EXPECT_EQ(a.format, "Cabrillo");
    EXPECT_EQ(a.contacts, 4u);
    EXPECT_EQ(yol::contestlog::UtcText(a.first), "2026-12-12 12:00");
    EXPECT_EQ(yol::contestlog::UtcText(a.last), "2026-12-14 13:00");
    EXPECT_EQ(a.claimed, "12");
    ASSERT_TRUE(a.score.has_value());
    EXPECT_GT(*a.score, 0);
    EXPECT_EQ(a.sha256, Sha256Hex(kLog));
    // The 50 MHz contact, the one after the period and the unreadable line, each by line.
    std::vector<std::size_t> places;
    for (const Finding& w : a.warnings) places.push_back(w.place);
    EXPECT_EQ(places, (std::vector<std::size_t>{9, 10, 11}));
    EXPECT_NE(a.warnings[0].text.find("band"), std::string::npos);
    EXPECT_NE(a.warnings[1].text.find("after the contest period"), std::string::npos);
    // Contacts the rules do not count are not scored: the same log without them scores the same.
    std::string counted = kLog;
    counted = Replace(counted, "QSO: 50012 CW 2026-12-12 1310 UA1ABC 599 003 SP1AA 599 011\n", "");
    counted = Replace(counted, "QSO: 7012 CW 2026-12-14 1300 UA1ABC 599 004 OK2AB 599 012\n", "");
    EXPECT_EQ(Check(counted).score, a.score);
}

// The class is the one the check will give: the rules' classes, the
// committee's word, a note where the declaration fits none; rules without
// classes show what the log declares.
TEST(RobotEngine, TheClassIsTheContestsOwn) {
    RobotRules rules = YolPeriod();
    EXPECT_EQ(Check(Replace(kLog, "CATEGORY-MODE: CW\n", ""), "", rules).category, "SO-MIXED");
    EXPECT_EQ(Check(Replace(kLog, "CATEGORY-MODE: CW\n", "CATEGORY: SINGLE-OP PH\n"), "", rules).category, "SO-SSB");
    const Answer odd = Check(Replace(kLog, "CATEGORY-OPERATOR: SINGLE-OP\n", "CATEGORY-OPERATOR: TEAM\n"), "", rules);
    EXPECT_EQ(odd.category, "SO-MIXED");  // the default, said
    ASSERT_FALSE(odd.warnings.empty());
    EXPECT_EQ(odd.warnings[0].place, 0u);
    EXPECT_NE(odd.warnings[0].text.find("fits none of the contest's classes"), std::string::npos) << odd.warnings[0].text;
    rules.rules.categories.calls["UA1ABC"] = rules.rules.categories.Find("MULTI-OP");
    EXPECT_EQ(Check(kLog, "", rules).category, "MULTI-OP");
    EXPECT_EQ(Check(Replace(kLog, "CATEGORY-MODE: CW", "CATEGORY-MODE: CHECKLOG"), "", rules).category, "CHECKLOG");
    rules.rules.categories = {};
    EXPECT_EQ(Check(kLog, "", rules).category, "SINGLE-OP CW");
}

TEST(RobotEngine, RefusesWithEveryReason) {
    EXPECT_TRUE(HasReason(Check("\x01\x02\x03 binary\0junk"), "not a log"));
    // Without CALLSIGN: the call the contacts were made as (the reader's choice).
    EXPECT_EQ(Check(Replace(kLog, "CALLSIGN: UA1ABC\n", "")).call, "UA1ABC");
    EXPECT_TRUE(HasReason(Check(kLog, "DL1ABC"), "not for DL1ABC"));
    EXPECT_TRUE(HasReason(Check(kLog, "<b>"), "no call sign"));
    EXPECT_TRUE(HasReason(Check(Replace(kLog, "CONTEST: YOL", "CONTEST: CQ-WW-CW")), "another contest"));
    const Answer headers = Check("START-OF-LOG: 3.0\nCALLSIGN: UA1ABC\nQSO: 14000 CW\nEND-OF-LOG:\n");
    EXPECT_TRUE(HasReason(headers, "nothing but headers"));
    ASSERT_EQ(headers.reasons.size(), 2u);  // and the line that could not be read, by its number
    EXPECT_EQ(headers.reasons[1].place, 3u);
    RobotRules small = YolPeriod();
    small.maxBytes = 100;
    EXPECT_TRUE(HasReason(Check(kLog, "", small), "over the limit"));
    // Several reasons at once, none hiding another.
    EXPECT_EQ(Check(Replace(kLog, "CONTEST: YOL", "CONTEST: OTHER"), "DL1ABC").reasons.size(), 2u);
}

TEST(RobotEngine, ContestNamesAreConfigurable) {
    RobotRules named = YolPeriod();
    named.contestNames = {"YOL-CW", "Yol Contest"};
    EXPECT_TRUE(Check(Replace(kLog, "CONTEST: YOL", "CONTEST: yol contest"), "", named).accepted);
    EXPECT_FALSE(Check(kLog, "", named).accepted);  // "YOL" is not among the names given
    RobotRules any = YolPeriod();
    any.anyContest = true;
    EXPECT_TRUE(Check(Replace(kLog, "CONTEST: YOL", "CONTEST: CQ-WW-CW"), "", any).accepted);
}

TEST(RobotEngine, AdifWithoutItsOwnCallTakesTheFormsOrIsRefused) {
    const std::string adif =
        "header <EOH>\n<CALL:6>DL1XYZ <QSO_DATE:8>20261212 <TIME_ON:4>1300 <BAND:3>20m <MODE:2>CW "
        "<SRX_STRING:7>599 005 <STX_STRING:7>599 001 <EOR>\n";
    EXPECT_TRUE(HasReason(Check(adif), "no call"));
    const Answer fromForm = Check(adif, "ua1abc");
    ASSERT_TRUE(fromForm.accepted);
    EXPECT_EQ(fromForm.call, "UA1ABC");
    EXPECT_EQ(fromForm.format, "ADIF (.adi)");
}

TEST(RobotPages, ScriptInEveryHeaderIsShownAsText) {
    const std::string evil = "<script>alert(1)</script>\"'&";
    std::string log = "START-OF-LOG: 3.0\nCONTEST: YOL\nCALLSIGN: UA1ABC\n";
    for (const char* h : {"CATEGORY-OPERATOR", "CATEGORY-POWER", "CLAIMED-SCORE", "NAME", "CLUB", "SOAPBOX"})
        log += std::string(h) + ": " + evil + "\n";
    log += "QSO: 14012 CW 2026-12-12 1200 UA1ABC 599 001 DL1XYZ 599 005\nQSO: " + evil + "\n";
    Answer a = CheckUpload(Upload{log, evil, ""}, YolPeriod(), nullptr);
    ASSERT_TRUE(a.accepted);
    const PageContext c{"YOL <i>", "open", true};
    for (const std::string& page : {AnswerPage(c, a), FormPage(c), MessagePage(c, evil, evil)}) {
        EXPECT_EQ(page.find("<script"), std::string::npos);
        EXPECT_EQ(page.find("<i>"), std::string::npos);
    }
    EXPECT_NE(AnswerPage(c, a).find("&lt;script&gt;"), std::string::npos);
    // A declaration as long as a log is cut before it reaches the public list.
    const Answer longClass =
        CheckUpload(Upload{Replace(kLog, "CATEGORY-MODE: CW", "CATEGORY-MODE: " + std::string(100000, 'X')), "", ""},
                    YolPeriod(), nullptr);
    EXPECT_LE(longClass.category.size(), 120u);
    a.accepted = false;
    a.reasons = {{3, evil}};
    EXPECT_EQ(AnswerPage(c, a).find("<script"), std::string::npos);
}

class RobotService : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("yolrobot-test-" + RandomHex(6));
        store.emplace(folder);
        Settings settings;
        settings.rules = YolPeriod();
        settings.limits.perMinute = 50;
        settings.windowEnd = yol::check::ParseUtcMinute("2026-12-18 12:00");
        service.emplace(settings, *store, nullptr, [this] { return clock.load(); });
        token = service->NewToken();
    }
    void TearDown() override {
        service.reset();
        store.reset();
        fs::remove_all(folder);
    }

    Response Send(std::string method, std::string path, std::map<std::string, std::string> fields = {},
                  std::map<std::string, std::string> headers = {}, std::string remote = "192.0.2.1") {
        Request r;
        r.method = std::move(method);
        r.path = std::move(path);
        r.remote = std::move(remote);
        r.fields = std::move(fields);
        r.headers = std::move(headers);
        r.headers.emplace("host", "robot.example");
        return service->Handle(r);
    }
    Response Submit(const std::string& bytes, std::string path = "/submit", std::string call = "") {
        Request r;
        r.method = "POST";
        r.path = std::move(path);
        r.remote = "192.0.2.1";
        r.file.emplace("my.log", bytes);
        if (!call.empty()) r.fields["call"] = call;
        return service->Handle(r);
    }
    static std::string HeaderOf(const Response& r, const std::string& name) {
        for (const auto& [n, v] : r.headers)
            if (n == name) return v;
        return {};
    }
    // Logs in through the form: the session cookie and the page's token.
    std::pair<std::string, std::string> Login() {
        const Response in = Send("POST", "/committee/login", {{"token", token}}, {{"origin", "https://robot.example"}});
        EXPECT_EQ(in.status, 303);
        const std::string cookie = HeaderOf(in, "Set-Cookie");
        EXPECT_NE(cookie.find("HttpOnly; SameSite=Strict"), std::string::npos);
        EXPECT_NE(cookie.find("Secure"), std::string::npos);
        const std::string session = cookie.substr(0, cookie.find(';'));
        const Response page = Send("GET", "/committee", {}, {{"cookie", session}});
        const std::size_t at = page.body.find("name=\"csrf\" value=\"");
        EXPECT_NE(at, std::string::npos);
        return {session, page.body.substr(at + 19, 64)};
    }

    fs::path folder;
    std::optional<Store> store;
    std::optional<Service> service;
    std::atomic<std::int64_t> clock{yol::check::ParseUtcMinute("2026-12-14 10:00") * 60};
    std::string token;
};

TEST_F(RobotService, UploadGivesAReceiptAndKeepsTheBytesByTheirHash) {
    const Response r = Submit(kLog);
    EXPECT_EQ(r.status, 200);
    EXPECT_TRUE(r.body.starts_with("accepted\n")) << r.body;
    EXPECT_NE(r.body.find("sha256: " + Sha256Hex(kLog)), std::string::npos);
    EXPECT_NE(r.body.find("received: 2026-12-14 10:00:00 UTC"), std::string::npos);
    EXPECT_EQ(store->Bytes(Sha256Hex(kLog)), kLog);
    std::size_t files = 0;
    for (const auto& e : fs::directory_iterator(folder / "logs")) files += e.path().filename() == Sha256Hex(kLog);
    EXPECT_EQ(files, 1u);
    // The form's page and JSON carry the same answer.
    EXPECT_NE(Submit(kLog, "/upload").body.find("id=\"verdict\">Accepted"), std::string::npos);
    Request json;
    json.method = "POST";
    json.path = "/submit";
    json.fields = {{"text", kLog}, {"format", "json"}};
    const Response j = service->Handle(json);
    EXPECT_EQ(j.type, "application/json");
    EXPECT_NE(j.body.find("\"accepted\":true"), std::string::npos);
    // A refusal keeps nothing and says why.
    const Response bad = Submit("junk\0junk", "/submit", "UA1ABC");
    EXPECT_EQ(bad.status, 422);
    EXPECT_TRUE(bad.body.starts_with("refused\nreason: not a log")) << bad.body;
    EXPECT_EQ(store->Count(), 3u);
}

TEST_F(RobotService, ResubmissionReplacesForTheCheckAndKeepsTheHistory) {
    Submit(kLog);
    clock += 3600;
    const std::string second = Replace(kLog, "CLAIMED-SCORE: 12", "CLAIMED-SCORE: 14");
    Submit(second);
    Submit(Replace(kLog, "UA1ABC", "UA9XX"));
    const std::vector<Submission> current = store->Current();
    ASSERT_EQ(current.size(), 2u);
    EXPECT_EQ(current[0].call, "UA1ABC");
    EXPECT_EQ(current[0].sha256, Sha256Hex(second));
    const std::vector<Submission> history = store->History("UA1ABC");
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].sha256, Sha256Hex(kLog));
    EXPECT_EQ(history[1].received - history[0].received, 3600);
    // Kept across a restart, and exported one file per call.
    service.reset();
    store.emplace(folder);
    EXPECT_EQ(store->Count(), 3u);
    EXPECT_EQ(store->Export(folder / "set"), 2u);
    std::ifstream in(folder / "set" / "UA1ABC.log", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), second);
}

TEST_F(RobotService, AFailureToKeepGivesNoReceiptAndNoDetails) {
    std::string told;
    service->onError = [&](const std::string& what) { told = what; };
    fs::remove_all(folder / "logs");
    std::ofstream(folder / "logs") << "a file where the folder was";
    const Response r = Submit(kLog);
    EXPECT_EQ(r.status, 500);
    EXPECT_EQ(r.body.find(folder.string()), std::string::npos);
    EXPECT_EQ(r.body.find("sha256"), std::string::npos);
    EXPECT_NE(told.find(folder.string()), std::string::npos);
}

TEST_F(RobotService, PublicListShowsCallClassAndTimeOnly) {
    Submit(Replace(kLog, "CATEGORY-MODE: CW", "CATEGORY-MODE: <b>CW</b>"));
    const Response list = Send("GET", "/received");
    EXPECT_EQ(list.status, 200);
    EXPECT_NE(list.body.find("UA1ABC"), std::string::npos);
    // The contest's class, never the declaration as written.
    EXPECT_NE(list.body.find("<td>SO-MIXED<td>"), std::string::npos) << list.body;
    EXPECT_EQ(list.body.find("&lt;B&gt;"), std::string::npos);
    EXPECT_EQ(list.body.find(Sha256Hex(kLog)), std::string::npos);
    EXPECT_EQ(list.body.find("my.log"), std::string::npos);
    EXPECT_NE(HeaderOf(list, "Content-Security-Policy").find("default-src 'none'"), std::string::npos);
    EXPECT_NE(HeaderOf(list, "Content-Security-Policy").find("frame-ancestors 'none'"), std::string::npos);
    EXPECT_EQ(HeaderOf(list, "X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(Send("GET", "/logs/").status, 404);  // no listing of anything
    EXPECT_EQ(Send("GET", "/submit").status, 405);
}

TEST_F(RobotService, WindowClosesByTheRulesAndByTheCommittee) {
    clock = yol::check::ParseUtcMinute("2026-12-18 12:00") * 60;
    const Response late = Submit(kLog);
    EXPECT_EQ(late.status, 403);
    EXPECT_NE(late.body.find("window is closed"), std::string::npos);
    EXPECT_EQ(store->Count(), 0u);
    const auto [cookie, csrf] = Login();
    EXPECT_EQ(Send("POST", "/committee/window", {{"state", "open"}, {"csrf", csrf}}, {{"cookie", cookie}}).status, 303);
    EXPECT_EQ(Submit(kLog).status, 200);
    EXPECT_EQ(Send("POST", "/committee/window", {{"state", "closed"}, {"csrf", csrf}}, {{"cookie", cookie}}).status, 303);
    EXPECT_EQ(Submit(kLog).status, 403);
}

TEST_F(RobotService, CommitteePagesNeedTheTokenAndFormsTheirOwnPage) {
    Submit(kLog);
    EXPECT_EQ(Send("GET", "/committee/set.zip").status, 401);
    EXPECT_NE(Send("GET", "/committee").body.find("Committee token"), std::string::npos);
    const Response wrong = Send("POST", "/committee/login", {{"token", token + "x"}});
    EXPECT_NE(wrong.body.find("not the committee token"), std::string::npos);
    EXPECT_TRUE(HeaderOf(wrong, "Set-Cookie").empty());
    EXPECT_EQ(Send("POST", "/committee/login", {{"token", token}}, {{"origin", "https://evil.example"}}).status, 403);
    // A bearer token for programs; no cookie, so no cross-site form can use it.
    const Response list = Send("GET", "/committee", {{"q", "ua1"}}, {{"authorization", "Bearer " + token}});
    EXPECT_EQ(list.status, 200);
    EXPECT_NE(list.body.find("UA1ABC"), std::string::npos);
    EXPECT_EQ(HeaderOf(list, "Cache-Control"), "no-store");
    EXPECT_EQ(Send("GET", "/committee", {}, {{"authorization", "Bearer wrong"}}).status, 200);  // the login page
    const auto [cookie, csrf] = Login();
    // The cookie alone (a cross-site form) changes nothing; nor a foreign origin.
    EXPECT_EQ(Send("POST", "/committee/window", {{"state", "closed"}}, {{"cookie", cookie}}).status, 403);
    EXPECT_EQ(Send("POST", "/committee/window", {{"state", "closed"}, {"csrf", csrf}},
                   {{"cookie", cookie}, {"origin", "https://evil.example"}}).status, 403);
    EXPECT_FALSE(store->Setting("window").has_value());
    const Response history = Send("GET", "/committee/log", {{"call", "ua1abc"}}, {{"cookie", cookie}});
    EXPECT_NE(history.body.find(Sha256Hex(kLog)), std::string::npos);
    const Response file = Send("GET", "/committee/file", {{"sha256", Sha256Hex(kLog)}}, {{"cookie", cookie}});
    EXPECT_EQ(file.body, kLog);
    EXPECT_EQ(Send("GET", "/committee/file", {{"sha256", "../robot.sqlite"}}, {{"cookie", cookie}}).status, 404);
    // The zip: one stored entry per call, named by the call.
    const Response zip = Send("GET", "/committee/set.zip", {}, {{"cookie", cookie}});
    ASSERT_TRUE(zip.stream);
    std::string bytes;
    EXPECT_TRUE(zip.stream([&](std::string_view piece) {
        bytes += piece;
        return true;
    }));
    EXPECT_TRUE(bytes.starts_with("PK\x03\x04"));
    EXPECT_NE(bytes.find("UA1ABC.log" + kLog), std::string::npos);
    // Logged out, the session is gone.
    EXPECT_EQ(Send("POST", "/committee/logout", {{"csrf", csrf}}, {{"cookie", cookie}}).status, 303);
    EXPECT_EQ(Send("GET", "/committee/set.zip", {}, {{"cookie", cookie}}).status, 401);
}

TEST_F(RobotService, RequestsPerAddressAreLimited) {
    int limited = 0;
    for (int i = 0; i < 60; ++i) limited += Send("GET", "/received").status == 429;
    EXPECT_EQ(limited, 10);
    EXPECT_EQ(Send("GET", "/received", {}, {}, "192.0.2.2").status, 200);  // another address is served
    clock += 60;
    EXPECT_EQ(Send("GET", "/received").status, 200);  // and the next minute again
}

TEST(RobotCookies, ValueByName) {
    EXPECT_EQ(CookieValue("a=1; yolrobot_session=abc; b=2", "yolrobot_session"), "abc");
    EXPECT_EQ(CookieValue("xyolrobot_session=abc", "yolrobot_session"), "");
    EXPECT_EQ(CookieValue("", "yolrobot_session"), "");
}

}  // namespace
