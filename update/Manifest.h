// The downloaded update manifest on disk and the comparison of its entries
// with the installed files. Used by the guard (the update page and the
// start-up check) and by the updater.
//
// Paths of an entry, joined one backslash apart:
//   installed: program folder \ LocalPath \ Name
//   download:  program folder \ Temp \ LocalPath \ Name
// Names that would leave their folder are refused (IsPlainFileName,
// IsRelativeFolder): such an entry is malformed.
#pragma once

#include "update/ManifestFormat.h"

#include <cstdint>
#include <string>
#include <vector>

// The download folder beside the program and the manifest inside it.
extern const wchar_t kUpdateFolder[];   // "Temp"
extern const wchar_t kManifestFile[];   // "UpdateInfo.xml"

// program folder \ Temp, and program folder \ Temp \ UpdateInfo.xml.
std::wstring UpdateFolderPath(const std::wstring& programFolder);
std::wstring ManifestPath(const std::wstring& programFolder);

// Reads and parses the manifest file (a ManifestResult).
int LoadManifest(const std::wstring& path, std::vector<ManifestEntry>* entries);

// Outcomes of building an entry's paths, tested in this order.
enum EntryPathResult {
    ENTRY_PATH_OK = 0,
    ENTRY_NO_LOCAL_PATH = -1, // "LocalPath" absent
    ENTRY_NO_NAME = -2,       // "Name" absent
    ENTRY_UNSAFE_PATH = -3,   // "LocalPath" or "Name" would leave its folder
};

// The entry's texts as wide text (system ANSI code page).
std::wstring EntryName(const ManifestEntry& entry);
std::wstring EntryLocalPath(const ManifestEntry& entry);

// The installed path or the download path of an entry (EntryPathResult).
int InstalledPath(const ManifestEntry& entry, const std::wstring& programFolder, std::wstring* out);
int DownloadPath(const ManifestEntry& entry, const std::wstring& programFolder, std::wstring* out);
// The folder that holds the entry's download (program folder \ Temp \ LocalPath).
int DownloadFolder(const ManifestEntry& entry, const std::wstring& programFolder, std::wstring* out);

// Size test of the file at `path`: -1 when "Size" is absent; 1 when the file
// cannot be opened (missing, or held exclusively by another process) or its
// size differs; 0 when equal. `size` receives the "Size" value when present.
int CheckSize(const ManifestEntry& entry, const std::wstring& path, int32_t* size = nullptr);
// Checksum test: computes FileCrc32 of the file first, then -1 when "Crc" is
// absent, 0 when it equals "Crc" as a 32-bit pattern, 1 when it differs.
int CheckCrc(const ManifestEntry& entry, const std::wstring& path);

// Whether an installed file differs from its entry: both tests run (the size
// test first); 0 up to date, 1 different, negative when an attribute is
// missing (-1) or the paths are unsafe (an EntryPathResult).
int CompareInstalled(const ManifestEntry& entry, const std::wstring& programFolder);

// The start-up check: true when the downloaded manifest lists an installed
// file that differs from its entry. No manifest, an unreadable one, an entry
// without "LocalPath", "Name", "Size" or "Crc" (this one and those after it)
// answer no; entries with unsafe names are skipped. A manifest that the
// updater has already been started for (see update/UpdaterLaunch.h) answers
// no, so that the two programs never hand over to each other without end.
bool IsUpdatePending(const std::wstring& programFolder);
