// The state page shared read-only with the sensors.
#include "driver/StatePage.h"
#include "driver/SharedRecord.h"

_Static_assert(sizeof(WATCH_STATE_PAGE) <= SHARED_PAGE_SIZE, "state page fits the section");

NTSTATUS StatePageCreate(void)
{
    PVOID base = NULL;
    NTSTATUS status = CreateSharedPage(&g_state.stateSection, &base);
    if (!NT_SUCCESS(status))
        return status;
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
    // Read-only: a sensor can read the state, never change it.
    PVOID base = NULL;
    NTSTATUS status = MapSharedPageInto(g_state.stateSection, pid, below4GB, PAGE_READONLY, &base, NULL);
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
