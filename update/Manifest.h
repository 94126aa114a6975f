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

#include "net/AcceptedSerial.h"
#include "update/ManifestFormat.h"

#include <cstdint>
#include <string>
#include <vector>

// The download folder beside the program and the manifest inside it.
extern const wchar_t kUpdateFolder[];   // "Temp"
extern const wchar_t kManifestFile[];   // "UpdateInfo.xml"

// Largest manifest accepted (download and file).
const size_t kMaxManifestBytes = 1024 * 1024;

// program folder \ Temp, program folder \ Temp \ UpdateInfo.xml, and its
// signature beside it (UpdateInfo.xml.minisig).
std::wstring UpdateFolderPath(const std::wstring& programFolder);
std::wstring ManifestPath(const std::wstring& programFolder);
std::wstring ManifestSignaturePath(const std::wstring& programFolder);

// The manifest's bytes checked against its detached signature with the
// keys compiled into the program, and parsed only when the signature holds
// (a ManifestResult: MANIFEST_UNTRUSTED for a bad signature).
int ReadSignedManifest(const std::string& bytes, const std::string& signature, std::vector<ManifestEntry>* entries,
                       MANIFEST_HEADER* header = nullptr);

// Reads the manifest file and its signature (`path` + ".minisig"), both
// size-capped, then as ReadSignedManifest.
int LoadManifest(const std::wstring& path, std::vector<ManifestEntry>* entries, MANIFEST_HEADER* header = nullptr);

// The downloaded manifest of a program folder, as the start-up check and
// the updater read it: LoadManifest, then CheckManifestTrust for this
// program's architecture, with the accepted serial as the floor (the
// manifest the update page accepted may equal it) and the current time.
int LoadTrustedManifest(const std::wstring& programFolder, const SERIAL_STORE& store,
                        std::vector<ManifestEntry>* entries);

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

// SHA-256 test: -1 when "Sha256" is absent, 0 when the file's SHA-256
// equals it, 1 when it differs or the file cannot be read.
int CheckSha256(const ManifestEntry& entry, const std::wstring& path);
// Whether `bytes` are the entry's file: "Size", "Crc" and "Sha256" all match.
bool MatchesEntry(const ManifestEntry& entry, const std::string& bytes);
// SHA-256 of a file (lower-case hex); empty when it cannot be read.
std::string FileSha256(const std::wstring& path);

// Whether an installed file differs from its entry: all tests run (size,
// checksum, then SHA-256 when the entry has one); 0 up to date, 1
// different, negative when an attribute is missing (-1) or the paths are
// unsafe (an EntryPathResult).
int CompareInstalled(const ManifestEntry& entry, const std::wstring& programFolder);

// The start-up check: true when the downloaded manifest lists an installed
// file that differs from its entry. No manifest, one that LoadTrustedManifest
// refuses (signature, serial, expiry, architecture, hashes), an entry
// without "LocalPath", "Name", "Size" or "Crc" (this one and those after it)
// answer no; entries with unsafe names are skipped. A manifest that the
// updater has already been started for (see update/UpdaterLaunch.h) answers
// no, so that the two programs never hand over to each other without end.
bool IsUpdatePending(const std::wstring& programFolder, const SERIAL_STORE& store = SERIAL_STORE());
