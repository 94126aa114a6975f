#include "update/UpdaterLaunch.h"

#include "base/Handles.h"
#include "base/PathString.h"
#include "base/Shell.h"
#include "update/Manifest.h"

#include <windows.h>

const wchar_t kUpdaterFile[] = L"VxUpdate.exe";
const wchar_t kUpdaterArgs[] = L"-update";

namespace {
const wchar_t kHandOverMarker[] = L"UpdateInfo.tried";
} // namespace

std::wstring HandOverMarkerPath(const std::wstring& programFolder)
{
    return CPathString::Combine(CPathString(UpdateFolderPath(programFolder)), kHandOverMarker).str();
}

int LaunchUpdater(const std::wstring& programFolder)
{
    const std::wstring marker = HandOverMarkerPath(programFolder);
    {
        ui::CHandle file(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                     nullptr));
        if (!file)
            return -1;
    }
    const std::wstring updater = CPathString::Combine(CPathString(programFolder), kUpdaterFile).str();
    if (!StartProgram(updater, kUpdaterArgs)) {
        DeleteFileW(marker.c_str());
        return -1;
    }
    return 0;
}

void ClearHandOver(const std::wstring& programFolder)
{
    DeleteFileW(HandOverMarkerPath(programFolder).c_str());
}
