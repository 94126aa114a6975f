#include "watch/SensorDelivery.h"

#include "base/Handles.h"
#include "sensor/SensorFiles.h"

#include <winternl.h>

#include <cstddef>
#include <cwchar>

std::wstring SensorPathIn(const std::wstring& programFolder)
{
    std::wstring path = programFolder;
    if (!path.empty() && path.back() != L'\\')
        path += L'\\';
    return path + HM_SENSOR_FILE;
}

namespace {

// Whether the process's own loader has begun to list its modules. Before
// that the system is still setting the process up (a child created
// suspended, a program only just started), and a thread created in it then
// races that set-up: under Wine such a process was seen to die of a
// corrupted heap. Such a process is tried again at a later look.
bool LoaderStarted(HANDLE process)
{
    using QueryFn = LONG(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    static const QueryFn query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    if (!query)
        return true; // nothing to ask: go ahead as before
    PROCESS_BASIC_INFORMATION basic = {};
    if (query(process, ProcessBasicInformation, &basic, sizeof(basic), nullptr) != 0 || !basic.PebBaseAddress)
        return false;
    const BYTE* peb = reinterpret_cast<const BYTE*>(basic.PebBaseAddress);
    PPEB_LDR_DATA ldr = nullptr;
    LIST_ENTRY modules = {};
    SIZE_T read = 0;
    if (!ReadProcessMemory(process, peb + offsetof(PEB, Ldr), &ldr, sizeof(ldr), &read) || read != sizeof(ldr) ||
        !ldr)
        return false;
    const BYTE* head = reinterpret_cast<const BYTE*>(ldr) + offsetof(PEB_LDR_DATA, InMemoryOrderModuleList);
    if (!ReadProcessMemory(process, head, &modules, sizeof(modules), &read) || read != sizeof(modules))
        return false;
    return modules.Flink && reinterpret_cast<const BYTE*>(modules.Flink) != head;
}

// The load's answer once its remote thread has ended: the thread's exit code
// is the module's low 32 bits, zero when the load failed.
SensorDelivery LoadResult(HANDLE thread)
{
    DWORD loaded = 0;
    GetExitCodeThread(thread, &loaded);
    return loaded ? SensorDelivery::Delivered : SensorDelivery::Refused;
}

} // namespace

bool HasSensorMark(DWORD pid)
{
    wchar_t name[sensor::kSensorMarkChars];
    sensor::SensorMarkName(pid, name);
    ui::CHandle mark(OpenEventW(SYNCHRONIZE, FALSE, name));
    return static_cast<bool>(mark);
}

SensorDelivery DeliverSensor(DWORD pid, const wchar_t* imageName, const std::wstring& sensorPath, DWORD waitMs,
                             HANDLE cancel, SensorLoad* unfinished)
{
    if (pid == GetCurrentProcessId() || pid == 0 || sensor::IsExcludedImage(imageName))
        return SensorDelivery::Excluded;
    // A process listed before its image is known is still being created: what
    // it will run, and its width, are not known yet either.
    if (!imageName || !*imageName)
        return SensorDelivery::Refused;
    if (HasSensorMark(pid))
        return SensorDelivery::AlreadyGuarded;
    ui::CHandle process(OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION |
                                        PROCESS_VM_WRITE | PROCESS_VM_READ | SYNCHRONIZE,
                                    FALSE, pid));
    if (!process)
        return SensorDelivery::Refused;
    // A process that has only just been created may not answer yet: the
    // next scan asks again.
    BOOL selfWow = FALSE, otherWow = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &selfWow) || !IsWow64Process(process.Get(), &otherWow))
        return SensorDelivery::Refused;
    if (selfWow != otherWow)
        return SensorDelivery::OtherArchitecture;
    if (!LoaderStarted(process.Get()))
        return SensorDelivery::Refused;

    SIZE_T bytes = (sensorPath.size() + 1) * sizeof(wchar_t);
    void* remote = VirtualAllocEx(process.Get(), nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote)
        return SensorDelivery::Refused;
    SIZE_T written = 0;
    // kernel32 sits at the same address in every process of a session.
    auto load = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
    SensorDelivery result = SensorDelivery::Refused;
    if (load && WriteProcessMemory(process.Get(), remote, sensorPath.c_str(), bytes, &written) && written == bytes) {
        ui::CHandle thread(CreateRemoteThread(process.Get(), nullptr, 0, load, remote, 0, nullptr));
        HANDLE waits[2] = { thread.Get(), cancel };
        if (thread && WaitForMultipleObjects(cancel ? 2 : 1, waits, FALSE, waitMs) == WAIT_OBJECT_0) {
            result = LoadResult(thread.Get());
        } else if (thread) {
            // Still loading: the path must stay readable until the thread ends.
            if (!unfinished)
                return SensorDelivery::Refused;
            unfinished->process = std::move(process);
            unfinished->thread = std::move(thread);
            unfinished->remotePath = remote;
            return SensorDelivery::Unfinished;
        }
    }
    VirtualFreeEx(process.Get(), remote, 0, MEM_RELEASE);
    return result;
}

SensorDelivery FinishSensorLoad(SensorLoad* load)
{
    SensorDelivery result;
    if (WaitForSingleObject(load->thread.Get(), 0) == WAIT_OBJECT_0)
        result = LoadResult(load->thread.Get());
    else if (WaitForSingleObject(load->process.Get(), 0) == WAIT_OBJECT_0)
        return SensorDelivery::Refused; // the process ended; its memory went with it
    else
        return SensorDelivery::Unfinished;
    // A process that ended with its threads reports their exit codes as the
    // process's: only a live process's answer counts as a load.
    if (result == SensorDelivery::Delivered && WaitForSingleObject(load->process.Get(), 0) == WAIT_OBJECT_0)
        return SensorDelivery::Refused;
    VirtualFreeEx(load->process.Get(), load->remotePath, 0, MEM_RELEASE);
    load->remotePath = nullptr;
    return result;
}
