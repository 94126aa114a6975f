// Stopping the driver link while its request thread is about to open a
// prompt: however the two interleave, no prompt outlives the cancellation
// and nothing is written for the request.
#include "base/Handles.h"
#include "watch/ui/AskDlg.h"
#include "watch/RequestHandling.h"
#include "watch/WatchMain.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

TEST(PromptRace, CancellingWhileAPromptOpensNeverLeavesOneOpen)
{
    CWatchMain link; // never started: only the decisions run
    RuleSet* set = NewRuleSet();
    ASSERT_TRUE(set);
    Rule* rule = CopyRuleInto(set->entries[0], RuleAction::Reject, RuleLog::None, RuleFlag::Ask, 0, L"asks",
                              BuildParamList(OperationKind::OpenFile, "w", L"*"));
    ASSERT_TRUE(rule);
    const uint32_t ruleId = rule->id;
    link.SetRules(set);
    link.SetLinkMutex(CreateMutexW(nullptr, FALSE, nullptr));
    link.SetPromptFunction(RunAskDialog);

    std::mt19937 random(13);
    std::uniform_int_distribution<int> delayMs(-20, 120); // below 0: no pause at all
    for (int round = 0; round < 40; ++round) {
        WATCH_SHARED_RECORD record = {};
        record.kind = OperationKind::OpenFile;
        record.processId = GetCurrentProcessId() + 4; // not this program's own request
        record.ruleId = ruleId;
        record.verdict = WATCH_VERDICT_ACCEPT;
        record.param1[0] = L'x';

        RequestThreadState state;
        state.stopEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ui::CHandle started(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ui::CHandle finished(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        std::thread decider([&] {
            state.threadId = GetCurrentThreadId();
            SetEvent(started.Get());
            HandleRequest(&link, &record, &state);
            SetEvent(finished.Get());
        });
        WaitForSingleObject(started.Get(), INFINITE);
        int delay = delayMs(random);
        // Kept: the random delay is the test's input, it moves the cancel
        // across every step from the request's start to the prompt's window.
        if (delay > 0)
            Sleep(static_cast<DWORD>(delay));
        CancelRequestThread(&state);

        // A prompt that survived would count down its 30 seconds.
        EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitForSingleObject(finished.Get(), 10000))
            << "round " << round << " (cancelled after " << delay << " ms): a prompt stayed open";
        decider.join();
        EXPECT_EQ(WATCH_VERDICT_ACCEPT, record.verdict) << "round " << round;
    }
}
