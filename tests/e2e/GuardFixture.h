// Shared by the end-to-end scenarios: installs the staged program folder into
// C:\Program Files\Harrowmere of the prefix and starts and stops the real
// Harrowmere.exe there.
#pragma once

#include "support/Wait.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace e2e {

// build/<arch>/stage\ as seen from the test program in build/<arch>/tests.
std::wstring StageDir();
// C:\Program Files\Harrowmere\ (with the final backslash).
std::wstring ProgramDir();
// Copies every file of the stage into the program folder, then the
// programs of build/<arch>/dev over it; false on failure.
bool InstallProgramFolder();

// Number of running processes with this image name (case-insensitive).
int CountProcesses(const wchar_t* imageName);
// Ends every process with this image name; waits until they are gone.
void KillProcesses(const wchar_t* imageName);

// Top-level windows of a process, with title and visibility.
struct WindowInfo {
    HWND hwnd;
    std::wstring title;
    std::wstring className;
    bool visible;
    bool operator==(const WindowInfo& o) const
    {
        return hwnd == o.hwnd && title == o.title && className == o.className && visible == o.visible;
    }
};
std::vector<WindowInfo> TopLevelWindows(DWORD pid);

// Deletes HKCU\Software\Harrowmere and the autorun value.
void ResetSettings();
// A setting of HKCU\Software\Harrowmere, or `fallback` when missing.
DWORD ReadSetting(const wchar_t* name, DWORD fallback = 0xFFFFFFFF);
void WriteSetting(const wchar_t* name, DWORD value);

// Files of the program folder.
bool WriteProgramFile(const wchar_t* name, const std::string& bytes);
std::string ReadProgramFile(const wchar_t* name);
void DeleteProgramFile(const wchar_t* name);

// Runs a console program of the program folder to its end.
struct ToolResult {
    long exitCode = -1;
    std::string output;
};
ToolResult RunTool(const std::wstring& exe, const std::wstring& args, DWORD timeoutMs = 30000);

// Column `sub` of every row of a list view of another process (texts up to
// 255 characters); empty when the process cannot be opened.
std::vector<std::wstring> RemoteListColumn(HWND list, DWORD pid, int sub);

// Number of threads of a process.
int ThreadCount(DWORD pid);

// One running Harrowmere.exe (or another program of the folder).
class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts `exe` (a name inside the program folder) with `args`; a process
    // this object started before is ended first.
    bool Start(const std::wstring& exe, const std::wstring& args, bool captureOutput = false);
    // Waits for a top-level window of this process with this title.
    HWND WaitForWindow(const wchar_t* title, DWORD timeoutMs = 15000) const;
    // Waits for the process to end; returns its exit code or -1 on time-out.
    long WaitForExit(DWORD timeoutMs) const;
    // Asks the main window to close (WM_CLOSE) and waits; returns the exit code.
    long Close(DWORD timeoutMs = 15000);
    void Kill();
    // What the program wrote to standard output so far (captureOutput).
    std::string Output();

    DWORD Pid() const { return m_pi.dwProcessId; }
    HANDLE Handle() const { return m_pi.hProcess; }

private:
    PROCESS_INFORMATION m_pi = {};
    HANDLE m_outRead = nullptr;
    std::string m_output;
};

// The fixture: installs the program folder once, makes sure no guard runs
// before and after each scenario.
class GuardTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;
};

// Clicks `button` of the prompt until the prompt has gone: a click in the
// prompt's first half second is dropped on purpose.
inline bool AnswerPrompt(HWND prompt, int button, DWORD timeoutMs = 15000)
{
    return testwait::WaitUntil([&] {
        PostMessageW(GetDlgItem(prompt, button), BM_CLICK, 0, 0);
        return !IsWindow(prompt);
    }, timeoutMs);
}

} // namespace e2e
