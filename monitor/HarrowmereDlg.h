// The main window: a modeless dialog (template 102) that owns the tray icon,
// its menu and the global hot key. Usually hidden; the tray icon is the
// user's way in.
#pragma once

#include "monitor/TrayIcon.h"
#include "ui/Dialog.h"
#include "ui/Handles.h"

#include <string>

class CHarrowmereDlg : public ui::CDialog {
public:
    // `frame` is the hidden frame, asked to close when this window is destroyed.
    explicit CHarrowmereDlg(HWND frame);
    ~CHarrowmereDlg() override;

    // Tray tip: string 138, a blank, and string `stringId` (nothing for -1).
    void SetTrayTip(int stringId);
    const CTrayIcon& Tray() const { return m_tray; }

    // Registers hot key 1001 from the settings "HotKey" and "SystemKey";
    // false when the system refuses the combination.
    bool RegisterHotKeyFromSettings();

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(int id, int code, HWND control) override;
    BOOL OnClose() override;
    void OnDestroy() override;
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void AddTrayIcon();
    void OnTrayNotify(UINT iconId, UINT mouseMessage);
    void ShowTrayMenu();
    // Starts or stops the driver link as the setting "Hook" says.
    void ApplyMonitoring();
    void RestoreAndShow(int page);
    void ExitProgram();

    HWND m_frame;
    CTrayIcon m_tray;
    ui::CIcon m_bigIcon;
    ui::CIcon m_smallIcon;
    ui::CIcon m_trayIcon;
    UINT m_taskbarCreated;
};
