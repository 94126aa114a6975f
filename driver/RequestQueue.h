// Injected operations on their way to the program: the control code's
// handler, the queue of pended requests and the request thread that asks the
// program one request at a time through the shared record.
#pragma once

#include "driver/DriverState.h"

// Creates the queue's events and starts the request thread.
NTSTATUS RequestQueueStart(void);

// At unload: every queued request is answered Accept, the request thread
// ends and its events are closed. Call after the session has been stopped.
void RequestQueueShutdown(void);

// IOCTL_WATCH_INJECT. Completes the IRP at once when no rule matches (Accept,
// the program is not asked); otherwise pends it for the request thread and
// returns STATUS_PENDING.
NTSTATUS DispatchInject(PIRP irp, PIO_STACK_LOCATION stack);
