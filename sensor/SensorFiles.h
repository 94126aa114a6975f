// The sensor's files and the processes it is never loaded into. Shared by the
// sensor (which stays inert when it finds itself in one of them, and does not
// follow a program start into one) and the guard's delivery.
#pragma once

#include <stddef.h>

namespace sensor {

// Beside Harrowmere.exe in the program folder, one per architecture.
#define HM_SENSOR_FILE_64 L"HarrowmereSensor64.dll"
#define HM_SENSOR_FILE_32 L"HarrowmereSensor32.dll"
#if defined(_WIN64)
#define HM_SENSOR_FILE HM_SENSOR_FILE_64
#else
#define HM_SENSOR_FILE HM_SENSOR_FILE_32
#endif

// Image names (any letter case) of processes that must never be guarded:
// - Harrowmere.exe: the guard decides; a sensor in it would wait for its own
//   answer on every call.
// - winedevice.exe: hosts the driver; the mount manager in it writes the
//   registry through the system library, and asking from there deadlocks.
// - services.exe: starts and stops the driver's service for the guard; a
//   service start that waits for the guard would wait for itself.
// - wineserver.exe, wineboot.exe, plugplay.exe, rpcss.exe, svchost.exe: the
//   system's own hosts that every program (the guard included) depends on;
//   holding one of them on a prompt holds the whole desktop.
// - explorer.exe: owns the notification area; the guard's tray icon calls
//   into it synchronously, so explorer waiting for the guard would hang both.
// - harrowmere-setup.exe, uninstall.exe, au_.exe: the setup program, the
//   uninstaller and the copy of itself that the uninstaller starts from the
//   temporary folder and that does the work. They stop the guard and its
//   driver, copy themselves and start programs, and replace or delete the
//   sensor's own files; with a sensor in it, the uninstaller's start of its
//   copy fails ("Error launching installer", exit code 2 when silent), so
//   neither an uninstall nor an upgrade could run while the guard runs.
inline const wchar_t* const* ExcludedImages(size_t* count)
{
    static const wchar_t* const names[] = {
        L"harrowmere.exe", L"winedevice.exe", L"services.exe", L"wineserver.exe", L"wineboot.exe",
        L"plugplay.exe",   L"rpcss.exe",      L"svchost.exe",  L"explorer.exe",
        L"harrowmere-setup.exe", L"uninstall.exe", L"au_.exe",
    };
    *count = sizeof(names) / sizeof(names[0]);
    return names;
}

// The named event that a loaded sensor keeps open for the life of its
// process: "Local\HarrowmereSensor-<process id>". The guard's watcher sees by
// it that a process, or the guarded parent that started it, already carries
// the sensor and leaves it alone: a load from outside costs the process a
// thread and memory put into it from another process, which under Wine can
// interrupt it anywhere (its start-up included) and, now and then, corrupt
// its heap.
#define HM_SENSOR_MARK_PREFIX L"Local\\HarrowmereSensor-"
const size_t kSensorMarkChars = 40;

// The mark's name for process `pid` (no C runtime: the sensor has none).
inline void SensorMarkName(unsigned long pid, wchar_t (&out)[kSensorMarkChars])
{
    const wchar_t prefix[] = HM_SENSOR_MARK_PREFIX;
    size_t n = 0;
    for (; prefix[n]; ++n)
        out[n] = prefix[n];
    wchar_t digits[12];
    size_t d = 0;
    do {
        digits[d++] = static_cast<wchar_t>(L'0' + pid % 10);
        pid /= 10;
    } while (pid && d < 12);
    while (d)
        out[n++] = digits[--d];
    out[n] = 0;
}

// The last element of a path (after the last backslash or slash).
inline const wchar_t* BaseName(const wchar_t* path, size_t chars)
{
    size_t start = 0;
    for (size_t i = 0; i < chars && path[i]; ++i)
        if (path[i] == L'\\' || path[i] == L'/')
            start = i + 1;
    return path + start;
}

// True when `name` (a base name, NUL-terminated) is an excluded image.
inline bool IsExcludedImage(const wchar_t* name)
{
    size_t count = 0;
    const wchar_t* const* names = ExcludedImages(&count);
    for (size_t i = 0; i < count; ++i) {
        const wchar_t* a = name;
        const wchar_t* b = names[i];
        while (*a && *b) {
            wchar_t c = *a >= L'A' && *a <= L'Z' ? wchar_t(*a + 32) : *a;
            if (c != *b)
                break;
            ++a;
            ++b;
        }
        if (!*a && !*b)
            return true;
    }
    return false;
}

} // namespace sensor
