// Stand-in native entry points for the inspection tests: a process list (and
// system times) written the way the system writes them, into the caller's
// buffer, from a table the test sets. The other four entry points are the
// system's own, so the table is "available".
#pragma once

#include "sysview/NativeLayouts.h"
#include "sysview/NtApi.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace fake {

struct PROCESS {
    uint32_t id;
    uint32_t parent;
    std::wstring name;
    int64_t user;
    int64_t kernel;
    uint64_t workingSet;
};

inline std::vector<PROCESS> g_processes;
inline NATIVE_TIME_OF_DAY_INFO g_timeOfDay = {};
inline int64_t g_idleTime = 0;
inline int g_listQueries = 0;

inline size_t Align8(size_t n)
{
    return (n + 7) & ~size_t(7);
}

inline NtStatus NTAPI QuerySystemInformation(ULONG infoClass, PVOID buffer, ULONG length, PULONG returned)
{
    if (infoClass == NT_SYSTEM_TIME_OF_DAY_INFORMATION) {
        std::memcpy(buffer, &g_timeOfDay, length < sizeof(g_timeOfDay) ? length : sizeof(g_timeOfDay));
        return 0;
    }
    if (infoClass == NT_SYSTEM_PERFORMANCE_INFORMATION) {
        std::memcpy(buffer, &g_idleTime, sizeof(g_idleTime));
        return 0;
    }
    if (infoClass != NT_SYSTEM_PROCESS_INFORMATION)
        return static_cast<NtStatus>(NT_STATUS_NOT_IMPLEMENTED);
    ++g_listQueries;
    size_t needed = 0;
    for (const PROCESS& p : g_processes)
        needed += Align8(sizeof(NATIVE_PROCESS_RECORD) + (p.name.size() + 1) * sizeof(wchar_t));
    if (returned)
        *returned = static_cast<ULONG>(needed);
    if (needed > length)
        return static_cast<NtStatus>(NT_STATUS_INFO_LENGTH_MISMATCH);
    unsigned char* out = static_cast<unsigned char*>(buffer);
    size_t offset = 0;
    for (size_t i = 0; i < g_processes.size(); ++i) {
        const PROCESS& p = g_processes[i];
        size_t size = Align8(sizeof(NATIVE_PROCESS_RECORD) + (p.name.size() + 1) * sizeof(wchar_t));
        NATIVE_PROCESS_RECORD r = {};
        r.NextEntryOffset = i + 1 < g_processes.size() ? static_cast<uint32_t>(size) : 0;
        r.UserTime = p.user;
        r.KernelTime = p.kernel;
        r.UniqueProcessId = p.id;
        r.InheritedFromUniqueProcessId = p.parent;
        r.WorkingSetSize = static_cast<NATIVE_PTR>(p.workingSet);
        wchar_t* text = reinterpret_cast<wchar_t*>(out + offset + sizeof(r));
        std::memcpy(text, p.name.c_str(), (p.name.size() + 1) * sizeof(wchar_t));
        r.ImageName.Length = static_cast<uint16_t>(p.name.size() * sizeof(wchar_t));
        r.ImageName.MaximumLength = static_cast<uint16_t>(r.ImageName.Length + sizeof(wchar_t));
        r.ImageName.Buffer = p.name.empty() ? 0 : static_cast<NATIVE_PTR>(reinterpret_cast<uintptr_t>(text));
        std::memcpy(out + offset, &r, sizeof(r));
        offset += size;
    }
    return 0;
}

// The system's entry points with the process list replaced.
inline CNtApi Api()
{
    NT_ENTRY_POINTS e = CNtApi::System().Entries();
    e.querySystemInformation = QuerySystemInformation;
    return CNtApi(e);
}

inline void Reset()
{
    g_processes.clear();
    g_timeOfDay = NATIVE_TIME_OF_DAY_INFO{};
    g_idleTime = 0;
    g_listQueries = 0;
}

} // namespace fake
