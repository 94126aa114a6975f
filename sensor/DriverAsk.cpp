// Asking the driver: one injection call per operation. Each thread that
// asks opens its own synchronous handle to the device at its first ask (never
// at load, where the loader lock is held) and closes it when it ends: on a
// synchronous handle the system runs one request at a time, so a thread
// waiting on a prompt must not hold up the asks of the process's other
// threads, and an overlapped request costs more than ten times as much under
// Wine (measured: 3.9 ms against 0.25 ms per open). After a failed or
// timed-out ask every operation is let through for a while, so a hung or
// absent guard costs one wait, not one per call.
//
// Before asking, the sensor decides what it can itself: the driver's state
// page, mapped read-only into this process once, says whether anything can
// match; a copy of the driver's table, fetched once per generation of the
// page, says whether a rule can match this operation. Only a candidate is
// asked about, so an operation no rule touches costs no call.
#include "sensor/LocalDecision.h"
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

// ---- the state page and the table ------------------------------------------

const DWORD kRemapMs = 2000;

PVOID volatile g_page = nullptr; // the view of the state page, once mapped
LONG volatile g_mapFailedSince = 0; // tick of the last failed mapping
LONG volatile g_mapFailed = 0;
TableCache g_cache;

// The user's SID as text, read from this process's token once.
wchar_t g_sid[kSidChars];
LONG volatile g_sidState = 0; // 0 not read, 1 being read, 2 read, 3 unreadable

bool ReadUserSid(wchar_t* out, size_t chars)
{
    HANDLE token = nullptr;
    if (NtOpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) != kStatusSuccess)
        return false;
    union {
        TOKEN_USER user;
        ULONG_PTR room[32]; // TOKEN_USER and the SID behind it: at most 84 bytes
    } buffer;
    ULONG got = 0;
    NTSTATUS status = NtQueryInformationToken(token, TokenUser, &buffer, sizeof(buffer), &got);
    CloseHandle(token);
    if (status != kStatusSuccess)
        return false;
    UNICODE_STRING text;
    text.Buffer = out;
    text.Length = 0;
    text.MaximumLength = static_cast<USHORT>((chars - 1) * sizeof(wchar_t));
    if (RtlConvertSidToUnicodeString(&text, buffer.user.User.Sid, FALSE) !=
        kStatusSuccess)
        return false;
    out[text.Length / sizeof(wchar_t)] = 0;
    return true;
}

// Null while another thread reads it or when it cannot be read: every value
// set is then a candidate.
const wchar_t* UserSid()
{
    LONG state = g_sidState;
    if (state == 0 && InterlockedCompareExchange(&g_sidState, 1, 0) == 0) {
        bool read = ReadUserSid(g_sid, kSidChars);
        InterlockedExchange(&g_sidState, read ? 2 : 3);
        state = read ? 2 : 3;
    }
    return state == 2 ? g_sid : nullptr;
}

// The driver's state page in this process, mapped at the first operation
// (never at load). A page the driver retired (it unloaded) is left for the
// next driver's; a failed mapping (no driver, or one without the page) is
// tried again after a while, and until then every operation is asked about.
const volatile WATCH_STATE_PAGE* StatePage()
{
    PVOID view = g_page;
    const volatile WATCH_STATE_PAGE* page = static_cast<const volatile WATCH_STATE_PAGE*>(view);
    if (page && !page->retired)
        return page;
    if (page) {
        // Left mapped: another thread may still read it.
        InterlockedCompareExchangePointer(&g_page, nullptr, view);
        g_cache.Clear();
    }
    if (g_mapFailed && GetTickCount() - static_cast<DWORD>(g_mapFailedSince) < kRemapMs)
        return nullptr;
    HANDLE device = ThreadDevice();
    union {
        uint64_t wide;
        uint32_t narrow;
    } out = {};
    DWORD got = 0;
    BOOL ok = device && DeviceIoControl(device, IOCTL_WATCH_MAP_STATE, nullptr, 0, &out, sizeof(void*), &got,
                                        nullptr);
    ULONG_PTR address = static_cast<ULONG_PTR>(sizeof(void*) == 8 ? out.wide : out.narrow);
    if (!ok || got != sizeof(void*) || !address) {
        if (device && !ok)
            ReleaseThread(); // the driver may have gone: open it afresh later
        InterlockedExchange(&g_mapFailedSince, static_cast<LONG>(GetTickCount()));
        InterlockedExchange(&g_mapFailed, 1);
        return nullptr;
    }
    InterlockedExchange(&g_mapFailed, 0);
    view = reinterpret_cast<PVOID>(address);
    PVOID previous = InterlockedCompareExchangePointer(&g_page, view, nullptr);
    if (previous) {
        // Another thread mapped it meanwhile: keep one view.
        UnmapViewOfFile(view);
        view = previous;
    }
    return static_cast<const volatile WATCH_STATE_PAGE*>(view);
}

uint32_t FetchTable(void*, void* buffer, uint32_t capacity)
{
    HANDLE device = ThreadDevice();
    DWORD got = 0;
    if (!device || !DeviceIoControl(device, IOCTL_WATCH_GET_TABLE, nullptr, 0, buffer, capacity, &got, nullptr))
        return 0;
    return got;
}

} // namespace

uint32_t Decide(WATCH_INJECT_OPERATION* op)
{
    if (!g_state.askEvery) {
        DWORD error = GetLastError();
        LocalAnswer answer = DecideLocally(StatePage(), &g_cache, FetchTable, nullptr, op, UserSid());
        SetLastError(error);
        if (answer == LocalAnswer::Accept)
            return WATCH_VERDICT_ACCEPT;
    }
    return DecideOperation(op);
}

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
