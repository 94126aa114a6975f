// The updater's work (VxUpdate.exe): wait for the guard to be gone, then
// install the downloaded update, all files or none, and clean up the
// download folder.
#pragma once

#include "net/AcceptedSerial.h"

#include <functional>
#include <string>

// What an install pass did, for the caller's curiosity and the tests.
struct INSTALL_RESULT {
    bool manifestFound = false;   // a manifest was there, its signature held and it was read
    bool completed = false;       // every file that differs was installed
    int installed = 0;            // files put into place
    int rejected = 0;             // downloaded copies missing or not matching their entry
    int failed = 0;               // good copies that could not be put into place
    int skipped = 0;              // entries whose names would leave their folder
};

// Waits while the guard is still there: `present` is asked, and while it
// answers yes `sleep` is called, at most `maxSleeps` times. Returns the number
// of sleeps.
int WaitForMainProgram(const std::function<bool()>& present, const std::function<void()>& sleep,
                       int maxSleeps = 99);

// The install pass over the manifest in program folder \ Temp:
// - no manifest, or one that LoadTrustedManifest refuses (its signature is
//   checked again here, as are its serial, expiry and architecture): nothing
//   changes;
// - every entry is checked before anything is copied: an entry whose names
//   leave their folder, or lacks "Name" or "LocalPath", refuses the whole
//   update; so does a downloaded copy (Temp \ LocalPath \ Name) of a file
//   that differs when its size, CRC-32 or SHA-256 is not its entry's. The
//   copies are read into memory for that check and exactly those bytes are
//   written, so a copy changed after the check is never installed;
// - installing: each installed file that is replaced is first renamed aside
//   (so that a file that is loaded and cannot be overwritten is replaced
//   too), then the new bytes are written in its place. When any step fails,
//   every file written so far is removed and the renamed ones are put back:
//   all files or none. Renamed files are deleted at the end, or at the next
//   restart of the system when they are still in use;
// - the manifest, its signature, the downloaded copies and the hand-over
//   marker are deleted whenever the manifest was read, also when the update
//   was refused: the guard must not hand the same manifest back again.
INSTALL_RESULT InstallUpdate(const std::wstring& programFolder, const SERIAL_STORE& store = SERIAL_STORE());
