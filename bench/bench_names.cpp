// What a canonical name costs beside the open it belongs to: one open and
// close of an existing file, then CanonicalFilePath on that file in several
// spellings, and CanonicalKeyPath on an open key. Prints one row per case
// with the time per call.
#include "bench/BenchTiming.h"
#include "names/CanonicalName.h"

#include <windows.h>
#include <stdio.h>

#include <string>

namespace {

void Row(const char* what, double seconds)
{
    printf("%-44s %10.1f us\n", what, seconds * 1e6);
}

} // namespace

int main()
{
    wchar_t temp[MAX_PATH], longTemp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    GetLongPathNameW(temp, longTemp, MAX_PATH);
    const std::wstring dir = std::wstring(longTemp) + L"hm_bench_names folder with a long name";
    const std::wstring file = dir + L"\\report of the year.txt";
    CreateDirectoryW(dir.c_str(), nullptr);
    HANDLE f = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "cannot create %ls\n", file.c_str());
        return 1;
    }
    CloseHandle(f);
    wchar_t shortPath[MAX_PATH];
    GetShortPathNameW(file.c_str(), shortPath, MAX_PATH);

    printf("%-44s %13s\n", "case", "per call");
    Row("open and close of the file (reference)", TimePerRun([&] {
            HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            if (h != INVALID_HANDLE_VALUE)
                CloseHandle(h);
        }));
    wchar_t out[NAMES_MAX_CHARS + 1];
    struct Case {
        const char* what;
        std::wstring name;
    } cases[] = {
        {"CanonicalFilePath, NT drive path", L"\\??\\" + file},
        {"CanonicalFilePath, with . and .. and /", L"\\??\\" + dir + L"\\.\\x\\..//report of the year.txt"},
        {"CanonicalFilePath, short names", L"\\??\\" + std::wstring(shortPath)},
        {"CanonicalFilePath, named stream", L"\\??\\" + file + L":note:$DATA"},
    };
    for (const Case& c : cases) {
        Row(c.what, TimePerRun([&] { CanonicalFilePath(nullptr, c.name.data(), c.name.size(), out, NAMES_MAX_CHARS + 1); }));
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion", 0, KEY_READ, &key) == 0) {
        Row("CanonicalKeyPath", TimePerRun([&] { CanonicalKeyPath(key, out, NAMES_MAX_CHARS + 1); }));
        RegCloseKey(key);
    }
    DeleteFileW(file.c_str());
    RemoveDirectoryW(dir.c_str());
    return 0;
}
