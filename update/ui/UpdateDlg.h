// The update page of the main window (template 172): the files of the last
// update run with their states, a status line, a block progress bar and one
// button that starts a run or cancels the running one. The run itself works
// on its own thread (CUpdateRun); the page redraws from its view when the
// worker posts WM_UPDATE_CHANGED. Ten minutes after creation (timer 300) the
// page may start an automatic run (AutoUpdateCheck).
#pragma once

#include "controls/ListView.h"
#include "controls/VxColorStatic.h"
#include "controls/VxProgress.h"
#include "controls/VxSkinButton.h"
#include "base/Handles.h"
#include "ui/Page.h"
#include "update/UpdateRun.h"

#include <windows.h>

#include <vector>

class CConfig;

class CUpdateDlg : public ui::CPage {
public:
    // The settings name the program folder, the update address and
    // "AutoUpdate", and where "LastUpdateTime" is kept; they must outlive the
    // page.
    explicit CUpdateDlg(CConfig* config);
    ~CUpdateDlg() override;

    // Set before Create: the delay of the automatic check (10 minutes) and
    // the limits of each transfer (tests shorten them).
    void SetAutoCheckDelay(UINT ms) { m_autoCheckMs = ms; }
    void SetTransferLimits(long connectTimeoutMs, long stallSeconds) { m_run.SetTransferLimits(connectTimeoutMs, stallSeconds); }

    // The button: starts a run when idle, cancels the running one otherwise.
    void ToggleUpdate();
    // The automatic schedule: with "AutoUpdate" on and no run active, starts
    // a run when the last automatic start is five days old or more (storing
    // the new time first).
    void AutoUpdateCheck();
    // Cancels a run and waits for its worker (about a second at most).
    void Shutdown();

    // A run is shown as active (started and not yet ended or cancelled).
    bool IsRunning() const { return m_active; }
    // The worker thread is alive (also a cancelled one that is ending).
    bool WorkerAlive() const { return m_run.IsAlive(); }

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(int id, int code, HWND control) override;
    BOOL OnTimer(UINT_PTR id) override;
    BOOL OnPaint() override;
    BOOL OnClose() override;
    void OnDestroy() override;
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void ShowView();
    void ShowRows(const std::vector<UPDATE_ROW>& rows);
    void ShowStatus(const UPDATE_VIEW& view);
    void SetProgress(int blocks);
    void SetButton(UINT stringId);
    void ClearRows();

    CConfig* m_config;
    CUpdateRun m_run;
    UINT m_autoCheckMs = 600000;
    bool m_active = false;     // a run shows its progress
    bool m_cancelling = false; // a cancelled worker is still ending
    std::vector<UpdateRowState> m_shownStates;

    CListView m_rows;
    CVxColorStatic m_status;
    CVxProgress m_progress;
    CVxSkinButton m_button;
};
