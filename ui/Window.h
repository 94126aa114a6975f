// The thin window layer: a window object owns one HWND and receives its
// messages through virtual handlers. Subclasses override what they need;
// everything else takes the default path.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace ui {

// A window's whole text (an edit box's, say), however long.
std::wstring WindowText(HWND window);
// The text of a tree view item (at most 511 characters).
std::wstring TreeItemText(HWND tree, HTREEITEM item);
// A child window's rectangle in its parent's client coordinates.
RECT ChildRect(HWND parent, HWND child);
// Gives a window its title-bar and task-switcher icons from icon resource
// `id` at the system's sizes. The icons are shared (nothing to free); the
// small one is returned.
HICON SetWindowIcons(HWND window, UINT id);
// Shows a popup menu at a screen point for `owner` (brought to the
// foreground, so that a click elsewhere closes the menu) and returns the
// chosen command id, 0 when the menu was dismissed. The owner gets no menu
// notifications and no WM_COMMAND: the caller acts on the answer.
UINT TrackMenu(HMENU menu, POINT at, HWND owner);

class CWindow {
public:
    CWindow() = default;
    virtual ~CWindow();
    CWindow(const CWindow&) = delete;
    CWindow& operator=(const CWindow&) = delete;

    HWND Hwnd() const { return m_hWnd; }
    bool IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd); }

    // Registers `className` once (CS_* styles, cursor, brush may be null) and
    // creates the window; returns false when creation fails.
    bool Create(const wchar_t* className, UINT classStyle, HCURSOR cursor, HBRUSH background,
                const wchar_t* title, DWORD style, DWORD exStyle, int x, int y, int cx, int cy,
                HWND parent, HMENU menuOrId);
    void Destroy();

    // The object behind a window created by this layer, or null.
    static CWindow* FromHandle(HWND hwnd);

protected:
    // Called for every message; the default calls DefWindowProc.
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // After WM_NCDESTROY: the handle is gone. Objects that delete themselves
    // do it here.
    virtual void OnFinalMessage() {}

    HWND m_hWnd = nullptr;

private:
    static LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
};

} // namespace ui
