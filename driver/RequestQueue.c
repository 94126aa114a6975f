// Injected operations on their way to the program.
#include "driver/RequestQueue.h"
#include "driver/SharedRecord.h"
#include "driver/UserSid.h"
#include "driver/WatchSession.h"

static void CompleteInject(PIRP irp, const WATCH_INJECT_RESULT* result)
{
    RtlCopyMemory(irp->AssociatedIrp.SystemBuffer, result, sizeof(*result));
    irp->IoStatus.Status = STATUS_SUCCESS;
    irp->IoStatus.Information = sizeof(*result);
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

static void CompleteStatus(PIRP irp, NTSTATUS status)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

static PENDING_OPERATION* OperationOf(PIRP irp)
{
    return (PENDING_OPERATION*)irp->Tail.Overlay.DriverContext[0];
}

// ---- the queue ------------------------------------------------------------

// Runs when the requester gives up (its process ends, CancelIo) while the
// request still waits in the queue. Requests already being asked have no
// cancel routine: they end by answer, time-out or STOP.
static VOID NTAPI CancelQueued(PDEVICE_OBJECT device, PIRP irp)
{
    UNREFERENCED_PARAMETER(device);
    IoReleaseCancelSpinLock(irp->CancelIrql);
    KIRQL irql;
    KeAcquireSpinLock(&g_state.queueLock, &irql);
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&g_state.queueLock, irql);
    ExFreePoolWithTag(OperationOf(irp), HM_POOL_TAG);
    CompleteStatus(irp, STATUS_CANCELLED);
}

static void QueuePush(PIRP irp)
{
    IoMarkIrpPending(irp);
    KIRQL irql;
    KeAcquireSpinLock(&g_state.queueLock, &irql);
    IoSetCancelRoutine(irp, CancelQueued);
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL) != NULL) {
        KeReleaseSpinLock(&g_state.queueLock, irql);
        ExFreePoolWithTag(OperationOf(irp), HM_POOL_TAG);
        CompleteStatus(irp, STATUS_CANCELLED);
        return;
    }
    InsertTailList(&g_state.queue, &irp->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&g_state.queueLock, irql);
    ZwSetEvent(g_state.workEvent, NULL);
}

// The next request for the request thread: one the dispatch routine already
// put to the program, or else the first one waiting, for which the record is
// then taken. NULL when there is none (or the record is taken by a start
// the dispatch routine has not handed over yet; its work signal follows).
static PIRP QueuePop(void)
{
    for (;;) {
        KIRQL irql;
        KeAcquireSpinLock(&g_state.queueLock, &irql);
        if (g_state.startedRequest) {
            PIRP irp = g_state.startedRequest;
            g_state.startedRequest = NULL;
            KeReleaseSpinLock(&g_state.queueLock, irql);
            return irp;
        }
        if (g_state.asking || IsListEmpty(&g_state.queue)) {
            KeReleaseSpinLock(&g_state.queueLock, irql);
            return NULL;
        }
        PLIST_ENTRY entry = RemoveHeadList(&g_state.queue);
        PIRP irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        if (IoSetCancelRoutine(irp, NULL) == NULL) {
            // Its cancel routine is already running and will complete it;
            // leave an empty list entry for its RemoveEntryList.
            InitializeListHead(&irp->Tail.Overlay.ListEntry);
            KeReleaseSpinLock(&g_state.queueLock, irql);
            continue;
        }
        g_state.asking = TRUE;
        KeReleaseSpinLock(&g_state.queueLock, irql);
        return irp;
    }
}

// Takes the record when nothing is being asked and nothing waits.
static BOOLEAN TakeRecordIfIdle(void)
{
    KIRQL irql;
    KeAcquireSpinLock(&g_state.queueLock, &irql);
    BOOLEAN idle = !g_state.asking && IsListEmpty(&g_state.queue);
    if (idle)
        g_state.asking = TRUE;
    KeReleaseSpinLock(&g_state.queueLock, irql);
    return idle;
}

static void ReleaseRecord(void)
{
    KIRQL irql;
    KeAcquireSpinLock(&g_state.queueLock, &irql);
    g_state.asking = FALSE;
    KeReleaseSpinLock(&g_state.queueLock, irql);
}

// ---- asking the program ----------------------------------------------------

typedef enum PROGRAM_WAIT { WAIT_ANSWERED, WAIT_TIMED_OUT, WAIT_CUT_SHORT } PROGRAM_WAIT;

// Converts performance counter ticks to 100 ns units without overflow.
static LONGLONG TicksToHundredNs(LONGLONG ticks, LONGLONG frequency)
{
    return ticks / frequency * 10000000 + ticks % frequency * 10000000 / frequency;
}

// Waits for the program's done event until `deadline` (performance counter).
// A cut signal left over from an earlier STOP is ignored while the session
// still runs.
static PROGRAM_WAIT WaitForProgram(PROGRAM_LINK* link, ULONG session, LONGLONG deadline)
{
    HANDLE handles[2] = { link->doneEvent, g_state.cutEvent };
    for (;;) {
        LARGE_INTEGER frequency;
        LONGLONG now = KeQueryPerformanceCounter(&frequency).QuadPart;
        if (now >= deadline)
            return WAIT_TIMED_OUT;
        LARGE_INTEGER timeout;
        timeout.QuadPart = -TicksToHundredNs(deadline - now, frequency.QuadPart);
        NTSTATUS status = ZwWaitForMultipleObjects(2, handles, WaitAny, FALSE, &timeout);
        if (status == STATUS_WAIT_0)
            return WAIT_ANSWERED;
        if (status == STATUS_TIMEOUT)
            return WAIT_TIMED_OUT;
        if (status != STATUS_WAIT_1 || !SessionIsCurrent(session))
            return WAIT_CUT_SHORT;
    }
}

static LONGLONG AnswerDeadline(void)
{
    LARGE_INTEGER frequency;
    return KeQueryPerformanceCounter(&frequency).QuadPart +
           (LONGLONG)g_state.replyTimeoutMs * frequency.QuadPart / 1000;
}

// Fills the record in and signals the program. The caller holds the record
// and has no answer owed on the link.
static void PutToProgram(PROGRAM_LINK* link, const PENDING_OPERATION* op)
{
    if (!link->doneClear)
        ZwResetEvent(link->doneEvent, NULL);
    link->doneClear = FALSE;
    SharedRecordFill(op);
    ZwSetEvent(link->requestEvent, NULL);
}

// Waits for the program's answer to the operation put to it; returns the
// WATCH_OUTCOME_* and stores the verdict (the preset Accept unless the
// program answered).
static uint32_t AwaitVerdict(PROGRAM_LINK* link, const PENDING_OPERATION* op, uint32_t* verdict)
{
    *verdict = WATCH_VERDICT_ACCEPT;
    PROGRAM_WAIT wait = WaitForProgram(link, op->session, op->deadline);
    if (wait == WAIT_ANSWERED) {
        uint16_t answer = ((volatile WATCH_SHARED_RECORD*)g_state.record)->verdict;
        // Anything but a known verdict lets the operation proceed.
        *verdict = answer <= WATCH_VERDICT_REJECT ? answer : WATCH_VERDICT_ACCEPT;
        return WATCH_OUTCOME_ANSWERED;
    }
    link->awaitingAnswer = TRUE;
    return wait == WAIT_TIMED_OUT ? WATCH_OUTCOME_TIMED_OUT : WATCH_OUTCOME_CUT_SHORT;
}

// Asks the program about one operation, from the request thread.
static uint32_t AskProgram(PROGRAM_LINK* link, PENDING_OPERATION* op, uint32_t* verdict)
{
    *verdict = WATCH_VERDICT_ACCEPT;
    op->deadline = AnswerDeadline();
    if (link->awaitingAnswer) {
        // The program still owes the answer to an earlier request and may
        // write into the record at any moment: the record is not reused
        // until it has done so.
        PROGRAM_WAIT wait = WaitForProgram(link, op->session, op->deadline);
        if (wait != WAIT_ANSWERED)
            return wait == WAIT_TIMED_OUT ? WATCH_OUTCOME_TIMED_OUT : WATCH_OUTCOME_CUT_SHORT;
        link->awaitingAnswer = FALSE;
        link->doneClear = FALSE; // the late answer set it
    }
    PutToProgram(link, op);
    return AwaitVerdict(link, op, verdict);
}

static void ServeRequest(PIRP irp)
{
    PENDING_OPERATION* op = OperationOf(irp);
    WATCH_INJECT_RESULT result;
    result.verdict = WATCH_VERDICT_ACCEPT;
    result.matched = 1;
    result.ruleId = op->ruleId;
    result.outcome = WATCH_OUTCOME_CUT_SHORT;
    // A request matched before a STOP is answered its preset verdict
    // without asking: its rule identity may name a rule the program freed.
    PROGRAM_LINK* link = op->link;
    if (link) {
        result.outcome = AwaitVerdict(link, op, &result.verdict);
    } else {
        link = SessionAcquireLink(op->session);
        if (link)
            result.outcome = AskProgram(link, op, &result.verdict);
    }
    ExFreePoolWithTag(op, HM_POOL_TAG);
    CompleteInject(irp, &result);
    if (link) {
        // The answer left the done event set; resetting it now, after the
        // requester has its verdict, spares the next request that call.
        if (result.outcome == WATCH_OUTCOME_ANSWERED) {
            ZwResetEvent(link->doneEvent, NULL);
            link->doneClear = TRUE;
        }
        LinkRelease(link);
    }
    ReleaseRecord();
}

// Puts a matched operation to the program from the dispatch routine when
// nothing is being asked and nothing waits, and hands it to the request
// thread, which is woken meanwhile and only waits for the answer: the
// program learns of the operation one thread switch earlier. FALSE when the
// request must wait its turn in the queue instead.
static BOOLEAN StartAtOnce(PIRP irp)
{
    if (!TakeRecordIfIdle())
        return FALSE;
    PENDING_OPERATION* op = OperationOf(irp);
    PROGRAM_LINK* link = SessionAcquireLink(op->session);
    if (!link || link->awaitingAnswer) {
        // The request thread knows what to do with these.
        LinkRelease(link);
        ReleaseRecord();
        return FALSE;
    }
    op->link = link;
    op->deadline = AnswerDeadline();
    PutToProgram(link, op);
    // Marked before the request thread can see it: it may complete the
    // request before this dispatch routine returns.
    IoMarkIrpPending(irp);
    KIRQL irql;
    KeAcquireSpinLock(&g_state.queueLock, &irql);
    g_state.startedRequest = irp;
    KeReleaseSpinLock(&g_state.queueLock, irql);
    ZwSetEvent(g_state.workEvent, NULL);
    return TRUE;
}

// The request thread. Holds the shared record (`asking`) while it asks, and
// finishes the requests the dispatch routine put to the program itself;
// shares the queue and the record (spin lock) and the session (fast mutex)
// with the dispatch routines. Started at load; ends at unload once the queue
// is empty.
static VOID NTAPI RequestThread(PVOID context)
{
    UNREFERENCED_PARAMETER(context);
    for (;;) {
        ZwWaitForSingleObject(g_state.workEvent, FALSE, NULL);
        PIRP irp;
        while ((irp = QueuePop()) != NULL)
            ServeRequest(irp);
        if (g_state.unloading)
            break;
    }
    PsTerminateSystemThread(STATUS_SUCCESS);
}

static NTSTATUS CreateAutoResetEvent(HANDLE* event)
{
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, NULL, OBJ_KERNEL_HANDLE, NULL, NULL);
    return ZwCreateEvent(event, EVENT_ALL_ACCESS, &attributes, SynchronizationEvent, FALSE);
}

NTSTATUS RequestQueueStart(void)
{
    NTSTATUS status = CreateAutoResetEvent(&g_state.workEvent);
    if (NT_SUCCESS(status))
        status = CreateAutoResetEvent(&g_state.cutEvent);
    if (NT_SUCCESS(status)) {
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, NULL, OBJ_KERNEL_HANDLE, NULL, NULL);
        status = PsCreateSystemThread(&g_state.worker, THREAD_ALL_ACCESS, &attributes, NULL, NULL,
                                      RequestThread, NULL);
    }
    if (!NT_SUCCESS(status)) {
        g_state.worker = NULL;
        RequestQueueShutdown();
    }
    return status;
}

void RequestQueueShutdown(void)
{
    InterlockedExchange(&g_state.unloading, 1);
    if (g_state.worker) {
        ZwSetEvent(g_state.workEvent, NULL);
        ZwWaitForSingleObject(g_state.worker, FALSE, NULL);
        ZwClose(g_state.worker);
        g_state.worker = NULL;
    }
    if (g_state.workEvent)
        ZwClose(g_state.workEvent);
    if (g_state.cutEvent)
        ZwClose(g_state.cutEvent);
    g_state.workEvent = NULL;
    g_state.cutEvent = NULL;
}

// ---- the control code --------------------------------------------------------

// Copies a fixed-width text field and terminates it; a field without a NUL
// is taken whole.
static void CopyField(WCHAR* target, const uint16_t* field, ULONG chars)
{
    ULONG count = 0;
    while (count < chars && field[count]) {
        target[count] = field[count];
        ++count;
    }
    target[count] = 0;
}

NTSTATUS DispatchInject(PIRP irp, PIO_STACK_LOCATION stack)
{
    ULONG inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
    const WATCH_INJECT_OPERATION* in = (const WATCH_INJECT_OPERATION*)irp->AssociatedIrp.SystemBuffer;
    NTSTATUS status = STATUS_SUCCESS;
    if (!in || inLength < sizeof(WATCH_INJECT_OPERATION) || in->kind > 2)
        status = STATUS_INVALID_PARAMETER;
    else if (outLength < sizeof(WATCH_INJECT_RESULT))
        status = STATUS_BUFFER_TOO_SMALL;
    PENDING_OPERATION* op = NULL;
    if (NT_SUCCESS(status)) {
        op = (PENDING_OPERATION*)ExAllocatePoolWithTag(NonPagedPool, sizeof(*op), HM_POOL_TAG);
        if (!op)
            status = STATUS_INSUFFICIENT_RESOURCES;
    }
    if (!NT_SUCCESS(status)) {
        CompleteStatus(irp, status);
        return status;
    }

    // The input shares the system buffer with the output: copy it first.
    op->kind = in->kind;
    op->processId = in->processId;
    CopyField(op->processName, in->processName, WATCH_INJECT_PROCESS_CHARS);
    CopyField(op->param1, in->param1, WATCH_INJECT_PARAM1_CHARS);
    CopyField(op->param2, in->param2, WATCH_INJECT_PARAM2_CHARS);

    // A registry rule may name the key in any spelling, HKEY_CURRENT_USER as
    // the requesting process's user.
    WCHAR sid[USER_SID_CHARS];
    BOOLEAN matched = op->kind == 1
        ? SessionMatchKey(op->param1, op->param2, ProcessUserSid(op->processId, sid, USER_SID_CHARS) ? sid : NULL,
                          &op->ruleId, &op->session)
        : SessionMatch(op->kind, op->param1, NULL, &op->ruleId, &op->session);
    if (!matched) {
        ExFreePoolWithTag(op, HM_POOL_TAG);
        WATCH_INJECT_RESULT result = { WATCH_VERDICT_ACCEPT, 0, 0, WATCH_OUTCOME_NOT_MATCHED };
        CompleteInject(irp, &result);
        return STATUS_SUCCESS;
    }
    op->link = NULL;
    irp->Tail.Overlay.DriverContext[0] = op;
    if (!StartAtOnce(irp))
        QueuePush(irp);
    return STATUS_PENDING;
}
