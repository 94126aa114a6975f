#include "update/Manifest.h"

#include "base/Handles.h"
#include "base/PathString.h"
#include "base/TextConv.h"
#include "update/Crc32.h"
#include "net/FileBytes.h"
#include "net/SafeName.h"
#include "net/Signature.h"
#include "update/UpdateSchedule.h"
#include "update/UpdaterLaunch.h"

#include <windows.h>
#include <shlwapi.h>

#include <sodium.h>

#include <cctype>

const wchar_t kUpdateFolder[] = L"Temp";
const wchar_t kManifestFile[] = L"UpdateInfo.xml";

namespace {

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

std::wstring ManifestSignaturePath(const std::wstring& programFolder)
{
    return ManifestPath(programFolder) + kSignatureSuffixW;
}

int ReadSignedManifest(const std::string& bytes, const std::string& signature, std::vector<ManifestEntry>* entries,
                       MANIFEST_HEADER* header)
{
    // The XML reader only ever sees bytes whose signature holds.
    if (bytes.size() > kMaxManifestBytes || VerifyTrusted(bytes, signature) != SIGNATURE_OK)
        return MANIFEST_UNTRUSTED;
    return ParseManifest(bytes.data(), bytes.size(), entries, header);
}

int LoadManifest(const std::wstring& path, std::vector<ManifestEntry>* entries, MANIFEST_HEADER* header)
{
    std::string bytes, signature;
    if (!ReadFileBytes(path, kMaxManifestBytes, &bytes))
        return MANIFEST_UNREADABLE;
    if (!ReadFileBytes(path + kSignatureSuffixW, kMaxSignatureBytes, &signature))
        return MANIFEST_UNTRUSTED;
    return ReadSignedManifest(bytes, signature, entries, header);
}

int LoadTrustedManifest(const std::wstring& programFolder, const SERIAL_STORE& store,
                        std::vector<ManifestEntry>* entries)
{
    std::vector<ManifestEntry> read;
    MANIFEST_HEADER header;
    const int loaded = LoadManifest(ManifestPath(programFolder), &read, &header);
    if (loaded != MANIFEST_OK)
        return loaded;
    FRESHNESS_FLOOR floor;
    floor.serial = AcceptedSerial(store, kUpdateSerialValue);
    floor.equalAllowed = true;
    floor.now = CurrentUnixTime();
    if (CheckManifestTrust(header, floor, ProgramArch()) != MANIFEST_OK)
        return MANIFEST_UNTRUSTED;
    entries->swap(read);
    return MANIFEST_OK;
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

std::string FileSha256(const std::wstring& path)
{
    ui::CHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return std::string();
    crypto_hash_sha256_state state;
    crypto_hash_sha256_init(&state);
    unsigned char block[64 * 1024];
    DWORD got = 0;
    for (;;) {
        if (!ReadFile(file.Get(), block, sizeof(block), &got, nullptr))
            return std::string();
        if (got == 0)
            break;
        crypto_hash_sha256_update(&state, block, got);
    }
    uint8_t digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256_final(&state, digest);
    return HexOf(digest, sizeof(digest));
}

namespace {

bool SameHex(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

int CheckSha256(const ManifestEntry& entry, const std::wstring& path)
{
    if (!entry.sha256)
        return -1;
    const std::string actual = FileSha256(path);
    return !actual.empty() && SameHex(actual, *entry.sha256) ? 0 : 1;
}

bool MatchesEntry(const ManifestEntry& entry, const std::string& bytes)
{
    if (!entry.size || !entry.crc || !entry.sha256)
        return false;
    return bytes.size() == static_cast<uint32_t>(ParseDecimal32(*entry.size)) &&
           Crc32(bytes.data(), bytes.size()) == static_cast<uint32_t>(ParseDecimal32(*entry.crc)) &&
           SameHex(Sha256Hex(bytes.data(), bytes.size()), *entry.sha256);
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
    const int sha = entry.sha256 ? CheckSha256(entry, installed) : 0;
    return size == 0 && crc == 0 && sha == 0 ? 0 : 1;
}

bool IsUpdatePending(const std::wstring& programFolder, const SERIAL_STORE& store)
{
    const std::wstring manifest = ManifestPath(programFolder);
    if (!PathFileExistsW(manifest.c_str()) || PathFileExistsW(HandOverMarkerPath(programFolder).c_str()))
        return false;
    std::vector<ManifestEntry> entries;
    if (LoadTrustedManifest(programFolder, store, &entries) != MANIFEST_OK)
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
        if (crc == 1 || CheckSha256(entry, installed) != 0)
            return true;
    }
    return false;
}
