#include "controls/ControlDraw.h"

#include "base/Strings.h"

namespace {

LOGFONTW MessageLogFont()
{
    NONCLIENTMETRICSW ncm = {};
    ncm.cbSize = sizeof(ncm);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0)) {
        LOGFONTW lf = {};
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
        return lf;
    }
    return ncm.lfMessageFont;
}

} // namespace

HFONT DeriveFont(HFONT base, bool bold, bool underline)
{
    LOGFONTW lf;
    if (!base || GetObjectW(base, sizeof(lf), &lf) != sizeof(lf))
        lf = MessageLogFont();
    if (bold)
        lf.lfWeight = FW_BOLD;
    lf.lfUnderline = underline ? TRUE : FALSE;
    return CreateFontIndirectW(&lf);
}

HFONT DefaultUiFont()
{
    // Created once and kept for the life of the program, like a stock font.
    static HFONT font = [] {
        LOGFONTW lf = MessageLogFont();
        return CreateFontIndirectW(&lf);
    }();
    return font;
}

void FillParentBackground(HWND control, HDC dc, const RECT& rect)
{
    HWND parent = GetParent(control);
    HBRUSH brush = nullptr;
    if (parent)
        brush = reinterpret_cast<HBRUSH>(SendMessageW(parent, WM_CTLCOLORSTATIC,
                                                      reinterpret_cast<WPARAM>(dc),
                                                      reinterpret_cast<LPARAM>(control)));
    FillRect(dc, &rect, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
}

HBITMAP LoadResourceBitmap(UINT id)
{
    return static_cast<HBITMAP>(LoadImageW(ui::ResourceModule(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0,
                                           LR_CREATEDIBSECTION));
}

SIZE BitmapSize(HBITMAP bitmap)
{
    BITMAP bm = {};
    if (!bitmap || !GetObjectW(bitmap, sizeof(bm), &bm))
        return SIZE{ 0, 0 };
    return SIZE{ bm.bmWidth, bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight };
}

void DrawTransparentBitmap(HDC dc, HBITMAP bitmap, int x, int y)
{
    SIZE size = BitmapSize(bitmap);
    if (!size.cx)
        return;
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, bitmap);
    COLORREF key = GetPixel(mem, 0, 0);
    TransparentBlt(dc, x, y, size.cx, size.cy, mem, 0, 0, size.cx, size.cy, key);
    SelectObject(mem, old);
    DeleteDC(mem);
}
