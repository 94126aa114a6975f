// CVxTab: the vertical tab strip on the left of the main window: a column of
// tabs, each a picture and a text, one of them selected. A click on a tab
// selects it and posts the owner's notify message (wParam: the tab's index)
// to the parent; SetCurSel selects without posting.
#pragma once

#include "base/Handles.h"
#include "controls/VxControl.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

class CVxTab : public CVxControl {
public:
    bool Create(HWND parent, int id, const RECT& rect, DWORD style = WS_VISIBLE);
    bool CreateOver(HWND placeholder);

    // Adds a tab at the end with the picture of bitmap resource `bitmapId`
    // (0: none; its top-left pixel's colour is transparent). Returns the
    // new tab's index.
    int AddTab(const std::wstring& text, UINT bitmapId);
    int GetCount() const { return static_cast<int>(m_tabs.size()); }
    std::wstring GetTabText(int index) const;
    // The tab's rectangle in client coordinates (empty for a bad index).
    RECT GetTabRect(int index) const;
    // The tab at a client point, or -1.
    int HitTest(POINT point) const;

    int GetCurSel() const { return m_current; }
    // Selects tab `index` (-1: none) and repaints; false for a bad index.
    bool SetCurSel(int index);
    // The message a click posts to the parent; 0, the default, posts nothing.
    void SetNotifyMessage(UINT message) { m_notifyMessage = message; }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    struct Tab {
        std::wstring text;
        ui::CBitmap bitmap;
    };
    void Paint(HDC dc) override;
    void PaintTab(HDC dc, int index, const RECT& r);

    std::vector<std::unique_ptr<Tab>> m_tabs;
    int m_current = -1;
    UINT m_notifyMessage = 0;
    HFONT m_font = nullptr;
    ui::CFont m_boldFont; // bold copy of m_font for the selected tab
};
