#include "ui/Page.h"

#include "ui/Palette.h"

namespace ui {

CPage::CPage(UINT templateId) : CDialog(templateId), m_ground(CreateSolidBrush(palette::kPageGround)) {}

BOOL CPage::OnCommand(int id, int code, HWND control)
{
    return id == IDOK || id == IDCANCEL;
}

BOOL CPage::OnClose()
{
    DestroyWindow(m_hWnd);
    return TRUE;
}

HBRUSH CPage::OnCtlColor(HDC dc, HWND control, UINT kind)
{
    if (kind != WM_CTLCOLORSTATIC && kind != WM_CTLCOLORDLG)
        return nullptr;
    SetBkColor(dc, palette::kPageGround);
    return m_ground.Get();
}

} // namespace ui
