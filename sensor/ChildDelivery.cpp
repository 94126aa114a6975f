// Delivery into a child that was just created suspended: an APC queued to its
// main thread loads the sensor when the thread first runs, after the loader
// has run the DllMains of the program's imports and before its entry point.
// It costs a few tenths of a millisecond per start, against tens for a
// remote thread.
#include "sensor/Sensor.h"
#include "sensor/SensorFiles.h"

namespace sensor {

namespace {

bool SameArchitecture(HANDLE process)
{
    BOOL selfWow = FALSE, childWow = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &selfWow) || !IsWow64Process(process, &childWow))
        return false;
    return selfWow == childWow;
}

} // namespace

bool DeliverToChild(HANDLE process, HANDLE thread, const uint16_t* imagePath)
{
    const wchar_t* path = reinterpret_cast<const wchar_t*>(imagePath);
    size_t chars = 0;
    while (path[chars])
        ++chars;
    if (IsExcludedImage(BaseName(path, chars)))
        return false;
    if (!SameArchitecture(process)) {
        Trace("Harrowmere sensor: a child of another architecture runs unguarded\n");
        return false;
    }
    size_t bytes = 0;
    while (g_state.sensorPath[bytes / sizeof(wchar_t)])
        bytes += sizeof(wchar_t);
    bytes += sizeof(wchar_t);
    void* remote = VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote)
        return false;
    SIZE_T written = 0;
    PAPCFUNC load = reinterpret_cast<PAPCFUNC>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
    if (!load || !WriteProcessMemory(process, remote, g_state.sensorPath, bytes, &written) || written != bytes ||
        !QueueUserAPC(load, thread, reinterpret_cast<ULONG_PTR>(remote))) {
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
        Trace("Harrowmere sensor: the sensor could not be loaded into a child\n");
        return false;
    }
    return true;
}

} // namespace sensor
