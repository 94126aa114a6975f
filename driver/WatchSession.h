// The program's monitoring session: its process id, the rule table image,
// whether the driver asks, and the program's two events.
#pragma once

#include "driver/DriverState.h"

// IOCTL_WATCH_SET_PID: input is the program's 32-bit process id.
NTSTATUS SessionSetPid(const void* input, ULONG length);

// IOCTL_WATCH_SET_RULES: keeps a copy of a well-formed image; a malformed one
// is refused with STATUS_INVALID_PARAMETER and the previous image stays.
NTSTATUS SessionSetRules(const void* input, ULONG length);

// IOCTL_WATCH_START: brings the events named in the shared record over from
// process `callerPid` and starts asking. `file` is the caller's open device
// handle; closing it stops the session.
NTSTATUS SessionStart(ULONG callerPid, PFILE_OBJECT file);

// IOCTL_WATCH_STOP: stops asking and cuts short the request being asked.
void SessionStop(void);

// The device handle `file` is being closed.
void SessionCloseFile(PFILE_OBJECT file);

// Matches an operation while monitoring is on. TRUE with the rule identity
// and the current session when a rule matches; FALSE when monitoring is off,
// no image was uploaded or no rule matches.
BOOLEAN SessionMatch(uint32_t kind, const WCHAR* param1, const WCHAR* param2, uint32_t* ruleId,
                     ULONG* session);

// Whether `session` is still the running session.
BOOLEAN SessionIsCurrent(ULONG session);

// The program's events, referenced, while `session` is still running; NULL
// otherwise. Give it back with LinkRelease.
PROGRAM_LINK* SessionAcquireLink(ULONG session);
void LinkRelease(PROGRAM_LINK* link);

// At unload: stops the session and frees the image and the events.
void SessionShutdown(void);
