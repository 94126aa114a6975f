// The hooks that import slots point at. Each takes the re-entrance mark for
// its whole run (the sensor's own calls pass straight through), reads the
// operation's names without trusting the program's memory, asks once, and
// applies the verdict:
//   Accept  the real call, unchanged;
//   Reject  access denied, as the system refuses a call;
//   Feign   success with nothing done: a file open gets a handle on the null
//           device, a value set writes nothing, a program start creates the
//           process suspended and ends it with exit code 0.
// Anything the sensor does not ask about (no name, an odd string) goes to the
// real call exactly as passed, so the program gets the system's own answer.
#include "sensor/OperationNames.h"
#include "sensor/Sensor.h"

namespace sensor {

namespace {

enum OperationKind : uint32_t { kOpenFile = 0, kRegSetValue = 1, kExecute = 2 };

// Asks about one operation whose names `named` says were read.
uint32_t Ask(WATCH_INJECT_OPERATION* op, NameResult named)
{
    if (named == NameResult::Unreadable)
        Trace("Harrowmere sensor: an operation with an unreadable name was let through\n");
    if (named != NameResult::Named)
        return WATCH_VERDICT_ACCEPT;
    return Decide(op);
}

bool CreatesFile(ULONG disposition)
{
    return disposition == FILE_SUPERSEDE || disposition == FILE_CREATE || disposition == FILE_OPEN_IF ||
           disposition == FILE_OVERWRITE_IF;
}

// A feigned open: the same access and sharing on the null device, where
// reads find nothing and writes vanish.
NTSTATUS OpenNullDevice(PHANDLE file, ACCESS_MASK access, const OBJECT_ATTRIBUTES* original, PIO_STATUS_BLOCK io,
                        ULONG share, ULONG options, bool creates)
{
    static const wchar_t kNull[] = L"\\??\\NUL";
    UNICODE_STRING name;
    name.Buffer = const_cast<PWSTR>(kNull);
    name.Length = sizeof(kNull) - sizeof(wchar_t);
    name.MaximumLength = sizeof(kNull);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | (original->Attributes & OBJ_INHERIT),
                               nullptr, nullptr);
    const ACCESS_MASK kNotOnDevice = DELETE | WRITE_DAC | WRITE_OWNER | ACCESS_SYSTEM_SECURITY | MAXIMUM_ALLOWED;
    access &= ~kNotOnDevice;
    if (!(access & ~SYNCHRONIZE))
        access |= FILE_READ_ATTRIBUTES;
    options &= FILE_SYNCHRONOUS_IO_ALERT | FILE_SYNCHRONOUS_IO_NONALERT;
    NTSTATUS status = g_state.real.createFile(file, access, &attributes, io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                                              FILE_OPEN, options, nullptr, 0);
    if (status == kStatusSuccess)
        io->Information = creates ? FILE_CREATED : FILE_OPENED;
    return status;
}

// The verdict on a file open or create with these attributes.
uint32_t AskFileOpen(const OBJECT_ATTRIBUTES* attributes)
{
    WATCH_INJECT_OPERATION op;
    op.kind = kOpenFile;
    op.param2[0] = 0;
    return Ask(&op, FileNameForDriver(attributes, op.param1, WATCH_INJECT_PARAM1_CHARS));
}

NTSTATUS NTAPI HookCreateFile(PHANDLE file, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes, PIO_STATUS_BLOCK io,
                              PLARGE_INTEGER allocation, ULONG fileAttributes, ULONG share, ULONG disposition,
                              ULONG options, PVOID ea, ULONG eaLength)
{
    CReentryGuard guard;
    if (guard.Entered()) {
        uint32_t verdict = AskFileOpen(attributes);
        if (verdict == WATCH_VERDICT_REJECT)
            return kStatusAccessDenied;
        if (verdict == WATCH_VERDICT_FEIGN)
            return OpenNullDevice(file, access, attributes, io, share, options, CreatesFile(disposition));
    }
    return g_state.real.createFile(file, access, attributes, io, allocation, fileAttributes, share, disposition,
                                   options, ea, eaLength);
}

NTSTATUS NTAPI HookOpenFile(PHANDLE file, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes, PIO_STATUS_BLOCK io,
                            ULONG share, ULONG options)
{
    CReentryGuard guard;
    if (guard.Entered()) {
        uint32_t verdict = AskFileOpen(attributes);
        if (verdict == WATCH_VERDICT_REJECT)
            return kStatusAccessDenied;
        if (verdict == WATCH_VERDICT_FEIGN)
            return OpenNullDevice(file, access, attributes, io, share, options, false);
    }
    return g_state.real.openFile(file, access, attributes, io, share, options);
}

NTSTATUS NTAPI HookSetValueKey(HANDLE key, PUNICODE_STRING valueName, ULONG titleIndex, ULONG type, PVOID data,
                               ULONG size)
{
    CReentryGuard guard;
    if (guard.Entered()) {
        WATCH_INJECT_OPERATION op;
        op.kind = kRegSetValue;
        NameResult named = ValueNameForDriver(valueName, op.param2, WATCH_INJECT_PARAM2_CHARS);
        if (named == NameResult::Named)
            named = KeyNameForDriver(key, op.param1, WATCH_INJECT_PARAM1_CHARS);
        uint32_t verdict = Ask(&op, named);
        if (verdict == WATCH_VERDICT_REJECT)
            return kStatusAccessDenied;
        if (verdict == WATCH_VERDICT_FEIGN)
            return kStatusSuccess;
    }
    return g_state.real.setValueKey(key, valueName, titleIndex, type, data, size);
}

NTSTATUS NTAPI HookCreateUserProcess(PHANDLE process, PHANDLE thread, ACCESS_MASK processAccess,
                                     ACCESS_MASK threadAccess, POBJECT_ATTRIBUTES processAttributes,
                                     POBJECT_ATTRIBUTES threadAttributes, ULONG processFlags, ULONG threadFlags,
                                     PVOID parameters, PVOID createInfo, PVOID attributeList)
{
    CReentryGuard guard;
    if (!guard.Entered())
        return g_state.real.createUserProcess(process, thread, processAccess, threadAccess, processAttributes,
                                              threadAttributes, processFlags, threadFlags, parameters, createInfo,
                                              attributeList);
    WATCH_INJECT_OPERATION op;
    op.kind = kExecute;
    op.param2[0] = 0;
    NameResult named = ImageNameForDriver(attributeList, parameters, op.param1, WATCH_INJECT_PARAM1_CHARS);
    uint32_t verdict = Ask(&op, named);
    if (verdict == WATCH_VERDICT_REJECT)
        return kStatusAccessDenied;
    // The child is created suspended in any case; a thread that the caller
    // asked to be suspended is the caller's to resume (Wine's system library
    // always asks so and resumes it itself), any other the sensor resumes.
    bool callerResumes = (threadFlags & kThreadCreateSuspended) != 0;
    NTSTATUS status = g_state.real.createUserProcess(process, thread, processAccess, threadAccess, processAttributes,
                                                     threadAttributes, processFlags,
                                                     threadFlags | kThreadCreateSuspended, parameters, createInfo,
                                                     attributeList);
    if (status != kStatusSuccess)
        return status;
    if (verdict == WATCH_VERDICT_FEIGN)
        NtTerminateProcess(*process, 0); // nothing of the program runs
    else
        DeliverToChild(*process, *thread, op.param1);
    if (!callerResumes)
        NtResumeThread(*thread, nullptr);
    return status;
}

// Modules loaded later get their slots patched as soon as their load returns.
NTSTATUS NTAPI HookLoadDll(PCWSTR searchPath, ULONG_PTR flags, PUNICODE_STRING name, PVOID* base)
{
    NTSTATUS status = g_state.real.loadDll(searchPath, flags, name, base);
    if (status == kStatusSuccess)
        PatchLoadedModules();
    return status;
}

} // namespace

void* HookFor(void* real)
{
    const RealEntries& r = g_state.real;
    if (!real)
        return nullptr;
    if (real == reinterpret_cast<void*>(r.createFile))
        return reinterpret_cast<void*>(&HookCreateFile);
    if (real == reinterpret_cast<void*>(r.openFile))
        return reinterpret_cast<void*>(&HookOpenFile);
    if (real == reinterpret_cast<void*>(r.setValueKey))
        return reinterpret_cast<void*>(&HookSetValueKey);
    if (real == reinterpret_cast<void*>(r.createUserProcess))
        return reinterpret_cast<void*>(&HookCreateUserProcess);
    if (real == reinterpret_cast<void*>(r.loadDll))
        return reinterpret_cast<void*>(&HookLoadDll);
    return nullptr;
}

} // namespace sensor
