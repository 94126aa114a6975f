// CVxControl: base of the controls that draw themselves. It answers
// WM_ERASEBKGND (Paint covers the whole client area, so nothing flickers)
// and WM_PAINT, which calls Paint with the paint device context.
#pragma once

#include "ui/Window.h"

#include <windows.h>

class CVxControl : public ui::CWindow {
protected:
    // Creates the control as child `id` of `parent` over `rect`; of `style`
    // only WS_VISIBLE, WS_DISABLED and `extraStyles` are taken (WS_CHILD is
    // always set).
    bool CreateChild(const wchar_t* className, HCURSOR cursor, HWND parent, int id, const RECT& rect,
                     const wchar_t* text, DWORD style, DWORD extraStyles = 0);

    virtual void Paint(HDC dc) = 0;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
};
