// The stand-in Harrowmere driver: device, symbolic links, dispatch routines,
// load and unload.
#include "driver/DriverState.h"
#include "driver/RequestQueue.h"
#include "driver/SharedRecord.h"
#include "driver/StatePage.h"
#include "driver/WatchSession.h"

DRIVER_STATE g_state;

static UNICODE_STRING DeviceName = RTL_CONSTANT_STRING(L"\\Device\\Harrowmere");
static UNICODE_STRING GlobalLinkName = RTL_CONSTANT_STRING(L"\\DosDevices\\Global\\Harrowmere");
static UNICODE_STRING LocalLinkName = RTL_CONSTANT_STRING(L"\\DosDevices\\Harrowmere");

// Longest reply time-out the service key may set: one hour.
#define MAX_REPLY_TIMEOUT_MS 3600000u

// The reply time-out from the service key's value "ReplyTimeout" (REG_DWORD,
// milliseconds); the default when it is absent, zero or out of range.
static ULONG ReadReplyTimeout(PUNICODE_STRING registryPath)
{
    ULONG timeout = HM_DEFAULT_REPLY_TIMEOUT_MS;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, registryPath, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                               NULL, NULL);
    HANDLE key = NULL;
    if (!registryPath || !NT_SUCCESS(ZwOpenKey(&key, KEY_READ, &attributes)))
        return timeout;
    UNICODE_STRING name = RTL_CONSTANT_STRING(L"ReplyTimeout");
    union {
        KEY_VALUE_PARTIAL_INFORMATION info;
        UCHAR bytes[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + sizeof(ULONG)];
    } value;
    ULONG length = 0;
    if (NT_SUCCESS(ZwQueryValueKey(key, &name, KeyValuePartialInformation, &value, sizeof(value),
                                   &length)) &&
        value.info.Type == REG_DWORD && value.info.DataLength == sizeof(ULONG)) {
        ULONG configured;
        RtlCopyMemory(&configured, value.info.Data, sizeof(configured));
        if (configured > 0 && configured <= MAX_REPLY_TIMEOUT_MS)
            timeout = configured;
    }
    ZwClose(key);
    return timeout;
}

// A SID of at most two sub-authorities, laid out as the system's SID.
typedef struct SMALL_SID {
    UCHAR Revision;
    UCHAR SubAuthorityCount;
    SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
    ULONG SubAuthority[2];
} SMALL_SID;

static SMALL_SID SystemSid = { SID_REVISION, 1, { SECURITY_NT_AUTHORITY }, { SECURITY_LOCAL_SYSTEM_RID, 0 } };
static SMALL_SID AdminsSid = { SID_REVISION, 2, { SECURITY_NT_AUTHORITY },
                               { SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS } };

// Gives the device a DACL that admits SYSTEM and Administrators only (full
// access each), so that an ordinary user's program cannot even open it.
static NTSTATUS RestrictDeviceAccess(PDEVICE_OBJECT device)
{
    union {
        ACL acl;
        UCHAR bytes[sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) + sizeof(SMALL_SID))];
    } dacl;
    SECURITY_DESCRIPTOR descriptor;
    NTSTATUS status = RtlCreateAcl(&dacl.acl, sizeof(dacl), ACL_REVISION);
    if (NT_SUCCESS(status))
        status = RtlAddAccessAllowedAce(&dacl.acl, ACL_REVISION, FILE_ALL_ACCESS, (PSID)&SystemSid);
    if (NT_SUCCESS(status))
        status = RtlAddAccessAllowedAce(&dacl.acl, ACL_REVISION, FILE_ALL_ACCESS, (PSID)&AdminsSid);
    if (NT_SUCCESS(status))
        status = RtlCreateSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    if (NT_SUCCESS(status))
        status = RtlSetDaclSecurityDescriptor(&descriptor, TRUE, &dacl.acl, FALSE);
    HANDLE handle = NULL;
    if (NT_SUCCESS(status))
        status = ObOpenObjectByPointer(device, OBJ_KERNEL_HANDLE, NULL, WRITE_DAC, NULL, KernelMode, &handle);
    if (NT_SUCCESS(status)) {
        status = ZwSetSecurityObject(handle, DACL_SECURITY_INFORMATION, &descriptor);
        ZwClose(handle);
    }
    return status;
}

static NTSTATUS CompleteIrp(PIRP irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

// The process that sent the IRP. (The requestor-process query is not usable
// under every host of this driver; the thread's process is.)
static ULONG CallerPid(PIRP irp)
{
    if (irp->Tail.Overlay.Thread)
        return (ULONG)(ULONG_PTR)PsGetThreadProcessId(irp->Tail.Overlay.Thread);
    return (ULONG)(ULONG_PTR)PsGetCurrentProcessId();
}

// Writes a view's address into the answer, as 4 bytes for a 4-byte output
// buffer (32-bit callers) and 8 bytes for a larger one; the answer's length.
static ULONG WriteAddress(PIRP irp, BOOLEAN narrow, ULONG_PTR address)
{
    if (narrow) {
        uint32_t value = (uint32_t)address;
        RtlCopyMemory(irp->AssociatedIrp.SystemBuffer, &value, sizeof(value));
        return sizeof(value);
    }
    uint64_t value = address;
    RtlCopyMemory(irp->AssociatedIrp.SystemBuffer, &value, sizeof(value));
    return sizeof(value);
}

// IOCTL_WATCH_GET_SHARED: the record's address in the caller (0 when it
// cannot be mapped).
static NTSTATUS GetShared(PIRP irp, ULONG outLength)
{
    if (outLength < sizeof(uint32_t))
        return CompleteIrp(irp, STATUS_BUFFER_TOO_SMALL, 0);
    BOOLEAN narrow = outLength < sizeof(uint64_t);
    ULONG_PTR address = 0;
    NTSTATUS status = SharedRecordMapInto(CallerPid(irp), narrow, &address);
    if (!NT_SUCCESS(status))
        address = 0;
    return CompleteIrp(irp, status, WriteAddress(irp, narrow, address));
}

// The program's own control codes, which only the session's holder may send.
static BOOLEAN IsSessionCode(ULONG code)
{
    return code == IOCTL_WATCH_START || code == IOCTL_WATCH_STOP || code == IOCTL_WATCH_GET_SHARED ||
           code == IOCTL_WATCH_SET_PID || code == IOCTL_WATCH_SET_RULES;
}

// IOCTL_WATCH_MAP_STATE: the state page's address in the caller, 4 or 8
// bytes as for GET_SHARED.
static NTSTATUS MapState(PIRP irp, ULONG outLength)
{
    if (outLength < sizeof(uint32_t))
        return CompleteIrp(irp, STATUS_BUFFER_TOO_SMALL, 0);
    BOOLEAN narrow = outLength < sizeof(uint64_t);
    ULONG_PTR address = 0;
    NTSTATUS status = StatePageMapInto(CallerPid(irp), narrow, &address);
    if (!NT_SUCCESS(status))
        return CompleteIrp(irp, status, 0);
    return CompleteIrp(irp, STATUS_SUCCESS, WriteAddress(irp, narrow, address));
}

static NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp)
{
    UNREFERENCED_PARAMETER(device);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    ULONG inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
    const void* input = irp->AssociatedIrp.SystemBuffer;
    if (IsSessionCode(code)) {
        NTSTATUS claim = SessionClaim(stack->FileObject);
        if (!NT_SUCCESS(claim))
            return CompleteIrp(irp, claim, 0);
    }
    switch (code) {
    case IOCTL_WATCH_GET_SHARED:
        return GetShared(irp, outLength);
    case IOCTL_WATCH_SET_PID:
        return CompleteIrp(irp, SessionSetPid(input, inLength), 0);
    case IOCTL_WATCH_SET_RULES:
        return CompleteIrp(irp, SessionSetRules(stack->FileObject, input, inLength), 0);
    case IOCTL_WATCH_START:
        return CompleteIrp(irp, SessionStart(CallerPid(irp)), 0);
    case IOCTL_WATCH_STOP:
        SessionStop();
        return CompleteIrp(irp, STATUS_SUCCESS, 0);
    case IOCTL_WATCH_INJECT:
        // Stands for interception itself: open to every handle.
        StatePageCountInject();
        return DispatchInject(irp, stack);
    case IOCTL_WATCH_MAP_STATE:
        // What the sensors decide with: open to every handle, read-only.
        return MapState(irp, outLength);
    case IOCTL_WATCH_GET_TABLE: {
        if (outLength < sizeof(WATCH_TABLE_HEADER))
            return CompleteIrp(irp, STATUS_BUFFER_TOO_SMALL, 0);
        ULONG written = StatePageCopyTable(irp->AssociatedIrp.SystemBuffer, outLength);
        return CompleteIrp(irp, STATUS_SUCCESS, written);
    }
    default:
        return CompleteIrp(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

static NTSTATUS NTAPI DispatchCreate(PDEVICE_OBJECT device, PIRP irp)
{
    UNREFERENCED_PARAMETER(device);
    return CompleteIrp(irp, STATUS_SUCCESS, 0);
}

// Cleanup and close: the handle that started monitoring going away stops it
// (hosts differ in which of the two they send).
static NTSTATUS NTAPI DispatchCleanupClose(PDEVICE_OBJECT device, PIRP irp)
{
    UNREFERENCED_PARAMETER(device);
    SessionCloseFile(IoGetCurrentIrpStackLocation(irp)->FileObject);
    return CompleteIrp(irp, STATUS_SUCCESS, 0);
}

// Undoes whatever DriverEntry managed to set up; also the unload routine.
static VOID NTAPI DriverUnload(PDRIVER_OBJECT driver)
{
    UNREFERENCED_PARAMETER(driver);
    if (g_state.localLink)
        IoDeleteSymbolicLink(&LocalLinkName);
    if (g_state.globalLink)
        IoDeleteSymbolicLink(&GlobalLinkName);
    g_state.localLink = g_state.globalLink = FALSE;
    InterlockedExchange(&g_state.unloading, 1);
    SessionShutdown();
    RequestQueueShutdown();
    SharedRecordDestroy();
    StatePageDestroy();
    if (g_state.device) {
        IoDeleteDevice(g_state.device);
        g_state.device = NULL;
    }
    HM_TRACE("unloaded\n");
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    RtlZeroMemory(&g_state, sizeof(g_state));
    ExInitializeFastMutex(&g_state.lock);
    KeInitializeSpinLock(&g_state.queueLock);
    InitializeListHead(&g_state.queue);
    g_state.replyTimeoutMs = ReadReplyTimeout(registryPath);

    NTSTATUS status = SharedRecordCreate();
    if (NT_SUCCESS(status))
        status = StatePageCreate();
    if (NT_SUCCESS(status))
        status = RequestQueueStart();
    if (NT_SUCCESS(status))
        status = IoCreateDevice(driver, 0, &DeviceName, WATCH_DEVICE_TYPE, FILE_DEVICE_SECURE_OPEN, FALSE,
                                &g_state.device);
    if (NT_SUCCESS(status)) {
        // The control codes also check who sends them; a descriptor the host
        // cannot apply leaves that check as the only guard, so go on.
        NTSTATUS secured = RestrictDeviceAccess(g_state.device);
        if (!NT_SUCCESS(secured))
            HM_TRACE("device access not restricted, status %08lx\n", (unsigned long)secured);
        g_state.device->Flags |= DO_BUFFERED_IO;
        g_state.device->Flags &= ~DO_DEVICE_INITIALIZING;
        status = IoCreateSymbolicLink(&GlobalLinkName, &DeviceName);
        g_state.globalLink = NT_SUCCESS(status);
    }
    if (NT_SUCCESS(status))
        g_state.localLink = NT_SUCCESS(IoCreateSymbolicLink(&LocalLinkName, &DeviceName));
    if (!NT_SUCCESS(status)) {
        HM_TRACE("load failed, status %08lx\n", (unsigned long)status);
        DriverUnload(driver);
        return status;
    }

    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCleanupClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCleanupClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    driver->DriverUnload = DriverUnload;
    HM_TRACE("loaded, reply time-out %lu ms\n", (unsigned long)g_state.replyTimeoutMs);
    return STATUS_SUCCESS;
}
