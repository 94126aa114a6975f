// Controls of this library are created from code. A dialog template marks
// where one goes with an ordinary control (a static, usually); the control
// is then created over it: same parent, id, place, text, font and
// visibility, at the same place in the tab order, and the placeholder is
// destroyed.
#pragma once

#include <windows.h>

#include <string>

struct PLACEHOLDER {
    HWND parent;
    int id;
    RECT rect; // in the parent's client coordinates
    std::wstring text;
    HFONT font;
    DWORD style; // the placeholder's window style
};

// Reads what the new control takes over; false when `placeholder` is not a
// child window.
bool ReadPlaceholder(HWND placeholder, PLACEHOLDER* info);

// Puts `control` where `placeholder` is in the z-order (and tab order), gives
// it the placeholder's font and destroys the placeholder.
void ReplacePlaceholder(HWND placeholder, HWND control, HFONT font);
