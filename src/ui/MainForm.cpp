#include "ui/MainForm.h"

#include <exception>
#include <string>

#include "host/ModuleState.h"
#include "logdb/AdoLogQuery.h"
#include "win/Gdi.h"
#include "win/TextConv.h"
#include "win/WindowText.h"
#include "logdb/Recalc.h"
#include "scoring/Report.h"
#include "ui/Dpi.h"
#include "ui/ErrorText.h"
#include "ui/RegistryStore.h"
#include "ui/ReportUpdate.h"
#include "ui/res/resource.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace yol {
namespace {

HINSTANCE ModuleInstance() noexcept { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

// The design, in pixels at 96 dots per inch.
constexpr int kPanelHeight = 23;
constexpr int kButtonWidth = 130, kButtonHeight = 22, kButtonTop = 1;
constexpr int kButtonRightGap = 362 - 233;  // designed: left 233 in a 362-wide panel
constexpr const wchar_t* kRecalcCaption = L"Recalc Statistic";
constexpr int kPictureSize = 16, kPictureGap = 4;
constexpr int kFontHeight = 11;
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

// The pitch and family guide the font mapper where the face is missing: the
// report's columns stay fixed-pitch on any system.
HFONT MakeFont(const wchar_t* face, int height, BYTE charset, BYTE pitchAndFamily) {
    return CreateFontW(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, charset,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, pitchAndFamily, face);
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

bool TfmMainForm::OnCreate() {
    // BitBtn1 first: it comes first in the tab order.
    button_ = CreateWindowExW(
        0, L"Button", kRecalcCaption, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0, 0,
        kButtonWidth, kButtonHeight, hwnd_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kRecalcButtonId)), ModuleInstance(), nullptr);
    statistic_ = CreateWindowExW(
        WS_EX_CLIENTEDGE, L"Edit", L"",
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_AUTOHSCROLL | ES_AUTOVSCROLL |
            ES_WANTRETURN,
        0, 0, 0, 0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatisticEditId)),
        ModuleInstance(), nullptr);
    if (button_ == nullptr || statistic_ == nullptr) return false;
    SendMessageW(statistic_, EM_SETLIMITTEXT, 0, 0);
    // The designed place stays; the size grows with the density.
    ApplyDpi(WindowDpi(hwnd_));
    if (dpi_ != kDesignDpi) {
        SetWindowPos(hwnd_, nullptr, 0, 0, Scaled(kWidth), Scaled(kHeight),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return windowFont_ && statisticFont_;
}

int TfmMainForm::Scaled(int designed) const noexcept { return ScaleToDpi(designed, dpi_); }

void TfmMainForm::ApplyDpi(int dpi) {
    dpi_ = dpi;
    windowFont_.reset(MakeFont(L"MS Sans Serif", Scaled(kFontHeight), DEFAULT_CHARSET,
                               VARIABLE_PITCH | FF_SWISS));
    statisticFont_.reset(MakeFont(L"Courier New", Scaled(kFontHeight), RUSSIAN_CHARSET,
                                  FIXED_PITCH | FF_MODERN));
    picture_.reset(dpi == kDesignDpi ? nullptr : StretchedBitmap(calculator_.get(), Scaled(kPictureSize)));
    const BOOL redraw = IsWindowVisible(hwnd_);
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_.get()), redraw);
    SendMessageW(button_, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_.get()), redraw);
    SendMessageW(statistic_, WM_SETFONT, reinterpret_cast<WPARAM>(statisticFont_.get()), redraw);
    Layout();
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

void TfmMainForm::Layout() {
    RECT client{};
    GetClientRect(hwnd_, &client);
    const int width = client.right - client.left;
    const int panelTop = client.bottom - Scaled(kPanelHeight);
    MoveWindow(button_, width - Scaled(kButtonRightGap), panelTop + Scaled(kButtonTop),
               Scaled(kButtonWidth), Scaled(kButtonHeight), TRUE);
    MoveWindow(statistic_, 0, 0, width, panelTop > 0 ? panelTop : 0, TRUE);
}

void TfmMainForm::DrawButton(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));

    SelectIn font(dc, windowFont_.get());
    SIZE text{};
    GetTextExtentPoint32W(dc, kRecalcCaption, lstrlenW(kRecalcCaption), &text);
    const int picture = Scaled(kPictureSize);
    const int gap = Scaled(kPictureGap);
    const int shift = pressed ? 1 : 0;
    int x = r.left + ((r.right - r.left) - (picture + gap + text.cx)) / 2 + shift;
    const int midY = r.top + (r.bottom - r.top) / 2 + shift;
    if (HBITMAP bitmap = picture_ ? picture_.get() : calculator_.get()) {
        DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(bitmap), 0, x, midY - picture / 2,
                   picture, picture, DST_BITMAP | (disabled ? DSS_DISABLED : DSS_NORMAL));
    }
    x += picture + gap;
    SetBkMode(dc, TRANSPARENT);
    if (disabled) {
        DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(kRecalcCaption), 0, x,
                   midY - text.cy / 2, text.cx, text.cy, DST_TEXT | DSS_DISABLED);
    } else {
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        TextOutW(dc, x, midY - text.cy / 2, kRecalcCaption, lstrlenW(kRecalcCaption));
    }
    if ((item.itemState & ODS_FOCUS) != 0) {
        RECT focus = r;
        InflateRect(&focus, -4, -4);
        DrawFocusRect(dc, &focus);
    }
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

void TfmMainForm::WriteReport() {
    if (statistic_ == nullptr) return;
    const std::wstring next = WideFromAnsi(BuildReport(book_.Tallies()));
    const std::wstring current = WindowText(statistic_);
    const auto changes = ChangedLines<wchar_t>(current, next);
    if (!changes) {
        SetWindowTextW(statistic_, next.c_str());
        return;
    }
    if (changes->empty()) return;
    // Replace the changed lines from the last to the first, so that the
    // places of the ones before stay put; then stand at the top, as after a
    // whole rewrite.
    for (auto it = changes->rbegin(); it != changes->rend(); ++it) {
        const std::wstring line = next.substr(it->newStart, it->newLength);
        SendMessageW(statistic_, EM_SETSEL, it->oldStart, it->oldStart + it->oldLength);
        SendMessageW(statistic_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    }
    SendMessageW(statistic_, EM_SETSEL, 0, 0);
    SendMessageW(statistic_, EM_SCROLLCARET, 0, 0);
}

void TfmMainForm::ClearReport() {
    if (statistic_ != nullptr) SetWindowTextW(statistic_, L"");
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
