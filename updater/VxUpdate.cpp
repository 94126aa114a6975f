// VxUpdate.exe, the updater. The guard starts it with the single argument
// "-update" when a downloaded update waits, and ends. The updater waits until
// the guard's hidden frame is gone (about a second at most), installs the
// downloaded files whose checksum is right, cleans the download folder and
// starts the guard again. It shows no window and no message; any other
// command line ends it at once without touching anything.
#include "base/Messages.h"
#include "base/PathString.h"
#include "base/Shell.h"
#include "update/UpdateInstall.h"
#include "update/UpdaterLaunch.h"

#include <windows.h>

#include <cwchar>

namespace {

const wchar_t kGuardFile[] = L"Harrowmere.exe";
const DWORD kWaitStepMs = 10;

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int)
{
    // The arguments must be exactly "-update": no other letter case, blank
    // or further argument.
    if (!commandLine || std::wcscmp(commandLine, kUpdaterArgs) != 0)
        return 0;

    WaitForMainProgram([] { return FindWindowW(nullptr, HM_MAIN_FRAME_TITLE) != nullptr; },
                       [] { Sleep(kWaitStepMs); });

    const std::wstring folder = CPathString::FolderOf(CPathString::ModulePath()).str();
    InstallUpdate(folder);

    const std::wstring guard = CPathString::Combine(CPathString(folder), kGuardFile).str();
    StartProgram(guard, nullptr);
    return 0;
}
