// The state page shared read-only with the sensors.
#include "driver/StatePage.h"

#define STATE_SECTION_SIZE 4096u

_Static_assert(sizeof(WATCH_STATE_PAGE) <= STATE_SECTION_SIZE, "state page fits the section");

NTSTATUS StatePageCreate(void)
{
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, NULL, OBJ_KERNEL_HANDLE, NULL, NULL);
    LARGE_INTEGER size;
    size.QuadPart = STATE_SECTION_SIZE;
    NTSTATUS status = ZwCreateSection(&g_state.stateSection, SECTION_ALL_ACCESS, &attributes, &size,
                                      PAGE_READWRITE, SEC_COMMIT, NULL);
    if (!NT_SUCCESS(status)) {
        g_state.stateSection = NULL;
        return status;
    }
    PVOID base = NULL;
    SIZE_T viewSize = 0;
    status = ZwMapViewOfSection(g_state.stateSection, ZwCurrentProcess(), &base, 0, 0, NULL, &viewSize,
                                ViewUnmap, 0, PAGE_READWRITE);
    if (!NT_SUCCESS(status)) {
        ZwClose(g_state.stateSection);
        g_state.stateSection = NULL;
        return status;
    }
    g_state.statePage = (volatile WATCH_STATE_PAGE*)base;
    g_state.statePage->magic = WATCH_STATE_MAGIC;
    return STATUS_SUCCESS;
}

void StatePageDestroy(void)
{
    if (g_state.statePage) {
        g_state.statePage->matching = 0;
        g_state.statePage->retired = 1;
        __atomic_thread_fence(__ATOMIC_SEQ_CST);
        g_state.statePage->generation = g_state.statePage->generation + 1;
        ZwUnmapViewOfSection(ZwCurrentProcess(), (PVOID)g_state.statePage);
        g_state.statePage = NULL;
    }
    if (g_state.stateSection) {
        ZwClose(g_state.stateSection);
        g_state.stateSection = NULL;
    }
}

void StatePagePublish(void)
{
    volatile WATCH_STATE_PAGE* page = g_state.statePage;
    if (!page)
        return;
    page->matching = (g_state.started && g_state.image) ? 1u : 0u;
    // A sensor that sees the new generation sees the new state with it.
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
    page->generation = page->generation + 1;
}

void StatePageCountInject(void)
{
    if (g_state.statePage)
        InterlockedIncrement((volatile LONG*)&g_state.statePage->injected);
}

NTSTATUS StatePageMapInto(ULONG pid, BOOLEAN below4GB, ULONG_PTR* address)
{
    *address = 0;
    if (!g_state.stateSection)
        return STATUS_DEVICE_NOT_READY;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, NULL, OBJ_KERNEL_HANDLE, NULL, NULL);
    CLIENT_ID client;
    client.UniqueProcess = (HANDLE)(ULONG_PTR)pid;
    client.UniqueThread = NULL;
    HANDLE process = NULL;
    NTSTATUS status = ZwOpenProcess(&process, PROCESS_ALL_ACCESS, &attributes, &client);
    if (!NT_SUCCESS(status))
        return status;
    PVOID base = NULL;
    SIZE_T viewSize = 0;
    // Read-only: a sensor can read the state, never change it. One
    // high-order zero bit keeps the view below 2 GB for 32-bit callers.
    status = ZwMapViewOfSection(g_state.stateSection, process, &base, below4GB ? 1 : 0, 0, NULL, &viewSize,
                                ViewUnmap, 0, PAGE_READONLY);
    ZwClose(process);
    if (NT_SUCCESS(status))
        *address = (ULONG_PTR)base;
    return status;
}

ULONG StatePageCopyTable(void* output, ULONG outLength)
{
    if (!output || outLength < sizeof(WATCH_TABLE_HEADER))
        return 0;
    WATCH_TABLE_HEADER header;
    RtlZeroMemory(&header, sizeof(header));
    ULONG written = sizeof(header);
    ExAcquireFastMutex(&g_state.lock);
    header.generation = g_state.statePage ? g_state.statePage->generation : 0;
    header.matching = (g_state.started && g_state.image) ? 1u : 0u;
    header.imageSize = g_state.image ? g_state.imageSize : 0;
    if (header.imageSize && outLength - sizeof(header) >= header.imageSize) {
        RtlCopyMemory((UCHAR*)output + sizeof(header), g_state.image, header.imageSize);
        written += header.imageSize;
    }
    ExReleaseFastMutex(&g_state.lock);
    RtlCopyMemory(output, &header, sizeof(header));
    return written;
}
