// The program's message loop. Modeless dialogs register themselves so that
// their keyboard navigation (Tab, Enter, Escape, mnemonics) works.
#pragma once

#include <windows.h>

namespace ui {

void AddModelessDialog(HWND dialog);
void RemoveModelessDialog(HWND dialog);

// Offers `msg` to the registered modeless dialogs; true when one took it.
bool PreTranslateDialogMessage(MSG* msg);

// Runs until WM_QUIT; returns its exit code.
int RunMessageLoop();

} // namespace ui
