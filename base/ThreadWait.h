// Waiting on the window thread for another thread to end.
#pragma once

#include <windows.h>

// Waits for `thread` to end while answering the messages other threads send
// to this one (a closing window of that thread may send to this thread's
// windows and would otherwise wait for the wait to end); posted messages stay
// queued. False when `timeoutMs` (or INFINITE) ran out first.
bool WaitAnsweringSentMessages(HANDLE thread, DWORD timeoutMs);
