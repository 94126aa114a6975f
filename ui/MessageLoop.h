// The program's message loop. Modeless dialogs register themselves so that
// their keyboard navigation (Tab, Enter, Escape, mnemonics) works.
#pragma once

#include <windows.h>

namespace ui {

void AddModelessDialog(HWND dialog);
void RemoveModelessDialog(HWND dialog);

// A filter sees every message of the loop before the dialogs do; it returns
// true to consume the message. Registered per owner window.
using MessageFilter = bool (*)(void* context, const MSG& msg);
void AddMessageFilter(HWND owner, MessageFilter filter, void* context);
void RemoveMessageFilter(HWND owner);

// Offers `msg` to the filters and the registered modeless dialogs; true when
// one took it.
bool PreTranslateDialogMessage(MSG* msg);

// Runs until WM_QUIT; returns its exit code.
int RunMessageLoop();

} // namespace ui
