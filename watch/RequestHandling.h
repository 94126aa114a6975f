// The decision of one request held back by the driver, and the request
// thread that waits for requests and answers them.
#pragma once

#include "base/Handles.h"
#include "driver/common/WatchProtocol.h"

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>

class CWatchMain;

// One request, copied out of the shared record. Texts are bounded by their
// fields even when the driver left no NUL.
struct WatchRequest {
    std::wstring param1;
    std::wstring param2;
    uint32_t kind = 0;
    std::wstring processName;
    uint32_t processId = 0;
    uint32_t ruleId = 0;
};
WatchRequest ReadRequest(const WATCH_SHARED_RECORD* record);

// What a request thread owns: its two events (handed to the driver through
// the shared record), its own stop event, and the flag that Stop raises.
// The handles are closed when the last owner (the link or the thread) lets go.
struct RequestThreadState {
    CWatchMain* link = nullptr;
    WATCH_SHARED_RECORD* record = nullptr;
    ui::CHandle requestEvent;
    ui::CHandle doneEvent;
    ui::CHandle stopEvent;
    ui::CHandle thread;
    DWORD threadId = 0;
    std::mutex recordLock; // a verdict is written only while not cancelled
    bool cancelled = false;
    // Decisions counted in memory but not yet saved, and the tick count by
    // which they are; touched by the request thread only.
    bool countUnsaved = false;
    DWORD countDue = 0;
    // WM_WATCH_COUNT is posted once the driver has its answer.
    bool countToPost = false;
};

// What became of one request.
enum class RequestOutcome {
    OwnProcess, // the program's own request, accepted at once
    Decided,    // verdict written, logged as its rule says, counted
    NoRule,     // the identity names no rule: the preset verdict stands
    Cancelled,  // the link was stopped meanwhile: nothing written
    LinkBusy,   // an asking rule could not have the link mutex in time (a
                // prompt that does not end holds it): nobody is asked, the
                // preset verdict stands, nothing is logged or counted
};

// Decides the request now in the shared record and writes the verdict field:
// the program's own requests are accepted at once; otherwise the matched rule
// (or the user, in the prompt) decides, logged decisions are recorded, the
// block counter is counted and the main window is told. A rule identity that
// resolves to nothing leaves the driver's preset verdict and does nothing
// else. With `thread` given, nothing is written, logged or counted once the
// thread was cancelled (the link was stopped during the decision), and the
// thread saves the count and posts WM_WATCH_COUNT (see RequestThreadProc);
// without it both happen at once.
RequestOutcome HandleRequest(CWatchMain* link, WATCH_SHARED_RECORD* record, RequestThreadState* thread = nullptr);

// Cancels the request thread (for Stop): raises its flag, sets its stop
// event and withdraws the prompt it shows. A prompt the thread is about to
// open sees the flag (it asks once its window exists) and withdraws itself,
// so none survives this call.
void CancelRequestThread(RequestThreadState* state);

// Withdraws the prompt the thread shows, if any, without stopping the thread
// (a rule reload: the driver has answered that request with its preset).
void WithdrawRequestPrompt(const RequestThreadState* state);

// The request thread. Owns a reference to its state (passed as a heap
// std::shared_ptr it deletes). Waits for the request event, decides, resets
// the request event and sets the done event; ends when its stop event is set.
// A registry write costs several times a whole request under some hosts, so
// the thread saves the block counter alone, at most a second after the first
// decision it has not saved (between requests, never before an answer), and
// when it ends: a crash loses at most the last second's count, and the
// settings saved at a normal shut-down hold it exactly. WM_WATCH_COUNT is
// posted after the answer too, so the requester does not wait for it.
DWORD WINAPI RequestThreadProc(LPVOID state);

// Number of request threads now running.
int RequestThreadsRunning();
