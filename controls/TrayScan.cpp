#include "controls/TrayScan.h"

#include <commctrl.h>

#include <cstring>

// This build's own TBBUTTON is one of the two layouts.
static_assert(sizeof(TBBUTTON) == (sizeof(void*) == 8 ? sizeof(TRAY_BUTTON64) : sizeof(TRAY_BUTTON32)),
              "TBBUTTON matches the layout of this build's width");

namespace {

// Marker search constants: the run that identifies the icon and where in the
// icon the position is reported from the pixel that completes the run.
constexpr int kMarkerRun = 9;
constexpr int kRowSpan = 2;

bool DarkAt(const PIXEL_BLOCK& block, int x, int y)
{
    if (x < 0 || x >= block.width || y < 0 || y >= block.height)
        return false;
    return IsDarkPixel(block.pixels[static_cast<size_t>(y) * block.stride + x]);
}

} // namespace

bool FindMarkerPixels(const PIXEL_BLOCK& block, POINT* found)
{
    if (!block.pixels || block.width <= 0 || block.height <= 0)
        return false;
    for (int y = block.height - 3; y > 0; --y) {
        int run = 0;
        for (int x = 0; x < block.width; ++x) {
            if (DarkAt(block, x, y) && DarkAt(block, x, y - kRowSpan) && DarkAt(block, x, y + kRowSpan)) {
                if (++run == kMarkerRun) {
                    found->x = x - 1;
                    found->y = y - 6;
                    return true;
                }
            } else {
                run = 0;
            }
        }
    }
    return false;
}

RECT TrayAreaRect(const TRAY_WINDOWS& windows, int screenCx, int screenCy)
{
    RECT area = { screenCx - 40, screenCy - 20, screenCx, screenCy };
    if (!windows.shellTray || !windows.notify)
        return area;
    RECT r;
    if (GetWindowRect(windows.toolbar ? windows.toolbar : windows.notify, &r))
        area = r;
    return area;
}

POINT TrayAreaEstimate(const RECT& area, bool ntAfterVersion4)
{
    POINT p = { (area.left + area.right) / 2, (area.top + area.bottom) / 2 };
    if (ntAfterVersion4)
        p.x = area.left + 6;
    return p;
}

void ParseTrayButton(const void* bytes, bool shell64, TRAY_BUTTON_INFO* info)
{
    if (shell64) {
        TRAY_BUTTON64 b;
        memcpy(&b, bytes, sizeof(b));
        info->state = b.state;
        info->data = b.data;
    } else {
        TRAY_BUTTON32 b;
        memcpy(&b, bytes, sizeof(b));
        info->state = b.state;
        info->data = b.data;
    }
}

bool TrayItemMatches(const void* bytes, bool shell64, HWND owner, UINT id)
{
    uint32_t wanted = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(owner));
    if (shell64) {
        TRAY_ITEM64 item;
        memcpy(&item, bytes, sizeof(item));
        return static_cast<uint32_t>(item.owner) == wanted && item.id == id;
    }
    TRAY_ITEM32 item;
    memcpy(&item, bytes, sizeof(item));
    return item.owner == wanted && item.id == id;
}
