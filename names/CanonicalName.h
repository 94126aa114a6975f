// Canonical names of what an operation touches, as the sensor hands them to
// the driver: one drive path per file, one full kernel name per registry key,
// one drive path per program image. Every spelling a program can use for the
// same file or key gives the same text, so that a rule written for it
// applies to all of them.
//
// Runs inside every guarded process, inside the hooks of the file, registry
// and process calls: only Win32 and ntdll calls (Wine's own name functions
// bound at run time), no exception, no window, fixed buffers (names up to
// NAMES_MAX_CHARS units) and no allocation of its own. The directory reads
// that expand short names go to ntdll's entry points directly, not through
// the system library's import table that the sensor patches; a sensor that
// patches ntdll's entry points themselves must call these functions under its
// per-thread guard.
#pragma once

#include <windows.h>

#include <stddef.h>

// The longest name these functions resolve, in UTF-16 units (the injection
// protocol carries 2048 units of a name); a longer one is not resolved.
#define NAMES_MAX_CHARS 2048u

// The drive path (C:\dir\file.txt) of what NtCreateFile or NtOpenFile with
// this ObjectName (`name`, `nameChars` units, not NUL-terminated) and
// RootDirectory would open, written NUL-terminated into `out`; returns its
// length in units, or 0 when it cannot be resolved (a root handle that is not
// a file's, a name of another object manager device, a result longer than
// `outChars` - 1). What it resolves:
//   - a name relative to the root directory (the handle's own name first);
//   - \??\, \DosDevices\, \GLOBAL??\, \\?\, \\.\ before a drive path or
//     UNC\server\share; a Win32 relative name against the current folder;
//   - forward slashes, repeated backslashes, . and .., and the trailing dots
//     and blanks of a component, which the system drops;
//   - a stream suffix (file.txt::$DATA, file.txt:name:$DATA, file.txt:name):
//     the file the stream belongs to, named streams included, because
//     writing any stream of a file changes that file;
//   - short (8.3) components of existing folders and files, expanded to their
//     long names;
//   - device paths (\Device\HarddiskVolume1\...) of a drive letter, and
//     network paths (\Device\Mup\..., \Device\LanmanRedirector\...,
//     \\server\share\...) of a mapped drive, as that drive's path;
//   - under Wine, the other names of one file: a drive that maps a Unix
//     folder directly (Z:\... of the Unix root)
//     and \\?\unix\... become the drive path that names the same file when
//     one exists (C:\... for a file of drive_c).
// A UNC path of no mapped drive stays \\server\share\....
size_t CanonicalFilePath(HANDLE rootDirectory, const wchar_t* name, size_t nameChars, wchar_t* out,
                         size_t outChars);

// The full kernel name of an open registry key (\REGISTRY\MACHINE\...,
// \REGISTRY\USER\<SID>\...), whatever relative name it was opened by; its
// length, or 0 when the handle is not a key or the name does not fit.
size_t CanonicalKeyPath(HANDLE key, wchar_t* out, size_t outChars);

// The drive path of the image a process start will run, from the NT path
// that NtCreateUserProcess receives (\??\C:\Windows\notepad.exe); as
// CanonicalFilePath without a root directory.
size_t CanonicalImagePath(const wchar_t* ntPath, size_t pathChars, wchar_t* out, size_t outChars);
