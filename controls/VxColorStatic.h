// CVxColorStatic: a text label with its own text and background colours.
// Without colours of its own it draws like a static control: on the
// background and in the text colour its parent answers to WM_CTLCOLORSTATIC.
// Alignment and wrapping follow the static styles SS_LEFT, SS_CENTER,
// SS_RIGHT, SS_LEFTNOWORDWRAP and SS_NOPREFIX. Text and font change through
// WM_SETTEXT and WM_SETFONT (SetDlgItemText works).
#pragma once

#include "controls/ControlDraw.h"
#include "controls/VxControl.h"

#include <windows.h>

#include <string>

class CVxColorStatic : public CVxControl {
public:
    CVxColorStatic() = default;

    // Creates the label as a child of `parent`; `style` adds WS_VISIBLE and
    // the static styles above. False on failure.
    bool Create(HWND parent, int id, const RECT& rect, const std::wstring& text, DWORD style = WS_VISIBLE);
    // Creates the label over a placeholder control (see Placeholder.h).
    bool CreateOver(HWND placeholder);

    // kParentColour: the parent's colour.
    void SetTextColour(COLORREF colour);
    void SetBackColour(COLORREF colour);
    COLORREF TextColour() const { return m_textColour; }
    COLORREF BackColour() const { return m_backColour; }
    std::wstring Text() const;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    virtual const wchar_t* ClassName() const { return L"HmVxColorStatic"; }
    virtual HCURSOR Cursor() const { return LoadCursorW(nullptr, IDC_ARROW); }
    // The font the text is drawn with.
    virtual HFONT DrawFont() const;
    virtual void FontChanged() {}

    HFONT m_font = nullptr; // set with WM_SETFONT, not owned
    COLORREF m_textColour = kParentColour;
    COLORREF m_backColour = kParentColour;

private:
    void Paint(HDC dc) override;
};
