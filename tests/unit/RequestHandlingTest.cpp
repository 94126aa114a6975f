// Decisions of single requests, driven through an in-memory shared record.
#include "base/Config.h"
#include "base/Messages.h"
#include "base/TextConv.h"
#include "log/ActivityLog.h"
#include "watch/AskAnswer.h"
#include "watch/RequestHandling.h"
#include "watch/WatchMain.h"
#include "TestRegistry.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

namespace {

// Collects the messages that the decisions post to the main window.
class MessageSink {
public:
    MessageSink()
    {
        m_hwnd = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    }
    ~MessageSink() { DestroyWindow(m_hwnd); }
    HWND Hwnd() const { return m_hwnd; }
    // Takes every posted message out of the queue.
    std::vector<MSG> Drain()
    {
        std::vector<MSG> out;
        MSG msg;
        while (PeekMessageW(&msg, m_hwnd, 0, 0, PM_REMOVE))
            out.push_back(msg);
        return out;
    }

private:
    HWND m_hwnd;
};

int Count(const std::vector<MSG>& msgs, UINT message, WPARAM wParam)
{
    int n = 0;
    for (const MSG& m : msgs)
        n += m.message == message && m.wParam == wParam;
    return n;
}

std::wstring TempFolder()
{
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    std::wstring dir = std::wstring(tmp) + L"hm-request-test\\";
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

class RequestHandlingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ConfigPlaces places;
        places.settingsKey = L"Software\\HarrowmereTest\\RequestHandling";
        testreg::DeleteTree(HKEY_CURRENT_USER, places.settingsKey.c_str());
        m_config.reset(new CConfig(places));
        m_config->Load();

        m_folder = TempFolder();
        DeleteFileW((m_folder + L"Harrowmere.log").c_str());
        ASSERT_EQ(0, OpenLogFile(m_folder.c_str(), m_folder.c_str()));
        InitLog();

        m_link.reset(new CWatchMain());
        m_link->SetConfig(m_config.get());
        m_link->SetMainWindow(m_sink.Hwnd());
        m_link->SetLinkMutex(CreateMutexW(nullptr, FALSE, nullptr));
        m_link->SetPromptFunction([this](const PromptInput& in) {
            m_prompts.push_back(in);
            if (in.params)
                m_promptEntries.push_back(in.params->count);
            return m_answer;
        });
        m_link->SetLastNotify(GetTickCount() - 1000);
        m_link->SetProcessPathLookup([](uint32_t pid) { return L"C:\\Tools\\" + std::to_wstring(pid) + L".exe"; });

        m_set = NewRuleSet(); // holds the "*" entry
        m_entry = m_set->entries[0];
    }

    void TearDown() override
    {
        m_link.reset();
        CloseLog();
        CloseLogFile();
        testreg::DeleteTree(HKEY_CURRENT_USER, L"Software\\HarrowmereTest");
    }

    Rule* AddRule(uint32_t kind, uint16_t action, uint16_t log, uint16_t flags, const wchar_t* info)
    {
        PARAM_LIST* params = kind == 1 ? BuildParamList(kind, "w*", L"*") : BuildParamList(kind, "w", L"*");
        return CopyRuleInto(m_entry, action, log, flags, 1, info, params);
    }

    // Rules are handed to the link once they are all made.
    void UseRules() { m_link->SetRules(m_set); }

    void FillRecord(uint32_t kind, const wchar_t* p1, const wchar_t* p2, uint32_t pid, uint32_t ruleId,
                    uint16_t preset = 0)
    {
        memset(&m_record, 0, sizeof(m_record));
        wcsncpy(reinterpret_cast<wchar_t*>(m_record.param1), p1, WATCH_PARAM1_CHARS - 1);
        if (p2)
            wcsncpy(reinterpret_cast<wchar_t*>(m_record.param2), p2, WATCH_PARAM2_CHARS - 1);
        m_record.kind = static_cast<uint16_t>(kind);
        strcpy(m_record.processName, "evil.exe");
        m_record.processId = pid;
        m_record.ruleId = ruleId;
        m_record.verdict = preset;
    }

    std::string LogText()
    {
        std::ifstream in(WideToAnsi(m_folder + L"Harrowmere.log"), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    MessageSink m_sink;
    std::unique_ptr<CConfig> m_config;
    std::unique_ptr<CWatchMain> m_link;
    std::wstring m_folder;
    RuleSet* m_set = nullptr;
    ProgramEntry* m_entry = nullptr;
    WATCH_SHARED_RECORD m_record;
    std::vector<PromptInput> m_prompts;
    std::vector<uint32_t> m_promptEntries;
    int m_answer = 1;
    const uint32_t kOtherPid = 4242;
};

TEST_F(RequestHandlingTest, OwnProcessIsAcceptedWithoutLogCountOrMessage)
{
    Rule* rule = AddRule(0, RuleAction::Reject, RuleLog::Log, 0, L"deny");
    UseRules();
    FillRecord(0, L"C:\\x", nullptr, GetCurrentProcessId(), rule->id, 2);
    HandleRequest(m_link.get(), &m_record);
    EXPECT_EQ(0, m_record.verdict);
    EXPECT_EQ(0u, m_config->BlockCount);
    EXPECT_TRUE(m_sink.Drain().empty());
    EXPECT_EQ("", LogText());
}

TEST_F(RequestHandlingTest, RuleActionBecomesTheVerdictAndEveryDecisionIsCounted)
{
    struct Case {
        uint16_t action;
        uint16_t expected;
    } cases[] = { { RuleAction::Accept, 0 }, { RuleAction::Feign, 1 }, { RuleAction::Reject, 2 } };
    std::vector<uint32_t> ids;
    for (const Case& c : cases)
        ids.push_back(AddRule(2, c.action, RuleLog::None, 0, L"x")->id);
    UseRules();
    for (size_t i = 0; i < ids.size(); ++i) {
        FillRecord(2, L"C:\\a.exe", nullptr, kOtherPid, ids[i], 0);
        HandleRequest(m_link.get(), &m_record);
        EXPECT_EQ(cases[i].expected, m_record.verdict);
    }
    EXPECT_EQ(3u, m_config->BlockCount);
    std::vector<MSG> msgs = m_sink.Drain();
    EXPECT_EQ(3, Count(msgs, WM_WATCH_COUNT, 0));
    EXPECT_EQ(0, Count(msgs, WM_WATCH_LOG, 1)) << "unlogged rules post no log message";
    // The count is saved at once.
    CConfig reread(ConfigPlaces{ HKEY_CURRENT_USER, L"Software\\HarrowmereTest\\RequestHandling" });
    reread.Load();
    EXPECT_EQ(3u, reread.BlockCount);
}

TEST_F(RequestHandlingTest, UnknownRuleIdentityKeepsThePresetAndDoesNothingElse)
{
    Rule* rule = AddRule(0, RuleAction::Reject, RuleLog::Log, 0, L"deny");
    UseRules();
    FillRecord(0, L"C:\\x", nullptr, kOtherPid, rule->id + 1000, 1);
    HandleRequest(m_link.get(), &m_record);
    EXPECT_EQ(1, m_record.verdict);
    EXPECT_EQ(0u, m_config->BlockCount);
    EXPECT_TRUE(m_sink.Drain().empty());
    // A rule that is gone resolves to nothing as well.
    m_link->SetRules(nullptr);
    FillRecord(0, L"C:\\x", nullptr, kOtherPid, rule->id, 2);
    HandleRequest(m_link.get(), &m_record);
    EXPECT_EQ(2, m_record.verdict);
    EXPECT_EQ(0u, m_config->BlockCount);
}

TEST_F(RequestHandlingTest, AskingRuleTakesThePromptAnswer)
{
    Rule* reg = AddRule(1, RuleAction::Feign, RuleLog::None, RuleFlag::Ask, L"run key");
    Rule* file = AddRule(0, RuleAction::Accept, RuleLog::None, RuleFlag::Ask, L"file");
    UseRules();
    struct Case {
        int answer;
        uint16_t preset;
        uint16_t expected;
    } cases[] = { { 1, 2, 0 }, { 2, 0, 2 }, { 0, 1, 1 }, { 7, 2, 2 } };
    for (const Case& c : cases) {
        m_answer = c.answer;
        FillRecord(1, L"\\REGISTRY\\MACHINE\\Run", L"Evil", kOtherPid, reg->id, c.preset);
        HandleRequest(m_link.get(), &m_record);
        EXPECT_EQ(c.expected, m_record.verdict) << "answer " << c.answer;
    }
    FillRecord(0, L"C:\\f.txt", nullptr, kOtherPid, file->id, 0);
    HandleRequest(m_link.get(), &m_record);
    ASSERT_EQ(5u, m_prompts.size());
    EXPECT_EQ(kOtherPid, m_prompts[0].processId);
    EXPECT_EQ(L"evil.exe", m_prompts[0].processName);
    EXPECT_EQ(reg, m_prompts[0].rule);
    EXPECT_EQ(m_sink.Hwnd(), m_prompts[0].mainWindow);
    // A registry request carries key and value name; a file request one text.
    EXPECT_EQ(2u, m_promptEntries[0]);
    EXPECT_EQ(1u, m_promptEntries[4]);
}

TEST_F(RequestHandlingTest, LoggedFeignDecisionWritesOneRefusalLine)
{
    Rule* rule = AddRule(0, RuleAction::Feign, RuleLog::Log, 0, L"feign");
    UseRules();
    FillRecord(0, L"D:\\autorun.inf", nullptr, kOtherPid, rule->id, 0);
    HandleRequest(m_link.get(), &m_record);
    EXPECT_EQ(1, m_record.verdict);
    std::string log = LogText();
    EXPECT_NE(std::string::npos, log.find("evil.exe "));
    EXPECT_NE(std::string::npos, log.find("D:\\autorun.inf"));
    EXPECT_NE(std::string::npos, log.find(" -> " + WideToUtf8(L"拒绝") + "\r\n")) << log;
    EXPECT_EQ(1, std::count(log.begin(), log.end(), '\n'));
}

TEST_F(RequestHandlingTest, ThreeLoggedRequestsWithin300msGiveOneBalloonAndThreeRows)
{
    Rule* rule = AddRule(0, RuleAction::Reject, RuleLog::Log, 0, L"deny");
    UseRules();
    m_config->ShowInfo = 1;
    for (int i = 0; i < 3; ++i) {
        FillRecord(0, L"C:\\x", nullptr, kOtherPid, rule->id, 0);
        HandleRequest(m_link.get(), &m_record);
    }
    std::vector<MSG> msgs = m_sink.Drain();
    EXPECT_EQ(1, Count(msgs, WM_WATCH_LOG, 2));
    EXPECT_EQ(3, Count(msgs, WM_WATCH_LOG, 1));
    // The balloon message names the same record as the first row.
    int32_t balloonSeq = -1, firstRowSeq = -1;
    for (const MSG& m : msgs) {
        if (m.message == WM_WATCH_LOG && m.wParam == 2 && balloonSeq < 0)
            balloonSeq = static_cast<int32_t>(m.lParam);
        if (m.message == WM_WATCH_LOG && m.wParam == 1 && firstRowSeq < 0)
            firstRowSeq = static_cast<int32_t>(m.lParam);
    }
    EXPECT_EQ(firstRowSeq, balloonSeq);

    // With the balloon switched off no balloon message is posted at all.
    m_config->ShowInfo = 0;
    m_link->SetLastNotify(GetTickCount() - 1000);
    FillRecord(0, L"C:\\x", nullptr, kOtherPid, rule->id, 0);
    HandleRequest(m_link.get(), &m_record);
    msgs = m_sink.Drain();
    EXPECT_EQ(0, Count(msgs, WM_WATCH_LOG, 2));
    EXPECT_EQ(1, Count(msgs, WM_WATCH_LOG, 1));
}

TEST_F(RequestHandlingTest, RuleSetInUseSurvivesAReloadDuringThePrompt)
{
    Rule* rule = AddRule(2, RuleAction::Reject, RuleLog::Log, RuleFlag::Ask, L"still here");
    UseRules();
    std::weak_ptr<RuleSet> old = m_link->Rules();
    bool aliveDuringPrompt = false;
    std::wstring infoDuringPrompt;
    m_link->SetPromptFunction([&](const PromptInput& in) {
        m_link->SetRules(NewRuleSet()); // what a reload does meanwhile
        aliveDuringPrompt = !old.expired();
        infoDuringPrompt = in.rule->info;
        return 2;
    });
    FillRecord(2, L"C:\\Temp\\a.exe", nullptr, kOtherPid, rule->id, 0);
    HandleRequest(m_link.get(), &m_record);
    EXPECT_TRUE(aliveDuringPrompt);
    EXPECT_EQ(L"still here", infoDuringPrompt);
    EXPECT_EQ(2, m_record.verdict);
    EXPECT_TRUE(old.expired()) << "the replaced set is freed once the decision ends";
    EXPECT_NE(std::string::npos, LogText().find("C:\\Temp\\a.exe"));
}

TEST_F(RequestHandlingTest, CancelledThreadWritesAndCountsNothing)
{
    Rule* rule = AddRule(0, RuleAction::Reject, RuleLog::Log, RuleFlag::Ask, L"deny");
    UseRules();
    RequestThreadState state;
    m_link->SetPromptFunction([&](const PromptInput&) {
        std::lock_guard<std::mutex> guard(state.recordLock);
        state.cancelled = true; // the link is stopped while the prompt is open
        return 2;
    });
    FillRecord(0, L"C:\\x", nullptr, kOtherPid, rule->id, 0);
    HandleRequest(m_link.get(), &m_record, &state);
    EXPECT_EQ(0, m_record.verdict);
    EXPECT_EQ(0u, m_config->BlockCount);
    EXPECT_TRUE(m_sink.Drain().empty());
    EXPECT_EQ("", LogText());
}

TEST_F(RequestHandlingTest, LinkMutexIsHeldAcrossThePromptOnly)
{
    Rule* asking = AddRule(0, RuleAction::Reject, RuleLog::None, RuleFlag::Ask, L"ask");
    Rule* acting = AddRule(0, RuleAction::Feign, RuleLog::None, 0, L"act");
    UseRules();
    HANDLE mutex = m_link->LinkMutex();
    auto freeElsewhere = [mutex] { // whether another thread could take it now
        bool taken = false;
        std::thread([&] {
            if ((taken = WaitForSingleObject(mutex, 0) == WAIT_OBJECT_0))
                ReleaseMutex(mutex);
        }).join();
        return taken;
    };
    bool freeDuringPrompt = true;
    WATCH_SHARED_RECORD other;
    HANDLE decided = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_link->SetPromptFunction([&](const PromptInput&) {
        freeDuringPrompt = freeElsewhere();
        // A decision by a rule's action meanwhile does not wait for the
        // mutex the prompt holds (it would wait ten seconds for it).
        other = m_record;
        other.ruleId = acting->id;
        std::thread decision([&] {
            HandleRequest(m_link.get(), &other);
            SetEvent(decided);
        });
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(decided, 5000));
        decision.join();
        return ASK_REFUSE;
    });
    FillRecord(0, L"C:\\x", nullptr, kOtherPid, asking->id);
    HandleRequest(m_link.get(), &m_record);
    CloseHandle(decided);
    EXPECT_FALSE(freeDuringPrompt) << "a reload waits while the prompt is open";
    EXPECT_TRUE(freeElsewhere());
    EXPECT_EQ(1, other.verdict);
    EXPECT_EQ(2, m_record.verdict);
    EXPECT_EQ(2u, m_config->BlockCount);
}

TEST_F(RequestHandlingTest, AskingDecisionThatCannotHaveTheLinkMutexAsksNobodyAndKeepsThePreset)
{
    Rule* asking = AddRule(0, RuleAction::Accept, RuleLog::Log, RuleFlag::Ask, L"ask");
    UseRules();
    // Another prompt holds the mutex and does not end.
    HANDLE mutex = m_link->LinkMutex();
    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread prompt([&] {
        WaitForSingleObject(mutex, INFINITE);
        SetEvent(held);
        WaitForSingleObject(release, INFINITE);
        ReleaseMutex(mutex);
    });
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(held, 5000));
    m_link->SetLinkWait(50);

    FillRecord(0, L"C:\\x", nullptr, kOtherPid, asking->id, WATCH_VERDICT_REJECT);
    EXPECT_EQ(RequestOutcome::LinkBusy, HandleRequest(m_link.get(), &m_record));
    SetEvent(release);
    prompt.join();
    CloseHandle(held);
    CloseHandle(release);
    EXPECT_TRUE(m_prompts.empty());
    EXPECT_EQ(WATCH_VERDICT_REJECT, m_record.verdict);
    EXPECT_EQ(0u, m_config->BlockCount);
    EXPECT_TRUE(m_sink.Drain().empty());
    EXPECT_EQ("", LogText());

    // With the mutex free again the same request is asked and decided.
    EXPECT_EQ(RequestOutcome::Decided, HandleRequest(m_link.get(), &m_record));
    EXPECT_EQ(1u, m_prompts.size());
    EXPECT_EQ(1u, m_config->BlockCount);
}

TEST_F(RequestHandlingTest, RequestThreadSavesTheCountSoonAfterAndExactlyWhenItEnds)
{
    const Rule* rule = AddRule(0, RuleAction::Reject, RuleLog::None, 0, L"deny");
    const uint32_t id = rule->id;
    const uint64_t key = RuleContentKey(rule);
    UseRules();
    // The rule's own count goes into the hit file with the block counter.
    const std::wstring hitFile = m_folder + HM_HIT_FILE;
    DeleteFileW(hitFile.c_str());
    m_link->Hits().Open(hitFile);
    auto hitsSaved = [&] { return ReadRuleHitFile(hitFile)[key].count; };
    auto state = std::make_shared<RequestThreadState>();
    state->link = m_link.get();
    state->record = &m_record;
    state->requestEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    state->doneEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    state->stopEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    state->thread.Reset(CreateThread(nullptr, 0, RequestThreadProc, new std::shared_ptr<RequestThreadState>(state), 0,
                                     &state->threadId));
    ASSERT_TRUE(state->thread);
    auto decide = [&](int times) { // as the driver asks
        for (int i = 0; i < times; ++i) {
            FillRecord(0, L"C:\\x", nullptr, kOtherPid, id);
            ResetEvent(state->doneEvent.Get());
            SetEvent(state->requestEvent.Get());
            ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(state->doneEvent.Get(), 5000));
        }
    };
    CConfig stored(ConfigPlaces{ HKEY_CURRENT_USER, L"Software\\HarrowmereTest\\RequestHandling" });
    auto saved = [&] { return stored.Load() == 0 ? stored.BlockCount : 0u; };

    decide(3);
    // No request follows: the count is saved all the same.
    testwait::WaitUntil([&] { return saved() == 3 && hitsSaved() == 3; }, 10000);
    EXPECT_EQ(3u, saved());
    EXPECT_EQ(3u, hitsSaved());

    decide(2);
    {
        std::lock_guard<std::mutex> guard(state->recordLock);
        state->cancelled = true;
    }
    SetEvent(state->stopEvent.Get());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(state->thread.Get(), 5000));
    EXPECT_EQ(5u, saved()) << "the thread saves what it counted before it ends";
    EXPECT_EQ(5u, hitsSaved());
    EXPECT_EQ(5u, m_config->BlockCount);
    EXPECT_EQ(5, Count(m_sink.Drain(), WM_WATCH_COUNT, 0));
}

TEST_F(RequestHandlingTest, LogSaysWhoAnsweredAndEveryWayCountsOnce)
{
    Rule* asking = AddRule(0, RuleAction::Accept, RuleLog::Log, RuleFlag::Ask, L"ask");
    Rule* acting = AddRule(0, RuleAction::Reject, RuleLog::Log, 0, L"act");
    UseRules();
    const std::string prompt = WideToUtf8(L" -> 拒绝 (提示)\r\n"), memory = WideToUtf8(L" -> 拒绝 (记住的回答)\r\n"),
                      rule = WideToUtf8(L" -> 拒绝\r\n");
    struct Step {
        const char* name;
        uint32_t ruleId;
        const wchar_t* path;
        PromptAnswer answer; // what the prompt answers, if it is asked
        bool prompted;
        const std::string& line;
    } steps[] = {
        { "asked, refused for this once", asking->id, L"C:\\a.txt", PromptAnswer(ASK_REFUSE, AnswerDuration::Once, true), true, prompt },
        { "the same request behind it", asking->id, L"C:\\a.txt", PromptAnswer(ASK_ALLOW), false, memory },
        { "another file is asked", asking->id, L"C:\\b.txt", PromptAnswer(ASK_REFUSE, AnswerDuration::UntilExit, true), true, prompt },
        { "remembered", asking->id, L"C:\\b.txt", PromptAnswer(ASK_ALLOW), false, memory },
        { "by the rule", acting->id, L"C:\\a.txt", PromptAnswer(ASK_ALLOW), false, rule },
        { "timed out", asking->id, L"C:\\c.txt", PromptAnswer(ASK_REFUSE), true, prompt },
        { "a time-out leaves nothing", asking->id, L"C:\\c.txt", PromptAnswer(ASK_REFUSE), true, prompt },
    };
    std::string expected;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        const size_t prompts = m_prompts.size();
        m_link->SetPromptFunction([&](const PromptInput& in) {
            m_prompts.push_back(in);
            return step.answer;
        });
        FillRecord(0, step.path, nullptr, kOtherPid, step.ruleId, WATCH_VERDICT_ACCEPT);
        EXPECT_EQ(RequestOutcome::Decided, HandleRequest(m_link.get(), &m_record));
        EXPECT_EQ(WATCH_VERDICT_REJECT, m_record.verdict);
        EXPECT_EQ(step.prompted, m_prompts.size() > prompts);
        expected += "evil.exe " + WideToUtf8(L"文件操作 (") + WideToUtf8(step.path) + ")" + step.line;
    }
    std::string log = LogText();
    // Lines without their time stamps.
    std::string lines;
    for (size_t pos = 0, end; (end = log.find("\r\n", pos)) != std::string::npos; pos = end + 2)
        lines += log.substr(log.find(' ', pos) + 1, end + 2 - log.find(' ', pos) - 1);
    EXPECT_EQ(expected, lines);
    EXPECT_EQ(7u, m_config->BlockCount);

    // Once the requests that waited are answered the shared answer ends; a
    // lasting one ends when monitoring goes off.
    m_link->Answers().EndSharing();
    m_link->SetPromptFunction([&](const PromptInput& in) {
        m_prompts.push_back(in);
        return PromptAnswer(ASK_REFUSE);
    });
    for (const wchar_t* path : { L"C:\\a.txt", L"C:\\b.txt" }) {
        const size_t prompts = m_prompts.size();
        m_link->Stop();
        FillRecord(0, path, nullptr, kOtherPid, asking->id, WATCH_VERDICT_ACCEPT);
        HandleRequest(m_link.get(), &m_record);
        EXPECT_EQ(prompts + 1, m_prompts.size());
    }
}

TEST(ReadRequest, TextsAreBoundedByTheirFieldsWithoutNul)
{
    WATCH_SHARED_RECORD record;
    memset(&record, 'A', sizeof(record)); // no NUL anywhere in the texts
    record.kind = 1;
    WatchRequest r = ReadRequest(&record);
    EXPECT_EQ(static_cast<size_t>(WATCH_PARAM1_CHARS), r.param1.size());
    EXPECT_EQ(static_cast<size_t>(WATCH_PARAM2_CHARS), r.param2.size());
    EXPECT_EQ(std::wstring(WATCH_PROCESS_CHARS, L'A'), r.processName);

    memset(&record, 0, sizeof(record));
    strcpy(record.processName, "\xd6\xd0\xce\xc4.exe"); // GBK: the two characters of "Chinese"
    WatchRequest cn = ReadRequest(&record);
    EXPECT_EQ(L"\u4e2d\u6587.exe", cn.processName) << "process names are in the ANSI code page (936)";
}

} // namespace
