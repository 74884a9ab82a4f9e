// The statistics window: owns the score book and the log query, shows the
// report, recalculates from the host's log on its first show and on its
// button, and minimises instead of closing.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "host/Plugin.h"
#include "logdb/LogQuery.h"
#include "scoring/ScoreBook.h"
#include "ui/FormStorage.h"
#include "win/Gdi.h"

namespace yol {

// Control ids inside the window.
inline constexpr int kRecalcButtonId = 100;
inline constexpr int kStatisticEditId = 101;
// Posted to the window to destroy it once the events pending before it are
// delivered.
inline constexpr UINT kReleaseMessage = WM_APP + 0x59;

// How the window goes (the close protocol):
// - The close command (SC_CLOSE: the close button, the system menu, Alt+F4)
//   never closes: it shows a hidden window and minimises it.
// - A close request (WM_CLOSE, e.g. from the host): the log query closes,
//   the placement is saved, then the window leaves the module, hides and
//   asks for its destruction. A shutdown query (WM_QUERYENDSESSION) only
//   closes the query and saves.
// - Release (_Release): the window leaves the module and asks for its
//   destruction.
// - Destruction is asked for by posting kReleaseMessage, so the events
//   pending before it are delivered first. If it arrives while a handler
//   below it is still running (events delivered during a recalculation),
//   it waits: the outermost handler posts it again when it returns.
// - At WM_DESTROY the window hides and saves its placement unless saved
//   since it was restored; after WM_NCDESTROY the object is deleted when
//   the outermost handler returns.
class TfmMainForm final : private PlacementWindow, private EventPump {
public:
    // Builds the window, hidden: copies the host's record into the current
    // contact, sets the caption from its TitleText and binds the log query
    // to its connection. Throws on failure.
    static TfmMainForm* Create(const ContactRecord& hostRecord);

    HWND Handle() const noexcept { return hwnd_; }
    TScoreBook& ScoreBook() noexcept { return book_; }

    // Shows the window and brings it to the front. A hidden window restores
    // its placement and recalculates first; a shown one is only raised.
    void Show();
    // Leaves the module and asks for destruction after the pending events;
    // returns at once.
    void Release() noexcept;
    // Rebuilds the report text in the text area.
    void WriteReport();

    // The design's place and outer size.
    static constexpr int kLeft = 975, kTop = 191, kWidth = 374, kHeight = 196;
    static constexpr const wchar_t* kClassName = L"TfmMainForm";
    static constexpr std::string_view kCaption = "YOL DX Contest";

    // The window deletes its form when it is destroyed; nobody else does.
    ~TfmMainForm() override;

private:
    enum class Life {
        Creating,  // inside CreateWindowEx; the creator owns the object
        Hidden,    // made, not shown yet
        Shown,     // shown once; normal, minimised or maximised
        Closing,   // a close request was granted: hidden, destruction asked for
        Gone,      // destroyed: the object goes when the outermost handler returns
    };

    TfmMainForm();

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
    bool OnCreate();

    // Window events; each reports its own failures.
    void FirstShow();
    void FormShow();
    // The RecalcStatistic command: runs RecalcStatisticExecute when enabled
    // and reports its failure.
    void RecalcStatistic();
    void RecalcStatisticExecute();
    void OnCloseCommand();
    bool CloseRequest(bool shutdownQuery);
    void OnDestroy();
    void OnNcDestroy() noexcept;
    bool Alive() const noexcept { return life_ == Life::Hidden || life_ == Life::Shown; }
    // The window stops being the one the entry points talk to.
    void LeaveModule() noexcept;
    // Fonts, picture and layout for a pixel density.
    void ApplyDpi(int dpi);
    int Scaled(int designed) const noexcept;
    void Layout();
    void DrawButton(const DRAWITEMSTRUCT& item);
    void ClearReport();
    void ReportFailure(std::string_view message);

    // Every handler runs inside a busy scope; a destruction asked for
    // meanwhile waits until the outermost scope ends.
    class BusyScope;
    static void LeaveBusy(TfmMainForm* self) noexcept;

    // EventPump
    void DeliverPendingEvents() override;

    // PlacementWindow
    PlacementRecord GetPlacement() override;
    void SetPlacement(const PlacementRecord& placement) override;
    bool IsVisible() override;
    bool HasSizeableBorder() override { return true; }
    int Width() override;
    int Height() override;
    void SetState(WindowState state) override;
    int ScreenWidth() override;
    int ScreenHeight() override;
    int PixelsPerInch() override;
    int SizeableFrameWidth() override;
    int SizeableFrameHeight() override;

    HWND hwnd_ = nullptr;
    HWND button_ = nullptr;      // BitBtn1, bound to RecalcStatistic
    HWND statistic_ = nullptr;   // myStatisticM
    UniqueFont windowFont_;
    UniqueFont statisticFont_;
    UniqueBitmap calculator_;    // BitBtn1's picture as designed, 16 x 16
    UniqueBitmap picture_;       // the picture at the window's density, when not the design's
    int dpi_ = 96;

    TScoreBook book_;
    std::unique_ptr<LogQuery> logQuery_;
    std::unique_ptr<SettingsStore> settings_;
    std::unique_ptr<TFormStorage> formStorage_;

    bool recalcStatisticEnabled_ = true;
    Life life_ = Life::Creating;
    int busy_ = 0;                 // handlers running, outermost first
    bool destroyDeferred_ = false;  // kReleaseMessage came while busy_ > 1
};

}  // namespace yol
