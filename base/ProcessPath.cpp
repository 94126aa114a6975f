#include "base/ProcessPath.h"

#include "base/Handles.h"
#include "base/LateBound.h"

#include <windows.h>
#include <psapi.h>

#include <vector>

namespace {

// PROCESS_QUERY_LIMITED_INFORMATION, which the headers of the floor lack.
constexpr DWORD kQueryLimitedInformation = 0x1000;

const wchar_t kSystemRootPrefix[] = L"\\SystemRoot"; // 11 characters
const wchar_t kDosDevicesPrefix[] = L"\\??\\";        // 4 characters

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix, size_t length)
{
    return text.size() >= length && _wcsnicmp(text.c_str(), prefix, length) == 0;
}

// The SystemRoot variable, or the Windows folder when it is not set.
std::wstring SystemRootFolder()
{
    wchar_t buf[MAX_PATH + 1];
    DWORD n = GetEnvironmentVariableW(L"SystemRoot", buf, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) {
        n = GetWindowsDirectoryW(buf, MAX_PATH + 1);
        if (n == 0 || n > MAX_PATH)
            return std::wstring();
    }
    return std::wstring(buf, n);
}

} // namespace

std::wstring FixProcessPath(const std::wstring& path, const std::wstring& systemRoot)
{
    const size_t rootLength = wcslen(kSystemRootPrefix);
    // "\SystemRoot" only as a whole first component: "\SystemRootX" is a
    // different name.
    if (StartsWithNoCase(path, kSystemRootPrefix, rootLength) &&
        (path.size() == rootLength || path[rootLength] == L'\\'))
        return systemRoot + path.substr(rootLength);
    const size_t dosLength = wcslen(kDosDevicesPrefix);
    if (StartsWithNoCase(path, kDosDevicesPrefix, dosLength)) {
        // "\??\UNC\server\share" is the network path "\\server\share".
        if (StartsWithNoCase(path.substr(dosLength), L"UNC\\", 4))
            return L"\\\\" + path.substr(dosLength + 4);
        return path.substr(dosLength);
    }
    return path;
}

std::wstring ProcessImagePath(uint32_t pid)
{
    // Query rights only, and no inheritable handle: asking for all access
    // fails for processes that allow a query, and an inheritable handle
    // would leak into any program started meanwhile.
    std::vector<wchar_t> buf(32768);
    std::wstring raw;
    ui::CHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (process) {
        DWORD n = GetModuleFileNameExW(process.Get(), nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        raw.assign(buf.data(), n);
    }
    // A process that admits only a limited query (Vista and later, where the
    // function and the access right exist) still tells its image name.
    using QueryImageNameFunction = BOOL WINAPI(HANDLE, DWORD, LPWSTR, PDWORD);
    static QueryImageNameFunction* const queryImageName =
        BoundSystemFunction<QueryImageNameFunction>(L"kernel32.dll", "QueryFullProcessImageNameW");
    if (raw.empty() && queryImageName) {
        process.Reset(OpenProcess(kQueryLimitedInformation, FALSE, pid));
        DWORD n = static_cast<DWORD>(buf.size());
        if (process && queryImageName(process.Get(), 0, buf.data(), &n))
            raw.assign(buf.data(), n);
    }
    if (raw.empty())
        return raw;
    return FixProcessPath(raw, SystemRootFolder());
}
