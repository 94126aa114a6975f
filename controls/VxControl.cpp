#include "controls/VxControl.h"

bool CVxControl::CreateChild(const wchar_t* className, HCURSOR cursor, HWND parent, int id, const RECT& rect,
                             const wchar_t* text, DWORD style, DWORD extraStyles)
{
    return Create(className, 0, cursor, nullptr, text, WS_CHILD | (style & (WS_VISIBLE | WS_DISABLED | extraStyles)), 0,
                  rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
}

LRESULT CVxControl::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_hWnd, &ps);
        Paint(dc);
        EndPaint(m_hWnd, &ps);
        return 0;
    }
    }
    return CWindow::WindowProc(msg, wParam, lParam);
}
