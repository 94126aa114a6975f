// The application object: one running instance, crash reporting, the hidden
// frame whose client view creates the main window, and the orderly end.
#pragma once

#include "base/Handles.h"

#include <windows.h>

#include <memory>

class CMainFrame;

class CHarrowmereApp {
public:
    CHarrowmereApp();
    ~CHarrowmereApp();

    // TRUE: run the message loop. FALSE: end at once (second instance,
    // waiting update, frame failure).
    BOOL InitInstance();
    // Closes what InitInstance opened, each handle once; returns the exit code.
    int ExitInstance(int loopResult);

    CMainFrame* Frame() const { return m_frame.get(); }

private:
    ui::CHandle m_instanceMutex;
    void* m_crashReporter = nullptr;
    std::unique_ptr<CMainFrame> m_frame;
};

// Name of the single-instance mutex.
#define HM_INSTANCE_MUTEX L"Harrowmere V1.0 Mutex"

// Whether `commandLine` has the switch "background" (start hidden).
bool IsBackgroundStart(const wchar_t* commandLine);

// Enables SeDebugPrivilege in the process token; failures are ignored.
void EnableDebugPrivilege();

// Crash-reporter callback: stops the driver link, then lets the report go on.
BOOL CALLBACK CrashCallback(void* state);
