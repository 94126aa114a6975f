#include "base/CrashReport.h"

#include "base/Handles.h"

#include "base/PathString.h"

#include <dbghelp.h>
#include <shlobj.h>

#include <cwchar>
#include <string>

namespace CrashReport {

namespace {

struct Reporter {
    Callback callback = nullptr;
    wchar_t mailTo[128] = {};
    wchar_t subject[128] = {};
    LPTOP_LEVEL_EXCEPTION_FILTER previous = nullptr;
    bool installed = false;
};

// One reporter per process; the filter runs on the crashing thread, so it
// touches nothing that needs allocation before the callback has run.
Reporter g_reporter;
LONG g_entered = 0;

bool FolderWritable(const std::wstring& folder)
{
    std::wstring probe = folder + L"~crashprobe.tmp";
    ui::CHandle h(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return h.Valid();
}

std::wstring ReportFolder()
{
    std::wstring folder = CPathString::ProgramFolder();
    if (!folder.empty() && FolderWritable(folder))
        return folder;
    wchar_t appData[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, appData))) {
        std::wstring dir = std::wstring(appData) + L"\\Harrowmere\\";
        CreateDirectoryW(dir.c_str(), nullptr);
        return dir;
    }
    return folder;
}

void WriteText(const std::wstring& path, EXCEPTION_POINTERS* info)
{
    ui::CHandle h(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h)
        return;
    char text[1024];
    SYSTEMTIME now;
    GetLocalTime(&now);
    const EXCEPTION_RECORD* rec = info ? info->ExceptionRecord : nullptr;
    int n = _snprintf(text, sizeof(text),
                      "Subject: %ls\r\nTo: %ls\r\nTime: %04u-%02u-%02u %02u:%02u:%02u\r\n"
                      "Exception: 0x%08lX at %p\r\nThread: %lu\r\nMinidump: Harrowmere.dmp\r\n",
                      g_reporter.subject, g_reporter.mailTo, now.wYear, now.wMonth, now.wDay, now.wHour,
                      now.wMinute, now.wSecond, rec ? rec->ExceptionCode : 0UL,
                      rec ? rec->ExceptionAddress : nullptr, GetCurrentThreadId());
    DWORD written = 0;
    if (n > 0)
        WriteFile(h.Get(), text, static_cast<DWORD>(n), &written, nullptr);
}

void WriteDump(const std::wstring& path, EXCEPTION_POINTERS* info)
{
    ui::CHandle h(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h)
        return;
    MINIDUMP_EXCEPTION_INFORMATION mei = {};
    mei.ThreadId = GetCurrentThreadId();
    mei.ExceptionPointers = info;
    mei.ClientPointers = FALSE;
    MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), h.Get(), MiniDumpNormal, info ? &mei : nullptr,
                      nullptr, nullptr);
}

LONG WINAPI Filter(EXCEPTION_POINTERS* info)
{
    // A crash inside the report itself ends the process without recursion.
    if (InterlockedExchange(&g_entered, 1) != 0)
        return EXCEPTION_EXECUTE_HANDLER;
    BOOL proceed = TRUE;
    if (g_reporter.callback)
        proceed = g_reporter.callback(info);
    if (proceed) {
        std::wstring folder = ReportFolder();
        WriteDump(folder + L"Harrowmere.dmp", info);
        WriteText(folder + L"Harrowmere-crash.txt", info);
    }
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

void* Install(Callback callback, const wchar_t* mailTo, const wchar_t* subject)
{
    if (g_reporter.installed)
        return nullptr;
    g_entered = 0;
    g_reporter.callback = callback;
    lstrcpynW(g_reporter.mailTo, mailTo ? mailTo : L"", ARRAYSIZE(g_reporter.mailTo));
    lstrcpynW(g_reporter.subject, subject ? subject : L"", ARRAYSIZE(g_reporter.subject));
    g_reporter.previous = SetUnhandledExceptionFilter(Filter);
    g_reporter.installed = true;
    return &g_reporter;
}

void Uninstall(void* handle)
{
    if (handle != &g_reporter || !g_reporter.installed)
        return;
    SetUnhandledExceptionFilter(g_reporter.previous);
    g_reporter = Reporter();
}

void ReportPaths(wchar_t* dumpPath, wchar_t* textPath, size_t chars)
{
    std::wstring folder = ReportFolder();
    lstrcpynW(dumpPath, (folder + L"Harrowmere.dmp").c_str(), static_cast<int>(chars));
    lstrcpynW(textPath, (folder + L"Harrowmere-crash.txt").c_str(), static_cast<int>(chars));
}

} // namespace CrashReport
