#include "controls/VxInfoTip.h"

#include "base/Handles.h"
#include "controls/ControlDraw.h"

#include <algorithm>

namespace {

constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMs = 100;
constexpr int kPad = 4;
constexpr int kIconGap = 4;
constexpr int kMaxTextWidth = 300;
constexpr int kCursorOffset = 18; // below the cursor's hot spot

} // namespace

bool CVxInfoTip::Create(HWND parent)
{
    HWND owner = parent ? GetAncestor(parent, GA_ROOT) : nullptr;
    return ui::CWindow::Create(L"HmVxInfoTip", CS_SAVEBITS | CS_DROPSHADOW, LoadCursorW(nullptr, IDC_ARROW),
                               nullptr, L"", WS_POPUP | WS_BORDER,
                               WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, 0, 0, 0, 0, owner, nullptr);
}

void CVxInfoTip::SetFont(HFONT font)
{
    m_font = font;
    if (IsShown())
        InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CVxInfoTip::AddTool(HWND control, const std::wstring& text, HICON icon)
{
    RemoveTool(control);
    m_tools.push_back(Tool{ control, text, icon });
}

void CVxInfoTip::RemoveTool(HWND control)
{
    m_tools.erase(std::remove_if(m_tools.begin(), m_tools.end(),
                                 [control](const Tool& t) { return t.control == control; }),
                  m_tools.end());
    if (m_trackedTool == control)
        Hide();
}

void CVxInfoTip::Show(const std::wstring& text, POINT at, HICON icon)
{
    if (!m_hWnd)
        return;
    m_text = text;
    m_icon = icon;

    HDC dc = GetDC(m_hWnd);
    HGDIOBJ old = SelectObject(dc, m_font ? m_font : DefaultUiFont());
    RECT textRect = { 0, 0, kMaxTextWidth, 0 };
    DrawTextW(dc, m_text.c_str(), static_cast<int>(m_text.size()), &textRect,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    SelectObject(dc, old);
    ReleaseDC(m_hWnd, dc);

    const int iconSize = m_icon ? GetSystemMetrics(SM_CXSMICON) : 0;
    RECT window = { 0, 0, 2 * kPad + (iconSize ? iconSize + kIconGap : 0) + textRect.right,
                    2 * kPad + std::max<int>(iconSize, textRect.bottom) };
    AdjustWindowRectEx(&window, WS_POPUP | WS_BORDER, FALSE, WS_EX_TOOLWINDOW);
    const int cx = window.right - window.left, cy = window.bottom - window.top;

    MONITORINFO mi = {};
    mi.cbSize = sizeof(mi);
    RECT screen = { 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN) };
    if (GetMonitorInfoW(MonitorFromPoint(at, MONITOR_DEFAULTTONEAREST), &mi))
        screen = mi.rcMonitor;
    const int x = std::max<int>(screen.left, std::min<int>(at.x, screen.right - cx));
    const int y = std::max<int>(screen.top, std::min<int>(at.y, screen.bottom - cy));
    SetWindowPos(m_hWnd, HWND_TOPMOST, x, y, cx, cy, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CVxInfoTip::Hide()
{
    if (!m_hWnd)
        return;
    if (m_timer)
        KillTimer(m_hWnd, kPollTimer);
    m_timer = false;
    m_trackedTool = nullptr;
    ShowWindow(m_hWnd, SW_HIDE);
}

const CVxInfoTip::Tool* CVxInfoTip::ToolAt(POINT screen) const
{
    for (const Tool& tool : m_tools) {
        RECT r;
        if (IsWindowVisible(tool.control) && GetWindowRect(tool.control, &r) && PtInRect(&r, screen))
            return &tool;
    }
    return nullptr;
}

void CVxInfoTip::RelayEvent(const MSG* msg)
{
    if (!m_hWnd || !msg)
        return;
    switch (msg->message) {
    case WM_MOUSEMOVE: {
        const POINT p = msg->pt; // where the mouse was when the message was made
        const Tool* tool = ToolAt(p);
        if (!tool) {
            if (m_trackedTool)
                Hide();
            return;
        }
        if (tool->control != m_trackedTool) {
            Hide();
            m_trackedTool = tool->control;
            m_restSince = GetTickCount();
        }
        if (IsShown())
            SetWindowPos(m_hWnd, HWND_TOPMOST, p.x, p.y + kCursorOffset, 0, 0,
                         SWP_NOSIZE | SWP_NOACTIVATE);
        if (!m_timer)
            m_timer = SetTimer(m_hWnd, kPollTimer, kPollMs, nullptr) != 0;
        return;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_KEYDOWN:
    case WM_MOUSEWHEEL:
        Hide();
        return;
    }
}

void CVxInfoTip::OnPollTimer()
{
    POINT p;
    GetCursorPos(&p);
    const Tool* tool = ToolAt(p);
    if (!tool || tool->control != m_trackedTool) {
        Hide(); // the mouse left the tool
        return;
    }
    if (!IsShown() && GetTickCount() - m_restSince >= m_delay)
        Show(tool->text, POINT{ p.x, p.y + kCursorOffset }, tool->icon);
}

void CVxInfoTip::Paint(HDC dc)
{
    RECT client;
    GetClientRect(m_hWnd, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_INFOBK));
    int x = kPad;
    if (m_icon) {
        const int size = GetSystemMetrics(SM_CXSMICON);
        DrawIconEx(dc, x, kPad, m_icon, size, size, 0, nullptr, DI_NORMAL);
        x += size + kIconGap;
    }
    RECT r = { x, kPad, client.right - kPad, client.bottom - kPad };
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
    HGDIOBJ old = SelectObject(dc, m_font ? m_font : DefaultUiFont());
    DrawTextW(dc, m_text.c_str(), static_cast<int>(m_text.size()), &r, DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    SelectObject(dc, old);
}

LRESULT CVxInfoTip::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_NCHITTEST:
        return HTTRANSPARENT; // the mouse goes through to the window below
    case WM_TIMER:
        if (wParam == kPollTimer) {
            OnPollTimer();
            return 0;
        }
        break;
    }
    return CVxControl::WindowProc(msg, wParam, lParam);
}
