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
};

// Decides the request now in the shared record and writes the verdict field:
// the program's own requests are accepted at once; otherwise the matched rule
// (or the user, in the prompt) decides, logged decisions are recorded, the
// block counter is counted and the main window is told. A rule identity that
// resolves to nothing leaves the driver's preset verdict and does nothing
// else. With `thread` given, nothing is written, logged or counted once the
// thread was cancelled (the link was stopped during the decision).
void HandleRequest(CWatchMain* link, WATCH_SHARED_RECORD* record, RequestThreadState* thread = nullptr);

// The request thread. Owns a reference to its state (passed as a heap
// std::shared_ptr it deletes). Waits for the request event, decides, resets
// the request event and sets the done event; ends when its stop event is set.
DWORD WINAPI RequestThreadProc(LPVOID state);

// Number of request threads now running.
int RequestThreadsRunning();
