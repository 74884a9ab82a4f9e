#include "WinTestSupport.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "adosim/AdoSim.h"
#include "win/TextConv.h"
#include "win/WindowText.h"

namespace yol::wintest {

std::string Utf8(const std::wstring& text) { return Utf8FromWide(text); }

template <class F>
static void Bind(HMODULE module, const char* name, F& fn) {
    fn = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (fn == nullptr) throw std::runtime_error(std::string("missing export ") + name);
}

Module::Module() {
    handle = LoadLibraryW(L"YOLContest.dll");
    if (handle == nullptr) throw std::runtime_error("cannot load YOLContest.dll");
    Bind(handle, kExportGetInfo, GetInfo);
    Bind(handle, kExportRun, Run);
    Bind(handle, kExportGetScore, GetScore);
    Bind(handle, kExportAddQSO, AddQSO);
    Bind(handle, kExportGrabNumber, GrabNumber);
    Bind(handle, kExportRelease, Release);
}

Module::~Module() {
    Release();
    Pump(50);
    FreeLibrary(handle);
}

void Pump(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (ms > 0) Sleep(5);
    } while (std::chrono::steady_clock::now() < until);
}

struct TestLog::Impl {
    sqlite3* db = nullptr;
    adosim::ConnectionPtr connection;
};

TestLog::TestLog() : impl_(std::make_unique<Impl>()) {
    wchar_t dir[MAX_PATH];
    wchar_t file[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    GetTempFileNameW(dir, L"yol", 0, file);
    path_ = Utf8(file);
    if (sqlite3_open(path_.c_str(), &impl_->db) != SQLITE_OK) throw std::runtime_error("sqlite open");
    impl_->connection = adosim::OpenConnection(path_);
}

TestLog::~TestLog() {
    impl_->connection = {};
    sqlite3_close(impl_->db);
    DeleteFileA(path_.c_str());
}

void TestLog::Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(impl_->db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "?";
        sqlite3_free(error);
        throw std::runtime_error(sql + ": " + message);
    }
}

void TestLog::CreateLogTable(const std::string& table, bool withMainPrefix) {
    Exec("create table " + table + " (CallSign text, DigiBand text, QSOMode text," +
         " QSOReportRecived text, DXCCPrefix text, " + (withMainPrefix ? "MainPrefix text, " : "") +
         "Continent text)");
}

void TestLog::Add(const std::string& call, const std::string& band, const std::string& mode,
                  const std::string& dxcc, const std::string& continent, const std::string& report,
                  const std::string& table) {
    Exec("insert into " + table + " (CallSign, DigiBand, QSOMode, QSOReportRecived, DXCCPrefix," +
         " Continent) values ('" + call + "','" + band + "','" + mode + "','" + report + "','" +
         dxcc + "','" + continent + "')");
}

IDispatch* TestLog::Connection() const { return impl_->connection.get(); }

std::unique_ptr<ContactRecord> HostRecord(const TestLog* log, const Contact& c,
                                          const std::string& title) {
    auto r = std::make_unique<ContactRecord>();
    r->ConnectionRef = log ? log->Connection() : nullptr;
    StoreShortText(r->TableName, "Log");
    StoreShortText(r->TitleText, title);
    StoreShortText(r->MyDXCCPrefix, "UA1");
    StoreShortText(r->MyContinent, "EU");
    StoreShortText(r->CallSign, c.call);
    StoreShortText(r->DigiBand, c.band);
    StoreShortText(r->QSOMode, c.mode);
    StoreShortText(r->DXCCPrefix, c.dxcc);
    StoreShortText(r->Continent, c.continent);
    StoreShortText(r->QSOReportRecived, c.report);
    return r;
}

HWND ChildOfClass(HWND window, const wchar_t* className) {
    return FindWindowExW(window, nullptr, className, nullptr);
}


std::string StatisticText(HWND window) { return Utf8(WindowText(ChildOfClass(window, L"Edit"))); }

ErrorBoxWatcher::ErrorBoxWatcher() : thread_([this] { Watch(); }) {}

ErrorBoxWatcher::~ErrorBoxWatcher() {
    stop_ = true;
    thread_.join();
}

std::vector<ErrorBoxWatcher::Box> ErrorBoxWatcher::Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(boxes_, {});
}

void ErrorBoxWatcher::Watch() {
    const DWORD process = GetCurrentProcessId();
    std::vector<HWND> answered;
    while (!stop_) {
        HWND box = nullptr;
        while ((box = FindWindowExW(nullptr, box, L"#32770", nullptr)) != nullptr) {
            DWORD owner = 0;
            GetWindowThreadProcessId(box, &owner);
            if (owner != process || !IsWindowVisible(box)) continue;
            if (std::find(answered.begin(), answered.end(), box) != answered.end()) continue;
            answered.push_back(box);
            Box seen;
            seen.caption = Utf8(WindowText(box));
            // The box's text is its longest static child.
            for (HWND child = nullptr;
                 (child = FindWindowExW(box, child, L"Static", nullptr)) != nullptr;) {
                std::string text = Utf8(WindowText(child));
                if (text.size() > seen.text.size()) seen.text = text;
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                boxes_.push_back(seen);
            }
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        Sleep(5);
    }
}

Interloper::Interloper(std::function<void()> action) : action_(std::move(action)) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"YolInterloper";
    RegisterClassW(&wc);
    hwnd_ = CreateWindowW(L"YolInterloper", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                          wc.hInstance, nullptr);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Interloper::~Interloper() { DestroyWindow(hwnd_); }

void Interloper::Arm() { PostMessageW(hwnd_, WM_APP, 0, 0); }

LRESULT CALLBACK Interloper::Proc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_APP) {
        reinterpret_cast<Interloper*>(GetWindowLongPtrW(h, GWLP_USERDATA))->action_();
        return 0;
    }
    return DefWindowProcW(h, m, wp, lp);
}

}  // namespace yol::wintest
