// CTrayIconPosition: finds where the program's notification icon is on the
// screen, so that a balloon can point at it. It first asks the shell's
// toolbar for the icon's button; when that fails it gives the icon the
// all-black marker image for a moment and looks for it in the pixels of the
// notification area, then puts the program's own image back.
#pragma once

#include "controls/TrayScan.h"

#include <windows.h>

#include <cstdint>
#include <functional>

class CTrayIconPosition {
public:
    // `owner` and `id` name the notification icon; `restoreIcon` is the image
    // it gets back after a pixel scan (null: no pixel scan, only estimates). `precision` 1, 2 or 3 allows a pixel scan at most every 60,
    // 30 or 10 seconds per object; any other value disables it.
    CTrayIconPosition(HWND owner, int id, HICON restoreIcon, int precision = 3);
    CTrayIconPosition();
    virtual ~CTrayIconPosition();
    CTrayIconPosition(const CTrayIconPosition&) = delete;
    CTrayIconPosition& operator=(const CTrayIconPosition&) = delete;

    void SetIcon(HWND owner, int id, HICON restoreIcon);
    void SetPrecision(int precision) { m_precision = precision; }

    // Fills *point and returns 1 when the icon was found, 0 when *point only
    // holds an estimate, -1 when the owner or the id is not set.
    int GetTrayIconPosition(POINT* point);

    // 1 with the screen rectangle of the visible toolbar button that carries
    // icon (owner, id); 0 otherwise, *rect then holding the notification
    // area when the toolbar was reachable. A toolbar that does not answer
    // within half a second counts as unreachable.
    int FindIconByToolbar(HWND owner, int id, RECT* rect);

    // 1 with the position of the last successful pixel scan (scanning again
    // when the mode's interval has passed), 0 with an estimate. A scan that
    // failed is not repeated until the interval has passed since it.
    int FindIconByPixels(POINT* point);

    // The screen rectangle of the notification area.
    RECT GetTrayAreaRect();

    // Shows `icon` as the notification icon's image and looks for it in the
    // notification area (the area stored by FindIconByPixels); the restore
    // image is set back afterwards. 1 when found (the position is stored),
    // 0 otherwise.
    int ScanForIconPixels(HICON icon);

    // Substitutes the clock (seconds since 1970) and the lookup of the
    // taskbar windows.
    void SetClock(std::function<int64_t()> clock) { m_clock = std::move(clock); }
    void SetWindowLookup(std::function<TRAY_WINDOWS()> lookup) { m_lookup = std::move(lookup); }
    // Number of pixel scans this object ran.
    int ScanCount() const { return m_scanCount; }

    // The taskbar windows as the system has them; class names compared
    // exactly, letter case counting.
    static TRAY_WINDOWS FindTrayWindows();

private:
    bool NtAfterVersion4() const;
    bool CaptureAndFind(const RECT& area, POINT* found) const;
    void SetNotifyImage(HICON icon) const;

    HWND m_owner = nullptr;
    int m_id = -1;
    HICON m_restoreIcon = nullptr;
    int m_precision = 3;
    int64_t m_lastScan = 0;       // time of the last successful pixel scan
    int64_t m_lastFailedScan = 0; // and of the last failed one, while m_scanFailed
    bool m_scanFailed = false;
    RECT m_area = {};
    POINT m_position = {};
    int m_scanCount = 0;
    OSVERSIONINFOW m_version = {};
    std::function<int64_t()> m_clock;
    std::function<TRAY_WINDOWS()> m_lookup;
};
