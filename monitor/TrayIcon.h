// The notification-area icon of a window: add, change its icon and tip,
// remove. The shell sends mouse events as `callbackMessage` to the window.
#pragma once

#include <windows.h>

#include <string>

class CTrayIcon {
public:
    CTrayIcon() = default;
    ~CTrayIcon() { Remove(); }
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    // Adds the icon (again, after the taskbar restarted); false when the
    // shell refuses.
    bool Add(HWND owner, UINT id, UINT callbackMessage, HICON icon, const std::wstring& tip);
    bool SetIcon(HICON icon);
    bool SetTip(const std::wstring& tip);
    void Remove();

    bool Added() const { return m_added; }
    UINT Id() const { return m_data.uID; }
    HWND Owner() const { return m_data.hWnd; }
    std::wstring Tip() const { return m_data.szTip; }

private:
    NOTIFYICONDATAW m_data = {};
    bool m_added = false;
};
