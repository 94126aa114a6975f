#include "gui/TestWindow.h"

namespace gui {

HWND CreateTestWindow(const wchar_t* className, WNDPROC proc, const wchar_t* title, DWORD style, int x, int y,
                      int cx, int cy)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = className;
    RegisterClassW(&wc);
    return CreateWindowExW(0, className, title, style, x, y, cx, cy, nullptr, nullptr, wc.hInstance, nullptr);
}

} // namespace gui
