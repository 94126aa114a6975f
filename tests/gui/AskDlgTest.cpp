// The permission prompt, created from its template and driven with messages
// on a thread of its own, as the request thread runs it.
#include "watch/AskDlg.h"

#include "app/Messages.h"
#include "gui/Screenshot.h"
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

struct ParamListDeleter {
    void operator()(PARAM_LIST* list) const { FreeParamList(list); }
};
using ParamListPtr = std::unique_ptr<PARAM_LIST, ParamListDeleter>;

std::unique_ptr<Rule> MakeRule(uint16_t action, const wchar_t* description)
{
    auto rule = std::make_unique<Rule>();
    rule->action = action;
    rule->flags = RuleFlag::Ask;
    rule->info = description;
    return rule;
}

ParamListPtr FileRequest(const wchar_t* path, uint32_t kind = OperationKind::OpenFile)
{
    return ParamListPtr(BuildParamList(kind, "s", path));
}

ParamListPtr RegistryRequest(const wchar_t* key, const wchar_t* value)
{
    return ParamListPtr(BuildParamList(OperationKind::SetRegistryValue, "ss", key, value));
}

// One prompt running modally on its own thread.
class PromptRun {
public:
    explicit PromptRun(CAskDlg& dialog) : m_dialog(dialog)
    {
        m_thread = std::thread([this] {
            m_threadId = GetCurrentThreadId();
            m_result = m_dialog.Ask(nullptr);
            m_done = true;
        });
    }

    ~PromptRun()
    {
        // A failed check must not leave the thread waiting on a window.
        if (!m_done) {
            if (HWND hwnd = FindPrompt(2000))
                PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
        }
        m_thread.join();
    }

    // The prompt once it is visible, or null after `timeoutMs`.
    HWND WaitForWindow(DWORD timeoutMs = 10000) { return FindPrompt(timeoutMs); }

    // The result once the prompt has closed, or -1 when it is still open
    // after `timeoutMs`.
    int WaitForResult(DWORD timeoutMs = 10000)
    {
        for (DWORD waited = 0; !m_done && waited < timeoutMs; waited += 5)
            Sleep(5);
        return m_done ? m_result.load() : -1;
    }

    bool Done() const { return m_done; }
    DWORD ThreadId() const { return m_threadId; }

    // The control that has the keyboard focus on the prompt's thread.
    HWND Focus() const
    {
        GUITHREADINFO info = { sizeof(info) };
        return GetGUIThreadInfo(m_threadId, &info) ? info.hwndFocus : nullptr;
    }

private:
    // The visible dialog window of the prompt's thread.
    static BOOL CALLBACK TakeDialog(HWND hwnd, LPARAM param)
    {
        wchar_t cls[32];
        if (IsWindowVisible(hwnd) && GetClassNameW(hwnd, cls, 32) && wcscmp(cls, L"#32770") == 0) {
            *reinterpret_cast<HWND*>(param) = hwnd;
            return FALSE;
        }
        return TRUE;
    }

    HWND FindPrompt(DWORD timeoutMs)
    {
        for (DWORD waited = 0;; waited += 5) {
            HWND found = nullptr;
            if (m_threadId)
                EnumThreadWindows(m_threadId, TakeDialog, reinterpret_cast<LPARAM>(&found));
            if (found || m_done || waited >= timeoutMs)
                return found;
            Sleep(5);
        }
    }

    CAskDlg& m_dialog;
    std::thread m_thread;
    std::atomic<DWORD> m_threadId{ 0 };
    std::atomic<int> m_result{ -1 };
    std::atomic<bool> m_done{ false };
};

std::wstring ItemText(HWND dialog, int id)
{
    wchar_t text[512] = {};
    GetDlgItemTextW(dialog, id, text, 512);
    return text;
}

bool ItemVisible(HWND dialog, int id)
{
    return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE;
}

void Tick(HWND dialog)
{
    SendMessageW(dialog, WM_TIMER, ASK_TIMER_ID, 0);
}

std::wstring OwnModulePath()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

} // namespace

TEST(AskDlg, CountdownShowsRemainingSecondsAndEndsWithDefaultAnswer)
{
    struct Case {
        uint16_t action;
        const wchar_t* first;
        const wchar_t* second;
        const wchar_t* last;
        int answer;
    } cases[] = {
        { RuleAction::Reject, L"30秒后拒绝此操作", L"29秒后拒绝此操作", L"1秒后拒绝此操作", ASK_REFUSE },
        { RuleAction::Feign, L"30秒后拒绝此操作", L"29秒后拒绝此操作", L"1秒后拒绝此操作", ASK_REFUSE },
        { RuleAction::Accept, L"30秒后允许此操作", L"29秒后允许此操作", L"1秒后允许此操作", ASK_ALLOW },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        auto rule = MakeRule(c.action, L"countdown");
        auto params = FileRequest(L"C:\\boot.ini");
        CAskDlg dialog(L"x.exe", GetCurrentProcessId(), params.get(), rule.get(), nullptr);
        dialog.SetTickPeriod(kNoTicks);
        PromptRun run(dialog);
        HWND hwnd = run.WaitForWindow();
        ASSERT_NE(hwnd, nullptr);
        EXPECT_EQ(ItemText(hwnd, IDC_ASK_COUNTDOWN), c.first);
        Tick(hwnd);
        EXPECT_EQ(ItemText(hwnd, IDC_ASK_COUNTDOWN), c.second);
        for (int i = 2; i < ASK_COUNTDOWN_SECONDS; ++i)
            Tick(hwnd);
        EXPECT_EQ(ItemText(hwnd, IDC_ASK_COUNTDOWN), c.last);
        EXPECT_EQ(run.WaitForResult(50), -1) << "closed before the last tick";
        Tick(hwnd);
        EXPECT_EQ(run.WaitForResult(), c.answer);
        EXPECT_EQ(dialog.Remaining(), 0);
    }
}

TEST(AskDlg, RunningTimerTimesOutWithTheRuleDefault)
{
    struct Case {
        uint16_t action;
        int answer;
    } cases[] = { { RuleAction::Accept, ASK_ALLOW }, { RuleAction::Feign, ASK_REFUSE } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        auto rule = MakeRule(c.action, L"timer");
        auto params = FileRequest(L"C:\\autoexec.bat");
        CAskDlg dialog(L"x.exe", GetCurrentProcessId(), params.get(), rule.get(), nullptr);
        dialog.SetTickPeriod(10);
        auto start = std::chrono::steady_clock::now();
        PromptRun run(dialog);
        EXPECT_EQ(run.WaitForResult(), c.answer);
        auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        // Thirty steps of at least 10 ms each.
        EXPECT_GE(elapsed.count(), 290);
        EXPECT_EQ(dialog.Remaining(), 0);
    }
}

TEST(AskDlg, RegistryRequestShowsBothParameterRows)
{
    auto rule = MakeRule(RuleAction::Reject, L"阻止程序加入系统启动项");
    auto params = RegistryRequest(L"\\REGISTRY\\MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                                  L"自动更新程序");
    CAskDlg dialog(L"hm_gui_tests.exe", GetCurrentProcessId(), params.get(), rule.get(), nullptr);
    dialog.SetTickPeriod(kNoTicks);
    PromptRun run(dialog);
    HWND hwnd = run.WaitForWindow();
    ASSERT_NE(hwnd, nullptr);

    EXPECT_EQ(ItemText(hwnd, IDC_ASK_OPERATION), L"操作: 注册表访问");
    EXPECT_EQ(ItemText(hwnd, IDC_ASK_PARAM1_LABEL), L"注册表路径:");
    EXPECT_EQ(ItemText(hwnd, IDC_ASK_PARAM1), L"\\REGISTRY\\MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
    EXPECT_EQ(ItemText(hwnd, IDC_ASK_PARAM2_LABEL), L"注册表名称:");
    EXPECT_EQ(ItemText(hwnd, IDC_ASK_PARAM2), L"自动更新程序");
    EXPECT_EQ(ItemText(hwnd, IDC_ASK_DESCRIPTION), L"阻止程序加入系统启动项");
    EXPECT_EQ(ItemText(hwnd, IDC_ASK_HEADLINE), L"下列程序的操作已经被拦载,请选择允许或者拒绝该操作.");
    for (int id : { IDC_ASK_PARAM1_LABEL, IDC_ASK_PARAM1, IDC_ASK_PARAM2_LABEL, IDC_ASK_PARAM2 })
        EXPECT_TRUE(ItemVisible(hwnd, id)) << id;

    Sleep(300); // let it paint before the picture is taken
    EXPECT_TRUE(gui::SaveScreenshot(hwnd, L"ask-registry.bmp"));
    PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(run.WaitForResult(), ASK_REFUSE);
}

TEST(AskDlg, FileAndProgramRequestsHideTheSecondRow)
{
    struct Case {
        uint32_t kind;
        const wchar_t* operation;
    } cases[] = { { OperationKind::OpenFile, L"操作: 文件操作" }, { OperationKind::Execute, L"操作: 运行程序" } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        auto rule = MakeRule(RuleAction::Reject, L"file");
        auto params = FileRequest(L"C:\\WINDOWS\\system32\\drivers\\etc\\hosts", c.kind);
        CAskDlg dialog(L"x.exe", GetCurrentProcessId(), params.get(), rule.get(), nullptr);
        dialog.SetTickPeriod(kNoTicks);
        PromptRun run(dialog);
        HWND hwnd = run.WaitForWindow();
        ASSERT_NE(hwnd, nullptr);
        EXPECT_EQ(ItemText(hwnd, IDC_ASK_OPERATION), c.operation);
        EXPECT_EQ(ItemText(hwnd, IDC_ASK_PARAM1_LABEL), L"文件路径:");
        EXPECT_EQ(ItemText(hwnd, IDC_ASK_PARAM1), L"C:\\WINDOWS\\system32\\drivers\\etc\\hosts");
        EXPECT_TRUE(ItemVisible(hwnd, IDC_ASK_PARAM1));
        EXPECT_FALSE(ItemVisible(hwnd, IDC_ASK_PARAM2_LABEL));
        EXPECT_FALSE(ItemVisible(hwnd, IDC_ASK_PARAM2));
        PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(run.WaitForResult(), ASK_REFUSE);
    }
}

TEST(AskDlg, ParameterTextsAreCutToOneHundredCharacters)
{
    std::wstring longKey = L"\\REGISTRY\\USER\\";
    while (longKey.size() < 150)
        longKey += L'k';
    auto rule = MakeRule(RuleAction::Reject, L"long");
    ParamListPtr params(BuildParamList(OperationKind::SetRegistryValue, "s*", longKey.c_str()));
    CAskDlg dialog(L"x.exe", GetCurrentProcessId(), params.get(), rule.get(), nullptr);
    dialog.SetTickPeriod(kNoTicks);
    PromptRun run(dialog);
    HWND hwnd = run.WaitForWindow();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(ItemText(hwnd, IDC_ASK_PARAM1), longKey.substr(0, ASK_PARAM_CHARS));
    EXPECT_EQ(ItemText(hwnd, IDC_ASK_PARAM2), L"*");
    PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(run.WaitForResult(), ASK_REFUSE);
}

TEST(AskDlg, KindOutsideTheTableShowsInvalid)
{
    auto rule = MakeRule(RuleAction::Reject, L"invalid");
    ParamListPtr params(BuildParamList(3, "s", L"C:\\x"));
    CAskDlg dialog(L"x.exe", GetCurrentProcessId(), params.get(), rule.get(), nullptr);
    dialog.SetTickPeriod(kNoTicks);
    PromptRun run(dialog);
    HWND hwnd = run.WaitForWindow();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(ItemText(hwnd, IDC_ASK_OPERATION), L"操作: [无效]");
    PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(run.WaitForResult(), ASK_REFUSE);
}

TEST(AskDlg, ButtonsKeysAndCloseBoxAnswer)
{
    enum How { Button, KeyDown, KeyUp, CloseBox };
    struct Case {
        const char* name;
        How how;
        WPARAM what; // button id or virtual key
        int answer;
    } cases[] = {
        { "allow button", Button, IDOK, ASK_ALLOW },
        { "refuse button", Button, IDCANCEL, ASK_REFUSE },
        { "Enter", KeyDown, VK_RETURN, ASK_ALLOW },
        { "Escape", KeyDown, VK_ESCAPE, ASK_REFUSE },
        { "close box", CloseBox, 0, ASK_REFUSE },
        { "F1 released", KeyUp, VK_F1, ASK_ALLOW },
        { "F2 released", KeyUp, VK_F2, ASK_REFUSE },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The rule's default is the other answer, so a time-out or a wrong
        // default cannot pass for the user's choice.
        auto rule = MakeRule(c.answer == ASK_ALLOW ? RuleAction::Reject : RuleAction::Accept, L"answer");
        auto params = FileRequest(L"C:\\a.txt");
        CAskDlg dialog(L"x.exe", GetCurrentProcessId(), params.get(), rule.get(), nullptr);
        dialog.SetTickPeriod(kNoTicks);
        PromptRun run(dialog);
        HWND hwnd = run.WaitForWindow();
        ASSERT_NE(hwnd, nullptr);
        HWND focus = run.Focus();
        ASSERT_TRUE(focus == hwnd || IsChild(hwnd, focus));
        switch (c.how) {
        case Button:
            PostMessageW(GetDlgItem(hwnd, static_cast<int>(c.what)), BM_CLICK, 0, 0);
            break;
        case KeyDown:
            PostMessageW(focus, WM_KEYDOWN, c.what, 1);
            break;
        case KeyUp:
            // A key without meaning first: it must not answer.
            PostMessageW(focus, WM_KEYUP, VK_F3, 0xC0000001);
            PostMessageW(focus, WM_KEYUP, c.what, 0xC0000001);
            break;
        case CloseBox:
            PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        }
        EXPECT_EQ(run.WaitForResult(), c.answer);
    }
}

TEST(AskDlg, FunctionKeysAnswerWhileTheFocusIsInAField)
{
    auto rule = MakeRule(RuleAction::Accept, L"focus");
    auto params = FileRequest(L"C:\\a.txt");
    CAskDlg dialog(L"x.exe", GetCurrentProcessId(), params.get(), rule.get(), nullptr);
    dialog.SetTickPeriod(kNoTicks);
    PromptRun run(dialog);
    HWND hwnd = run.WaitForWindow();
    ASSERT_NE(hwnd, nullptr);
    HWND edit = GetDlgItem(hwnd, IDC_ASK_PARAM1);
    SendMessageW(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
    ASSERT_EQ(run.Focus(), edit);
    PostMessageW(edit, WM_KEYUP, VK_F2, 0xC0000001);
    EXPECT_EQ(run.WaitForResult(), ASK_REFUSE);
}

TEST(AskDlg, EditRuleLinkPostsRuleIdentityAndAnswersDefault)
{
    for (uint16_t action : { RuleAction::Accept, RuleAction::Feign }) {
        SCOPED_TRACE(action);
        HWND mainWindow = CreateWindowW(L"STATIC", L"main", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        ASSERT_NE(mainWindow, nullptr);
        auto rule = MakeRule(action, L"edit");
        auto params = FileRequest(L"C:\\a.txt");
        CAskDlg dialog(L"x.exe", GetCurrentProcessId(), params.get(), rule.get(), mainWindow);
        dialog.SetTickPeriod(kNoTicks);
        PromptRun run(dialog);
        HWND hwnd = run.WaitForWindow();
        ASSERT_NE(hwnd, nullptr);
        HWND link = GetDlgItem(hwnd, IDC_ASK_EDIT_RULE);
        EXPECT_EQ(ItemText(hwnd, IDC_ASK_EDIT_RULE), L"编辑规则");
        PostMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        PostMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
        EXPECT_EQ(run.WaitForResult(), AskDefaultAnswer(action));

        MSG msg;
        ASSERT_TRUE(PeekMessageW(&msg, mainWindow, WM_WATCH_EDIT_RULE, WM_WATCH_EDIT_RULE, PM_REMOVE));
        EXPECT_EQ(msg.wParam, rule->id);
        EXPECT_EQ(msg.lParam, 0);
        EXPECT_FALSE(PeekMessageW(&msg, mainWindow, WM_WATCH_EDIT_RULE, WM_WATCH_EDIT_RULE, PM_REMOVE));
        DestroyWindow(mainWindow);
    }
}

TEST(AskDlg, PropertiesLinkKeepsTheCountdownRunning)
{
    auto rule = MakeRule(RuleAction::Reject, L"properties");
    auto params = FileRequest(L"C:\\a.txt");
    CAskDlg dialog(L"x.exe", GetCurrentProcessId(), params.get(), rule.get(), nullptr);
    dialog.SetTickPeriod(100); // the whole countdown takes three seconds
    PromptRun run(dialog);
    HWND hwnd = run.WaitForWindow();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(ItemText(hwnd, IDC_ASK_PROPERTIES), L"查看文件属性");
    HWND link = GetDlgItem(hwnd, IDC_ASK_PROPERTIES);
    PostMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    PostMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    Sleep(100);
    std::wstring afterClick = ItemText(hwnd, IDC_ASK_COUNTDOWN);
    EXPECT_EQ(run.WaitForResult(500), -1) << "the link closed the prompt";
    EXPECT_NE(ItemText(hwnd, IDC_ASK_COUNTDOWN), afterClick) << "the countdown stopped";
    PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(run.WaitForResult(), ASK_ALLOW);
}

TEST(AskDlg, ShowsOwnProcessPathAndWindowFrame)
{
    auto rule = MakeRule(RuleAction::Reject, L"self");
    auto params = FileRequest(L"C:\\a.txt");
    const DWORD pid = GetCurrentProcessId();
    CAskDlg dialog(L"hm_gui_tests.exe", pid, params.get(), rule.get(), nullptr);
    dialog.SetTickPeriod(kNoTicks);
    PromptRun run(dialog);
    HWND hwnd = run.WaitForWindow();
    ASSERT_NE(hwnd, nullptr);

    std::wstring expected = OwnModulePath() + L" (PID: " + std::to_wstring(pid) + L")";
    EXPECT_EQ(ItemText(hwnd, IDC_ASK_PROCESS), expected);
    EXPECT_NE(SendDlgItemMessageW(hwnd, IDC_ASK_PROCESS_ICON, STM_GETICON, 0, 0), 0);

    wchar_t title[64] = {};
    GetWindowTextW(hwnd, title, 64);
    EXPECT_STREQ(title, L"Harrowmere 监控信息");
    LONG_PTR exStyle = GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    EXPECT_TRUE(exStyle & WS_EX_APPWINDOW);
    RECT window, desktop;
    GetWindowRect(hwnd, &window);
    GetWindowRect(GetDesktopWindow(), &desktop);
    EXPECT_NEAR((window.left + window.right) / 2, (desktop.left + desktop.right) / 2, 1);
    EXPECT_NEAR((window.top + window.bottom) / 2, (desktop.top + desktop.bottom) / 2, 1);
    EXPECT_EQ(GetWindowLongPtrW(GetDlgItem(hwnd, IDOK), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_NE(SendDlgItemMessageW(hwnd, IDOK, BM_GETIMAGE, IMAGE_ICON, 0), 0);
    EXPECT_NE(SendDlgItemMessageW(hwnd, IDCANCEL, BM_GETIMAGE, IMAGE_ICON, 0), 0);

    PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(run.WaitForResult(), ASK_REFUSE);
    EXPECT_EQ(dialog.ProcessName(), L"hm_gui_tests.exe");
}

TEST(AskDlg, UnknownProcessShowsAnEmptyPath)
{
    auto rule = MakeRule(RuleAction::Reject, L"gone");
    auto params = FileRequest(L"C:\\a.txt");
    const DWORD pid = 3; // process ids are multiples of four
    CAskDlg dialog(L"gone.exe", pid, params.get(), rule.get(), nullptr);
    dialog.SetTickPeriod(kNoTicks);
    PromptRun run(dialog);
    HWND hwnd = run.WaitForWindow();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(ItemText(hwnd, IDC_ASK_PROCESS), L" (PID: 3)");
    PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(run.WaitForResult(), ASK_ALLOW);
}
