#include "app/HarrowmereApp.h"

#include "base/CmdLineParser.h"
#include "app/CrashReport.h"
#include "app/MainFrame.h"
#include "watch/WatchMain.h"

bool IsBackgroundStart(const wchar_t* commandLine)
{
    return CCmdLineParser(commandLine).HasKey(L"background");
}

void EnableDebugPrivilege()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return;
    TOKEN_PRIVILEGES tp = {};
    if (LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &tp.Privileges[0].Luid)) {
        tp.PrivilegeCount = 1;
        tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        AdjustTokenPrivileges(token, FALSE, &tp, sizeof(tp), nullptr, nullptr);
    }
    CloseHandle(token);
}

BOOL CALLBACK CrashCallback(void* /*state*/)
{
    StopDriverLinkOnCrash();
    return TRUE;
}

CHarrowmereApp::CHarrowmereApp() = default;

CHarrowmereApp::~CHarrowmereApp() = default;

BOOL CHarrowmereApp::InitInstance()
{
    m_crashReporter = CrashReport::Install(CrashCallback, L"support@harrowmere.invalid", L"Crash Report");

    // One running instance; a second one ends silently and leaves the first
    // one's windows alone.
    m_instanceMutex = CreateMutexW(nullptr, FALSE, HM_INSTANCE_MUTEX);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(m_instanceMutex);
        m_instanceMutex = nullptr;
        return FALSE;
    }

    m_frame.reset(new (std::nothrow) CMainFrame(IsBackgroundStart(GetCommandLineW())));
    if (!m_frame)
        return FALSE;
    EnableDebugPrivilege();
    if (!m_frame->CreateFrame()) {
        m_frame.reset();
        return FALSE;
    }
    return TRUE;
}

int CHarrowmereApp::ExitInstance(int loopResult)
{
    m_frame.reset();
    if (m_instanceMutex) {
        CloseHandle(m_instanceMutex);
        m_instanceMutex = nullptr;
    }
    if (m_crashReporter) {
        CrashReport::Uninstall(m_crashReporter);
        m_crashReporter = nullptr;
    }
    return loopResult;
}
