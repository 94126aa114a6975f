#include "sysview/ModuleHandleSearch.h"

#include "base/LateBound.h"
#include "sysview/DevicePath.h"
#include "sysview/HandleObjects.h"
#include "sysview/SystemHandleInfo.h"
#include "sysview/SystemModuleInfo.h"
#include "sysview/SystemProcessInfo.h"

#include <windows.h>

namespace {

const DWORD kNt4 = 4;

bool EqualNoCase(const std::wstring& a, const std::wstring& b)
{
    return a.size() == b.size() && EqualNoCaseOrdinal(a.c_str(), b.c_str());
}

bool Stopped(const std::atomic<bool>* stop)
{
    return stop && stop->load();
}

FOUND_ROW RowFor(const CSystemProcessInfo& snapshot, uint32_t processId, std::wstring path)
{
    FOUND_ROW row;
    if (const PROCESS_RECORD* process = snapshot.Find(processId)) {
        row.processName = process->imageName;
        row.processIdText = std::to_wstring(processId);
    }
    row.path = std::move(path);
    return row;
}

} // namespace

std::wstring FileNamePart(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool MakeSearchKey(const std::wstring& text, SEARCH_KEY* key)
{
    *key = SEARCH_KEY();
    if (text.empty())
        return false;
    if (text.find_first_of(L"\\/") == std::wstring::npos) {
        key->text = text;
        return true;
    }
    wchar_t full[MAX_PATH];
    DWORD n = GetFullPathNameW(text.c_str(), MAX_PATH, full, nullptr);
    if (n == 0 || n >= MAX_PATH)
        return false;
    key->isPath = true;
    key->text.assign(full, n);
    return true;
}

std::vector<FOUND_ROW> FindModuleHolders(const SEARCH_KEY& key, const std::atomic<bool>* stop, const CNtApi& api)
{
    std::vector<FOUND_ROW> rows;
    CSystemModuleInfo modules(CSystemModuleInfo::kAllProcesses, api);
    if (key.text.empty() || !modules.Refresh() || modules.Modules().empty() || Stopped(stop))
        return rows;
    CSystemProcessInfo snapshot(true, api);
    for (const MODULE_INFO& module : modules.Modules()) {
        std::wstring path = module.path;
        if (EqualNoCase(key.isPath ? path : FileNamePart(path), key.text))
            rows.push_back(RowFor(snapshot, module.processId, path));
    }
    return rows;
}

std::vector<FOUND_ROW> FindFileHolders(const SEARCH_KEY& key, const std::atomic<bool>* stop, const CNtApi& api)
{
    std::vector<FOUND_ROW> rows;
    if (key.text.empty())
        return rows;
    CDeviceMap devices;
    // Object names come as device paths (\Device\HarddiskVolume1\x) or, under
    // Wine, as \??\C:\x: both sides are compared in device form.
    std::wstring keyDevice;
    if (key.isPath && !devices.ToDevicePath(key.text, &keyDevice))
        return rows;
    keyDevice = key.isPath ? devices.Canonical(key.text) : std::wstring();

    CSystemHandleInfo handles(CSystemHandleInfo::kAllProcesses, false, api);
    handles.SetTypeFilter(L"File");
    if (!handles.Refresh() || handles.Handles().empty() || Stopped(stop))
        return rows;
    CSystemProcessInfo snapshot(true, api);
    bool nt4 = GetWindowsMajorVersion() == kNt4;
    CHandleInspector inspector(api);
    for (const SYSTEM_HANDLE& entry : handles.Handles()) {
        if (Stopped(stop))
            break;
        FOUND_ROW row = RowFor(snapshot, entry.ownerProcessId, std::wstring());
        if (nt4 && EqualNoCase(row.processName, L"services.exe"))
            continue;
        HANDLE handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(entry.handleValue));
        std::wstring type;
        std::wstring name;
        int number = 0;
        if (inspector.TypeName(entry, &type) && (number = ObjectTypeNumber(type)) > 0)
            inspector.ObjectName(entry.ownerProcessId, handle, number, &name);
        if (name.empty())
            continue;
        if (key.isPath) {
            if (!EqualNoCase(devices.Canonical(name), keyDevice))
                continue;
            row.path = key.text;
        } else {
            if (!EqualNoCase(FileNamePart(name), key.text))
                continue;
            devices.ToDrivePath(name, &row.path);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}
