#include "controls/SplitterControl.h"

#include "controls/ControlDraw.h"
#include "controls/Placeholder.h"

#include <windowsx.h>

#include <algorithm>

bool CSplitterControl::Create(HWND parent, int id, const RECT& rect, DWORD style)
{
    return CreateChild(L"HmSplitterControl", LoadCursorW(nullptr, IDC_SIZEWE), parent, id, rect, L"", style);
}

bool CSplitterControl::CreateOver(HWND placeholder)
{
    PLACEHOLDER p;
    if (!ReadPlaceholder(placeholder, &p) || !Create(p.parent, p.id, p.rect, p.style))
        return false;
    ReplacePlaceholder(placeholder, m_hWnd, p.font);
    return true;
}

void CSplitterControl::SetRange(int minX, int maxX)
{
    m_min = std::min(minX, maxX);
    m_max = std::max(minX, maxX);
}

int CSplitterControl::Position() const
{
    if (!m_hWnd)
        return 0;
    RECT r;
    GetWindowRect(m_hWnd, &r);
    MapWindowPoints(nullptr, GetParent(m_hWnd), reinterpret_cast<POINT*>(&r), 2);
    return r.left;
}

int CSplitterControl::MoveTo(int x)
{
    if (!m_hWnd)
        return 0;
    const int target = std::clamp(x, m_min, m_max);
    const int delta = target - Position();
    if (delta == 0)
        return 0;
    HWND parent = GetParent(m_hWnd);
    RECT r;
    GetWindowRect(m_hWnd, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    SetWindowPos(m_hWnd, nullptr, r.left + delta, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (m_notify)
        SendMessageW(parent, m_notify, static_cast<WPARAM>(GetDlgCtrlID(m_hWnd)), static_cast<LPARAM>(delta));
    return delta;
}

LRESULT CSplitterControl::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_LBUTTONDOWN:
        m_dragging = true;
        m_grabX = GET_X_LPARAM(lParam);
        SetCapture(m_hWnd);
        return 0;
    case WM_MOUSEMOVE:
        if (m_dragging) {
            // The mouse position in the parent's coordinates, less the grab.
            POINT pt = { GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam) };
            MapWindowPoints(m_hWnd, GetParent(m_hWnd), &pt, 1);
            MoveTo(pt.x - m_grabX);
        }
        return 0;
    case WM_LBUTTONUP:
        if (m_dragging) {
            m_dragging = false;
            ReleaseCapture();
        }
        return 0;
    case WM_CAPTURECHANGED:
        m_dragging = false;
        return 0;
    }
    return CVxControl::WindowProc(msg, wParam, lParam);
}

void CSplitterControl::Paint(HDC dc)
{
    RECT client;
    GetClientRect(m_hWnd, &client);
    FillParentBackground(m_hWnd, dc, client);
    // A thin raised ridge in the middle of the bar.
    RECT ridge = client;
    const int mid = (client.right - client.left) / 2;
    ridge.left = std::max<LONG>(client.left, mid - 1);
    ridge.right = std::min<LONG>(client.right, mid + 2);
    DrawEdge(dc, &ridge, EDGE_ETCHED, BF_LEFT | BF_RIGHT);
}
