#include "app/HarrowmereApp.h"

#include "app/MainFrame.h"
#include "base/CmdLineParser.h"
#include "base/CrashReport.h"
#include "base/PathString.h"
#include "base/Product.h"
#include "update/Manifest.h"
#include "update/UpdaterLaunch.h"
#include "watch/WatchMain.h"

bool IsBackgroundStart(const wchar_t* commandLine)
{
    return CCmdLineParser(commandLine).HasKey(L"background");
}

void EnableDebugPrivilege()
{
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw))
        return;
    ui::CHandle token(raw);
    TOKEN_PRIVILEGES tp = {};
    if (LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &tp.Privileges[0].Luid)) {
        tp.PrivilegeCount = 1;
        tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        AdjustTokenPrivileges(token.Get(), FALSE, &tp, sizeof(tp), nullptr, nullptr);
    }
}

BOOL CALLBACK CrashCallback(void* /*state*/)
{
    // The driver must not wait for answers from a program that is going.
    if (CWatchMain* link = CWatchMain::PeekInstance())
        link->Stop();
    return TRUE;
}

CHarrowmereApp::CHarrowmereApp() = default;

CHarrowmereApp::~CHarrowmereApp() = default;

BOOL CHarrowmereApp::InitInstance()
{
    m_crashReporter = CrashReport::Install(CrashCallback, HM_SUPPORT_MAIL, L"Crash Report");

    // One running instance; a second one ends silently and leaves the first
    // one's windows alone.
    m_instanceMutex.Reset(CreateMutexW(nullptr, FALSE, HM_INSTANCE_MUTEX));
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        m_instanceMutex.Close();
        return FALSE;
    }

    // A downloaded update waits: the updater installs it and starts the
    // guard again; this start ends before any window so that the updater
    // can replace the program's files. When the updater cannot be started
    // the guard starts as usual.
    const std::wstring folder = CPathString::ProgramFolder();
    if (IsUpdatePending(folder) && LaunchUpdater(folder) == 0)
        return FALSE;

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
    m_instanceMutex.Close();
    if (m_crashReporter) {
        CrashReport::Uninstall(m_crashReporter);
        m_crashReporter = nullptr;
    }
    return loopResult;
}
