// CSplitterControl: a vertical bar between two panes that the user drags
// with the mouse. The bar follows the mouse within its range and, for every
// step, sends its owner the message given with SetNotifyMessage: wParam the
// bar's id, lParam the signed distance in pixels it just moved. The owner
// moves the panes; in a resizable dialog it shifts the anchors of the panes
// and of the bar itself (see CResizableDlg::ShiftAnchor), or the next layout
// puts them back.
#pragma once

#include "controls/VxControl.h"

#include <windows.h>

class CSplitterControl : public CVxControl {
public:
    bool Create(HWND parent, int id, const RECT& rect, DWORD style = WS_VISIBLE);
    // Creates the bar over a placeholder control (see Placeholder.h).
    bool CreateOver(HWND placeholder);

    // Where the bar's left edge may go, in the parent's client coordinates.
    void SetRange(int minX, int maxX);
    int RangeMin() const { return m_min; }
    int RangeMax() const { return m_max; }
    void SetNotifyMessage(UINT msg) { m_notify = msg; }

    // The bar's left edge in the parent's client coordinates.
    int Position() const;
    // Moves the left edge to x, kept within the range, and notifies the owner
    // as a drag would. Returns the distance moved (0 when it stays).
    int MoveTo(int x);

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void Paint(HDC dc) override;

    int m_min = 0;
    int m_max = 0x7FFFFFFF;
    UINT m_notify = 0;
    bool m_dragging = false;
    int m_grabX = 0; // where the bar was grabbed, from its left edge
};
