// Answers that last, with the real prompt: each request is decided on a
// thread of its own, as the request thread decides it, and the test answers
// the prompt that thread shows.
#include "base/Messages.h"
#include "gui/MessageSequence.h"
#include "support/Wait.h"
#include "res/resource.h"
#include "rules/RuleFile.h"
#include "watch/RequestHandling.h"
#include "watch/ui/AskDlg.h"
#include "watch/WatchMain.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

namespace {

const wchar_t kProgram[] = L"C:\\Setup\\setup.exe";
const wchar_t kGroupName[] = L"提示创建的规则";

// A driver link that is never started, with one asking Reject rule (logged)
// between two others of the same kind, read from a rule file of its own.
class Guard {
public:
    Guard()
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"hm_lasting_" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        CreateDirectoryW(m_folder.c_str(), nullptr);
        std::unique_ptr<RuleSet, void (*)(RuleSet*)> set(NewRuleSet(), FreeRuleSet);
        CopyRuleInto(set->entries[0], RuleAction::Accept, RuleLog::None, 0, 0, L"before", BuildParamList(0, "w", L"C:\\Windows\\*"));
        CopyRuleInto(set->entries[0], RuleAction::Reject, RuleLog::Log, RuleFlag::Ask, 0, L"ask", BuildParamList(0, "w", L"C:\\Temp\\*"));
        CopyRuleInto(set->entries[0], RuleAction::Accept, RuleLog::None, 0, 0, L"after", BuildParamList(0, "w", L"*"));
        GroupList groups;
        AddGroup(&groups, 0, L"默认", L"");
        WriteRuleFile(&groups, set.get(), RuleFile().c_str(), RULE_FILE_ALL_GROUPS);
        ClearGroups(&groups);

        m_link.SetProgramFolder(m_folder);
        m_link.LoadRules();
        m_link.SetLinkMutex(CreateMutexW(nullptr, FALSE, nullptr));
        m_link.SetProcessPathLookup([](uint32_t) { return std::wstring(kProgram); });
        m_link.Answers().SetClock([this] { return m_now.load(); });
        m_link.SetPromptFunction([](const PromptInput& in) {
            CAskDlg prompt(in.processName.c_str(), in.processId, in.params, in.rule, in.mainWindow);
            prompt.SetTickPeriod(3600 * 1000); // ticks come from the test
            prompt.SetCancelCheck(in.cancelled);
            prompt.Ask(nullptr);
            return prompt.Answer();
        });
    }
    ~Guard()
    {
        m_link.Shutdown();
        DeleteFileW(RuleFile().c_str());
        RemoveDirectoryW(m_folder.c_str());
    }

    std::wstring RuleFile() const { return m_folder + L"Harrowmere.erd"; }
    std::string FileBytes() const
    {
        std::ifstream in(RuleFile().c_str(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // The identity of the asking rule in the link's set.
    uint32_t AskingRule() const
    {
        std::shared_ptr<RuleSet> set = m_link.Rules();
        for (const Rule* r = set ? set->entries[0]->rules[0] : nullptr; r; r = r->next)
            if (r->flags & RuleFlag::Ask)
                return r->id;
        return 0;
    }

    struct Decision {
        uint16_t verdict = 0xFFFF;
        bool prompted = false;
        HWND prompt = nullptr;
        std::vector<gui::RecordedMessage> sequence; // of the deciding thread
    };
    // Decides a request of kProgram for `path`, matched by rule `ruleId`;
    // `answer` answers the prompt if one shows.
    Decision Decide(const wchar_t* path, uint32_t ruleId, const std::function<void(HWND)>& answer)
    {
        WATCH_SHARED_RECORD record = {};
        wcsncpy(reinterpret_cast<wchar_t*>(record.param1), path, WATCH_PARAM1_CHARS - 1);
        record.kind = OperationKind::OpenFile;
        strcpy(record.processName, "setup.exe");
        record.processId = GetCurrentProcessId() + 4; // not the guard's own
        record.ruleId = ruleId;
        record.verdict = WATCH_VERDICT_ACCEPT;
        Decision decision;
        std::atomic<DWORD> threadId{ 0 };
        std::atomic<bool> done{ false };
        std::thread decider([&] {
            threadId = GetCurrentThreadId();
            gui::CMessageRecorder recorder({ WM_INITDIALOG, WM_COMMAND, WM_DESTROY });
            HandleRequest(&m_link, &record);
            decision.sequence = recorder.Sequence();
            done = true;
        });
        HWND prompt = nullptr;
        testwait::WaitUntil([&] {
            if (threadId)
                EnumThreadWindows(threadId, TakeVisible, reinterpret_cast<LPARAM>(&prompt));
            return prompt || done;
        }, 10000);
        if (prompt && !done) {
            decision.prompted = true;
            decision.prompt = prompt;
            answer(prompt);
        }
        decider.join();
        decision.verdict = record.verdict;
        return decision;
    }

    CWatchMain m_link;
    std::atomic<uint64_t> m_now{ 1000000 };

private:
    static BOOL CALLBACK TakeVisible(HWND hwnd, LPARAM param)
    {
        if (!IsWindowVisible(hwnd))
            return TRUE;
        *reinterpret_cast<HWND*>(param) = hwnd;
        return FALSE;
    }
    std::wstring m_folder;
};

// Picks the duration and clicks the button until the prompt has gone (a
// click in its first half second is dropped).
std::function<void(HWND)> Answer(int button, AnswerDuration duration)
{
    return [button, duration](HWND prompt) {
        SendDlgItemMessageW(prompt, IDC_ASK_DURATION, CB_SETCURSEL, static_cast<WPARAM>(duration), 0);
        testwait::WaitUntil([&] {
            PostMessageW(GetDlgItem(prompt, button), BM_CLICK, 0, 0);
            return !IsWindow(prompt);
        }, 10000);
    };
}

const std::function<void(HWND)> kNoPromptExpected = [](HWND prompt) {
    ADD_FAILURE() << "a prompt was shown";
    PostMessageW(prompt, WM_ASK_WITHDRAW, 0, 0);
};

bool InitDialogIn(const std::vector<gui::RecordedMessage>& sequence)
{
    for (const gui::RecordedMessage& m : sequence)
        if (m.message == WM_INITDIALOG)
            return true;
    return false;
}

} // namespace

TEST(LastingAnswer, EachDurationAnswersTheSameRequestWithoutAPromptUntilItEnds)
{
    // Once answers the requests that waited behind its prompt (the driver's
    // queue), the others hold after the queue has run dry, until they end.
    struct Case {
        const char* name;
        AnswerDuration duration;
        std::function<void(Guard&)> end; // null: the queue running dry ends it
    } cases[] = {
        { "once", AnswerDuration::Once, nullptr },
        { "ten minutes", AnswerDuration::TenMinutes, [](Guard& g) { g.m_now += ANSWER_TEN_MINUTES_MS; } },
        { "until the guard ends: monitoring off", AnswerDuration::UntilExit, [](Guard& g) { g.m_link.Stop(); } },
        { "until the guard ends: the rules saved", AnswerDuration::UntilExit, [](Guard& g) { g.m_link.ReloadRules(); } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Guard guard;
        const uint32_t ask = guard.AskingRule();
        ASSERT_NE(0u, ask);
        Guard::Decision first = guard.Decide(L"C:\\Temp\\a.exe", ask, Answer(IDCANCEL, c.duration));
        ASSERT_TRUE(first.prompted);
        EXPECT_EQ(WATCH_VERDICT_REJECT, first.verdict);
        // The prompt took the refusal as its button's command and closed (the
        // clicks of its first half second, dropped, are the same command).
        std::vector<gui::RecordedMessage> path;
        for (const gui::RecordedMessage& m : gui::ForWindow(first.sequence, first.prompt))
            if ((m.message != WM_COMMAND || LOWORD(m.wParam) == IDCANCEL) &&
                (path.empty() || path.back().message != m.message))
                path.push_back(m);
        EXPECT_TRUE(gui::SequenceMatches(path, { { WM_INITDIALOG, gui::SEQ_SENT },
                                                 { WM_COMMAND, gui::SEQ_WPARAM, MAKEWPARAM(IDCANCEL, BN_CLICKED) },
                                                 { WM_DESTROY, gui::SEQ_SENT } }));

        Guard::Decision second = guard.Decide(L"C:\\Temp\\a.exe", ask, kNoPromptExpected);
        EXPECT_FALSE(InitDialogIn(second.sequence)) << "no prompt window for the same request";
        EXPECT_EQ(WATCH_VERDICT_REJECT, second.verdict);
        // Another file of the same rule is asked about.
        EXPECT_TRUE(guard.Decide(L"C:\\Temp\\b.exe", guard.AskingRule(), Answer(IDOK, AnswerDuration::Once)).prompted);

        guard.m_link.Answers().EndSharing();
        if (c.end) {
            guard.m_now += ANSWER_TEN_MINUTES_MS - 1;
            Guard::Decision later = guard.Decide(L"C:\\Temp\\a.exe", ask, kNoPromptExpected);
            EXPECT_FALSE(InitDialogIn(later.sequence));
            EXPECT_EQ(WATCH_VERDICT_REJECT, later.verdict);
            guard.m_now -= ANSWER_TEN_MINUTES_MS - 1;
            c.end(guard);
        }
        Guard::Decision after = guard.Decide(L"C:\\Temp\\a.exe", guard.AskingRule(), Answer(IDOK, AnswerDuration::Once));
        EXPECT_TRUE(after.prompted) << "the answer no longer holds";
        EXPECT_TRUE(InitDialogIn(after.sequence));
        EXPECT_EQ(WATCH_VERDICT_ACCEPT, after.verdict);
    }
}

TEST(LastingAnswer, AlwaysWritesOneRuleAheadOfTheAskingRuleThatTheLinkTakesAtOnce)
{
    Guard guard;
    const uint32_t ask = guard.AskingRule();
    ASSERT_TRUE(guard.Decide(L"C:\\Temp\\a.exe", ask, Answer(IDCANCEL, AnswerDuration::Always)).prompted);

    // The re-read file: one new rule, in the new group, just before the
    // asking rule; and the link's set (what the driver is sent) the same.
    GroupList groups;
    std::unique_ptr<RuleSet, void (*)(RuleSet*)> file(ReadRuleFile(&groups, guard.RuleFile().c_str()), FreeRuleSet);
    int32_t groupId = -1;
    for (const RuleGroup& g : groups.groups)
        if (g.name == kGroupName)
            groupId = g.id;
    ClearGroups(&groups);
    ASSERT_GE(groupId, 0);
    std::shared_ptr<RuleSet> linkSet = guard.m_link.Rules();
    for (const RuleSet* set : { static_cast<const RuleSet*>(file.get()), static_cast<const RuleSet*>(linkSet.get()) }) {
        std::vector<std::wstring> order;
        const Rule* made = nullptr;
        for (const Rule* r = set->entries[0]->rules[0]; r; r = r->next) {
            order.push_back(r->info);
            if (r->groupId == groupId)
                made = r;
        }
        EXPECT_EQ(order, (std::vector<std::wstring>{ L"before", L"ask", L"ask", L"after" }));
        ASSERT_EQ(set->entries[0]->rules[0]->next, made);
        EXPECT_EQ(RuleAction::Reject, made->action);
        EXPECT_EQ(0, made->flags);
        EXPECT_EQ(L"C:\\Temp\\a.exe", ParamFullText(made->params, 0));
    }
    const uint32_t made = linkSet->entries[0]->rules[0]->next->id;

    // A request the driver matched before (the asking rule of the set it
    // replaced) takes the answer; one matched afterwards, the new rule.
    EXPECT_EQ(WATCH_VERDICT_REJECT, guard.Decide(L"C:\\Temp\\a.exe", ask, kNoPromptExpected).verdict);
    Guard::Decision byRule = guard.Decide(L"C:\\Temp\\a.exe", made, kNoPromptExpected);
    EXPECT_EQ(WATCH_VERDICT_REJECT, byRule.verdict);
    EXPECT_FALSE(InitDialogIn(byRule.sequence));
}

TEST(LastingAnswer, TimedOutPromptLeavesNothingBehind)
{
    Guard guard;
    const std::string before = guard.FileBytes();
    Guard::Decision timedOut = guard.Decide(L"C:\\Temp\\a.exe", guard.AskingRule(), [](HWND prompt) {
        // The list shows "always"; nobody answers.
        SendDlgItemMessageW(prompt, IDC_ASK_DURATION, CB_SETCURSEL, static_cast<WPARAM>(AnswerDuration::Always), 0);
        for (int tick = 0; tick < ASK_COUNTDOWN_SECONDS; ++tick)
            SendMessageW(prompt, WM_TIMER, ASK_TIMER_ID, 0);
    });
    ASSERT_TRUE(timedOut.prompted);
    EXPECT_EQ(WATCH_VERDICT_REJECT, timedOut.verdict) << "the rule's default";
    EXPECT_EQ(before, guard.FileBytes()) << "no rule written";
    EXPECT_EQ(0u, guard.m_link.Answers().Count());
    Guard::Decision again = guard.Decide(L"C:\\Temp\\a.exe", guard.AskingRule(), Answer(IDOK, AnswerDuration::Once));
    EXPECT_TRUE(again.prompted) << "the same request is asked again";
    EXPECT_EQ(WATCH_VERDICT_ACCEPT, again.verdict);
}
