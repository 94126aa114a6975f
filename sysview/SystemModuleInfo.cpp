#include "sysview/SystemModuleInfo.h"

#include "base/Handles.h"
#include "sysview/SystemProcessInfo.h"

#include <algorithm>
#include <cwchar>

namespace {

using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE process, HMODULE* modules, DWORD bytes, DWORD* needed);
using GetModuleFileNameExFn = DWORD(WINAPI*)(HANDLE process, HMODULE module, wchar_t* name, DWORD size);

// psapi, loaded for one enumeration and freed with it.
class CPsapi {
public:
    CPsapi() : m_module(LoadLibraryW(L"PSAPI.DLL"))
    {
        if (m_module) {
            enumModules = reinterpret_cast<EnumProcessModulesFn>(GetProcAddress(m_module, "EnumProcessModules"));
            moduleFileName = reinterpret_cast<GetModuleFileNameExFn>(GetProcAddress(m_module, "GetModuleFileNameExW"));
        }
    }
    ~CPsapi()
    {
        if (m_module)
            FreeLibrary(m_module);
    }
    CPsapi(const CPsapi&) = delete;
    CPsapi& operator=(const CPsapi&) = delete;

    bool Bound() const { return enumModules && moduleFileName; }

    EnumProcessModulesFn enumModules = nullptr;
    GetModuleFileNameExFn moduleFileName = nullptr;

private:
    HMODULE m_module;
};

void AddModulesOf(const CPsapi& psapi, uint32_t processId, std::vector<MODULE_INFO>* out)
{
    ui::CHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!process)
        return;
    DWORD needed = 0;
    if (!psapi.enumModules(process.Get(), nullptr, 0, &needed) || needed == 0)
        return;
    std::vector<HMODULE> modules(needed / sizeof(HMODULE));
    DWORD bytes = static_cast<DWORD>(modules.size() * sizeof(HMODULE));
    if (!psapi.enumModules(process.Get(), modules.data(), bytes, &needed))
        return;
    // Modules loaded between the two calls do not fit and are left out.
    size_t count = std::min<size_t>(modules.size(), needed / sizeof(HMODULE));
    for (size_t i = 0; i < count; ++i) {
        MODULE_INFO info = {};
        info.processId = processId;
        if (psapi.moduleFileName(process.Get(), modules[i], info.path, MAX_PATH) == 0)
            continue;
        info.path[MAX_PATH - 1] = L'\0';
        info.moduleHandle = reinterpret_cast<uintptr_t>(modules[i]);
        out->push_back(info);
    }
}

} // namespace

bool CSystemModuleInfo::Refresh()
{
    m_modules.clear();
    CPsapi psapi;
    if (!psapi.Bound())
        return false;
    if (m_processFilter != kAllProcesses) {
        AddModulesOf(psapi, m_processFilter, &m_modules);
        return true;
    }
    CSystemProcessInfo snapshot(true, m_api);
    if (snapshot.Empty())
        return false;
    for (const auto& process : snapshot.Processes())
        AddModulesOf(psapi, process.first, &m_modules);
    return true;
}
