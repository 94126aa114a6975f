// A top-level window for a test to put its controls, pages or balloons in.
#pragma once

#include <windows.h>

namespace gui {
// Registers `className` once (white background, `proc` as its window
// procedure) and creates a window of it with this title, style and place.
HWND CreateTestWindow(const wchar_t* className, WNDPROC proc, const wchar_t* title, DWORD style, int x, int y,
                      int cx, int cy);
} // namespace gui
