// Helpers for driving the module as the host does.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/DoMain.h"
#include "host/Plugin.h"

namespace yol::wintest {

// The module loaded by name, with its six entry points.
struct Module {
    Module();
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    HMODULE handle = nullptr;
    GetInfoFn GetInfo = nullptr;
    RunFn Run = nullptr;
    GetScoreFn GetScore = nullptr;
    AddQSOFn AddQSO = nullptr;
    GrabNumberFn GrabNumber = nullptr;
    ReleaseFn Release = nullptr;
};

// Delivers this thread's pending messages for about `ms` milliseconds.
void Pump(int ms = 0);

// A SQLite log database in a temporary file, lent to the module through an
// ADO-style connection object.
class TestLog {
public:
    TestLog();
    ~TestLog();
    void Exec(const std::string& sql);
    // Creates table Log with the seven columns the module reads.
    void CreateLogTable(const std::string& table = "Log", bool withMainPrefix = true);
    void Add(const std::string& call, const std::string& band, const std::string& mode,
             const std::string& dxcc, const std::string& continent, const std::string& report,
             const std::string& table = "Log");
    IDispatch* Connection() const;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

struct Contact {
    std::string call = "DL1ABC", band = "14", mode = "CW", dxcc = "DL", continent = "EU",
                report = "599 MO05";
};

// A host contact record for the log, the operator UA1 in EU.
std::unique_ptr<ContactRecord> HostRecord(const TestLog* log, const Contact& c = {},
                                          const std::string& title = "Test Host");

// Text of the window's statistics area (the child of class "Edit").
std::string StatisticText(HWND window);
HWND ChildOfClass(HWND window, const wchar_t* className);

// Watches for the module's modal error boxes on a background thread, records
// their caption and text and presses OK, so no test can hang on one.
class ErrorBoxWatcher {
public:
    struct Box {
        std::string caption, text;
    };
    ErrorBoxWatcher();
    ~ErrorBoxWatcher();
    std::vector<Box> Take();

private:
    void Watch();
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<Box> boxes_;
    std::thread thread_;
};

std::string Utf8(const std::wstring& text);

// A window of the test's own whose message, posted by Arm, arrives while the
// module delivers pending events in the middle of its work; it then runs the
// action, as a host's own event would.
class Interloper {
public:
    explicit Interloper(std::function<void()> action);
    ~Interloper();
    Interloper(const Interloper&) = delete;
    Interloper& operator=(const Interloper&) = delete;
    void Arm();

private:
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM wp, LPARAM lp);
    std::function<void()> action_;
    HWND hwnd_ = nullptr;
};

}  // namespace yol::wintest
