// CSystemModuleInfo: the modules loaded into one process or into every
// process, through psapi's EnumProcessModules and GetModuleFileNameExW, which
// are bound by name at each refresh.
#pragma once

#include "sysview/NtApi.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct MODULE_INFO {
    uint32_t processId;
    wchar_t path[MAX_PATH];  // NUL-terminated
    uintptr_t moduleHandle;  // load address in that process
};

class CSystemModuleInfo {
public:
    static constexpr uint32_t kAllProcesses = 0xFFFFFFFFu;

    explicit CSystemModuleInfo(uint32_t processFilter = kAllProcesses, const CNtApi& api = CNtApi::System())
        : m_processFilter(processFilter), m_api(api) {}

    void SetProcessFilter(uint32_t processId) { m_processFilter = processId; }

    // Empties the list, then enumerates. False when psapi cannot be bound, or
    // (for all processes) the process snapshot is empty.
    bool Refresh();

    const std::vector<MODULE_INFO>& Modules() const { return m_modules; }

private:
    uint32_t m_processFilter;
    const CNtApi& m_api;
    std::vector<MODULE_INFO> m_modules;
};
