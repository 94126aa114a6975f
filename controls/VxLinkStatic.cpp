#include "controls/VxLinkStatic.h"

#include "controls/ControlDraw.h"
#include "ui/Palette.h"

CVxLinkStatic::CVxLinkStatic()
{
    m_textColour = ui::palette::kLinkText;
}

HFONT CVxLinkStatic::DrawFont() const
{
    if (!m_linkFont)
        m_linkFont.Reset(DeriveFont(m_font, false, true));
    return m_linkFont.Get();
}

void CVxLinkStatic::Clicked()
{
    if (m_callback) {
        m_callback();
        return;
    }
    HWND parent = GetParent(m_hWnd);
    if (parent)
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(m_hWnd), STN_CLICKED),
                     reinterpret_cast<LPARAM>(m_hWnd));
}

LRESULT CVxLinkStatic::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_LBUTTONDOWN:
        m_pressed = true;
        SetCapture(m_hWnd);
        return 0;
    case WM_LBUTTONUP: {
        const bool wasPressed = m_pressed;
        m_pressed = false;
        if (GetCapture() == m_hWnd)
            ReleaseCapture();
        RECT client;
        GetClientRect(m_hWnd, &client);
        POINT p = { static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)) };
        if (wasPressed && PtInRect(&client, p))
            Clicked(); // may destroy this control: nothing after it
        return 0;
    }
    case WM_CAPTURECHANGED:
        m_pressed = false;
        return 0;
    }
    return CVxColorStatic::WindowProc(msg, wParam, lParam);
}
