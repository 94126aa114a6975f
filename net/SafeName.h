// Names that arrive over the network (a manifest's "Name" and "LocalPath", a
// feed's picture name) become parts of local paths. These tests decide
// whether such a text stays inside the folder it is joined to. Plain code over
// wide text, no system calls, so it can be checked on any platform.
#pragma once

#include <string>

// A single file name: not empty, at most 255 characters, no path separator,
// drive or stream colon, wildcard or control character, not "." or "..", no
// final dot or blank (the system drops those and the name would mean another
// file), and no device name (CON, NUL, COM1, LPT1... with or without an
// extension).
bool IsPlainFileName(const std::wstring& name);

// A folder relative to another one: empty (the folder itself), or plain file
// names joined by single backslashes, optionally ending with one backslash.
// Absolute paths, drives, UNC paths, "..", "." and forward slashes are refused.
bool IsRelativeFolder(const std::wstring& folder);
