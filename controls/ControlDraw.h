// Drawing helpers the controls share: fonts derived from the system's or a
// window's font, the background a parent gives its static children, and
// bitmaps loaded from the program's resources.
#pragma once

#include <windows.h>

// A colour that is not set: the control takes its parent's colour.
constexpr COLORREF kParentColour = CLR_INVALID;

// A new font like `base` (the system's message font when null), bold and/or
// underlined as asked. The caller owns it.
HFONT DeriveFont(HFONT base, bool bold, bool underline);

// The font a window draws with: the one set with WM_SETFONT, or the
// system's message font (shared, not to be deleted) when none was set.
HFONT DefaultUiFont();

// Paints `rect` with the brush the parent of `control` answers to
// WM_CTLCOLORSTATIC (the parent's background for statics), or with the
// dialog colour when the parent gives none. Leaves the DC's text colour and
// background mode as the parent set them.
void FillParentBackground(HWND control, HDC dc, const RECT& rect);

// A bitmap resource of the program (null when there is none). The caller
// owns it.
HBITMAP LoadResourceBitmap(UINT id);

// Size of a bitmap, (0, 0) for null.
SIZE BitmapSize(HBITMAP bitmap);

// Draws `bitmap` at (x, y) with the colour of its top-left pixel transparent.
void DrawTransparentBitmap(HDC dc, HBITMAP bitmap, int x, int y);
