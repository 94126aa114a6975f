// CVxControl: base of the controls that draw themselves. It answers
// WM_ERASEBKGND (Paint covers the whole client area, so nothing flickers)
// and WM_PAINT, which calls Paint with the paint device context.
#pragma once

#include "ui/Window.h"

class CVxControl : public ui::CWindow {
protected:
    virtual void Paint(HDC dc) = 0;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
};
