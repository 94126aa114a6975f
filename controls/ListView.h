// CListView: drives a list control in report view (from a template) through
// typed calls instead of raw LVM_ messages: columns, rows, cells, row values
// and images, selection, and column widths kept with base/ColumnWidths. It
// adds no look of its own; CReportList adds the house look on top.
#pragma once

#include "base/ColumnWidths.h"

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

class CListView {
public:
    struct Column {
        std::wstring header;
        int width;
    };

    CListView() = default;
    virtual ~CListView() = default;
    CListView(const CListView&) = delete;
    CListView& operator=(const CListView&) = delete;

    // Takes over a list control and adds `extendedStyles` (LVS_EX_GRIDLINES,
    // LVS_EX_FULLROWSELECT...). False when `list` is not a list control.
    bool Attach(HWND list, DWORD extendedStyles);
    HWND Hwnd() const { return m_hWnd; }

    // Replaces every column.
    void SetColumns(const std::vector<Column>& columns);
    int ColumnCount() const;
    std::vector<int> ColumnWidths() const;
    // Applies the widths when there is one per column; false otherwise.
    bool SetColumnWidths(const std::vector<int>& widths);
    // Applies the widths stored under `name` when they parse by `rule` for
    // this list's column count; true when applied.
    bool RestoreColumnWidths(const WindowStateKey& key, const wchar_t* name, NumberListRule rule);
    void SaveColumnWidths(const WindowStateKey& key, const wchar_t* name) const;
    // The same for the `count` columns from `first` on: a list that gained
    // columns keeps the widths stored for the older ones valid under their
    // name and keeps the new ones under a name of their own. Restoring needs
    // the list to have those columns.
    bool RestoreColumnWidths(const WindowStateKey& key, const wchar_t* name, NumberListRule rule, int first, int count);
    void SaveColumnWidths(const WindowStateKey& key, const wchar_t* name, int first, int count) const;

    // The small images of the rows. The list destroys them with itself
    // unless it was made with LVS_SHAREIMAGELISTS.
    void SetImages(HIMAGELIST images);

    // Appends a row (texts from column 0 on); its index, or -1.
    int AddRow(const std::vector<std::wstring>& texts, LPARAM data = 0, int image = -1);
    void SetCell(int row, int column, const std::wstring& text);
    void SetRowImage(int row, int image);
    std::wstring Cell(int row, int column) const;
    LPARAM RowData(int row) const;
    int RowCount() const;
    void DeleteAllRows();

    // Rows of a list made with LVS_OWNERDATA: the list holds only their
    // count, this class each row's value, and the owner gives the texts as
    // the list asks for them (HandleDisplayInfo). Setting them clears the
    // selection. AddRow does nothing on such a list.
    bool IsVirtual() const;
    void SetVirtualRows(std::vector<LPARAM> data);
    // Answers the list's LVN_GETDISPINFOW with `text(row value, column)`;
    // true when the notification was this list's.
    bool HandleDisplayInfo(NMHDR* header, const std::function<std::wstring(LPARAM data, int column)>& text) const;

    std::vector<int> SelectedRows() const;
    // How many rows are selected (a virtual list counts its selection ranges).
    int SelectedCount() const;
    // Selects and focuses one row (others keep their state), scrolled into view.
    void SelectRow(int row);
    void ClearSelection();

protected:
    HWND m_hWnd = nullptr;
    std::vector<LPARAM> m_virtualRows;
};

// Column widths of any list control in report view (also one that a control
// of ours drives, such as the tree list), kept under `name`.
std::vector<int> ListColumnWidths(HWND list);
bool SetListColumnWidths(HWND list, const std::vector<int>& widths);
bool RestoreListColumnWidths(HWND list, const WindowStateKey& key, const wchar_t* name, NumberListRule rule);
void SaveListColumnWidths(HWND list, const WindowStateKey& key, const wchar_t* name);
