// The guard's one global hot key (HM_HOTKEY_ID on the main window), which
// calls up the process manager. The settings keep it as a virtual key
// ("HotKey") and the hot-key control's modifier flags ("SystemKey":
// HOTKEYF_SHIFT, HOTKEYF_CONTROL, HOTKEYF_ALT).
#pragma once

#include <windows.h>

// The hot-key control's modifier flags as RegisterHotKey wants them (MOD_*).
UINT HotKeyModifiers(UINT hotKeyFlags);

// Registers the hot key on `owner`, the old registration removed first (so
// applying the registered combination again succeeds). False when the
// system refuses the combination: then no hot key is registered.
bool RegisterGuardHotKey(HWND owner, UINT virtualKey, UINT hotKeyFlags);
void UnregisterGuardHotKey(HWND owner);
