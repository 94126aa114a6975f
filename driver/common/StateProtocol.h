// What the driver shares with the sensors so that they decide most
// operations without a call: a read-only page with the state of matching,
// and a copy of the rule table image on request. A sensor asks the driver
// only about an operation that a rule of the current image can match; the
// verdict of such a candidate is always the driver's. Fixed-width types
// only, no standard library (the driver and the sensor share it).
#pragma once

#include "driver/common/WatchProtocol.h"

// Open to every handle, like the injection control code.
//   MAP_STATE  maps the state page read-only into the caller; the output
//              receives its address, 4 bytes for a 4-byte output buffer
//              (32-bit callers, the view then lies below 2 GB) and 8 bytes
//              for a larger one.
//   GET_TABLE  copies a WATCH_TABLE_HEADER and, when the output has room
//              for it, the current image behind it; the header alone when
//              it has not (imageSize then says how much room to give).
#define IOCTL_WATCH_MAP_STATE WATCH_CTL_CODE(0x802u) // 0x83052008
#define IOCTL_WATCH_GET_TABLE WATCH_CTL_CODE(0x803u) // 0x8305200c

#define WATCH_STATE_MAGIC 0x74536D48u // "HmSt"

#pragma pack(push, 1)
// Written by the driver only, under its session lock; read by sensors
// without a lock. `generation` advances with every change of what the
// driver matches against (a table set or dropped, monitoring started or
// stopped), so a sensor's copy of the image is current while the
// generation it was fetched in is.
typedef struct WATCH_STATE_PAGE {
    uint32_t magic;      // WATCH_STATE_MAGIC
    uint32_t generation;
    uint32_t matching;   // 1 while monitoring runs with an image: an operation can match
    uint32_t retired;    // 1 once the driver unloads: the page is dead, map afresh
    uint32_t injected;   // operations handed to the injection control code since load (wraps)
    uint32_t reserved[3];
} WATCH_STATE_PAGE;

// The head of GET_TABLE's answer: taken under the same lock as the image.
typedef struct WATCH_TABLE_HEADER {
    uint32_t generation;
    uint32_t matching;
    uint32_t imageSize;  // bytes of the image that follow; 0 when there is none
    uint32_t reserved;
} WATCH_TABLE_HEADER;
#pragma pack(pop)

#ifdef __cplusplus
#define WATCH_STATE_ASSERT static_assert
#else
#define WATCH_STATE_ASSERT _Static_assert
#endif
WATCH_STATE_ASSERT(sizeof(WATCH_STATE_PAGE) == 32, "state page size");
WATCH_STATE_ASSERT(sizeof(WATCH_TABLE_HEADER) == 16, "table header size");
WATCH_STATE_ASSERT(IOCTL_WATCH_MAP_STATE == 0x83052008u, "map state control code");
WATCH_STATE_ASSERT(IOCTL_WATCH_GET_TABLE == 0x8305200cu, "get table control code");
