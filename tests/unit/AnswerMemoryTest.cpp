#include "watch/AnswerMemory.h"

#include "rules/OperationKinds.h"
#include "watch/AskAnswer.h"

#include <gtest/gtest.h>

namespace {

// A memory on a clock the test moves, holding nothing at first.
struct Memory {
    uint64_t now = 5000;
    CAnswerMemory memory{ [this] { return now; } };
};

RememberedRequest Request(const wchar_t* path = L"C:\\Setup\\setup.exe", uint32_t kind = OperationKind::SetRegistryValue,
                          const wchar_t* param1 = L"\\REGISTRY\\MACHINE\\SOFTWARE\\Demo", const wchar_t* param2 = L"Version")
{
    return RememberedRequest{ path, kind, param1, param2 };
}

} // namespace

TEST(AnswerMemory, EachDurationHoldsAsLongAsItSays)
{
    struct Case {
        const char* name;
        AnswerDuration duration;
        int answer;
        uint64_t stillHoldsAfterMs; // 0: not even at once
        bool endsByTime;            // no longer holds ten minutes on
    } cases[] = {
        { "once", AnswerDuration::Once, ASK_REFUSE, 0, true },
        { "always (a rule instead)", AnswerDuration::Always, ASK_ALLOW, 0, true },
        { "ten minutes, allow", AnswerDuration::TenMinutes, ASK_ALLOW, ANSWER_TEN_MINUTES_MS - 1, true },
        { "ten minutes, refuse", AnswerDuration::TenMinutes, ASK_REFUSE, ANSWER_TEN_MINUTES_MS - 1, true },
        { "until the guard ends", AnswerDuration::UntilExit, ASK_REFUSE, ANSWER_TEN_MINUTES_MS * 100, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Memory m;
        m.memory.Remember(Request(), c.answer, c.duration);
        const bool kept = c.stillHoldsAfterMs != 0;
        EXPECT_EQ(m.memory.Recall(Request()), kept ? c.answer : ASK_WITHDRAWN);
        m.now += c.stillHoldsAfterMs;
        EXPECT_EQ(m.memory.Recall(Request()), kept ? c.answer : ASK_WITHDRAWN);
        m.now += 1;
        EXPECT_EQ(m.memory.Recall(Request()), kept && !c.endsByTime ? c.answer : ASK_WITHDRAWN);
        EXPECT_EQ(m.memory.Count(), kept && !c.endsByTime ? 1u : 0u) << "an answer whose time is over stays";
    }
}

TEST(AnswerMemory, OnlyTheSameProgramKindAndTextsAreAnswered)
{
    struct Case {
        const char* name;
        RememberedRequest other;
    } cases[] = {
        { "another program", Request(L"C:\\Setup\\other.exe") },
        { "the program's name in another case", Request(L"C:\\SETUP\\setup.exe") },
        { "another kind", Request(L"C:\\Setup\\setup.exe", OperationKind::OpenFile) },
        { "another key", Request(L"C:\\Setup\\setup.exe", OperationKind::SetRegistryValue, L"\\REGISTRY\\MACHINE\\SOFTWARE\\Demo2") },
        { "another value name", Request(L"C:\\Setup\\setup.exe", OperationKind::SetRegistryValue,
                                        L"\\REGISTRY\\MACHINE\\SOFTWARE\\Demo", L"Build") },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Memory m;
        m.memory.Remember(Request(), ASK_ALLOW, AnswerDuration::UntilExit);
        EXPECT_EQ(m.memory.Recall(c.other), ASK_WITHDRAWN);
        EXPECT_EQ(m.memory.Recall(Request()), ASK_ALLOW);
    }
}

TEST(AnswerMemory, NothingIsKeptForNoAnswerOrNoProgramAndForgetDropsAll)
{
    Memory m;
    m.memory.Remember(Request(), ASK_WITHDRAWN, AnswerDuration::UntilExit);
    m.memory.Remember(Request(L""), ASK_REFUSE, AnswerDuration::UntilExit);
    EXPECT_EQ(m.memory.Count(), 0u);
    EXPECT_EQ(m.memory.Recall(Request(L"")), ASK_WITHDRAWN);

    // A later answer replaces the earlier one.
    m.memory.Remember(Request(), ASK_ALLOW, AnswerDuration::TenMinutes);
    m.memory.Remember(Request(), ASK_REFUSE, AnswerDuration::UntilExit);
    m.memory.Remember(Request(L"C:\\b.exe"), ASK_ALLOW, AnswerDuration::UntilExit);
    EXPECT_EQ(m.memory.Count(), 2u);
    m.now += ANSWER_TEN_MINUTES_MS;
    EXPECT_EQ(m.memory.Recall(Request()), ASK_REFUSE);
    m.memory.Forget();
    EXPECT_EQ(m.memory.Count(), 0u);
    EXPECT_EQ(m.memory.Recall(Request()), ASK_WITHDRAWN);
}

TEST(AnswerMemory, SharedAnswersHoldForTheSameRequestUntilSharingEnds)
{
    Memory m;
    m.memory.Share(Request(), ASK_REFUSE);
    m.memory.Share(Request(L"C:\\b.exe"), ASK_WITHDRAWN); // no answer: nothing shared
    m.memory.Share(Request(L""), ASK_ALLOW);              // no program: nothing shared
    EXPECT_EQ(m.memory.RecallShared(Request()), ASK_REFUSE);
    EXPECT_EQ(m.memory.RecallShared(Request(L"C:\\b.exe")), ASK_WITHDRAWN);
    EXPECT_EQ(m.memory.RecallShared(Request(L"")), ASK_WITHDRAWN);
    EXPECT_EQ(m.memory.RecallShared(Request(L"C:\\Setup\\setup.exe", OperationKind::OpenFile)), ASK_WITHDRAWN);
    EXPECT_EQ(m.memory.Recall(Request()), ASK_WITHDRAWN) << "a shared answer is not a lasting one";
    m.now += ANSWER_TEN_MINUTES_MS * 2;
    EXPECT_EQ(m.memory.RecallShared(Request()), ASK_REFUSE) << "sharing ends with the queue, not by time";

    m.memory.Remember(Request(), ASK_ALLOW, AnswerDuration::UntilExit);
    m.memory.EndSharing();
    EXPECT_EQ(m.memory.RecallShared(Request()), ASK_WITHDRAWN);
    EXPECT_EQ(m.memory.Recall(Request()), ASK_ALLOW) << "ending the sharing keeps lasting answers";
    m.memory.Share(Request(), ASK_ALLOW);
    m.memory.Forget();
    EXPECT_EQ(m.memory.RecallShared(Request()), ASK_WITHDRAWN);
}
