#include "controls/VxTab.h"

#include "controls/ControlDraw.h"
#include "controls/Placeholder.h"
#include "ui/Palette.h"

namespace {

constexpr int kTabHeight = 36;
constexpr int kTopMargin = 4;
constexpr int kPictureLeft = 8;

} // namespace

bool CVxTab::Create(HWND parent, int id, const RECT& rect, DWORD style)
{
    return CreateChild(L"HmVxTab", LoadCursorW(nullptr, IDC_ARROW), parent, id, rect, L"", style);
}

bool CVxTab::CreateOver(HWND placeholder)
{
    PLACEHOLDER p;
    if (!ReadPlaceholder(placeholder, &p) || !Create(p.parent, p.id, p.rect, p.style))
        return false;
    ReplacePlaceholder(placeholder, m_hWnd, p.font);
    return true;
}

int CVxTab::AddTab(const std::wstring& text, UINT bitmapId)
{
    auto tab = std::make_unique<Tab>();
    tab->text = text;
    if (bitmapId)
        tab->bitmap.Reset(LoadResourceBitmap(bitmapId));
    m_tabs.push_back(std::move(tab));
    if (m_hWnd)
        InvalidateRect(m_hWnd, nullptr, FALSE);
    return GetCount() - 1;
}

std::wstring CVxTab::GetTabText(int index) const
{
    if (index < 0 || index >= GetCount())
        return std::wstring();
    return m_tabs[static_cast<size_t>(index)]->text;
}

RECT CVxTab::GetTabRect(int index) const
{
    RECT r = {};
    if (index < 0 || index >= GetCount() || !m_hWnd)
        return r;
    RECT client;
    GetClientRect(m_hWnd, &client);
    r.left = 0;
    r.right = client.right;
    r.top = kTopMargin + index * kTabHeight;
    r.bottom = r.top + kTabHeight;
    return r;
}

int CVxTab::HitTest(POINT point) const
{
    for (int i = 0; i < GetCount(); ++i) {
        RECT r = GetTabRect(i);
        if (PtInRect(&r, point))
            return i;
    }
    return -1;
}

bool CVxTab::SetCurSel(int index)
{
    if (index < -1 || index >= GetCount())
        return false;
    m_current = index;
    if (m_hWnd)
        InvalidateRect(m_hWnd, nullptr, FALSE);
    return true;
}

void CVxTab::PaintTab(HDC dc, int index, const RECT& r)
{
    const bool selected = index == m_current;
    if (selected) {
        // The selected tab is open on the right, towards its page.
        ui::CBrush fill(CreateSolidBrush(ui::palette::kPageGround));
        ui::CPen frame(CreatePen(PS_SOLID, 1, ui::palette::kFrame));
        FillRect(dc, &r, fill.Get());
        HGDIOBJ oldPen = SelectObject(dc, frame.Get());
        MoveToEx(dc, r.right, r.top, nullptr);
        LineTo(dc, r.left + 2, r.top);
        LineTo(dc, r.left + 2, r.bottom - 1);
        LineTo(dc, r.right, r.bottom - 1);
        SelectObject(dc, oldPen);
    } else {
        ui::CPen line(CreatePen(PS_SOLID, 1, ui::palette::kLightLine));
        HGDIOBJ oldPen = SelectObject(dc, line.Get());
        MoveToEx(dc, r.left + 8, r.bottom - 1, nullptr);
        LineTo(dc, r.right - 8, r.bottom - 1);
        SelectObject(dc, oldPen);
    }
    const Tab& tab = *m_tabs[static_cast<size_t>(index)];
    int textLeft = r.left + kPictureLeft;
    if (tab.bitmap) {
        SIZE size = BitmapSize(tab.bitmap.Get());
        DrawTransparentBitmap(dc, tab.bitmap.Get(), textLeft, r.top + (r.bottom - r.top - size.cy) / 2);
        textLeft += size.cx + 6;
    }
    RECT t = { textLeft, r.top, r.right - 2, r.bottom };
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, IsWindowEnabled(m_hWnd) ? ui::palette::kNavyText : GetSysColor(COLOR_GRAYTEXT));
    HFONT font = m_font ? m_font : DefaultUiFont();
    if (selected) {
        if (!m_boldFont)
            m_boldFont.Reset(DeriveFont(font, true, false));
        font = m_boldFont.Get();
    }
    HGDIOBJ oldFont = SelectObject(dc, font);
    DrawTextW(dc, tab.text.c_str(), static_cast<int>(tab.text.size()), &t,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(dc, oldFont);
}

void CVxTab::Paint(HDC dc)
{
    RECT client;
    GetClientRect(m_hWnd, &client);
    // Drawn off screen and copied at once: no flicker when the selection moves.
    HDC mem = CreateCompatibleDC(dc);
    ui::CBitmap canvas(CreateCompatibleBitmap(dc, client.right, client.bottom));
    HGDIOBJ old = SelectObject(mem, canvas.Get());
    ui::CBrush strip(CreateSolidBrush(ui::palette::kBand));
    FillRect(mem, &client, strip.Get());
    for (int i = 0; i < GetCount(); ++i) {
        RECT r = GetTabRect(i);
        PaintTab(mem, i, r);
    }
    BitBlt(dc, 0, 0, client.right, client.bottom, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
}

LRESULT CVxTab::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_LBUTTONDOWN: {
        POINT p = { static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)) };
        const int index = HitTest(p);
        if (index >= 0) {
            SetCurSel(index);
            if (m_notifyMessage)
                PostMessageW(GetParent(m_hWnd), m_notifyMessage, static_cast<WPARAM>(index), 0);
        }
        return 0;
    }
    case WM_SETFONT:
        m_font = reinterpret_cast<HFONT>(wParam);
        m_boldFont.Reset();
        if (LOWORD(lParam))
            InvalidateRect(m_hWnd, nullptr, FALSE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(m_font);
    }
    return CVxControl::WindowProc(msg, wParam, lParam);
}
