// The updater's work (VxUpdate.exe): wait for the guard to be gone, then copy
// every downloaded file whose checksum matches its manifest entry over the
// installed file, and clean up the download folder.
#pragma once

#include <functional>
#include <string>

// What an install pass did, for the caller's curiosity and the tests.
struct INSTALL_RESULT {
    bool manifestFound = false;   // a manifest was there and could be read
    bool completed = false;       // every entry was visited
    int installed = 0;            // files copied into place
    int rejected = 0;             // downloaded copies with a wrong or missing checksum
    int failed = 0;               // good copies that could not be copied
    int skipped = 0;              // entries whose names would leave their folder
};

// Waits while the guard is still there: `present` is asked, and while it
// answers yes `sleep` is called, at most `maxSleeps` times. Returns the number
// of sleeps.
int WaitForMainProgram(const std::function<bool()>& present, const std::function<void()>& sleep,
                       int maxSleeps = 99);

// The install pass over the manifest in program folder \ Temp:
// - no manifest, or one that cannot be read or lacks "FileList": nothing
//   changes and the manifest stays;
// - each entry in order: the downloaded copy (Temp \ LocalPath \ Name) is
//   copied over the installed file (LocalPath \ Name), creating its folder
//   inside the program folder, only when "Crc" is present and matches; the
//   copy is deleted in any case. Entries whose names would leave their folder
//   are skipped without touching anything; an entry without "Name" or
//   "LocalPath" ends the visit;
// - the manifest and the hand-over marker are deleted whenever the manifest
//   was read, also when the visit ended early: the guard must not hand the
//   same manifest back again.
INSTALL_RESULT InstallUpdate(const std::wstring& programFolder);
