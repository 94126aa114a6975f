#include "controls/VxColorStatic.h"

#include "base/Handles.h"
#include "controls/ControlDraw.h"
#include "controls/Placeholder.h"

#include <vector>

namespace {

constexpr DWORD kStaticStyles = SS_TYPEMASK | SS_NOPREFIX | SS_CENTERIMAGE | SS_ENDELLIPSIS;

} // namespace

bool CVxColorStatic::Create(HWND parent, int id, const RECT& rect, const std::wstring& text, DWORD style)
{
    return CreateChild(ClassName(), Cursor(), parent, id, rect, text.c_str(), style, kStaticStyles);
}

bool CVxColorStatic::CreateOver(HWND placeholder)
{
    PLACEHOLDER p;
    if (!ReadPlaceholder(placeholder, &p) || !Create(p.parent, p.id, p.rect, p.text, p.style))
        return false;
    ReplacePlaceholder(placeholder, m_hWnd, p.font);
    return true;
}

void CVxColorStatic::SetTextColour(COLORREF colour)
{
    m_textColour = colour;
    if (m_hWnd)
        InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CVxColorStatic::SetBackColour(COLORREF colour)
{
    m_backColour = colour;
    if (m_hWnd)
        InvalidateRect(m_hWnd, nullptr, TRUE);
}

std::wstring CVxColorStatic::Text() const
{
    if (!m_hWnd)
        return std::wstring();
    const int len = GetWindowTextLengthW(m_hWnd);
    std::vector<wchar_t> buf(static_cast<size_t>(len) + 1);
    GetWindowTextW(m_hWnd, buf.data(), len + 1);
    return std::wstring(buf.data());
}

HFONT CVxColorStatic::DrawFont() const
{
    return m_font ? m_font : DefaultUiFont();
}

void CVxColorStatic::Paint(HDC dc)
{
    RECT client;
    GetClientRect(m_hWnd, &client);
    // The parent's colours first (also when both are our own: the parent
    // may set the DC's font or mode there).
    FillParentBackground(m_hWnd, dc, client);
    if (m_backColour != kParentColour) {
        ui::CBrush back(CreateSolidBrush(m_backColour));
        FillRect(dc, &client, back.Get());
    }
    if (!IsWindowEnabled(m_hWnd))
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    else if (m_textColour != kParentColour)
        SetTextColor(dc, m_textColour);
    SetBkMode(dc, TRANSPARENT);

    const DWORD style = static_cast<DWORD>(GetWindowLongW(m_hWnd, GWL_STYLE));
    UINT flags = DT_EXPANDTABS;
    switch (style & SS_TYPEMASK) {
    case SS_CENTER: flags |= DT_CENTER | DT_WORDBREAK; break;
    case SS_RIGHT: flags |= DT_RIGHT | DT_WORDBREAK; break;
    case SS_LEFTNOWORDWRAP: flags |= DT_LEFT | DT_SINGLELINE; break;
    default: flags |= DT_LEFT | DT_WORDBREAK; break;
    }
    if (style & SS_NOPREFIX)
        flags |= DT_NOPREFIX;
    if (style & SS_CENTERIMAGE)
        flags = (flags & ~DT_WORDBREAK) | DT_SINGLELINE | DT_VCENTER;
    if (style & SS_ENDELLIPSIS)
        flags |= DT_END_ELLIPSIS;

    const std::wstring text = Text();
    HGDIOBJ old = SelectObject(dc, DrawFont());
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &client, flags);
    SelectObject(dc, old);
}

LRESULT CVxColorStatic::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_SETTEXT: {
        LRESULT r = CVxControl::WindowProc(msg, wParam, lParam);
        InvalidateRect(m_hWnd, nullptr, TRUE);
        return r;
    }
    case WM_SETFONT:
        m_font = reinterpret_cast<HFONT>(wParam);
        FontChanged();
        if (LOWORD(lParam))
            InvalidateRect(m_hWnd, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(m_font);
    case WM_ENABLE:
        InvalidateRect(m_hWnd, nullptr, TRUE);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    }
    return CVxControl::WindowProc(msg, wParam, lParam);
}
