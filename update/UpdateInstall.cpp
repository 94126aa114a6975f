#include "update/UpdateInstall.h"

#include "base/DirectoryPath.h"
#include "base/PathString.h"
#include "net/FileBytes.h"
#include "update/Manifest.h"
#include "update/UpdaterLaunch.h"

#include <windows.h>
#include <shlwapi.h>

#include <vector>

namespace {

// The guard may still be ending when the updater starts: a file it holds
// cannot be renamed yet. Busy targets are tried again for about a second.
const int kCopyAttempts = 20;
const DWORD kCopyRetryMs = 50;
// Largest file an update installs.
const uint64_t kMaxInstallFileBytes = 256ull * 1024 * 1024;

bool IsBusy(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
}

bool EnsureFolderOf(const std::wstring& file)
{
    CPathString folder = CPathString::FolderOf(CPathString(file));
    std::wstring text = folder.str();
    while (!text.empty() && text.back() == L'\\')
        text.pop_back();
    if (PathIsDirectoryW(text.c_str()))
        return true;
    return CreateDirectoryPath(text.c_str()) == 1;
}

// One file to put into place: its verified bytes, where they go and where
// the file they replace was renamed to.
struct PENDING_FILE {
    std::wstring target;
    std::string bytes;
    std::wstring aside; // empty when there was no file to replace
    bool written = false;
};

bool MoveAside(PENDING_FILE& file, const std::wstring& asideFolder, size_t index)
{
    if (GetFileAttributesW(file.target.c_str()) == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    const std::wstring aside = asideFolder + std::to_wstring(GetCurrentProcessId()) + L"_" +
                               std::to_wstring(index) + L".old";
    DeleteFileW(aside.c_str());
    for (int attempt = 0; attempt < kCopyAttempts; ++attempt) {
        if (MoveFileExW(file.target.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            file.aside = aside;
            return true;
        }
        if (!IsBusy(GetLastError()))
            return false;
        Sleep(kCopyRetryMs);
    }
    return false;
}

// Undoes an install that failed: new files go, renamed ones come back.
void RollBack(std::vector<PENDING_FILE>& files)
{
    for (auto it = files.rbegin(); it != files.rend(); ++it) {
        if (it->written)
            DeleteFileW(it->target.c_str());
        if (!it->aside.empty())
            MoveFileExW(it->aside.c_str(), it->target.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
}

void DeleteAside(const std::wstring& aside)
{
    // A file that is still loaded cannot be deleted: the system deletes it
    // at its next start (where the updater has the right to ask).
    if (!aside.empty() && !DeleteFileW(aside.c_str()))
        MoveFileExW(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// Checks every entry and gathers what must be installed; false refuses the
// update as a whole.
bool PlanInstall(const std::vector<ManifestEntry>& entries, const std::wstring& programFolder,
                 std::vector<PENDING_FILE>* plan, std::vector<std::wstring>* downloads, INSTALL_RESULT* result)
{
    bool good = true;
    for (const ManifestEntry& entry : entries) {
        std::wstring installed, download;
        const int path = InstalledPath(entry, programFolder, &installed);
        if (path == ENTRY_UNSAFE_PATH) {
            ++result->skipped;
            good = false;
            continue;
        }
        if (path != ENTRY_PATH_OK || DownloadPath(entry, programFolder, &download) != ENTRY_PATH_OK)
            return false;
        downloads->push_back(download);
        if (CompareInstalled(entry, programFolder) == 0)
            continue;
        PENDING_FILE file;
        file.target = installed;
        if (!ReadFileBytes(download, kMaxInstallFileBytes, &file.bytes) || !MatchesEntry(entry, file.bytes)) {
            ++result->rejected;
            good = false;
            continue;
        }
        plan->push_back(std::move(file));
    }
    return good;
}

bool PutIntoPlace(std::vector<PENDING_FILE>& files, const std::wstring& asideFolder)
{
    for (size_t i = 0; i < files.size(); ++i) {
        PENDING_FILE& file = files[i];
        if (!EnsureFolderOf(file.target) || !MoveAside(file, asideFolder, i))
            return false;
        file.written = WriteFileBytes(file.target, file.bytes);
        if (!file.written)
            return false;
    }
    return true;
}

} // namespace

int WaitForMainProgram(const std::function<bool()>& present, const std::function<void()>& sleep, int maxSleeps)
{
    int sleeps = 0;
    while (sleeps < maxSleeps && present()) {
        sleep();
        ++sleeps;
    }
    return sleeps;
}

INSTALL_RESULT InstallUpdate(const std::wstring& programFolder, const SERIAL_STORE& store)
{
    INSTALL_RESULT result;
    const std::wstring manifest = ManifestPath(programFolder);
    if (!PathFileExistsW(manifest.c_str()))
        return result;
    std::vector<ManifestEntry> entries;
    if (LoadTrustedManifest(programFolder, store, &entries) != MANIFEST_OK)
        return result;
    result.manifestFound = true;

    std::vector<PENDING_FILE> files;
    std::vector<std::wstring> downloads;
    if (PlanInstall(entries, programFolder, &files, &downloads, &result)) {
        // Renamed files wait in the download folder, on the same volume.
        const std::wstring asideFolder = UpdateFolderPath(programFolder) + L"\\";
        if (PutIntoPlace(files, asideFolder)) {
            result.completed = true;
            result.installed = static_cast<int>(files.size());
            for (const PENDING_FILE& file : files)
                DeleteAside(file.aside);
        } else {
            result.failed = 1;
            RollBack(files);
        }
    }
    for (const std::wstring& download : downloads)
        DeleteFileW(download.c_str());
    DeleteFileW(manifest.c_str());
    DeleteFileW(ManifestSignaturePath(programFolder).c_str());
    ClearHandOver(programFolder);
    return result;
}
