// GuardedRun: starts a program guarded from its first instruction and
// returns its exit code.
//
//   GuardedRun.exe <program> [<arguments>...]
//
// It loads the sensor (beside it in the program folder) into itself and then
// starts the program: the sensor asks the driver about the start, creates
// the child suspended, loads itself into it and lets it run. What follows the
// program's name is passed on exactly as typed.
// Exit codes: the program's, or 125 when the sensor cannot be loaded, 126
// when the program cannot be started (the reason on standard error).
#include "base/CommandTokens.h"
#include "sensor/SensorFiles.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

const int kExitNoSensor = 125;
const int kExitNoStart = 126;

std::wstring OwnFolder()
{
    wchar_t path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L'\\') + 1);
}

} // namespace

int wmain()
{
    std::wstring command = AfterTokens(GetCommandLineW(), 1);
    if (command.empty()) {
        fwprintf(stderr, L"usage: GuardedRun.exe <program> [<arguments>...]\n");
        return kExitNoStart;
    }
    std::wstring sensor = OwnFolder() + HM_SENSOR_FILE;
    if (!LoadLibraryW(sensor.c_str())) {
        fwprintf(stderr, L"GuardedRun: the sensor %ls could not be loaded (error %lu)\n", sensor.c_str(),
                 GetLastError());
        return kExitNoSensor;
    }
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        fwprintf(stderr, L"GuardedRun: %ls could not be started (error %lu)\n", command.c_str(), GetLastError());
        return kExitNoStart;
    }
    CloseHandle(pi.hThread);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = static_cast<DWORD>(kExitNoStart);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}
