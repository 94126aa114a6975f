// CStatusBar: the common status bar at the bottom of a window, with panes of
// given widths and an optional size grip. The owner passes its WM_SIZE on
// with Resize so that the bar stays at the bottom edge.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CStatusBar {
public:
    CStatusBar() = default;
    ~CStatusBar();
    CStatusBar(const CStatusBar&) = delete;
    CStatusBar& operator=(const CStatusBar&) = delete;

    // Creates the bar as child `id` of `parent`, with one pane per width
    // (pixels; -1 for a pane that takes the rest). False on failure.
    bool Create(HWND parent, int id, const std::vector<int>& paneWidths, bool sizeGrip);
    HWND Hwnd() const { return m_hWnd; }

    void SetText(int pane, const std::wstring& text);
    std::wstring Text(int pane) const;
    // Height of the bar in pixels (0 before Create).
    int Height() const;
    // Puts the bar back at the bottom edge of its parent.
    void Resize();

private:
    HWND m_hWnd = nullptr; // a child: destroyed with its parent
};
