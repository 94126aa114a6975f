// A window's placement kept as "%d,%d,%d,%d,%d,%d": left, top, right and
// bottom of its normal position, the show command and the placement flags,
// under the window's own name ("RuleWnd", "InsertRegWnd", "TaskWnd"...).
#pragma once

#include "base/WindowState.h"

#include <windows.h>

#include <string>

struct STORED_PLACEMENT {
    RECT normal;  // normal (restored) position
    int showCmd;  // SW_*
    int flags;    // WPF_*
};

// Parses exactly six integers. False (placement untouched) for anything else
// and for a normal rectangle without area.
bool ParsePlacement(const std::wstring& text, STORED_PLACEMENT* placement);
std::wstring FormatPlacement(const STORED_PLACEMENT& placement);

// The show command to restore a stored one with: a window stored hidden or
// minimised comes back shown, a number that is no show command comes back
// normal; any other command stays.
int ShowCommandToRestore(int stored);

// 0 with the placement; -1 nothing stored; -2 not a text or does not parse.
int LoadPlacement(const WindowStateKey& key, const wchar_t* name, STORED_PLACEMENT* placement);
// 0, or -1.
int SavePlacement(const WindowStateKey& key, const wchar_t* name, const STORED_PLACEMENT& placement);
