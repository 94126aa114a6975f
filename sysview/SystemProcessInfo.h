// CSystemProcessInfo: a snapshot of the running processes from the system's
// process list (native class 5), by process id in ascending order.
#pragma once

#include "sysview/NtApi.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The fields of one process that the inspection tools read.
struct PROCESS_RECORD {
    uint32_t processId = 0;
    uint32_t parentProcessId = 0;
    std::wstring imageName;   // empty for the idle process
    int64_t userTime = 0;     // 100 ns units
    int64_t kernelTime = 0;   // 100 ns units
    uint64_t workingSetSize = 0; // bytes
};

class CSystemProcessInfo {
public:
    // The buffer starts at 64 KB and grows while the system reports it too
    // small, up to kMaxBuffer.
    static constexpr size_t kInitialBuffer = 64 * 1024;
    static constexpr size_t kMaxBuffer = 64 * 1024 * 1024;

    explicit CSystemProcessInfo(bool refresh = false, const CNtApi& api = CNtApi::System(),
                                size_t initialBuffer = kInitialBuffer);

    // Empties the snapshot, then takes a new one. False when the native
    // queries are unavailable, the query fails, or the list does not fit in
    // kMaxBuffer; the snapshot is then empty.
    bool Refresh();

    const std::map<uint32_t, PROCESS_RECORD>& Processes() const { return m_processes; }
    size_t Count() const { return m_processes.size(); }
    bool Empty() const { return m_processes.empty(); }
    // The record of `processId`, or null.
    const PROCESS_RECORD* Find(uint32_t processId) const;
    // The record of the program's own process, or null.
    const PROCESS_RECORD* Own() const { return Find(m_ownId); }
    // The current buffer size in bytes (it keeps its size between refreshes).
    size_t BufferSize() const { return m_buffer.size() * sizeof(uint64_t); }

private:
    bool Query(ULONG* valid);
    void Walk(ULONG valid);

    const CNtApi& m_api;
    std::vector<uint64_t> m_buffer; // 8-byte aligned
    std::map<uint32_t, PROCESS_RECORD> m_processes;
    uint32_t m_ownId;
};

// Text from a counted string whose text lies inside [base, base + size);
// empty when the text address or length points outside it.
std::wstring CountedStringInBuffer(const void* base, size_t size, uint64_t textAddress, uint16_t lengthBytes);
