// CTreeListCtrl ("Harrowmere.TreeListCtrl"): a multi-column list whose rows
// can hang under a parent row. It shows its rows through a report list view
// in virtual mode: the rows live here as a tree, and the list view only asks
// for the rows it draws, in tree order, each indented by its depth.
//
// What it offers: columns with headings and widths (the user resizes them,
// the owner reads them back), rows inserted under a parent or at the top
// level, a row moved to the top level, a row's children moved up to its own
// level, a row deleted with its children, one text per column, a small icon
// from a shared image list, a background colour per row, single selection.
// It tells its parent (WM_NOTIFY, idFrom = control id) when the selection
// changes, also to none (TLN_SELCHANGED), and of right clicks (TLN_RCLICK,
// with the cursor position for a context menu) and double clicks
// (TLN_DBLCLK), the last two with the row under the cursor or none.
#pragma once

#include "ui/Window.h"

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

// The control's own message, posted to itself: re-read the list view's
// selection once the list has finished changing it.
#define WM_TREELIST_SYNC (WM_APP + 0x140)

#define TREELIST_CLASS L"Harrowmere.TreeListCtrl"

struct TREELIST_ROW;
using HTREELISTROW = TREELIST_ROW*;

// Notification codes: a private range below the common controls' ranges.
enum : UINT {
    TLN_SELCHANGED = 0U - 3000U,
    TLN_RCLICK = 0U - 3001U,
    TLN_DBLCLK = 0U - 3002U,
};

struct NMTREELIST {
    NMHDR hdr;
    HTREELISTROW row; // the selected row, or the row under the cursor; may be null
    LPARAM data;      // that row's data, 0 without a row
    POINT screen;     // cursor position (TLN_RCLICK, TLN_DBLCLK)
};

class CTreeListCtrl : public ui::CWindow {
public:
    CTreeListCtrl();
    ~CTreeListCtrl() override;

    // tree: rows are indented under their parents (flat lists ignore
    // parents for drawing but keep them).
    bool Create(HWND parent, int id, const RECT& rect, bool tree, DWORD style = WS_VISIBLE | WS_TABSTOP);

    // The shared small-icon list (not destroyed here).
    void SetImageList(HIMAGELIST images);
    // While off, changes are not drawn; turning it on draws what changed.
    void SetRedraw(bool on);
    // Extended styles of the inner list view (grid lines...), added to
    // full-row selection and double buffering.
    void AddListStyles(DWORD extendedStyles);

    int InsertColumn(int index, const std::wstring& heading, int width);
    int ColumnCount() const { return m_columns; }
    int GetColumnWidth(int column) const;
    void SetColumnWidth(int column, int width);

    // Appends a row as the last child of `parent` (null: the top level).
    HTREELISTROW InsertRow(HTREELISTROW parent, const std::wstring& text, int icon, LPARAM data);
    // Deletes the row and everything under it.
    void DeleteRow(HTREELISTROW row);
    void DeleteAllRows();
    // Moves the row (with its children) to the end of the top level.
    void MoveToTopLevel(HTREELISTROW row);
    // Moves the row's children, in order, to the row's own level, in its
    // place: next to its siblings, under its parent, or at the top level.
    void PromoteChildren(HTREELISTROW row);

    void SetText(HTREELISTROW row, int column, const std::wstring& text);
    std::wstring GetText(HTREELISTROW row, int column) const;
    void SetIcon(HTREELISTROW row, int icon);
    int GetIcon(HTREELISTROW row) const;
    // CLR_NONE: the list's own background.
    void SetRowColour(HTREELISTROW row, COLORREF colour);
    COLORREF GetRowColour(HTREELISTROW row) const;
    LPARAM GetData(HTREELISTROW row) const;

    HTREELISTROW GetParentRow(HTREELISTROW row) const;
    // Rows in display order (parents before their children).
    size_t RowCount() const;
    HTREELISTROW RowAt(size_t index) const;
    int DisplayIndex(HTREELISTROW row) const;
    int Depth(HTREELISTROW row) const;

    HTREELISTROW GetSelection() const { return m_selected; }
    // Selects the row (null: none) and tells the parent when that changes
    // the selection.
    void Select(HTREELISTROW row);

    HWND List() const { return m_list; }
    int Id() const;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnListNotify(NMHDR* header);
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW* draw);
    void OnGetDispInfo(NMLVDISPINFOW* info);
    void OnSelectionSync();
    void Changed();
    void Rebuild() const;
    void SyncListSelection();
    void Notify(UINT code, HTREELISTROW row, POINT screen);
    HTREELISTROW RowFromIndex(int index) const;
    // The row's owner vector and its position there.
    std::vector<std::unique_ptr<TREELIST_ROW>>& SiblingsOf(HTREELISTROW row);
    size_t PositionOf(HTREELISTROW row);
    std::unique_ptr<TREELIST_ROW> Detach(HTREELISTROW row);
    bool Contains(HTREELISTROW ancestor, HTREELISTROW row) const;

    HWND m_list = nullptr;
    bool m_tree = false;
    int m_columns = 0;
    std::vector<std::unique_ptr<TREELIST_ROW>> m_roots;
    mutable std::vector<TREELIST_ROW*> m_order;
    mutable bool m_dirty = false;
    bool m_redraw = true;
    int m_changedFirst = -1; // rows whose texts changed while drawing was off
    int m_changedLast = -1;
    bool m_syncing = false;
    bool m_syncPending = false;
    HTREELISTROW m_selected = nullptr;
};
