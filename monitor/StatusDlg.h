// The status page of the main window (IDD_STATUS_PAGE): whether monitoring and
// automatic update are on, with a switch for each, the number of operations
// decided so far, the date of the rule file, and links to the tool windows
// and the other pages. It also owns the two tool windows it opens (the rule
// editor and the process manager).
#pragma once

#include "base/Handles.h"
#include "controls/TipLinkStatic.h"
#include "controls/VxColorStatic.h"
#include "controls/VxInfoTip.h"
#include "controls/VxLinkStatic.h"
#include "ui/Page.h"
#include "ui/OwnedToolWindow.h"

#include <windows.h>

#include <functional>

class CConfig;

class CStatusDlg : public ui::CPage {
public:
    // Starts (true) or stops (false) the driver link, `byUser` when the user
    // switched; the result as the driver link's Start and Stop report it.
    using MonitoringSwitch = std::function<int(bool start, bool byUser)>;
    // Whether the driver link actually guards (its session runs).
    using MonitoringState = std::function<bool()>;
    // Sets the tray tip to the product caption and string `stringId`.
    using TrayTipSetter = std::function<void(int stringId)>;

    CStatusDlg();
    ~CStatusDlg() override;

    // The page's creator hands these over before Create: the settings it
    // shows and switches, what starts and stops monitoring, and what sets the
    // tray tip. Without settings the page shows the template's texts; without
    // a switch or tip setter nothing is started or set.
    void SetConfig(CConfig* config) { m_config = config; }
    void SetMonitoringSwitch(MonitoringSwitch fn) { m_switch = std::move(fn); }
    // Without it, monitoring counts as running whenever "Hook" is 1.
    void SetMonitoringState(MonitoringState fn) { m_state = std::move(fn); }
    void SetTrayTipSetter(TrayTipSetter fn) { m_trayTip = std::move(fn); }
    // Factories of the two tool windows; without one the link does nothing.
    void SetRuleEditorFactory(COwnedToolWindow::Factory f) { m_ruleEditor.SetFactory(std::move(f)); }
    void SetProcessManagerFactory(COwnedToolWindow::Factory f) { m_processManager.SetFactory(std::move(f)); }

    // Applies "Hook": starts (1) or stops (otherwise) the driver link, then
    // shows what came of it (ShowMonitoring). `byUser`: the user switched.
    // The page listens to its settings: a change of "Hook" anywhere applies
    // it as the user's, one of "AutoUpdate" refreshes its texts.
    void RefreshMonitoring(bool byUser = false);
    // State texts, icon and tray tip (IDS_MONITORING_ON or IDS_MONITORING_OFF): on only while
    // "Hook" is 1 and the link guards, so a session that was refused or is
    // gone shows as off.
    void ShowMonitoring();
    // Whether the page shows monitoring as on.
    bool MonitoringShown() const { return m_monitoringShown; }
    // Applies "AutoUpdate": state texts and icon.
    void RefreshAutoUpdate();
    // The block counter text from "BlockCount".
    void RefreshBlockCount();
    // The date of "Harrowmere.erd" in the program folder; without the file
    // the label keeps its text.
    void RefreshRuleDate();

    // Shows the tool window (see COwnedToolWindow::Show); null when it has no
    // factory or cannot be created.
    ui::CDialog* ShowRuleEditor() { return m_ruleEditor.Show(); }
    ui::CDialog* ShowProcessManager() { return m_processManager.Show(); }
    ui::CDialog* RuleEditor() const { return m_ruleEditor.Get(); }
    ui::CDialog* ProcessManager() const { return m_processManager.Get(); }

    CVxInfoTip& InfoTip() { return m_tip; }

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(int id, int code, HWND control) override;
    BOOL OnPaint() override;
    void OnDestroy() override;
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void SetStateIcon(int controlId, bool on);
    void PostShowPage(int page);
    void Paint(HDC dc);

    CConfig* m_config = nullptr;
    MonitoringSwitch m_switch;
    MonitoringState m_state;
    TrayTipSetter m_trayTip;
    bool m_monitoringShown = false;

    CTipLinkStatic m_helpLink;
    CVxLinkStatic m_monitorSwitch;
    CVxLinkStatic m_updateSwitch;
    CVxLinkStatic m_processManagerLink;
    CVxLinkStatic m_ruleEditorLink;
    CVxLinkStatic m_settingsLink;
    CVxLinkStatic m_updateNowLink;
    CVxColorStatic m_labels[6];
    CVxInfoTip m_tip;

    ui::CBitmap m_stateOn;
    ui::CBitmap m_stateOff;

    COwnedToolWindow m_ruleEditor;
    COwnedToolWindow m_processManager;
};
