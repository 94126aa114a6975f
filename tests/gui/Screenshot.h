// Screenshots of windows for people to look at (no test compares pixels).
// The test script names the folder in HM_SCREENSHOT_DIR.
#pragma once

#include <windows.h>

#include <string>

namespace gui {

// <HM_SCREENSHOT_DIR>\<name>, or empty when the variable is not set.
std::wstring ScreenshotPath(const wchar_t* name);

// Copies what the screen shows of `hwnd` (frame included) into a 24-bit BMP
// file at `path`. False when the window has no area or the file cannot be
// written.
bool SaveWindowBitmap(HWND hwnd, const std::wstring& path);

// Saves the window under HM_SCREENSHOT_DIR as `name` when the variable is
// set; true when nothing was asked or the file was written.
bool SaveScreenshot(HWND hwnd, const wchar_t* name);

} // namespace gui
