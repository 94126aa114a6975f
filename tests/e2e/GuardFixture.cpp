// Registry set-up with helpers from Vista on; the tests run on x86_64 only,
// so the i686 build merely compiles them.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include "e2e/GuardFixture.h"
#include "TestRegistry.h"
#include "support/Wait.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cwctype>

namespace e2e {

namespace {

std::wstring ModuleFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path);
    return s.substr(0, s.find_last_of(L'\\') + 1);
}

std::wstring Lower(std::wstring s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return s;
}

template <typename F>
void ForEachProcess(F f)
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32W pe = { sizeof(pe) };
    for (BOOL ok = Process32FirstW(snap, &pe); ok; ok = Process32NextW(snap, &pe))
        f(pe);
    CloseHandle(snap);
}

} // namespace

std::wstring StageDir()
{
    return ModuleFolder() + L"..\\stage\\";
}

std::wstring ProgramDir()
{
    return L"C:\\Program Files\\Harrowmere\\";
}

namespace {

bool CopyFolderFiles(const std::wstring& from, const std::wstring& to)
{
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((from + L"*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const std::wstring source = from + fd.cFileName, target = to + fd.cFileName;
        if (!CopyFileW(source.c_str(), target.c_str(), FALSE)) {
            // A sensor still loaded in a running program cannot be
            // overwritten, but it can be moved aside (and deleted later).
            std::wstring aside = target + L"." + std::to_wstring(GetTickCount()) + L".old";
            if (!MoveFileExW(target.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING) ||
                !CopyFileW(source.c_str(), target.c_str(), FALSE))
                ok = false;
            MoveFileExW(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        }
    } while (FindNextFileW(find, &fd));
    FindClose(find);
    return ok;
}

} // namespace

bool InstallProgramFolder()
{
    std::wstring dst = ProgramDir();
    CreateDirectoryW(dst.c_str(), nullptr);
    // The stage, then the two programs built to trust the build folder's
    // throwaway key as well (build/<arch>/dev), so that the scenarios can
    // sign what they serve.
    const bool staged = CopyFolderFiles(StageDir(), dst);
    return CopyFolderFiles(ModuleFolder() + L"..\\dev\\", dst) && staged;
}

int CountProcesses(const wchar_t* imageName)
{
    int n = 0;
    std::wstring want = Lower(imageName);
    ForEachProcess([&](const PROCESSENTRY32W& pe) { n += Lower(pe.szExeFile) == want; });
    return n;
}

void KillProcesses(const wchar_t* imageName)
{
    std::wstring want = Lower(imageName);
    std::vector<DWORD> pids;
    ForEachProcess([&](const PROCESSENTRY32W& pe) {
        if (Lower(pe.szExeFile) == want)
            pids.push_back(pe.th32ProcessID);
    });
    for (DWORD pid : pids) {
        HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (!h)
            continue;
        TerminateProcess(h, 1);
        WaitForSingleObject(h, 10000);
        CloseHandle(h);
    }
}

namespace {
struct WindowSearch {
    DWORD pid;
    std::vector<WindowInfo> out;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lp)
{
    auto* search = reinterpret_cast<WindowSearch*>(lp);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner == search->pid) {
        wchar_t title[256] = {}, cls[256] = {};
        GetWindowTextW(hwnd, title, 256);
        GetClassNameW(hwnd, cls, 256);
        search->out.push_back({ hwnd, title, cls, IsWindowVisible(hwnd) != FALSE });
    }
    return TRUE;
}
} // namespace

std::vector<WindowInfo> TopLevelWindows(DWORD pid)
{
    WindowSearch search{ pid, {} };
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.out;
}

void ResetSettings()
{
    testreg::DeleteTree(HKEY_CURRENT_USER, L"Software\\Harrowmere");
    HKEY run;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0, KEY_SET_VALUE,
                      &run) == ERROR_SUCCESS) {
        RegDeleteValueW(run, L"Harrowmere");
        RegCloseKey(run);
    }
}

DWORD ReadSetting(const wchar_t* name, DWORD fallback)
{
    DWORD value = fallback, size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Harrowmere", name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS)
        return fallback;
    return value;
}

void WriteSetting(const wchar_t* name, DWORD value)
{
    testreg::SetValue(HKEY_CURRENT_USER, L"Software\\Harrowmere", name, REG_DWORD, &value, sizeof(value));
}

bool WriteProgramFile(const wchar_t* name, const std::string& bytes)
{
    HANDLE h = CreateFileW((ProgramDir() + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
}

std::string ReadProgramFile(const wchar_t* name)
{
    HANDLE h = CreateFileW((ProgramDir() + name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::string();
    std::string out;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof(buf), &got, nullptr) && got > 0)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

void DeleteProgramFile(const wchar_t* name)
{
    DeleteFileW((ProgramDir() + name).c_str());
}

ToolResult RunTool(const std::wstring& exe, const std::wstring& args, DWORD timeoutMs)
{
    ToolResult result;
    Process p;
    if (!p.Start(exe, args, true))
        return result;
    DWORD start = GetTickCount();
    while (WaitForSingleObject(p.Handle(), 20) == WAIT_TIMEOUT && GetTickCount() - start < timeoutMs)
        p.Output();
    result.exitCode = p.WaitForExit(0);
    result.output = p.Output();
    return result;
}

std::vector<std::wstring> RemoteListColumn(HWND list, DWORD pid, int sub)
{
    std::vector<std::wstring> out;
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return out;
    const SIZE_T textChars = 256;
    auto* remote = static_cast<BYTE*>(
        VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + textChars * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE));
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; remote && i < count; ++i) {
        LVITEMW item = {};
        item.iSubItem = sub;
        item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
        item.cchTextMax = textChars;
        WriteProcessMemory(process, remote, &item, sizeof(item), nullptr);
        SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(remote));
        wchar_t text[textChars] = {};
        ReadProcessMemory(process, remote + sizeof(LVITEMW), text, sizeof(text) - sizeof(wchar_t), nullptr);
        out.push_back(text);
    }
    if (remote)
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return out;
}

int ThreadCount(DWORD pid)
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return -1;
    int n = 0;
    THREADENTRY32 te = { sizeof(te) };
    for (BOOL ok = Thread32First(snap, &te); ok; ok = Thread32Next(snap, &te))
        n += te.th32OwnerProcessID == pid;
    CloseHandle(snap);
    return n;
}

Process::~Process()
{
    Kill();
    if (m_outRead)
        CloseHandle(m_outRead);
}

bool Process::Start(const std::wstring& exe, const std::wstring& args, bool captureOutput)
{
    // A process started before is ended and let go first: one object serves
    // a restart.
    Kill();
    if (m_outRead) {
        CloseHandle(m_outRead);
        m_outRead = nullptr;
    }
    m_output.clear();
    std::wstring path = ProgramDir() + exe;
    std::wstring cmd = L"\"" + path + L"\"" + (args.empty() ? L"" : L" " + args);
    STARTUPINFOW si = { sizeof(si) };
    HANDLE outWrite = nullptr;
    if (captureOutput) {
        SECURITY_ATTRIBUTES sa = { sizeof(sa), nullptr, TRUE };
        if (!CreatePipe(&m_outRead, &outWrite, &sa, 1 << 16))
            return false;
        SetHandleInformation(m_outRead, HANDLE_FLAG_INHERIT, 0);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = outWrite;
        si.hStdError = outWrite;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    }
    BOOL ok = CreateProcessW(path.c_str(), &cmd[0], nullptr, nullptr, captureOutput, 0, nullptr,
                             ProgramDir().c_str(), &si, &m_pi);
    if (outWrite)
        CloseHandle(outWrite);
    return ok != FALSE;
}

HWND Process::WaitForWindow(const wchar_t* title, DWORD timeoutMs) const
{
    HWND found = nullptr;
    testwait::WaitUntil([&] {
        for (const WindowInfo& w : TopLevelWindows(m_pi.dwProcessId))
            if (!found && w.title == title)
                found = w.hwnd;
        return found || (m_pi.hProcess && WaitForSingleObject(m_pi.hProcess, 0) == WAIT_OBJECT_0);
    }, timeoutMs);
    // Windows appear during start-up; idle means it has finished.
    if (found)
        WaitForInputIdle(m_pi.hProcess, 5000);
    return found;
}

long Process::WaitForExit(DWORD timeoutMs) const
{
    if (!m_pi.hProcess || WaitForSingleObject(m_pi.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(m_pi.hProcess, &code);
    return static_cast<long>(code);
}

long Process::Close(DWORD timeoutMs)
{
    for (const WindowInfo& w : TopLevelWindows(m_pi.dwProcessId))
        if (w.className == L"#32770" && w.title == L"Harrowmere 2006")
            PostMessageW(w.hwnd, WM_CLOSE, 0, 0);
    return WaitForExit(timeoutMs);
}

void Process::Kill()
{
    if (m_pi.hProcess) {
        if (WaitForSingleObject(m_pi.hProcess, 0) != WAIT_OBJECT_0) {
            TerminateProcess(m_pi.hProcess, 1);
            WaitForSingleObject(m_pi.hProcess, 10000);
        }
        CloseHandle(m_pi.hProcess);
        CloseHandle(m_pi.hThread);
    }
    m_pi = {};
}

std::string Process::Output()
{
    if (!m_outRead)
        return m_output;
    DWORD avail = 0;
    while (PeekNamedPipe(m_outRead, nullptr, 0, nullptr, &avail, nullptr) && avail > 0) {
        char buf[4096];
        DWORD got = 0;
        if (!ReadFile(m_outRead, buf, std::min<DWORD>(avail, sizeof(buf)), &got, nullptr) || got == 0)
            break;
        m_output.append(buf, got);
    }
    return m_output;
}

void GuardTest::SetUpTestSuite()
{
    KillProcesses(L"Harrowmere.exe");
    ASSERT_TRUE(InstallProgramFolder()) << "cannot install the stage into " << "C:\\Program Files\\Harrowmere";
}

void GuardTest::SetUp()
{
    KillProcesses(L"Harrowmere.exe");
}

void GuardTest::TearDown()
{
    KillProcesses(L"Harrowmere.exe");
}

} // namespace e2e
