#include "controls/ReportList.h"

#include "base/Handles.h"
#include "ui/Palette.h"

namespace {

const UINT_PTR kSubclassId = 0x524C; // "RL"

} // namespace

CReportList::~CReportList()
{
    if (m_hWnd && IsWindow(m_hWnd))
        RemoveWindowSubclass(m_hWnd, SubclassProc, kSubclassId);
}

bool CReportList::Attach(HWND list, DWORD extendedStyles)
{
    if (!CListView::Attach(list, LVS_EX_FULLROWSELECT | extendedStyles))
        return false;
    SetWindowSubclass(m_hWnd, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    return true;
}

bool CReportList::HandleCustomDraw(NMHDR* header, LRESULT* result) const
{
    if (!header || header->hwndFrom != m_hWnd || header->code != NM_CUSTOMDRAW)
        return false;
    auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        *result = CDRF_NOTIFYITEMDRAW;
        return true;
    case CDDS_ITEMPREPAINT:
        if (draw->nmcd.dwItemSpec % 2 == 1)
            draw->clrTextBk = ui::palette::kShadedRow;
        *result = CDRF_DODEFAULT;
        return true;
    }
    *result = CDRF_DODEFAULT;
    return true;
}

LRESULT CReportList::DrawHeader(NMCUSTOMDRAW* draw)
{
    switch (draw->dwDrawStage) {
    case CDDS_PREPAINT: {
        // The part right of the last column in the same face.
        RECT client;
        GetClientRect(draw->hdr.hwndFrom, &client);
        ui::CBrush face(CreateSolidBrush(ui::palette::kBand));
        FillRect(draw->hdc, &client, face.Get());
        return CDRF_NOTIFYITEMDRAW;
    }
    case CDDS_ITEMPREPAINT: {
        HDC dc = draw->hdc;
        RECT r = draw->rc;
        ui::CBrush face(CreateSolidBrush(ui::palette::kBand));
        FillRect(dc, &r, face.Get());
        ui::CPen line(CreatePen(PS_SOLID, 1, ui::palette::kFrame));
        HGDIOBJ oldPen = SelectObject(dc, line.Get());
        MoveToEx(dc, r.left, r.bottom - 1, nullptr);
        LineTo(dc, r.right, r.bottom - 1);
        MoveToEx(dc, r.right - 1, r.top + 3, nullptr);
        LineTo(dc, r.right - 1, r.bottom - 3);
        SelectObject(dc, oldPen);

        wchar_t text[128] = {};
        HDITEMW item = {};
        item.mask = HDI_TEXT;
        item.pszText = text;
        item.cchTextMax = 128;
        SendMessageW(draw->hdr.hwndFrom, HDM_GETITEMW, draw->dwItemSpec, reinterpret_cast<LPARAM>(&item));
        RECT textRect = r;
        InflateRect(&textRect, -6, 0);
        if (draw->uItemState & CDIS_SELECTED)
            OffsetRect(&textRect, 1, 1);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        DrawTextW(dc, text, -1, &textRect, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
        return CDRF_SKIPDEFAULT;
    }
    }
    return CDRF_DODEFAULT;
}

LRESULT CALLBACK CReportList::SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                           DWORD_PTR selfData)
{
    auto* self = reinterpret_cast<CReportList*>(selfData);
    switch (msg) {
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        HWND headerWnd = reinterpret_cast<HWND>(SendMessageW(hwnd, LVM_GETHEADER, 0, 0));
        if (header && header->hwndFrom == headerWnd && header->code == NM_CUSTOMDRAW)
            return self->DrawHeader(reinterpret_cast<NMCUSTOMDRAW*>(header));
        break;
    }
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, SubclassProc, id);
        if (self->m_hWnd == hwnd)
            self->m_hWnd = nullptr;
        break;
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}
