#include "monitor/HarrowmereDlg.h"

#include "base/Config.h"
#include "base/HotKey.h"
#include "base/Messages.h"
#include "base/PathString.h"
#include "base/Strings.h"
#include "controls/BalloonHelp.h"
#include "controls/TrayIconPosition.h"
#include "driver/common/WatchProtocol.h"
#include "helpview/HelpDlg.h"
#include "log/ActivityLog.h"
#include "monitor/ConfigDlg.h"
#include "monitor/LogDlg.h"
#include "monitor/PromoArea.h"
#include "monitor/StatusDlg.h"
#include "res/resource.h"
#include "rules/ui/RuleDlg.h"
#include "rules/RuleFile.h"
#include "rules/RuleModel.h"
#include "sysview/ui/TaskManagerDlg.h"
#include "ui/MessageLoop.h"
#include "ui/Palette.h"
#include "ui/Window.h"
#include "update/ui/UpdateDlg.h"
#include "watch/Monitoring.h"
#include "watch/ui/AskDlg.h"
#include "watch/WatchMain.h"

#include <commctrl.h>

namespace {

HICON LoadIconSized(UINT id, int size)
{
    return static_cast<HICON>(LoadImageW(ui::ResourceModule(), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
}

} // namespace

CHarrowmereDlg::CHarrowmereDlg(HWND frame, bool background)
    : CVxSkinDlg(IDD_HARROWMERE_DIALOG), m_frame(frame), m_background(background), m_taskbarCreated(RegisterWindowMessageW(L"TaskbarCreated"))
{
}

CHarrowmereDlg::~CHarrowmereDlg()
{
    if (CBalloonHelp::Current() && CBalloonHelp::Instance() && CBalloonHelp::Instance()->Owner() == m_hWnd)
        CBalloonHelp::Close();
    m_tray.Remove();
}

ui::CDialog* CHarrowmereDlg::Page(int page) const
{
    switch (page) {
    case PAGE_STATUS:
        return m_statusPage.get();
    case PAGE_LOG:
        return m_logPage.get();
    case PAGE_SETTINGS:
        return m_configPage.get();
    case PAGE_UPDATE:
        return m_updatePage.get();
    case PAGE_HELP:
        return m_helpPage.get();
    default:
        return nullptr;
    }
}

BOOL CHarrowmereDlg::OnInitDialog()
{
    // The one place where the program's parts meet: the settings and the
    // driver link are taken here and handed to everything that needs them.
    m_config = CConfig::Instance();
    m_link = CWatchMain::Instance();
    m_monitoring = std::make_unique<CMonitoring>(m_config, m_link);
    CBalloonHelp::SetNotifyMessage(WM_BALLOON_OFF);

    HICON smallIcon = ui::SetWindowIcons(m_hWnd, IDI_MAINFRAME);
    SetPropW(m_hWnd, L"XPWndProp_MenuXP", reinterpret_cast<HANDLE>(1));
    SetWindowTextW(m_hWnd, ui::LoadStr(IDS_APP_TITLE).c_str());
    SetCaptionIcon(smallIcon);

    m_minimize.CreateOver(Item(IDC_MAIN_MINIMIZE));
    m_minimize.SetImages(IDB_MINIMIZE_NORMAL, IDB_MINIMIZE_HOVER);
    m_minimize.SetTooltip(ui::LoadStr(IDS_MINIMIZE));
    m_close.CreateOver(Item(IDC_MAIN_CLOSE));
    m_close.SetImages(IDB_CLOSE_NORMAL, IDB_CLOSE_HOVER);
    m_close.SetTooltip(ui::LoadStr(IDS_CLOSE));
    LoadSkin(IDB_SKIN_CAPTION, IDB_SKIN_BORDER, IDB_SKIN_BACKGROUND);
    // The caption buttons sit at the right end of the caption band.
    RECT client;
    GetClientRect(m_hWnd, &client);
    const int button = 18, gap = 3;
    SetWindowPos(m_close.Hwnd(), nullptr, client.right - button - gap, (kCaptionHeight - button) / 2, button, button,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(m_minimize.Hwnd(), nullptr, client.right - 2 * (button + gap), (kCaptionHeight - button) / 2, button,
                 button, SWP_NOZORDER | SWP_NOACTIVATE);

    AddTrayIcon();

    OpenLogFile();
    InitLog();

    if (m_link) {
        m_link->SetMainWindow(m_hWnd);
        m_link->SetConfig(m_config);
        m_link->SetLinkMutex(CreateMutexW(nullptr, FALSE, nullptr));
        m_link->SetPromptFunction(RunAskDialog);
        // The link reports; the user sees these two boxes (no owner: the
        // main window is usually hidden).
        m_link->SetLoadFailureHandler([] { ui::ErrorBox(nullptr, ui::LoadStr(IDS_DRIVER_LOAD_FAILED)); });
        m_link->SetRulesRefusedHandler([] { ui::ErrorBox(nullptr, ui::LoadStr(IDS_RULES_REFUSED)); });
        m_link->LoadRules();
    }

    CreatePages();

    const UINT edges[4] = { IDB_TAB_EDGE_TOP, IDB_TAB_EDGE_BOTTOM, IDB_TAB_EDGE_LEFT, IDB_TAB_EDGE_RIGHT };
    for (int i = 0; i < 4; ++i)
        m_edges[i].Reset(static_cast<HBITMAP>(
            LoadImageW(ui::ResourceModule(), MAKEINTRESOURCEW(edges[i]), IMAGE_BITMAP, 0, 0, 0)));

    SetUpPicture();
    RegisterHotKeyFromSettings();
    ui::AddMessageFilter(m_hWnd, FilterMessage, this);

    SetTimer(m_hWnd, HM_SESSION_TIMER_ID, HM_SESSION_CHECK_MS, nullptr);
    if (m_background)
        ShowStartBalloon();
    return TRUE;
}

BOOL CHarrowmereDlg::OnTimer(UINT_PTR id)
{
    if (id != HM_SESSION_TIMER_ID)
        return m_promo && m_promo->OnTimer(id);
    if (m_link && m_link->IsGuarding())
        m_link->CheckSession();
    if (m_statusPage && m_config && m_statusPage->MonitoringShown() != m_monitoring->On())
        m_statusPage->ShowMonitoring();
    return TRUE;
}

void CHarrowmereDlg::CreatePages()
{
    m_tab.CreateOver(Item(IDC_MAIN_TAB));
    m_tab.SetNotifyMessage(WM_TAB_CHANGED);
    const struct {
        UINT text;
        UINT bitmap;
    } tabs[PAGE_COUNT] = {
        { IDS_TAB_STATUS, IDB_TAB_STATUS },     { IDS_TAB_LOG, IDB_TAB_LOG },
        { IDS_TAB_SETTINGS, IDB_TAB_SETTINGS }, { IDS_TAB_UPDATE, IDB_TAB_UPDATE },
        { IDS_TAB_HELP, IDB_TAB_HELP },
    };
    for (const auto& tab : tabs)
        m_tab.AddTab(ui::LoadStr(tab.text), tab.bitmap);
    m_tab.SetCurSel(PAGE_STATUS);

    m_statusPage.reset(new CStatusDlg());
    m_statusPage->SetConfig(m_config);
    CWatchMain* link = m_link;
    CMonitoring* monitoring = m_monitoring.get();
    m_statusPage->SetMonitoringSwitch(
        [monitoring](bool start, bool byUser) { return static_cast<int>(monitoring->Apply(start, byUser)); });
    m_statusPage->SetMonitoringState([monitoring] { return monitoring->Guarding(); });
    m_statusPage->SetTrayTipSetter([this](int stringId) { SetTrayTip(stringId); });
    m_statusPage->SetRuleEditorFactory([this, link]() -> std::unique_ptr<ui::CDialog> {
        RULE_EDITOR_CONTEXT context;
        context.ruleFile = link ? link->RuleFile() : RuleFilePath(CPathString::ProgramFolder());
        // A save has the driver link take the new file at once.
        context.applyRules = [link] {
            return link && link->ReloadRules() == CWatchMain::UPLOAD_REFUSED ? RULES_REFUSED : RULES_APPLIED;
        };
        // The editor starts from a copy of the rules the link read from the
        // same file, unless the file was rewritten since.
        context.currentRules = [link, file = context.ruleFile](GroupList* groups) -> RuleSet* {
            if (!link)
                return nullptr;
            const FILE_STAMP stamp = link->RulesStamp();
            std::shared_ptr<RuleSet> rules = link->Rules();
            const GroupList held = link->Groups();
            // A reload between the three calls: the file is read instead.
            if (link->RulesStamp() != stamp)
                return nullptr;
            return CopyRulesIfCurrent(rules.get(), held, stamp, file, groups);
        };
        auto editor = std::make_unique<CRuleDlg>(std::move(context));
        m_ruleEditor = editor.get();
        return editor;
    });
    m_statusPage->SetProcessManagerFactory(
        []() -> std::unique_ptr<ui::CDialog> { return std::make_unique<CTaskManagerDlg>(); });
    m_logPage.reset(new CLogDlg());
    m_configPage.reset(new CConfigDlg());
    m_configPage->SetConfig(m_config);
    m_configPage->SetMainWindow(m_hWnd);
    m_helpPage.reset(new CHelpDlg());
    m_updatePage.reset(new CUpdateDlg(m_config));

    // Each page 2 pixels right of the tab strip and 4 below its top, hidden.
    // The status page's creation applies "Hook": it starts the driver link.
    RECT strip = ui::ChildRect(m_hWnd, m_tab.Hwnd());
    for (int page = 0; page < PAGE_COUNT; ++page) {
        ui::CDialog* dialog = Page(page);
        if (!dialog || !dialog->Create(m_hWnd))
            continue;
        SetWindowPos(dialog->Hwnd(), nullptr, strip.right + 2, strip.top + 4, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
    }
    m_current = m_statusPage.get();
}

ui::CDialog* CHarrowmereDlg::OpenRuleEditor(const RULE_CONTENT* focus)
{
    if (!m_statusPage)
        return nullptr;
    ui::CDialog* shown = m_statusPage->ShowRuleEditor();
    // The status page hands back the window its factory made last.
    if (shown && shown == m_ruleEditor && focus)
        m_ruleEditor->FocusRule(*focus);
    return shown;
}

void CHarrowmereDlg::SetUpPicture()
{
    // The banner shows the default text until the feed gives it items.
    SetDlgItemTextW(m_hWnd, IDC_MAIN_BANNER, ui::LoadStr(IDS_BANNER_DEFAULT).c_str());
    m_promo.reset(new CPromoArea(m_config));
    m_promo->Create(m_hWnd, Item(IDC_MAIN_PICTURE), Item(IDC_MAIN_BANNER));
}

void CHarrowmereDlg::AddTrayIcon()
{
    if (!m_trayIcon.Get())
        m_trayIcon.Reset(LoadIconSized(IDI_TRAY, GetSystemMetrics(SM_CXSMICON)));
    m_tray.Add(m_hWnd, HM_TRAY_ICON_ID, WM_TRAY_NOTIFY, m_trayIcon.Get(), std::wstring());
    m_trayLocator.SetIcon(m_hWnd, HM_TRAY_ICON_ID, m_trayIcon.Get());
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
    CConfig* config = m_config;
    if (!config)
        return false;
    return RegisterGuardHotKey(m_hWnd, config->HotKey & 0xFFFF, config->SystemKey & 0xFF);
}

bool CHarrowmereDlg::LocateTrayIcon(POINT* point)
{
    return m_trayLocator.GetTrayIconPosition(point) == 1;
}

void CHarrowmereDlg::ShowStartBalloon()
{
    CConfig* config = m_config;
    POINT at;
    if (!config || config->ShowRunInfo == 0 || !LocateTrayIcon(&at))
        return;
    CBalloonHelp::Show(m_hWnd, BALLOON_START, ui::LoadStr(IDS_START_BALLOON_TITLE), ui::LoadStr(IDS_START_BALLOON_TEXT),
                       ui::LoadStr(IDS_START_BALLOON_OFF), at);
}

void CHarrowmereDlg::ShowInfoBalloon(int32_t sequence)
{
    CConfig* config = m_config;
    if (!config || config->ShowInfo == 0)
        return;
    LOG_RECORD* record = LockLogRecord(sequence);
    if (record) {
        uint32_t kind = record->params ? record->params->kind : OPERATION_KIND_COUNT;
        std::wstring text =
            ui::FormatStr(L"%ls 的操作已被%ls\n", record->processName,
                          ui::LoadStr(record->verdict != WATCH_VERDICT_ACCEPT ? IDS_VERDICT_REJECT : IDS_VERDICT_ACCEPT).c_str()) +
            L"操作:" + OperationDisplayName(kind) + L"\n" + L"描述:" + record->ruleText + L"\n";
        POINT at;
        if (LocateTrayIcon(&at))
            CBalloonHelp::Show(m_hWnd, BALLOON_INFO, ui::LoadStr(IDS_INFO_BALLOON_TITLE), text, ui::LoadStr(IDS_INFO_BALLOON_OFF),
                               at);
    }
    UnlockLogRecord(sequence);
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
        RestoreAndShow(PAGE_STATUS);
    else if (mouseMessage == WM_RBUTTONUP)
        ShowTrayMenu();
}

void CHarrowmereDlg::ShowTrayMenu()
{
    HMENU menu = LoadMenuW(ui::ResourceModule(), MAKEINTRESOURCEW(IDR_TRAY_MENU));
    if (!menu)
        return;
    HMENU popup = GetSubMenu(menu, 0);
    CConfig* config = m_config;
    auto check = [popup](UINT id, bool on) { CheckMenuItem(popup, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED)); };
    if (config) {
        check(ID_TRAY_MONITORING, m_monitoring->Wanted());
        check(ID_TRAY_SHOW_INFO, config->ShowInfo == 1);
        check(ID_TRAY_AUTO_UPDATE, config->AutoUpdate == 1);
        check(ID_TRAY_AUTORUN, config->AutorunOn());
    }
    POINT pt;
    GetCursorPos(&pt);
    if (const UINT command = ui::TrackMenu(popup, pt, m_hWnd))
        PostMessageW(m_hWnd, WM_COMMAND, command, 0);
    DestroyMenu(menu);
}

BOOL CHarrowmereDlg::OnCommand(int id, int code, HWND control)
{
    switch (id) {
    case ID_TRAY_OPEN:
        RestoreAndShow(PAGE_STATUS);
        return TRUE;
    case ID_TRAY_LOG:
        RestoreAndShow(PAGE_LOG);
        return TRUE;
    case ID_TRAY_EXIT:
        ExitProgram();
        return TRUE;
    // The pages follow each change through WM_SETTINGS_CHANGED.
    case ID_TRAY_MONITORING:
        if (m_config)
            m_config->Toggle(Setting::Hook);
        return TRUE;
    case ID_TRAY_SHOW_INFO:
        if (m_config)
            m_config->Toggle(Setting::ShowInfo);
        return TRUE;
    case ID_TRAY_AUTO_UPDATE:
        if (m_config)
            m_config->Toggle(Setting::AutoUpdate);
        // The tray's switch also checks at once; the status page's does not.
        if (m_updatePage)
            m_updatePage->AutoUpdateCheck();
        return TRUE;
    case ID_TRAY_AUTORUN:
        if (m_config)
            m_config->SetAutorun(!m_config->AutorunOn());
        return TRUE;
    case ID_TRAY_PROCESS_MANAGER:
        if (m_statusPage)
            m_statusPage->ShowProcessManager();
        return TRUE;
    case ID_TRAY_RULE_EDITOR:
        OpenRuleEditor(nullptr);
        return TRUE;
    case IDC_MAIN_MINIMIZE:
        PostMessageW(m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        return TRUE;
    case IDC_MAIN_CLOSE:
        PostMessageW(m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        return TRUE;
    case IDC_MAIN_PICTURE:
        if (m_promo)
            m_promo->OnCommand(id, code);
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
    KillTimer(m_hWnd, HM_SESSION_TIMER_ID);
    ui::RemoveMessageFilter(m_hWnd);
    UnregisterGuardHotKey(m_hWnd);
    // The pages that hold state close first (the update page ends its
    // worker); the help page goes with the window.
    for (ui::CDialog* page : { static_cast<ui::CDialog*>(m_statusPage.get()), static_cast<ui::CDialog*>(m_logPage.get()),
                               static_cast<ui::CDialog*>(m_configPage.get()),
                               static_cast<ui::CDialog*>(m_updatePage.get()) })
        if (page && page->IsWindow())
            SendMessageW(page->Hwnd(), WM_CLOSE, 0, 0);
    m_current = nullptr;
    m_statusPage.reset();
    m_logPage.reset();
    m_configPage.reset();
    m_updatePage.reset();
    // The feed thread ends before the settings it reads go.
    m_promo.reset();

    if (m_link)
        m_link->Shutdown();
    CloseLog();
    CloseLogFile();

    if (m_config)
        m_config->Save();
    m_monitoring.reset();
    m_config = nullptr;
    m_link = nullptr;
    CConfig::DeleteInstance();
    CWatchMain::DeleteInstance();
    if (m_frame)
        PostMessageW(m_frame, WM_CLOSE, 0, 0);
}

void CHarrowmereDlg::OnTabChanged(int page)
{
    if (m_current && m_current->IsWindow())
        ShowWindow(m_current->Hwnd(), SW_HIDE);
    m_current = Page(page);
    if (!m_current || !m_current->IsWindow()) {
        m_current = nullptr;
        return;
    }
    if (page == PAGE_SETTINGS)
        m_configPage->Refresh();
    else if (page == PAGE_HELP)
        m_helpPage->Navigate();
    ShowWindow(m_current->Hwnd(), SW_SHOW);
    InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CHarrowmereDlg::OnShowPage(int page)
{
    if (page >= 0 && page < m_tab.GetCount())
        m_tab.SetCurSel(page);
    PostMessageW(m_hWnd, WM_TAB_CHANGED, static_cast<WPARAM>(page), 0);
}

void CHarrowmereDlg::OnBalloonOff(int kind)
{
    // "Don't show again" switches the balloon off, whatever was stored: a
    // stored 2 shows the balloon as well, and toggling it would give 1.
    if (!m_config)
        return;
    if (kind == BALLOON_START)
        m_config->Set(Setting::ShowRunInfo, 0);
    else if (kind == BALLOON_INFO)
        m_config->Set(Setting::ShowInfo, 0);
}

bool CHarrowmereDlg::FilterMessage(void* context, const MSG& msg)
{
    // F1 released anywhere in the window shows the help page.
    auto* self = static_cast<CHarrowmereDlg*>(context);
    if (msg.message == WM_KEYUP && msg.wParam == VK_F1 &&
        (msg.hwnd == self->m_hWnd || IsChild(self->m_hWnd, msg.hwnd)))
        PostMessageW(self->m_hWnd, WM_SHOW_PAGE, PAGE_HELP, 0);
    return false;
}

BOOL CHarrowmereDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (msg == m_taskbarCreated && m_taskbarCreated) {
        AddTrayIcon();
        return TRUE;
    }
    switch (msg) {
    case WM_TRAY_NOTIFY:
        OnTrayNotify(static_cast<UINT>(wParam), static_cast<UINT>(lParam));
        return TRUE;
    case WM_TAB_CHANGED:
        OnTabChanged(static_cast<int>(wParam));
        return TRUE;
    case WM_SHOW_PAGE:
        OnShowPage(static_cast<int>(wParam));
        return TRUE;
    case WM_WATCH_LOG:
        if (wParam == WATCH_LOG_ROW && m_logPage)
            m_logPage->AddLogRow(static_cast<int32_t>(lParam));
        else if (wParam == WATCH_LOG_BALLOON)
            ShowInfoBalloon(static_cast<int32_t>(lParam));
        return TRUE;
    case WM_WATCH_COUNT:
        if (m_statusPage)
            m_statusPage->RefreshBlockCount();
        return TRUE;
    case WM_BALLOON_OFF:
        OnBalloonOff(static_cast<int>(wParam));
        return TRUE;
    case WM_FEED_READY:
    case WM_BANNER_CLICK:
        if (m_promo)
            m_promo->OnMessage(msg, wParam, lParam);
        return TRUE;
    case WM_WATCH_EDIT_RULE: {
        // The identity names a rule of the driver link's set; the editor has
        // its own copy, where the rule is found by its content. A stale
        // identity opens the editor as it is.
        RULE_CONTENT content;
        const bool found = m_link && m_link->ResolveRuleContent(static_cast<uint32_t>(wParam), &content);
        OpenRuleEditor(found ? &content : nullptr);
        return TRUE;
    }
    case WM_WATCH_RULES_WRITTEN:
        // The status page owns the editor; m_ruleEditor is the one its
        // factory made last, which is the open one when it is there at all.
        if (m_statusPage && m_ruleEditor && m_statusPage->RuleEditor() == m_ruleEditor && m_ruleEditor->Hwnd())
            m_ruleEditor->RuleFileChanged();
        return TRUE;
    case WM_HOTKEY:
        if (wParam == HM_HOTKEY_ID && m_statusPage)
            m_statusPage->ShowProcessManager();
        return TRUE;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            // The close box only hides the window; the guard keeps running.
            ShowWindow(m_hWnd, SW_HIDE);
            if (!m_background)
                ShowStartBalloon();
            return TRUE;
        }
        return FALSE;
    }
    return CVxSkinDlg::OnMessage(msg, wParam, lParam, result);
}

void CHarrowmereDlg::PaintExtra(HDC dc)
{
    if (m_tab.IsWindow()) {
        // The edge pictures framing the tab strip.
        RECT strip = ui::ChildRect(m_hWnd, m_tab.Hwnd());
        const int e = 4;
        TileBitmap(dc, m_edges[0].Get(), RECT{ strip.left - e, strip.top - e, strip.right + e, strip.top });
        TileBitmap(dc, m_edges[1].Get(), RECT{ strip.left - e, strip.bottom, strip.right + e, strip.bottom + e });
        TileBitmap(dc, m_edges[2].Get(), RECT{ strip.left - e, strip.top, strip.left, strip.bottom });
        TileBitmap(dc, m_edges[3].Get(), RECT{ strip.right, strip.top, strip.right + e, strip.bottom });
    }
    if (m_statusPage && m_statusPage->IsWindow()) {
        RECT page = ui::ChildRect(m_hWnd, m_statusPage->Hwnd());
        ui::CPen pen(CreatePen(PS_SOLID, 1, ui::palette::kLightLine));
        HGDIOBJ old = SelectObject(dc, pen.Get());
        MoveToEx(dc, page.left, page.bottom, nullptr);
        LineTo(dc, page.right, page.bottom);
        SelectObject(dc, old);
    }
    if (HWND picture = Item(IDC_MAIN_PICTURE)) {
        RECT r = ui::ChildRect(m_hWnd, picture);
        InflateRect(&r, 1, 1);
        ui::CBrush frame(CreateSolidBrush(ui::palette::kFrame));
        FrameRect(dc, &r, frame.Get());
    }
}
