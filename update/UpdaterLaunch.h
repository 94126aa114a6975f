// The hand-over from the guard to the updater at start-up. The guard asks
// IsUpdatePending (update/Manifest.h); when it answers yes, LaunchUpdater
// starts "VxUpdate.exe -update" and the guard ends at once so that its files
// can be replaced.
//
// Before starting the updater the guard writes a marker beside the manifest.
// The updater removes both at the end of its pass; while the marker is there
// the start-up check answers no, so a manifest that the updater could not
// finish with (it was ended, or the manifest could not be deleted) never
// bounces the two programs back and forth. A fresh manifest from the update
// page clears the marker (ClearHandOver).
#pragma once

#include <string>

extern const wchar_t kUpdaterFile[];  // "VxUpdate.exe"
extern const wchar_t kUpdaterArgs[];  // "-update"

// program folder \ Temp \ UpdateInfo.tried
std::wstring HandOverMarkerPath(const std::wstring& programFolder);

// Writes the marker and starts the updater from the program folder. 0 when
// the updater was started; -1 when the marker cannot be written or the
// updater cannot be started (the marker is removed again and the guard goes
// on with its own start).
int LaunchUpdater(const std::wstring& programFolder);

// Removes the marker (a new manifest deserves its own hand-over).
void ClearHandOver(const std::wstring& programFolder);
