// Starts the inspection helper (hm_child_helper.exe, beside the test or
// benchmark program) in one of its modes, waits until it is ready, and ends
// it again.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace helper {

// The folder of the running program, with a trailing backslash.
inline std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

inline std::wstring HelperPath()
{
    std::wstring beside = ProgramFolder() + L"hm_child_helper.exe";
    if (GetFileAttributesW(beside.c_str()) != INVALID_FILE_ATTRIBUTES)
        return beside;
    return ProgramFolder() + L"..\\tests\\hm_child_helper.exe"; // from the benchmark folder
}

class CHelperProcess {
public:
    CHelperProcess() = default;
    ~CHelperProcess() { End(); }
    CHelperProcess(const CHelperProcess&) = delete;
    CHelperProcess& operator=(const CHelperProcess&) = delete;

    // mode: "hold" (with `file`), "sleep", "parent", "orphan". True once the
    // helper (or, for "parent" and "orphan", its child) is ready.
    bool Start(const std::wstring& mode, const std::wstring& file = std::wstring())
    {
        static LONG counter = 0;
        std::wstring event = L"HmChildHelper-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                             std::to_wstring(InterlockedIncrement(&counter));
        HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, event.c_str());
        std::wstring command = L"\"" + HelperPath() + L"\" " + mode + L" ";
        if (!file.empty())
            command += L"\"" + file + L"\" ";
        command += event;
        STARTUPINFOW si = { sizeof(si) };
        PROCESS_INFORMATION pi = {};
        bool ok = CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != 0;
        if (ok) {
            CloseHandle(pi.hThread);
            m_process = pi.hProcess;
            m_id = pi.dwProcessId;
            // A loaded machine can take many seconds to start a Wine process.
            ok = WaitForSingleObject(ready, 30000) == WAIT_OBJECT_0;
        }
        CloseHandle(ready);
        return ok;
    }

    uint32_t Id() const { return m_id; }
    HANDLE Process() const { return m_process; }

    void End()
    {
        if (!m_process)
            return;
        TerminateProcess(m_process, 0);
        WaitForSingleObject(m_process, 10000);
        CloseHandle(m_process);
        m_process = nullptr;
    }

private:
    HANDLE m_process = nullptr;
    uint32_t m_id = 0;
};

// Ends the process `id` (a helper's child) and waits for it.
inline void EndProcessById(uint32_t id)
{
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (process) {
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 10000);
        CloseHandle(process);
    }
}

} // namespace helper
