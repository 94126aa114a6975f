#include "sysview/SystemProcessInfo.h"

#include "sysview/NativeLayouts.h"

#include <algorithm>
#include <cstring>

namespace {

// Enough attempts for a list that grows between two queries.
const int kQueryAttempts = 8;

size_t Words(size_t bytes)
{
    return (bytes + sizeof(uint64_t) - 1) / sizeof(uint64_t);
}

} // namespace

std::wstring CountedStringInBuffer(const void* base, size_t size, uint64_t textAddress, uint16_t lengthBytes)
{
    uintptr_t begin = reinterpret_cast<uintptr_t>(base);
    if (lengthBytes == 0 || textAddress < begin || textAddress - begin > size || size - (textAddress - begin) < lengthBytes)
        return std::wstring();
    std::wstring text(lengthBytes / sizeof(wchar_t), L'\0');
    std::memcpy(&text[0], reinterpret_cast<const void*>(static_cast<uintptr_t>(textAddress)), text.size() * sizeof(wchar_t));
    return text;
}

CSystemProcessInfo::CSystemProcessInfo(bool refresh, const CNtApi& api, size_t initialBuffer)
    : m_api(api), m_buffer(Words(std::max<size_t>(initialBuffer, sizeof(NATIVE_PROCESS_RECORD)))),
      m_ownId(GetCurrentProcessId())
{
    if (refresh)
        Refresh();
}

const PROCESS_RECORD* CSystemProcessInfo::Find(uint32_t processId) const
{
    auto it = m_processes.find(processId);
    return it == m_processes.end() ? nullptr : &it->second;
}

bool CSystemProcessInfo::Refresh()
{
    m_processes.clear();
    ULONG valid = 0;
    if (!m_api.Available() || !Query(&valid))
        return false;
    Walk(valid);
    return true;
}

// One fixed buffer would give an empty snapshot on any machine whose list
// outgrows it; the buffer grows instead, to what the system asks for plus
// room for processes started meanwhile, within kMaxBuffer.
bool CSystemProcessInfo::Query(ULONG* valid)
{
    for (int attempt = 0; attempt < kQueryAttempts; ++attempt) {
        ULONG size = static_cast<ULONG>(BufferSize());
        ULONG returned = 0;
        NtStatus status = m_api.QuerySystemInformation(NT_SYSTEM_PROCESS_INFORMATION, m_buffer.data(), size, &returned);
        if (NtSuccess(status)) {
            *valid = std::min(returned, size);
            return true;
        }
        if (!NtBufferTooSmall(status) || size >= kMaxBuffer)
            return false;
        size_t next = std::max<size_t>(size_t(size) * 2, size_t(returned) + returned / 8 + 4096);
        m_buffer.assign(Words(std::min(next, kMaxBuffer)), 0);
    }
    return false;
}

void CSystemProcessInfo::Walk(ULONG valid)
{
    const unsigned char* base = reinterpret_cast<const unsigned char*>(m_buffer.data());
    size_t offset = 0;
    while (offset <= valid && valid - offset >= sizeof(NATIVE_PROCESS_RECORD)) {
        NATIVE_PROCESS_RECORD record;
        std::memcpy(&record, base + offset, sizeof(record));
        PROCESS_RECORD process;
        process.processId = static_cast<uint32_t>(record.UniqueProcessId);
        process.parentProcessId = static_cast<uint32_t>(record.InheritedFromUniqueProcessId);
        process.imageName = CountedStringInBuffer(base, valid, record.ImageName.Buffer, record.ImageName.Length);
        process.userTime = record.UserTime;
        process.kernelTime = record.KernelTime;
        process.workingSetSize = record.WorkingSetSize;
        m_processes[process.processId] = std::move(process);
        if (record.NextEntryOffset == 0)
            break;
        offset += record.NextEntryOffset;
    }
}
