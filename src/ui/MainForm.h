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
#include "ui/WinHandles.h"

namespace yol {

// Module-wide state kept by the entry points.
ContactRecord& CurrentContact() noexcept;
// Called by a window that goes away on its own (a close message): from then
// on the entry points see no window.
class TfmMainForm;
void ForgetWindow(const TfmMainForm* window) noexcept;

// Control ids inside the window.
inline constexpr int kRecalcButtonId = 100;
inline constexpr int kStatisticEditId = 101;
// Posted to the window to destroy it once the events pending before it are
// delivered.
inline constexpr UINT kReleaseMessage = WM_APP + 0x59;

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
    // Asks for destruction after the pending events; returns at once.
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
    TfmMainForm();

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

    // Window events; each reports its own failures.
    void DoShow();
    void FormShow();
    void RecalcStatisticExecute();
    void RunRecalcCommand();
    void OnSysCommand(WPARAM command, LPARAM lp);
    bool CloseRequest(bool shutdownQuery);
    void OnDestroy();
    void OnNcDestroy() noexcept;
    void Layout();
    void DrawButton(const DRAWITEMSTRUCT& item);
    void ClearReport();
    void ReportFailure(std::string_view message);

    // Work that may deliver pending events runs inside a busy scope; a
    // destruction asked for meanwhile waits until the outermost scope ends.
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
    UniqueBitmap calculator_;

    TScoreBook book_;
    std::unique_ptr<LogQuery> logQuery_;
    std::unique_ptr<SettingsStore> settings_;
    std::unique_ptr<TFormStorage> formStorage_;

    bool recalcEnabled_ = true;  // the RecalcStatistic command
    bool shown_ = false;
    bool closing_ = false;
    int busy_ = 0;
    bool destroyPending_ = false;
};

}  // namespace yol
