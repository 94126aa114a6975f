#include "sysview/SystemHandleInfo.h"

#include "sysview/HandleObjects.h"
#include "sysview/NativeLayouts.h"

#include <algorithm>
#include <cstring>

namespace {

const int kQueryAttempts = 8;
// On Windows NT 4 the table lists entries of process 2 with type 16 that
// are not handles of the process.
const uint32_t kNt4PseudoOwner = 2;
const uint8_t kNt4PseudoType = 16;

size_t Words(size_t bytes)
{
    return (bytes + sizeof(uint64_t) - 1) / sizeof(uint64_t);
}

SYSTEM_HANDLE ToSystemHandle(const NATIVE_HANDLE_ENTRY& e)
{
    SYSTEM_HANDLE h = {};
    h.ownerProcessId = static_cast<uint32_t>(e.UniqueProcessId);
    h.objectTypeNumber = static_cast<uint8_t>(e.ObjectTypeIndex);
    h.flags = static_cast<uint8_t>(e.HandleAttributes);
    h.handleValue = static_cast<decltype(h.handleValue)>(e.HandleValue);
    h.objectAddress = e.Object;
    h.grantedAccess = e.GrantedAccess;
    return h;
}

} // namespace

CSystemHandleInfo::CSystemHandleInfo(uint32_t processFilter, bool refresh, const CNtApi& api, size_t initialBuffer)
    : m_api(api), m_processFilter(processFilter), m_initialBuffer(std::max<size_t>(initialBuffer, 64))
{
    if (refresh)
        Refresh();
}

bool CSystemHandleInfo::Refresh()
{
    m_handles.clear();
    if (!m_api.Available())
        return false;
    std::vector<uint64_t> buffer;
    ULONG valid = 0;
    if (!ReadTable(&buffer, &valid))
        return false;
    Filter(reinterpret_cast<const unsigned char*>(buffer.data()), valid);
    return true;
}

// The table can grow between the query that gives its size and the one that
// reads it: the buffer grows again each time, with some room, within
// kMaxBuffer and a few attempts.
bool CSystemHandleInfo::ReadTable(std::vector<uint64_t>* buffer, ULONG* valid)
{
    buffer->assign(Words(m_initialBuffer), 0);
    for (int attempt = 0; attempt < kQueryAttempts; ++attempt) {
        ULONG size = static_cast<ULONG>(buffer->size() * sizeof(uint64_t));
        ULONG returned = 0;
        NtStatus status = m_api.QuerySystemInformation(NT_HANDLE_TABLE_CLASS, buffer->data(), size, &returned);
        if (NtSuccess(status)) {
            *valid = std::min(returned, size);
            m_lastBufferSize = size;
            return true;
        }
        if (!NtBufferTooSmall(status) || size >= kMaxBuffer)
            return false;
        size_t next = std::max<size_t>(size_t(size) * 2, size_t(returned) + returned / 8 + 256);
        buffer->assign(Words(std::min(next, kMaxBuffer)), 0);
    }
    return false;
}

void CSystemHandleInfo::Filter(const unsigned char* table, ULONG valid)
{
    if (valid < sizeof(NATIVE_HANDLE_TABLE_HEADER))
        return;
    NATIVE_HANDLE_TABLE_HEADER header;
    std::memcpy(&header, table, sizeof(header));
    // Never past the bytes the system filled in, whatever the count says.
    size_t count = std::min<size_t>(static_cast<size_t>(header.NumberOfHandles),
                                    (valid - sizeof(header)) / sizeof(NATIVE_HANDLE_ENTRY));
    bool nt4 = GetWindowsMajorVersion() < 5;
    CHandleInspector inspector(m_api);
    const unsigned char* entries = table + sizeof(header);
    for (size_t i = 0; i < count; ++i) {
        NATIVE_HANDLE_ENTRY native;
        std::memcpy(&native, entries + i * sizeof(native), sizeof(native));
        SYSTEM_HANDLE entry = ToSystemHandle(native);
        if (nt4 && entry.ownerProcessId == kNt4PseudoOwner && entry.objectTypeNumber == kNt4PseudoType && entry.flags == 0)
            continue;
        if (m_processFilter != kAllProcesses && m_processFilter != entry.ownerProcessId)
            continue;
        if (!m_typeFilter.empty()) {
            std::wstring type;
            if (!inspector.TypeName(entry, &type) || type != m_typeFilter)
                continue;
        }
        entry.flags = 0;
        m_handles.push_back(entry);
    }
}
