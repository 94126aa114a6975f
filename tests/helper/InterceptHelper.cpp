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
//   odd <folder>              calls ntdll's file open and value set directly with odd arguments
//                             (the folder holds a.txt): one "odd <case>: <status>" line each
//   poll <path> <ms>          opens an existing file every 10 ms until it is refused or <ms> pass:
//                             "poll: refused after <opens> opens, <ms> ms" / "poll: never refused in <opens> opens"
#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <cwchar>
#include <algorithm>
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

// The same through a key opened first: the value's key is named relative to
// HKCU\<parent>, as programs that keep a key open do.
void RegSetRelative(const wchar_t* parent, const wchar_t* subkey, const wchar_t* name)
{
    HKEY base = nullptr, key = nullptr;
    LONG status = RegOpenKeyExW(HKEY_CURRENT_USER, parent, 0, KEY_CREATE_SUB_KEY, &base);
    if (status == ERROR_SUCCESS) {
        status = RegCreateKeyExW(base, subkey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
        RegCloseKey(base);
    }
    if (status == ERROR_SUCCESS) {
        static const wchar_t kData[] = L"set by the helper";
        status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(kData), sizeof(kData));
        RegCloseKey(key);
    }
    Print(status == ERROR_SUCCESS ? "regrel: ok\n" : "regrel: error %llu\n", static_cast<unsigned long long>(status));
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
    DWORD start = GetTickCount();
    for (; GetTickCount() - start < ms; Sleep(10)) {
        ++opens;
        HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
            Print("poll: refused after %llu opens, %llu ms\n", opens, GetTickCount() - start);
            return;
        }
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    Print("poll: never refused in %llu opens\n", opens);
}

extern "C" NTSTATUS NTAPI NtSetValueKey(HANDLE key, PUNICODE_STRING name, ULONG index, ULONG type, PVOID data,
                                        ULONG size);

UNICODE_STRING Counted(const wchar_t* text, USHORT bytes)
{
    UNICODE_STRING s;
    s.Buffer = const_cast<PWSTR>(text);
    s.Length = bytes;
    s.MaximumLength = bytes;
    return s;
}

// One direct call to NtCreateFile; prints its status and closes what opened.
void OddOpen(const char* name, ACCESS_MASK access, OBJECT_ATTRIBUTES* attributes)
{
    HANDLE file = nullptr;
    IO_STATUS_BLOCK io = {};
    NTSTATUS status = NtCreateFile(&file, access, attributes, &io, nullptr, 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   FILE_OPEN, FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, nullptr, 0);
    if (status >= 0 && file)
        CloseHandle(file);
    printf("odd %s: %08lx\n", name, static_cast<unsigned long>(status));
    fflush(stdout);
}

void Odd(const std::wstring& folder)
{
    std::wstring nt = L"\\??\\" + folder + L"\\a.txt";
    std::wstring unterminated = nt + L"XYZ"; // counted up to a.txt only
    std::wstring huge = L"\\??\\" + folder + L"\\" + std::wstring(32000, L'a');
    UNICODE_STRING good = Counted(nt.c_str(), static_cast<USHORT>(nt.size() * 2));
    UNICODE_STRING cut = Counted(unterminated.c_str(), static_cast<USHORT>(nt.size() * 2));
    UNICODE_STRING oddLength = Counted(nt.c_str(), 7);
    UNICODE_STRING beyond = good;
    beyond.MaximumLength = 2;
    UNICODE_STRING big = Counted(huge.c_str(), static_cast<USHORT>(std::min<size_t>(huge.size() * 2, 65534)));
    UNICODE_STRING relative = Counted(L"a.txt", 10);
    UNICODE_STRING empty = Counted(L"", 0);

    std::wstring dirName = L"\\??\\" + folder;
    UNICODE_STRING dirString = Counted(dirName.c_str(), static_cast<USHORT>(dirName.size() * 2));
    OBJECT_ATTRIBUTES dirAttributes;
    InitializeObjectAttributes(&dirAttributes, &dirString, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    HANDLE dir = nullptr;
    IO_STATUS_BLOCK io = {};
    NtOpenFile(&dir, FILE_LIST_DIRECTORY | SYNCHRONIZE, &dirAttributes, &io, FILE_SHARE_READ | FILE_SHARE_WRITE,
               FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT);

    struct Case {
        const char* name;
        UNICODE_STRING* string;
        HANDLE root;
        ACCESS_MASK access;
    } cases[] = {
        { "plain", &good, nullptr, GENERIC_READ | SYNCHRONIZE },
        { "no-nul", &cut, nullptr, GENERIC_READ | SYNCHRONIZE },
        { "odd-length", &oddLength, nullptr, GENERIC_READ | SYNCHRONIZE },
        { "beyond-maximum", &beyond, nullptr, GENERIC_READ | SYNCHRONIZE },
        { "huge", &big, nullptr, GENERIC_READ | SYNCHRONIZE },
        { "relative", &relative, dir, GENERIC_READ | SYNCHRONIZE },
        { "empty-no-root", &empty, nullptr, GENERIC_READ | SYNCHRONIZE },
        { "no-access", &good, nullptr, 0 },
        { "maximum-allowed", &good, nullptr, MAXIMUM_ALLOWED | SYNCHRONIZE },
        { "null-name", nullptr, nullptr, GENERIC_READ | SYNCHRONIZE },
    };
    for (const Case& c : cases) {
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, c.string, OBJ_CASE_INSENSITIVE, c.root, nullptr);
        OddOpen(c.name, c.access, &attributes);
    }
    OddOpen("null-attributes", GENERIC_READ, nullptr);
    if (dir)
        CloseHandle(dir);

    // A value set with a file handle for a key, and with no value name.
    HANDLE file = CreateFileW((folder + L"\\a.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    DWORD data = 1;
    UNICODE_STRING valueName = Counted(L"Odd", 6);
    printf("odd value-on-file: %08lx\n",
           static_cast<unsigned long>(NtSetValueKey(file, &valueName, 0, REG_DWORD, &data, sizeof(data))));
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\HarrowmereTest\\Odd", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                    &key, nullptr);
    printf("odd value-null-name: %08lx\n",
           static_cast<unsigned long>(NtSetValueKey(key, nullptr, 0, REG_DWORD, &data, sizeof(data))));
    if (key)
        RegCloseKey(key);
    fflush(stdout);
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
        } else if (op == L"regrel" && i + 3 < argc) {
            RegSetRelative(argv[i + 1], argv[i + 2], argv[i + 3]);
            i += 3;
        } else if (op == L"opens" && i + 2 < argc) {
            Opens(argv[i + 1], static_cast<unsigned>(wcstoul(argv[i + 2], nullptr, 10)));
            i += 2;
        } else if (op == L"odd" && i + 1 < argc) {
            Odd(argv[++i]);
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
