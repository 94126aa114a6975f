// Real programs under the guard: Wine's cmd.exe and reg.exe and a program of
// ours run with the sensor loaded (through GuardedRun.exe, or delivered by
// the guard), and each test checks what the program itself saw, the activity
// log line with the real process name, and the prompt with its real path.
#include "base/TextConv.h"
#include "e2e/DriverHarness.h"
#include "e2e/GuardFixture.h"
#include "res/resource.h"
#include "TestRegistry.h"

#include <sddl.h>

#include <algorithm>
#include <iterator>
#include <functional>
#include <map>
#include <regex>
#include <set>

namespace e2e {
namespace {

const wchar_t kFrameTitle[] = L"HarrowmereMainFrame";
const wchar_t kTestRoot[] = L"C:\\hmtest\\";
const wchar_t kTestKey[] = L"Software\\HarrowmereTest";
const wchar_t kServiceKey[] = L"SYSTEM\\CurrentControlSet\\Services\\Harrowmere";

// One rule per action and operation kind, each logged; "ask" asks.
const wchar_t kRules[] =
    L"<HarrowmereRule Version=\"1\">\r\n"
    L"    <Program Name=\"*\" Hook=\"Enabled\">\r\n"
    L"        <Rule GroupId=\"1\" Info=\"a\" Reason=\"OpenFile\" Action=\"Accept\" Log=\"Log\" Ask=\"Disabled\" Scan=\"Disabled\">\r\n"
    L"            <Param Wildcards=\"C:\\hmtest\\accept\\*\" />\r\n"
    L"        </Rule>\r\n"
    L"        <Rule GroupId=\"1\" Info=\"f\" Reason=\"OpenFile\" Action=\"Feign\" Log=\"Log\" Ask=\"Disabled\" Scan=\"Disabled\">\r\n"
    L"            <Param Wildcards=\"C:\\hmtest\\feign\\*\" />\r\n"
    L"        </Rule>\r\n"
    L"        <Rule GroupId=\"1\" Info=\"r\" Reason=\"OpenFile\" Action=\"Reject\" Log=\"Log\" Ask=\"Disabled\" Scan=\"Disabled\">\r\n"
    L"            <Param Wildcards=\"C:\\hmtest\\reject\\*\" />\r\n"
    L"        </Rule>\r\n"
    L"        <Rule GroupId=\"1\" Info=\"q\" Reason=\"OpenFile\" Action=\"Reject\" Log=\"Log\" Ask=\"Enabled\" Scan=\"Disabled\">\r\n"
    L"            <Param Wildcards=\"C:\\hmtest\\ask\\*\" />\r\n"
    L"        </Rule>\r\n"
    L"        <Rule GroupId=\"1\" Info=\"vf\" Reason=\"RegSetValue\" Action=\"Feign\" Log=\"Log\" Ask=\"Disabled\" Scan=\"Disabled\">\r\n"
    L"            <Param Wildcards=\"\\REGISTRY\\USER\\*\\Software\\HarrowmereTest\\Feign\" />\r\n"
    L"            <Param Any=\"Any\" />\r\n"
    L"        </Rule>\r\n"
    L"        <Rule GroupId=\"1\" Info=\"vr\" Reason=\"RegSetValue\" Action=\"Reject\" Log=\"Log\" Ask=\"Disabled\" Scan=\"Disabled\">\r\n"
    L"            <Param Wildcards=\"\\REGISTRY\\USER\\*\\Software\\HarrowmereTest\\Reject\" />\r\n"
    L"            <Param Any=\"Any\" />\r\n"
    L"        </Rule>\r\n"
    L"        <Rule GroupId=\"1\" Info=\"xf\" Reason=\"Execute\" Action=\"Feign\" Log=\"Log\" Ask=\"Disabled\" Scan=\"Disabled\">\r\n"
    L"            <Param Wildcards=\"*\\feigned.exe\" />\r\n"
    L"        </Rule>\r\n"
    L"        <Rule GroupId=\"1\" Info=\"xr\" Reason=\"Execute\" Action=\"Reject\" Log=\"Log\" Ask=\"Disabled\" Scan=\"Disabled\">\r\n"
    L"            <Param Wildcards=\"*\\rejected.exe\" />\r\n"
    L"        </Rule>\r\n"
    L"        <Group Id=\"1\" Name=\"t\" Info=\"t\" />\r\n"
    L"    </Program>\r\n"
    L"</HarrowmereRule>\r\n";

// Letter case through the system's tables (the C library's leave letters
// such as Vietnamese and Armenian ones as they are).
std::wstring Lower(std::wstring s)
{
    if (!s.empty())
        CharLowerBuffW(&s[0], static_cast<DWORD>(s.size()));
    return s;
}

std::wstring TestPath(const std::wstring& relative)
{
    return kTestRoot + relative;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteFile(const std::wstring& path, const std::string& bytes)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

// The test program beside this one (build/<arch>/tests); the tests run it
// as copies with short names (the request record holds 15 characters of a
// process name).
std::wstring HelperPath()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path);
    return s.substr(0, s.find_last_of(L'\\') + 1) + L"hm_intercept_helper.exe";
}

std::wstring CmdPath()
{
    wchar_t dir[MAX_PATH] = {};
    GetSystemDirectoryW(dir, MAX_PATH);
    return std::wstring(dir) + L"\\cmd.exe";
}

std::wstring Upper(std::wstring s)
{
    if (!s.empty())
        CharUpperBuffW(&s[0], static_cast<DWORD>(s.size()));
    return s;
}

// Number of lines of Harrowmere.log (UTF-8) that name `process` and `operand`.
size_t LogCount(const std::wstring& process, const std::wstring& operand)
{
    std::wstring log = Lower(Utf8ToWide(ReadProgramFile(L"Harrowmere.log")));
    size_t count = 0;
    for (size_t pos = 0, end; (end = log.find(L"\r\n", pos)) != std::wstring::npos; pos = end + 2) {
        std::wstring line = log.substr(pos, end - pos);
        count += line.find(L" " + Lower(process) + L" ") != std::wstring::npos &&
                 line.find(Lower(operand)) != std::wstring::npos;
    }
    return count;
}

bool LogHas(const std::wstring& process, const std::wstring& operand)
{
    return LogCount(process, operand) > 0;
}

bool HasValue(const std::wstring& subkey, const wchar_t* name)
{
    return RegGetValueW(HKEY_CURRENT_USER, (std::wstring(kTestKey) + L"\\" + subkey).c_str(), name, RRF_RT_ANY,
                        nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

BOOL CALLBACK CollectText(HWND child, LPARAM lp)
{
    wchar_t text[512] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(child, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &ignored);
    *reinterpret_cast<std::wstring*>(lp) += std::wstring(text) + L"\n";
    return TRUE;
}

// Every text of a window's children, one a line.
std::wstring ChildTexts(HWND window)
{
    std::wstring all;
    EnumChildWindows(window, CollectText, reinterpret_cast<LPARAM>(&all));
    return all;
}

// The guard's visible prompt: a dialog of its own that is not the main window.
HWND FindPrompt(DWORD guardPid)
{
    for (const WindowInfo& w : TopLevelWindows(guardPid))
        if (w.visible && w.className == L"#32770" && w.title != L"Harrowmere 2006")
            return w.hwnd;
    return nullptr;
}

class InterceptTest : public GuardTest {
protected:
    void SetUp() override
    {
        GuardTest::SetUp();
        ResetSettings();
        DeleteProgramFile(L"Harrowmere.log");
        ASSERT_TRUE(WriteProgramFile(L"Harrowmere.erd", WideToAnsi(kRules)));
        testreg::DeleteTree(HKEY_CURRENT_USER, kTestKey);
        // The tree is made before the guard starts (this program starts
        // the guard, so its watcher leaves it alone; what it starts through
        // GuardedRun.exe is guarded).
        for (const wchar_t* dir : { L"", L"accept", L"feign", L"reject", L"ask", L"bin" }) {
            CreateDirectoryW(TestPath(dir).c_str(), nullptr);
            for (const wchar_t* stray : { L"\\new.txt", L"\\copy.txt", L"\\ran.txt" })
                DeleteFileW((TestPath(dir) + stray).c_str());
        }
        for (const wchar_t* dir : { L"accept", L"feign", L"reject", L"ask" })
            WriteFile(TestPath(dir) + L"\\a.txt", "content of " + WideToAnsi(dir) + "\r\n");
        for (const wchar_t* name : { L"accepted.exe", L"feigned.exe", L"rejected.exe" })
            ASSERT_TRUE(CopyFileW(HelperPath().c_str(), TestPath(std::wstring(L"bin\\") + name).c_str(), FALSE));
    }
    void TearDown() override
    {
        m_guard.Close();
        GuardTest::TearDown();
        CopyFileW((StageDir() + L"Harrowmere.erd").c_str(), (ProgramDir() + L"Harrowmere.erd").c_str(), FALSE);
        testreg::DeleteTree(HKEY_CURRENT_USER, kTestKey);
    }
    void StartGuard()
    {
        ASSERT_TRUE(m_guard.Start(L"Harrowmere.exe", L"/background", true));
        ASSERT_TRUE(m_guard.WaitForWindow(kFrameTitle));
    }
    // Runs a command line guarded, to its end.
    static ToolResult Guarded(const std::wstring& commandLine, DWORD timeoutMs = 30000)
    {
        return RunTool(L"GuardedRun.exe", commandLine, timeoutMs);
    }
    static ToolResult GuardedCmd(const std::wstring& command)
    {
        return Guarded(L"cmd.exe /c " + command);
    }

    Process m_guard;
};

TEST_F(InterceptTest, CmdSeesEachFileVerdictAndTheLogNamesCmd)
{
    StartGuard();
    struct Case {
        const wchar_t* command;
        const wchar_t* path;     // the operand the log line names
        const char* shown;       // in cmd's output, or null
        const char* hidden;      // never in cmd's output, or null
        const wchar_t* made;     // a file the command creates, or null
        bool madeExists;
    } cases[] = {
        { L"type C:\\hmtest\\accept\\a.txt", L"C:\\hmtest\\accept\\a.txt", "content of accept", nullptr, nullptr, false },
        { L"type C:\\hmtest\\feign\\a.txt", L"C:\\hmtest\\feign\\a.txt", nullptr, "content of feign", nullptr, false },
        { L"type C:\\hmtest\\reject\\a.txt", L"C:\\hmtest\\reject\\a.txt", nullptr, "content of reject", nullptr, false },
        { L"echo x > C:\\hmtest\\accept\\new.txt", L"C:\\hmtest\\accept\\new.txt", nullptr, nullptr, L"accept\\new.txt", true },
        { L"echo x > C:\\hmtest\\feign\\new.txt", L"C:\\hmtest\\feign\\new.txt", nullptr, nullptr, L"feign\\new.txt", false },
        { L"echo x > C:\\hmtest\\reject\\new.txt", L"C:\\hmtest\\reject\\new.txt", nullptr, nullptr, L"reject\\new.txt", false },
        { L"copy C:\\hmtest\\accept\\a.txt C:\\hmtest\\reject\\copy.txt", L"C:\\hmtest\\reject\\copy.txt", nullptr, nullptr,
          L"reject\\copy.txt", false },
    };
    for (const Case& c : cases) {
        ToolResult r = GuardedCmd(c.command);
        SCOPED_TRACE(WideToAnsi(c.command) + " -> " + r.output);
        if (c.shown) {
            EXPECT_NE(std::string::npos, r.output.find(c.shown));
        }
        if (c.hidden) {
            EXPECT_EQ(std::string::npos, r.output.find(c.hidden));
        }
        if (c.made) {
            EXPECT_EQ(c.madeExists, Exists(TestPath(c.made)));
        }
        EXPECT_TRUE(LogHas(L"cmd.exe", c.path)) << Utf8ToWide(ReadProgramFile(L"Harrowmere.log")).size();
    }
}

TEST_F(InterceptTest, RegAddSeesEachValueVerdict)
{
    StartGuard();
    struct Case {
        const wchar_t* subkey;
        long exitCode;
        bool stored;
    } cases[] = { { L"Accept", 0, true }, { L"Feign", 0, false }, { L"Reject", 1, false } };
    for (const Case& c : cases) {
        ToolResult r = Guarded(std::wstring(L"reg.exe add HKCU\\Software\\HarrowmereTest\\") + c.subkey +
                               L" /v Probe /d x /f");
        SCOPED_TRACE(WideToAnsi(c.subkey) + " -> " + r.output);
        EXPECT_EQ(c.exitCode, r.exitCode);
        EXPECT_EQ(c.stored, HasValue(c.subkey, L"Probe"));
    }
    EXPECT_TRUE(LogHas(L"reg.exe", L"\\Software\\HarrowmereTest\\Feign"));
    EXPECT_TRUE(LogHas(L"reg.exe", L"\\Software\\HarrowmereTest\\Reject"));
}

TEST_F(InterceptTest, ProgramStartsSeeEachVerdictAndNothingOfAFeignedProgramRuns)
{
    StartGuard();
    struct Case {
        const wchar_t* name;
        const char* seen;
        bool ran;
    } cases[] = { { L"accepted.exe", "start: exit 0", true },
                  { L"feigned.exe", "start: exit 0", false },
                  { L"rejected.exe", "start: error 5", false } };
    for (const Case& c : cases) {
        std::wstring marker = TestPath(L"accept\\ran.txt");
        DeleteFileW(marker.c_str());
        ToolResult r = Guarded(TestPath(L"bin\\accepted.exe") + L" start " +
                               TestPath(std::wstring(L"bin\\") + c.name) + L" write " + marker);
        SCOPED_TRACE(WideToAnsi(c.name) + " -> " + r.output);
        EXPECT_NE(std::string::npos, r.output.find(c.seen));
        EXPECT_EQ(c.ran, Exists(marker));
    }
    EXPECT_TRUE(LogHas(L"accepted.exe", L"\\bin\\rejected.exe"));
    EXPECT_TRUE(LogHas(L"accepted.exe", L"\\bin\\feigned.exe"));

    // cmd.exe refused a start reports it and goes on.
    ToolResult r = GuardedCmd(TestPath(L"bin\\rejected.exe") + L" write " + TestPath(L"accept\\ran.txt") +
                              L" & echo went on");
    EXPECT_NE(std::string::npos, r.output.find("went on")) << r.output;
    EXPECT_FALSE(Exists(TestPath(L"accept\\ran.txt")));
    EXPECT_TRUE(LogHas(L"cmd.exe", L"\\bin\\rejected.exe"));
}

TEST_F(InterceptTest, ProgramStartedFromAGuardedCmdIsGuardedFromItsFirstOpen)
{
    StartGuard();
    ToolResult r = GuardedCmd(TestPath(L"bin\\accepted.exe") + L" open " + TestPath(L"reject\\a.txt") + L" open " +
                              TestPath(L"accept\\a.txt"));
    EXPECT_NE(std::string::npos, r.output.find("open: error 5\r\nopen: ok")) << r.output;
    EXPECT_TRUE(LogHas(L"accepted.exe", TestPath(L"reject\\a.txt")));
}

TEST_F(InterceptTest, PromptShowsTheRealProgramPathAndItsAnswerReachesCmd)
{
    StartGuard();
    struct Case {
        int button;
        bool shown;
    } cases[] = { { IDOK, true }, { IDCANCEL, false } };
    for (const Case& c : cases) {
        Process cmd;
        ASSERT_TRUE(cmd.Start(L"GuardedRun.exe", L"cmd.exe /c type " + TestPath(L"ask\\a.txt"), true));
        HWND prompt = nullptr;
        ASSERT_TRUE(testwait::WaitUntil([&] { return (prompt = FindPrompt(m_guard.Pid())) != nullptr; }, 15000));
        // The prompt fills in its texts once it shows.
        EXPECT_TRUE(testwait::WaitUntil(
            [&] { return Lower(ChildTexts(prompt)).find(Lower(CmdPath())) != std::wstring::npos; }, 5000))
            << WideToUtf8(ChildTexts(prompt));
        EXPECT_TRUE(AnswerPrompt(prompt, c.button));
        ASSERT_NE(-1, cmd.WaitForExit(15000));
        EXPECT_EQ(c.shown, cmd.Output().find("content of ask") != std::string::npos) << cmd.Output();
    }
    EXPECT_TRUE(LogHas(L"cmd.exe", TestPath(L"ask\\a.txt")));
}

TEST_F(InterceptTest, CmdGoesOnWithinTheReplyTimeOutWhenTheGuardIsKilledDuringAPrompt)
{
    // The driver reads its reply time-out when its service starts.
    DWORD timeoutMs = 3000;
    ASSERT_EQ(ERROR_SUCCESS, testreg::SetValue(HKEY_LOCAL_MACHINE, kServiceKey, L"ReplyTimeout", REG_DWORD,
                                               &timeoutMs, sizeof(timeoutMs)));
    drivertest::StopDriverService();
    StartGuard();

    Process cmd;
    ASSERT_TRUE(cmd.Start(L"GuardedRun.exe", L"cmd.exe /c type " + TestPath(L"ask\\a.txt") + L" & echo went on", true));
    ASSERT_TRUE(testwait::WaitUntil([&] { return FindPrompt(m_guard.Pid()) != nullptr; }, 15000));
    DWORD killed = GetTickCount();
    m_guard.Kill();
    EXPECT_NE(-1, cmd.WaitForExit(timeoutMs + 10000)) << "cmd.exe still waits";
    EXPECT_LT(GetTickCount() - killed, timeoutMs + 10000);
    EXPECT_NE(std::string::npos, cmd.Output().find("went on")) << cmd.Output();

    drivertest::ClearReplyTimeout();
    drivertest::StopDriverService();
}

TEST_F(InterceptTest, MonitoringOffLetsEverythingThroughAndOnAgainGuardsAtOnce)
{
    StartGuard();
    HWND main = nullptr;
    for (const WindowInfo& w : TopLevelWindows(m_guard.Pid()))
        if (w.className == L"#32770" && w.title == L"Harrowmere 2006")
            main = w.hwnd;
    ASSERT_TRUE(main);
    const std::wstring type = L"type " + TestPath(L"reject\\a.txt");
    struct Step {
        bool toggle;
        bool shown;
    } steps[] = { { false, false }, { true, true }, { true, false } };
    for (const Step& s : steps) {
        if (s.toggle)
            SendMessageW(main, WM_COMMAND, ID_TRAY_MONITORING, 0);
        ToolResult r = GuardedCmd(type);
        EXPECT_EQ(s.shown, r.output.find("content of reject") != std::string::npos) << r.output;
    }
}

TEST_F(InterceptTest, ProgramRunningBeforeMonitoringStartsIsGuardedOnceItStarts)
{
    // Started unguarded (directly, not through the launcher), it opens the
    // file every 10 ms until the sensor the guard delivers refuses one.
    Process early;
    ASSERT_TRUE(early.Start(L"..\\..\\hmtest\\bin\\accepted.exe", L"poll " + TestPath(L"reject\\a.txt") + L" 60000",
                            true));
    StartGuard();
    ASSERT_NE(-1, early.WaitForExit(30000));
    EXPECT_NE(std::string::npos, early.Output().find("poll: refused after")) << early.Output() << m_guard.Output();
    EXPECT_TRUE(LogHas(L"accepted.exe", TestPath(L"reject\\a.txt")));
}

// Lines "odd <case>: <status>" of the helper's odd-argument calls, by case.
std::map<std::string, std::string> OddStatuses(const std::string& output)
{
    std::map<std::string, std::string> statuses;
    std::smatch m;
    std::regex line("odd (\\S+): ([0-9a-f]{8})");
    for (auto it = std::sregex_iterator(output.begin(), output.end(), line); it != std::sregex_iterator(); ++it)
        statuses[(*it)[1]] = (*it)[2];
    return statuses;
}

TEST_F(InterceptTest, OddArgumentsGetTheSystemsOwnAnswerAndNamedOnesTheVerdict)
{
    // The system's own answers first, before anything is guarded.
    const std::wstring unguardedHelper = L"..\\..\\hmtest\\bin\\accepted.exe";
    std::map<std::string, std::string> system[2] = {
        OddStatuses(RunTool(unguardedHelper, L"odd " + TestPath(L"accept")).output),
        OddStatuses(RunTool(unguardedHelper, L"odd " + TestPath(L"reject")).output),
    };
    ASSERT_GE(system[0].size(), 12u);
    ASSERT_EQ("00000000", system[0]["plain"]) << "the helper's own check";
    StartGuard();
    const std::set<std::string> named = { "plain", "no-nul", "relative", "no-access", "maximum-allowed", "huge" };
    const wchar_t* folders[] = { L"accept", L"reject" };
    for (int f = 0; f < 2; ++f) {
        std::map<std::string, std::string> guarded =
            OddStatuses(Guarded(TestPath(L"bin\\accepted.exe") + L" odd " + TestPath(folders[f])).output);
        EXPECT_EQ(system[f].size(), guarded.size()) << "the guarded helper did not finish";
        for (const auto& c : system[f]) {
            bool refused = f == 1 && named.count(c.first);
            EXPECT_EQ(refused ? "c0000022" : c.second, guarded[c.first]) << WideToAnsi(folders[f]) << " " << c.first;
        }
    }
}

// Rules for one file, one file named with Vietnamese and Armenian letters
// (so the rule file is UTF-8), and one key written as the picker writes it
// and one as the shipped rule file does.
const wchar_t kSpelledRules[] =
    L"<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n"
    L"<HarrowmereRule Version=\"1\">\r\n"
    L"    <Program Name=\"*\" Hook=\"Enabled\">\r\n"
    L"        <Rule GroupId=\"1\" Info=\"s\" Reason=\"OpenFile\" Action=\"Reject\" Log=\"Log\" Ask=\"Disabled\" Scan=\"Disabled\">\r\n"
    L"            <Param Wildcards=\"C:\\hmtest\\spelled\\Secret File.txt\" />\r\n"
    L"        </Rule>\r\n"
    L"        <Rule GroupId=\"1\" Info=\"l\" Reason=\"OpenFile\" Action=\"Reject\" Log=\"Log\" Ask=\"Disabled\" Scan=\"Disabled\">\r\n"
    L"            <Param Wildcards=\"C:\\hmtest\\spelled\\ng\x1ecd\x63 \x0561\x0574.txt\" />\r\n"
    L"        </Rule>\r\n"
    L"        <Rule GroupId=\"1\" Info=\"p\" Reason=\"RegSetValue\" Action=\"Reject\" Log=\"Log\" Ask=\"Disabled\" Scan=\"Disabled\">\r\n"
    L"            <Param Wildcards=\"HKEY_CURRENT_USER\\Software\\HarrowmereTest\\Picked\" />\r\n"
    L"            <Param Any=\"Any\" />\r\n"
    L"        </Rule>\r\n"
    L"        <Rule GroupId=\"1\" Info=\"k\" Reason=\"RegSetValue\" Action=\"Reject\" Log=\"Log\" Ask=\"Disabled\" Scan=\"Disabled\">\r\n"
    L"            <Param Wildcards=\"\\REGISTRY\\USER\\*\\Software\\HarrowmereTest\\Shipped\" />\r\n"
    L"            <Param Any=\"Any\" />\r\n"
    L"        </Rule>\r\n"
    L"        <Group Id=\"1\" Name=\"t\" Info=\"t\" />\r\n"
    L"    </Program>\r\n"
    L"</HarrowmereRule>\r\n";

// The string form of this user's SID (HKEY_USERS\<SID> is HKCU).
std::wstring UserSid()
{
    HANDLE token = nullptr;
    std::wstring sid;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return sid;
    BYTE buffer[256];
    DWORD size = 0;
    wchar_t* text = nullptr;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
        sid = text;
        LocalFree(text);
    }
    CloseHandle(token);
    return sid;
}

TEST_F(InterceptTest, EverySpellingOfAGuardedFileOrKeyIsRefusedByItsOneRule)
{
    ASSERT_TRUE(WriteProgramFile(L"Harrowmere.erd", WideToUtf8(kSpelledRules)));
    const std::wstring dir = TestPath(L"spelled\\");
    CreateDirectoryW(dir.c_str(), nullptr);
    const std::wstring letters = L"ng\x1ecd\x63 \x0561\x0574.txt", lettersUpper = L"NG\x1ecc\x43 \x0531\x0544.TXT";
    WriteFile(dir + L"Secret File.txt", "spelled secret\r\n");
    WriteFile(dir + L"Open File.txt", "spelled open\r\n");
    WriteFile(dir + letters, "spelled letters\r\n");
    ASSERT_TRUE(Exists(dir + lettersUpper)) << "the file system joins the letters' cases";
    StartGuard();

    // Each spelling of the guarded file is refused; the same spelling of its
    // unguarded neighbour opens, so the spelling itself works.
    auto shortName = [&](const std::wstring& name) {
        wchar_t path[MAX_PATH] = {};
        GetShortPathNameW((dir + name).c_str(), path, MAX_PATH);
        return std::wstring(path);
    };
    struct Spelling {
        const char* what;
        std::function<std::wstring(const std::wstring&)> command; // from the file's name
        bool wineOpens = true; // Wine's file system opens this spelling itself
    } spellings[] = {
        { "letter case", [&](const std::wstring& n) { return L"type \"C:\\HMTEST\\SPELLED\\" + Upper(n) + L"\""; } },
        { "short name", [&](const std::wstring& n) { return L"type \"" + shortName(n) + L"\""; } },
        { "dot dot", [&](const std::wstring& n) { return L"type \"C:\\hmtest\\accept\\..\\spelled\\" + n + L"\""; } },
        { "forward slashes", [&](const std::wstring& n) { return L"type \"C:/hmtest/spelled/" + n + L"\""; } },
        { "\\\\?\\", [&](const std::wstring& n) { return L"type \"\\\\?\\C:\\hmtest\\spelled\\" + n + L"\""; } },
        { "relative", [&](const std::wstring& n) { return L"cd /d C:\\hmtest\\spelled & type \"" + n + L"\""; } },
        { "trailing dot and blank", [&](const std::wstring& n) { return L"type \"" + dir + n + L". \""; } },
        // Wine does not open a file by its ::$DATA name; the guard still
        // refuses the open as one of the file's (its log line below).
        { "stream suffix", [&](const std::wstring& n) { return L"type \"" + dir + n + L"::$DATA\""; }, false },
    };
    for (const Spelling& s : spellings) {
        ToolResult refused = GuardedCmd(s.command(L"Secret File.txt"));
        ToolResult opened = GuardedCmd(s.command(L"Open File.txt"));
        SCOPED_TRACE(std::string(s.what) + ": " + refused.output + " / " + opened.output);
        EXPECT_EQ(std::string::npos, refused.output.find("spelled secret"));
        if (s.wineOpens) {
            EXPECT_NE(std::string::npos, opened.output.find("spelled open"));
        }
    }
    EXPECT_EQ(std::size(spellings), LogCount(L"cmd.exe", dir + L"Secret File.txt"));
    ToolResult upper = GuardedCmd(L"type \"" + dir + lettersUpper + L"\"");
    EXPECT_EQ(std::string::npos, upper.output.find("spelled letters")) << upper.output;
    EXPECT_EQ(1u, LogCount(L"cmd.exe", dir + letters));

    // Both spellings of a key rule refuse reg.exe through HKCU and through
    // HKEY_USERS\<SID>, and a program that names the key relative to one it
    // opened first; an unguarded key takes the value both ways.
    const std::wstring sid = UserSid();
    ASSERT_FALSE(sid.empty());
    for (const std::wstring& root : { std::wstring(L"HKCU"), L"HKEY_USERS\\" + sid }) {
        for (const wchar_t* subkey : { L"Picked", L"Shipped", L"Free" }) {
            ToolResult r = Guarded(L"reg.exe add " + root + L"\\Software\\HarrowmereTest\\" + subkey +
                                   L" /v Probe /d x /f");
            bool free = std::wstring(subkey) == L"Free";
            SCOPED_TRACE(WideToAnsi(root + L"\\" + subkey) + " -> " + r.output);
            EXPECT_EQ(free ? 0 : 1, r.exitCode);
            EXPECT_EQ(free, HasValue(subkey, L"Probe"));
            testreg::DeleteTree(HKEY_CURRENT_USER, (std::wstring(kTestKey) + L"\\Free").c_str());
        }
    }
    for (const wchar_t* subkey : { L"HarrowmereTest\\Picked", L"HarrowmereTest\\Shipped" }) {
        ToolResult r = Guarded(TestPath(L"bin\\accepted.exe") + L" regrel Software " + subkey + L" Near");
        EXPECT_NE(std::string::npos, r.output.find("regrel: error 5")) << WideToAnsi(subkey) << r.output;
    }
    EXPECT_FALSE(HasValue(L"Picked", L"Near"));
    EXPECT_FALSE(HasValue(L"Shipped", L"Near"));
}

} // namespace
} // namespace e2e
