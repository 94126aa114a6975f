#include "watch/SensorDelivery.h"

#include "base/Handles.h"
#include "sensor/SensorFiles.h"

#include <cwchar>

std::wstring SensorPathIn(const std::wstring& programFolder)
{
    std::wstring path = programFolder;
    if (!path.empty() && path.back() != L'\\')
        path += L'\\';
    return path + HM_SENSOR_FILE;
}

SensorDelivery DeliverSensor(DWORD pid, const wchar_t* imageName, const std::wstring& sensorPath, DWORD waitMs,
                             HANDLE cancel)
{
    if (pid == GetCurrentProcessId() || pid == 0 || sensor::IsExcludedImage(imageName))
        return SensorDelivery::Excluded;
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
            DWORD loaded = 0; // the module's low 32 bits: zero when the load failed
            GetExitCodeThread(thread.Get(), &loaded);
            result = loaded ? SensorDelivery::Delivered : SensorDelivery::Refused;
        } else if (thread) {
            return SensorDelivery::Refused; // still loading: the path must stay readable
        }
    }
    VirtualFreeEx(process.Get(), remote, 0, MEM_RELEASE);
    return result;
}
