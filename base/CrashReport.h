// A small crash reporter: an unhandled-exception filter that runs the
// program's callback, then writes a minidump and a short text report beside
// the program (or in the user's application-data folder when the program
// folder is not writable).
#pragma once

#include <windows.h>

namespace CrashReport {

// Receives the EXCEPTION_POINTERS of the crash; returns TRUE to go on with
// the report, FALSE to skip it.
using Callback = BOOL(CALLBACK*)(void* state);

// Installs the filter; returns a handle for Uninstall (never null on success,
// null when a reporter is already installed).
void* Install(Callback callback, const wchar_t* mailTo, const wchar_t* subject);
// Restores the previous filter. A null or stale handle does nothing.
void Uninstall(void* handle);

// Where a crash at this moment would write its report (testing aid):
// `folder` plus "Harrowmere.dmp" and "Harrowmere-crash.txt".
void ReportPaths(wchar_t* dumpPath, wchar_t* textPath, size_t chars);

} // namespace CrashReport
