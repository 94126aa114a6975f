#include "controls/VxProgress.h"

#include "base/Handles.h"
#include "controls/Placeholder.h"
#include "ui/Palette.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdint>

namespace {

constexpr int kBorder = 2; // frame line and a pixel of space inside it
constexpr int kGap = 2;

} // namespace

int ProgressBlocks(int lo, int hi, int pos, int width, int block, int gap, int* total)
{
    *total = 0;
    if (width <= 0 || block <= 0 || gap < 0)
        return 0;
    const int64_t pitch = static_cast<int64_t>(block) + gap;
    *total = static_cast<int>((width + pitch - 1) / pitch);
    if (hi <= lo)
        return 0;
    pos = std::max(lo, std::min(pos, hi));
    const int64_t filledWidth = static_cast<int64_t>(width) * (static_cast<int64_t>(pos) - lo) /
                                (static_cast<int64_t>(hi) - lo);
    const int filled = static_cast<int>((filledWidth + pitch - 1) / pitch);
    return std::min(filled, *total);
}

bool CVxProgress::Create(HWND parent, int id, const RECT& rect, DWORD style)
{
    return CreateChild(L"HmVxProgress", LoadCursorW(nullptr, IDC_ARROW), parent, id, rect, L"", style);
}

bool CVxProgress::CreateOver(HWND placeholder)
{
    PLACEHOLDER p;
    if (!ReadPlaceholder(placeholder, &p) || !Create(p.parent, p.id, p.rect, p.style))
        return false;
    ReplacePlaceholder(placeholder, m_hWnd, nullptr);
    return true;
}

int CVxProgress::Clamp(int pos) const
{
    return std::max(m_lo, std::min(pos, m_hi));
}

int CVxProgress::BlockWidth() const
{
    RECT client;
    GetClientRect(m_hWnd, &client);
    return std::max<int>(4, (client.bottom - 2 * kBorder) * 2 / 3);
}

int CVxProgress::FilledBlocks(int* total) const
{
    RECT client;
    GetClientRect(m_hWnd, &client);
    return ProgressBlocks(m_lo, m_hi, m_pos, client.right - 2 * kBorder, BlockWidth(), kGap, total);
}

int CVxProgress::MovePos(int pos)
{
    const int previous = m_pos;
    m_pos = Clamp(pos);
    if (m_pos != previous)
        InvalidateRect(m_hWnd, nullptr, FALSE);
    return previous;
}

void CVxProgress::Paint(HDC dc)
{
    RECT client;
    GetClientRect(m_hWnd, &client);
    HDC mem = CreateCompatibleDC(dc);
    ui::CBitmap canvas(CreateCompatibleBitmap(dc, client.right, client.bottom));
    HGDIOBJ old = SelectObject(mem, canvas.Get());

    ui::CBrush frame(CreateSolidBrush(ui::palette::kFrame));
    ui::CBrush blockBrush(CreateSolidBrush(IsWindowEnabled(m_hWnd) ? ui::palette::kProgressBlock : GetSysColor(COLOR_GRAYTEXT)));
    FillRect(mem, &client, GetSysColorBrush(COLOR_WINDOW));
    FrameRect(mem, &client, frame.Get());

    int total = 0;
    const int filled = FilledBlocks(&total);
    const int block = BlockWidth();
    RECT inner = { kBorder, kBorder, client.right - kBorder, client.bottom - kBorder };
    for (int i = 0; i < filled; ++i) {
        RECT b = { inner.left + i * (block + kGap), inner.top, 0, inner.bottom };
        b.right = std::min<int>(b.left + block, inner.right);
        FillRect(mem, &b, blockBrush.Get());
    }
    BitBlt(dc, 0, 0, client.right, client.bottom, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
}

LRESULT CVxProgress::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case PBM_SETRANGE: // 16-bit bounds; returns the old ones packed the same way
    case PBM_SETRANGE32: {
        const LRESULT old = MAKELONG(static_cast<WORD>(m_lo), static_cast<WORD>(m_hi));
        int lo = msg == PBM_SETRANGE ? static_cast<int>(LOWORD(lParam)) : static_cast<int>(wParam);
        int hi = msg == PBM_SETRANGE ? static_cast<int>(HIWORD(lParam)) : static_cast<int>(lParam);
        if (hi < lo)
            std::swap(lo, hi);
        m_lo = lo;
        m_hi = hi;
        m_pos = Clamp(m_pos);
        InvalidateRect(m_hWnd, nullptr, FALSE);
        return old;
    }
    case PBM_GETRANGE: {
        auto* range = reinterpret_cast<PBRANGE*>(lParam);
        if (range) {
            range->iLow = m_lo;
            range->iHigh = m_hi;
        }
        return wParam ? m_lo : m_hi;
    }
    case PBM_SETPOS:
        return MovePos(static_cast<int>(wParam));
    case PBM_GETPOS:
        return m_pos;
    case PBM_DELTAPOS:
        return MovePos(m_pos + static_cast<int>(wParam));
    case PBM_SETSTEP: {
        const int old = m_step;
        m_step = static_cast<int>(wParam);
        return old;
    }
    case PBM_STEPIT: {
        // As the common control does: past the end the position wraps to the start.
        int next = m_pos + m_step;
        if (next > m_hi)
            next = m_lo + (next - m_hi);
        else if (next < m_lo)
            next = m_hi - (m_lo - next);
        return MovePos(next);
    }
    case WM_ENABLE:
        InvalidateRect(m_hWnd, nullptr, FALSE);
        return 0;
    }
    return CVxControl::WindowProc(msg, wParam, lParam);
}
