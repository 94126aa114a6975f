#include "controls/BalloonHelp.h"

#include "controls/ControlDraw.h"
#include "ui/Palette.h"

#include <algorithm>

namespace {

constexpr UINT_PTR kCloseTimer = 1;
constexpr int kStemHeight = 16;   // from the body's edge to the tip
constexpr int kStemWidth = 16;    // width of the stem where it meets the body
constexpr int kStemInset = 24;    // tip's distance from the body's near end
constexpr int kCorner = 14;       // ellipse size of the rounded corners
constexpr int kPad = 10;
constexpr int kGap = 6;
constexpr int kMaxTextWidth = 360;

CBalloonHelp* s_balloon = nullptr;
UINT s_timeout = 5000;
UINT s_notifyMessage = 0;

std::wstring WithoutTrailingBreaks(std::wstring text)
{
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r'))
        text.pop_back();
    return text;
}

SIZE MeasureText(HDC dc, HFONT font, const std::wstring& text, UINT flags, int maxWidth)
{
    if (text.empty())
        return SIZE{ 0, 0 };
    HGDIOBJ old = SelectObject(dc, font);
    RECT r = { 0, 0, maxWidth, 0 };
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, flags | DT_CALCRECT | DT_NOPREFIX);
    SelectObject(dc, old);
    return SIZE{ r.right - r.left, r.bottom - r.top };
}

} // namespace

void CBalloonHelp::SetTimeout(UINT milliseconds)
{
    s_timeout = milliseconds;
}

UINT CBalloonHelp::Timeout()
{
    return s_timeout;
}

void CBalloonHelp::SetNotifyMessage(UINT message)
{
    s_notifyMessage = message;
}

HWND CBalloonHelp::Current()
{
    return s_balloon ? s_balloon->Hwnd() : nullptr;
}

CBalloonHelp* CBalloonHelp::Instance()
{
    return s_balloon;
}

void CBalloonHelp::Close()
{
    // DestroyWindow itself, not CWindow::Destroy: the object deletes itself
    // while the window goes, and Destroy would touch it afterwards.
    if (s_balloon)
        DestroyWindow(s_balloon->Hwnd());
}

void CBalloonHelp::Show(HWND owner, int kind, const std::wstring& title, const std::wstring& text,
                        const std::wstring& footer, POINT anchor)
{
    CBalloonHelp* balloon = s_balloon;
    if (!balloon) {
        balloon = new CBalloonHelp;
        if (!balloon->CreateWindowOnce()) {
            delete balloon;
            return;
        }
        s_balloon = balloon;
    }
    balloon->m_owner = owner;
    balloon->m_kind = kind;
    balloon->m_title = title;
    balloon->m_text = text;
    balloon->m_footer = footer;
    balloon->m_anchor = anchor;
    balloon->m_linkPressed = false;
    balloon->Layout();
    const RECT& w = balloon->m_place.window;
    SetWindowPos(balloon->Hwnd(), HWND_TOPMOST, w.left, w.top, w.right - w.left, w.bottom - w.top,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
    InvalidateRect(balloon->Hwnd(), nullptr, TRUE);
    SetTimer(balloon->Hwnd(), kCloseTimer, s_timeout, nullptr); // replaces a running timer
}

bool CBalloonHelp::CreateWindowOnce()
{
    if (!Create(L"HmBalloonHelp", CS_DROPSHADOW, LoadCursorW(nullptr, IDC_ARROW), nullptr, L"", WS_POPUP,
                WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, 0, 0, 0, 0, nullptr, nullptr))
        return false;
    m_textFont.Reset(DeriveFont(nullptr, false, false));
    m_titleFont.Reset(DeriveFont(nullptr, true, false));
    m_linkFont.Reset(DeriveFont(nullptr, false, true));
    return true;
}

BALLOON_PLACEMENT CBalloonHelp::Place(SIZE body, POINT anchor, const RECT& screen)
{
    BALLOON_PLACEMENT p = {};
    const int height = body.cy + kStemHeight;
    p.above = anchor.y >= (screen.top + screen.bottom) / 2;
    int top = p.above ? anchor.y - height + 1 : anchor.y;
    top = std::max<int>(screen.top, std::min<int>(top, screen.bottom - height));

    const bool onRight = anchor.x >= (screen.left + screen.right) / 2;
    int left = onRight ? anchor.x - (body.cx - kStemInset) : anchor.x - kStemInset;
    left = std::max<int>(screen.left, std::min<int>(left, screen.right - body.cx));
    p.window = RECT{ left, top, left + body.cx, top + height };

    const int tipX = std::max(0, std::min<int>(anchor.x - left, body.cx - 1));
    const int tipY = std::max(0, std::min<int>(anchor.y - top, height - 1));
    int base = onRight ? tipX - kStemWidth : tipX;
    base = std::max(kCorner / 2, std::min(base, static_cast<int>(body.cx) - kCorner / 2 - kStemWidth));
    if (p.above) {
        p.body = RECT{ 0, 0, body.cx, body.cy };
        p.stem[0] = POINT{ base, body.cy - 2 };
        p.stem[1] = POINT{ base + kStemWidth, body.cy - 2 };
    } else {
        p.body = RECT{ 0, kStemHeight, body.cx, height };
        p.stem[0] = POINT{ base, kStemHeight + 1 };
        p.stem[1] = POINT{ base + kStemWidth, kStemHeight + 1 };
    }
    p.stem[2] = POINT{ tipX, tipY };
    return p;
}

void CBalloonHelp::Layout()
{
    HDC dc = GetDC(m_hWnd);
    const int icon = GetSystemMetrics(SM_CXSMICON);
    const std::wstring text = WithoutTrailingBreaks(m_text);
    SIZE title = MeasureText(dc, m_titleFont.Get(), m_title, DT_SINGLELINE, kMaxTextWidth);
    SIZE body = MeasureText(dc, m_textFont.Get(), text, DT_WORDBREAK | DT_EXPANDTABS, kMaxTextWidth);
    SIZE footer = MeasureText(dc, m_linkFont.Get(), m_footer, DT_SINGLELINE, kMaxTextWidth);
    ReleaseDC(m_hWnd, dc);

    const int titleRow = std::max<int>(icon, title.cy);
    const int contentWidth = std::max({ static_cast<int>(icon + kGap + title.cx), static_cast<int>(body.cx),
                                        static_cast<int>(footer.cx), 120 });
    SIZE size;
    size.cx = 2 * kPad + contentWidth;
    size.cy = kPad + titleRow + (body.cy ? kGap + body.cy : 0) + (footer.cy ? kGap + footer.cy : 0) + kPad;

    HMONITOR monitor = MonitorFromPoint(m_anchor, MONITOR_DEFAULTTONEAREST);
    MONITORINFO mi = {};
    mi.cbSize = sizeof(mi);
    RECT screen = { 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN) };
    if (GetMonitorInfoW(monitor, &mi))
        screen = mi.rcMonitor;
    m_place = Place(size, m_anchor, screen);

    const int x = m_place.body.left + kPad;
    int y = m_place.body.top + kPad;
    m_iconRect = RECT{ x, y + (titleRow - icon) / 2, x + icon, y + (titleRow - icon) / 2 + icon };
    m_titleRect = RECT{ x + icon + kGap, y + (titleRow - title.cy) / 2, x + contentWidth,
                        y + (titleRow - title.cy) / 2 + title.cy };
    y += titleRow;
    m_textRect = RECT{ x, y, x + contentWidth, y };
    if (body.cy) {
        y += kGap;
        m_textRect = RECT{ x, y, x + contentWidth, y + body.cy };
        y += body.cy;
    }
    m_footerRect = RECT{};
    if (footer.cy) {
        y += kGap;
        m_footerRect = RECT{ x, y, x + footer.cx, y + footer.cy };
    }

    // The window's shape: the rounded body with the stem joined to it.
    HRGN shape = CreateRoundRectRgn(m_place.body.left, m_place.body.top, m_place.body.right + 1,
                                    m_place.body.bottom + 1, kCorner, kCorner);
    HRGN stem = CreatePolygonRgn(m_place.stem, 3, WINDING);
    CombineRgn(shape, shape, stem, RGN_OR);
    DeleteObject(stem);
    HRGN copy = CreateRectRgn(0, 0, 0, 0);
    CombineRgn(copy, shape, nullptr, RGN_COPY);
    m_shape.Reset(copy);
    SetWindowRgn(m_hWnd, shape, TRUE); // the system owns `shape` from here
}

void CBalloonHelp::Paint(HDC dc)
{
    HBRUSH back = GetSysColorBrush(COLOR_INFOBK);
    ui::CBrush frame(CreateSolidBrush(ui::palette::kBalloonFrame));
    FillRgn(dc, m_shape.Get(), back);
    FrameRgn(dc, m_shape.Get(), frame.Get(), 1, 1);

    const int icon = GetSystemMetrics(SM_CXSMICON);
    HICON info = static_cast<HICON>(LoadImageW(nullptr, IDI_INFORMATION, IMAGE_ICON, icon, icon, LR_SHARED));
    if (info)
        DrawIconEx(dc, m_iconRect.left, m_iconRect.top, info, icon, icon, 0, nullptr, DI_NORMAL);

    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
    HGDIOBJ old = SelectObject(dc, m_titleFont.Get());
    RECT r = m_titleRect;
    DrawTextW(dc, m_title.c_str(), static_cast<int>(m_title.size()), &r, DT_SINGLELINE | DT_NOPREFIX);
    const std::wstring text = WithoutTrailingBreaks(m_text);
    SelectObject(dc, m_textFont.Get());
    r = m_textRect;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    if (!m_footer.empty()) {
        SelectObject(dc, m_linkFont.Get());
        SetTextColor(dc, ui::palette::kLinkText);
        r = m_footerRect;
        DrawTextW(dc, m_footer.c_str(), static_cast<int>(m_footer.size()), &r, DT_SINGLELINE | DT_NOPREFIX);
    }
    SelectObject(dc, old);
}

void CBalloonHelp::FooterClicked()
{
    HWND owner = m_owner;
    const int kind = m_kind;
    DestroyWindow(m_hWnd); // deletes this object
    if (owner && ::IsWindow(owner) && s_notifyMessage)
        PostMessageW(owner, s_notifyMessage, static_cast<WPARAM>(kind), 0);
}

LRESULT CBalloonHelp::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_SETCURSOR: {
        POINT p;
        GetCursorPos(&p);
        ScreenToClient(m_hWnd, &p);
        SetCursor(LoadCursorW(nullptr, PtInRect(&m_footerRect, p) ? IDC_HAND : IDC_ARROW));
        return TRUE;
    }
    case WM_LBUTTONDOWN: {
        POINT p = { static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)) };
        m_linkPressed = PtInRect(&m_footerRect, p) != FALSE;
        return 0;
    }
    case WM_LBUTTONUP: {
        POINT p = { static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)) };
        const bool click = m_linkPressed && PtInRect(&m_footerRect, p);
        m_linkPressed = false;
        if (click)
            FooterClicked();
        return 0;
    }
    case WM_TIMER:
        if (wParam == kCloseTimer) {
            DestroyWindow(m_hWnd); // deletes this object
            return 0;
        }
        break;
    }
    return CVxControl::WindowProc(msg, wParam, lParam);
}

void CBalloonHelp::OnFinalMessage()
{
    if (s_balloon == this) {
        s_balloon = nullptr;
        delete this;
    }
}
