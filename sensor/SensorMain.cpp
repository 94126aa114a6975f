// The sensor DLL's entry: at load it binds the real entry points, notes who
// it is in, and patches the import tables. It does nothing that waits: the
// device is opened by the first operation that is asked about, outside this
// function. It pins itself, so it is never unloaded (patched slots point into
// it).
#include "sensor/Sensor.h"
#include "sensor/SensorFiles.h"

namespace sensor {

SensorState g_state;

void Trace(const char* what)
{
    OutputDebugStringA(what);
}

namespace {

void NoteProcess()
{
    g_state.processId = GetCurrentProcessId();
    wchar_t path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const wchar_t* base = BaseName(path, n);
    size_t i = 0;
    for (; base[i] && i + 1 < WATCH_INJECT_PROCESS_CHARS; ++i)
        g_state.processName[i] = static_cast<uint16_t>(base[i]);
    g_state.processName[i] = 0;
    g_state.active = !IsExcludedImage(base);
}

bool Load(HMODULE self)
{
    g_state.self = self;
    HMODULE pinned = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&g_state), &pinned);
    GetModuleFileNameW(self, g_state.sensorPath, MAX_PATH);
    NoteProcess();
    if (!g_state.active)
        return true; // inert: loaded, never patched
    // The mark stays open until the process ends: the sensor never unloads.
    wchar_t mark[kSensorMarkChars];
    SensorMarkName(g_state.processId, mark);
    CreateEventW(nullptr, TRUE, FALSE, mark);
    g_state.tlsIndex = TlsAlloc();
    g_state.deviceIndex = TlsAlloc();
    if (g_state.tlsIndex == TLS_OUT_OF_INDEXES || g_state.deviceIndex == TLS_OUT_OF_INDEXES) {
        g_state.active = false;
        return true;
    }
    // The benchmark's switch: ask the driver about every operation, as if
    // the sensor could not decide any itself.
    wchar_t askEvery[4] = {};
    g_state.askEvery = GetEnvironmentVariableW(L"HM_SENSOR_ASK_EVERY", askEvery, 4) == 1 && askEvery[0] == L'1';
    g_state.ntdll = GetModuleHandleW(L"ntdll.dll");
    RealEntries& r = g_state.real;
    r.createFile = reinterpret_cast<NtCreateFileFn>(GetProcAddress(g_state.ntdll, "NtCreateFile"));
    r.openFile = reinterpret_cast<NtOpenFileFn>(GetProcAddress(g_state.ntdll, "NtOpenFile"));
    r.setValueKey = reinterpret_cast<NtSetValueKeyFn>(GetProcAddress(g_state.ntdll, "NtSetValueKey"));
    r.createUserProcess =
        reinterpret_cast<NtCreateUserProcessFn>(GetProcAddress(g_state.ntdll, "NtCreateUserProcess"));
    r.loadDll = reinterpret_cast<LdrLoadDllFn>(GetProcAddress(g_state.ntdll, "LdrLoadDll"));
    PatchLoadedModules();
    return true;
}

} // namespace

} // namespace sensor

// Exported so that an import table can name the sensor (delivery as the
// first import of a child's image needs one named export); it does nothing.
extern "C" __declspec(dllexport) void WINAPI SensorAttach()
{
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        return sensor::Load(instance) ? TRUE : FALSE;
    case DLL_THREAD_DETACH:
        if (sensor::g_state.active)
            sensor::ReleaseThread();
        break;
    default:
        break;
    }
    return TRUE;
}
