// The native query layer against the live system under Wine (this process,
// helper child processes) and against stand-in entry points where the system
// cannot be made to misbehave: lists that outgrow their buffer, malformed
// records, missing entry points, name queries that hang.
#include "sysview/DevicePath.h"
#include "sysview/HandleObjects.h"
#include "sysview/ModuleHandleSearch.h"
#include "sysview/NativeLayouts.h"
#include "sysview/SystemHandleInfo.h"
#include "sysview/SystemModuleInfo.h"
#include "sysview/SystemProcessInfo.h"

#include "helper/HelperProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

bool EndsWithNoCase(const std::wstring& text, const std::wstring& tail)
{
    return text.size() >= tail.size() && _wcsicmp(text.c_str() + text.size() - tail.size(), tail.c_str()) == 0;
}

HANDLE AsHandle(const SYSTEM_HANDLE& h)
{
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(h.handleValue));
}

// A list that never fits, and a list with a broken chain.
ULONG g_neverFitsCalls = 0;
NtStatus NTAPI NeverFits(ULONG, PVOID, ULONG length, PULONG returned)
{
    ++g_neverFitsCalls;
    if (returned)
        *returned = length + 4096;
    return static_cast<NtStatus>(NT_STATUS_INFO_LENGTH_MISMATCH);
}

NtStatus NTAPI BrokenChain(ULONG, PVOID buffer, ULONG length, PULONG returned)
{
    NATIVE_PROCESS_RECORD r = {};
    r.NextEntryOffset = 0x7FFFFFF0; // far beyond the buffer
    r.UniqueProcessId = 42;
    r.ImageName.Length = 200;
    r.ImageName.Buffer = 16; // not inside the buffer
    std::memcpy(buffer, &r, sizeof(r));
    if (returned)
        *returned = sizeof(r);
    return 0;
}

// A handle table that grows between the size query and the read, twice.
int g_growingCalls = 0;
NtStatus NTAPI GrowingTable(ULONG infoClass, PVOID buffer, ULONG length, PULONG returned)
{
    if (infoClass == NT_HANDLE_TABLE_CLASS && g_growingCalls++ < 2) {
        if (returned)
            *returned = length + 1;
        return static_cast<NtStatus>(NT_STATUS_INFO_LENGTH_MISMATCH);
    }
    return CNtApi::System().Entries().querySystemInformation(infoClass, buffer, length, returned);
}

// A file name query that never returns.
HANDLE g_never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
NtStatus NTAPI HangingFileQuery(HANDLE, PVOID, PVOID, ULONG, ULONG)
{
    WaitForSingleObject(g_never, INFINITE);
    return 0;
}

CNtApi WithSystemInformation(NtQuerySystemInformationFn fn)
{
    NT_ENTRY_POINTS e = CNtApi::System().Entries();
    e.querySystemInformation = fn;
    return CNtApi(e);
}

class ScratchFile {
public:
    explicit ScratchFile(const wchar_t* stem)
        : m_path(std::wstring(L"C:\\") + stem + std::to_wstring(GetCurrentProcessId()) + L".dat"),
          m_handle(CreateFileW(m_path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr))
    {
    }
    ~ScratchFile() { CloseHandle(m_handle); }
    const std::wstring& Path() const { return m_path; }
    HANDLE Handle() const { return m_handle; }

private:
    std::wstring m_path;
    HANDLE m_handle;
};

} // namespace

TEST(NativeQueries, SnapshotShowsThisProcessAndItsChild)
{
    helper::CHelperProcess child;
    ASSERT_TRUE(child.Start(L"sleep"));
    CSystemProcessInfo snapshot(true);
    ASSERT_NE(nullptr, snapshot.Own());
    EXPECT_TRUE(EndsWithNoCase(snapshot.Own()->imageName, L"hm_unit_tests.exe")) << snapshot.Own()->imageName;
    EXPECT_GT(snapshot.Own()->workingSetSize, 0u);
    const PROCESS_RECORD* record = snapshot.Find(child.Id());
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(GetCurrentProcessId(), record->parentProcessId);
    EXPECT_TRUE(EndsWithNoCase(record->imageName, L"hm_child_helper.exe"));

    // The Wine prefix's list fits in 64 KB: a small start must grow.
    CSystemProcessInfo small(false, CNtApi::System(), 512);
    ASSERT_TRUE(small.Refresh());
    EXPECT_GT(small.BufferSize(), 512u);
    EXPECT_NE(nullptr, small.Find(child.Id()));
    EXPECT_NE(nullptr, small.Own());
}

TEST(NativeQueries, BadListsGiveEmptyOrPartialSnapshotsSafely)
{
    CNtApi neverFits = WithSystemInformation(NeverFits);
    CSystemProcessInfo snapshot(false, neverFits);
    EXPECT_FALSE(snapshot.Refresh());
    EXPECT_TRUE(snapshot.Empty());
    EXPECT_LE(g_neverFitsCalls, 8u);
    EXPECT_LE(snapshot.BufferSize(), CSystemProcessInfo::kMaxBuffer);

    CNtApi broken = WithSystemInformation(BrokenChain);
    CSystemProcessInfo partial(false, broken);
    ASSERT_TRUE(partial.Refresh());
    ASSERT_EQ(1u, partial.Count());
    EXPECT_EQ(L"", partial.Find(42)->imageName);
}

TEST(NativeQueries, MissingEntryPointsGiveEmptyResults)
{
    ScratchFile file(L"hm-missing-");
    EXPECT_FALSE(CNtApi::Bind(GetModuleHandleW(L"kernel32.dll")).Available());
    for (int missing = 0; missing < 5; ++missing) {
        SCOPED_TRACE(missing);
        NT_ENTRY_POINTS e = CNtApi::System().Entries();
        void** slots = reinterpret_cast<void**>(&e);
        slots[missing] = nullptr;
        CNtApi api(e);
        EXPECT_FALSE(api.Available());
        EXPECT_TRUE(CSystemProcessInfo(true, api).Empty());
        CSystemHandleInfo handles(GetCurrentProcessId(), false, api);
        EXPECT_FALSE(handles.Refresh());
        EXPECT_TRUE(handles.Handles().empty());
        std::wstring name = L"stale";
        int number = 0;
        EXPECT_FALSE(QueryTypeName(GetCurrentProcessId(), file.Handle(), &name, api));
        EXPECT_FALSE(QueryTypeNumber(GetCurrentProcessId(), file.Handle(), &number, api));
        EXPECT_FALSE(QueryObjectName(GetCurrentProcessId(), file.Handle(), OBJECT_TYPE_FILE, &name, api));
        EXPECT_FALSE(QueryFileNameProbe(GetCurrentProcessId(), file.Handle(), &name, api));
        EXPECT_EQ(L"", name);
        EXPECT_FALSE(CSystemModuleInfo(CSystemModuleInfo::kAllProcesses, api).Refresh());
        SEARCH_KEY key;
        ASSERT_TRUE(MakeSearchKey(L"kernel32.dll", &key));
        EXPECT_TRUE(FindModuleHolders(key, nullptr, api).empty());
        SYSTEM_TIMES times;
        EXPECT_FALSE(QuerySystemTimes(&times, api));
    }
}

TEST(HandleTable, OwnHandlesWithTheirTypesAndNames)
{
    ScratchFile file(L"hm-own-");
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE self = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId());
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, GetCurrentThreadId());
    wchar_t pidName[32], tidName[32];
    swprintf(pidName, 32, L"PID: 0x%X", GetCurrentProcessId());
    swprintf(tidName, 32, L"TID: 0x%X", GetCurrentThreadId());
    std::wstring drivePath;
    struct Case {
        HANDLE handle;
        const wchar_t* type;
        int number;
        std::wstring name; // empty: checked below
    } cases[] = {
        { file.Handle(), L"File", OBJECT_TYPE_FILE, L"" },
        { event, L"Event", 8, L"" },
        { self, L"Process", OBJECT_TYPE_PROCESS, pidName },
        { thread, L"Thread", OBJECT_TYPE_THREAD, tidName },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        std::wstring type, name;
        int number = 0;
        ASSERT_TRUE(QueryTypeName(GetCurrentProcessId(), c.handle, &type));
        EXPECT_EQ(c.type, type);
        ASSERT_TRUE(QueryTypeNumber(GetCurrentProcessId(), c.handle, &number));
        EXPECT_EQ(c.number, number);
        bool named = QueryObjectName(GetCurrentProcessId(), c.handle, number, &name);
        if (!c.name.empty()) {
            EXPECT_TRUE(named);
            EXPECT_EQ(c.name, name);
        } else if (c.handle == file.Handle()) {
            EXPECT_TRUE(named);
            ASSERT_TRUE(DevicePathToDrivePath(name, &drivePath)) << name;
            EXPECT_EQ(0, _wcsicmp(file.Path().c_str(), drivePath.c_str())) << name;
        }
    }

    // The table of one process holds that process's handles only, in the
    // order of the whole table.
    CSystemHandleInfo own(GetCurrentProcessId(), true);
    CSystemHandleInfo all(CSystemHandleInfo::kAllProcesses, true);
    std::vector<uint32_t> ownOrder, allOrder;
    for (const SYSTEM_HANDLE& h : own.Handles()) {
        EXPECT_EQ(GetCurrentProcessId(), h.ownerProcessId);
        EXPECT_EQ(0, h.flags);
        ownOrder.push_back(h.handleValue);
    }
    ASSERT_FALSE(ownOrder.empty());
    for (const SYSTEM_HANDLE& h : all.Handles()) {
        if (h.ownerProcessId == GetCurrentProcessId() && h.handleValue <= ownOrder.back())
            allOrder.push_back(h.handleValue);
    }
    EXPECT_EQ(allOrder, ownOrder);
    EXPECT_NE(ownOrder.end(), std::find(ownOrder.begin(), ownOrder.end(),
                                        static_cast<uint32_t>(reinterpret_cast<uintptr_t>(file.Handle()))));
    CloseHandle(thread);
    CloseHandle(self);
    CloseHandle(event);
}

TEST(HandleTable, FileFilterFindsAChildsFileAndKeepsOnlyFiles)
{
    std::wstring path = L"C:\\hm-filter-" + std::to_wstring(GetCurrentProcessId()) + L".dat";
    helper::CHelperProcess child;
    ASSERT_TRUE(child.Start(L"hold", path));
    CSystemHandleInfo files;
    files.SetTypeFilter(L"File");
    ASSERT_TRUE(files.Refresh());
    bool found = false;
    CHandleInspector inspector;
    for (const SYSTEM_HANDLE& h : files.Handles()) {
        std::wstring type, name;
        ASSERT_TRUE(inspector.TypeName(h.ownerProcessId, AsHandle(h), &type));
        ASSERT_EQ(L"File", type);
        if (h.ownerProcessId == child.Id() && inspector.ObjectName(h.ownerProcessId, AsHandle(h), OBJECT_TYPE_FILE, &name))
            found = found || EndsWithNoCase(name, path.substr(2));
    }
    EXPECT_TRUE(found);
    child.End();
    DeleteFileW(path.c_str());
}

TEST(HandleTable, TableThatGrowsBetweenQueriesIsStillRead)
{
    CNtApi growing = WithSystemInformation(GrowingTable);
    CSystemHandleInfo handles(GetCurrentProcessId(), false, growing, 64);
    ASSERT_TRUE(handles.Refresh());
    EXPECT_GT(g_growingCalls, 2);
    EXPECT_FALSE(handles.Handles().empty());
    EXPECT_GT(handles.LastBufferSize(), 64u);
}

TEST(HandleTable, ObjectTypeNumbersGoByExactName)
{
    const struct {
        const wchar_t* name;
        int number;
    } cases[] = { { L"", 1 }, { L"Directory", 2 }, { L"Event", 8 }, { L"Unknown7", 7 }, { L"Key", 18 },
                  { L"File", 26 }, { L"file", -1 }, { L"ALPC Port", -1 } };
    for (const auto& c : cases)
        EXPECT_EQ(c.number, ObjectTypeNumber(c.name)) << c.name;
}

DWORD WINAPI PendingRead(void* pipe)
{
    char buffer[16];
    DWORD read = 0;
    ReadFile(pipe, buffer, sizeof(buffer), &read, nullptr);
    return 0;
}

TEST(FileNameProbe, HangingQueryGivesAnEmptyNameAndLeavesNothingBehind)
{
    ScratchFile file(L"hm-probe-");
    NT_ENTRY_POINTS e = CNtApi::System().Entries();
    e.queryInformationFile = HangingFileQuery;
    CNtApi hanging(e);
    std::wstring name = L"stale";
    EXPECT_TRUE(QueryFileNameProbe(GetCurrentProcessId(), file.Handle(), &name, hanging));
    EXPECT_EQ(L"", name);
    EXPECT_TRUE(QueryObjectName(GetCurrentProcessId(), file.Handle(), OBJECT_TYPE_FILE, &name, hanging));
    EXPECT_EQ(L"", name);

    // Each ended worker takes its thread handle with it; the events and the
    // buffer are reused.
    CFileNameProbe probe(hanging);
    NtStatus status = 0;
    DWORD before = 0, after = 0;
    ASSERT_EQ(CFileNameProbe::kTimedOut, probe.FileName(file.Handle(), &status, &name));
    GetProcessHandleCount(GetCurrentProcess(), &before);
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(CFileNameProbe::kTimedOut, probe.FileName(file.Handle(), &status, &name));
    GetProcessHandleCount(GetCurrentProcess(), &after);
    EXPECT_EQ(21, probe.Terminations());
    EXPECT_EQ(before, after);

    // The same probe answers real queries after ending workers.
    CFileNameProbe real;
    ASSERT_EQ(CFileNameProbe::kDone, real.FileName(file.Handle(), &status, &name));
    EXPECT_TRUE(EndsWithNoCase(name, file.Path().substr(2)));

    // A pipe with a pending synchronous read: Windows blocks its name
    // queries, Wine answers them; either way the query comes back.
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    HANDLE reader = CreateThread(nullptr, 0, PendingRead, readEnd, 0, nullptr);
    // Kept: gives the reader time to enter its read. Whether a thread waits
    // inside ReadFile cannot be seen from outside, and the query must come
    // back whether or not the read is pending yet.
    Sleep(50);
    EXPECT_TRUE(QueryObjectName(GetCurrentProcessId(), readEnd, OBJECT_TYPE_FILE, &name));
    DWORD written = 0;
    WriteFile(writeEnd, "x", 1, &written, nullptr);
    WaitForSingleObject(reader, 5000);
    CloseHandle(reader);
    CloseHandle(readEnd);
    CloseHandle(writeEnd);
}

TEST(Modules, OwnProcessListsItsProgramFirstAndKernel32)
{
    CSystemModuleInfo modules(GetCurrentProcessId());
    ASSERT_TRUE(modules.Refresh());
    ASSERT_FALSE(modules.Modules().empty());
    EXPECT_TRUE(EndsWithNoCase(modules.Modules().front().path, L"hm_unit_tests.exe"));
    bool kernel32 = false;
    for (const MODULE_INFO& m : modules.Modules()) {
        EXPECT_EQ(GetCurrentProcessId(), m.processId);
        if (EndsWithNoCase(m.path, L"\\kernel32.dll")) {
            kernel32 = true;
            EXPECT_EQ(reinterpret_cast<uintptr_t>(GetModuleHandleW(L"kernel32.dll")), m.moduleHandle);
        }
    }
    EXPECT_TRUE(kernel32);
}
