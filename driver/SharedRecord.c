// The request record shared with the program.
#include "driver/SharedRecord.h"


// The record's layout as this C compiler sees it (the protocol header checks
// it for C++ only).
_Static_assert(sizeof(WATCH_SHARED_RECORD) == 2600, "shared record size");
_Static_assert(__builtin_offsetof(WATCH_SHARED_RECORD, param2) == 2050, "param2 offset");
_Static_assert(__builtin_offsetof(WATCH_SHARED_RECORD, verdict) == 2564, "verdict offset");
_Static_assert(__builtin_offsetof(WATCH_SHARED_RECORD, processName) == 2568, "process name offset");
_Static_assert(__builtin_offsetof(WATCH_SHARED_RECORD, requestEvent) == 2592, "request event offset");
_Static_assert(sizeof(WATCH_SHARED_RECORD) <= SHARED_PAGE_SIZE, "record fits the section");

NTSTATUS CreateSharedPage(HANDLE* section, PVOID* base)
{
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, NULL, OBJ_KERNEL_HANDLE, NULL, NULL);
    LARGE_INTEGER size;
    size.QuadPart = SHARED_PAGE_SIZE;
    *base = NULL;
    NTSTATUS status = ZwCreateSection(section, SECTION_ALL_ACCESS, &attributes, &size, PAGE_READWRITE, SEC_COMMIT,
                                      NULL);
    if (!NT_SUCCESS(status)) {
        *section = NULL;
        return status;
    }
    SIZE_T viewSize = 0;
    status = ZwMapViewOfSection(*section, ZwCurrentProcess(), base, 0, 0, NULL, &viewSize, ViewUnmap, 0,
                                PAGE_READWRITE);
    if (!NT_SUCCESS(status)) {
        ZwClose(*section);
        *section = NULL;
        *base = NULL;
    }
    return status;
}

NTSTATUS OpenProcessById(ULONG pid, ACCESS_MASK access, HANDLE* process)
{
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, NULL, OBJ_KERNEL_HANDLE, NULL, NULL);
    CLIENT_ID client;
    client.UniqueProcess = (HANDLE)(ULONG_PTR)pid;
    client.UniqueThread = NULL;
    *process = NULL;
    return ZwOpenProcess(process, access, &attributes, &client);
}

NTSTATUS MapSharedPageInto(HANDLE section, ULONG pid, BOOLEAN below4GB, ULONG protect, PVOID* base,
                           HANDLE* keepProcess)
{
    *base = NULL;
    HANDLE process = NULL;
    NTSTATUS status = OpenProcessById(pid, PROCESS_ALL_ACCESS, &process);
    if (!NT_SUCCESS(status))
        return status;
    SIZE_T viewSize = 0;
    // One high-order zero bit keeps the view below 2 GB for 32-bit callers.
    status = ZwMapViewOfSection(section, process, base, below4GB ? 1 : 0, 0, NULL, &viewSize, ViewUnmap, 0,
                                protect);
    if (NT_SUCCESS(status) && keepProcess)
        *keepProcess = process;
    else
        ZwClose(process);
    if (!NT_SUCCESS(status))
        *base = NULL;
    return status;
}

NTSTATUS SharedRecordCreate(void)
{
    PVOID base = NULL;
    NTSTATUS status = CreateSharedPage(&g_state.section, &base);
    g_state.record = (WATCH_SHARED_RECORD*)base;
    return status;
}

void SharedRecordDestroy(void)
{
    if (g_state.mappedProcess) {
        ZwClose(g_state.mappedProcess);
        g_state.mappedProcess = NULL;
    }
    if (g_state.record) {
        ZwUnmapViewOfSection(ZwCurrentProcess(), g_state.record);
        g_state.record = NULL;
    }
    if (g_state.section) {
        ZwClose(g_state.section);
        g_state.section = NULL;
    }
}

// Whether the process of the last view still runs (and so still has the view).
static BOOLEAN MappedProcessAlive(void)
{
    LARGE_INTEGER now;
    now.QuadPart = 0;
    return ZwWaitForSingleObject(g_state.mappedProcess, FALSE, &now) == STATUS_TIMEOUT;
}

NTSTATUS SharedRecordMapInto(ULONG pid, BOOLEAN below4GB, ULONG_PTR* address)
{
    *address = 0;
    if (!g_state.section)
        return STATUS_INSUFFICIENT_RESOURCES;
    if (g_state.mappedProcess && g_state.mappedPid == pid &&
        (!below4GB || g_state.mappedAddress <= 0xFFFFFFFFu) && MappedProcessAlive()) {
        *address = g_state.mappedAddress;
        return STATUS_SUCCESS;
    }

    PVOID base = NULL;
    HANDLE process = NULL;
    NTSTATUS status = MapSharedPageInto(g_state.section, pid, below4GB, PAGE_READWRITE, &base, &process);
    if (!NT_SUCCESS(status))
        return status;
    if (g_state.mappedProcess)
        ZwClose(g_state.mappedProcess);
    g_state.mappedProcess = process;
    g_state.mappedPid = pid;
    g_state.mappedAddress = (ULONG_PTR)base;
    *address = (ULONG_PTR)base;
    return STATUS_SUCCESS;
}

ULONG CopyTextCut(uint16_t* target, ULONG capacity, const WCHAR* source)
{
    ULONG count = 0;
    while (count + 1 < capacity && source[count]) {
        target[count] = source[count];
        ++count;
    }
    target[count] = 0;
    return count;
}

ULONG NarrowTextCut(char* target, ULONG capacity, const WCHAR* source)
{
    ULONG used = 0;
    const WCHAR* p = source;
    while (*p) {
        // A surrogate pair is one character and is converted (or cut) whole.
        ULONG units = (p[0] >= 0xD800 && p[0] <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) ? 2 : 1;
        ULONG bytes = 0;
        if (!NT_SUCCESS(RtlUnicodeToMultiByteSize(&bytes, (PWCH)p, units * sizeof(WCHAR))) ||
            bytes == 0 || used + bytes > capacity - 1)
            break;
        ULONG written = 0;
        if (!NT_SUCCESS(RtlUnicodeToMultiByteN(target + used, bytes, &written, (PCWCH)p,
                                               units * sizeof(WCHAR))))
            break;
        used += written;
        p += units;
    }
    target[used] = 0;
    return used;
}

void SharedRecordFill(const PENDING_OPERATION* op)
{
    WATCH_SHARED_RECORD* record = g_state.record;
    // Clear the text fields whole, so no remnant of an earlier request
    // follows a shorter text.
    RtlZeroMemory(record->param1, sizeof(record->param1));
    RtlZeroMemory(record->param2, sizeof(record->param2));
    RtlZeroMemory(record->processName, sizeof(record->processName));
    record->verdict = WATCH_VERDICT_ACCEPT;
    CopyTextCut(record->param1, WATCH_PARAM1_CHARS, op->param1);
    if (op->kind == 1)
        CopyTextCut(record->param2, WATCH_PARAM2_CHARS, op->param2);
    record->kind = (uint16_t)op->kind;
    NarrowTextCut(record->processName, WATCH_PROCESS_CHARS, op->processName);
    record->processId = op->processId;
    record->ruleId = op->ruleId;
}
