// Access to the program's string table and the two message box kinds the
// program shows (errors and confirmations), whose captions are strings too.
#pragma once

#include <windows.h>

#include <string>

namespace ui {

// The module that holds the resources (the program itself, or a test).
HINSTANCE ResourceModule();

// The text of string `id`, or an empty string when there is none.
std::wstring LoadStr(UINT id);

// printf-style formatting of a wide format string.
std::wstring FormatStr(const wchar_t* format, ...);

// Error box: caption IDS_CAPTION_ERROR "错误", error icon, OK. Returns the button.
int ErrorBox(HWND owner, const std::wstring& text);
// Confirmation box: caption IDS_CAPTION_WARNING "警告", warning icon and `buttons`
// (MB_OK, MB_YESNO...). Returns the button chosen.
int WarningBox(HWND owner, const std::wstring& text, UINT buttons = MB_OK);

} // namespace ui
