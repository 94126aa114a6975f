#include "controls/ListView.h"

#include <algorithm>

namespace {

int HeaderCount(HWND list)
{
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    return header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

} // namespace

std::vector<int> ListColumnWidths(HWND list)
{
    std::vector<int> widths;
    for (int i = 0, n = HeaderCount(list); i < n; ++i)
        widths.push_back(static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0)));
    return widths;
}

bool SetListColumnWidths(HWND list, const std::vector<int>& widths)
{
    if (static_cast<int>(widths.size()) != HeaderCount(list))
        return false;
    for (size_t i = 0; i < widths.size(); ++i)
        SendMessageW(list, LVM_SETCOLUMNWIDTH, i, MAKELPARAM(widths[i], 0));
    return true;
}

bool RestoreListColumnWidths(HWND list, const WindowStateKey& key, const wchar_t* name, NumberListRule rule)
{
    std::vector<int> widths;
    const int count = HeaderCount(list);
    if (count <= 0 || LoadColumnWidths(key, name, static_cast<size_t>(count), rule, &widths) != 0)
        return false;
    return SetListColumnWidths(list, widths);
}

void SaveListColumnWidths(HWND list, const WindowStateKey& key, const wchar_t* name)
{
    if (list && IsWindow(list) && HeaderCount(list) > 0)
        SaveColumnWidths(key, name, ListColumnWidths(list));
}

bool CListView::Attach(HWND list, DWORD extendedStyles)
{
    wchar_t cls[32] = {};
    if (!list || !GetClassNameW(list, cls, 32) || lstrcmpiW(cls, WC_LISTVIEWW) != 0)
        return false;
    m_hWnd = list;
    SendMessageW(m_hWnd, LVM_SETEXTENDEDLISTVIEWSTYLE, extendedStyles, extendedStyles);
    return true;
}

void CListView::SetColumns(const std::vector<Column>& columns)
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

int CListView::ColumnCount() const
{
    return HeaderCount(m_hWnd);
}

std::vector<int> CListView::ColumnWidths() const
{
    return ListColumnWidths(m_hWnd);
}

bool CListView::SetColumnWidths(const std::vector<int>& widths)
{
    return SetListColumnWidths(m_hWnd, widths);
}

bool CListView::RestoreColumnWidths(const WindowStateKey& key, const wchar_t* name, NumberListRule rule)
{
    return RestoreListColumnWidths(m_hWnd, key, name, rule);
}

void CListView::SaveColumnWidths(const WindowStateKey& key, const wchar_t* name) const
{
    SaveListColumnWidths(m_hWnd, key, name);
}

bool CListView::RestoreColumnWidths(const WindowStateKey& key, const wchar_t* name, NumberListRule rule, int first,
                                    int count)
{
    std::vector<int> widths = ColumnWidths();
    std::vector<int> stored;
    if (first < 0 || count <= 0 || static_cast<size_t>(first) + static_cast<size_t>(count) > widths.size() ||
        LoadColumnWidths(key, name, static_cast<size_t>(count), rule, &stored) != 0)
        return false;
    std::copy(stored.begin(), stored.end(), widths.begin() + first);
    return SetColumnWidths(widths);
}

void CListView::SaveColumnWidths(const WindowStateKey& key, const wchar_t* name, int first, int count) const
{
    if (!m_hWnd || !IsWindow(m_hWnd))
        return;
    const std::vector<int> widths = ColumnWidths();
    if (first < 0 || count <= 0 || static_cast<size_t>(first) + static_cast<size_t>(count) > widths.size())
        return;
    ::SaveColumnWidths(key, name, std::vector<int>(widths.begin() + first, widths.begin() + first + count));
}

void CListView::SetImages(HIMAGELIST images)
{
    if (images)
        SendMessageW(m_hWnd, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
}

int CListView::AddRow(const std::vector<std::wstring>& texts, LPARAM data, int image)
{
    if (IsVirtual())
        return -1;
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

void CListView::SetCell(int row, int column, const std::wstring& text)
{
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(m_hWnd, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

void CListView::SetRowImage(int row, int image)
{
    LVITEMW item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    item.iImage = image;
    SendMessageW(m_hWnd, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

std::wstring CListView::Cell(int row, int column) const
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

LPARAM CListView::RowData(int row) const
{
    if (IsVirtual())
        return row >= 0 && static_cast<size_t>(row) < m_virtualRows.size() ? m_virtualRows[static_cast<size_t>(row)] : 0;
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageW(m_hWnd, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return 0;
    return item.lParam;
}

int CListView::RowCount() const
{
    return static_cast<int>(SendMessageW(m_hWnd, LVM_GETITEMCOUNT, 0, 0));
}

void CListView::DeleteAllRows()
{
    if (IsVirtual()) {
        SetVirtualRows({});
        return;
    }
    SendMessageW(m_hWnd, LVM_DELETEALLITEMS, 0, 0);
}

bool CListView::IsVirtual() const
{
    return m_hWnd && (GetWindowLongPtrW(m_hWnd, GWL_STYLE) & LVS_OWNERDATA) != 0;
}

void CListView::SetVirtualRows(std::vector<LPARAM> data)
{
    if (!IsVirtual())
        return;
    ClearSelection();
    m_virtualRows = std::move(data);
    SendMessageW(m_hWnd, LVM_SETITEMCOUNT, m_virtualRows.size(), 0);
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

bool CListView::HandleDisplayInfo(NMHDR* header, const std::function<std::wstring(LPARAM, int)>& text) const
{
    if (!header || header->hwndFrom != m_hWnd || header->code != LVN_GETDISPINFOW)
        return false;
    LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(header)->item;
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
        const std::wstring cell = item.iItem >= 0 && static_cast<size_t>(item.iItem) < m_virtualRows.size()
                                      ? text(m_virtualRows[static_cast<size_t>(item.iItem)], item.iSubItem)
                                      : std::wstring();
        const size_t n = std::min(cell.size(), static_cast<size_t>(item.cchTextMax - 1));
        cell.copy(item.pszText, n);
        item.pszText[n] = L'\0';
    }
    return true;
}

std::vector<int> CListView::SelectedRows() const
{
    // The search for a next selected row walks on to the end of the list:
    // it stops once it has as many as are selected.
    std::vector<int> rows;
    const int count = SelectedCount();
    rows.reserve(static_cast<size_t>(std::max(count, 0)));
    for (int i = -1; static_cast<int>(rows.size()) < count &&
                     (i = static_cast<int>(SendMessageW(m_hWnd, LVM_GETNEXTITEM, i, LVNI_SELECTED))) >= 0;)
        rows.push_back(i);
    return rows;
}

int CListView::SelectedCount() const
{
    return m_hWnd ? static_cast<int>(SendMessageW(m_hWnd, LVM_GETSELECTEDCOUNT, 0, 0)) : 0;
}

void CListView::SelectRow(int row)
{
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(m_hWnd, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    SendMessageW(m_hWnd, LVM_ENSUREVISIBLE, row, FALSE);
}

void CListView::ClearSelection()
{
    // Clearing every row's state costs a call per row in some list
    // implementations: a list without a selection is left alone.
    if (SelectedCount() == 0)
        return;
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED;
    SendMessageW(m_hWnd, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
}
