// The settings page of the main window (IDD_CONFIG_PAGE). Two sections, chosen
// with two owner-drawn buttons: "常规" (three check boxes: autorun, monitoring
// balloons, start balloon) and "进程管理器" (the global hot key that calls up
// the process manager, with its apply link). Every change takes effect and
// is saved at once.
#pragma once

#include "base/Handles.h"
#include "controls/VxLinkStatic.h"
#include "ui/Page.h"

#include <windows.h>

class CConfig;

class CConfigDlg : public ui::CPage {
public:
    enum Section { General, HotKey };

    CConfigDlg();

    // The settings the page shows and changes; its creator hands them over
    // before Create. Without them the page shows the template's state.
    void SetConfig(CConfig* config) { m_config = config; }
    // The window that owns the hot key (HM_HOTKEY_ID; the main window);
    // without one the apply link does nothing.
    void SetMainWindow(HWND mainWindow) { m_mainWindow = mainWindow; }

    // Loads the check boxes and the hot-key control from the settings. The
    // page listens to its settings and refreshes itself after each change
    // (WM_SETTINGS_CHANGED), wherever it was made.
    void Refresh();

    Section CurrentSection() const { return m_section; }

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(int id, int code, HWND control) override;
    BOOL OnPaint() override;
    void OnDestroy() override;
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT kind) override;
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void ShowSection(Section section);
    void OnCheckBox(int id);
    void ApplyHotKey();
    void DrawSectionButton(const DRAWITEMSTRUCT* item);

    CConfig* m_config = nullptr;
    HWND m_mainWindow = nullptr;
    Section m_section = General;
    CVxLinkStatic m_apply;
};
