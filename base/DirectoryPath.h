// CreateDirectoryPath: creates a folder together with missing parents.
#pragma once

// Creates the folder path, and up to five missing parent levels before it.
// Returns 1 when the folder exists afterwards, 0 on failure: a creation
// error other than "already exists", a file where a folder should be, more
// than five missing levels, a path with no parent to fall back to, or a path
// of 260 characters or more.
int CreateDirectoryPath(const wchar_t* path);
