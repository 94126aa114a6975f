#include "monitor/ConfigDlg.h"

#include "base/Config.h"
#include "base/HotKey.h"
#include "base/Messages.h"
#include "base/Strings.h"
#include "res/resource.h"
#include "ui/Palette.h"
#include "ui/Window.h"

#include <commctrl.h>

CConfigDlg::CConfigDlg() : CPage(IDD_CONFIG_PAGE)
{
    // The template's hot-key control needs its window class before the page exists.
    INITCOMMONCONTROLSEX icc = { sizeof(icc), ICC_HOTKEY_CLASS };
    InitCommonControlsEx(&icc);
}

BOOL CConfigDlg::OnInitDialog()
{
    m_apply.CreateOver(Item(IDC_CONFIG_APPLY));

    // The hot-key section takes the place of the check boxes: the label level
    // with the first check box, the control 4 pixels higher.
    const RECT first = ui::ChildRect(m_hWnd, Item(IDC_CONFIG_AUTORUN));
    const RECT label = ui::ChildRect(m_hWnd, Item(IDC_CONFIG_HOTKEY_LABEL));
    const RECT hotKey = ui::ChildRect(m_hWnd, Item(IDC_CONFIG_HOTKEY));
    SetWindowPos(Item(IDC_CONFIG_HOTKEY_LABEL), nullptr, label.left, first.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(Item(IDC_CONFIG_HOTKEY), nullptr, hotKey.left, first.top - 4, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    ShowSection(General);
    Refresh();
    if (m_config)
        m_config->AddListener(m_hWnd);
    return TRUE;
}

void CConfigDlg::OnDestroy()
{
    if (m_config)
        m_config->RemoveListener(m_hWnd);
}

void CConfigDlg::Refresh()
{
    CConfig* config = m_config;
    if (!config)
        return;
    CheckDlgButton(m_hWnd, IDC_CONFIG_AUTORUN, config->AutorunOn() ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(m_hWnd, IDC_CONFIG_SHOW_INFO, config->ShowInfo == 1 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(m_hWnd, IDC_CONFIG_SHOW_RUN_INFO, config->ShowRunInfo == 1 ? BST_CHECKED : BST_UNCHECKED);
    SendDlgItemMessageW(m_hWnd, IDC_CONFIG_HOTKEY, HKM_SETHOTKEY,
                        MAKEWORD(config->HotKey & 0xFF, config->SystemKey & 0xFF), 0);
}

void CConfigDlg::ShowSection(Section section)
{
    m_section = section;
    const int general = section == General ? SW_SHOW : SW_HIDE;
    const int hotKey = section == HotKey ? SW_SHOW : SW_HIDE;
    for (int id : { IDC_CONFIG_AUTORUN, IDC_CONFIG_SHOW_INFO, IDC_CONFIG_SHOW_RUN_INFO })
        ShowWindow(Item(id), general);
    for (int id : { IDC_CONFIG_HOTKEY_LABEL, IDC_CONFIG_HOTKEY, IDC_CONFIG_APPLY })
        ShowWindow(Item(id), hotKey);
    if (section == HotKey)
        SetFocus(Item(IDC_CONFIG_HOTKEY));
    // Both buttons: one takes the selected look, the other loses it.
    InvalidateRect(Item(IDC_CONFIG_GENERAL), nullptr, TRUE);
    InvalidateRect(Item(IDC_CONFIG_HOTKEY_SECTION), nullptr, TRUE);
}

void CConfigDlg::OnCheckBox(int id)
{
    CConfig* config = m_config;
    if (!config)
        return;
    const bool checked = IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED;
    switch (id) {
    case IDC_CONFIG_AUTORUN:
        config->SetAutorun(checked);
        break;
    case IDC_CONFIG_SHOW_INFO:
        config->Set(Setting::ShowInfo, checked ? 1 : 0);
        break;
    case IDC_CONFIG_SHOW_RUN_INFO:
        config->Set(Setting::ShowRunInfo, checked ? 1 : 0);
        break;
    }
}

void CConfigDlg::ApplyHotKey()
{
    CConfig* config = m_config;
    if (!m_mainWindow || !config)
        return;
    const WORD value = static_cast<WORD>(SendDlgItemMessageW(m_hWnd, IDC_CONFIG_HOTKEY, HKM_GETHOTKEY, 0, 0));
    const UINT virtualKey = LOBYTE(value);
    const UINT flags = HIBYTE(value);
    if (RegisterGuardHotKey(m_mainWindow, virtualKey, flags))
        config->SetHotKey(virtualKey, flags);
    else
        ui::ErrorBox(m_hWnd, ui::LoadStr(IDS_HOTKEY_FAILED));
}

BOOL CConfigDlg::OnCommand(int id, int code, HWND control)
{
    switch (id) {
    case IDC_CONFIG_GENERAL:
        ShowSection(General);
        return TRUE;
    case IDC_CONFIG_HOTKEY_SECTION:
        ShowSection(HotKey);
        return TRUE;
    case IDC_CONFIG_AUTORUN:
    case IDC_CONFIG_SHOW_INFO:
    case IDC_CONFIG_SHOW_RUN_INFO:
        if (code == BN_CLICKED)
            OnCheckBox(id);
        return TRUE;
    case IDC_CONFIG_APPLY:
        if (code == STN_CLICKED)
            ApplyHotKey();
        return TRUE;
    }
    return CPage::OnCommand(id, code, control);
}

HBRUSH CConfigDlg::OnCtlColor(HDC dc, HWND control, UINT kind)
{
    // The check boxes stand on the page ground too.
    return CPage::OnCtlColor(dc, control, kind == WM_CTLCOLORBTN ? WM_CTLCOLORSTATIC : kind);
}

BOOL CConfigDlg::OnPaint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    RECT client;
    GetClientRect(m_hWnd, &client);
    FillRect(dc, &client, GroundBrush());
    const RECT buttons = ui::ChildRect(m_hWnd, Item(IDC_CONFIG_GENERAL));
    ui::CPen pen(CreatePen(PS_SOLID, 1, ui::palette::kFrame));
    HGDIOBJ old = SelectObject(dc, pen.Get());
    MoveToEx(dc, client.left, buttons.bottom + 4, nullptr);
    LineTo(dc, client.right, buttons.bottom + 4);
    SelectObject(dc, old);
    EndPaint(m_hWnd, &ps);
    return TRUE;
}

BOOL CConfigDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (msg == WM_SETTINGS_CHANGED) {
        Refresh();
        return TRUE;
    }
    if (msg != WM_DRAWITEM)
        return FALSE;
    const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (!item || (item->CtlID != IDC_CONFIG_GENERAL && item->CtlID != IDC_CONFIG_HOTKEY_SECTION))
        return FALSE;
    DrawSectionButton(item);
    result = TRUE;
    return TRUE;
}

void CConfigDlg::DrawSectionButton(const DRAWITEMSTRUCT* item)
{
    const bool selected = (item->CtlID == IDC_CONFIG_GENERAL) == (m_section == General);
    HDC dc = item->hDC;
    RECT r = item->rcItem;
    if (selected) {
        ui::CBrush back(CreateSolidBrush(ui::palette::kLightLine));
        FillRect(dc, &r, back.Get());
        ui::CBrush frame(CreateSolidBrush(ui::palette::kFrame));
        FrameRect(dc, &r, frame.Get());
    } else {
        FillRect(dc, &r, GroundBrush());
    }

    wchar_t text[64] = {};
    GetWindowTextW(item->hwndItem, text, 64);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, selected ? ui::palette::kNavyText : ui::palette::kSettingText);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
    HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
    DrawTextW(dc, text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (oldFont)
        SelectObject(dc, oldFont);
    if (item->itemState & ODS_FOCUS) {
        RECT focus = r;
        InflateRect(&focus, -2, -2);
        DrawFocusRect(dc, &focus);
    }
}
