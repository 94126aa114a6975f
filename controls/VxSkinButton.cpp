#include "controls/VxSkinButton.h"

#include "base/Strings.h"
#include "controls/ControlDraw.h"
#include "controls/Placeholder.h"
#include "ui/Palette.h"

#include <commctrl.h>

#include <vector>

bool CVxSkinButton::Create(HWND parent, int id, const RECT& rect, const std::wstring& text, DWORD style)
{
    if (!CreateChild(L"HmVxSkinButton", LoadCursorW(nullptr, IDC_ARROW), parent, id, rect, text.c_str(), style))
        return false;
    if (!m_tooltipText.empty())
        SetTooltip(m_tooltipText);
    return true;
}

bool CVxSkinButton::CreateOver(HWND placeholder)
{
    PLACEHOLDER p;
    if (!ReadPlaceholder(placeholder, &p) || !Create(p.parent, p.id, p.rect, p.text, p.style))
        return false;
    ReplacePlaceholder(placeholder, m_hWnd, p.font);
    return true;
}

bool CVxSkinButton::SetImages(UINT normal, UINT hover, UINT pressed)
{
    const UINT ids[3] = { normal, hover, pressed };
    bool ok = true;
    for (int i = 0; i < 3; ++i) {
        m_images[i].Reset(ids[i] ? LoadResourceBitmap(ids[i]) : nullptr);
        if (ids[i] && !m_images[i])
            ok = false;
    }
    if (m_hWnd)
        InvalidateRect(m_hWnd, nullptr, FALSE);
    return ok;
}

void CVxSkinButton::SetTooltip(const std::wstring& text)
{
    m_tooltipText = text;
    if (!m_hWnd)
        return;
    TOOLINFOW ti = {};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = GetParent(m_hWnd);
    ti.uId = reinterpret_cast<UINT_PTR>(m_hWnd);
    ti.lpszText = const_cast<wchar_t*>(m_tooltipText.c_str());
    if (!m_tooltip) {
        m_tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd,
                                    nullptr, ui::ResourceModule(), nullptr);
        if (!m_tooltip)
            return;
        SendMessageW(m_tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    } else {
        SendMessageW(m_tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
    }
}

CVxSkinButton::State CVxSkinButton::CurrentState() const
{
    if (m_pressed && m_hover)
        return Pressed;
    return m_hover ? Hover : Normal;
}

HBITMAP CVxSkinButton::CurrentImage() const
{
    // A missing look falls back to the one before it.
    for (int i = CurrentState(); i >= 0; --i)
        if (m_images[i])
            return m_images[i].Get();
    return nullptr;
}

void CVxSkinButton::SetHover(bool hover)
{
    if (hover == m_hover)
        return;
    m_hover = hover;
    if (hover) {
        TRACKMOUSEEVENT tme = { sizeof(tme), TME_LEAVE, m_hWnd, 0 };
        TrackMouseEvent(&tme);
    }
    InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CVxSkinButton::PaintFlat(HDC dc, const RECT& client)
{
    FillParentBackground(m_hWnd, dc, client);
    const State state = CurrentState();
    if (state != Normal) {
        ui::CBrush fill(CreateSolidBrush(state == Pressed ? ui::palette::kPressed : ui::palette::kHover));
        ui::CBrush frame(CreateSolidBrush(ui::palette::kFrame));
        FillRect(dc, &client, fill.Get());
        FrameRect(dc, &client, frame.Get());
    }
    const int len = GetWindowTextLengthW(m_hWnd);
    std::vector<wchar_t> text(static_cast<size_t>(len) + 1);
    GetWindowTextW(m_hWnd, text.data(), len + 1);
    RECT r = client;
    if (state == Pressed)
        OffsetRect(&r, 1, 1);
    SetBkMode(dc, TRANSPARENT);
    if (!IsWindowEnabled(m_hWnd))
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    HGDIOBJ old = SelectObject(dc, m_font ? m_font : DefaultUiFont());
    DrawTextW(dc, text.data(), len, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, old);
}

void CVxSkinButton::Paint(HDC dc)
{
    RECT client;
    GetClientRect(m_hWnd, &client);
    HBITMAP image = CurrentImage();
    if (!image) {
        PaintFlat(dc, client);
        return;
    }
    SIZE size = BitmapSize(image);
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, image);
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, 0, 0, client.right, client.bottom, mem, 0, 0, size.cx, size.cy, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
}

LRESULT CVxSkinButton::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_MOUSEMOVE: {
        RECT client;
        GetClientRect(m_hWnd, &client);
        POINT p = { static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)) };
        SetHover(PtInRect(&client, p) != FALSE);
        return 0;
    }
    case WM_MOUSELEAVE:
        if (!m_pressed)
            SetHover(false);
        return 0;
    case WM_LBUTTONDOWN:
        m_pressed = true;
        m_hover = true;
        SetCapture(m_hWnd);
        InvalidateRect(m_hWnd, nullptr, FALSE);
        return 0;
    case WM_LBUTTONUP: {
        const bool click = m_pressed && m_hover;
        m_pressed = false;
        if (GetCapture() == m_hWnd)
            ReleaseCapture();
        RECT client;
        GetClientRect(m_hWnd, &client);
        POINT p = { static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)) };
        m_hover = PtInRect(&client, p) != FALSE;
        InvalidateRect(m_hWnd, nullptr, FALSE);
        if (click && m_hover) {
            // The parent may destroy the button here: nothing after it.
            SendMessageW(GetParent(m_hWnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(m_hWnd), BN_CLICKED),
                         reinterpret_cast<LPARAM>(m_hWnd));
        }
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (m_pressed) {
            m_pressed = false;
            InvalidateRect(m_hWnd, nullptr, FALSE);
        }
        return 0;
    case WM_SETTEXT: {
        LRESULT r = CVxControl::WindowProc(msg, wParam, lParam);
        InvalidateRect(m_hWnd, nullptr, FALSE);
        return r;
    }
    case WM_SETFONT:
        m_font = reinterpret_cast<HFONT>(wParam);
        if (LOWORD(lParam))
            InvalidateRect(m_hWnd, nullptr, FALSE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(m_font);
    case WM_ENABLE:
        InvalidateRect(m_hWnd, nullptr, FALSE);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
    case WM_DESTROY:
        // The tooltip is a popup owned by the top-level window, not a child.
        if (m_tooltip)
            DestroyWindow(m_tooltip);
        m_tooltip = nullptr;
        break;
    }
    return CVxControl::WindowProc(msg, wParam, lParam);
}
