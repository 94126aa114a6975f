#include "update/UpdateInstall.h"

#include "base/DirectoryPath.h"
#include "base/PathString.h"
#include "update/Manifest.h"
#include "update/UpdaterLaunch.h"

#include <windows.h>
#include <shlwapi.h>

#include <vector>

namespace {

// The guard may still be ending when the updater starts: a file it holds
// cannot be replaced yet. Busy targets are tried again for about a second.
const int kCopyAttempts = 20;
const DWORD kCopyRetryMs = 50;

bool CopyIntoPlace(const std::wstring& from, const std::wstring& to)
{
    for (int attempt = 0; attempt < kCopyAttempts; ++attempt) {
        if (CopyFileW(from.c_str(), to.c_str(), FALSE))
            return true;
        const DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED && error != ERROR_LOCK_VIOLATION)
            return false;
        Sleep(kCopyRetryMs);
    }
    return false;
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

INSTALL_RESULT InstallUpdate(const std::wstring& programFolder)
{
    INSTALL_RESULT result;
    const std::wstring manifest = ManifestPath(programFolder);
    if (!PathFileExistsW(manifest.c_str()))
        return result;
    std::vector<ManifestEntry> entries;
    if (LoadManifest(manifest, &entries) != MANIFEST_OK)
        return result;
    result.manifestFound = true;

    result.completed = true;
    for (const ManifestEntry& entry : entries) {
        std::wstring installed, download;
        const int path = InstalledPath(entry, programFolder, &installed);
        if (path == ENTRY_UNSAFE_PATH) {
            ++result.skipped;
            continue;
        }
        if (path != ENTRY_PATH_OK || DownloadPath(entry, programFolder, &download) != ENTRY_PATH_OK) {
            result.completed = false;
            break;
        }
        if (CheckCrc(entry, download) == 0 && PathFileExistsW(download.c_str())) {
            if (EnsureFolderOf(installed) && CopyIntoPlace(download, installed))
                ++result.installed;
            else
                ++result.failed;
        } else if (PathFileExistsW(download.c_str())) {
            ++result.rejected;
        }
        DeleteFileW(download.c_str());
    }
    DeleteFileW(manifest.c_str());
    ClearHandOver(programFolder);
    return result;
}
