// The pure parts of locating the notification icon: the marker search over a
// captured block of screen pixels, the notification area's rectangle, and
// the layouts of the records the shell's toolbar keeps for each icon.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// A captured block of screen pixels: top-down rows of 32-bit values
// 0x00RRGGBB (a 32 bpp DIB section), `stride` pixels from one row to the next.
struct PIXEL_BLOCK {
    const uint32_t* pixels;
    int width;
    int height;
    int stride;
};

// A pixel is dark when every colour channel is below 4.
inline bool IsDarkPixel(uint32_t pixel) { return (pixel & 0xFCFCFC) == 0; }

// Looks for the all-black marker icon in `block`. Rows are read from 3 above
// the bottom upwards (row 0 excluded), each row from left to right. A pixel
// counts when it and the pixels two rows above and below in its column are
// dark (pixels outside the block are not); any other pixel resets the run.
// When a run reaches 9 at column x of row y, *found is (x - 1, y - 6) in
// block coordinates and the result is true; false when nothing was found.
bool FindMarkerPixels(const PIXEL_BLOCK& block, POINT* found);

// The taskbar's windows that the locator works with; any may be null.
struct TRAY_WINDOWS {
    HWND shellTray; // top-level "Shell_TrayWnd"
    HWND notify;    // its first descendant "TrayNotifyWnd"
    HWND toolbar;   // the first "ToolbarWindow32" below the notify window
};

// The screen rectangle of the notification area: the toolbar's window, or
// the notify window when there is no toolbar; a 40 x 20 rectangle in the
// bottom-right corner of a screen of screenCx x screenCy when "Shell_TrayWnd"
// or "TrayNotifyWnd" is missing.
RECT TrayAreaRect(const TRAY_WINDOWS& windows, int screenCx, int screenCy);

// Where the locator aims when the scan finds nothing: the middle of the area,
// or 6 pixels in from its left edge (still the middle row) on NT-family
// systems after version 4, whose notification areas start their icons there.
POINT TrayAreaEstimate(const RECT& area, bool ntAfterVersion4);

// The button record TB_GETBUTTON writes, as a 32-bit and a 64-bit shell
// lays it out (TBBUTTON; the padding after the style byte follows pointer
// alignment).
struct TRAY_BUTTON32 {
    int32_t bitmap;
    int32_t command;
    uint8_t state;
    uint8_t style;
    uint8_t reserved[2];
    uint32_t data;
    int32_t string;
};
static_assert(sizeof(TRAY_BUTTON32) == 20, "32-bit TBBUTTON is 20 bytes");
static_assert(offsetof(TRAY_BUTTON32, state) == 8 && offsetof(TRAY_BUTTON32, data) == 12,
              "32-bit TBBUTTON layout");

struct TRAY_BUTTON64 {
    int32_t bitmap;
    int32_t command;
    uint8_t state;
    uint8_t style;
    uint8_t reserved[6];
    uint64_t data;
    int64_t string;
};
static_assert(sizeof(TRAY_BUTTON64) == 32, "64-bit TBBUTTON is 32 bytes");
static_assert(offsetof(TRAY_BUTTON64, state) == 8 && offsetof(TRAY_BUTTON64, data) == 16,
              "64-bit TBBUTTON layout");

// The head of the item data behind a notification button: the owner window
// and the icon id, with the handle as wide as a pointer of the shell.
struct TRAY_ITEM32 {
    uint32_t owner;
    uint32_t id;
};
static_assert(sizeof(TRAY_ITEM32) == 8, "32-bit item data head");

#pragma pack(push, 4)
struct TRAY_ITEM64 {
    uint64_t owner;
    uint32_t id;
};
#pragma pack(pop)
static_assert(sizeof(TRAY_ITEM64) == 12 && offsetof(TRAY_ITEM64, id) == 8, "64-bit item data head");

// Sizes to read from the shell for a shell of either width.
inline size_t TrayButtonSize(bool shell64) { return shell64 ? sizeof(TRAY_BUTTON64) : sizeof(TRAY_BUTTON32); }
inline size_t TrayItemSize(bool shell64) { return shell64 ? sizeof(TRAY_ITEM64) : sizeof(TRAY_ITEM32); }

// What the locator needs from a button record read from the shell.
struct TRAY_BUTTON_INFO {
    uint8_t state;
    uint64_t data; // address of the item data in the shell's process
};
void ParseTrayButton(const void* bytes, bool shell64, TRAY_BUTTON_INFO* info);

// True when the item data read from the shell names `owner` and `id`.
// Window handles are 32-bit values in processes of either width, so only
// the low 32 bits of the stored handle are compared.
bool TrayItemMatches(const void* bytes, bool shell64, HWND owner, UINT id);
