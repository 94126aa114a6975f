#include "controls/StatusBar.h"

#include <commctrl.h>

CStatusBar::~CStatusBar()
{
    if (m_hWnd && IsWindow(m_hWnd))
        DestroyWindow(m_hWnd);
}

bool CStatusBar::Create(HWND parent, int id, const std::vector<int>& paneWidths, bool sizeGrip)
{
    DWORD style = WS_CHILD | WS_VISIBLE | (sizeGrip ? SBARS_SIZEGRIP : 0);
    m_hWnd = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, style, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    if (!m_hWnd)
        return false;
    // SB_SETPARTS takes right edges.
    std::vector<int> edges;
    int right = 0;
    for (int width : paneWidths) {
        if (width < 0) {
            edges.push_back(-1);
            break;
        }
        right += width;
        edges.push_back(right);
    }
    if (!edges.empty())
        SendMessageW(m_hWnd, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
    if (HFONT font = reinterpret_cast<HFONT>(SendMessageW(parent, WM_GETFONT, 0, 0)))
        SendMessageW(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    Resize();
    return true;
}

void CStatusBar::SetText(int pane, const std::wstring& text)
{
    if (m_hWnd)
        SendMessageW(m_hWnd, SB_SETTEXTW, static_cast<WPARAM>(pane), reinterpret_cast<LPARAM>(text.c_str()));
}

std::wstring CStatusBar::Text(int pane) const
{
    if (!m_hWnd)
        return std::wstring();
    const LRESULT info = SendMessageW(m_hWnd, SB_GETTEXTLENGTHW, static_cast<WPARAM>(pane), 0);
    std::wstring text(LOWORD(info) + 1, L'\0');
    SendMessageW(m_hWnd, SB_GETTEXTW, static_cast<WPARAM>(pane), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(LOWORD(info));
    return text;
}

int CStatusBar::Height() const
{
    if (!m_hWnd)
        return 0;
    RECT r;
    GetWindowRect(m_hWnd, &r);
    return r.bottom - r.top;
}

void CStatusBar::Resize()
{
    if (m_hWnd)
        SendMessageW(m_hWnd, WM_SIZE, 0, 0);
}
