#include "controls/ResizableDlg.h"

#include "base/WindowPlacement.h"
#include "ui/Window.h"

namespace {

SIZE ClientSize(HWND hwnd)
{
    RECT r = {};
    GetClientRect(hwnd, &r);
    return SIZE{ r.right, r.bottom };
}

} // namespace

BOOL CResizableDlg::OnInitDialog()
{
    m_baseClient = ClientSize(m_hWnd);
    RECT window = {};
    GetWindowRect(m_hWnd, &window);
    m_minSize = SIZE{ window.right - window.left, window.bottom - window.top };

    const int grip = GetSystemMetrics(SM_CXVSCROLL);
    m_grip = CreateWindowExW(0, L"SCROLLBAR", nullptr,
                             WS_CHILD | WS_CLIPSIBLINGS | SBS_SIZEGRIP | SBS_SIZEBOXBOTTOMRIGHTALIGN,
                             m_baseClient.cx - grip, m_baseClient.cy - grip, grip, grip, m_hWnd, nullptr,
                             nullptr, nullptr);
    if (m_grip) {
        // Above every other child, so that nothing hides it.
        SetWindowPos(m_grip, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        AddAnchor(m_grip, ANCHOR_BOTTOM_RIGHT, ANCHOR_BOTTOM_RIGHT);
        ShowSizeGrip(m_gripWanted);
    }
    return TRUE;
}

void CResizableDlg::AddAnchor(HWND control, ANCHOR topLeft, ANCHOR bottomRight)
{
    if (!control || FindAnchor(control))
        return;
    // Stored as it would be for the template's size, whatever the size now.
    SIZE now = ClientSize(m_hWnd);
    const int dx = now.cx - m_baseClient.cx, dy = now.cy - m_baseClient.cy;
    RECT r = ui::ChildRect(m_hWnd, control);
    r.left -= dx * topLeft.x / 100;
    r.top -= dy * topLeft.y / 100;
    r.right -= dx * bottomRight.x / 100;
    r.bottom -= dy * bottomRight.y / 100;
    m_anchors.push_back(Anchored{ control, topLeft, bottomRight, r });
}

CResizableDlg::Anchored* CResizableDlg::FindAnchor(HWND control)
{
    for (Anchored& a : m_anchors)
        if (a.hwnd == control)
            return &a;
    return nullptr;
}

bool CResizableDlg::ShiftAnchor(HWND control, int dLeft, int dTop, int dRight, int dBottom, bool arrange)
{
    Anchored* a = FindAnchor(control);
    if (!a)
        return false;
    a->base.left += dLeft;
    a->base.top += dTop;
    a->base.right += dRight;
    a->base.bottom += dBottom;
    if (arrange)
        ArrangeLayout();
    return true;
}

RECT CResizableDlg::PlaceFor(const Anchored& a, int dx, int dy) const
{
    RECT r = a.base;
    r.left += dx * a.topLeft.x / 100;
    r.top += dy * a.topLeft.y / 100;
    r.right += dx * a.bottomRight.x / 100;
    r.bottom += dy * a.bottomRight.y / 100;
    return r;
}

void CResizableDlg::ArrangeLayout()
{
    if (m_anchors.empty())
        return;
    SIZE now = ClientSize(m_hWnd);
    const int dx = now.cx - m_baseClient.cx, dy = now.cy - m_baseClient.cy;
    HDWP batch = BeginDeferWindowPos(static_cast<int>(m_anchors.size()));
    for (const Anchored& a : m_anchors) {
        if (!::IsWindow(a.hwnd))
            continue;
        RECT r = PlaceFor(a, dx, dy);
        const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
        if (batch)
            batch = DeferWindowPos(batch, a.hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, flags);
        else
            SetWindowPos(a.hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, flags);
    }
    if (batch)
        EndDeferWindowPos(batch);
    // Group boxes and labels leave traces when they move over each other.
    RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void CResizableDlg::ShowSizeGrip(bool show)
{
    m_gripWanted = show;
    if (m_grip)
        ShowWindow(m_grip, show && !IsZoomed(m_hWnd) ? SW_SHOWNA : SW_HIDE);
}

bool CResizableDlg::RestorePlacement()
{
    if (m_placementName.empty())
        return false;
    STORED_PLACEMENT stored = {};
    if (LoadPlacement(m_stateKey, m_placementName.c_str(), &stored) != 0)
        return false;
    // A place left on a screen that is gone would put the window out of reach.
    if (!MonitorFromRect(&stored.normal, MONITOR_DEFAULTTONULL))
        return false;
    WINDOWPLACEMENT wp = { sizeof(wp) };
    wp.flags = static_cast<UINT>(stored.flags) & (WPF_SETMINPOSITION | WPF_RESTORETOMAXIMIZED);
    wp.showCmd = static_cast<UINT>(ShowCommandToRestore(stored.showCmd));
    wp.rcNormalPosition = stored.normal;
    // Never smaller than the template.
    if (wp.rcNormalPosition.right - wp.rcNormalPosition.left < m_minSize.cx)
        wp.rcNormalPosition.right = wp.rcNormalPosition.left + m_minSize.cx;
    if (wp.rcNormalPosition.bottom - wp.rcNormalPosition.top < m_minSize.cy)
        wp.rcNormalPosition.bottom = wp.rcNormalPosition.top + m_minSize.cy;
    return SetWindowPlacement(m_hWnd, &wp) != FALSE;
}

void CResizableDlg::SavePlacement() const
{
    if (m_placementName.empty() || !m_hWnd)
        return;
    WINDOWPLACEMENT wp = { sizeof(wp) };
    if (!GetWindowPlacement(m_hWnd, &wp))
        return;
    STORED_PLACEMENT stored = { wp.rcNormalPosition, static_cast<int>(wp.showCmd), static_cast<int>(wp.flags) };
    ::SavePlacement(m_stateKey, m_placementName.c_str(), stored);
}

BOOL CResizableDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (msg) {
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED)
            return FALSE;
        ArrangeLayout();
        ShowSizeGrip(m_gripWanted);
        result = 0;
        return TRUE;
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        if (m_minSize.cx > 0) {
            info->ptMinTrackSize.x = m_minSize.cx;
            info->ptMinTrackSize.y = m_minSize.cy;
        }
        result = 0;
        return TRUE;
    }
    }
    return FALSE;
}

void CResizableDlg::OnDestroy()
{
    SavePlacement();
}
