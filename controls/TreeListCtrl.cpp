#include "controls/TreeListCtrl.h"

#include <algorithm>

struct TREELIST_ROW {
    TREELIST_ROW* parent = nullptr;
    std::vector<std::unique_ptr<TREELIST_ROW>> children;
    std::vector<std::wstring> texts;
    int icon = -1;
    COLORREF colour = CLR_NONE;
    LPARAM data = 0;
    // Set by Rebuild.
    int index = -1;
    int depth = 0;
};

namespace {

const int kListId = 1;

void AppendInOrder(const std::vector<std::unique_ptr<TREELIST_ROW>>& rows, int depth,
                   std::vector<TREELIST_ROW*>* order)
{
    for (const auto& row : rows) {
        row->index = static_cast<int>(order->size());
        row->depth = depth;
        order->push_back(row.get());
        AppendInOrder(row->children, depth + 1, order);
    }
}

} // namespace

CTreeListCtrl::CTreeListCtrl() = default;
CTreeListCtrl::~CTreeListCtrl() = default;

bool CTreeListCtrl::Create(HWND parent, int id, const RECT& rect, bool tree, DWORD style)
{
    m_tree = tree;
    if (!CWindow::Create(TREELIST_CLASS, 0, LoadCursor(nullptr, IDC_ARROW), nullptr, L"",
                         WS_CHILD | WS_CLIPCHILDREN | (style & (WS_VISIBLE | WS_DISABLED | WS_TABSTOP)), 0, rect.left,
                         rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id))))
        return false;
    RECT client;
    GetClientRect(m_hWnd, &client);
    m_list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                             WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL |
                                 LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS,
                             0, 0, client.right, client.bottom, m_hWnd,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListId)), GetModuleHandleW(nullptr), nullptr);
    if (!m_list)
        return false;
    ListView_SetExtendedListViewStyle(m_list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    return true;
}

int CTreeListCtrl::Id() const
{
    return GetDlgCtrlID(m_hWnd);
}

void CTreeListCtrl::SetImageList(HIMAGELIST images)
{
    ListView_SetImageList(m_list, images, LVSIL_SMALL);
}

void CTreeListCtrl::AddListStyles(DWORD extendedStyles)
{
    ListView_SetExtendedListViewStyle(m_list, ListView_GetExtendedListViewStyle(m_list) | extendedStyles);
}

// Suspending drawing stays inside this control: turning the list view's own
// drawing off and on again makes it lay itself out anew, which costs far
// more than the rows that changed.
void CTreeListCtrl::SetRedraw(bool on)
{
    if (m_redraw == on)
        return;
    m_redraw = on;
    if (!on)
        return;
    if (m_dirty) {
        Changed();
    } else if (m_changedFirst >= 0) {
        ListView_RedrawItems(m_list, m_changedFirst, m_changedLast);
    }
    m_changedFirst = m_changedLast = -1;
}

int CTreeListCtrl::InsertColumn(int index, const std::wstring& heading, int width)
{
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<wchar_t*>(heading.c_str());
    column.cx = width;
    column.iSubItem = index;
    int at = static_cast<int>(SendMessageW(m_list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column)));
    if (at >= 0)
        ++m_columns;
    return at;
}

int CTreeListCtrl::GetColumnWidth(int column) const
{
    return ListView_GetColumnWidth(m_list, column);
}

void CTreeListCtrl::SetColumnWidth(int column, int width)
{
    ListView_SetColumnWidth(m_list, column, width);
}

// ---------------------------------------------------------------------------
// Rows

HTREELISTROW CTreeListCtrl::InsertRow(HTREELISTROW parent, const std::wstring& text, int icon, LPARAM data)
{
    auto row = std::make_unique<TREELIST_ROW>();
    row->parent = parent;
    row->texts.assign(1, text);
    row->icon = icon;
    row->data = data;
    HTREELISTROW added = row.get();
    (parent ? parent->children : m_roots).push_back(std::move(row));
    Changed();
    return added;
}

std::vector<std::unique_ptr<TREELIST_ROW>>& CTreeListCtrl::SiblingsOf(HTREELISTROW row)
{
    return row->parent ? row->parent->children : m_roots;
}

size_t CTreeListCtrl::PositionOf(HTREELISTROW row)
{
    auto& siblings = SiblingsOf(row);
    auto it = std::find_if(siblings.begin(), siblings.end(), [row](const auto& r) { return r.get() == row; });
    return static_cast<size_t>(it - siblings.begin());
}

std::unique_ptr<TREELIST_ROW> CTreeListCtrl::Detach(HTREELISTROW row)
{
    auto& siblings = SiblingsOf(row);
    size_t at = PositionOf(row);
    std::unique_ptr<TREELIST_ROW> owned = std::move(siblings[at]);
    siblings.erase(siblings.begin() + static_cast<std::ptrdiff_t>(at));
    owned->parent = nullptr;
    return owned;
}

bool CTreeListCtrl::Contains(HTREELISTROW ancestor, HTREELISTROW row) const
{
    for (HTREELISTROW r = row; r; r = r->parent) {
        if (r == ancestor)
            return true;
    }
    return false;
}

void CTreeListCtrl::DeleteRow(HTREELISTROW row)
{
    if (!row)
        return;
    bool lostSelection = m_selected && Contains(row, m_selected);
    if (lostSelection)
        m_selected = nullptr;
    Detach(row); // freed here, with its children
    Changed();
    if (lostSelection)
        Notify(TLN_SELCHANGED, nullptr, POINT{});
}

void CTreeListCtrl::DeleteAllRows()
{
    bool hadSelection = m_selected != nullptr;
    m_selected = nullptr;
    m_roots.clear();
    Changed();
    if (hadSelection)
        Notify(TLN_SELCHANGED, nullptr, POINT{});
}

void CTreeListCtrl::MoveToTopLevel(HTREELISTROW row)
{
    if (!row)
        return;
    m_roots.push_back(Detach(row));
    Changed();
}

void CTreeListCtrl::PromoteChildren(HTREELISTROW row)
{
    if (!row || row->children.empty())
        return;
    auto& siblings = SiblingsOf(row);
    size_t at = PositionOf(row);
    std::vector<std::unique_ptr<TREELIST_ROW>> children = std::move(row->children);
    row->children.clear();
    for (auto& child : children)
        child->parent = row->parent;
    siblings.insert(siblings.begin() + static_cast<std::ptrdiff_t>(at + 1), std::make_move_iterator(children.begin()),
                    std::make_move_iterator(children.end()));
    Changed();
}

void CTreeListCtrl::SetText(HTREELISTROW row, int column, const std::wstring& text)
{
    if (!row || column < 0)
        return;
    if (row->texts.size() <= static_cast<size_t>(column))
        row->texts.resize(column + 1);
    if (row->texts[column] == text)
        return;
    row->texts[column] = text;
    if (m_dirty)
        return; // the whole list is drawn again
    if (m_redraw) {
        ListView_RedrawItems(m_list, row->index, row->index);
        return;
    }
    if (m_changedFirst < 0 || row->index < m_changedFirst)
        m_changedFirst = row->index;
    if (row->index > m_changedLast)
        m_changedLast = row->index;
}

std::wstring CTreeListCtrl::GetText(HTREELISTROW row, int column) const
{
    if (!row || column < 0 || static_cast<size_t>(column) >= row->texts.size())
        return std::wstring();
    return row->texts[column];
}

void CTreeListCtrl::SetIcon(HTREELISTROW row, int icon)
{
    if (row)
        row->icon = icon;
}

int CTreeListCtrl::GetIcon(HTREELISTROW row) const
{
    return row ? row->icon : -1;
}

void CTreeListCtrl::SetRowColour(HTREELISTROW row, COLORREF colour)
{
    if (row)
        row->colour = colour;
}

COLORREF CTreeListCtrl::GetRowColour(HTREELISTROW row) const
{
    return row ? row->colour : CLR_NONE;
}

LPARAM CTreeListCtrl::GetData(HTREELISTROW row) const
{
    return row ? row->data : 0;
}

HTREELISTROW CTreeListCtrl::GetParentRow(HTREELISTROW row) const
{
    return row ? row->parent : nullptr;
}

size_t CTreeListCtrl::RowCount() const
{
    Rebuild();
    return m_order.size();
}

HTREELISTROW CTreeListCtrl::RowAt(size_t index) const
{
    Rebuild();
    return index < m_order.size() ? m_order[index] : nullptr;
}

int CTreeListCtrl::DisplayIndex(HTREELISTROW row) const
{
    Rebuild();
    return row ? row->index : -1;
}

int CTreeListCtrl::Depth(HTREELISTROW row) const
{
    Rebuild();
    return row ? row->depth : -1;
}

HTREELISTROW CTreeListCtrl::RowFromIndex(int index) const
{
    Rebuild();
    return index >= 0 && static_cast<size_t>(index) < m_order.size() ? m_order[index] : nullptr;
}

// ---------------------------------------------------------------------------
// Showing the rows

void CTreeListCtrl::Rebuild() const
{
    if (!m_dirty)
        return;
    m_order.clear();
    AppendInOrder(m_roots, 0, &m_order);
    m_dirty = false;
}

// After a change of the tree: while drawing is on, the list view learns the
// new row count and the selection follows its row to its new place.
void CTreeListCtrl::Changed()
{
    m_dirty = true;
    if (!m_redraw || !m_list)
        return;
    Rebuild();
    m_syncing = true;
    if (ListView_GetItemCount(m_list) != static_cast<int>(m_order.size()))
        ListView_SetItemCountEx(m_list, static_cast<int>(m_order.size()), LVSICF_NOSCROLL);
    SyncListSelection();
    m_syncing = false;
    InvalidateRect(m_list, nullptr, FALSE);
}

void CTreeListCtrl::SyncListSelection()
{
    int current = ListView_GetNextItem(m_list, -1, LVNI_SELECTED);
    int wanted = m_selected ? m_selected->index : -1;
    if (current == wanted)
        return;
    ListView_SetItemState(m_list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (wanted >= 0) {
        ListView_SetItemState(m_list, wanted, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(m_list, wanted, FALSE);
    }
}

void CTreeListCtrl::Select(HTREELISTROW row)
{
    if (row == m_selected)
        return;
    m_selected = row;
    Rebuild();
    m_syncing = true;
    SyncListSelection();
    m_syncing = false;
    Notify(TLN_SELCHANGED, row, POINT{});
}

void CTreeListCtrl::OnSelectionSync()
{
    m_syncPending = false;
    HTREELISTROW row = RowFromIndex(ListView_GetNextItem(m_list, -1, LVNI_SELECTED));
    if (row == m_selected)
        return;
    m_selected = row;
    Notify(TLN_SELCHANGED, row, POINT{});
}

void CTreeListCtrl::Notify(UINT code, HTREELISTROW row, POINT screen)
{
    if (!m_hWnd)
        return;
    NMTREELIST nm = {};
    nm.hdr.hwndFrom = m_hWnd;
    nm.hdr.idFrom = static_cast<UINT_PTR>(Id());
    nm.hdr.code = code;
    nm.row = row;
    nm.data = row ? row->data : 0;
    nm.screen = screen;
    SendMessageW(GetParent(m_hWnd), WM_NOTIFY, nm.hdr.idFrom, reinterpret_cast<LPARAM>(&nm));
}

void CTreeListCtrl::OnGetDispInfo(NMLVDISPINFOW* info)
{
    LVITEMW& item = info->item;
    HTREELISTROW row = RowFromIndex(item.iItem);
    if (!row)
        return;
    if (item.mask & LVIF_TEXT) {
        std::wstring text = GetText(row, item.iSubItem);
        if (item.pszText && item.cchTextMax > 0)
            lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
    }
    if (item.iSubItem == 0) {
        if (item.mask & LVIF_IMAGE)
            item.iImage = row->icon >= 0 ? row->icon : I_IMAGENONE;
        if (item.mask & LVIF_INDENT)
            item.iIndent = m_tree ? row->depth : 0;
    }
}

LRESULT CTreeListCtrl::OnCustomDraw(NMLVCUSTOMDRAW* draw)
{
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
        HTREELISTROW row = RowFromIndex(static_cast<int>(draw->nmcd.dwItemSpec));
        if (row && row->colour != CLR_NONE)
            draw->clrTextBk = row->colour;
        return CDRF_DODEFAULT;
    }
    }
    return CDRF_DODEFAULT;
}

LRESULT CTreeListCtrl::OnListNotify(NMHDR* header)
{
    switch (header->code) {
    case LVN_GETDISPINFOW:
        OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW*>(header));
        return 0;
    case NM_CUSTOMDRAW:
        return OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(header));
    case LVN_ITEMCHANGED: {
        // The list view deselects and selects in separate steps; the
        // selection is read once it has settled.
        auto* change = reinterpret_cast<NMLISTVIEW*>(header);
        if (!m_syncing && (change->uChanged & LVIF_STATE) &&
            ((change->uOldState ^ change->uNewState) & LVIS_SELECTED) && !m_syncPending) {
            m_syncPending = true;
            PostMessageW(m_hWnd, WM_TREELIST_SYNC, 0, 0);
        }
        return 0;
    }
    case NM_RCLICK:
    case NM_DBLCLK: {
        auto* activate = reinterpret_cast<NMITEMACTIVATE*>(header);
        POINT screen;
        GetCursorPos(&screen);
        // The selection of a right-clicked row is settled before the menu.
        OnSelectionSync();
        Notify(header->code == NM_RCLICK ? TLN_RCLICK : TLN_DBLCLK, RowFromIndex(activate->iItem), screen);
        return 0;
    }
    }
    return 0;
}

LRESULT CTreeListCtrl::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->hwndFrom == m_list)
            return OnListNotify(header);
        break;
    }
    case WM_TREELIST_SYNC:
        OnSelectionSync();
        return 0;
    case WM_SIZE:
        if (m_list)
            MoveWindow(m_list, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_SETFONT:
        if (m_list)
            SendMessageW(m_list, WM_SETFONT, wParam, lParam);
        return 0;
    case WM_SETFOCUS:
        if (m_list)
            SetFocus(m_list);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    }
    return CWindow::WindowProc(msg, wParam, lParam);
}
