#include "controls/TipLinkStatic.h"

LRESULT CTipLinkStatic::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (m_tip && ((msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST) || msg == WM_KEYDOWN)) {
        MSG relayed = {};
        relayed.hwnd = m_hWnd;
        relayed.message = msg;
        relayed.wParam = wParam;
        relayed.lParam = lParam;
        relayed.time = GetMessageTime();
        GetCursorPos(&relayed.pt);
        m_tip->RelayEvent(&relayed);
    }
    return CVxLinkStatic::WindowProc(msg, wParam, lParam);
}
