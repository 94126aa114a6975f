// The state page the sensors read (driver/common/StateProtocol.h): one
// page-file section, written through the driver's own view and mapped
// read-only into every sensor that asks for it.
#pragma once

#include "driver/DriverState.h"

// Creates the section and the driver's view (g_state.stateSection, .statePage).
NTSTATUS StatePageCreate(void);
// Marks the page retired (sensors that still have it map afresh), closes the
// driver's view and the section. Views in sensors stay valid memory.
void StatePageDestroy(void);
// Publishes whether an operation can match now and advances the generation.
// Called with g_state.lock held, after every change of the image or of
// `started`, so that a generation always names one image and one state.
void StatePagePublish(void);
// Counts one injected operation.
void StatePageCountInject(void);
// IOCTL_WATCH_MAP_STATE for process `pid`: a new read-only view each call.
NTSTATUS StatePageMapInto(ULONG pid, BOOLEAN below4GB, ULONG_PTR* address);
// IOCTL_WATCH_GET_TABLE: fills `output` (`outLength` bytes) with the header
// and, when it fits, the image; returns the bytes written.
ULONG StatePageCopyTable(void* output, ULONG outLength);
