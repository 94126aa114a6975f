// CReportList: a report-view list control (from a template) in the house
// look: full-row selection, flat header in the product's colours, rows
// shaded alternately; rows carry a value of the owner's (LPARAM); column
// widths are kept with base/ColumnWidths.
//
// The header is drawn by this class; row shading needs the owner to pass the
// list's NM_CUSTOMDRAW to HandleCustomDraw.
#pragma once

#include "base/ColumnWidths.h"

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

class CReportList {
public:
    struct Column {
        std::wstring header;
        int width;
    };

    CReportList() = default;
    ~CReportList();
    CReportList(const CReportList&) = delete;
    CReportList& operator=(const CReportList&) = delete;

    // Takes over a list control in report view and adds LVS_EX_FULLROWSELECT
    // and `extendedStyles` (LVS_EX_GRIDLINES, LVS_EX_FLATSB,
    // LVS_EX_INFOTIP...). False when `list` is not a list control.
    bool Attach(HWND list, DWORD extendedStyles);
    HWND Hwnd() const { return m_hWnd; }

    void SetColumns(const std::vector<Column>& columns);
    int ColumnCount() const;
    std::vector<int> ColumnWidths() const;
    // Applies the widths when there is one per column; false otherwise.
    bool SetColumnWidths(const std::vector<int>& widths);
    // Applies the widths stored under `name` when they parse by `rule` for
    // this list's column count; true when applied.
    bool RestoreColumnWidths(const WindowStateKey& key, const wchar_t* name, NumberListRule rule);
    void SaveColumnWidths(const WindowStateKey& key, const wchar_t* name) const;

    // Appends a row (texts from column 0 on); its index, or -1.
    int AddRow(const std::vector<std::wstring>& texts, LPARAM data, int image = -1);
    void SetCell(int row, int column, const std::wstring& text);
    std::wstring Cell(int row, int column) const;
    LPARAM RowData(int row) const;
    int RowCount() const;
    void DeleteAllRows();

    std::vector<int> SelectedRows() const;
    // Selects and focuses one row (others keep their state), scrolled into view.
    void SelectRow(int row);
    void ClearSelection();

    // Shading of alternate rows, from the owner's WM_NOTIFY. True when the
    // notification was this list's NM_CUSTOMDRAW (result set).
    bool HandleCustomDraw(NMHDR* header, LRESULT* result) const;

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR self);
    LRESULT DrawHeader(NMCUSTOMDRAW* draw);

    HWND m_hWnd = nullptr;
};
