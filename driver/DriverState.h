// The state of the stand-in driver, shared by its modules. One instance,
// zero-initialised in the image (there is no C runtime to run constructors).
#pragma once

#include <ntifs.h>
#include "driver/common/WatchProtocol.h"
#include "driver/common/InjectProtocol.h"
#include "driver/common/StateProtocol.h"

#define HM_POOL_TAG 0x6D727248u // "Hrrm" in pool listings
#define HM_TRACE(...) DbgPrint("Harrowmere: " __VA_ARGS__)

// Default time the program has to answer a request, in milliseconds; the
// service key's value "ReplyTimeout" overrides it.
#define HM_DEFAULT_REPLY_TIMEOUT_MS 60000u

// The program's two events, duplicated into the driver's process. Reference
// counted: the request thread keeps a link alive while it waits on it, even
// when START or STOP replace or drop it in the meantime.
typedef struct PROGRAM_LINK {
    volatile LONG refs;
    HANDLE requestEvent;
    HANDLE doneEvent;
    // A request ended (time-out, stop) before the program set the done event:
    // the program may still write into the record, so the next request first
    // waits for that late answer. Touched only by the request thread.
    BOOLEAN awaitingAnswer;
    // The done event is known to be reset: the request thread resets it
    // after passing an answer on, off the requester's road, so the next
    // request need not. Touched only by the request thread.
    BOOLEAN doneClear;
} PROGRAM_LINK;

// One matched operation waiting for its turn with the program. Texts are
// NUL-terminated and may be longer than the record's fields.
typedef struct PENDING_OPERATION {
    uint32_t kind;
    uint32_t processId;
    uint32_t ruleId;
    ULONG session;    // the monitoring session it was matched in
    // Set when the dispatch routine already put it to the program: the link
    // it was asked on (a reference) and the answer's deadline.
    PROGRAM_LINK* link;
    LONGLONG deadline;
    WCHAR processName[WATCH_INJECT_PROCESS_CHARS + 1];
    WCHAR param1[WATCH_INJECT_PARAM1_CHARS + 1];
    WCHAR param2[WATCH_INJECT_PARAM2_CHARS + 1];
} PENDING_OPERATION;

typedef struct DRIVER_STATE {
    PDEVICE_OBJECT device;
    BOOLEAN globalLink; // which symbolic links exist
    BOOLEAN localLink;
    ULONG replyTimeoutMs;

    // The shared record: one section, the driver's own view of it, and the
    // last view mapped into a caller (reused when the same process asks again).
    HANDLE section;
    WATCH_SHARED_RECORD* record;
    HANDLE mappedProcess;
    ULONG mappedPid;
    ULONG_PTR mappedAddress;

    // The state page the sensors read (StatePage.c): its section and the
    // driver's own view, written under `lock`.
    HANDLE stateSection;
    volatile WATCH_STATE_PAGE* statePage;

    // Guards the fields below it up to the queue. Held only for memory work,
    // never across a system call that may block.
    FAST_MUTEX lock;
    ULONG programPid; // kept for diagnosis: its requests are asked like any other
    UCHAR* image; // validated rule table image, a private copy
    ULONG imageSize;
    void* imageIndex; // its index, in the same allocation; NULL when it has no record
    PFILE_OBJECT imageOwner; // the open device handle that uploaded the image
    BOOLEAN started;
    ULONG session;        // advanced by every STOP: requests of older sessions are not asked
    // The open device handle that holds the control session: the first to
    // send a control code while none did, until it sends STOP or is closed.
    PFILE_OBJECT owner;
    PROGRAM_LINK* link;

    // Matched operations waiting for the request thread (pended IRPs).
    KSPIN_LOCK queueLock;
    LIST_ENTRY queue;
    // The record is in use by the request being asked, from its start (by
    // the request thread, or by the dispatch routine when nothing waits) to
    // its end (by the request thread). Under queueLock.
    BOOLEAN asking;
    PIRP startedRequest; // put to the program by the dispatch routine, not yet taken by the request thread
    HANDLE workEvent; // auto-reset: the queue has work, or the driver unloads
    HANDLE cutEvent;  // auto-reset: a STOP wants the waiting request to end
    HANDLE worker;
    volatile LONG unloading;
} DRIVER_STATE;

extern DRIVER_STATE g_state;
