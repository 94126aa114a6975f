#include "base/ThreadWait.h"

bool WaitAnsweringSentMessages(HANDLE thread, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD left = INFINITE;
        if (timeoutMs != INFINITE) {
            const DWORD spent = GetTickCount() - start;
            left = spent < timeoutMs ? timeoutMs - spent : 0;
        }
        const DWORD wait = MsgWaitForMultipleObjects(1, &thread, FALSE, left, QS_SENDMESSAGE);
        if (wait != WAIT_OBJECT_0 + 1)
            return wait == WAIT_OBJECT_0;
        // Peeking delivers the sent messages; nothing is taken from the queue.
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}
