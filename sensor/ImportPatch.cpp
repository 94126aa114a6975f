// Import table patching: every module that calls a caught entry point
// through its import table (the system library, kernel32 where it calls
// ntdll itself, advapi32 and the others that import ntdll directly) gets that
// slot pointed at the hook. Slots are recognised by the address they hold, so
// forwarded and bound imports are caught alike. ntdll's own calls (the
// loader's opens) do not go through an import table and are not caught.
#include "sensor/Sensor.h"

namespace sensor {

namespace {

struct SlotTarget {
    void* real;
    void* hook;
};

bool HeadersOf(BYTE* base, IMAGE_NT_HEADERS** nt)
{
    IMAGE_DOS_HEADER* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE)
        return false;
    *nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return (*nt)->Signature == IMAGE_NT_SIGNATURE &&
           (*nt)->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR_MAGIC;
}

void WriteSlot(void** slot, void* value)
{
    DWORD old = 0;
    if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old))
        return;
    *slot = value;
    DWORD unused = 0;
    VirtualProtect(slot, sizeof(void*), old, &unused);
}

void PatchModule(BYTE* base, const SlotTarget* targets, size_t count)
{
    IMAGE_NT_HEADERS* nt = nullptr;
    if (!HeadersOf(base, &nt))
        return;
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress || dir.Size < sizeof(IMAGE_IMPORT_DESCRIPTOR))
        return;
    IMAGE_IMPORT_DESCRIPTOR* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
    for (; desc->Name && desc->FirstThunk; ++desc) {
        void** slot = reinterpret_cast<void**>(base + desc->FirstThunk);
        for (; *slot; ++slot) {
            for (size_t i = 0; i < count; ++i) {
                if (targets[i].real && *slot == targets[i].real)
                    WriteSlot(slot, targets[i].hook);
            }
        }
    }
}

} // namespace

void PatchLoadedModules()
{
    const RealEntries& r = g_state.real;
    const SlotTarget targets[] = {
        { reinterpret_cast<void*>(r.createFile), HookFor(reinterpret_cast<void*>(r.createFile)) },
        { reinterpret_cast<void*>(r.openFile), HookFor(reinterpret_cast<void*>(r.openFile)) },
        { reinterpret_cast<void*>(r.setValueKey), HookFor(reinterpret_cast<void*>(r.setValueKey)) },
        { reinterpret_cast<void*>(r.createUserProcess), HookFor(reinterpret_cast<void*>(r.createUserProcess)) },
        { reinterpret_cast<void*>(r.loadDll), HookFor(reinterpret_cast<void*>(r.loadDll)) },
    };
    const size_t count = sizeof(targets) / sizeof(targets[0]);
    ULONG_PTR cookie = 0;
    bool locked = LdrLockLoaderLock(0, nullptr, &cookie) == kStatusSuccess;
    PROCESS_BASIC_INFORMATION basic = {};
    if (NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof(basic), nullptr) !=
            kStatusSuccess ||
        !basic.PebBaseAddress) {
        if (locked)
            LdrUnlockLoaderLock(0, cookie);
        return;
    }
    LIST_ENTRY* head = &basic.PebBaseAddress->Ldr->InMemoryOrderModuleList;
    for (LIST_ENTRY* e = head->Flink; e != head; e = e->Flink) {
        LDR_DATA_TABLE_ENTRY* module = CONTAINING_RECORD(e, LDR_DATA_TABLE_ENTRY, InMemoryOrderLinks);
        BYTE* base = static_cast<BYTE*>(module->DllBase);
        if (!base || base == reinterpret_cast<BYTE*>(g_state.ntdll) || base == reinterpret_cast<BYTE*>(g_state.self))
            continue;
        PatchModule(base, targets, count);
    }
    if (locked)
        LdrUnlockLoaderLock(0, cookie);
}

} // namespace sensor
