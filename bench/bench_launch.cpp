// The launcher of the real-workload benchmark (scripts/bench-workloads.sh):
// every column starts its workload through this same program, so that the
// columns differ only in the sensor. With a sensor path it loads the sensor
// first (as the guarded launcher does: the sensor follows the start into the
// program); with "-" it loads nothing.
//   bench_launch.exe <sensor DLL | -> <program> [<arguments>...]
// Returns the program's exit code, or 125 when the sensor cannot be loaded
// and 126 when the program cannot be started.
#include "base/CommandTokens.h"

#include <windows.h>

#include <stdio.h>

int main()
{
    const wchar_t* line = GetCommandLineW();
    const wchar_t* sensorStart = AfterTokens(line, 1);
    const wchar_t* command = AfterTokens(line, 2);
    if (!*command) {
        fprintf(stderr, "usage: bench_launch.exe <sensor DLL | -> <program> [<arguments>...]\n");
        return 126;
    }
    wchar_t sensor[MAX_PATH] = {};
    size_t n = 0;
    for (const wchar_t* p = sensorStart; p < command && n + 1 < MAX_PATH; ++p)
        if (*p != L'"')
            sensor[n++] = *p;
    while (n && (sensor[n - 1] == L' ' || sensor[n - 1] == L'\t'))
        sensor[--n] = 0;
    if (!(n == 1 && sensor[0] == L'-') && !LoadLibraryW(sensor)) {
        fprintf(stderr, "bench_launch: the sensor could not be loaded (error %lu)\n", GetLastError());
        return 125;
    }
    wchar_t* mutableCommand = _wcsdup(command);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!mutableCommand ||
        !CreateProcessW(nullptr, mutableCommand, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        fprintf(stderr, "bench_launch: the program could not be started (error %lu)\n", GetLastError());
        return 126;
    }
    CloseHandle(pi.hThread);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 126;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    free(mutableCommand);
    return static_cast<int>(code);
}
