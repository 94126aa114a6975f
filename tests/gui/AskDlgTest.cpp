// The permission prompt, created from its template and driven with messages
// on a thread of its own, as the request thread runs it.
#include "watch/ui/AskDlg.h"

#include "base/Messages.h"
#include "gui/MessageSequence.h"
#include "gui/Screenshot.h"
#include "support/Wait.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace {

// Long enough that no tick arrives unless the test sends one.
const UINT kNoTicks = 3600 * 1000;

// One prompt for a request of `params` (taken over) and a rule with
// `action`, running modally on its own thread. Its clock stands still unless
// the test moves it; once the prompt is shown the clock has passed the answer
// delay, unless `early` keeps it at the moment the prompt appeared.
class Prompt {
public:
    Prompt(uint16_t action, PARAM_LIST* params, UINT tickMs = kNoTicks, DWORD pid = GetCurrentProcessId(),
           HWND mainWindow = nullptr, bool early = false)
        : m_params(params)
    {
        m_rule.action = action;
        m_rule.flags = RuleFlag::Ask;
        m_rule.info = L"阻止程序加入系统启动项";
        m_dialog = std::make_unique<CAskDlg>(L"hm_gui_tests.exe", pid, params, &m_rule, mainWindow);
        m_dialog->SetTickPeriod(tickMs);
        m_dialog->SetClock([this] {
            ++m_clockReads;
            return m_now.load();
        });
        m_thread = std::thread([this] {
            m_threadId = GetCurrentThreadId();
            gui::CMessageRecorder recorder({ WM_COMMAND, WM_CLOSE, WM_ASK_WITHDRAW, WM_DESTROY });
            m_result = m_dialog->Ask(nullptr);
            m_sequence = recorder.Sequence();
            m_done = true;
        });
        testwait::WaitUntil([this] {
            EnumThreadWindows(m_threadId, TakeVisibleDialog, reinterpret_cast<LPARAM>(&m_hwnd));
            return m_hwnd || m_done;
        }, 10000);
        if (!early)
            Advance(ASK_ANSWER_DELAY_MS);
    }
    ~Prompt()
    {
        if (!m_done && m_hwnd) // a failed check must not leave the thread waiting
            PostMessageW(m_hwnd, WM_COMMAND, IDCANCEL, 0);
        m_thread.join();
        FreeParamList(m_params);
    }

    HWND Hwnd() const { return m_hwnd; }
    const Rule& TheRule() const { return m_rule; }
    const CAskDlg& Dialog() const { return *m_dialog; }
    std::wstring Text(int id) const
    {
        wchar_t text[512] = {};
        GetDlgItemTextW(m_hwnd, id, text, 512);
        return text;
    }
    bool Visible(int id) const { return IsWindowVisible(GetDlgItem(m_hwnd, id)) != FALSE; }
    void Tick() const { SendMessageW(m_hwnd, WM_TIMER, ASK_TIMER_ID, 0); }
    void Advance(uint64_t ms) { m_now += ms; }
    // How often the prompt has read its clock: once when it appeared, then
    // once for each answer it weighed.
    int ClockReads() const { return m_clockReads.load(); }
    void Click(int id) const
    {
        PostMessageW(GetDlgItem(m_hwnd, id), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        PostMessageW(GetDlgItem(m_hwnd, id), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    }
    // Clicks and returns once the prompt's thread has handled the click.
    void ClickAndWait(int id) const
    {
        DWORD_PTR ignored = 0;
        for (UINT msg : { WM_LBUTTONDOWN, WM_LBUTTONUP })
            SendMessageTimeoutW(GetDlgItem(m_hwnd, id), msg, msg == WM_LBUTTONDOWN ? MK_LBUTTON : 0,
                                MAKELPARAM(2, 2), SMTO_NORMAL, 5000, &ignored);
    }
    // The control with the keyboard focus on the prompt's thread.
    HWND Focus() const
    {
        GUITHREADINFO info = { sizeof(info) };
        return GetGUIThreadInfo(m_threadId, &info) ? info.hwndFocus : nullptr;
    }
    // The answer once the prompt has closed; -1 while it is still open after
    // `timeoutMs`.
    int Result(DWORD timeoutMs = 10000) const
    {
        return testwait::WaitUntil([this] { return m_done.load(); }, timeoutMs) ? m_result.load() : -1;
    }
    // What the prompt's thread received while the prompt was open (commands,
    // withdrawal, destruction); complete once Result has answered.
    const std::vector<gui::RecordedMessage>& Sequence() const { return m_sequence; }

private:
    static BOOL CALLBACK TakeVisibleDialog(HWND hwnd, LPARAM param)
    {
        wchar_t cls[32];
        if (!IsWindowVisible(hwnd) || !GetClassNameW(hwnd, cls, 32) || wcscmp(cls, L"#32770") != 0)
            return TRUE;
        *reinterpret_cast<HWND*>(param) = hwnd;
        return FALSE;
    }

    Rule m_rule;
    PARAM_LIST* m_params;
    std::unique_ptr<CAskDlg> m_dialog;
    std::thread m_thread;
    HWND m_hwnd = nullptr;
    std::atomic<DWORD> m_threadId{ 0 };
    std::atomic<int> m_result{ -1 };
    std::atomic<bool> m_done{ false };
    std::atomic<uint64_t> m_now{ 100000 };
    std::atomic<int> m_clockReads{ 0 };
    std::vector<gui::RecordedMessage> m_sequence;
};

PARAM_LIST* FileRequest(const wchar_t* path, uint32_t kind = OperationKind::OpenFile)
{
    return BuildParamList(kind, "s", path);
}

const wchar_t kRunKey[] = L"\\REGISTRY\\MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

} // namespace

TEST(AskDlg, CountdownShowsRemainingSecondsAndEndsWithDefaultAnswer)
{
    struct Case {
        uint16_t action;
        const wchar_t* verb;
        int answer;
    } cases[] = { { RuleAction::Reject, L"拒绝", ASK_REFUSE },
                  { RuleAction::Feign, L"拒绝", ASK_REFUSE },
                  { RuleAction::Accept, L"允许", ASK_ALLOW } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        Prompt prompt(c.action, FileRequest(L"C:\\boot.ini"));
        ASSERT_NE(prompt.Hwnd(), nullptr);
        auto text = [&](int n) { return std::to_wstring(n) + L"秒后" + c.verb + L"此操作"; };
        EXPECT_EQ(prompt.Text(IDC_ASK_COUNTDOWN), text(30));
        prompt.Tick();
        EXPECT_EQ(prompt.Text(IDC_ASK_COUNTDOWN), text(29));
        for (int i = 2; i < ASK_COUNTDOWN_SECONDS; ++i)
            prompt.Tick();
        EXPECT_EQ(prompt.Text(IDC_ASK_COUNTDOWN), text(1));
        EXPECT_EQ(prompt.Result(50), -1) << "closed before the last tick";
        prompt.Tick();
        EXPECT_EQ(prompt.Result(), c.answer);
    }
}

TEST(AskDlg, RunningTimerTimesOutWithTheRuleDefault)
{
    for (uint16_t action : { RuleAction::Accept, RuleAction::Feign }) {
        SCOPED_TRACE(action);
        auto start = std::chrono::steady_clock::now();
        Prompt prompt(action, FileRequest(L"C:\\autoexec.bat"), 10);
        EXPECT_EQ(prompt.Result(), AskDefaultAnswer(action));
        // Thirty steps of at least 10 ms each.
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(290));
        EXPECT_EQ(prompt.Dialog().Remaining(), 0);
    }
}

TEST(AskDlg, RegistryRequestShowsBothParameterRows)
{
    Prompt prompt(RuleAction::Reject, BuildParamList(OperationKind::SetRegistryValue, "ss", kRunKey, L"自动更新程序"));
    ASSERT_NE(prompt.Hwnd(), nullptr);
    EXPECT_EQ(prompt.Text(IDC_ASK_HEADLINE), L"下列程序的操作已经被拦载,请选择允许或者拒绝该操作.");
    EXPECT_EQ(prompt.Text(IDC_ASK_OPERATION), L"操作: 注册表访问");
    EXPECT_EQ(prompt.Text(IDC_ASK_DESCRIPTION), L"阻止程序加入系统启动项");
    EXPECT_EQ(prompt.Text(IDC_ASK_PARAM1_LABEL), L"注册表路径:");
    EXPECT_EQ(prompt.Text(IDC_ASK_PARAM1), kRunKey);
    EXPECT_EQ(prompt.Text(IDC_ASK_PARAM2_LABEL), L"注册表名称:");
    EXPECT_EQ(prompt.Text(IDC_ASK_PARAM2), L"自动更新程序");
    for (int id : { IDC_ASK_PARAM1_LABEL, IDC_ASK_PARAM1, IDC_ASK_PARAM2_LABEL, IDC_ASK_PARAM2 })
        EXPECT_TRUE(prompt.Visible(id)) << id;
    // Painted before the picture is taken: the paint is sent to the prompt's
    // thread, and the call returns once it is done.
    RedrawWindow(prompt.Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    EXPECT_TRUE(gui::SaveScreenshot(prompt.Hwnd(), L"ask-registry.bmp"));
}

TEST(AskDlg, OtherKindsShowOneParameterRow)
{
    struct Case {
        uint32_t kind;
        const wchar_t* operation;
    } cases[] = { { OperationKind::OpenFile, L"操作: 文件操作" },
                  { OperationKind::Execute, L"操作: 运行程序" },
                  { 3, L"操作: [无效]" } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        Prompt prompt(RuleAction::Reject, FileRequest(L"C:\\WINDOWS\\system32\\drivers\\etc\\hosts", c.kind));
        ASSERT_NE(prompt.Hwnd(), nullptr);
        EXPECT_EQ(prompt.Text(IDC_ASK_OPERATION), c.operation);
        EXPECT_EQ(prompt.Text(IDC_ASK_PARAM1_LABEL), L"文件路径:");
        EXPECT_EQ(prompt.Text(IDC_ASK_PARAM1), L"C:\\WINDOWS\\system32\\drivers\\etc\\hosts");
        EXPECT_TRUE(prompt.Visible(IDC_ASK_PARAM1));
        EXPECT_FALSE(prompt.Visible(IDC_ASK_PARAM2_LABEL));
        EXPECT_FALSE(prompt.Visible(IDC_ASK_PARAM2));
    }
}

TEST(AskDlg, ParameterTextsAreCutToOneHundredCharacters)
{
    std::wstring key = std::wstring(kRunKey) + std::wstring(150, L'k');
    Prompt prompt(RuleAction::Reject, BuildParamList(OperationKind::SetRegistryValue, "s*", key.c_str()));
    ASSERT_NE(prompt.Hwnd(), nullptr);
    EXPECT_EQ(prompt.Text(IDC_ASK_PARAM1), key.substr(0, ASK_PARAM_CHARS));
    EXPECT_EQ(prompt.Text(IDC_ASK_PARAM2), L"*");
}

TEST(AskDlg, ButtonsKeysAndCloseBoxAnswer)
{
    enum How { Button, KeyDown, KeyUp, KeyUpInField, CloseBox };
    struct Case {
        const char* name;
        How how;
        WPARAM what; // button id or virtual key
        int answer;
    } cases[] = {
        { "allow button", Button, IDOK, ASK_ALLOW },     { "refuse button", Button, IDCANCEL, ASK_REFUSE },
        { "Enter", KeyDown, VK_RETURN, ASK_ALLOW },       { "Escape", KeyDown, VK_ESCAPE, ASK_REFUSE },
        { "close box", CloseBox, 0, ASK_REFUSE },         { "F1 released", KeyUp, VK_F1, ASK_ALLOW },
        { "F2 released", KeyUp, VK_F2, ASK_REFUSE },      { "F1 in a field", KeyUpInField, VK_F1, ASK_ALLOW },
        { "F2 in a field", KeyUpInField, VK_F2, ASK_REFUSE },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The rule's default is the other answer, so that neither a time-out
        // nor a wrong default passes for the user's choice.
        Prompt prompt(c.answer == ASK_ALLOW ? RuleAction::Reject : RuleAction::Accept, FileRequest(L"C:\\a.txt"));
        HWND hwnd = prompt.Hwnd();
        ASSERT_NE(hwnd, nullptr);
        if (c.how == KeyUpInField)
            SendMessageW(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(hwnd, IDC_ASK_PARAM1)), TRUE);
        HWND focus = prompt.Focus();
        ASSERT_TRUE(focus && IsChild(hwnd, focus));
        switch (c.how) {
        case Button:
            PostMessageW(GetDlgItem(hwnd, static_cast<int>(c.what)), BM_CLICK, 0, 0);
            break;
        case KeyDown:
            PostMessageW(focus, WM_KEYDOWN, c.what, 1);
            break;
        case KeyUp:
        case KeyUpInField:
            PostMessageW(focus, WM_KEYUP, VK_F3, 0xC0000001); // no meaning: must not answer
            PostMessageW(focus, WM_KEYUP, c.what, 0xC0000001);
            break;
        case CloseBox:
            PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        }
        EXPECT_EQ(prompt.Result(), c.answer);
    }
}

TEST(AskDlg, AnswerTravelsAsTheButtonCommandWithdrawalAsNone)
{
    using namespace gui;
    struct Case {
        const char* name;
        UINT trigger; // posted to the prompt, or to its focus for WM_KEYUP
        WPARAM wParam;
        int answer;
        std::vector<ExpectedMessage> sequence;
    } cases[] = {
        { "F1 released", WM_KEYUP, VK_F1, ASK_ALLOW,
          { { WM_COMMAND, SEQ_POSTED | SEQ_WPARAM, MAKEWPARAM(IDOK, BN_CLICKED) }, { WM_DESTROY, SEQ_SENT } } },
        { "F2 released", WM_KEYUP, VK_F2, ASK_REFUSE,
          { { WM_COMMAND, SEQ_POSTED | SEQ_WPARAM, MAKEWPARAM(IDCANCEL, BN_CLICKED) }, { WM_DESTROY, SEQ_SENT } } },
        { "withdrawn", WM_ASK_WITHDRAW, 0, ASK_WITHDRAWN,
          { { WM_ASK_WITHDRAW, SEQ_POSTED }, { WM_DESTROY, SEQ_SENT } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Prompt prompt(RuleAction::Reject, FileRequest(L"C:\\a.txt"));
        ASSERT_NE(prompt.Hwnd(), nullptr);
        HWND target = c.trigger == WM_KEYUP ? prompt.Focus() : prompt.Hwnd();
        PostMessageW(target, c.trigger, c.wParam, c.trigger == WM_KEYUP ? 0xC0000001 : 0);
        ASSERT_EQ(prompt.Result(), c.answer);
        // The fields' focus notifications are sent commands; the answer is posted.
        std::vector<RecordedMessage> path;
        for (const RecordedMessage& m : ForWindow(prompt.Sequence(), prompt.Hwnd()))
            if (m.message != WM_COMMAND || m.posted)
                path.push_back(m);
        EXPECT_TRUE(SequenceMatches(path, c.sequence));
    }
}

TEST(AskDlg, EditRuleLinkPostsRuleIdentityAndAnswersDefault)
{
    for (uint16_t action : { RuleAction::Accept, RuleAction::Feign }) {
        SCOPED_TRACE(action);
        HWND main = CreateWindowW(L"STATIC", L"main", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        ASSERT_NE(main, nullptr);
        {
            Prompt prompt(action, FileRequest(L"C:\\a.txt"), kNoTicks, GetCurrentProcessId(), main);
            ASSERT_NE(prompt.Hwnd(), nullptr);
            EXPECT_EQ(prompt.Text(IDC_ASK_EDIT_RULE), L"编辑规则");
            prompt.Click(IDC_ASK_EDIT_RULE);
            EXPECT_EQ(prompt.Result(), AskDefaultAnswer(action));
            MSG msg;
            ASSERT_TRUE(PeekMessageW(&msg, main, WM_WATCH_EDIT_RULE, WM_WATCH_EDIT_RULE, PM_REMOVE));
            EXPECT_EQ(msg.wParam, prompt.TheRule().id);
            EXPECT_EQ(msg.lParam, 0);
            EXPECT_FALSE(PeekMessageW(&msg, main, WM_WATCH_EDIT_RULE, WM_WATCH_EDIT_RULE, PM_REMOVE));
        }
        DestroyWindow(main);
    }
}

TEST(AskDlg, PropertiesLinkKeepsTheCountdownRunning)
{
    Prompt prompt(RuleAction::Reject, FileRequest(L"C:\\a.txt"), 100); // three seconds in all
    ASSERT_NE(prompt.Hwnd(), nullptr);
    EXPECT_EQ(prompt.Text(IDC_ASK_PROPERTIES), L"查看文件属性");
    prompt.ClickAndWait(IDC_ASK_PROPERTIES);
    std::wstring afterClick = prompt.Text(IDC_ASK_COUNTDOWN);
    EXPECT_EQ(prompt.Result(500), -1) << "the link closed the prompt";
    EXPECT_NE(prompt.Text(IDC_ASK_COUNTDOWN), afterClick) << "the countdown stopped";
    PostMessageW(prompt.Hwnd(), WM_COMMAND, IDOK, 0);
    EXPECT_EQ(prompt.Result(), ASK_ALLOW);
}

TEST(AskDlg, ShowsProcessPathIconAndWindowFrame)
{
    const DWORD pid = GetCurrentProcessId();
    Prompt prompt(RuleAction::Reject, FileRequest(L"C:\\a.txt"), kNoTicks, pid);
    HWND hwnd = prompt.Hwnd();
    ASSERT_NE(hwnd, nullptr);
    wchar_t own[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, own, MAX_PATH);
    EXPECT_EQ(prompt.Text(IDC_ASK_PROCESS), std::wstring(own) + L" (PID: " + std::to_wstring(pid) + L")");
    EXPECT_NE(SendDlgItemMessageW(hwnd, IDC_ASK_PROCESS_ICON, STM_GETICON, 0, 0), 0);
    EXPECT_NE(SendDlgItemMessageW(hwnd, IDOK, BM_GETIMAGE, IMAGE_ICON, 0), 0);
    EXPECT_NE(SendDlgItemMessageW(hwnd, IDCANCEL, BM_GETIMAGE, IMAGE_ICON, 0), 0);
    EXPECT_EQ(GetWindowLongPtrW(GetDlgItem(hwnd, IDOK), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);

    wchar_t title[64] = {};
    GetWindowTextW(hwnd, title, 64);
    EXPECT_STREQ(title, L"Harrowmere 监控信息");
    LONG_PTR exStyle = GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
    EXPECT_TRUE((exStyle & WS_EX_TOPMOST) && (exStyle & WS_EX_APPWINDOW));
    RECT window, desktop;
    GetWindowRect(hwnd, &window);
    GetWindowRect(GetDesktopWindow(), &desktop);
    EXPECT_NEAR(window.left + window.right, desktop.left + desktop.right, 2);
    EXPECT_NEAR(window.top + window.bottom, desktop.top + desktop.bottom, 2);
}

TEST(AskDlg, UnknownProcessShowsAnEmptyPath)
{
    Prompt prompt(RuleAction::Reject, FileRequest(L"C:\\a.txt"), kNoTicks, 3); // ids are multiples of four
    ASSERT_NE(prompt.Hwnd(), nullptr);
    EXPECT_EQ(prompt.Text(IDC_ASK_PROCESS), L" (PID: 3)");
}

TEST(AskDlg, PromptThatIsCancelledOrCannotBeCreatedAnswersNothing)
{
    // An answer of neither ASK_ALLOW nor ASK_REFUSE leaves the driver's
    // preset verdict; the rule's default answer would decide for the user.
    Rule rule;
    rule.action = RuleAction::Accept;
    PARAM_LIST* params = BuildParamList(OperationKind::OpenFile, "s", L"C:\\a.txt");
    {
        CAskDlg prompt(L"x.exe", GetCurrentProcessId(), params, &rule, nullptr);
        prompt.SetCancelCheck([] { return true; });
        EXPECT_EQ(ASK_WITHDRAWN, prompt.Ask(nullptr)) << "the link was stopped";
    }
    {
        CAskDlg prompt(L"x.exe", GetCurrentProcessId(), params, &rule, nullptr);
        HWND gone = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        DestroyWindow(gone);
        EXPECT_EQ(ASK_WITHDRAWN, prompt.Ask(gone)) << "an owner that is gone: no window";
    }
    FreeParamList(params);
}

TEST(AskDlg, AnswersCountOnlyOnceThePromptHasBeenShownForTheDelay)
{
    using namespace gui;
    enum How { Button, KeyDown, KeyUp, CloseBox };
    struct Case {
        const char* name;
        How how;
        WPARAM what; // button id or virtual key
        int button;  // the command it gives
    } cases[] = {
        { "allow button", Button, IDOK, IDOK }, { "refuse button", Button, IDCANCEL, IDCANCEL },
        { "Enter", KeyDown, VK_RETURN, IDOK },  { "Escape", KeyDown, VK_ESCAPE, IDCANCEL },
        { "F1", KeyUp, VK_F1, IDOK },           { "F2", KeyUp, VK_F2, IDCANCEL },
        { "close box", CloseBox, 0, IDCANCEL },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int answer = c.button == IDOK ? ASK_ALLOW : ASK_REFUSE;
        Prompt prompt(answer == ASK_ALLOW ? RuleAction::Reject : RuleAction::Accept, FileRequest(L"C:\a.txt"),
                      kNoTicks, GetCurrentProcessId(), nullptr, true);
        HWND hwnd = prompt.Hwnd();
        ASSERT_NE(hwnd, nullptr);
        auto trigger = [&] {
            const int reads = prompt.ClockReads();
            HWND focus = prompt.Focus();
            switch (c.how) {
            case Button:
                PostMessageW(GetDlgItem(hwnd, static_cast<int>(c.what)), BM_CLICK, 0, 0);
                break;
            case KeyDown:
                PostMessageW(focus, WM_KEYDOWN, c.what, 1);
                break;
            case KeyUp:
                PostMessageW(focus, WM_KEYUP, c.what, 0xC0000001);
                break;
            case CloseBox:
                PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
                break;
            }
            // The prompt has weighed the answer once it has read its clock.
            return testwait::WaitUntil([&] { return prompt.ClockReads() > reads; }, 10000);
        };
        prompt.Advance(ASK_ANSWER_DELAY_MS - 1);
        ASSERT_TRUE(trigger());
        EXPECT_EQ(prompt.Result(100), -1) << "answered before the delay had passed";
        prompt.Advance(1);
        ASSERT_TRUE(trigger());
        ASSERT_EQ(prompt.Result(), answer);

        // Both answers reached the prompt (the close box as WM_CLOSE, the
        // others as the button's command); only the second closed it.
        std::vector<RecordedMessage> path;
        for (const RecordedMessage& m : ForWindow(prompt.Sequence(), hwnd))
            if (m.message != WM_COMMAND || LOWORD(m.wParam) == c.button)
                path.push_back(m);
        const ExpectedMessage answered = c.how == CloseBox
                                             ? ExpectedMessage{ WM_CLOSE }
                                             : ExpectedMessage{ WM_COMMAND, SEQ_WPARAM, MAKEWPARAM(c.button, BN_CLICKED) };
        EXPECT_TRUE(SequenceMatches(path, { answered, answered, { WM_DESTROY, SEQ_SENT } }));
    }
}
