// The request record shared with the program: one page-file section, viewed
// by the driver and mapped into the process that asks for it.
#pragma once

#include "driver/DriverState.h"

// Creates the section and the driver's own view (g_state.section, .record).
// The request record and the state page are each one page of a section
// that the driver's host maps for itself and into the processes that ask.
#define SHARED_PAGE_SIZE 4096u

// A kernel handle on process `pid` with `access`.
NTSTATUS OpenProcessById(ULONG pid, ACCESS_MASK access, HANDLE* process);

// Creates such a section and maps it into the driver's host.
NTSTATUS CreateSharedPage(HANDLE* section, PVOID* base);

// Maps `section` into process `pid` with `protect` (below 2 GB for a 32-bit
// caller); the process handle goes to `*keepProcess` when it is given,
// otherwise it is closed.
NTSTATUS MapSharedPageInto(HANDLE section, ULONG pid, BOOLEAN below4GB, ULONG protect, PVOID* base,
                           HANDLE* keepProcess);

NTSTATUS SharedRecordCreate(void);

// Closes the driver's view and the section. Views mapped into programs stay
// valid for them: a view keeps its section alive.
void SharedRecordDestroy(void);

// Maps the record into process `pid` and stores the view's address. With
// `below4GB` the view lies below 2 GB, so that its address fits 32 bits. A
// process that asks again while it still lives gets its earlier view.
NTSTATUS SharedRecordMapInto(ULONG pid, BOOLEAN below4GB, ULONG_PTR* address);

// Writes one request into the record: the verdict preset to Accept, the
// parameter texts cut to their fields, the process name narrowed to the ANSI
// code page and cut to 15 bytes without splitting a character. Every text
// ends with a NUL inside its field.
void SharedRecordFill(const PENDING_OPERATION* op);

// Copies at most `capacity - 1` characters of the NUL-terminated `source` and
// a NUL; returns the number of characters copied. `capacity` must be at least 1.
ULONG CopyTextCut(uint16_t* target, ULONG capacity, const WCHAR* source);

// Narrows `source` into the ANSI code page, at most `capacity - 1` bytes and
// whole characters only, and terminates it; returns the bytes written.
ULONG NarrowTextCut(char* target, ULONG capacity, const WCHAR* source);
