// The copy of the driver's table and the decision made from it. No C++
// runtime, no exceptions: memory comes from the system directly.
#include "sensor/LocalDecision.h"

#include "driver/common/KeySpellings.h"
#include "driver/common/MatchIndex.h"
#include "driver/common/Matcher.h"

namespace sensor {

struct LocalTable {
    LONG refs;
    uint32_t generation;
    uint32_t matching;
    uint32_t imageSize;
    const uint8_t* image; // null when the driver had none
    const void* index;    // null when the image has no record to index
    SIZE_T bytes;         // the whole allocation, this header first
};

namespace {

// Room for the image at a process's first fetch: a table of a few thousand
// rules fits, so it takes one call (the room is reserved, not written).
const uint32_t kFirstCapacity = 512 * 1024;
// The spellings of one key name while it is matched: the driver's room.
const uint32_t kScratchChars = KEY_SPELLING_SCRATCH_CHARS(WATCH_INJECT_PARAM1_CHARS + 1, kSidChars);

void* Allocate(SIZE_T bytes)
{
    return VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void Free(void* block)
{
    if (block)
        VirtualFree(block, 0, MEM_RELEASE);
}

SIZE_T AlignUp(SIZE_T n)
{
    return (n + 15) & ~SIZE_T(15);
}

bool Terminated(const uint16_t* field, size_t chars)
{
    for (size_t i = 0; i < chars; ++i)
        if (!field[i])
            return true;
    return false;
}

void Lock(volatile LONG* lock)
{
    while (InterlockedCompareExchange(lock, 1, 0) != 0)
        SwitchToThread();
}

void Unlock(volatile LONG* lock)
{
    InterlockedExchange(lock, 0);
}

// Drops one reference; frees the copy with the last (outside the lock).
bool DropReference(LocalTable* table)
{
    return table && --table->refs == 0;
}

} // namespace

LocalTable* CreateLocalTable(const WATCH_TABLE_HEADER& header, const uint8_t* image)
{
    uint32_t size = header.imageSize;
    if (size && (!image || MatchValidateImage(image, size) != 0))
        return nullptr;
    uint32_t indexSize = size ? MatchIndexSize(image, size) : 0;
    SIZE_T imageAt = AlignUp(sizeof(LocalTable));
    SIZE_T indexAt = AlignUp(imageAt + size);
    SIZE_T bytes = indexAt + indexSize;
    uint8_t* block = static_cast<uint8_t*>(Allocate(bytes));
    if (!block)
        return nullptr;
    LocalTable* table = reinterpret_cast<LocalTable*>(block);
    table->refs = 1;
    table->generation = header.generation;
    table->matching = header.matching;
    table->imageSize = size;
    table->image = nullptr;
    table->index = nullptr;
    table->bytes = bytes;
    if (size) {
        uint8_t* copy = block + imageAt;
        for (uint32_t i = 0; i < size; ++i)
            copy[i] = image[i];
        table->image = copy;
        if (indexSize && MatchBuildIndex(copy, size, block + indexAt, indexSize) == 0)
            table->index = block + indexAt;
    }
    return table;
}

void FreeLocalTable(LocalTable* table)
{
    Free(table);
}

uint32_t LocalTableGeneration(const LocalTable* table)
{
    return table->generation;
}

bool IsCandidate(const LocalTable* table, const WATCH_INJECT_OPERATION* op, const wchar_t* userSid)
{
    if (!table->matching || !table->image)
        return false;
    if (op->kind >= RULE_IMAGE_KIND_COUNT || !Terminated(op->param1, WATCH_INJECT_PARAM1_CHARS) ||
        !Terminated(op->param2, WATCH_INJECT_PARAM2_CHARS))
        return true;
    const wchar_t* param1 = reinterpret_cast<const wchar_t*>(op->param1);
    if (op->kind != 1)
        return MatchOperationIndexed(table->image, table->imageSize, table->index, op->kind, param1, nullptr,
                                     nullptr) == 1;
    if (!userSid)
        return true;
    // Too large for the stack of every thread a program may call from.
    HANDLE heap = GetProcessHeap();
    wchar_t* scratch = static_cast<wchar_t*>(HeapAlloc(heap, 0, kScratchChars * sizeof(wchar_t)));
    if (!scratch)
        return true;
    bool matched = MatchKeyOperation(table->image, table->imageSize, table->index, param1,
                                     reinterpret_cast<const wchar_t*>(op->param2), userSid, scratch, kScratchChars,
                                     nullptr) == 1;
    HeapFree(heap, 0, scratch);
    return matched;
}

LocalTable* TableCache::Acquire(uint32_t generation, FetchTableFn fetch, void* context)
{
    Lock(&lock);
    LocalTable* table = current;
    if (table && table->generation == generation) {
        ++table->refs;
        Unlock(&lock);
        return table;
    }
    uint32_t capacity = capacityHint > kFirstCapacity ? capacityHint : kFirstCapacity;
    bool failedBefore = failed && failedGeneration == generation;
    Unlock(&lock);
    if (failedBefore)
        return nullptr;

    // Fetched without the lock: the driver call may take a while, and other
    // threads keep deciding with the copy they hold meanwhile.
    // A second try only when the image grew beyond the room of the first.
    LocalTable* fresh = nullptr;
    for (int attempt = 0; attempt < 2; ++attempt) {
        uint32_t room = capacity + sizeof(WATCH_TABLE_HEADER);
        uint8_t* buffer = static_cast<uint8_t*>(Allocate(room));
        if (!buffer)
            break;
        uint32_t got = fetch(context, buffer, room);
        WATCH_TABLE_HEADER header = {};
        if (got >= sizeof(header))
            header = *reinterpret_cast<const WATCH_TABLE_HEADER*>(buffer);
        bool whole = got >= sizeof(header) && got - sizeof(header) == header.imageSize;
        bool grew = got == sizeof(header) && header.imageSize > capacity;
        if (whole)
            fresh = CreateLocalTable(header, header.imageSize ? buffer + sizeof(header) : nullptr);
        Free(buffer);
        if (!grew)
            break;
        capacity = header.imageSize;
    }
    if (!fresh) {
        Lock(&lock);
        failed = true;
        failedGeneration = generation;
        Unlock(&lock);
        return nullptr;
    }

    Lock(&lock);
    LocalTable* old = current;
    current = fresh;
    // Room for some growth, so that a rule or two more costs one call.
    capacityHint = fresh->imageSize + fresh->imageSize / 4 + 4096;
    ++fresh->refs; // one for the cache, one for the caller
    bool freeOld = DropReference(old);
    Unlock(&lock);
    if (freeOld)
        FreeLocalTable(old);
    return fresh;
}

void TableCache::Release(LocalTable* table)
{
    if (!table)
        return;
    Lock(&lock);
    bool last = DropReference(table);
    Unlock(&lock);
    if (last)
        FreeLocalTable(table);
}

void TableCache::Clear()
{
    Lock(&lock);
    LocalTable* old = current;
    current = nullptr;
    failed = false;
    bool last = DropReference(old);
    Unlock(&lock);
    if (last)
        FreeLocalTable(old);
}

LocalAnswer DecideLocally(const volatile WATCH_STATE_PAGE* page, TableCache* cache, FetchTableFn fetch,
                          void* context, const WATCH_INJECT_OPERATION* op, const wchar_t* userSid)
{
    if (!page || page->magic != WATCH_STATE_MAGIC || page->retired)
        return LocalAnswer::Ask;
    // The generation first: the driver writes the state before it advances
    // the generation, so the state read next is at least that generation's.
    uint32_t generation = page->generation;
    MemoryBarrier();
    if (!page->matching)
        return LocalAnswer::Accept;
    LocalTable* table = cache->Acquire(generation, fetch, context);
    if (!table)
        return LocalAnswer::Ask;
    bool candidate = IsCandidate(table, op, userSid);
    cache->Release(table);
    return candidate ? LocalAnswer::Ask : LocalAnswer::Accept;
}

} // namespace sensor
