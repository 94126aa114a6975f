#include "controls/ReportList.h"

#include "base/Handles.h"

namespace {

const UINT_PTR kSubclassId = 0x524C; // "RL"
const COLORREF kHeaderFace = RGB(0xEF, 0xF3, 0xF7);
const COLORREF kHeaderLine = RGB(0x84, 0x96, 0xC6);
const COLORREF kShadedRow = RGB(0xF5, 0xF8, 0xFC);

} // namespace

CReportList::~CReportList()
{
    if (m_hWnd && IsWindow(m_hWnd))
        RemoveWindowSubclass(m_hWnd, SubclassProc, kSubclassId);
}

bool CReportList::Attach(HWND list, DWORD extendedStyles)
{
    wchar_t cls[32] = {};
    if (!list || !GetClassNameW(list, cls, 32) || lstrcmpiW(cls, WC_LISTVIEWW) != 0)
        return false;
    m_hWnd = list;
    const DWORD ex = LVS_EX_FULLROWSELECT | extendedStyles;
    SendMessageW(m_hWnd, LVM_SETEXTENDEDLISTVIEWSTYLE, ex, ex);
    SetWindowSubclass(m_hWnd, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    return true;
}

void CReportList::SetColumns(const std::vector<Column>& columns)
{
    while (SendMessageW(m_hWnd, LVM_DELETECOLUMN, 0, 0))
        ;
    for (size_t i = 0; i < columns.size(); ++i) {
        LVCOLUMNW col = {};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        col.pszText = const_cast<wchar_t*>(columns[i].header.c_str());
        col.cx = columns[i].width;
        col.iSubItem = static_cast<int>(i);
        SendMessageW(m_hWnd, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
    }
}

int CReportList::ColumnCount() const
{
    HWND header = reinterpret_cast<HWND>(SendMessageW(m_hWnd, LVM_GETHEADER, 0, 0));
    return header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

std::vector<int> CReportList::ColumnWidths() const
{
    std::vector<int> widths;
    for (int i = 0, n = ColumnCount(); i < n; ++i)
        widths.push_back(static_cast<int>(SendMessageW(m_hWnd, LVM_GETCOLUMNWIDTH, i, 0)));
    return widths;
}

bool CReportList::SetColumnWidths(const std::vector<int>& widths)
{
    if (static_cast<int>(widths.size()) != ColumnCount())
        return false;
    for (size_t i = 0; i < widths.size(); ++i)
        SendMessageW(m_hWnd, LVM_SETCOLUMNWIDTH, i, MAKELPARAM(widths[i], 0));
    return true;
}

bool CReportList::RestoreColumnWidths(const WindowStateKey& key, const wchar_t* name, NumberListRule rule)
{
    std::vector<int> widths;
    const int count = ColumnCount();
    if (count <= 0 || LoadColumnWidths(key, name, static_cast<size_t>(count), rule, &widths) != 0)
        return false;
    return SetColumnWidths(widths);
}

void CReportList::SaveColumnWidths(const WindowStateKey& key, const wchar_t* name) const
{
    if (m_hWnd && IsWindow(m_hWnd) && ColumnCount() > 0)
        ::SaveColumnWidths(key, name, ColumnWidths());
}

int CReportList::AddRow(const std::vector<std::wstring>& texts, LPARAM data, int image)
{
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM | (image >= 0 ? LVIF_IMAGE : 0);
    item.iItem = RowCount();
    item.pszText = const_cast<wchar_t*>(texts.empty() ? L"" : texts[0].c_str());
    item.lParam = data;
    item.iImage = image;
    const int row = static_cast<int>(SendMessageW(m_hWnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0)
        return -1;
    for (size_t col = 1; col < texts.size(); ++col)
        SetCell(row, static_cast<int>(col), texts[col]);
    return row;
}

void CReportList::SetCell(int row, int column, const std::wstring& text)
{
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(m_hWnd, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

std::wstring CReportList::Cell(int row, int column) const
{
    // The list copies at most the buffer; grow it until the text fits.
    for (int capacity = 256;; capacity *= 4) {
        std::wstring text(static_cast<size_t>(capacity), L'\0');
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = &text[0];
        item.cchTextMax = capacity;
        const int len = static_cast<int>(SendMessageW(m_hWnd, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
        if (len < capacity - 1 || capacity >= (1 << 20)) {
            text.resize(static_cast<size_t>(len));
            return text;
        }
    }
}

LPARAM CReportList::RowData(int row) const
{
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageW(m_hWnd, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return 0;
    return item.lParam;
}

int CReportList::RowCount() const
{
    return static_cast<int>(SendMessageW(m_hWnd, LVM_GETITEMCOUNT, 0, 0));
}

void CReportList::DeleteAllRows()
{
    SendMessageW(m_hWnd, LVM_DELETEALLITEMS, 0, 0);
}

std::vector<int> CReportList::SelectedRows() const
{
    std::vector<int> rows;
    for (int i = -1; (i = static_cast<int>(SendMessageW(m_hWnd, LVM_GETNEXTITEM, i, LVNI_SELECTED))) >= 0;)
        rows.push_back(i);
    return rows;
}

void CReportList::SelectRow(int row)
{
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(m_hWnd, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    SendMessageW(m_hWnd, LVM_ENSUREVISIBLE, row, FALSE);
}

void CReportList::ClearSelection()
{
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED;
    SendMessageW(m_hWnd, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
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
            draw->clrTextBk = kShadedRow;
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
        ui::CBrush face(CreateSolidBrush(kHeaderFace));
        FillRect(draw->hdc, &client, face.Get());
        return CDRF_NOTIFYITEMDRAW;
    }
    case CDDS_ITEMPREPAINT: {
        HDC dc = draw->hdc;
        RECT r = draw->rc;
        ui::CBrush face(CreateSolidBrush(kHeaderFace));
        FillRect(dc, &r, face.Get());
        ui::CPen line(CreatePen(PS_SOLID, 1, kHeaderLine));
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
