// The five native query functions of ntdll, bound by name so that the
// program still starts (with empty inspection tools) where one is missing,
// and the Windows major version. Every native call of the inspection tools
// goes through a CNtApi; tests hand the queries a table of their own.
#pragma once

#include <windows.h>

#include <cstdint>

using NtStatus = LONG;

// Status values the inspection tools tell apart.
enum : uint32_t {
    NT_STATUS_SUCCESS = 0,
    NT_STATUS_BUFFER_OVERFLOW = 0x80000005u,
    NT_STATUS_INFO_LENGTH_MISMATCH = 0xC0000004u,
    NT_STATUS_BUFFER_TOO_SMALL = 0xC0000023u,
    NT_STATUS_NOT_IMPLEMENTED = 0xC0000002u, // also: entry point missing
};

inline bool NtSuccess(NtStatus status) { return status >= 0; }
// The status of a query whose buffer was too small for the answer.
inline bool NtBufferTooSmall(NtStatus status)
{
    uint32_t s = static_cast<uint32_t>(status);
    return s == NT_STATUS_INFO_LENGTH_MISMATCH || s == NT_STATUS_BUFFER_TOO_SMALL || s == NT_STATUS_BUFFER_OVERFLOW;
}

using NtQuerySystemInformationFn = NtStatus(NTAPI*)(ULONG infoClass, PVOID buffer, ULONG length, PULONG returned);
using NtQueryObjectFn = NtStatus(NTAPI*)(HANDLE handle, ULONG infoClass, PVOID buffer, ULONG length, PULONG returned);
using NtQueryInformationThreadFn = NtStatus(NTAPI*)(HANDLE thread, ULONG infoClass, PVOID buffer, ULONG length,
                                                    PULONG returned);
// The second argument is the caller's I/O status block (two pointer-sized
// fields).
using NtQueryInformationFileFn = NtStatus(NTAPI*)(HANDLE file, PVOID ioStatus, PVOID buffer, ULONG length,
                                                  ULONG infoClass);
using NtQueryInformationProcessFn = NtStatus(NTAPI*)(HANDLE process, ULONG infoClass, PVOID buffer, ULONG length,
                                                     PULONG returned);

struct NT_ENTRY_POINTS {
    NtQuerySystemInformationFn querySystemInformation;
    NtQueryObjectFn queryObject;
    NtQueryInformationThreadFn queryInformationThread;
    NtQueryInformationFileFn queryInformationFile;
    NtQueryInformationProcessFn queryInformationProcess;
};

class CNtApi {
public:
    // A table of entry points; available only when all five are present.
    explicit CNtApi(const NT_ENTRY_POINTS& entries);
    // Looks the five functions up by name in `module`.
    static CNtApi Bind(HMODULE module);
    // The functions of the loaded ntdll.dll, bound once.
    static const CNtApi& System();

    bool Available() const { return m_available; }
    const NT_ENTRY_POINTS& Entries() const { return m_entries; }

    // The calls; each answers NT_STATUS_NOT_IMPLEMENTED at once when the
    // table is not available.
    NtStatus QuerySystemInformation(ULONG infoClass, void* buffer, ULONG length, ULONG* returned) const;
    NtStatus QueryObject(HANDLE handle, ULONG infoClass, void* buffer, ULONG length, ULONG* returned) const;
    NtStatus QueryInformationThread(HANDLE thread, ULONG infoClass, void* buffer, ULONG length) const;
    NtStatus QueryInformationFile(HANDLE file, void* buffer, ULONG length, ULONG infoClass) const;
    NtStatus QueryInformationProcess(HANDLE process, ULONG infoClass, void* buffer, ULONG length) const;

private:
    NT_ENTRY_POINTS m_entries;
    bool m_available;
};

// The major version that GetVersionExW reports (extended record first, then
// the plain one); 0 when both fail. Read once.
DWORD GetWindowsMajorVersion();
// Binds the system's entry points (once) and tells whether all were found.
bool LoadNativeEntryPoints();

// The processor count from the system's basic information, at least 1.
int QueryProcessorCount(const CNtApi& api = CNtApi::System());

// The system's time of day and total idle time (both in 100 ns units).
struct SYSTEM_TIMES {
    int64_t currentTime;
    int64_t idleTime;
};
// False (times zeroed) when either query fails.
bool QuerySystemTimes(SYSTEM_TIMES* times, const CNtApi& api = CNtApi::System());
