// CVxInfoTip: a small tooltip-like popup with an icon and a text of one or
// more lines. Show puts it at a screen point; tools registered with AddTool
// show their text while the mouse rests on them: the owner passes the
// messages it pre-translates to RelayEvent, a timer checks the mouse while
// it is over a tool, and the tip follows the mouse until it leaves.
// User-interface thread only.
#pragma once

#include "controls/VxControl.h"

#include <windows.h>

#include <string>
#include <vector>

class CVxInfoTip : public CVxControl {
public:
    // Creates the (hidden) popup, owned by the top-level window of `parent`.
    bool Create(HWND parent);

    // The tip's font (not owned); null: the system's message font.
    void SetFont(HFONT font);

    void AddTool(HWND control, const std::wstring& text, HICON icon = nullptr);
    void RemoveTool(HWND control);

    // Shows `text` with `icon` (may be null) with the tip's top-left corner
    // at `at` (screen coordinates), moved so that it stays on the screen.
    void Show(const std::wstring& text, POINT at, HICON icon = nullptr);
    // Hides the tip and stops its timer.
    void Hide();

    // Feed every message the owner pre-translates through here (the
    // message's `pt` is taken as the mouse position).
    void RelayEvent(const MSG* msg);

    bool IsShown() const { return m_hWnd && IsWindowVisible(m_hWnd); }
    bool IsTimerRunning() const { return m_timer; }
    const std::wstring& Text() const { return m_text; }

    // How long the mouse rests on a tool before its tip shows.
    void SetDelay(UINT milliseconds) { m_delay = milliseconds; }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    struct Tool {
        HWND control;
        std::wstring text;
        HICON icon;
    };
    const Tool* ToolAt(POINT screen) const;
    void OnPollTimer();
    void Paint(HDC dc) override;

    std::vector<Tool> m_tools;
    HWND m_trackedTool = nullptr;
    DWORD m_restSince = 0;
    bool m_timer = false;
    UINT m_delay = 500;
    std::wstring m_text;
    HICON m_icon = nullptr;
    HFONT m_font = nullptr;
};
