#include "update/Manifest.h"

#include "base/Handles.h"
#include "base/PathString.h"
#include "base/TextConv.h"
#include "update/Crc32.h"
#include "update/SafeName.h"
#include "update/UpdaterLaunch.h"

#include <windows.h>
#include <shlwapi.h>

const wchar_t kUpdateFolder[] = L"Temp";
const wchar_t kManifestFile[] = L"UpdateInfo.xml";

namespace {

// Manifests are small; anything larger is not one.
const DWORD kMaxManifestBytes = 16 * 1024 * 1024;

bool ReadWholeFile(const std::wstring& path, std::string* bytes)
{
    ui::CHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > kMaxManifestBytes)
        return false;
    bytes->resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!bytes->empty() && (!ReadFile(file.Get(), &(*bytes)[0], static_cast<DWORD>(bytes->size()), &got, nullptr) ||
                            got != bytes->size()))
        return false;
    return true;
}

// Joins base \ part1 \ part2 after checking the parts.
int JoinEntryPath(const ManifestEntry& entry, const std::wstring& base, bool withName, std::wstring* out)
{
    if (!entry.localPath)
        return ENTRY_NO_LOCAL_PATH;
    if (withName && !entry.name)
        return ENTRY_NO_NAME;
    const std::wstring folder = EntryLocalPath(entry);
    if (!IsRelativeFolder(folder) || (withName && !IsPlainFileName(EntryName(entry))))
        return ENTRY_UNSAFE_PATH;
    CPathString path(base);
    path.Append(folder);
    if (withName)
        path.Append(EntryName(entry));
    *out = path.str();
    return ENTRY_PATH_OK;
}

} // namespace

std::wstring UpdateFolderPath(const std::wstring& programFolder)
{
    return CPathString::Combine(CPathString(programFolder), kUpdateFolder).str();
}

std::wstring ManifestPath(const std::wstring& programFolder)
{
    return CPathString::Combine(CPathString(UpdateFolderPath(programFolder)), kManifestFile).str();
}

int LoadManifest(const std::wstring& path, std::vector<ManifestEntry>* entries)
{
    std::string bytes;
    if (!ReadWholeFile(path, &bytes))
        return MANIFEST_UNREADABLE;
    return ParseManifest(bytes.data(), bytes.size(), entries);
}

std::wstring EntryName(const ManifestEntry& entry)
{
    return entry.name ? AnsiToWide(*entry.name) : std::wstring();
}

std::wstring EntryLocalPath(const ManifestEntry& entry)
{
    return entry.localPath ? AnsiToWide(*entry.localPath) : std::wstring();
}

int InstalledPath(const ManifestEntry& entry, const std::wstring& programFolder, std::wstring* out)
{
    return JoinEntryPath(entry, programFolder, true, out);
}

int DownloadPath(const ManifestEntry& entry, const std::wstring& programFolder, std::wstring* out)
{
    return JoinEntryPath(entry, UpdateFolderPath(programFolder), true, out);
}

int DownloadFolder(const ManifestEntry& entry, const std::wstring& programFolder, std::wstring* out)
{
    return JoinEntryPath(entry, UpdateFolderPath(programFolder), false, out);
}

int CheckSize(const ManifestEntry& entry, const std::wstring& path, int32_t* size)
{
    if (!entry.size)
        return -1;
    const int32_t expected = ParseDecimal32(*entry.size);
    if (size)
        *size = expected;
    ui::CHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return 1;
    LARGE_INTEGER actual = {};
    if (!GetFileSizeEx(file.Get(), &actual))
        return 1;
    return actual.QuadPart == static_cast<LONGLONG>(static_cast<uint32_t>(expected)) ? 0 : 1;
}

int CheckCrc(const ManifestEntry& entry, const std::wstring& path)
{
    const uint32_t actual = FileCrc32(path.c_str());
    if (!entry.crc)
        return -1;
    return actual == static_cast<uint32_t>(ParseDecimal32(*entry.crc)) ? 0 : 1;
}

int CompareInstalled(const ManifestEntry& entry, const std::wstring& programFolder)
{
    std::wstring installed;
    int result = InstalledPath(entry, programFolder, &installed);
    if (result != ENTRY_PATH_OK)
        return result;
    const int size = CheckSize(entry, installed);
    if (size < 0)
        return size;
    // The checksum is read even when the size already differs.
    const int crc = CheckCrc(entry, installed);
    if (crc < 0)
        return crc;
    return size == 0 && crc == 0 ? 0 : 1;
}

bool IsUpdatePending(const std::wstring& programFolder)
{
    const std::wstring manifest = ManifestPath(programFolder);
    if (!PathFileExistsW(manifest.c_str()) || PathFileExistsW(HandOverMarkerPath(programFolder).c_str()))
        return false;
    std::vector<ManifestEntry> entries;
    if (LoadManifest(manifest, &entries) != MANIFEST_OK)
        return false;
    for (const ManifestEntry& entry : entries) {
        std::wstring installed;
        const int path = InstalledPath(entry, programFolder, &installed);
        if (path == ENTRY_UNSAFE_PATH)
            continue;
        if (path != ENTRY_PATH_OK)
            return false;
        const int size = CheckSize(entry, installed);
        if (size < 0)
            return false;
        if (size == 1)
            return true;
        const int crc = CheckCrc(entry, installed);
        if (crc < 0)
            return false;
        if (crc == 1)
            return true;
    }
    return false;
}
