#include "base/HotKey.h"

#include "base/Messages.h"

#include <commctrl.h>

UINT HotKeyModifiers(UINT hotKeyFlags)
{
    UINT modifiers = 0;
    if (hotKeyFlags & HOTKEYF_ALT)
        modifiers |= MOD_ALT;
    if (hotKeyFlags & HOTKEYF_CONTROL)
        modifiers |= MOD_CONTROL;
    if (hotKeyFlags & HOTKEYF_SHIFT)
        modifiers |= MOD_SHIFT;
    return modifiers;
}

bool RegisterGuardHotKey(HWND owner, UINT virtualKey, UINT hotKeyFlags)
{
    UnregisterGuardHotKey(owner);
    return RegisterHotKey(owner, HM_HOTKEY_ID, HotKeyModifiers(hotKeyFlags), virtualKey) != FALSE;
}

void UnregisterGuardHotKey(HWND owner)
{
    UnregisterHotKey(owner, HM_HOTKEY_ID);
}
