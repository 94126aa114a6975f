// What a handle refers to: its object's type name and type number, and a
// display name (a file or other object's name, "PID: 0x..." for a process,
// "TID: 0x..." for a thread). Each query works on a duplicate of the handle in
// the program's own process; the handle's own value when the owner is the
// program itself.
//
// Name queries on some file objects (a pipe with a pending synchronous read)
// never return. Every file name query therefore runs on a probe worker and is
// given up after a time-out; the worker is then ended, and nothing of it is
// left behind: it touches no heap, and the caller owns its buffer, events and
// thread handle.
#pragma once

#include "base/Handles.h"
#include "sysview/NtApi.h"
#include "sysview/SystemHandleInfo.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>

// Numbers of the object type table (row numbers; rows 7, 11, 21 to 24 are
// placeholders that no type name matches in practice).
enum : int {
    OBJECT_TYPE_EMPTY = 1,
    OBJECT_TYPE_PROCESS = 5,
    OBJECT_TYPE_THREAD = 6,
    OBJECT_TYPE_FILE = 26,
};
// The row of `name` in the object type table (exact, case-sensitive; rows 1
// to 26, an empty name is row 1); -1 when the name is not in the table.
int ObjectTypeNumber(const std::wstring& name);

// Time-out of one file name query.
const DWORD kFileNameProbeMs = 100;

// A worker thread that runs one file name query at a time and is ended when
// a query does not come back within the time-out. One probe serves any
// number of queries; a new worker is started only after one was ended.
class CFileNameProbe {
public:
    explicit CFileNameProbe(const CNtApi& api = CNtApi::System(), DWORD timeoutMs = kFileNameProbeMs);
    ~CFileNameProbe();
    CFileNameProbe(const CFileNameProbe&) = delete;
    CFileNameProbe& operator=(const CFileNameProbe&) = delete;

    enum Result { kDone, kTimedOut, kNoWorker };
    // The file's name from NtQueryInformationFile (file name class): kDone
    // with the call's status and, on success, the name.
    Result FileName(HANDLE file, NtStatus* status, std::wstring* name);
    // The object's name from NtQueryObject (object name class), likewise.
    Result ObjectName(HANDLE object, NtStatus* status, std::wstring* name);

    // Workers ended after a time-out so far.
    int Terminations() const { return m_terminations; }

private:
    struct Block;
    static DWORD WINAPI Worker(void* block);
    Result Run(HANDLE handle, ULONG kind, NtStatus* status);
    bool StartWorker();
    void StopWorker();

    const CNtApi& m_api;
    DWORD m_timeoutMs;
    std::unique_ptr<Block> m_block;
    ui::CHandle m_thread;
    int m_terminations = 0;
};

// Answers the type and name queries for many handles: opens each owner
// process once, remembers type names by the system's type index, and keeps
// one file name probe. Belongs to the thread that uses it.
class CHandleInspector {
public:
    explicit CHandleInspector(const CNtApi& api = CNtApi::System());

    // The owner process opened for duplication, or null when it cannot be
    // opened (null also for the program's own process, which needs none).
    HANDLE OwnerProcess(uint32_t processId);
    // A handle valid in this process for `handle` of `processId`: the handle
    // itself for the own process (not owned), else an owned duplicate.
    // False when the owner cannot be opened or the handle duplicated.
    bool Resolve(uint32_t processId, HANDLE handle, ui::CHandle* duplicate, HANDLE* usable);

    bool TypeName(uint32_t processId, HANDLE handle, std::wstring* name);
    // The type name of a handle table entry. Names are remembered by the
    // system's type index (index 0 is never remembered), so that later
    // entries of the same type need no query; their owner must still be one
    // that can be opened.
    bool TypeName(const SYSTEM_HANDLE& entry, std::wstring* name);
    bool TypeNumber(uint32_t processId, HANDLE handle, int* number);
    // The display name for an object of table type `typeNumber`; false when
    // it cannot be read (the name is then empty).
    bool ObjectName(uint32_t processId, HANDLE handle, int typeNumber, std::wstring* name);

    const CNtApi& Api() const { return m_api; }
    CFileNameProbe& Probe() { return m_probe; }

private:
    bool FileObjectName(HANDLE usable, std::wstring* name);

    const CNtApi& m_api;
    uint32_t m_ownId;
    std::map<uint32_t, ui::CHandle> m_owners; // invalid handle: cannot be opened
    std::map<uint16_t, std::wstring> m_typeNames;
    CFileNameProbe m_probe;
};

// The single queries, each on its own (a fresh inspector per call).
// DuplicateIntoSelf: a duplicate (same access, not inheritable) or null.
HANDLE DuplicateIntoSelf(HANDLE sourceProcess, HANDLE sourceHandle);
bool QueryTypeName(uint32_t processId, HANDLE handle, std::wstring* name, const CNtApi& api = CNtApi::System());
bool QueryTypeNumber(uint32_t processId, HANDLE handle, int* number, const CNtApi& api = CNtApi::System());
bool QueryObjectName(uint32_t processId, HANDLE handle, int typeNumber, std::wstring* name,
                     const CNtApi& api = CNtApi::System());
bool QueryProcessIdOfHandle(uint32_t processId, HANDLE handle, uint32_t* id, const CNtApi& api = CNtApi::System());
bool QueryThreadIdOfHandle(uint32_t processId, HANDLE handle, uint32_t* id, const CNtApi& api = CNtApi::System());
// The file name query on a probe: true with the name, true with an empty
// name after the time-out, false when the query fails or cannot run.
bool QueryFileNameProbe(uint32_t processId, HANDLE handle, std::wstring* name, const CNtApi& api = CNtApi::System());
