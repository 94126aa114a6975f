// CVxSkinButton: a push button drawn from bitmaps (normal, hover, pressed)
// or, without bitmaps, flat: its text on the parent's background, framed and
// tinted while the mouse is over it. An optional tooltip. A click (press and
// release over the button) sends WM_COMMAND with BN_CLICKED and the button's
// id to the parent, as a push button does.
#pragma once

#include "base/Handles.h"
#include "controls/VxControl.h"

#include <windows.h>

#include <string>

class CVxSkinButton : public CVxControl {
public:
    enum State { Normal, Hover, Pressed };

    bool Create(HWND parent, int id, const RECT& rect, const std::wstring& text = std::wstring(),
                DWORD style = WS_VISIBLE);
    bool CreateOver(HWND placeholder);

    // Bitmap resources for the three looks; 0 for hover or pressed reuses
    // the previous look. With no normal bitmap the button is drawn flat.
    // False when a named bitmap cannot be loaded.
    bool SetImages(UINT normal, UINT hover, UINT pressed = 0);
    void SetTooltip(const std::wstring& text);
    const std::wstring& Tooltip() const { return m_tooltipText; }
    HWND TooltipWindow() const { return m_tooltip; }

    State CurrentState() const;
    // The bitmap drawn for the current state (null when drawn flat).
    HBITMAP CurrentImage() const;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void Paint(HDC dc) override;
    void PaintFlat(HDC dc, const RECT& client);
    void SetHover(bool hover);

    ui::CBitmap m_images[3];
    HFONT m_font = nullptr;
    bool m_hover = false;
    bool m_pressed = false; // mouse captured after a press
    HWND m_tooltip = nullptr; // destroyed with the button (WM_DESTROY)
    std::wstring m_tooltipText;
};
