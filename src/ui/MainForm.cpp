#include "ui/MainForm.h"

#include <exception>
#include <string>

#include "host/ModuleState.h"
#include "logdb/AdoLogQuery.h"
#include "win/Gdi.h"
#include "win/TextConv.h"
#include "logdb/Recalc.h"
#include "ui/Dpi.h"
#include "ui/ErrorText.h"
#include "ui/ModuleInstance.h"
#include "ui/RegistryStore.h"
#include "ui/res/resource.h"

namespace yol {
namespace {

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

// Messages delivered by one pass of the event pump at most; a message that
// keeps posting itself cannot hold a recalculation forever.
constexpr int kMaxPumpedMessages = 100000;

void RegisterWindowClass(WNDPROC windowProc) {
    static bool registered = false;
    if (registered) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = ModuleInstance();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = TfmMainForm::kClassName;
    if (RegisterClassExW(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw std::runtime_error("Cannot register the statistics window class");
    registered = true;
}

// The module stays loaded for the rest of the process once it has made a
// window: a host that unloads it right after _Release would otherwise leave
// the window's pending messages pointing at unmapped code.
void PinModule() noexcept {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&ModuleInstance), &self);
}

std::string FailureText(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unexpected failure";
    }
}

}  // namespace

// ---- lifetime --------------------------------------------------------------

class TfmMainForm::BusyScope {
public:
    explicit BusyScope(TfmMainForm* self) noexcept : self_(self) { ++self_->busy_; }
    ~BusyScope() { LeaveBusy(self_); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    TfmMainForm* self_;
};

void TfmMainForm::LeaveBusy(TfmMainForm* self) noexcept {
    if (--self->busy_ > 0) return;
    if (self->life_ == Life::Gone) {
        delete self;  // the window went while we were busy: the object goes now
    } else if (self->destroyDeferred_) {
        self->destroyDeferred_ = false;
        PostMessageW(self->hwnd_, kReleaseMessage, 0, 0);
    }
}

TfmMainForm::TfmMainForm() = default;
TfmMainForm::~TfmMainForm() = default;

TfmMainForm* TfmMainForm::Create(const ContactRecord& hostRecord) {
    RegisterWindowClass(&WindowProc);
    PinModule();
    std::unique_ptr<TfmMainForm> form(new TfmMainForm());

    // The parts that can fail come before the window handle exists.
    form->settings_ = std::make_unique<RegistrySettingsStore>();
    form->formStorage_ = std::make_unique<TFormStorage>(
        *form->settings_, static_cast<PlacementWindow&>(*form),
        HostKeyFromExecutable(HostExecutablePath()));
    ContactRecord& current = CurrentContact();
    current = hostRecord;
    std::string caption(ReadShortText(current.TitleText));
    caption += " in ";
    caption += kCaption;
    const std::wstring wideCaption = WideFromAnsi(caption);
    form->logQuery_ = std::make_unique<AdoLogQuery>(current.ConnectionRef);
    form->calculator_.reset(static_cast<HBITMAP>(
        LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(IDB_CALCULATOR), IMAGE_BITMAP, 0, 0,
                   LR_LOADMAP3DCOLORS)));

    // Topmost from the moment the handle exists; no owner. The form rides
    // on the creation parameters, so the creation messages reach it.
    // Its sizes follow the density of the monitor it stands on.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX |
                        WS_CLIPCHILDREN;
    PerMonitorAwareScope aware;
    HWND hwnd = CreateWindowExW(WS_EX_TOPMOST, kClassName, wideCaption.c_str(), style, kLeft, kTop,
                                kWidth, kHeight, nullptr, nullptr, ModuleInstance(), form.get());
    if (hwnd == nullptr) throw std::runtime_error("Cannot create the statistics window");
    // From here the window owns the form: it goes with the window.
    TfmMainForm* self = form.release();
    self->life_ = Life::Hidden;
    return self;
}

void TfmMainForm::LeaveModule() noexcept { ForgetWindow(this); }

void TfmMainForm::Release() noexcept {
    LeaveModule();
    if (hwnd_ != nullptr) PostMessageW(hwnd_, kReleaseMessage, 0, 0);
}

void TfmMainForm::OnDestroy() {
    LeaveModule();
    ShowWindow(hwnd_, SW_HIDE);
    // A window that failed while being made has nothing to keep.
    if (life_ == Life::Creating || formStorage_->Saved()) return;
    try {
        formStorage_->SaveAtDestroy();
    } catch (...) {
        ReportFailure(FailureText(std::current_exception()));
    }
}

void TfmMainForm::OnNcDestroy() noexcept {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    hwnd_ = button_ = statistic_ = nullptr;
    // The object itself goes when the outermost handler returns (LeaveBusy);
    // one that failed while being made goes with its creator.
    if (life_ != Life::Creating) life_ = Life::Gone;
}

// ---- messages --------------------------------------------------------------

LRESULT CALLBACK TfmMainForm::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* form = static_cast<TfmMainForm*>(reinterpret_cast<const CREATESTRUCTW*>(lp)->lpCreateParams);
        form->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* self = reinterpret_cast<TfmMainForm*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(hwnd, msg, wp, lp);
    BusyScope busy(self);
    try {
        return self->HandleMessage(msg, wp, lp);
    } catch (...) {
        // Nothing may cross into the window system, and from there into the host.
        return 0;
    }
}

LRESULT TfmMainForm::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_CREATE:
            return OnCreate() ? 0 : -1;
        case WM_SIZE:
            Layout();
            break;
        case WM_DPICHANGED: {
            // Moved to a monitor of another density: the system suggests the
            // new place and size.
            ApplyDpi(HIWORD(wp));
            const RECT* r = reinterpret_cast<const RECT*>(lp);
            SetWindowPos(hwnd_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_COMMAND:
            if (LOWORD(wp) == kRecalcButtonId && HIWORD(wp) == BN_CLICKED) {
                RecalcStatistic();
                return 0;
            }
            break;
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
            if (item->CtlID == static_cast<UINT>(kRecalcButtonId)) {
                DrawButton(*item);
                return TRUE;
            }
            break;
        }
        case WM_SYSCOMMAND:
            if ((wp & 0xFFF0) == SC_CLOSE) {
                OnCloseCommand();
                return 0;
            }
            break;
        case WM_CLOSE:
            CloseRequest(false);
            return 0;
        case WM_QUERYENDSESSION:
            return CloseRequest(true) ? TRUE : FALSE;
        case kReleaseMessage:
            if (busy_ > 1) {
                destroyDeferred_ = true;  // a handler below us is still running
            } else {
                DestroyWindow(hwnd_);
            }
            return 0;
        case WM_DESTROY:
            OnDestroy();
            return 0;
        case WM_NCDESTROY: {
            HWND hwnd = hwnd_;
            OnNcDestroy();
            return DefWindowProcW(hwnd, msg, wp, lp);
        }
        default:
            break;
    }
    return hwnd_ != nullptr ? DefWindowProcW(hwnd_, msg, wp, lp) : 0;
}

// ---- showing and the recalculation command ----------------------------------

void TfmMainForm::Show() {
    BusyScope busy(this);
    if (life_ == Life::Hidden) {
        life_ = Life::Shown;
        FirstShow();
    }
    if (hwnd_ == nullptr) return;
    // A shown window, minimised or not, only comes to the top.
    SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    BringWindowToTop(hwnd_);
}

void TfmMainForm::FirstShow() {
    try {
        formStorage_->RestorePlacement();
    } catch (...) {
        ReportFailure(FailureText(std::current_exception()));
    }
    if (!Alive()) return;
    FormShow();
    if (Alive() && !IsWindowVisible(hwnd_)) ShowWindow(hwnd_, SW_SHOW);
}

// Showing executes the command, as the button does.
void TfmMainForm::FormShow() { RecalcStatistic(); }

void TfmMainForm::RecalcStatistic() {
    try {
        RecalcStatisticExecute();
    } catch (...) {
        ReportFailure(FailureText(std::current_exception()));
    }
}

void TfmMainForm::RecalcStatisticExecute() {
    if (!recalcStatisticEnabled_) return;
    DeliverPendingEvents();
    // A close delivered just now ends the window: nothing left to rebuild.
    if (!Alive() || !recalcStatisticEnabled_) return;

    recalcStatisticEnabled_ = false;
    EnableWindow(button_, FALSE);
    std::exception_ptr failure;
    try {
        RecalcFromLog(*logQuery_, *this, CurrentContact(), book_, [this] { ClearReport(); });
        WriteReport();
    } catch (...) {
        failure = std::current_exception();
    }
    recalcStatisticEnabled_ = true;
    if (hwnd_ != nullptr) EnableWindow(button_, TRUE);
    if (failure) std::rethrow_exception(failure);
}

void TfmMainForm::DeliverPendingEvents() {
    MSG msg;
    for (int n = 0; n < kMaxPumpedMessages && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // leave it for the host's loop
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void TfmMainForm::ReportFailure(std::string_view message) {
    const std::wstring text = WideFromAnsi(ErrorReportText(message));
    std::wstring caption = WideFromAnsi(ErrorReportCaption(HostExecutablePath()));
    if (caption.size() > 1) CharLowerBuffW(caption.data() + 1, static_cast<DWORD>(caption.size() - 1));
    // Owned by the window while it stands, so the box is not hidden behind it.
    HWND owner = (hwnd_ != nullptr && IsWindowVisible(hwnd_)) ? hwnd_ : nullptr;
    MessageBoxW(owner, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
}

// ---- closing -----------------------------------------------------------------

void TfmMainForm::OnCloseCommand() {
    // The operator cannot close the window: the close command minimises it.
    if (!IsWindowVisible(hwnd_)) Show();
    if (Alive()) ShowWindow(hwnd_, SW_MINIMIZE);
}

bool TfmMainForm::CloseRequest(bool shutdownQuery) {
    // FormCloseQuery: the close is always allowed.
    if (logQuery_) logQuery_->Close();
    try {
        formStorage_->SavePlacement();
    } catch (...) {
        ReportFailure(FailureText(std::current_exception()));
    }
    if (shutdownQuery || !Alive()) return true;
    // FormClose: the window goes once the pending events are delivered.
    life_ = Life::Closing;
    Release();
    ShowWindow(hwnd_, SW_HIDE);
    return true;
}

// ---- PlacementWindow ---------------------------------------------------------

PlacementRecord TfmMainForm::GetPlacement() {
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    GetWindowPlacement(hwnd_, &wp);
    PlacementRecord p;
    p.flags = wp.flags;
    p.showCmd = wp.showCmd;
    p.minX = wp.ptMinPosition.x;
    p.minY = wp.ptMinPosition.y;
    p.maxX = wp.ptMaxPosition.x;
    p.maxY = wp.ptMaxPosition.y;
    p.left = wp.rcNormalPosition.left;
    p.top = wp.rcNormalPosition.top;
    p.right = wp.rcNormalPosition.right;
    p.bottom = wp.rcNormalPosition.bottom;
    return p;
}

void TfmMainForm::SetPlacement(const PlacementRecord& p) {
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    wp.flags = p.flags;
    wp.showCmd = p.showCmd;
    wp.ptMinPosition = {p.minX, p.minY};
    wp.ptMaxPosition = {p.maxX, p.maxY};
    wp.rcNormalPosition = {p.left, p.top, p.right, p.bottom};
    SetWindowPlacement(hwnd_, &wp);
}

bool TfmMainForm::IsVisible() { return IsWindowVisible(hwnd_) != FALSE; }

int TfmMainForm::Width() {
    RECT r{};
    GetWindowRect(hwnd_, &r);
    return r.right - r.left;
}

int TfmMainForm::Height() {
    RECT r{};
    GetWindowRect(hwnd_, &r);
    return r.bottom - r.top;
}

void TfmMainForm::SetState(WindowState state) {
    if (state == WindowState::Maximized) {
        // Maximised comes up at once, so the first recalculation runs in view.
        ShowWindow(hwnd_, IsWindowVisible(hwnd_) ? SW_MAXIMIZE : SW_SHOWMAXIMIZED);
    } else if (IsWindowVisible(hwnd_)) {
        ShowWindow(hwnd_, SW_SHOWNORMAL);
    }
}

int TfmMainForm::ScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }
int TfmMainForm::ScreenHeight() { return GetSystemMetrics(SM_CYSCREEN); }

int TfmMainForm::PixelsPerInch() {
    WindowDC screen(nullptr);
    return GetDeviceCaps(screen.get(), LOGPIXELSY);
}

int TfmMainForm::SizeableFrameWidth() { return GetSystemMetrics(SM_CXFRAME); }
int TfmMainForm::SizeableFrameHeight() { return GetSystemMetrics(SM_CYFRAME); }

}  // namespace yol
