// The host simulator's pieces shared by its session (yolhost.cpp) and its
// bench (Bench.cpp): the command line, the module and what the host fills in
// for every call, the message pump and the window's controls.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "contestlog/Contact.h"
#include "host/DoMain.h"
#include "win/SystemError.h"
#include "win/TextConv.h"

struct sqlite3;

namespace yol::host {

// One logged contact, texts in UTF-8.
using LogContact = contestlog::Contact;

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

// The command line (HostOptions.cpp). A bad one prints the usage and exits
// with status 2; --help prints it and exits with 0.
Options ParseOptions();

// ---- time and messages ------------------------------------------------------

// A monotonic clock in milliseconds.
double NowMs();
// Delivers the messages waiting for the thread.
void Pump();

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

// ---- the window -----------------------------------------------------------------

// The report in the window's text area, lines ending in LF.
std::string ReportText(HWND window);

// Presses "Recalc Statistic" as a click does: BN_CLICKED to the button's
// parent, which runs the whole recalculation before returning. False when
// the window has no such button.
bool ClickRecalc(HWND window);

// Lets the window go and waits for its destruction to be delivered.
void ReleaseAndUnload(Module& module, HWND window);

// ---- the log ----------------------------------------------------------------------

// Appends the contacts to the log table in one transaction.
void AppendToLog(sqlite3* db, const std::string& table, const std::vector<LogContact>& contacts);

// Creates the log table with its call-sign index when missing; with `empty`,
// removes its rows.
void PrepareLogTable(sqlite3* db, const std::string& table, bool empty);

// ---- the two runs -----------------------------------------------------------------

// Logs the contacts live and shows the window (yolhost.cpp).
int RunSession(const Options& o, IDispatch* connection, sqlite3* db);
// Times a plain walk of the log, the recalculation and _AddQSO (Bench.cpp).
int RunBench(const Options& o, IDispatch* connection, sqlite3* db);

}  // namespace yol::host
