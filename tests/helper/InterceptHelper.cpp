// A small program of ours for the interception tests and benchmark: it does
// the operations named on its command line, in order, and prints one line
// per operation with what the system answered, so a test sees exactly what
// a guarded program sees.
//   open <path>               opens an existing file and reads it: "open: ok <bytes>" / "open: error <code>"
//   write <path>              creates or truncates a file and writes: "write: ok" / "write: error <code>"
//   start <command line>      starts a program (the rest of the line), waits:
//                             "start: exit <code>" / "start: error <code>"
//   regset <HKCU subkey> <value name>  sets a text value: "regset: ok" / "regset: error <code>"
//   opens <path> <count>      opens and closes an existing file <count> times:
//                             "opens: <count> in <microseconds> us"
//   poll <path> <ms>          opens an existing file every 10 ms until it is refused or <ms> pass:
//                             "poll: refused after <opens> opens" / "poll: never refused in <opens> opens"
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

void Print(const char* format, unsigned long long a, unsigned long long b = 0)
{
    printf(format, a, b);
    fflush(stdout);
}

void Open(const wchar_t* path)
{
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        Print("open: error %llu\n", GetLastError());
        return;
    }
    char buf[4096];
    DWORD got = 0;
    unsigned long long total = 0;
    while (ReadFile(h, buf, sizeof(buf), &got, nullptr) && got > 0)
        total += got;
    CloseHandle(h);
    Print("open: ok %llu\n", total);
}

void Write(const wchar_t* path)
{
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        Print("write: error %llu\n", GetLastError());
        return;
    }
    DWORD written = 0;
    BOOL ok = WriteFile(h, "written\r\n", 9, &written, nullptr);
    CloseHandle(h);
    Print(ok ? "write: ok\n" : "write: error %llu\n", ok ? 0 : GetLastError());
}

void Start(std::wstring command)
{
    STARTUPINFOW si = { sizeof(si) };
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        Print("start: error %llu\n", GetLastError());
        return;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    Print("start: exit %llu\n", code);
}

void RegSet(const wchar_t* subkey, const wchar_t* name)
{
    HKEY key = nullptr;
    LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, subkey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        static const wchar_t kData[] = L"set by the helper";
        status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(kData), sizeof(kData));
        RegCloseKey(key);
    }
    Print(status == ERROR_SUCCESS ? "regset: ok\n" : "regset: error %llu\n", static_cast<unsigned long long>(status));
}

void Opens(const wchar_t* path, unsigned count)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (unsigned i = 0; i < count; ++i) {
        HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    QueryPerformanceCounter(&end);
    Print("opens: %llu in %llu us\n", count,
          static_cast<unsigned long long>((end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart));
}

void Poll(const wchar_t* path, unsigned long ms)
{
    unsigned long long opens = 0;
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(10)) {
        ++opens;
        HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
            Print("poll: refused after %llu opens\n", opens);
            return;
        }
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    Print("poll: never refused in %llu opens\n", opens);
}

// The command line from the argument after `index` on, as typed.
std::wstring RestOfLine(int index)
{
    const wchar_t* line = GetCommandLineW();
    bool quoted = false;
    for (int token = 0; *line && token <= index;) {
        if (*line == L'"')
            quoted = !quoted;
        ++line;
        if (!quoted && (*line == L' ' || *line == L'\t')) {
            while (*line == L' ' || *line == L'\t')
                ++line;
            ++token;
        }
    }
    return line;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    for (int i = 1; i < argc; ++i) {
        std::wstring op = argv[i];
        if (op == L"open" && i + 1 < argc) {
            Open(argv[++i]);
        } else if (op == L"write" && i + 1 < argc) {
            Write(argv[++i]);
        } else if (op == L"start" && i + 1 < argc) {
            Start(RestOfLine(i));
            break;
        } else if (op == L"regset" && i + 2 < argc) {
            RegSet(argv[i + 1], argv[i + 2]);
            i += 2;
        } else if (op == L"opens" && i + 2 < argc) {
            Opens(argv[i + 1], static_cast<unsigned>(wcstoul(argv[i + 2], nullptr, 10)));
            i += 2;
        } else if (op == L"poll" && i + 2 < argc) {
            Poll(argv[i + 1], wcstoul(argv[i + 2], nullptr, 10));
            i += 2;
        } else {
            fprintf(stderr, "hm_intercept_helper: unknown operation\n");
            return 2;
        }
    }
    return 0;
}
