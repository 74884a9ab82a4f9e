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
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "HostLog.h"
#include "adosim/AdoSim.h"
#include "host/DoMain.h"
#include "logdb/AdoLogQuery.h"
#include "logdb/Recalc.h"
#include "win/ComPtr.h"
#include "win/SystemError.h"
#include "win/TextConv.h"
#include "win/UniqueHandle.h"
#include "win/WindowText.h"

namespace {

using yol::host::LogContact;

struct Options {
    std::wstring dll = L"YOLContest.dll";
    std::string db = ":memory:";
    std::string table = "Log";
    std::string myPrefix = "UA1";
    std::string myContinent = "EU";
    std::string title = "yolhost";
    std::string contactsFile;
    std::size_t generate = 0;
    std::size_t preload = 0;
    std::uint32_t seed = 1;
    int holdMs = 0;
    bool keepOpen = false;
    bool keepErrors = false;
    bool recalc = false;
    std::size_t bench = 0;
};

constexpr const char* kUsage =
    "usage: yolhost [--dll PATH] [--db FILE] [--table Log] [--my-prefix UA1] [--my-continent EU]\n"
    "               [--title TEXT] [--contacts FILE] [--generate N] [--seed S] [--preload N]\n"
    "               [--recalc] [--hold-ms N] [--keep-open] [--keep-errors]\n"
    "       yolhost --bench N [--dll PATH] [--db FILE] [--table Log] [--seed S]\n";

[[noreturn]] void Usage(const std::string& problem) {
    std::fprintf(stderr, "yolhost: %s\n%s", problem.c_str(), kUsage);
    std::exit(2);
}

std::size_t Count(const std::string& option, const std::string& text) {
    char* end = nullptr;
    const unsigned long long n = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || text[0] == '-') Usage(option + " needs a number, not '" + text + "'");
    return static_cast<std::size_t>(n);
}

Options ParseOptions() {
    int argc = 0;
    const yol::LocalMemory<LPWSTR> argv(CommandLineToArgvW(GetCommandLineW(), &argc));
    std::vector<std::string> args;
    for (int i = 1; argv && i < argc; ++i) args.push_back(yol::Utf8FromWide(argv.get()[i]));

    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) Usage(a + " needs a value");
            return args[++i];
        };
        if (a == "--dll") o.dll = yol::WideFromUtf8(value());
        else if (a == "--db") o.db = value();
        else if (a == "--table") o.table = value();
        else if (a == "--my-prefix") o.myPrefix = value();
        else if (a == "--my-continent") o.myContinent = value();
        else if (a == "--title") o.title = value();
        else if (a == "--contacts") o.contactsFile = value();
        else if (a == "--generate") o.generate = Count(a, value());
        else if (a == "--preload") o.preload = Count(a, value());
        else if (a == "--seed") o.seed = static_cast<std::uint32_t>(Count(a, value()));
        else if (a == "--hold-ms") o.holdMs = static_cast<int>(std::min<std::size_t>(Count(a, value()), 86400000));
        else if (a == "--bench") o.bench = Count(a, value());
        else if (a == "--keep-open") o.keepOpen = true;
        else if (a == "--keep-errors") o.keepErrors = true;
        else if (a == "--recalc") o.recalc = true;
        else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else Usage("unknown option " + a);
    }
    return o;
}

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

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0.0 : (n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0);
}

// ---- messages -----------------------------------------------------------------

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

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

// ---- the module -----------------------------------------------------------------

class Module {
public:
    explicit Module(const std::wstring& path) : handle_(LoadLibraryW(path.c_str())) {
        if (handle_ == nullptr)
            throw std::runtime_error("cannot load " + yol::Utf8FromWide(path) + ": " +
                                     yol::DescribeHResult(HRESULT_FROM_WIN32(GetLastError())));
        GetInfo = Entry<yol::GetInfoFn>(yol::kExportGetInfo);
        Run = Entry<yol::RunFn>(yol::kExportRun);
        GetScore = Entry<yol::GetScoreFn>(yol::kExportGetScore);
        AddQSO = Entry<yol::AddQSOFn>(yol::kExportAddQSO);
        GrabNumber = Entry<yol::GrabNumberFn>(yol::kExportGrabNumber);
        Release = Entry<yol::ReleaseFn>(yol::kExportRelease);
    }
    ~Module() { Unload(); }
    void Unload() {
        if (handle_ != nullptr) FreeLibrary(std::exchange(handle_, nullptr));
    }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    yol::GetInfoFn GetInfo;
    yol::RunFn Run;
    yol::GetScoreFn GetScore;
    yol::AddQSOFn AddQSO;
    yol::GrabNumberFn GrabNumber;
    yol::ReleaseFn Release;

private:
    template <class Fn>
    Fn Entry(const char* name) {
        FARPROC p = GetProcAddress(handle_, name);
        if (p == nullptr) {
            FreeLibrary(std::exchange(handle_, nullptr));
            throw std::runtime_error(std::string("the module exports no ") + name);
        }
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(p));
    }

    HMODULE handle_;
};

// What the host fills in for every call: its table, the operator, the
// caption text, the connection, and the contact.
class HostRecords {
public:
    HostRecords(const Options& o, IDispatch* connection) : options_(o), connection_(connection) {}

    yol::ContactRecord& For(const LogContact* c) {
        record_ = std::make_unique<yol::ContactRecord>();
        yol::ContactRecord& r = *record_;
        r.ConnectionRef = connection_;
        Store(r.TableName, options_.table);
        Store(r.TitleText, options_.title);
        Store(r.MyDXCCPrefix, options_.myPrefix);
        Store(r.MyContinent, options_.myContinent);
        if (c != nullptr) {
            Store(r.CallSign, c->call);
            Store(r.DigiBand, c->band);
            Store(r.QSOMode, c->mode);
            Store(r.DXCCPrefix, c->dxcc);
            Store(r.MainPrefix, c->dxcc);
            Store(r.Continent, c->continent);
            Store(r.QSOReportRecived, c->report);
        }
        return r;
    }

private:
    static void Store(yol::ShortText& field, const std::string& utf8) {
        yol::StoreShortText(field, yol::AnsiFromUtf8(utf8));
    }

    const Options& options_;
    IDispatch* connection_;
    std::unique_ptr<yol::ContactRecord> record_;
};

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

std::string Line(const LogContact& c) { return c.call + " " + c.band + " " + c.mode; }

void PrintReport(HWND window) {
    std::printf("Caption: %s\n", yol::Utf8FromWide(yol::WindowText(window)).c_str());
    std::printf("--- report ---\n%s\n--- end report ---\n", ReportText(window).c_str());
}

// Lets the window go and waits for its destruction to be delivered.
void ReleaseAndUnload(Module& module, HWND window) {
    module.Release();
    std::printf("Release\n");
    PumpFor(3000, [&] { return !IsWindow(window); });
    std::printf("Window destroyed: %s\n", IsWindow(window) ? "no" : "yes");
    module.Unload();
    std::printf("FreeLibrary\n");
}

std::vector<LogContact> ContactsToLog(const Options& o) {
    std::vector<LogContact> contacts;
    if (!o.contactsFile.empty()) {
        std::ifstream in(yol::WideFromUtf8(o.contactsFile).c_str());
        if (!in) throw std::runtime_error("cannot read " + o.contactsFile);
        contacts = yol::host::ParseContacts(in);
    }
    const auto generated = yol::host::GenerateContacts(o.generate, o.seed);
    contacts.insert(contacts.end(), generated.begin(), generated.end());
    return contacts;
}

int RunSession(const Options& o, IDispatch* connection, sqlite3* db) {
    const std::vector<LogContact> contacts = ContactsToLog(o);
    if (o.preload > 0 || !contacts.empty()) yol::host::PrepareLogTable(db, o.table, false);
    if (o.preload > 0) yol::host::AppendToLog(db, o.table, yol::host::GenerateContacts(o.preload, o.seed + 1000));

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
        yol::host::AppendToLog(db, o.table, {c});
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

int RunBench(const Options& o, IDispatch* connection, sqlite3* db) {
    constexpr int kRuns = 5;
    constexpr std::size_t kAddCalls = 500;
    yol::host::PrepareLogTable(db, o.table, true);
    yol::host::AppendToLog(db, o.table, yol::host::GenerateContacts(o.bench, o.seed));
    std::printf("bench rows %zu\n", o.bench);

    // (a) The simulator's own walk: the module's query, every column read as
    // text, nothing scored.
    std::vector<double> walk;
    std::size_t bytes = 0, rows = 0;
    yol::AdoLogQuery query(connection);
    for (int run = 0; run < kRuns; ++run) {
        const double start = NowMs();
        query.SetText(yol::LogQueryText(o.table));
        query.Open();
        for (rows = 0; !query.AtEnd(); query.Next(), ++rows)
            for (std::string_view column : yol::kLogColumns) bytes += query.ColumnAsText(column).size();
        query.Close();
        walk.push_back(NowMs() - start);
    }
    std::printf("bench walk rows %zu best_ms %.2f median_ms %.2f (%zu bytes read)\n", rows,
                *std::min_element(walk.begin(), walk.end()), Median(walk), bytes);

    // For telling the module's share apart: the scoring core's recalculation
    // over the same query, in this process, without a window.
    std::vector<double> core;
    {
        HostRecords coreRecords(o, connection);
        yol::ContactRecord& current = coreRecords.For(nullptr);
        yol::TScoreBook book;
        struct NoEvents : yol::EventPump {
            void DeliverPendingEvents() override {}
        } pump;
        for (int run = 0; run < kRuns; ++run) {
            const double start = NowMs();
            yol::RecalcFromLog(query, pump, current, book, {});
            core.push_back(NowMs() - start);
        }
    }
    std::printf("bench core best_ms %.2f median_ms %.2f (scoring core over the same query, no window)\n",
                *std::min_element(core.begin(), core.end()), Median(core));

    // (b) The module's recalculation, through the window's command.
    Module module(o.dll);
    HostRecords records(o, connection);
    double start = NowMs();
    HWND window = static_cast<HWND>(module.Run(0, &records.For(nullptr)));
    std::printf("bench run_ms %.2f (window creation and first recalculation)\n", NowMs() - start);
    Pump();
    if (!IsWindow(window)) {
        std::printf("bench FAILED: _Run gave no window\n");
        return 1;
    }
    std::vector<double> recalc;
    for (int run = 0; run < kRuns; ++run) {
        start = NowMs();
        if (!ClickRecalc(window)) {
            std::printf("bench FAILED: no Recalc Statistic button\n");
            return 1;
        }
        recalc.push_back(NowMs() - start);
        Pump();
    }
    const bool reported = ReportText(window).find("Score:") != std::string::npos;
    std::printf("bench recalc best_ms %.2f median_ms %.2f%s\n", *std::min_element(recalc.begin(), recalc.end()),
                Median(recalc), reported ? "" : " (NO REPORT)");
    std::printf("bench ratio %.3f (recalc median / walk median, target <= 1.3)\n", Median(recalc) / Median(walk));
    std::printf("bench shares walk_ms %.2f scoring_ms %.2f window_ms %.2f (of the recalc median)\n", Median(walk),
                Median(core) - Median(walk), Median(recalc) - Median(core));

    // (c) _AddQSO with the book holding the log, report rewrite included.
    // _GetScore beside it tells the report rewrite's share apart.
    const auto more = yol::host::GenerateContacts(kAddCalls, o.seed + 7);
    std::vector<double> add, score;
    for (const LogContact& c : more) {
        yol::ContactRecord& r = records.For(&c);
        start = NowMs();
        module.GetScore(&r);
        score.push_back((NowMs() - start) * 1000.0);
        start = NowMs();
        module.AddQSO(&r);
        add.push_back((NowMs() - start) * 1000.0);
        Pump();
    }
    std::printf("bench addqso book %zu calls %zu median_us %.1f best_us %.1f\n", o.bench, add.size(), Median(add),
                *std::min_element(add.begin(), add.end()));
    std::printf("bench getscore median_us %.1f (no report rewrite)\n", Median(score));
    std::fflush(stdout);
    ReleaseAndUnload(module, window);
    return reported ? 0 : 1;
}

}  // namespace

int main() {
    SetConsoleOutputCP(CP_UTF8);
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
