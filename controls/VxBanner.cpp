#include "controls/VxBanner.h"

#include "base/Handles.h"
#include "controls/ControlDraw.h"
#include "controls/Placeholder.h"

#include <commctrl.h>

namespace {
const UINT_PTR kTickTimer = 1;
} // namespace

bool CVxBanner::Create(HWND parent, int id, const RECT& rect, UINT clickMessage, DWORD style)
{
    m_clickMessage = clickMessage;
    if (!CreateChild(L"HmVxBanner", LoadCursorW(nullptr, IDC_HAND), parent, id, rect, L"", style))
        return false;
    AddTool();
    SetTimer(m_hWnd, kTickTimer, m_timing.tickMs, nullptr);
    return true;
}

bool CVxBanner::CreateOver(HWND placeholder, UINT clickMessage)
{
    PLACEHOLDER p;
    if (!ReadPlaceholder(placeholder, &p) || !Create(p.parent, p.id, p.rect, clickMessage, p.style))
        return false;
    ReplacePlaceholder(placeholder, m_hWnd, p.font);
    SetEmptyText(p.text);
    return true;
}

void CVxBanner::AddTool()
{
    m_tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0, 0,
                            0, m_hWnd, nullptr, nullptr, nullptr);
    if (!m_tip)
        return;
    // The text is asked for each time the tip shows: the current item's.
    TOOLINFOW ti = { sizeof(ti) };
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = m_hWnd;
    ti.uId = reinterpret_cast<UINT_PTR>(m_hWnd);
    ti.lpszText = LPSTR_TEXTCALLBACKW;
    SendMessageW(m_tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

void CVxBanner::SetTiming(const Timing& timing)
{
    m_timing = timing;
    if (m_hWnd)
        SetTimer(m_hWnd, kTickTimer, m_timing.tickMs, nullptr);
}

void CVxBanner::SetEmptyText(const std::wstring& text)
{
    m_emptyText = text;
    if (m_hWnd)
        InvalidateRect(m_hWnd, nullptr, FALSE);
}

int CVxBanner::AddItem(const std::wstring& text, const std::wstring& tooltip)
{
    m_items.push_back({ text, tooltip });
    if (m_hWnd)
        InvalidateRect(m_hWnd, nullptr, FALSE);
    return static_cast<int>(m_items.size()) - 1;
}

void CVxBanner::RemoveAllItems()
{
    m_items.clear();
    m_current = 0;
    m_offset = 0;
    m_held = 0;
    if (m_tip)
        SendMessageW(m_tip, TTM_POP, 0, 0);
    if (m_hWnd)
        InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CVxBanner::Tick()
{
    if (m_mouseOver || m_items.size() < 2)
        return;
    if (m_offset > 0) {
        m_offset -= m_timing.step;
        if (m_offset <= 0) {
            m_offset = 0;
            m_current = NextItem();
            m_held = 0;
        }
    } else if ((m_held += m_timing.tickMs) >= m_timing.holdMs) {
        RECT client;
        GetClientRect(m_hWnd, &client);
        m_offset = client.bottom > 0 ? client.bottom : 1;
    } else {
        return;
    }
    InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CVxBanner::DrawLine(HDC dc, const std::wstring& text, int top, int height)
{
    RECT line = { 2, top, 0, top + height };
    RECT client;
    GetClientRect(m_hWnd, &client);
    line.right = client.right - 2;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &line,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
}

void CVxBanner::Paint(HDC dc)
{
    RECT client;
    GetClientRect(m_hWnd, &client);
    // Drawn off screen: the sliding lines must not flicker.
    HDC memory = CreateCompatibleDC(dc);
    ui::CBitmap canvas(CreateCompatibleBitmap(dc, client.right, client.bottom));
    HGDIOBJ oldBitmap = SelectObject(memory, canvas.Get());
    FillParentBackground(m_hWnd, memory, client);
    HGDIOBJ oldFont = SelectObject(memory, m_font ? m_font : DefaultUiFont());
    SetBkMode(memory, TRANSPARENT);
    SetTextColor(memory, m_textColour);
    const int h = client.bottom;
    if (m_items.empty()) {
        DrawLine(memory, m_emptyText, 0, h);
    } else if (m_offset > 0) {
        DrawLine(memory, m_items[static_cast<size_t>(m_current)].text, m_offset - h, h);
        DrawLine(memory, m_items[static_cast<size_t>(NextItem())].text, m_offset, h);
    } else {
        DrawLine(memory, m_items[static_cast<size_t>(m_current)].text, 0, h);
    }
    BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
    SelectObject(memory, oldFont);
    SelectObject(memory, oldBitmap);
    DeleteDC(memory);
}

LRESULT CVxBanner::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_TIMER:
        if (wParam == kTickTimer) {
            Tick();
            return 0;
        }
        break;
    case WM_SETFONT:
        m_font = reinterpret_cast<HFONT>(wParam);
        if (LOWORD(lParam))
            InvalidateRect(m_hWnd, nullptr, FALSE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(m_font);
    case WM_MOUSEMOVE:
        if (!m_mouseOver) {
            m_mouseOver = true;
            TRACKMOUSEEVENT track = { sizeof(track), TME_LEAVE, m_hWnd, 0 };
            TrackMouseEvent(&track);
        }
        break;
    case WM_MOUSELEAVE:
        m_mouseOver = false;
        if (m_tip)
            SendMessageW(m_tip, TTM_POP, 0, 0);
        return 0;
    case WM_LBUTTONUP:
        if (m_tip)
            SendMessageW(m_tip, TTM_POP, 0, 0);
        if (!m_items.empty() && m_clickMessage)
            SendMessageW(GetParent(m_hWnd), m_clickMessage, static_cast<WPARAM>(m_current),
                         reinterpret_cast<LPARAM>(m_hWnd));
        return 0;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->hwndFrom == m_tip && header->code == TTN_GETDISPINFOW) {
            auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
            info->lpszText = m_items.empty() ? const_cast<wchar_t*>(L"")
                                             : &m_items[static_cast<size_t>(m_current)].tooltip[0];
            return 0;
        }
        break;
    }
    case WM_DESTROY:
        KillTimer(m_hWnd, kTickTimer);
        if (m_tip) {
            DestroyWindow(m_tip);
            m_tip = nullptr;
        }
        break;
    }
    return CVxControl::WindowProc(msg, wParam, lParam);
}
