// CReportList: a report-view list control (from a template) in the house
// look: full-row selection, flat header in the product's colours, rows
// shaded alternately. Rows, cells and column widths are CListView's.
//
// The header is drawn by this class; row shading needs the owner to pass the
// list's NM_CUSTOMDRAW to HandleCustomDraw.
#pragma once

#include "controls/ListView.h"

#include <windows.h>
#include <commctrl.h>

class CReportList : public CListView {
public:
    CReportList() = default;
    ~CReportList() override;

    // Takes over a list control in report view and adds LVS_EX_FULLROWSELECT
    // and `extendedStyles` (LVS_EX_GRIDLINES, LVS_EX_FLATSB,
    // LVS_EX_INFOTIP...). False when `list` is not a list control.
    bool Attach(HWND list, DWORD extendedStyles);

    // Shading of alternate rows, from the owner's WM_NOTIFY. True when the
    // notification was this list's NM_CUSTOMDRAW (result set).
    bool HandleCustomDraw(NMHDR* header, LRESULT* result) const;

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR self);
    LRESULT DrawHeader(NMCUSTOMDRAW* draw);
};
