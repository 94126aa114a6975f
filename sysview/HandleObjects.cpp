#include "sysview/HandleObjects.h"

#include "sysview/NativeLayouts.h"
#include "sysview/SystemProcessInfo.h"

#include <cstring>
#include <cwchar>
#include <vector>

namespace {

// The object type table; the row number is the type number.
const wchar_t* const kObjectTypes[] = {
    L"",             L"",           L"Directory",  L"SymbolicLink", L"Token",        L"Process",   L"Thread",
    L"Unknown7",     L"Event",      L"EventPair",  L"Mutant",       L"Unknown11",    L"Semaphore", L"Timer",
    L"Profile",      L"WindowStation", L"Desktop", L"Section",      L"Key",          L"Port",      L"WaitablePort",
    L"Unknown21",    L"Unknown22",  L"Unknown23",  L"Unknown24",    L"IoCompletion", L"File",
};
static_assert(sizeof(kObjectTypes) / sizeof(kObjectTypes[0]) == OBJECT_TYPE_FILE + 1, "object type table");

// Room for the longest object name the system gives (32,767 characters).
const size_t kNameBuffer = 64 * 1024 + 64;
const DWORD kProbeStack = 64 * 1024;
// How long an ended worker may take to be gone before its block is given up.
const DWORD kWorkerGoneMs = 5000;

std::wstring Hex(const wchar_t* prefix, uint32_t value)
{
    wchar_t text[32];
    swprintf(text, 32, L"%ls0x%X", prefix, value);
    return text;
}

// The type name from a type information record of `valid` bytes: the counted
// string when its text lies in the record, else the text that the system
// places after the record's fixed part.
std::wstring TypeNameOf(const unsigned char* record, size_t valid)
{
    if (valid < sizeof(NATIVE_OBJECT_TYPE_INFO))
        return std::wstring();
    NATIVE_OBJECT_TYPE_INFO info;
    std::memcpy(&info, record, sizeof(info));
    std::wstring name = CountedStringInBuffer(record, valid, info.TypeName.Buffer, info.TypeName.Length);
    if (!name.empty())
        return name;
    const wchar_t* text = reinterpret_cast<const wchar_t*>(record + sizeof(NATIVE_OBJECT_TYPE_INFO));
    size_t max = (valid - sizeof(NATIVE_OBJECT_TYPE_INFO)) / sizeof(wchar_t);
    size_t n = 0;
    while (n < max && text[n])
        ++n;
    return std::wstring(text, n);
}

bool QueryTypeInfo(const CNtApi& api, HANDLE object, std::wstring* name)
{
    std::vector<uint64_t> buffer(512);
    for (int attempt = 0; attempt < 2; ++attempt) {
        ULONG size = static_cast<ULONG>(buffer.size() * sizeof(uint64_t));
        ULONG returned = 0;
        NtStatus status = api.QueryObject(object, NT_OBJECT_TYPE_INFORMATION, buffer.data(), size, &returned);
        if (NtSuccess(status)) {
            *name = TypeNameOf(reinterpret_cast<const unsigned char*>(buffer.data()),
                               returned > 0 && returned <= size ? returned : size);
            return true;
        }
        if (!NtBufferTooSmall(status) || returned <= size)
            return false;
        buffer.assign(returned / sizeof(uint64_t) + 1, 0);
    }
    return false;
}

// The id of the process or thread that a process or thread handle refers to.
bool ProcessIdOf(const CNtApi& api, HANDLE process, uint32_t* id)
{
    NATIVE_PROCESS_BASIC_INFO info = {};
    if (!NtSuccess(api.QueryInformationProcess(process, NT_PROCESS_BASIC_INFORMATION, &info, sizeof(info))))
        return false;
    *id = static_cast<uint32_t>(info.UniqueProcessId);
    return true;
}

bool ThreadIdOf(const CNtApi& api, HANDLE thread, uint32_t* id)
{
    NATIVE_THREAD_BASIC_INFO info = {};
    if (!NtSuccess(api.QueryInformationThread(thread, NT_THREAD_BASIC_INFORMATION, &info, sizeof(info))))
        return false;
    *id = static_cast<uint32_t>(info.ClientIdThread);
    return true;
}

} // namespace

int ObjectTypeNumber(const std::wstring& name)
{
    for (int row = 1; row <= OBJECT_TYPE_FILE; ++row) {
        if (name == kObjectTypes[row])
            return row;
    }
    return -1;
}

// ---------------------------------------------------------------------------
// File name probe

// Everything the worker touches. The worker calls only the native query and
// the event functions: no heap, no C runtime, so ending it mid-call leaves no
// lock held and nothing to free.
struct CFileNameProbe::Block {
    NT_ENTRY_POINTS entries = {};
    HANDLE request = nullptr; // auto-reset: one query, or the stop
    HANDLE done = nullptr;    // manual-reset: the query came back
    volatile LONG stop = 0;
    HANDLE handle = nullptr;
    ULONG kind = 0;
    NtStatus status = 0;
    alignas(8) unsigned char buffer[kNameBuffer];

    Block() : request(CreateEventW(nullptr, FALSE, FALSE, nullptr)), done(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Block()
    {
        if (request)
            CloseHandle(request);
        if (done)
            CloseHandle(done);
    }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
};

DWORD WINAPI CFileNameProbe::Worker(void* param)
{
    auto* b = static_cast<Block*>(param);
    for (;;) {
        if (WaitForSingleObject(b->request, INFINITE) != WAIT_OBJECT_0 || b->stop)
            return 0;
        if (b->kind == NT_FILE_NAME_INFORMATION) {
            NATIVE_PTR ioStatus[2] = {};
            b->status = b->entries.queryInformationFile(b->handle, ioStatus, b->buffer, sizeof(b->buffer),
                                                        NT_FILE_NAME_INFORMATION);
        } else {
            ULONG returned = 0;
            b->status = b->entries.queryObject(b->handle, NT_OBJECT_NAME_INFORMATION, b->buffer, sizeof(b->buffer),
                                               &returned);
        }
        SetEvent(b->done);
    }
}

CFileNameProbe::CFileNameProbe(const CNtApi& api, DWORD timeoutMs) : m_api(api), m_timeoutMs(timeoutMs) {}

CFileNameProbe::~CFileNameProbe()
{
    StopWorker();
}

bool CFileNameProbe::StartWorker()
{
    if (!m_block) {
        m_block.reset(new Block);
        m_block->entries = m_api.Entries();
    }
    if (!m_block->request || !m_block->done)
        return false;
    m_block->stop = 0;
    m_thread.Reset(CreateThread(nullptr, kProbeStack, Worker, m_block.get(), STACK_SIZE_PARAM_IS_A_RESERVATION,
                                nullptr));
    return m_thread.Valid();
}

void CFileNameProbe::StopWorker()
{
    if (!m_thread)
        return;
    m_block->stop = 1;
    SetEvent(m_block->request);
    if (WaitForSingleObject(m_thread.Get(), kWorkerGoneMs) != WAIT_OBJECT_0) {
        TerminateThread(m_thread.Get(), 0);
        if (WaitForSingleObject(m_thread.Get(), kWorkerGoneMs) != WAIT_OBJECT_0)
            m_block.release(); // still running: it keeps its block
    }
    m_thread.Close();
}

CFileNameProbe::Result CFileNameProbe::Run(HANDLE handle, ULONG kind, NtStatus* status)
{
    if (!m_api.Available())
        return kNoWorker;
    if (!m_thread && !StartWorker())
        return kNoWorker;
    Block* b = m_block.get();
    b->handle = handle;
    b->kind = kind;
    b->status = 0;
    ResetEvent(b->done);
    SetEvent(b->request);
    if (WaitForSingleObject(b->done, m_timeoutMs) == WAIT_OBJECT_0) {
        *status = b->status;
        return kDone;
    }
    // The query hangs: end the worker and wait until it is gone, so that it
    // can no longer write into the block; only then is the block reused.
    TerminateThread(m_thread.Get(), 0);
    if (WaitForSingleObject(m_thread.Get(), kWorkerGoneMs) != WAIT_OBJECT_0)
        m_block.release(); // still running: it keeps its block
    m_thread.Close();
    ++m_terminations;
    return kTimedOut;
}

CFileNameProbe::Result CFileNameProbe::FileName(HANDLE file, NtStatus* status, std::wstring* name)
{
    name->clear();
    Result r = Run(file, NT_FILE_NAME_INFORMATION, status);
    if (r == kDone && NtSuccess(*status)) {
        uint32_t bytes = 0;
        std::memcpy(&bytes, m_block->buffer, sizeof(bytes));
        size_t room = sizeof(m_block->buffer) - offsetof(NATIVE_FILE_NAME_INFO, FileName);
        if (bytes > room)
            bytes = static_cast<uint32_t>(room);
        name->assign(reinterpret_cast<const wchar_t*>(m_block->buffer + offsetof(NATIVE_FILE_NAME_INFO, FileName)),
                     bytes / sizeof(wchar_t));
    }
    return r;
}

CFileNameProbe::Result CFileNameProbe::ObjectName(HANDLE object, NtStatus* status, std::wstring* name)
{
    name->clear();
    Result r = Run(object, NT_OBJECT_NAME_INFORMATION, status);
    if (r == kDone && NtSuccess(*status)) {
        NATIVE_OBJECT_NAME_INFO info;
        std::memcpy(&info, m_block->buffer, sizeof(info));
        *name = CountedStringInBuffer(m_block->buffer, sizeof(m_block->buffer), info.Name.Buffer, info.Name.Length);
    }
    return r;
}

// ---------------------------------------------------------------------------
// Handle inspector

HANDLE DuplicateIntoSelf(HANDLE sourceProcess, HANDLE sourceHandle)
{
    HANDLE duplicate = nullptr;
    if (!DuplicateHandle(sourceProcess, sourceHandle, GetCurrentProcess(), &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return nullptr;
    return duplicate;
}

CHandleInspector::CHandleInspector(const CNtApi& api) : m_api(api), m_ownId(GetCurrentProcessId()), m_probe(api) {}

HANDLE CHandleInspector::OwnerProcess(uint32_t processId)
{
    if (processId == m_ownId)
        return nullptr;
    auto it = m_owners.find(processId);
    if (it == m_owners.end()) {
        // Only the duplication right, and not inheritable: a handle that a
        // child process could inherit would outlive the query there.
        it = m_owners.emplace(processId, ui::CHandle(OpenProcess(PROCESS_DUP_HANDLE, FALSE, processId))).first;
    }
    return it->second.Get();
}

bool CHandleInspector::Resolve(uint32_t processId, HANDLE handle, ui::CHandle* duplicate, HANDLE* usable)
{
    duplicate->Close();
    if (processId == m_ownId) {
        *usable = handle;
        return true;
    }
    HANDLE process = OwnerProcess(processId);
    if (!process)
        return false;
    duplicate->Reset(DuplicateIntoSelf(process, handle));
    *usable = duplicate->Get();
    return duplicate->Valid();
}

bool CHandleInspector::TypeName(uint32_t processId, HANDLE handle, std::wstring* name)
{
    name->clear();
    ui::CHandle duplicate;
    HANDLE usable = nullptr;
    if (!m_api.Available() || !Resolve(processId, handle, &duplicate, &usable))
        return false;
    return QueryTypeInfo(m_api, usable, name);
}

bool CHandleInspector::TypeName(const SYSTEM_HANDLE& entry, std::wstring* name)
{
    name->clear();
    if (!m_api.Available() || (entry.ownerProcessId != m_ownId && !OwnerProcess(entry.ownerProcessId)))
        return false;
    uint16_t index = entry.objectTypeNumber;
    if (index != 0) {
        auto it = m_typeNames.find(index);
        if (it != m_typeNames.end()) {
            *name = it->second;
            return true;
        }
    }
    if (!TypeName(entry.ownerProcessId, reinterpret_cast<HANDLE>(static_cast<uintptr_t>(entry.handleValue)), name))
        return false;
    if (index != 0)
        m_typeNames[index] = *name;
    return true;
}

bool CHandleInspector::TypeNumber(uint32_t processId, HANDLE handle, int* number)
{
    std::wstring name;
    *number = 0;
    if (!TypeName(processId, handle, &name))
        return false;
    int row = ObjectTypeNumber(name);
    if (row < 0)
        return false;
    *number = row;
    return true;
}

bool CHandleInspector::ObjectName(uint32_t processId, HANDLE handle, int typeNumber, std::wstring* name)
{
    name->clear();
    ui::CHandle duplicate;
    HANDLE usable = nullptr;
    if (!m_api.Available() || !Resolve(processId, handle, &duplicate, &usable))
        return false;
    if (typeNumber == OBJECT_TYPE_PROCESS || typeNumber == OBJECT_TYPE_THREAD) {
        // A failed id query still gives a name, with the id 0.
        uint32_t id = 0;
        if (typeNumber == OBJECT_TYPE_PROCESS) {
            ProcessIdOf(m_api, usable, &id);
            *name = Hex(L"PID: ", id);
        } else {
            ThreadIdOf(m_api, usable, &id);
            *name = Hex(L"TID: ", id);
        }
        return true;
    }
    if (typeNumber == OBJECT_TYPE_FILE)
        return FileObjectName(usable, name);
    // Other objects: the object name, also through the probe, so that no
    // name query can hold up the caller.
    NtStatus status = 0;
    CFileNameProbe::Result r = m_probe.ObjectName(usable, &status, name);
    return r == CFileNameProbe::kDone && NtSuccess(status);
}

// A file's name: the file name query first; when it hangs, or succeeds with an
// empty name, that is the answer (empty). Otherwise the object name (the full
// device path), and the file name query's result when that fails.
bool CHandleInspector::FileObjectName(HANDLE usable, std::wstring* name)
{
    NtStatus status = 0;
    std::wstring fileName;
    CFileNameProbe::Result r = m_probe.FileName(usable, &status, &fileName);
    if (r == CFileNameProbe::kTimedOut)
        return true;
    bool fileNameOk = r == CFileNameProbe::kDone && NtSuccess(status);
    if (fileNameOk && fileName.empty())
        return true;
    std::wstring objectName;
    r = m_probe.ObjectName(usable, &status, &objectName);
    if (r == CFileNameProbe::kTimedOut)
        return true;
    if (r == CFileNameProbe::kDone && NtSuccess(status)) {
        *name = std::move(objectName);
        return true;
    }
    if (fileNameOk)
        *name = std::move(fileName);
    return fileNameOk;
}

// ---------------------------------------------------------------------------
// Single queries

bool QueryTypeName(uint32_t processId, HANDLE handle, std::wstring* name, const CNtApi& api)
{
    return CHandleInspector(api).TypeName(processId, handle, name);
}

bool QueryTypeNumber(uint32_t processId, HANDLE handle, int* number, const CNtApi& api)
{
    return CHandleInspector(api).TypeNumber(processId, handle, number);
}

bool QueryObjectName(uint32_t processId, HANDLE handle, int typeNumber, std::wstring* name, const CNtApi& api)
{
    return CHandleInspector(api).ObjectName(processId, handle, typeNumber, name);
}

bool QueryProcessIdOfHandle(uint32_t processId, HANDLE handle, uint32_t* id, const CNtApi& api)
{
    *id = 0;
    CHandleInspector inspector(api);
    ui::CHandle duplicate;
    HANDLE usable = nullptr;
    return api.Available() && inspector.Resolve(processId, handle, &duplicate, &usable) && ProcessIdOf(api, usable, id);
}

bool QueryThreadIdOfHandle(uint32_t processId, HANDLE handle, uint32_t* id, const CNtApi& api)
{
    *id = 0;
    CHandleInspector inspector(api);
    ui::CHandle duplicate;
    HANDLE usable = nullptr;
    return api.Available() && inspector.Resolve(processId, handle, &duplicate, &usable) && ThreadIdOf(api, usable, id);
}

bool QueryFileNameProbe(uint32_t processId, HANDLE handle, std::wstring* name, const CNtApi& api)
{
    name->clear();
    CHandleInspector inspector(api);
    ui::CHandle duplicate;
    HANDLE usable = nullptr;
    if (!api.Available() || !inspector.Resolve(processId, handle, &duplicate, &usable))
        return false;
    NtStatus status = 0;
    CFileNameProbe::Result r = inspector.Probe().FileName(usable, &status, name);
    return r == CFileNameProbe::kTimedOut || (r == CFileNameProbe::kDone && NtSuccess(status));
}
