#include "helpview/HelpDlg.h"

#include "base/Shell.h"
#include "base/Strings.h"
#include "controls/ControlDraw.h"
#include "res/resource.h"
#include "ui/Palette.h"

CHelpDlg::CHelpDlg() : CPage(IDD_HELP_PAGE) {}

std::wstring CHelpDlg::HelpAddress()
{
    return ui::LoadStr(IDS_HELP_ADDRESS);
}

BOOL CHelpDlg::OnInitDialog()
{
    m_link.CreateOver(Item(IDC_HELP_LINK));
    // The first static of the template is the page's title: bold.
    HWND title = GetWindow(m_hWnd, GW_CHILD);
    if (title && title != m_link.Hwnd()) {
        m_titleFont.Reset(DeriveFont(reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0)), true, false));
        SendMessageW(title, WM_SETFONT, reinterpret_cast<WPARAM>(m_titleFont.Get()), FALSE);
    }
    Navigate();
    return TRUE;
}

void CHelpDlg::Navigate()
{
    m_address = HelpAddress();
    if (m_link.Hwnd())
        SetWindowTextW(m_link.Hwnd(), m_address.c_str());
}

void CHelpDlg::OpenAddress()
{
    if (m_address.empty())
        Navigate();
    if (m_opener)
        m_opener(m_address);
    else
        ::OpenAddress(nullptr, m_address);
}

BOOL CHelpDlg::OnCommand(int id, int code, HWND control)
{
    switch (id) {
    case IDC_HELP_LINK:
        if (code == STN_CLICKED)
            OpenAddress();
        return TRUE;
    }
    return CPage::OnCommand(id, code, control);
}

