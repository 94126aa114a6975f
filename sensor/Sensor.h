// The sensor's process-wide state and its parts: the import patcher, the
// hooks, the one step that asks the driver, and delivery into children.
#pragma once

#include "driver/common/InjectProtocol.h"
#include "sensor/NativeCalls.h"

namespace sensor {

// The real entry points, bound by name from ntdll once at load. A missing
// one (NtCreateUserProcess before Vista) is simply not caught.
struct RealEntries {
    NtCreateFileFn createFile;
    NtOpenFileFn openFile;
    NtSetValueKeyFn setValueKey;
    NtCreateUserProcessFn createUserProcess;
    LdrLoadDllFn loadDll;
};

// Written once by the load (under the loader lock), read-only afterwards.
struct SensorState {
    RealEntries real;
    HMODULE self;
    HMODULE ntdll;
    DWORD tlsIndex;                           // per-thread: re-entrance mark
    DWORD deviceIndex;                         // per-thread: the device handle
    uint32_t processId;
    uint16_t processName[WATCH_INJECT_PROCESS_CHARS]; // this image's base name
    wchar_t sensorPath[MAX_PATH];             // for delivery into children
    bool active;                              // false in an excluded process
    bool askEvery;                            // ask about every operation (HM_SENSOR_ASK_EVERY=1)
};
extern SensorState g_state;

// --- import patching (ImportPatch.cpp) ------------------------------------
// Points every import slot of every loaded module (ntdll and the sensor
// excepted) that holds a caught entry point at its hook. Idempotent; takes
// the loader lock (recursively when the caller holds it).
void PatchLoadedModules();

// --- the hooks (Hooks.cpp) --------------------------------------------------
void* HookFor(void* real);

// --- asking (DriverAsk.cpp) -------------------------------------------------
// The one place where an operation is decided: Accept at once when the
// driver's state page and this process's copy of its table say that no rule
// can match it (LocalDecision.h), else the driver's verdict (DecideOperation).
uint32_t Decide(WATCH_INJECT_OPERATION* op);
// The driver's verdict, or Accept when it cannot be asked (absent, failing,
// backing off).
uint32_t DecideOperation(WATCH_INJECT_OPERATION* op);
// Closes the calling thread's device handle; at thread end.
void ReleaseThread();

// Per-thread re-entrance mark across a whole hook: the sensor's own calls
// (opening the device, delivery into a child) pass straight through.
class CReentryGuard {
public:
    CReentryGuard();
    ~CReentryGuard();
    bool Entered() const { return m_entered; }

private:
    bool m_entered;
};

// --- children (ChildDelivery.cpp) -------------------------------------------
// Loads the sensor into a child created suspended, before its thread runs
// (an APC on its main thread). False when it cannot (another architecture,
// an excluded image); the child then runs unguarded.
bool DeliverToChild(HANDLE process, HANDLE thread, const uint16_t* imagePath);

// Tracing of what is let through unasked (debug output).
void Trace(const char* what);

} // namespace sensor
