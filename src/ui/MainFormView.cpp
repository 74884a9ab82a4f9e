// The statistics window's controls and painting: the button and the text
// area made, sized and given fonts for the window's pixel density, the
// button drawn, the report written. Its lifetime and messages are in
// MainForm.cpp.
#include <string>

#include "scoring/Report.h"
#include "ui/Dpi.h"
#include "ui/MainForm.h"
#include "ui/ModuleInstance.h"
#include "ui/ReportUpdate.h"
#include "win/Gdi.h"
#include "win/TextConv.h"
#include "win/WindowText.h"

namespace yol {
namespace {

// The design, in pixels at 96 dots per inch.
constexpr int kPanelHeight = 23;
constexpr int kButtonWidth = 130, kButtonHeight = 22, kButtonTop = 1;
constexpr int kButtonRightGap = 362 - 233;  // designed: left 233 in a 362-wide panel
constexpr const wchar_t* kRecalcCaption = L"Recalc Statistic";
constexpr int kPictureSize = 16, kPictureGap = 4;
constexpr int kFontHeight = 11;

// The pitch and family guide the font mapper where the face is missing: the
// report's columns stay fixed-pitch on any system.
HFONT MakeFont(const wchar_t* face, int height, BYTE charset, BYTE pitchAndFamily) {
    return CreateFontW(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, charset,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, pitchAndFamily, face);
}

}  // namespace

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

}  // namespace yol
