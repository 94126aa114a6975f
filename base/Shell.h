// The shell calls of the program: opening an address or a document, starting
// a program, a file's property sheet, and the shell's icons for a file name.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

// Whether `address` is a web address: it starts with "http://" or
// "https://" (in any letter case), has something after that, and holds no
// control character. Program paths, shares, "file:" and every other scheme
// are not.
bool IsWebAddress(const std::wstring& address);

// Opens a web address (IsWebAddress) with the registered browser. Anything
// else is not opened, and the refusal is traced on standard output
// ("OpenAddress refused: <address>"): the addresses come from the feed and
// the help page, which arrive over the network. False when refused or when
// the shell refuses.
bool OpenAddress(HWND owner, const std::wstring& address);

// Starts the program at `path` with `arguments` (shown normally, no working
// folder). False when the shell refuses.
bool StartProgram(const std::wstring& path, const wchar_t* arguments);

// Shows the shell's property sheet of `path`. The shell shows it on a thread
// of its own and this returns at once; no error box on failure.
bool ShowFileProperties(HWND owner, const std::wstring& path);

// The shell's icon for a file name (the file need not exist), large or small;
// the caller owns it (DestroyIcon). Null when the shell has none.
HICON ShellFileIcon(const std::wstring& path, bool small);

// The system's image list of small icons (shared: never destroyed), and the
// index in it of the icon for a file name (looked up by name and attributes,
// without touching the file); -1 when the shell has none.
HIMAGELIST ShellSmallImageList();
int ShellSmallIconIndex(const std::wstring& path);
