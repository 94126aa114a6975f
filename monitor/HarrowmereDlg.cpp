#include "monitor/HarrowmereDlg.h"

#include "app/Config.h"
#include "app/HarrowmereApp.h"
#include "app/Messages.h"
#include "monitor/ActivityLog.h"
#include "res/resource.h"
#include "ui/Strings.h"
#include "watch/WatchMain.h"

namespace {

HICON LoadIconSized(UINT id, int size)
{
    return static_cast<HICON>(LoadImageW(ui::ResourceModule(), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
}

UINT HotKeyModifiers(DWORD systemKey)
{
    UINT modifiers = 0;
    if (systemKey & 4)
        modifiers |= MOD_ALT;
    if (systemKey & 2)
        modifiers |= MOD_CONTROL;
    if (systemKey & 1)
        modifiers |= MOD_SHIFT;
    return modifiers;
}

// Switches a 0/1 setting and saves the whole record.
void ToggleSetting(uint32_t CConfig::*field)
{
    CConfig* config = CConfig::Instance();
    if (!config)
        return;
    config->*field = !(config->*field);
    config->Save();
}

} // namespace

CHarrowmereDlg::CHarrowmereDlg(HWND frame)
    : CDialog(IDD_HARROWMERE_DIALOG), m_frame(frame), m_taskbarCreated(RegisterWindowMessageW(L"TaskbarCreated"))
{
}

CHarrowmereDlg::~CHarrowmereDlg()
{
    m_tray.Remove();
}

BOOL CHarrowmereDlg::OnInitDialog()
{
    m_bigIcon.Reset(LoadIconSized(IDI_MAINFRAME, GetSystemMetrics(SM_CXICON)));
    m_smallIcon.Reset(LoadIconSized(IDI_MAINFRAME, GetSystemMetrics(SM_CXSMICON)));
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_bigIcon.Get()));
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon.Get()));
    SetPropW(m_hWnd, L"XPWndProp_MenuXP", reinterpret_cast<HANDLE>(1));
    SetWindowTextW(m_hWnd, ui::LoadStr(IDS_APP_TITLE).c_str());

    AddTrayIcon();

    OpenLogFile();
    InitLog();

    if (CWatchMain* link = CWatchMain::Instance()) {
        link->SetMainWindow(m_hWnd);
        link->SetLinkMutex(CreateMutexW(nullptr, FALSE, nullptr));
        link->LoadRules();
    }
    ApplyMonitoring();

    RegisterHotKeyFromSettings();
    return TRUE;
}

void CHarrowmereDlg::AddTrayIcon()
{
    if (!m_trayIcon.Get())
        m_trayIcon.Reset(LoadIconSized(IDI_TRAY, GetSystemMetrics(SM_CXSMICON)));
    m_tray.Add(m_hWnd, HM_TRAY_ICON_ID, WM_TRAY_NOTIFY, m_trayIcon.Get(), std::wstring());
    SetTrayTip(-1);
}

void CHarrowmereDlg::SetTrayTip(int stringId)
{
    std::wstring tip = ui::LoadStr(IDS_APP_TITLE) + L" ";
    if (stringId != -1)
        tip += ui::LoadStr(static_cast<UINT>(stringId));
    m_tray.SetTip(tip);
}

bool CHarrowmereDlg::RegisterHotKeyFromSettings()
{
    CConfig* config = CConfig::Instance();
    if (!config)
        return false;
    UnregisterHotKey(m_hWnd, HM_HOTKEY_ID);
    return RegisterHotKey(m_hWnd, HM_HOTKEY_ID, HotKeyModifiers(config->SystemKey & 0xFF),
                          config->HotKey & 0xFFFF) != FALSE;
}

void CHarrowmereDlg::ApplyMonitoring()
{
    CConfig* config = CConfig::Instance();
    CWatchMain* link = CWatchMain::Instance();
    if (!config || !link)
        return;
    if (config->Hook == 1)
        link->Start();
    else
        link->Stop();
    SetTrayTip(config->Hook == 1 ? IDS_MONITORING_ON : IDS_MONITORING_OFF);
}

void CHarrowmereDlg::RestoreAndShow(int page)
{
    ShowWindow(m_hWnd, SW_RESTORE);
    ShowWindow(m_hWnd, SW_SHOW);
    SetForegroundWindow(m_hWnd);
    PostMessageW(m_hWnd, WM_SHOW_PAGE, static_cast<WPARAM>(page), 0);
}

void CHarrowmereDlg::ExitProgram()
{
    ShowWindow(m_hWnd, SW_HIDE);
    End(IDCANCEL);
}

void CHarrowmereDlg::OnTrayNotify(UINT iconId, UINT mouseMessage)
{
    if (iconId != HM_TRAY_ICON_ID)
        return;
    if (mouseMessage == WM_LBUTTONDBLCLK)
        RestoreAndShow(0);
    else if (mouseMessage == WM_RBUTTONUP)
        ShowTrayMenu();
}

void CHarrowmereDlg::ShowTrayMenu()
{
    HMENU menu = LoadMenuW(ui::ResourceModule(), MAKEINTRESOURCEW(IDR_TRAY_MENU));
    if (!menu)
        return;
    HMENU popup = GetSubMenu(menu, 0);
    CConfig* config = CConfig::Instance();
    auto check = [popup](UINT id, bool on) { CheckMenuItem(popup, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED)); };
    if (config) {
        check(ID_TRAY_MONITORING, config->Hook == 1);
        check(ID_TRAY_SHOW_INFO, config->ShowInfo == 1);
        check(ID_TRAY_AUTO_UPDATE, config->AutoUpdate == 1);
        check(ID_TRAY_AUTORUN, config->IsAutorun() == 0);
    }
    POINT pt;
    GetCursorPos(&pt);
    SetForegroundWindow(m_hWnd);
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, pt.x, pt.y, 0, m_hWnd, nullptr);
    PostMessageW(m_hWnd, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

BOOL CHarrowmereDlg::OnCommand(int id, int code, HWND control)
{
    switch (id) {
    case ID_TRAY_OPEN:
        RestoreAndShow(0);
        return TRUE;
    case ID_TRAY_LOG:
        RestoreAndShow(1);
        return TRUE;
    case ID_TRAY_EXIT:
        ExitProgram();
        return TRUE;
    case ID_TRAY_MONITORING:
        ToggleSetting(&CConfig::Hook);
        ApplyMonitoring();
        return TRUE;
    case ID_TRAY_SHOW_INFO:
        ToggleSetting(&CConfig::ShowInfo);
        return TRUE;
    case ID_TRAY_AUTO_UPDATE:
        ToggleSetting(&CConfig::AutoUpdate);
        return TRUE;
    case ID_TRAY_AUTORUN:
        if (CConfig* config = CConfig::Instance())
            config->SetAutorun(config->IsAutorun() != 0);
        return TRUE;
    case IDOK:
    case IDCANCEL:
        // Enter and Escape in a modeless main window do not end the program.
        return TRUE;
    }
    return FALSE;
}

BOOL CHarrowmereDlg::OnClose()
{
    End(IDCANCEL);
    return TRUE;
}

void CHarrowmereDlg::OnDestroy()
{
    UnregisterHotKey(m_hWnd, HM_HOTKEY_ID);
    if (CWatchMain* link = CWatchMain::PeekInstance())
        link->Shutdown();
    CloseLog();
    CloseLogFile();
    if (CConfig* config = CConfig::PeekInstance())
        config->Save();
    CConfig::DeleteInstance();
    CWatchMain::DeleteInstance();
    if (m_frame)
        PostMessageW(m_frame, WM_CLOSE, 0, 0);
}

BOOL CHarrowmereDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (msg == m_taskbarCreated && m_taskbarCreated) {
        AddTrayIcon();
        return TRUE;
    }
    switch (msg) {
    case WM_WATCH_LOG:
    case WM_WATCH_COUNT:
    case WM_WATCH_EDIT_RULE:
        // The log page, the balloons, the counter and the rule editor take
        // these; until they exist the messages have no receiver.
        return TRUE;
    case WM_TRAY_NOTIFY:
        OnTrayNotify(static_cast<UINT>(wParam), static_cast<UINT>(lParam));
        return TRUE;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            // The close box only hides the window; the guard keeps running.
            ShowWindow(m_hWnd, SW_HIDE);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}
