// The protocol between the program and the Harrowmere driver: the control
// codes and the one request record that the driver maps into the program.
// Shared by the driver, the program and the injector, so it uses only
// fixed-width types and compiles without the C++ standard library.
#pragma once

#include <stdint.h>

#define WATCH_DEVICE_TYPE 0x8305u
#define WATCH_CTL_CODE(function) \
    ((WATCH_DEVICE_TYPE << 16) | (0u /*FILE_ANY_ACCESS*/ << 14) | ((function) << 2) | 0u /*METHOD_BUFFERED*/)

#define IOCTL_WATCH_START      WATCH_CTL_CODE(0u) // 0x83050000
#define IOCTL_WATCH_STOP       WATCH_CTL_CODE(1u) // 0x83050004
#define IOCTL_WATCH_GET_SHARED WATCH_CTL_CODE(2u) // 0x83050008
#define IOCTL_WATCH_SET_PID    WATCH_CTL_CODE(5u) // 0x83050014
#define IOCTL_WATCH_SET_RULES  WATCH_CTL_CODE(7u) // 0x8305001c

// Verdicts; equal to a rule's action values.
#define WATCH_VERDICT_ACCEPT 0u
#define WATCH_VERDICT_FEIGN  1u
#define WATCH_VERDICT_REJECT 2u

#define WATCH_PARAM1_CHARS  1025 // 1024 characters and the NUL
#define WATCH_PARAM2_CHARS  257  // 256 characters and the NUL
#define WATCH_PROCESS_CHARS 16   // 15 characters and the NUL

#pragma pack(push, 1)
typedef struct WATCH_SHARED_RECORD {
    uint16_t param1[WATCH_PARAM1_CHARS];     // UTF-16, NUL-terminated
    uint16_t param2[WATCH_PARAM2_CHARS];     // UTF-16, NUL-terminated; kind 1 only
    uint16_t verdict;                        // preset by the driver, written by the program
    uint16_t kind;                           // 0 OpenFile, 1 RegSetValue, 2 Execute
    char     processName[WATCH_PROCESS_CHARS]; // ANSI code page, NUL-terminated
    uint32_t processId;
    uint32_t ruleId;                         // identity of the matched rule
    uint32_t requestEvent;                   // event handles, written by the program at start
    uint32_t doneEvent;
} WATCH_SHARED_RECORD;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(WATCH_SHARED_RECORD) == 2600, "shared record size");
static_assert(__builtin_offsetof(WATCH_SHARED_RECORD, param2) == 2050, "param2 offset");
static_assert(__builtin_offsetof(WATCH_SHARED_RECORD, verdict) == 2564, "verdict offset");
static_assert(__builtin_offsetof(WATCH_SHARED_RECORD, kind) == 2566, "kind offset");
static_assert(__builtin_offsetof(WATCH_SHARED_RECORD, processName) == 2568, "process name offset");
static_assert(__builtin_offsetof(WATCH_SHARED_RECORD, processId) == 2584, "process id offset");
static_assert(__builtin_offsetof(WATCH_SHARED_RECORD, ruleId) == 2588, "rule id offset");
static_assert(__builtin_offsetof(WATCH_SHARED_RECORD, requestEvent) == 2592, "request event offset");
static_assert(__builtin_offsetof(WATCH_SHARED_RECORD, doneEvent) == 2596, "done event offset");
static_assert(IOCTL_WATCH_SET_RULES == 0x8305001cu, "control code layout");
#endif
