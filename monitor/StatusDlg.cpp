#include "monitor/StatusDlg.h"

#include "base/Config.h"
#include "base/Messages.h"
#include "base/Strings.h"
#include "monitor/MainPages.h"
#include "res/resource.h"
#include "ui/Palette.h"
#include "watch/WatchMain.h"

// --- CStatusDlg -------------------------------------------------------------------

CStatusDlg::CStatusDlg() : CPage(IDD_STATUS_PAGE) {}

CStatusDlg::~CStatusDlg()
{
    // The tool windows go before the page's own window.
    m_ruleEditor.Close();
    m_processManager.Close();
}

BOOL CStatusDlg::OnInitDialog()
{
    m_helpLink.CreateOver(Item(IDC_STATUS_HELP_LINK));
    m_monitorSwitch.CreateOver(Item(IDC_STATUS_MONITOR_SWITCH));
    m_updateSwitch.CreateOver(Item(IDC_STATUS_UPDATE_SWITCH));
    m_processManagerLink.CreateOver(Item(IDC_STATUS_PROCESS_MANAGER));
    m_ruleEditorLink.CreateOver(Item(IDC_STATUS_RULE_EDITOR));
    m_settingsLink.CreateOver(Item(IDC_STATUS_SETTINGS));
    m_updateNowLink.CreateOver(Item(IDC_STATUS_UPDATE_NOW));
    const int labelIds[] = { IDC_STATUS_MONITOR_LABEL, IDC_STATUS_UPDATE_LABEL, IDC_STATUS_BLOCK_COUNT,
                             IDC_STATUS_VERSION,       IDC_STATUS_RULE_DATE,    IDC_STATUS_NOTICE };
    for (size_t i = 0; i < sizeof(labelIds) / sizeof(labelIds[0]); ++i)
        m_labels[i].CreateOver(Item(labelIds[i]));

    m_stateOn.Reset(static_cast<HBITMAP>(
        LoadImageW(ui::ResourceModule(), MAKEINTRESOURCEW(IDB_STATE_ON), IMAGE_BITMAP, 0, 0, 0)));
    m_stateOff.Reset(static_cast<HBITMAP>(
        LoadImageW(ui::ResourceModule(), MAKEINTRESOURCEW(IDB_STATE_OFF), IMAGE_BITMAP, 0, 0, 0)));

    RefreshMonitoring();
    RefreshAutoUpdate();

    for (CVxLinkStatic* link : { &m_processManagerLink, &m_ruleEditorLink, &m_settingsLink, &m_updateNowLink })
        link->SetLinkColour(ui::palette::kNavyText);
    m_helpLink.SetBackColour(ui::palette::kTipGround);

    if (m_tip.Create(m_hWnd)) {
        m_tip.SetFont(reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0)));
        m_tip.AddTool(m_helpLink.Hwnd(), ui::LoadStr(IDS_STATUS_HELP_TIP));
        m_helpLink.SetTip(&m_tip);
    }

    RefreshBlockCount();
    RefreshRuleDate();
    if (m_config)
        m_config->AddListener(m_hWnd);
    return TRUE;
}

BOOL CStatusDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM, LRESULT&)
{
    if (msg != WM_SETTINGS_CHANGED)
        return FALSE;
    switch (static_cast<Setting>(wParam)) {
    case Setting::Hook:
        RefreshMonitoring(true);
        break;
    case Setting::AutoUpdate:
        RefreshAutoUpdate();
        break;
    default:
        break;
    }
    return TRUE;
}

void CStatusDlg::SetStateIcon(int controlId, bool on)
{
    HBITMAP image = on ? m_stateOn.Get() : m_stateOff.Get();
    if (!image)
        return;
    HBITMAP old = reinterpret_cast<HBITMAP>(
        SendDlgItemMessageW(m_hWnd, controlId, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(image)));
    // The template's own image was loaded by the control, which never frees
    // a replaced image.
    if (old && old != m_stateOn.Get() && old != m_stateOff.Get())
        DeleteObject(old);
}

void CStatusDlg::RefreshMonitoring(bool byUser)
{
    CConfig* config = m_config;
    if (!config)
        return;
    if (m_switch)
        m_switch(config->MonitoringWanted(), byUser);
    ShowMonitoring();
}

void CStatusDlg::ShowMonitoring()
{
    CConfig* config = m_config;
    if (!config)
        return;
    const bool on = config->MonitoringWanted() && (!m_state || m_state());
    m_monitoringShown = on;
    const int labelId = on ? IDS_MONITORING_ON : IDS_MONITORING_OFF;
    SetDlgItemTextW(m_hWnd, IDC_STATUS_MONITOR_LABEL, ui::LoadStr(labelId).c_str());
    SetDlgItemTextW(m_hWnd, IDC_STATUS_MONITOR_SWITCH,
                    ui::LoadStr(on ? IDS_TURN_MONITORING_OFF : IDS_TURN_MONITORING_ON).c_str());
    SetStateIcon(IDC_STATUS_MONITOR_ICON, on);
    if (m_trayTip)
        m_trayTip(labelId);
}

void CStatusDlg::RefreshAutoUpdate()
{
    CConfig* config = m_config;
    if (!config)
        return;
    const bool on = config->AutoUpdate == 1;
    SetDlgItemTextW(m_hWnd, IDC_STATUS_UPDATE_LABEL, ui::LoadStr(on ? IDS_AUTO_UPDATE_ON : IDS_AUTO_UPDATE_OFF).c_str());
    SetDlgItemTextW(m_hWnd, IDC_STATUS_UPDATE_SWITCH,
                    ui::LoadStr(on ? IDS_TURN_AUTO_UPDATE_OFF : IDS_TURN_AUTO_UPDATE_ON).c_str());
    SetStateIcon(IDC_STATUS_UPDATE_ICON, on);
}

void CStatusDlg::RefreshBlockCount()
{
    CConfig* config = m_config;
    if (!config)
        return;
    const std::wstring format = ui::LoadStr(IDS_STATUS_BLOCK_COUNT);
    SetDlgItemTextW(m_hWnd, IDC_STATUS_BLOCK_COUNT,
                    ui::FormatStr(format.c_str(), static_cast<int>(config->BlockCount)).c_str());
}

void CStatusDlg::RefreshRuleDate()
{
    CConfig* config = m_config;
    if (!config)
        return;
    const std::wstring path = RuleFilePath(config->ProgramFolder());
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return;
    SYSTEMTIME utc = {}, local = {};
    if (!FileTimeToSystemTime(&data.ftLastWriteTime, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        local = SYSTEMTIME{}; // shown as 0年0月0日
    const std::wstring format = ui::LoadStr(IDS_STATUS_RULE_DATE);
    SetDlgItemTextW(m_hWnd, IDC_STATUS_RULE_DATE,
                    ui::FormatStr(format.c_str(), local.wYear, local.wMonth, local.wDay).c_str());
}

void CStatusDlg::PostShowPage(int page)
{
    if (HWND parent = GetParent(m_hWnd))
        PostMessageW(parent, WM_SHOW_PAGE, static_cast<WPARAM>(page), 0);
}

BOOL CStatusDlg::OnCommand(int id, int code, HWND control)
{
    CConfig* config = m_config;
    // The switches invert what the page shows: any value but 1 shows as off
    // and so becomes 1.
    switch (id) {
    case IDC_STATUS_MONITOR_SWITCH:
        // The switch does what its text says: "turn on" while monitoring
        // shows as off, also when "Hook" is 1 but the link did not start or
        // lost its session (then it starts the link again).
        // The page applies it when it is told (WM_SETTINGS_CHANGED).
        if (config)
            config->Set(Setting::Hook, m_monitoringShown ? 0 : 1);
        return TRUE;
    case IDC_STATUS_UPDATE_SWITCH:
        // Only the setting changes; no update check runs from here.
        if (config)
            config->Toggle(Setting::AutoUpdate);
        return TRUE;
    case IDC_STATUS_HELP_LINK:
        m_tip.Hide();
        PostShowPage(PAGE_HELP);
        return TRUE;
    case IDC_STATUS_SETTINGS:
        PostShowPage(PAGE_SETTINGS);
        return TRUE;
    case IDC_STATUS_UPDATE_NOW:
        PostShowPage(PAGE_UPDATE);
        return TRUE;
    case IDC_STATUS_RULE_EDITOR:
        ShowRuleEditor();
        return TRUE;
    case IDC_STATUS_PROCESS_MANAGER:
        ShowProcessManager();
        return TRUE;
    }
    return CPage::OnCommand(id, code, control);
}

void CStatusDlg::OnDestroy()
{
    if (m_config)
        m_config->RemoveListener(m_hWnd);
    m_tip.Hide();
    m_tip.Destroy();
    m_ruleEditor.Close();
    m_processManager.Close();
}

BOOL CStatusDlg::OnPaint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    Paint(dc);
    EndPaint(m_hWnd, &ps);
    return TRUE;
}

void CStatusDlg::Paint(HDC dc)
{
    // The drawing is laid out in pixels of the template font at 96 dpi (base
    // units 6 x 12). Another font or resolution moves the controls, so the
    // positions scale with the page's base units and the lines keep falling
    // between the rows.
    RECT units = { 0, 0, 4, 8 };
    MapDialogRect(m_hWnd, &units);
    auto x = [&units](int px) { return MulDiv(px, units.right, 6); };
    auto y = [&units](int px) { return MulDiv(px, units.bottom, 12); };

    RECT client;
    GetClientRect(m_hWnd, &client);
    FillRect(dc, &client, GroundBrush());

    ui::CBrush band(CreateSolidBrush(ui::palette::kBand));
    RECT bandRect = { client.left, y(2), client.right, y(32) };
    FillRect(dc, &bandRect, band.Get());

    // The help band: 24 pixels high, in the middle of the band.
    ui::CBrush helpBack(CreateSolidBrush(ui::palette::kTipGround));
    ui::CBrush frameBrush(CreateSolidBrush(ui::palette::kFrame));
    RECT frame = { x(2), y(5), client.right - x(2), y(29) };
    FillRect(dc, &frame, helpBack.Get());
    FrameRect(dc, &frame, frameBrush.Get());

    ui::CPen pen(CreatePen(PS_SOLID, 1, ui::palette::kLightLine));
    HGDIOBJ oldPen = SelectObject(dc, pen.Get());
    MoveToEx(dc, frame.left, frame.bottom + y(5), nullptr);
    LineTo(dc, frame.right, frame.bottom + y(5));
    // Under the monitoring, automatic update and counter rows.
    for (int row : { 76, 106, 136 }) {
        MoveToEx(dc, x(20), y(row), nullptr);
        LineTo(dc, frame.right, y(row));
    }
    SelectObject(dc, oldPen);

    // Around the version, the date and the notice at the bottom.
    RECT bottom = { x(2), y(230), frame.right + 1, y(306) };
    FrameRect(dc, &bottom, frameBrush.Get());
}
