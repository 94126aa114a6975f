// Asking the driver: one injection call per operation. Each thread that
// asks opens its own synchronous handle to the device at its first ask (never
// at load, where the loader lock is held) and closes it when it ends: on a
// synchronous handle the system runs one request at a time, so a thread
// waiting on a prompt must not hold up the asks of the process's other
// threads, and an overlapped request costs more than ten times as much under
// Wine (measured: 3.9 ms against 0.25 ms per open). After a failed or
// timed-out ask every operation is let through for a while, so a hung or
// absent guard costs one wait, not one per call.
#include "sensor/Sensor.h"

namespace sensor {

namespace {

const DWORD kBackOffMs = 2000;

LONG volatile g_backOffSince = 0; // tick of the last failure
LONG volatile g_backingOff = 0;   // 1 while the back-off runs

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

// The calling thread's device handle, opened on first use.
HANDLE ThreadDevice()
{
    HANDLE device = TlsGetValue(g_state.deviceIndex);
    if (device)
        return device;
    static const wchar_t* const kPaths[] = { L"\\\\.\\Global\\Harrowmere", L"\\\\.\\Harrowmere" };
    for (const wchar_t* path : kPaths) {
        device = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
        if (device != INVALID_HANDLE_VALUE) {
            TlsSetValue(g_state.deviceIndex, device);
            return device;
        }
    }
    return nullptr;
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
    HANDLE device = TlsGetValue(g_state.deviceIndex);
    if (device) {
        TlsSetValue(g_state.deviceIndex, nullptr);
        CloseHandle(device);
    }
}

uint32_t DecideOperation(WATCH_INJECT_OPERATION* op)
{
    if (BackingOff())
        return WATCH_VERDICT_ACCEPT;
    DWORD error = GetLastError();
    uint32_t verdict = WATCH_VERDICT_ACCEPT;
    HANDLE device = ThreadDevice();
    if (!device) {
        BackOff();
    } else {
        op->processId = g_state.processId;
        for (size_t i = 0; i < WATCH_INJECT_PROCESS_CHARS; ++i)
            op->processName[i] = g_state.processName[i];
        WATCH_INJECT_RESULT result = {};
        DWORD got = 0;
        BOOL ok = DeviceIoControl(device, IOCTL_WATCH_INJECT, op, sizeof(*op), &result, sizeof(result), &got,
                                  nullptr);
        if (!ok || got < sizeof(result)) {
            ReleaseThread(); // the driver may have gone: open it afresh later
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
