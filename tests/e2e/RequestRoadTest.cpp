// The road of one request under Wine: the installed guard starts the driver,
// WatchSim injects operations, and verdicts, log lines, the counter and the
// prompt are checked as a user (or the intercepted program) would see them.
#include "base/Messages.h"
#include "base/TextConv.h"
#include "e2e/GuardFixture.h"
#include "res/resource.h"

#include "base/Strings.h"
#include "driver/common/WatchProtocol.h"
#include "e2e/DriverHarness.h"
#include "TestRegistry.h"
#include "support/Wait.h"

#include <memory>
#include <regex>

namespace e2e {
namespace {

const wchar_t kFrameTitle[] = L"HarrowmereMainFrame";

// The block counter as saved. The guard saves it within a second of a
// decision, so it is read again until it shows `expected` (a few seconds at
// most).
DWORD SavedCount(DWORD expected)
{
    DWORD value = 0;
    testwait::WaitUntil([&] { return (value = ReadSetting(L"BlockCount", 0)) == expected; }, 5000);
    return value;
}
const wchar_t kPromptTitle[] = L"Harrowmere 监控信息";

// Rules of the scenarios; the file is in the ANSI code page like the real one.
const wchar_t kRules[] =
    L"<HarrowmereRule Version=\"1\">\r\n"
    L"    <Program Name=\"*\" Hook=\"Enabled\">\r\n"
    L"        <Rule GroupId=\"1\" Info=\"允许并记录\" Reason=\"OpenFile\" Action=\"Accept\" Log=\"Log\" Ask=\"Disabled\" Scan=\"Disabled\">\r\n"
    L"            <Param Wildcards=\"C:\\accept\\*\" />\r\n"
    L"        </Rule>\r\n"
    L"        <Rule GroupId=\"1\" Info=\"假装成功\" Reason=\"OpenFile\" Action=\"Feign\" Log=\"Log\" Ask=\"Disabled\" Scan=\"Disabled\">\r\n"
    L"            <Param Wildcards=\"C:\\feign\\*\" />\r\n"
    L"        </Rule>\r\n"
    L"        <Rule GroupId=\"1\" Info=\"拒绝并记录\" Reason=\"OpenFile\" Action=\"Reject\" Log=\"Log\" Ask=\"Disabled\" Scan=\"Disabled\">\r\n"
    L"            <Param Wildcards=\"C:\\reject\\*\" />\r\n"
    L"        </Rule>\r\n"
    L"        <Rule GroupId=\"1\" Info=\"询问运行\" Reason=\"Execute\" Action=\"Reject\" Log=\"Log\" Ask=\"Enabled\" Scan=\"Disabled\">\r\n"
    L"            <Param Wildcards=\"*\\ask.exe\" />\r\n"
    L"        </Rule>\r\n"
    L"        <Rule GroupId=\"1\" Info=\"启动项\" Reason=\"RegSetValue\" Action=\"Accept\" Log=\"None\" Ask=\"Enabled\" Scan=\"Disabled\">\r\n"
    L"            <Param Wildcards=\"\\REGISTRY\\MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\" />\r\n"
    L"            <Param Any=\"Any\" />\r\n"
    L"        </Rule>\r\n"
    L"        <Group Id=\"1\" Name=\"测试\" Info=\"测试规则\" />\r\n"
    L"    </Program>\r\n"
    L"</HarrowmereRule>\r\n";

struct Verdict {
    int verdict = -1;
    std::string rule;
};

Verdict ParseVerdict(const std::string& out)
{
    Verdict v;
    std::smatch m;
    if (std::regex_search(out, m, std::regex("verdict=([0-9]) rule=(\\S+)"))) {
        v.verdict = std::stoi(m[1]);
        v.rule = m[2];
    }
    return v;
}

Verdict Inject(const std::wstring& args)
{
    ToolResult r = RunTool(L"WatchSim.exe", args);
    EXPECT_EQ(0, r.exitCode) << r.output;
    return ParseVerdict(r.output);
}

int LogLines()
{
    std::string log = ReadProgramFile(L"Harrowmere.log");
    return static_cast<int>(std::count(log.begin(), log.end(), '\n'));
}

HWND MainWindowOf(DWORD pid)
{
    for (const WindowInfo& w : TopLevelWindows(pid))
        if (w.className == L"#32770" && w.title == L"Harrowmere 2006")
            return w.hwnd;
    return nullptr;
}

HWND WaitForPrompt(DWORD pid, DWORD timeoutMs = 15000)
{
    HWND prompt = nullptr;
    testwait::WaitUntil([&] {
        for (const WindowInfo& w : TopLevelWindows(pid))
            if (!prompt && w.title == kPromptTitle && w.visible)
                prompt = w.hwnd;
        return prompt != nullptr;
    }, timeoutMs);
    return prompt;
}

BOOL CALLBACK FindStatusPage(HWND child, LPARAM found)
{
    if (GetDlgItem(child, IDC_STATUS_MONITOR_LABEL) && GetDlgItem(child, IDC_STATUS_MONITOR_ICON)) {
        *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
    }
    return TRUE;
}

// The status page of the guard's main window (the page that has the
// monitoring label and icon), or null.
HWND StatusPageOf(DWORD pid)
{
    HWND page = nullptr;
    EnumChildWindows(MainWindowOf(pid), FindStatusPage, reinterpret_cast<LPARAM>(&page));
    return page;
}

std::wstring WindowText(HWND hwnd)
{
    wchar_t text[256] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(hwnd, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &ignored);
    return text;
}

// Waits until the status page's monitoring label says `text`.
bool WaitForMonitoringLabel(DWORD pid, const std::wstring& text, DWORD timeoutMs)
{
    return testwait::WaitUntil([&] {
        HWND page = StatusPageOf(pid);
        return page && WindowText(GetDlgItem(page, IDC_STATUS_MONITOR_LABEL)) == text;
    }, timeoutMs);
}

class RequestRoadTest : public GuardTest {
protected:
    void SetUp() override
    {
        GuardTest::SetUp();
        ResetSettings();
        DeleteProgramFile(L"Harrowmere.log");
        DeleteProgramFile(L"Harrowmere.log.old");
        ASSERT_TRUE(WriteProgramFile(L"Harrowmere.erd", WideToAnsi(kRules)));
    }
    void TearDown() override
    {
        m_guard.Close();
        GuardTest::TearDown();
        // Later scenarios and the run command get the shipped rules back.
        CopyFileW((StageDir() + L"Harrowmere.erd").c_str(), (ProgramDir() + L"Harrowmere.erd").c_str(), FALSE);
    }
    void StartGuard()
    {
        ASSERT_TRUE(m_guard.Start(L"Harrowmere.exe", L"/background", true));
        ASSERT_TRUE(m_guard.WaitForWindow(kFrameTitle));
    }

    Process m_guard;
};

TEST_F(RequestRoadTest, GuardInstallsAndStartsTheServiceAndOpensTheDevice)
{
    StartGuard();
    std::string out = m_guard.Output();
    EXPECT_TRUE(std::regex_search(out, std::regex("InstallDriver = [0-9A-Fa-f]+\r?\n"))) << out;
    EXPECT_TRUE(std::regex_search(out, std::regex("StartService = [01], Error = [0-9]+\r?\n"))) << out;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(out, m, std::regex("CreateFile = ([0-9A-Fa-f]+)\r?\n"))) << out;
    EXPECT_NE(std::string::npos, m[1].str().find_first_not_of("Ff")) << "the device did not open";
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE svc = OpenServiceW(scm, L"Harrowmere", SERVICE_QUERY_STATUS);
    ASSERT_TRUE(svc);
    SERVICE_STATUS status = {};
    QueryServiceStatus(svc, &status);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), status.dwCurrentState);
    CloseServiceHandle(svc);
    CloseServiceHandle(scm);
}

TEST_F(RequestRoadTest, RuleActionsBecomeVerdictsAndLoggedDecisionsAreWrittenAndCounted)
{
    StartGuard();
    struct Case {
        const wchar_t* args;
        int verdict;
        const char* logged; // the line's text after the time stamp, UTF-8
    } cases[] = {
        { L"OpenFile C:\\accept\\a.txt", 0, u8"WatchSim.exe 文件操作 (C:\\accept\\a.txt) -> 接受" },
        { L"openfile C:\\feign\\b.txt", 1, u8"WatchSim.exe 文件操作 (C:\\feign\\b.txt) -> 拒绝" },
        { L"0 C:\\REJECT\\c.txt --process evil.exe", 2, u8"evil.exe 文件操作 (C:\\REJECT\\c.txt) -> 拒绝" },
    };
    DWORD count = 0;
    for (const Case& c : cases) {
        Verdict v = Inject(c.args);
        EXPECT_EQ(c.verdict, v.verdict);
        EXPECT_NE("none", v.rule);
        ++count;
        EXPECT_EQ(count, SavedCount(count));
    }
    std::string log = ReadProgramFile(L"Harrowmere.log");
    std::vector<std::string> lines;
    for (size_t pos = 0, end; (end = log.find("\r\n", pos)) != std::string::npos; pos = end + 2)
        lines.push_back(log.substr(pos, end - pos));
    ASSERT_EQ(3u, lines.size()) << log;
    std::regex stamp("^[0-9]{4}\\.[0-9]{1,2}\\.[0-9]{1,2}-[0-9]{1,2}:[0-9]{1,2} ");
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(std::regex_search(lines[i], stamp)) << lines[i];
        EXPECT_EQ(cases[i].logged, lines[i].substr(lines[i].find(' ') + 1));
    }

    // Nothing matches: accepted, not logged, not counted, no rule.
    Verdict none = Inject(L"OpenFile C:\\elsewhere\\d.txt");
    EXPECT_EQ(0, none.verdict);
    EXPECT_EQ("none", none.rule);
    EXPECT_EQ(3, LogLines());
    EXPECT_EQ(count, ReadSetting(L"BlockCount"));
}

TEST_F(RequestRoadTest, OperationFromTheGuardItselfIsAcceptedUnloggedAndUncounted)
{
    StartGuard();
    Verdict v = Inject(L"OpenFile C:\\reject\\own.txt --pid " + std::to_wstring(m_guard.Pid()));
    EXPECT_EQ(0, v.verdict);
    EXPECT_EQ(0, LogLines());
    EXPECT_EQ(0u, ReadSetting(L"BlockCount", 0));
}

TEST_F(RequestRoadTest, MonitoringOffDecidesNothingAndOnAgainKeepsOneRequestThread)
{
    StartGuard();
    HWND main = MainWindowOf(m_guard.Pid());
    ASSERT_TRUE(main);
    EXPECT_EQ(2, Inject(L"OpenFile C:\\reject\\1.txt").verdict);
    int threadsWhenStarted = ThreadCount(m_guard.Pid());

    SendMessageW(main, WM_COMMAND, ID_TRAY_MONITORING, 0);
    EXPECT_EQ(0u, ReadSetting(L"Hook"));
    EXPECT_EQ(0, Inject(L"OpenFile C:\\reject\\2.txt").verdict);
    EXPECT_EQ(1, LogLines());
    EXPECT_EQ(1u, ReadSetting(L"BlockCount")) << "saved when monitoring stopped";

    SendMessageW(main, WM_COMMAND, ID_TRAY_MONITORING, 0);
    EXPECT_EQ(1u, ReadSetting(L"Hook"));
    EXPECT_EQ(2, Inject(L"OpenFile C:\\reject\\3.txt").verdict);
    EXPECT_EQ(2u, SavedCount(2));
    EXPECT_EQ(threadsWhenStarted, ThreadCount(m_guard.Pid())) << "one request thread per start, the old one ended";
}

// Starts WatchSim without waiting for it.
struct PendingInjection {
    Process process;
    explicit PendingInjection(const std::wstring& args) { process.Start(L"WatchSim.exe", args, true); }
    Verdict Wait(DWORD timeoutMs = 15000)
    {
        process.WaitForExit(timeoutMs);
        return ParseVerdict(process.Output());
    }
};

TEST_F(RequestRoadTest, AskingRuleOpensThePromptAndItsButtonsDecide)
{
    StartGuard();
    // The frame shows before the driver has the rules.
    ASSERT_TRUE(WaitForMonitoringLabel(m_guard.Pid(), ui::LoadStr(IDS_MONITORING_ON), 15000));
    struct Case {
        int button;
        int verdict;
    } cases[] = { { IDOK, 0 }, { IDCANCEL, 2 } };
    for (const Case& c : cases) {
        PendingInjection injection(L"Execute C:\\Temp\\ask.exe");
        HWND prompt = WaitForPrompt(m_guard.Pid());
        ASSERT_TRUE(prompt) << "no prompt for an asking rule";
        HWND button = GetDlgItem(prompt, c.button);
        ASSERT_TRUE(button);
        AnswerPrompt(prompt, c.button);
        EXPECT_EQ(c.verdict, injection.Wait().verdict);
    }
    EXPECT_EQ(2, LogLines());
}

TEST_F(RequestRoadTest, SwitchingMonitoringOffWithdrawsAnOpenPrompt)
{
    StartGuard();
    HWND main = MainWindowOf(m_guard.Pid());
    ASSERT_TRUE(main);
    PendingInjection injection(L"Execute C:\\Temp\\ask.exe");
    HWND prompt = WaitForPrompt(m_guard.Pid());
    ASSERT_TRUE(prompt);

    SendMessageW(main, WM_COMMAND, ID_TRAY_MONITORING, 0);
    EXPECT_EQ(0, injection.Wait().verdict) << "the driver's preset";
    EXPECT_FALSE(IsWindow(prompt)) << "the prompt is withdrawn, not left to count down";
    EXPECT_EQ(0, LogLines());
    EXPECT_EQ(0u, ReadSetting(L"BlockCount", 0));

    // Monitoring on again: the next request is asked and decided as usual.
    SendMessageW(main, WM_COMMAND, ID_TRAY_MONITORING, 0);
    PendingInjection again(L"Execute C:\\Temp\\ask.exe");
    HWND second = WaitForPrompt(m_guard.Pid());
    ASSERT_TRUE(second);
    AnswerPrompt(second, IDCANCEL);
    EXPECT_EQ(2, again.Wait().verdict);
    EXPECT_EQ(1, LogLines());
}

TEST_F(RequestRoadTest, DriverAnswersThePresetWhenNobodyRepliesInTime)
{
    // The driver reads its reply time-out when the service starts.
    const wchar_t* serviceKey = L"SYSTEM\\CurrentControlSet\\Services\\Harrowmere";
    DWORD timeout = 1500;
    ASSERT_EQ(ERROR_SUCCESS,
              testreg::SetValue(HKEY_LOCAL_MACHINE, serviceKey, L"ReplyTimeout", REG_DWORD, &timeout, sizeof(timeout)));
    drivertest::StopDriverService();
    StartGuard();

    DWORD start = GetTickCount();
    PendingInjection injection(L"RegSetValue \\REGISTRY\\MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run Evil");
    HWND prompt = WaitForPrompt(m_guard.Pid());
    EXPECT_TRUE(prompt);
    Verdict v = injection.Wait(20000);
    EXPECT_EQ(0, v.verdict) << "the preset verdict";
    EXPECT_LT(GetTickCount() - start, 15000u);

    m_guard.Close();
    drivertest::ClearReplyTimeout();
    drivertest::StopDriverService();
}

TEST_F(RequestRoadTest, IntegerParameterBesideOrdinaryRulesLeavesThemInForce)
{
    std::wstring rules = kRules;
    rules.insert(rules.find(L"        <Group "),
                 L"        <Rule GroupId=\"1\" Info=\"整数\" Reason=\"RegSetValue\" Action=\"Reject\" Log=\"None\" Ask=\"Disabled\" Scan=\"Disabled\">\r\n"
                 L"            <Param Integer=\"70000\" />\r\n"
                 L"        </Rule>\r\n");
    ASSERT_TRUE(WriteProgramFile(L"Harrowmere.erd", WideToAnsi(rules)));
    StartGuard();
    EXPECT_EQ(2, Inject(L"OpenFile C:\\reject\\a.txt").verdict);
    EXPECT_EQ(1, Inject(L"OpenFile C:\\feign\\b.txt").verdict);
    EXPECT_EQ(2, LogLines());
}

TEST_F(RequestRoadTest, AnotherProgramCannotSwitchTheGuardOffAndTheNextGuardStartsItsOwnSession)
{
    StartGuard();
    ASSERT_EQ(2, Inject(L"OpenFile C:\\reject\\1.txt").verdict);
    HANDLE device = drivertest::OpenDriverDevice();
    ASSERT_NE(INVALID_HANDLE_VALUE, device);
    const uint8_t headerOnly[12] = { 12, 0, 0, 0, 12, 0, 0, 0, 12, 0, 0, 0 };
    DWORD pid = GetCurrentProcessId();
    struct Case {
        DWORD code;
        const void* input;
        DWORD size;
    } cases[] = { { IOCTL_WATCH_STOP, nullptr, 0 }, { IOCTL_WATCH_SET_RULES, headerOnly, sizeof(headerOnly) },
                  { IOCTL_WATCH_GET_SHARED, nullptr, 0 }, { IOCTL_WATCH_SET_PID, &pid, sizeof(pid) },
                  { IOCTL_WATCH_START, nullptr, 0 } };
    for (const Case& c : cases) {
        uint64_t out = 0;
        DWORD got = 0;
        SetLastError(0);
        EXPECT_FALSE(DeviceIoControl(device, c.code, const_cast<void*>(c.input), c.size, &out, sizeof(out), &got,
                                     nullptr))
            << std::hex << c.code;
        EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError()) << std::hex << c.code;
    }
    CloseHandle(device);
    EXPECT_EQ(2, Inject(L"OpenFile C:\\reject\\2.txt").verdict) << "still guarded";
    EXPECT_EQ(1, Inject(L"OpenFile C:\\feign\\3.txt").verdict);

    m_guard.Close();
    EXPECT_EQ(0, Inject(L"OpenFile C:\\reject\\4.txt").verdict) << "nothing guards between the two";
    Process next;
    ASSERT_TRUE(next.Start(L"Harrowmere.exe", L"/background"));
    ASSERT_TRUE(next.WaitForWindow(kFrameTitle));
    EXPECT_EQ(2, Inject(L"OpenFile C:\\reject\\5.txt").verdict);
    EXPECT_EQ(4, LogLines());
    next.Close();
}

TEST_F(RequestRoadTest, StatusPageSaysMonitoringIsOffWhileTheSessionIsRefusedOrGone)
{
    // Another program holds the driver's session before the guard starts.
    HANDLE holder = drivertest::HoldDriverSession();
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);

    ASSERT_TRUE(m_guard.Start(L"Harrowmere.exe", L"/background", true));
    // The load-failure message comes first; answer it.
    HWND box = nullptr;
    testwait::WaitUntil([&] {
        for (const WindowInfo& w : TopLevelWindows(m_guard.Pid()))
            if (w.className == L"#32770" && w.title == ui::LoadStr(IDS_CAPTION_ERROR))
                box = w.hwnd;
        return box != nullptr;
    }, 15000);
    ASSERT_TRUE(box) << "no load-failure message";
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitForMonitoringLabel(m_guard.Pid(), ui::LoadStr(IDS_MONITORING_OFF), 15000));

    // Once the holder is gone, "turn on" starts the guard's own session.
    CloseHandle(holder);
    HWND page = StatusPageOf(m_guard.Pid());
    ASSERT_TRUE(page);
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_STATUS_MONITOR_SWITCH, 0), 0);
    EXPECT_TRUE(WaitForMonitoringLabel(m_guard.Pid(), ui::LoadStr(IDS_MONITORING_ON), 15000));
    EXPECT_EQ(2, Inject(L"OpenFile C:\\reject\\1.txt").verdict);

    // The driver goes away: the guard notices by itself.
    ASSERT_TRUE(drivertest::StopDriverService());
    EXPECT_TRUE(WaitForMonitoringLabel(m_guard.Pid(), ui::LoadStr(IDS_MONITORING_OFF), 20000));
}

TEST_F(RequestRoadTest, IdenticalRequestsMadeDuringOnePromptAreAllAnsweredByIt)
{
    StartGuard();
    // The frame shows before the driver has the rules.
    ASSERT_TRUE(WaitForMonitoringLabel(m_guard.Pid(), ui::LoadStr(IDS_MONITORING_ON), 15000));
    std::vector<std::unique_ptr<PendingInjection>> injections;
    injections.push_back(std::make_unique<PendingInjection>(L"Execute C:\\Temp\\ask.exe"));
    HWND prompt = WaitForPrompt(m_guard.Pid());
    ASSERT_TRUE(prompt);
    for (int i = 0; i < 4; ++i)
        injections.push_back(std::make_unique<PendingInjection>(L"Execute C:\\Temp\\ask.exe"));
    // Kept: lets the four reach the driver's queue behind the open prompt. A
    // queued request cannot be seen from outside the driver.
    Sleep(1500);
    ASSERT_TRUE(AnswerPrompt(prompt, IDCANCEL)); // "仅此一次", the list's default
    for (auto& injection : injections)
        EXPECT_EQ(2, injection->Wait().verdict);
    EXPECT_FALSE(WaitForPrompt(m_guard.Pid(), 0)) << "a request had a prompt of its own";

    std::string log = ReadProgramFile(L"Harrowmere.log");
    auto count = [&log](const std::string& text) {
        int n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++n;
        return n;
    };
    const std::string line = u8"WatchSim.exe 运行程序 (C:\\Temp\\ask.exe) -> 拒绝 ";
    EXPECT_EQ(1, count(line + u8"(提示)\r\n")) << log;
    EXPECT_EQ(4, count(line + u8"(记住的回答)\r\n")) << log;
    EXPECT_EQ(5, LogLines());
    EXPECT_EQ(5u, SavedCount(5));
}

TEST_F(RequestRoadTest, AlwaysAnswerBecomesARuleTheDriverMatchesAtOnce)
{
    StartGuard();
    // The frame shows before the driver has the rules.
    ASSERT_TRUE(WaitForMonitoringLabel(m_guard.Pid(), ui::LoadStr(IDS_MONITORING_ON), 15000));
    PendingInjection first(L"Execute C:\\Temp\\ask.exe");
    HWND prompt = WaitForPrompt(m_guard.Pid());
    ASSERT_TRUE(prompt);
    SendDlgItemMessageW(prompt, IDC_ASK_DURATION, CB_SETCURSEL, 3, 0); // "总是"
    ASSERT_TRUE(AnswerPrompt(prompt, IDCANCEL));
    Verdict asked = first.Wait();
    EXPECT_EQ(2, asked.verdict);

    // The next one is refused by the new rule, without a prompt.
    Verdict byRule = Inject(L"Execute C:\\Temp\\ask.exe");
    EXPECT_EQ(2, byRule.verdict);
    EXPECT_NE(asked.rule, byRule.rule) << "matched the asking rule again";
    const std::string file = ReadProgramFile(L"Harrowmere.erd");
    EXPECT_NE(std::string::npos, file.find(WideToAnsi(L"提示创建的规则"))) << file;
    EXPECT_NE(std::string::npos, file.find("C:\\Temp\\ask.exe")) << file;
}

} // namespace
} // namespace e2e
