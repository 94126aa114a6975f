// Waiting on the window thread for a thread that sends to this thread's
// windows before it ends (as a closing prompt may).
#include "base/ThreadWait.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

struct Worker {
    HWND target;
    HANDLE release;
};

DWORD WINAPI SendThenEnd(LPVOID param)
{
    auto* worker = static_cast<Worker*>(param);
    WaitForSingleObject(worker->release, INFINITE);
    SendMessageW(worker->target, WM_USER, 0, 0); // waits for this thread's answer
    return 0;
}

TEST(ThreadWait, WaitAnswersWhatTheThreadSendsAndGivesUpOnlyAtItsLimit)
{
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    const struct {
        const char* what;
        bool released;
        DWORD limitMs;
        bool ended;
    } cases[] = {
        { "still held: the limit runs out", false, 50, false },
        { "sends to this thread, then ends", true, 20000, true },
    };
    for (const auto& c : cases) {
        Worker worker{ window, CreateEventW(nullptr, TRUE, c.released, nullptr) };
        HANDLE thread = CreateThread(nullptr, 0, SendThenEnd, &worker, 0, nullptr);
        ASSERT_NE(nullptr, thread);
        EXPECT_EQ(c.ended, WaitAnsweringSentMessages(thread, c.limitMs)) << c.what;
        SetEvent(worker.release);
        EXPECT_TRUE(WaitAnsweringSentMessages(thread, INFINITE)) << c.what;
        CloseHandle(thread);
        CloseHandle(worker.release);
    }
    DestroyWindow(window);
}

} // namespace
