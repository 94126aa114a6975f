#include "sysview/NtApi.h"

#include "sysview/NativeLayouts.h"

#include <cstring>

namespace {

template <typename Fn>
Fn Lookup(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<Fn>(GetProcAddress(module, name)) : nullptr;
}

const NtStatus kNotAvailable = static_cast<NtStatus>(NT_STATUS_NOT_IMPLEMENTED);

} // namespace

CNtApi::CNtApi(const NT_ENTRY_POINTS& entries)
    : m_entries(entries),
      m_available(entries.querySystemInformation && entries.queryObject && entries.queryInformationThread &&
                  entries.queryInformationFile && entries.queryInformationProcess)
{
}

CNtApi CNtApi::Bind(HMODULE module)
{
    NT_ENTRY_POINTS e = {};
    e.querySystemInformation = Lookup<NtQuerySystemInformationFn>(module, "NtQuerySystemInformation");
    e.queryObject = Lookup<NtQueryObjectFn>(module, "NtQueryObject");
    e.queryInformationThread = Lookup<NtQueryInformationThreadFn>(module, "NtQueryInformationThread");
    e.queryInformationFile = Lookup<NtQueryInformationFileFn>(module, "NtQueryInformationFile");
    e.queryInformationProcess = Lookup<NtQueryInformationProcessFn>(module, "NtQueryInformationProcess");
    return CNtApi(e);
}

const CNtApi& CNtApi::System()
{
    static const CNtApi api = Bind(GetModuleHandleW(L"ntdll.dll"));
    return api;
}

NtStatus CNtApi::QuerySystemInformation(ULONG infoClass, void* buffer, ULONG length, ULONG* returned) const
{
    return m_available ? m_entries.querySystemInformation(infoClass, buffer, length, returned) : kNotAvailable;
}

NtStatus CNtApi::QueryObject(HANDLE handle, ULONG infoClass, void* buffer, ULONG length, ULONG* returned) const
{
    return m_available ? m_entries.queryObject(handle, infoClass, buffer, length, returned) : kNotAvailable;
}

NtStatus CNtApi::QueryInformationThread(HANDLE thread, ULONG infoClass, void* buffer, ULONG length) const
{
    return m_available ? m_entries.queryInformationThread(thread, infoClass, buffer, length, nullptr) : kNotAvailable;
}

NtStatus CNtApi::QueryInformationFile(HANDLE file, void* buffer, ULONG length, ULONG infoClass) const
{
    if (!m_available)
        return kNotAvailable;
    NATIVE_PTR ioStatus[2] = {};
    return m_entries.queryInformationFile(file, ioStatus, buffer, length, infoClass);
}

NtStatus CNtApi::QueryInformationProcess(HANDLE process, ULONG infoClass, void* buffer, ULONG length) const
{
    return m_available ? m_entries.queryInformationProcess(process, infoClass, buffer, length, nullptr) : kNotAvailable;
}

DWORD GetWindowsMajorVersion()
{
    static const DWORD major = [] {
        OSVERSIONINFOEXW ex = {};
        ex.dwOSVersionInfoSize = sizeof(ex);
        if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&ex)))
            return ex.dwMajorVersion;
        OSVERSIONINFOW plain = {};
        plain.dwOSVersionInfoSize = sizeof(plain);
        return GetVersionExW(&plain) ? plain.dwMajorVersion : DWORD(0);
    }();
    return major;
}

bool LoadNativeEntryPoints()
{
    return CNtApi::System().Available();
}

int QueryProcessorCount(const CNtApi& api)
{
    // The system insists on the record's exact size.
    NATIVE_SYSTEM_BASIC_INFO info = {};
    if (!NtSuccess(api.QuerySystemInformation(NT_SYSTEM_BASIC_INFORMATION, &info, sizeof(info), nullptr)))
        return 1;
    return info.NumberOfProcessors > 0 ? info.NumberOfProcessors : 1;
}

bool QuerySystemTimes(SYSTEM_TIMES* times, const CNtApi& api)
{
    *times = SYSTEM_TIMES{};
    NATIVE_TIME_OF_DAY_INFO day = {};
    // The performance record has grown over the versions; its first field,
    // the idle time, has stayed. A generous buffer fits every version.
    alignas(8) unsigned char performance[1024] = {};
    if (!NtSuccess(api.QuerySystemInformation(NT_SYSTEM_TIME_OF_DAY_INFORMATION, &day, 32, nullptr)) ||
        !NtSuccess(api.QuerySystemInformation(NT_SYSTEM_PERFORMANCE_INFORMATION, performance, sizeof(performance),
                                              nullptr)))
        return false;
    times->currentTime = day.CurrentTime;
    std::memcpy(&times->idleTime, performance, sizeof(times->idleTime));
    return true;
}
