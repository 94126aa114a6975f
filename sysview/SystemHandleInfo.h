// CSystemHandleInfo: the system's table of open handles, for one process or
// all, optionally only the handles whose object type has a given name.
#pragma once

#include "sysview/NtApi.h"

#include <cstdint>
#include <string>
#include <vector>

// One entry of the handle table. The i686 build keeps the 16-byte record that
// the plain handle class gives; the x86_64 build keeps the same fields at the
// width the extended class gives them.
#if defined(_WIN64)
struct SYSTEM_HANDLE {
    uint32_t ownerProcessId;
    uint8_t objectTypeNumber; // the system's type index
    uint8_t flags;            // always stored as 0
    uint16_t reserved;
    uint32_t handleValue;
    uint32_t grantedAccess;
    uint64_t objectAddress;
};
static_assert(sizeof(SYSTEM_HANDLE) == 24, "handle entry");
#else
struct SYSTEM_HANDLE {
    uint32_t ownerProcessId;
    uint8_t objectTypeNumber;
    uint8_t flags;
    uint16_t handleValue;
    uint32_t objectAddress;
    uint32_t grantedAccess;
};
static_assert(sizeof(SYSTEM_HANDLE) == 16, "handle entry");
#endif

class CSystemHandleInfo {
public:
    static constexpr uint32_t kAllProcesses = 0xFFFFFFFFu;
    // The first query uses 8 KB; the buffer grows while the system reports
    // it too small (the table can also grow between two queries), up to
    // kMaxBuffer.
    static constexpr size_t kInitialBuffer = 8192;
    static constexpr size_t kMaxBuffer = 256 * 1024 * 1024;

    explicit CSystemHandleInfo(uint32_t processFilter = kAllProcesses, bool refresh = false,
                               const CNtApi& api = CNtApi::System(), size_t initialBuffer = kInitialBuffer);

    // Only handles whose object type name equals `name` exactly; empty: all.
    void SetTypeFilter(const std::wstring& name) { m_typeFilter = name; }

    // Empties the list, then reads the table. False when the native queries
    // are unavailable or the table cannot be read.
    bool Refresh();

    const std::vector<SYSTEM_HANDLE>& Handles() const { return m_handles; }
    // Bytes of the last successful read's buffer.
    size_t LastBufferSize() const { return m_lastBufferSize; }

private:
    bool ReadTable(std::vector<uint64_t>* buffer, ULONG* valid);
    void Filter(const unsigned char* table, ULONG valid);

    const CNtApi& m_api;
    uint32_t m_processFilter;
    std::wstring m_typeFilter;
    size_t m_initialBuffer;
    size_t m_lastBufferSize = 0;
    std::vector<SYSTEM_HANDLE> m_handles;
};
