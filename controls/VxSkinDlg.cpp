#include "controls/VxSkinDlg.h"

#include "base/Strings.h"
#include "ui/Palette.h"

#include <windowsx.h>

#include <algorithm>

void TileBitmap(HDC dc, HBITMAP bitmap, const RECT& rect)
{
    BITMAP bm;
    if (!bitmap || !GetObjectW(bitmap, sizeof(bm), &bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0)
        return;
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, bitmap);
    for (int y = rect.top; y < rect.bottom; y += bm.bmHeight)
        for (int x = rect.left; x < rect.right; x += bm.bmWidth)
            BitBlt(dc, x, y, std::min<int>(bm.bmWidth, rect.right - x), std::min<int>(bm.bmHeight, rect.bottom - y),
                   mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
}

void CVxSkinDlg::LoadSkin(UINT caption, UINT border, UINT background)
{
    auto load = [](UINT id) {
        return static_cast<HBITMAP>(LoadImageW(ui::ResourceModule(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0));
    };
    m_caption.Reset(load(caption));
    m_border.Reset(load(border));
    m_background.Reset(load(background));
    m_backgroundBrush.Reset(m_background ? CreatePatternBrush(m_background.Get()) : nullptr);
}

void CVxSkinDlg::PaintSkin(HDC dc, const RECT& client)
{
    RECT body = client;
    body.top = kCaptionHeight;
    if (m_background)
        TileBitmap(dc, m_background.Get(), body);
    else
        FillRect(dc, &body, GetSysColorBrush(COLOR_BTNFACE));

    RECT band = { client.left, client.top, client.right, kCaptionHeight };
    if (m_caption)
        TileBitmap(dc, m_caption.Get(), band);
    else
        FillRect(dc, &band, GetSysColorBrush(COLOR_ACTIVECAPTION));
    int x = 6;
    if (m_captionIcon) {
        DrawIconEx(dc, x, (kCaptionHeight - 16) / 2, m_captionIcon, 16, 16, 0, nullptr, DI_NORMAL);
        x += 22;
    }
    wchar_t title[128] = {};
    GetWindowTextW(m_hWnd, title, 128);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
    LOGFONTW lf = {};
    GetObjectW(font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
    lf.lfWeight = FW_BOLD;
    ui::CFont bold(CreateFontIndirectW(&lf));
    HGDIOBJ oldFont = SelectObject(dc, bold.Get());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ui::palette::kCaptionText);
    RECT text = { x, 0, client.right - 50, kCaptionHeight };
    DrawTextW(dc, title, -1, &text, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
    SelectObject(dc, oldFont);

    if (m_border) {
        int edge = 2;
        TileBitmap(dc, m_border.Get(), RECT{ client.left, kCaptionHeight, client.left + edge, client.bottom });
        TileBitmap(dc, m_border.Get(), RECT{ client.right - edge, kCaptionHeight, client.right, client.bottom });
        TileBitmap(dc, m_border.Get(), RECT{ client.left, client.bottom - edge, client.right, client.bottom });
    }
}

BOOL CVxSkinDlg::OnPaint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    RECT client;
    GetClientRect(m_hWnd, &client);
    if (IsIconic(m_hWnd)) {
        // Minimised: the window icon in the middle.
        HICON icon = reinterpret_cast<HICON>(SendMessageW(m_hWnd, WM_GETICON, ICON_BIG, 0));
        int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
        if (icon)
            DrawIcon(dc, (client.right - cx + 1) / 2, (client.bottom - cy + 1) / 2, icon);
    } else {
        PaintSkin(dc, client);
        PaintExtra(dc);
    }
    EndPaint(m_hWnd, &ps);
    return TRUE;
}

BOOL CVxSkinDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (msg) {
    case WM_ERASEBKGND:
        result = TRUE; // all painting happens in WM_PAINT
        return TRUE;
    case WM_NCHITTEST: {
        // The caption band moves the window, except where a child (the
        // caption buttons) sits.
        POINT pt = { GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam) };
        ScreenToClient(m_hWnd, &pt);
        if (pt.y < 0 || pt.y >= kCaptionHeight)
            return FALSE;
        HWND child = ChildWindowFromPointEx(m_hWnd, pt, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
        result = (!child || child == m_hWnd) ? HTCAPTION : HTCLIENT;
        return TRUE;
    }
    }
    return FALSE;
}

HBRUSH CVxSkinDlg::OnCtlColor(HDC dc, HWND control, UINT kind)
{
    if (kind == WM_CTLCOLORDLG)
        return m_backgroundBrush ? m_backgroundBrush.Get() : nullptr;
    if (kind == WM_CTLCOLORSTATIC && m_backgroundBrush) {
        // Labels on the skin show the skin through.
        SetBkMode(dc, TRANSPARENT);
        POINT origin = { 0, 0 };
        MapWindowPoints(control, m_hWnd, &origin, 1);
        SetBrushOrgEx(dc, -origin.x, -origin.y, nullptr);
        return m_backgroundBrush.Get();
    }
    return nullptr;
}
