#include "sysview/ProcessDetails.h"

#include "base/LateBound.h"
#include "base/Handles.h"
#include "base/PathString.h"
#include "base/ProcessPath.h"
#include "base/Shell.h"
#include "sysview/DevicePath.h"
#include "sysview/FileVersionInfo.h"
#include "sysview/HandleObjects.h"
#include "sysview/SystemHandleInfo.h"
#include "sysview/SystemModuleInfo.h"

#include <windows.h>
#include <shlwapi.h>

#include <cwchar>

namespace {

const DWORD kNt4 = 4;
// PROCESS_QUERY_LIMITED_INFORMATION, which the headers of the 32-bit build's
// floor lack.
constexpr DWORD kQueryLimitedInformation = 0x1000;

std::wstring SystemRootVariable()
{
    wchar_t root[MAX_PATH + 1];
    DWORD n = GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH + 1);
    return n > 0 && n <= MAX_PATH ? std::wstring(root, n) : std::wstring();
}

// A well-known group of the NT authority (S-1-5-<rid>), freed with its owner.
class CNtAuthoritySid {
public:
    explicit CNtAuthoritySid(DWORD rid)
    {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        AllocateAndInitializeSid(&nt, 1, rid, 0, 0, 0, 0, 0, 0, 0, &m_sid);
    }
    ~CNtAuthoritySid()
    {
        if (m_sid)
            FreeSid(m_sid);
    }
    CNtAuthoritySid(const CNtAuthoritySid&) = delete;
    CNtAuthoritySid& operator=(const CNtAuthoritySid&) = delete;
    bool Matches(PSID sid) const { return m_sid && EqualSid(m_sid, sid); }

private:
    PSID m_sid = nullptr;
};

std::wstring FileDate(const std::wstring& path, const std::wstring& dateFormat)
{
    CPathString cleaned(path, CPathString::CLEAN_DEFAULT);
    WIN32_FILE_ATTRIBUTE_DATA data;
    FILETIME local;
    SYSTEMTIME time;
    if (!PathFileExistsW(cleaned.c_str()) || !CPathString::GetAttributes(cleaned, &data) ||
        !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &time))
        return std::wstring();
    wchar_t text[64];
    swprintf(text, 64, dateFormat.c_str(), time.wYear, time.wMonth, time.wDay);
    return text;
}

bool EqualNoCase(const std::wstring& a, const wchar_t* b)
{
    return EqualNoCaseOrdinal(a.c_str(), b);
}

} // namespace

PROCESS_DESCRIPTION DescribeProcess(const PROCESS_RECORD& process, const CSystemProcessInfo& snapshot)
{
    PROCESS_DESCRIPTION d;
    d.programPath = ProcessImagePath(process.processId);
    d.icon = ShellSmallIconIndex(d.programPath);
    CFileVersionInfo version;
    if (!d.programPath.empty() && version.Load(d.programPath)) {
        d.hasVersion = true;
        d.description = version.GetFileDescription();
        d.company = version.GetCompanyName();
    }
    d.nonInteractiveParent = IsNonInteractiveProcess(process.parentProcessId);
    return d;
}

bool IsNonInteractiveProcess(uint32_t processId)
{
    // Query rights open the token as well as all access would; where they
    // are refused (another user's process) the limited right may still be
    // granted (Vista and later; Windows XP refuses the unknown right).
    ui::CHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
    if (!process)
        process.Reset(OpenProcess(kQueryLimitedInformation, FALSE, processId));
    HANDLE tokenHandle = nullptr;
    if (!process || !OpenProcessToken(process.Get(), TOKEN_QUERY, &tokenHandle))
        return false;
    ui::CHandle token(tokenHandle);
    std::vector<uint64_t> buffer(7); // 50 bytes and a little
    DWORD needed = 0;
    if (!GetTokenInformation(token.Get(), TokenGroups, buffer.data(), 50, &needed)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0)
            return false;
        buffer.assign(needed / sizeof(uint64_t) + 1, 0);
        if (!GetTokenInformation(token.Get(), TokenGroups, buffer.data(), needed, &needed))
            return false;
    }
    CNtAuthoritySid interactive(SECURITY_INTERACTIVE_RID);
    CNtAuthoritySid service(SECURITY_SERVICE_RID);
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        if (interactive.Matches(groups->Groups[i].Sid))
            return false;
        if (service.Matches(groups->Groups[i].Sid))
            return true;
    }
    return true;
}

std::vector<MODULE_ROW> ListModuleRows(uint32_t processId, const std::wstring& dateFormat)
{
    std::vector<MODULE_ROW> rows;
    CSystemModuleInfo modules(processId);
    if (!modules.Refresh())
        return rows;
    std::wstring systemRoot = SystemRootVariable();
    CFileVersionInfo version;
    for (const MODULE_INFO& module : modules.Modules()) {
        MODULE_ROW row;
        row.path = FixProcessPath(module.path, systemRoot);
        size_t slash = row.path.find_last_of(L'\\');
        row.name = slash == std::wstring::npos ? row.path : row.path.substr(slash + 1);
        row.date = FileDate(row.path, dateFormat);
        if (version.Load(row.path)) {
            row.description = version.GetFileDescription();
            row.company = version.GetCompanyName();
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<HANDLE_ROW> ListHandleRows(uint32_t processId, const std::atomic<bool>* stop, const CNtApi& api)
{
    std::vector<HANDLE_ROW> rows;
    CSystemHandleInfo handles(processId, true, api);
    if (handles.Handles().empty())
        return rows;
    CSystemProcessInfo snapshot(true, api);
    CHandleInspector inspector(api);
    CDeviceMap devices;
    bool nt4 = GetWindowsMajorVersion() == kNt4;
    for (const SYSTEM_HANDLE& entry : handles.Handles()) {
        if (stop && *stop)
            break;
        const PROCESS_RECORD* owner = snapshot.Find(entry.ownerProcessId);
        if (!owner)
            continue;
        HANDLE handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(entry.handleValue));
        HANDLE_ROW row;
        int number = 0;
        if (!(nt4 && EqualNoCase(owner->imageName, L"services.exe")) && inspector.TypeName(entry, &row.type) &&
            (number = ObjectTypeNumber(row.type)) > 0)
            inspector.ObjectName(entry.ownerProcessId, handle, number, &row.name);
        // Files show their drive path where a drive maps them (the type goes
        // by name: the system's type numbers differ between versions).
        std::wstring drivePath;
        if (number == OBJECT_TYPE_FILE && devices.ToDrivePath(row.name, &drivePath))
            row.name = drivePath;
        if (!row.name.empty())
            rows.push_back(std::move(row));
    }
    return rows;
}

bool EndProcessById(uint32_t processId)
{
    ui::CHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, processId));
    return process && TerminateProcess(process.Get(), 0);
}
