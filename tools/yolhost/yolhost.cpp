// The host simulator: loads the module as the logging program does, lends it
// a connection to a SQLite log and drives the six entry points on its
// user-interface thread, delivering window messages between the calls.
//
//   yolhost [--dll PATH] [--db FILE] [--table Log] [--my-prefix UA1]
//           [--my-continent EU] [--title TEXT] [--contacts FILE]
//           [--generate N] [--seed S] [--preload N] [--recalc]
//           [--hold-ms N] [--keep-open] [--keep-errors]
//   yolhost --bench N [--dll PATH] [--db FILE] [--table Log] [--seed S]
//
// Contacts from --contacts and --generate are logged live: each is scored
// (_GetScore), written to the log table and recorded (_AddQSO). --preload N
// writes N generated contacts into the log before _Run, so the window's first
// recalculation reads them. The module's error boxes are answered with OK and
// their text printed, unless --keep-errors.
//
// --bench N fills the log with N contacts and times (a) a plain walk of the
// log through the same connection object, (b) the module's recalculation
// (the "Recalc Statistic" command) and (c) _AddQSO with the book that full.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "Host.h"
#include "adosim/AdoSim.h"
#include "contestsim/Generator.h"
#include "contestlog/LogWriter.h"
#include "win/ComPtr.h"
#include "win/SystemError.h"
#include "win/TextConv.h"
#include "win/WindowText.h"

namespace yol::host {

// ---- time -------------------------------------------------------------------

double NowMs() {
    static const double perMs = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / perMs;
}

// ---- messages -----------------------------------------------------------------

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

namespace {

// Delivers messages for `ms` milliseconds, or until `done` holds.
template <class Done>
void PumpFor(int ms, Done done) {
    const double end = NowMs() + ms;
    for (;;) {
        Pump();
        if (done()) return;
        const double left = end - NowMs();
        if (left <= 0) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min(left, 50.0)) + 1, QS_ALLINPUT);
    }
}
void PumpFor(int ms) {
    PumpFor(ms, [] { return false; });
}

// The module's modal error boxes: read, printed and answered with OK by a
// thread timer, which the boxes' own message loops deliver.
struct ErrorBoxes {
    static inline bool answer = true;
    static inline int seen = 0;
    static inline std::set<HWND> handled;

    static BOOL CALLBACK OnWindow(HWND w, LPARAM) {
        wchar_t cls[16] = {};
        GetClassNameW(w, cls, 16);
        if (std::wstring_view(cls) != L"#32770" || !IsWindowVisible(w) || handled.count(w) != 0) return TRUE;
        handled.insert(w);
        ++seen;
        wchar_t caption[256] = {}, text[2048] = {};
        GetWindowTextW(w, caption, 256);
        GetDlgItemTextW(w, 0xFFFF, text, 2048);
        std::printf("ErrorBox [%s] %s\n", yol::Utf8FromWide(caption).c_str(), yol::Utf8FromWide(text).c_str());
        std::fflush(stdout);
        if (answer) PostMessageW(w, WM_COMMAND, IDOK, 0);
        return TRUE;
    }
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
        EnumThreadWindows(GetCurrentThreadId(), OnWindow, 0);
    }
};

// ---- the window -----------------------------------------------------------------

struct ChildSearch {
    const wchar_t* cls;
    const wchar_t* text;
    HWND first = nullptr, preferred = nullptr;
};

BOOL CALLBACK OnChild(HWND w, LPARAM p) {
    auto& search = *reinterpret_cast<ChildSearch*>(p);
    wchar_t cls[64] = {};
    GetClassNameW(w, cls, 64);
    if (lstrcmpiW(cls, search.cls) != 0) return TRUE;
    if (search.first == nullptr) search.first = w;
    wchar_t text[64] = {};
    GetWindowTextW(w, text, 64);
    if (search.text != nullptr && std::wstring_view(text).find(search.text) != std::wstring_view::npos) {
        search.preferred = w;
        return FALSE;
    }
    return TRUE;
}

// A descendant window of the class, preferring one whose text holds
// `preferredText`.
HWND ChildOfClass(HWND parent, const wchar_t* className, const wchar_t* preferredText = nullptr) {
    ChildSearch s{className, preferredText};
    EnumChildWindows(parent, OnChild, reinterpret_cast<LPARAM>(&s));
    return s.preferred != nullptr ? s.preferred : s.first;
}

}  // namespace

std::string ReportText(HWND window) {
    HWND edit = ChildOfClass(window, L"Edit");
    if (edit == nullptr) return {};
    std::string text = yol::Utf8FromWide(yol::WindowText(edit));
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

// Presses "Recalc Statistic" as a click does: BN_CLICKED to the button's
// parent, which runs the whole recalculation before returning.
bool ClickRecalc(HWND window) {
    HWND button = ChildOfClass(window, L"Button", L"Recalc");
    if (button == nullptr) return false;
    const auto id = static_cast<WORD>(GetDlgCtrlID(button));
    SendMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return true;
}

namespace {

std::string Line(const LogContact& c) { return c.call + " " + c.band + " " + c.mode; }

void PrintReport(HWND window) {
    std::printf("Caption: %s\n", yol::Utf8FromWide(yol::WindowText(window)).c_str());
    std::printf("--- report ---\n%s\n--- end report ---\n", ReportText(window).c_str());
}

}  // namespace

// Lets the window go and waits for its destruction to be delivered.
void ReleaseAndUnload(Module& module, HWND window) {
    module.Release();
    std::printf("Release\n");
    PumpFor(3000, [&] { return !IsWindow(window); });
    std::printf("Window destroyed: %s\n", IsWindow(window) ? "no" : "yes");
    module.Unload();
    std::printf("FreeLibrary\n");
}

// ---- the log ----------------------------------------------------------------------

void AppendToLog(sqlite3* db, const std::string& table, const std::vector<LogContact>& contacts) {
    contestlog::SqliteLogWriter writer(db, table);
    for (const LogContact& c : contacts) writer.Write(c);
    writer.Finish();
}

void PrepareLogTable(sqlite3* db, const std::string& table, bool empty) {
    contestlog::CreateLogTable(db, table);
    contestlog::CreateCallSignIndex(db, table);
    if (empty) contestlog::EmptyLogTable(db, table);
}

namespace {

// One contact a line, fields separated by tabs: call, band, mode, dxcc,
// continent, report. Missing trailing fields are empty; empty lines and
// lines beginning with '#' are skipped; a CR before the line end goes. The
// main prefix is the dxcc.
// Throws std::runtime_error naming the line when it has no call sign.
std::vector<LogContact> ParseContacts(std::istream& in) {
    std::vector<LogContact> contacts;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::array<std::string, 6> fields;
        std::size_t field = 0, start = 0;
        for (;;) {
            const std::size_t tab = line.find('\t', start);
            if (field < fields.size()) fields[field++] = line.substr(start, tab - start);
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        if (fields[0].empty()) throw std::runtime_error("contacts line " + std::to_string(number) + ": no call sign");
        contacts.push_back({.call = fields[0], .band = fields[1], .mode = fields[2], .report = fields[5],
                            .dxcc = fields[3], .mainPrefix = fields[3], .continent = fields[4]});
    }
    return contacts;
}

std::vector<LogContact> ContactsToLog(const Options& o) {
    std::vector<LogContact> contacts;
    if (!o.contactsFile.empty()) {
        std::ifstream in(yol::WideFromUtf8(o.contactsFile).c_str());
        if (!in) throw std::runtime_error("cannot read " + o.contactsFile);
        contacts = ParseContacts(in);
    }
    const auto generated = contestsim::GenerateContacts(o.generate, o.seed);
    contacts.insert(contacts.end(), generated.begin(), generated.end());
    return contacts;
}

}  // namespace

// ---- the session ------------------------------------------------------------------

int RunSession(const Options& o, IDispatch* connection, sqlite3* db) {
    const std::vector<LogContact> contacts = ContactsToLog(o);
    if (o.preload > 0 || !contacts.empty()) PrepareLogTable(db, o.table, false);
    if (o.preload > 0) AppendToLog(db, o.table, contestsim::GenerateContacts(o.preload, o.seed + 1000));

    Module module(o.dll);
    HostRecords records(o, connection);

    yol::ModuleInfoRecord info{};
    module.GetInfo(&info);
    std::printf("GetInfo -> \"%s\" %d \"%s\" %d\n", std::string(yol::ReadShortText(info.DisplayName)).c_str(),
                info.InfoValue1, std::string(yol::ReadShortText(info.Identifier)).c_str(), info.InfoValue2);

    HWND window = static_cast<HWND>(module.Run(0, &records.For(nullptr)));
    std::printf("Run -> window %s\n", IsWindow(window) ? "ok" : "MISSING");
    std::fflush(stdout);
    Pump();
    if (!IsWindow(window)) return 1;

    for (const LogContact& c : contacts) {
        const std::int32_t score = module.GetScore(&records.For(&c));
        std::printf("GetScore %s -> %d\n", Line(c).c_str(), score);
        AppendToLog(db, o.table, {c});
        const std::int32_t added = module.AddQSO(&records.For(&c));
        std::printf("AddQSO %s -> %d\n", Line(c).c_str(), added);
        Pump();
    }

    yol::GrabBuffer grab;
    std::fill(std::begin(grab.bytes), std::end(grab.bytes), static_cast<unsigned char>('#'));
    module.GrabNumber(&records.For(nullptr), &grab);
    std::printf("GrabNumber -> length %u\n", static_cast<unsigned>(grab.bytes[0]));

    if (o.recalc) {
        std::printf("Recalc -> %s\n", ClickRecalc(window) ? "clicked" : "NO BUTTON");
        Pump();
    }
    if (o.holdMs > 0) std::printf("holding the window for %d ms\n", o.holdMs);
    std::fflush(stdout);
    PumpFor(o.holdMs);
    if (o.keepOpen) {
        std::printf("Keeping the window open until it is gone\n");
        std::fflush(stdout);
        MSG msg;
        while (IsWindow(window) && GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (IsWindow(window)) PrintReport(window);
    ReleaseAndUnload(module, window);
    std::printf("Error boxes: %d\n", ErrorBoxes::seen);
    return 0;
}

}  // namespace yol::host

int main() {
    SetConsoleOutputCP(CP_UTF8);
    using namespace yol::host;
    const Options options = ParseOptions();
    yol::ComApartment com;
    if (FAILED(com.result())) {
        std::fprintf(stderr, "yolhost: COM: %s\n", yol::DescribeHResult(com.result()).c_str());
        return 1;
    }
    ErrorBoxes::answer = !options.keepErrors;
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, ErrorBoxes::OnTimer);
    int rc = 1;
    try {
        yol::adosim::ConnectionPtr connection = yol::adosim::OpenConnection(options.db);
        sqlite3* db = yol::adosim::DatabaseOf(connection.get());
        rc = options.bench > 0 ? RunBench(options, connection.get(), db) : RunSession(options, connection.get(), db);
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "yolhost: %s\n", e.what());
        rc = 1;
    }
    KillTimer(nullptr, timer);
    std::fflush(stdout);
    return rc;
}
