// The sensor's own decision: from a private copy of the driver's current rule
// table image (validated and indexed here with the driver's own matcher), it
// lets through at once every operation that no rule can match, and leaves
// the others, the candidates, to the driver, whose verdict and rule stay the
// only ones. Nothing here calls the driver: the copy comes through a fetch
// function, so that the decision can be tried on any table.
#pragma once

#include "driver/common/InjectProtocol.h"
#include "driver/common/StateProtocol.h"

#include <windows.h>

namespace sensor {

// Room for a SID as text: "S-1-5-21-" and up to 15 sub-authorities.
const size_t kSidChars = 184;

// A private copy of one generation of the driver's table. Opaque.
struct LocalTable;

// Builds the copy of a table the driver answered with: `header` and, when
// header.imageSize is not 0, that many bytes of image. Null when the image is
// malformed (it is checked exactly as the driver checks an image it is
// given, so a torn or damaged copy is never matched) or memory is short.
LocalTable* CreateLocalTable(const WATCH_TABLE_HEADER& header, const uint8_t* image);
void FreeLocalTable(LocalTable* table);
uint32_t LocalTableGeneration(const LocalTable* table);

// True when a rule of `table` can match the operation, so that the driver
// must be asked; false when none can (or the table says nothing matches:
// monitoring off, no image). A value set is matched in every spelling of its
// key with `userSid` as the current user's, as the driver matches it; with
// `userSid` null every value set is a candidate. An operation whose texts are
// not terminated in their fields is a candidate too.
bool IsCandidate(const LocalTable* table, const WATCH_INJECT_OPERATION* op, const wchar_t* userSid);

// Copies the driver's answer to IOCTL_WATCH_GET_TABLE into `buffer`
// (`capacity` bytes); returns the bytes written, 0 when the call failed.
typedef uint32_t (*FetchTableFn)(void* context, void* buffer, uint32_t capacity);

// The process's current copy, shared by its threads. Zero-initialised
// (a global needs no constructor). A copy being used by one thread stays
// valid when another replaces it: each use holds a reference.
struct TableCache {
    LocalTable* current;
    volatile LONG lock;     // a spin lock held only to take or swap `current`
    uint32_t capacityHint;  // bytes the last fetch needed
    uint32_t failedGeneration; // a generation whose table could not be had,
    bool failed;               // so that it is not fetched again for each operation

    // The copy for `generation`, referenced: the cached one when it is of
    // that generation, else fetched afresh (and cached, whatever generation
    // the driver answered with). Null when it cannot be had: ask the driver.
    LocalTable* Acquire(uint32_t generation, FetchTableFn fetch, void* context);
    void Release(LocalTable* table);
    // Drops the cached copy (references held elsewhere stay valid).
    void Clear();
};

enum class LocalAnswer { Accept, Ask };

// The in-process decision for one operation. `page` is the driver's state
// page as this process sees it (null when it has none): Accept at once when
// the page says nothing can match (monitoring off, no image), else the
// table of the page's generation decides between Accept and Ask. Ask
// whenever something is not known: no page, a page that is not the
// driver's, a retired page, a table that cannot be had.
LocalAnswer DecideLocally(const volatile WATCH_STATE_PAGE* page, TableCache* cache, FetchTableFn fetch,
                          void* context, const WATCH_INJECT_OPERATION* op, const wchar_t* userSid);

} // namespace sensor
