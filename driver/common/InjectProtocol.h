// The injection control code of the stand-in driver: a tool hands it one
// operation as if the driver had intercepted it, and gets back the verdict.
// Shared by the driver and the injector; fixed-width types only, no standard
// library.
#pragma once

#include "driver/common/WatchProtocol.h"

// Function numbers above 0x800 belong to the driver, not to the program.
#define IOCTL_WATCH_INJECT WATCH_CTL_CODE(0x801u) // 0x83052004

// Text capacities of an injected operation, terminating NUL included. They are
// larger than the shared record's fields so that the driver's cutting can be
// exercised; a field without a NUL is taken whole.
#define WATCH_INJECT_PARAM1_CHARS  2048
#define WATCH_INJECT_PARAM2_CHARS  512
#define WATCH_INJECT_PROCESS_CHARS 260

#pragma pack(push, 1)
typedef struct WATCH_INJECT_OPERATION {
    uint32_t kind;                                    // 0 OpenFile, 1 RegSetValue, 2 Execute
    uint32_t processId;                               // requesting process
    uint16_t processName[WATCH_INJECT_PROCESS_CHARS]; // UTF-16 image name
    uint16_t param1[WATCH_INJECT_PARAM1_CHARS];       // UTF-16
    uint16_t param2[WATCH_INJECT_PARAM2_CHARS];       // UTF-16; kind 1 only
} WATCH_INJECT_OPERATION;

// How the verdict of an injected operation came about.
#define WATCH_OUTCOME_NOT_MATCHED 0u // no rule matched or monitoring is off: Accept
#define WATCH_OUTCOME_ANSWERED    1u // the program answered
#define WATCH_OUTCOME_TIMED_OUT   2u // the program did not answer in time: preset verdict
#define WATCH_OUTCOME_CUT_SHORT   3u // monitoring stopped before the answer: preset verdict

typedef struct WATCH_INJECT_RESULT {
    uint32_t verdict;  // WATCH_VERDICT_*
    uint32_t matched;  // 1 when a rule matched, else 0
    uint32_t ruleId;   // identity of the matched rule, 0 when none matched
    uint32_t outcome;  // WATCH_OUTCOME_*
} WATCH_INJECT_RESULT;
#pragma pack(pop)

#ifdef __cplusplus
#define WATCH_STATIC_ASSERT static_assert
#else
#define WATCH_STATIC_ASSERT _Static_assert
#endif
WATCH_STATIC_ASSERT(sizeof(WATCH_INJECT_OPERATION) == 5648, "inject operation size");
WATCH_STATIC_ASSERT(__builtin_offsetof(WATCH_INJECT_OPERATION, processName) == 8, "process name offset");
WATCH_STATIC_ASSERT(__builtin_offsetof(WATCH_INJECT_OPERATION, param1) == 528, "param1 offset");
WATCH_STATIC_ASSERT(__builtin_offsetof(WATCH_INJECT_OPERATION, param2) == 4624, "param2 offset");
WATCH_STATIC_ASSERT(sizeof(WATCH_INJECT_RESULT) == 16, "inject result size");
WATCH_STATIC_ASSERT(IOCTL_WATCH_INJECT == 0x83052004u, "inject control code");
