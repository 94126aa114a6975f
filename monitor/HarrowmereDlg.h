// The main window: a modeless skinned dialog (IDD_HARROWMERE_DIALOG) with the tab
// strip on the left and the pages on the right. It owns the tray icon, its
// menu and balloons, and the global hot key, and receives the messages
// through which the request thread and the pages talk to it. Usually hidden;
// the tray icon is the user's way in.
#pragma once

#include "base/Handles.h"
#include "controls/TrayIconPosition.h"
#include "controls/VxSkinButton.h"
#include "controls/VxSkinDlg.h"
#include "controls/VxTab.h"
#include "monitor/MainPages.h"
#include "monitor/TrayIcon.h"

#include <cstdint>
#include <memory>
#include <string>

class CConfig;
class CWatchMain;
class CRuleDlg;
class CStatusDlg;
struct RULE_CONTENT;
class CLogDlg;
class CConfigDlg;
class CHelpDlg;
class CUpdateDlg;
class CPromoArea;
class CMonitoring;


// The two balloons of the main window; the kind travels back with
// WM_BALLOON_OFF when the user switches a balloon off.
enum BalloonKind { BALLOON_START = 1, BALLOON_INFO = 2 };

// HM_SESSION_TIMER_ID: the main window asks every HM_SESSION_CHECK_MS
// whether the driver link still holds the driver's session, so that the
// status page and the tray tip follow a session that went away.

class CHarrowmereDlg : public CVxSkinDlg {
public:
    // `frame` is the hidden frame, asked to close when this window is
    // destroyed; `background`: the program was started hidden.
    explicit CHarrowmereDlg(HWND frame, bool background = false);
    ~CHarrowmereDlg() override;

    // Tray tip: IDS_APP_TITLE, a blank, and string `stringId` (nothing for -1).
    void SetTrayTip(int stringId);
    const CTrayIcon& Tray() const { return m_tray; }

    // Registers the hot key (HM_HOTKEY_ID) from the settings "HotKey" and
    // "SystemKey"; false when the system refuses the combination.
    bool RegisterHotKeyFromSettings();

    // The balloon that says the guard runs (kind 1), when "ShowRunInfo" is on.
    void ShowStartBalloon();
    // The monitoring balloon (kind 2) for log record `sequence`, when
    // "ShowInfo" is on and the record is still kept.
    void ShowInfoBalloon(int32_t sequence);

    // The page window of a page number, or null.
    ui::CDialog* Page(int page) const;
    // The page now shown, or null.
    ui::CDialog* CurrentPage() const { return m_current; }
    CStatusDlg* StatusPage() const { return m_statusPage.get(); }
    CLogDlg* LogPage() const { return m_logPage.get(); }
    CConfigDlg* ConfigPage() const { return m_configPage.get(); }
    CHelpDlg* HelpPage() const { return m_helpPage.get(); }
    CUpdateDlg* UpdatePage() const { return m_updatePage.get(); }
    // The picture and the banner with the promotion feed.
    CPromoArea* Promo() const { return m_promo.get(); }
    const CVxTab& Tabs() const { return m_tab; }

    // Shows the rule editor (the status page holds it) and, given the
    // content of a rule, focuses the first rule of that content. The editor
    // window, or null.
    ui::CDialog* OpenRuleEditor(const RULE_CONTENT* focus);

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(int id, int code, HWND control) override;
    BOOL OnClose() override;
    BOOL OnTimer(UINT_PTR id) override;
    void OnDestroy() override;
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void PaintExtra(HDC dc) override;

private:
    void AddTrayIcon();
    void CreatePages();
    void SetUpPicture();
    void OnTrayNotify(UINT iconId, UINT mouseMessage);
    void ShowTrayMenu();
    void RestoreAndShow(int page);
    void OnTabChanged(int page);
    void OnShowPage(int page);
    void OnBalloonOff(int kind);
    void ExitProgram();
    // Where the tray icon is on the screen; false when it cannot be found.
    bool LocateTrayIcon(POINT* point);
    static bool FilterMessage(void* self, const MSG& msg);

    HWND m_frame;
    bool m_background;
    CConfig* m_config = nullptr; // the settings singleton, from initialisation to destruction
    CWatchMain* m_link = nullptr; // the driver link singleton, likewise
    std::unique_ptr<CMonitoring> m_monitoring; // "monitoring on": the setting and the link
    CRuleDlg* m_ruleEditor = nullptr; // the editor the factory made last (the status page owns it)
    CTrayIcon m_tray;
    ui::CIcon m_trayIcon;
    // One locator for all balloons: it remembers where the icon was found,
    // and that a search failed, until its rescan interval has passed.
    CTrayIconPosition m_trayLocator;
    UINT m_taskbarCreated;
    CVxTab m_tab;
    CVxSkinButton m_minimize;
    CVxSkinButton m_close;
    std::unique_ptr<CStatusDlg> m_statusPage;
    std::unique_ptr<CLogDlg> m_logPage;
    std::unique_ptr<CConfigDlg> m_configPage;
    std::unique_ptr<CHelpDlg> m_helpPage;
    std::unique_ptr<CUpdateDlg> m_updatePage;
    std::unique_ptr<CPromoArea> m_promo;
    ui::CDialog* m_current = nullptr;
    ui::CBitmap m_edges[4]; // tab strip edges: top, bottom, left, right
};
