// The program's monitoring session.
#include "driver/WatchSession.h"
#include "driver/SharedRecord.h"
#include "driver/StatePage.h"
#include "driver/UserSid.h"
#include "driver/common/KeySpellings.h"
#include "driver/common/MatchIndex.h"
#include "driver/common/Matcher.h"

// The spellings of one key name while it is matched, under the state's lock.
static WCHAR g_keySpellings[KEY_SPELLING_SCRATCH_CHARS(WATCH_INJECT_PARAM1_CHARS + 1, USER_SID_CHARS)];

NTSTATUS SessionSetPid(const void* input, ULONG length)
{
    if (!input || length < sizeof(uint32_t))
        return STATUS_INVALID_PARAMETER;
    ULONG pid = *(const uint32_t*)input;
    ExAcquireFastMutex(&g_state.lock);
    g_state.programPid = pid;
    ExReleaseFastMutex(&g_state.lock);
    return STATUS_SUCCESS;
}

// Takes the image out of the state (lock held); the caller frees it.
static UCHAR* DetachImage(void)
{
    UCHAR* image = g_state.image;
    g_state.image = NULL;
    g_state.imageSize = 0;
    g_state.imageIndex = NULL;
    g_state.imageOwner = NULL;
    if (image)
        StatePagePublish();
    return image;
}

NTSTATUS SessionClaim(PFILE_OBJECT file)
{
    if (!file)
        return STATUS_ACCESS_DENIED;
    NTSTATUS status = STATUS_SUCCESS;
    UCHAR* stale = NULL;
    ExAcquireFastMutex(&g_state.lock);
    if (!g_state.owner) {
        g_state.owner = file;
        if (g_state.imageOwner != file)
            stale = DetachImage();
    } else if (g_state.owner != file) {
        status = STATUS_ACCESS_DENIED;
    }
    ExReleaseFastMutex(&g_state.lock);
    if (stale)
        ExFreePoolWithTag(stale, HM_POOL_TAG);
    return status;
}

NTSTATUS SessionSetRules(PFILE_OBJECT file, const void* input, ULONG length)
{
    if (!input || length == 0 || MatchValidateImage((const uint8_t*)input, length) != 0)
        return STATUS_INVALID_PARAMETER;
    // One allocation holds the copy and, from the next 8-byte boundary, its
    // index (at most twice the image), built before the lock is taken.
    ULONG indexAt = (length + 7u) & ~7u;
    ULONG indexSize = MatchIndexSize((const uint8_t*)input, length);
    if (indexAt < length || indexAt + indexSize < indexAt)
        return STATUS_INSUFFICIENT_RESOURCES;
    UCHAR* copy = (UCHAR*)ExAllocatePoolWithTag(NonPagedPool, indexAt + indexSize, HM_POOL_TAG);
    if (!copy)
        return STATUS_INSUFFICIENT_RESOURCES;
    RtlCopyMemory(copy, input, length);
    void* index = NULL;
    if (indexSize != 0 && MatchBuildIndex(copy, length, copy + indexAt, indexSize) == 0)
        index = copy + indexAt;
    ExAcquireFastMutex(&g_state.lock);
    UCHAR* old = g_state.image;
    g_state.image = copy;
    g_state.imageSize = length;
    g_state.imageIndex = index;
    g_state.imageOwner = file;
    StatePagePublish();
    ExReleaseFastMutex(&g_state.lock);
    if (old)
        ExFreePoolWithTag(old, HM_POOL_TAG);
    return STATUS_SUCCESS;
}

void LinkRelease(PROGRAM_LINK* link)
{
    if (!link || InterlockedDecrement(&link->refs) != 0)
        return;
    ZwClose(link->requestEvent);
    ZwClose(link->doneEvent);
    ExFreePoolWithTag(link, HM_POOL_TAG);
}

// Number of handles open on the object behind `handle`; 0 when unknown.
static ULONG HandleCountOf(HANDLE handle)
{
    PUBLIC_OBJECT_BASIC_INFORMATION info;
    ULONG length = 0;
    if (!NT_SUCCESS(ZwQueryObject(handle, ObjectBasicInformation, &info, sizeof(info), &length)))
        return 0;
    return info.HandleCount;
}

// Whether `handle` names an event object.
static BOOLEAN IsEvent(HANDLE handle)
{
    union {
        PUBLIC_OBJECT_TYPE_INFORMATION info;
        UCHAR bytes[sizeof(PUBLIC_OBJECT_TYPE_INFORMATION) + 64 * sizeof(WCHAR)];
    } type;
    ULONG length = 0;
    if (!NT_SUCCESS(ZwQueryObject(handle, ObjectTypeInformation, &type, sizeof(type), &length)))
        return FALSE;
    UNICODE_STRING event = RTL_CONSTANT_STRING(L"Event");
    return RtlEqualUnicodeString(&type.info.TypeName, &event, TRUE);
}

// Duplicates one of the program's event handles into the driver's process.
static NTSTATUS DuplicateEvent(HANDLE process, uint32_t value, HANDLE* event)
{
    *event = NULL;
    if (value == 0)
        return STATUS_INVALID_HANDLE;
    NTSTATUS status = ZwDuplicateObject(process, (HANDLE)(ULONG_PTR)value, ZwCurrentProcess(), event,
                                        0, OBJ_KERNEL_HANDLE, DUPLICATE_SAME_ACCESS);
    if (NT_SUCCESS(status) && !IsEvent(*event)) {
        ZwClose(*event);
        *event = NULL;
        status = STATUS_OBJECT_TYPE_MISMATCH;
    }
    return status;
}

// A link holding duplicates of the events named in the record, or NULL.
static PROGRAM_LINK* OpenLink(ULONG callerPid, NTSTATUS* status)
{
    volatile WATCH_SHARED_RECORD* record = g_state.record;
    uint32_t requestValue = record->requestEvent;
    uint32_t doneValue = record->doneEvent;

    HANDLE process = NULL;
    *status = OpenProcessById(callerPid, PROCESS_DUP_HANDLE, &process);
    if (!NT_SUCCESS(*status))
        return NULL;

    HANDLE request = NULL, done = NULL;
    *status = DuplicateEvent(process, requestValue, &request);
    if (NT_SUCCESS(*status))
        *status = DuplicateEvent(process, doneValue, &done);
    ZwClose(process);
    PROGRAM_LINK* link = NULL;
    if (NT_SUCCESS(*status)) {
        link = (PROGRAM_LINK*)ExAllocatePoolWithTag(NonPagedPool, sizeof(PROGRAM_LINK), HM_POOL_TAG);
        if (!link)
            *status = STATUS_INSUFFICIENT_RESOURCES;
    }
    if (!link) {
        if (request)
            ZwClose(request);
        if (done)
            ZwClose(done);
        return NULL;
    }
    RtlZeroMemory(link, sizeof(*link));
    link->refs = 1;
    link->requestEvent = request;
    link->doneEvent = done;
    return link;
}

NTSTATUS SessionStart(ULONG callerPid)
{
    if (!g_state.record)
        return STATUS_DEVICE_NOT_READY;
    ExAcquireFastMutex(&g_state.lock);
    PROGRAM_LINK* current = g_state.link;
    if (current)
        InterlockedIncrement(&current->refs);
    ExReleaseFastMutex(&g_state.lock);

    // Whether START hands over the events of the current link again (a
    // restart after a rule reload): duplicating the same event once more
    // raises the current link's handle count by exactly one. The program's
    // thread is inside this call, so nothing else opens or closes them now.
    ULONG before = current ? HandleCountOf(current->requestEvent) : 0;
    NTSTATUS status;
    PROGRAM_LINK* fresh = OpenLink(callerPid, &status);
    if (!fresh) {
        LinkRelease(current);
        return status;
    }
    BOOLEAN same = current && before != 0 && HandleCountOf(current->requestEvent) == before + 1;

    PROGRAM_LINK* unused;
    ExAcquireFastMutex(&g_state.lock);
    // The same events keep their link, so that a request the program is
    // still deciding is waited for before the record is reused.
    if (same && g_state.link == current) {
        unused = fresh;
    } else {
        unused = g_state.link;
        g_state.link = fresh;
    }
    g_state.started = TRUE;
    StatePagePublish();
    ExReleaseFastMutex(&g_state.lock);
    LinkRelease(unused);
    LinkRelease(current);
    return STATUS_SUCCESS;
}

void SessionStop(void)
{
    ExAcquireFastMutex(&g_state.lock);
    g_state.started = FALSE;
    g_state.owner = NULL;
    ++g_state.session;
    StatePagePublish();
    ExReleaseFastMutex(&g_state.lock);
    ZwSetEvent(g_state.cutEvent, NULL);
}

void SessionCloseFile(PFILE_OBJECT file)
{
    ExAcquireFastMutex(&g_state.lock);
    BOOLEAN owner = file && g_state.owner == file;
    // Its rule identities mean nothing once the program that made them is gone.
    UCHAR* image = (file && g_state.imageOwner == file) ? DetachImage() : NULL;
    ExReleaseFastMutex(&g_state.lock);
    if (image)
        ExFreePoolWithTag(image, HM_POOL_TAG);
    // A program that ends without STOP must not leave requests waiting for
    // answers that cannot come.
    if (owner)
        SessionStop();
}

BOOLEAN SessionMatch(uint32_t kind, const WCHAR* param1, const WCHAR* param2, uint32_t* ruleId,
                     ULONG* session)
{
    BOOLEAN matched = FALSE;
    ExAcquireFastMutex(&g_state.lock);
    if (g_state.started && g_state.image) {
        matched = MatchOperationIndexed(g_state.image, g_state.imageSize, g_state.imageIndex, kind,
                                        param1, param2, ruleId) == 1;
        *session = g_state.session;
    }
    ExReleaseFastMutex(&g_state.lock);
    return matched;
}

BOOLEAN SessionMatchKey(const WCHAR* key, const WCHAR* value, const WCHAR* userSid, uint32_t* ruleId,
                        ULONG* session)
{
    BOOLEAN matched = FALSE;
    ExAcquireFastMutex(&g_state.lock);
    if (g_state.started && g_state.image) {
        matched = MatchKeyOperation(g_state.image, g_state.imageSize, g_state.imageIndex, key, value, userSid,
                                    g_keySpellings, sizeof(g_keySpellings) / sizeof(g_keySpellings[0]), ruleId) == 1;
        *session = g_state.session;
    }
    ExReleaseFastMutex(&g_state.lock);
    return matched;
}

BOOLEAN SessionIsCurrent(ULONG session)
{
    ExAcquireFastMutex(&g_state.lock);
    BOOLEAN current = g_state.started && g_state.session == session && !g_state.unloading;
    ExReleaseFastMutex(&g_state.lock);
    return current;
}

PROGRAM_LINK* SessionAcquireLink(ULONG session)
{
    PROGRAM_LINK* link = NULL;
    ExAcquireFastMutex(&g_state.lock);
    if (g_state.started && g_state.session == session && !g_state.unloading && g_state.link) {
        link = g_state.link;
        InterlockedIncrement(&link->refs);
    }
    ExReleaseFastMutex(&g_state.lock);
    return link;
}

void SessionShutdown(void)
{
    SessionStop();
    ExAcquireFastMutex(&g_state.lock);
    PROGRAM_LINK* link = g_state.link;
    g_state.link = NULL;
    UCHAR* image = DetachImage();
    ExReleaseFastMutex(&g_state.lock);
    LinkRelease(link);
    if (image)
        ExFreePoolWithTag(image, HM_POOL_TAG);
}
