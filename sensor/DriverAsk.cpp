// Asking the driver: one injection call per operation on a device handle
// opened at the first ask (never at load, where the loader lock is held).
// After a failed or timed-out ask every operation is let through for a
// while, so a hung or absent guard costs one wait, not one per call.
#include "sensor/Sensor.h"

namespace sensor {

namespace {

const DWORD kBackOffMs = 2000;

HANDLE volatile g_device = nullptr;   // opened once, replaced after a failure
LONG volatile g_backOffSince = 0;     // tick of the last failure
LONG volatile g_backingOff = 0;       // 1 while the back-off runs

bool BackingOff()
{
    if (!g_backingOff)
        return false;
    if (GetTickCount() - static_cast<DWORD>(g_backOffSince) < kBackOffMs)
        return true;
    InterlockedExchange(&g_backingOff, 0);
    return false;
}

void BackOff()
{
    InterlockedExchange(&g_backOffSince, static_cast<LONG>(GetTickCount()));
    InterlockedExchange(&g_backingOff, 1);
}

// The device handle; opened for overlapped I/O so that one thread waiting on
// a prompt does not hold up the asks of the process's other threads.
HANDLE Device()
{
    HANDLE device = g_device;
    if (device)
        return device;
    static const wchar_t* const kPaths[] = { L"\\\\.\\Global\\Harrowmere", L"\\\\.\\Harrowmere" };
    for (const wchar_t* path : kPaths) {
        device = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (device != INVALID_HANDLE_VALUE)
            break;
        device = nullptr;
    }
    if (!device)
        return nullptr;
    HANDLE previous = InterlockedCompareExchangePointer(const_cast<PVOID volatile*>(&g_device), device, nullptr);
    if (previous) {
        CloseHandle(device); // another thread was first
        return previous;
    }
    return device;
}

void DropDevice(HANDLE device)
{
    if (InterlockedCompareExchangePointer(const_cast<PVOID volatile*>(&g_device), nullptr, device) == device)
        CloseHandle(device);
}

HANDLE ThreadEvent()
{
    HANDLE event = TlsGetValue(g_state.eventIndex);
    if (!event) {
        event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        TlsSetValue(g_state.eventIndex, event);
    }
    return event;
}

} // namespace

CReentryGuard::CReentryGuard() : m_entered(false)
{
    if (!g_state.active)
        return;
    DWORD error = GetLastError();
    if (!TlsGetValue(g_state.tlsIndex)) {
        TlsSetValue(g_state.tlsIndex, reinterpret_cast<void*>(1));
        m_entered = true;
    }
    SetLastError(error);
}

CReentryGuard::~CReentryGuard()
{
    if (!m_entered)
        return;
    DWORD error = GetLastError();
    TlsSetValue(g_state.tlsIndex, nullptr);
    SetLastError(error);
}

void ReleaseThread()
{
    HANDLE event = TlsGetValue(g_state.eventIndex);
    if (event) {
        TlsSetValue(g_state.eventIndex, nullptr);
        CloseHandle(event);
    }
}

uint32_t DecideOperation(WATCH_INJECT_OPERATION* op)
{
    if (BackingOff())
        return WATCH_VERDICT_ACCEPT;
    DWORD error = GetLastError();
    uint32_t verdict = WATCH_VERDICT_ACCEPT;
    HANDLE device = Device();
    HANDLE event = device ? ThreadEvent() : nullptr;
    if (!device || !event) {
        BackOff();
    } else {
        op->processId = g_state.processId;
        for (size_t i = 0; i < WATCH_INJECT_PROCESS_CHARS; ++i)
            op->processName[i] = g_state.processName[i];
        WATCH_INJECT_RESULT result = {};
        OVERLAPPED overlapped = {};
        overlapped.hEvent = event;
        DWORD got = 0;
        BOOL ok = DeviceIoControl(device, IOCTL_WATCH_INJECT, op, sizeof(*op), &result, sizeof(result), &got,
                                  &overlapped);
        if (!ok && GetLastError() == ERROR_IO_PENDING)
            ok = GetOverlappedResult(device, &overlapped, &got, TRUE);
        if (!ok || got < sizeof(result)) {
            DropDevice(device); // the driver may have gone: open it afresh later
            BackOff();
        } else {
            if (result.outcome == WATCH_OUTCOME_TIMED_OUT)
                BackOff();
            verdict = result.verdict <= WATCH_VERDICT_REJECT ? result.verdict : WATCH_VERDICT_ACCEPT;
        }
    }
    SetLastError(error);
    return verdict;
}

} // namespace sensor
