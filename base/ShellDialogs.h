// The shell's and common dialog library's file pickers the program uses:
// open and save dialogs for a file of one kind, and the folder browser.
#pragma once

#include <windows.h>

#include <string>

// An open (save false) or save (save true) dialog. `filter` is written with
// '|' between its parts ("Harrowmere Rule File(*.erd)|*.erd|"); `extension`
// is added to a name typed without one; `fileName` is the name offered. The
// open dialog hides the read-only box, the save dialog asks before
// overwriting. True with the chosen path; false when cancelled.
bool ChooseFile(HWND owner, bool save, const std::wstring& filter, const wchar_t* extension,
                const std::wstring& fileName, std::wstring* path);

// The shell's folder browser rooted at the desktop, showing files as well as
// folders, with an edit box and validation, without a new-folder button. True
// with the chosen item's file-system path; false when cancelled or the item
// has no such path.
bool BrowseForPath(HWND owner, const std::wstring& title, std::wstring* path);
