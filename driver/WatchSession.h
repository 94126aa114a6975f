// The program's monitoring session: which open device handle controls it,
// its process id, the rule table image, whether the driver asks, and the
// program's two events.
#pragma once

#include "driver/DriverState.h"

// Every control code of the program (start, stop, rules, shared record, pid)
// goes through here first. The first handle to send one while no session is
// held begins a session and holds it until it sends STOP or is closed; any
// other handle is refused with STATUS_ACCESS_DENIED meanwhile. A session
// begun by another handle than the one that uploaded the current image
// starts with no image: an earlier program's rule identities would name
// rules of the new program's set.
NTSTATUS SessionClaim(PFILE_OBJECT file);

// IOCTL_WATCH_SET_PID: input is the program's 32-bit process id.
NTSTATUS SessionSetPid(const void* input, ULONG length);

// IOCTL_WATCH_SET_RULES from `file`: keeps a copy of a well-formed image; a
// malformed one is refused with STATUS_INVALID_PARAMETER and the previous
// image stays.
NTSTATUS SessionSetRules(PFILE_OBJECT file, const void* input, ULONG length);

// IOCTL_WATCH_START: brings the events named in the shared record over from
// process `callerPid` and starts asking.
NTSTATUS SessionStart(ULONG callerPid);

// IOCTL_WATCH_STOP: stops asking, cuts short the request being asked and
// ends the session (another handle may begin one). The image stays for the
// handle that uploaded it.
void SessionStop(void);

// The device handle `file` is being closed: a session it holds ends and an
// image it uploaded is dropped.
void SessionCloseFile(PFILE_OBJECT file);

// Matches an operation while monitoring is on. TRUE with the rule identity
// and the current session when a rule matches; FALSE when monitoring is off,
// no image was uploaded or no rule matches.
BOOLEAN SessionMatch(uint32_t kind, const WCHAR* param1, const WCHAR* param2, uint32_t* ruleId,
                     ULONG* session);

// SessionMatch for a RegSetValue operation, in every spelling of its key
// (driver/common/KeySpellings.h); `userSid` is the requesting user's SID, or
// NULL when it is not known.
BOOLEAN SessionMatchKey(const WCHAR* key, const WCHAR* value, const WCHAR* userSid, uint32_t* ruleId,
                        ULONG* session);

// Whether `session` is still the running session.
BOOLEAN SessionIsCurrent(ULONG session);

// The program's events, referenced, while `session` is still running; NULL
// otherwise. Give it back with LinkRelease.
PROGRAM_LINK* SessionAcquireLink(ULONG session);
void LinkRelease(PROGRAM_LINK* link);

// At unload: stops the session and frees the image and the events.
void SessionShutdown(void);
