// The setup program and its uninstaller under Wine, run as an administrator
// and a user would run them. They change the whole prefix (Program Files,
// the kernel service, HKLM), so they run only where HM_INSTALLER_TEST is set:
// scripts/test-installer.sh gives them a fresh prefix of their own.
#include "base/Config.h"
#include "base/Handles.h"
#include "base/Registry.h"
#include "e2e/GuardFixture.h"
#include "TestRegistry.h"
#include "support/Wait.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace e2e {
namespace {

namespace fs = std::filesystem;

const wchar_t kFrameTitle[] = L"HarrowmereMainFrame";
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Harrowmere";
const wchar_t kSettingsKey[] = L"Software\\Harrowmere";
// A folder given with /D=: a blank and Chinese on the way.
const wchar_t kChosenFolder[] = L"C:\\安全 软件\\Harrowmere";
// Refused by the rule file that comes with the program.
const wchar_t kRefused[] = L"OpenFile C:\\windows\\system32\\drivers\\etc\\hosts --process setup.exe";
const DWORD kTimeoutMs = 90000;

std::wstring SetupProgram()
{
    return L"\"" + StageDir() + L"..\\Harrowmere-Setup.exe\"";
}

// What the setup program installs: the stage with the debug information
// taken out of the programs (scripts/package.sh).
std::wstring PackagedDir()
{
    return StageDir() + L"..\\installer\\files\\";
}

std::string Bytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::set<std::wstring> FileNames(const fs::path& folder)
{
    std::set<std::wstring> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        names.insert(entry.path().filename().wstring());
    return names;
}

std::wstring Entry(const wchar_t* name)
{
    CRegKey key;
    std::wstring value;
    if (key.Open(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_READ) == 0)
        key.QueryString(name, &value);
    return value;
}

bool KeyExists(HKEY root, const wchar_t* name)
{
    CRegKey key;
    return key.Open(root, name, KEY_READ) == 0;
}

// What the settings page sees for a program in `folder`: 0 on, -2 no value.
int Autorun(const std::wstring& folder, int set = -1)
{
    ConfigPlaces places;
    places.programFolder = folder;
    CConfig config(places);
    if (set >= 0)
        config.SetAutorun(set != 0);
    return config.IsAutorun();
}

// The service's current state, or -1 when it does not exist.
long ServiceState()
{
    long state = -1;
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (SC_HANDLE service = manager ? OpenServiceW(manager, L"Harrowmere", SERVICE_QUERY_STATUS) : nullptr) {
        SERVICE_STATUS status = {};
        if (QueryServiceStatus(service, &status))
            state = static_cast<long>(status.dwCurrentState);
        CloseServiceHandle(service);
    }
    if (manager)
        CloseServiceHandle(manager);
    return state;
}

// Where the shortcuts of the Start menu's Harrowmere folder lead.
std::set<std::wstring> StartMenuTargets()
{
    wchar_t programs[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, programs);
    std::set<std::wstring> targets;
    CoInitialize(nullptr);
    for (const std::wstring& name : FileNames(fs::path(programs) / L"Harrowmere")) {
        IShellLinkW* link = nullptr;
        IPersistFile* file = nullptr;
        wchar_t target[MAX_PATH] = L"?";
        if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                       reinterpret_cast<void**>(&link))) &&
            SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
            SUCCEEDED(file->Load((fs::path(programs) / L"Harrowmere" / name).c_str(), STGM_READ)))
            link->GetPath(target, MAX_PATH, nullptr, 0);
        if (file)
            file->Release();
        if (link)
            link->Release();
        targets.insert(target);
    }
    CoUninitialize();
    return targets;
}

ui::CHandle Launch(const std::wstring& commandLine, DWORD* pid)
{
    std::wstring cmd = commandLine;
    STARTUPINFOW si = { sizeof(si) };
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return ui::CHandle();
    CloseHandle(pi.hThread);
    *pid = pi.dwProcessId;
    return ui::CHandle(pi.hProcess);
}

long ExitCode(HANDLE process, DWORD timeoutMs)
{
    DWORD code = 0;
    if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0 || !GetExitCodeProcess(process, &code))
        return -1;
    return static_cast<long>(code);
}

// The uninstaller starts a copy of itself from the temporary folder and ends;
// that copy does the work.
ui::CHandle CopyStartedBy(DWORD parent, DWORD* pid)
{
    ui::CHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W pe = { sizeof(pe) };
    for (BOOL ok = Process32FirstW(snap.Get(), &pe); ok; ok = Process32NextW(snap.Get(), &pe)) {
        if (pe.th32ParentProcessID == parent) {
            *pid = pe.th32ProcessID;
            return ui::CHandle(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pe.th32ProcessID));
        }
    }
    return ui::CHandle();
}

// Runs a setup program or an uninstaller (with its copy) to the end.
long RunToEnd(const std::wstring& commandLine, bool uninstaller = false)
{
    DWORD pid = 0;
    ui::CHandle process = Launch(commandLine, &pid);
    long code = process ? ExitCode(process.Get(), kTimeoutMs) : -2;
    if (code != 0 || !uninstaller)
        return code;
    ui::CHandle copy = CopyStartedBy(pid, &pid);
    return copy ? ExitCode(copy.Get(), kTimeoutMs) : -3;
}

HWND Wizard(DWORD pid)
{
    for (const WindowInfo& w : TopLevelWindows(pid))
        if (w.visible && w.className == L"#32770")
            return w.hwnd;
    return nullptr;
}

// Takes the wizard's default path: presses its main button (下一步, 安装,
// 卸载, 完成) whenever that is enabled, until the program ends.
long ClickThrough(HANDLE process, DWORD pid)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < kTimeoutMs;) {
        long code = ExitCode(process, 300);
        HWND wizard = Wizard(pid), next = wizard ? GetDlgItem(wizard, IDOK) : nullptr;
        if (code != -1)
            return code;
        if (next && IsWindowEnabled(next))
            PostMessageW(wizard, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(next));
    }
    return -1;
}

struct ControlSearch {
    const wchar_t* text;
    HWND found;
};

BOOL CALLBACK MatchControlText(HWND hwnd, LPARAM lp)
{
    auto* search = reinterpret_cast<ControlSearch*>(lp);
    wchar_t text[128] = {};
    GetWindowTextW(hwnd, text, 128);
    if (lstrcmpW(text, search->text) == 0)
        search->found = hwnd;
    return !search->found;
}

HWND WaitForControl(DWORD pid, const wchar_t* text)
{
    ControlSearch search{ text, nullptr };
    testwait::WaitUntil([&] {
        EnumChildWindows(Wizard(pid), MatchControlText, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    }, 15000);
    return search.found;
}

// Waits until a guard has started up (driver loaded, rules uploaded).
bool WaitForGuard()
{
    DWORD pid = 0;
    if (!testwait::WaitUntil([&] { return GetWindowThreadProcessId(FindWindowW(nullptr, kFrameTitle), &pid) && pid; },
                             15000))
        return false;
    ui::CHandle guard(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid));
    return WaitForInputIdle(guard.Get(), kTimeoutMs) == 0;
}

int Verdict(const std::wstring& operation)
{
    std::string out = RunTool(L"WatchSim.exe", operation).output;
    size_t at = out.find("verdict=");
    return at == std::string::npos ? -1 : out[at + 8] - '0';
}

class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!GetEnvironmentVariableW(L"HM_INSTALLER_TEST", nullptr, 0))
            GTEST_SKIP() << "changes the whole prefix; scripts/test-installer.sh runs it in one of its own";
        KillProcesses(L"Harrowmere.exe");
        if (!Entry(L"UninstallString").empty())
            RunToEnd(Entry(L"UninstallString") + L" /S", true);
        std::error_code ec;
        fs::remove_all(fs::path(ProgramDir()).parent_path(), ec);
        fs::remove_all(kChosenFolder, ec);
        testreg::DeleteTree(HKEY_CURRENT_USER, kSettingsKey);
    }
    void TearDown() override { KillProcesses(L"Harrowmere.exe"); }
};

TEST_F(InstallerTest, SilentInstallUpgradeAndUninstallKeepTheUsersRulesAndLog)
{
    const fs::path folder = fs::path(ProgramDir()).parent_path(), stage = PackagedDir();
    ASSERT_EQ(0, RunToEnd(SetupProgram() + L" /S"));
    std::set<std::wstring> staged = FileNames(stage);
    for (const std::wstring& name : staged)
        EXPECT_TRUE(Bytes(stage / name) == Bytes(folder / name)) << "installed copy of " << name;
    EXPECT_EQ((std::set<std::wstring>{ (folder / L"Harrowmere.exe").wstring(), (folder / L"Uninstall.exe").wstring() }),
              StartMenuTargets());
    EXPECT_EQ(L"Harrowmere", Entry(L"DisplayName"));
    EXPECT_EQ(L"\"" + (folder / L"Uninstall.exe").wstring() + L"\"", Entry(L"UninstallString"));
    EXPECT_EQ((folder / L"Harrowmere.exe").wstring() + L",0", Entry(L"DisplayIcon"));
    EXPECT_FALSE(Entry(L"DisplayVersion").empty() || Entry(L"Publisher").empty());
    CRegKey entry;
    uint32_t sizeKb = 0;
    uintmax_t stagedBytes = 0;
    for (const std::wstring& name : staged)
        stagedBytes += fs::file_size(stage / name);
    ASSERT_EQ(0, entry.Open(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_READ));
    EXPECT_EQ(0, entry.QueryDword(L"EstimatedSize", &sizeKb));
    EXPECT_GE(sizeKb, stagedBytes / 1024);
    EXPECT_EQ(0, Autorun(ProgramDir()));

    Process guard;
    ASSERT_TRUE(guard.Start(L"Harrowmere.exe", L"/background") && guard.WaitForWindow(kFrameTitle));
    EXPECT_EQ(2, Verdict(kRefused));
    EXPECT_EQ(SERVICE_RUNNING, ServiceState());

    // The user edits the rules and the settings file and switches autorun
    // off; a program file gets damaged. Then a silent upgrade, guard running.
    for (const wchar_t* name : { L"Harrowmere.erd", L"Harrowmere.cfg" })
        ASSERT_TRUE(WriteProgramFile(name, ReadProgramFile(name) + "<!-- edited by the user -->\r\n"));
    ASSERT_TRUE(WriteProgramFile(L"VxUpdate.exe", "damaged"));
    ASSERT_EQ(-2, Autorun(ProgramDir(), 0));
    const std::string rules = Bytes(folder / L"Harrowmere.erd"), config = Bytes(folder / L"Harrowmere.cfg"),
                      log = Bytes(folder / L"Harrowmere.log");
    ASSERT_FALSE(log.empty()) << "the refused operation should be logged";
    ASSERT_EQ(0, RunToEnd(SetupProgram() + L" /S"));
    EXPECT_EQ(0, guard.WaitForExit(0)) << "the setup program should have asked the guard to end";
    EXPECT_TRUE(rules == Bytes(folder / L"Harrowmere.erd")) << "the rule file changed";
    EXPECT_TRUE(config == Bytes(folder / L"Harrowmere.cfg")) << "the settings file changed";
    EXPECT_TRUE(log == Bytes(folder / L"Harrowmere.log")) << "the log changed";
    EXPECT_TRUE(Bytes(stage / L"VxUpdate.exe") == Bytes(folder / L"VxUpdate.exe")) << "a program file was not replaced";
    EXPECT_EQ(-2, Autorun(ProgramDir())) << "the upgrade should keep autorun off";
    EXPECT_EQ(SERVICE_STOPPED, ServiceState()) << "the old driver should be unloaded";

    // The upgraded guard works with the user's rules; the registered uninstall
    // command, run silently, ends it and keeps the rule file, what the rules
    // have decided (written as the guard ends) and the log.
    Process upgraded;
    ASSERT_TRUE(upgraded.Start(L"Harrowmere.exe", L"/background") && upgraded.WaitForWindow(kFrameTitle));
    EXPECT_EQ(2, Verdict(kRefused));
    ASSERT_EQ(0, Autorun(ProgramDir(), 1));
    const std::string logBefore = Bytes(folder / L"Harrowmere.log");
    ASSERT_EQ(0, RunToEnd(Entry(L"UninstallString") + L" /S", true));
    EXPECT_EQ(0, upgraded.WaitForExit(0));
    EXPECT_EQ(-1, ServiceState());
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_FALSE(fs::exists(fs::path(system) / L"drivers" / L"Harrowmere.sys"));
    EXPECT_EQ((std::set<std::wstring>{ L"Harrowmere.erd", L"Harrowmere.hits", L"Harrowmere.log" }), FileNames(folder));
    EXPECT_TRUE(rules == Bytes(folder / L"Harrowmere.erd")) << "the rule file changed";
    EXPECT_TRUE(logBefore == Bytes(folder / L"Harrowmere.log")) << "the log changed";
    EXPECT_TRUE(StartMenuTargets().empty());
    EXPECT_EQ(-2, Autorun(ProgramDir()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kSettingsKey)) << "settings stay unless the box is ticked";
}

TEST_F(InstallerTest, InteractiveSetupStartsTheGuardAndTickedUninstallRemovesRulesAndLog)
{
    const fs::path folder = kChosenFolder;
    DWORD pid = 0;
    ui::CHandle setup = Launch(SetupProgram() + L" /D=" + kChosenFolder, &pid);
    ASSERT_EQ(0, ClickThrough(setup.Get(), pid));
    ASSERT_TRUE(WaitForGuard()) << "the finish page should start the guard";
    EXPECT_EQ(1, CountProcesses(L"Harrowmere.exe"));
    EXPECT_TRUE(fs::exists(folder / L"Harrowmere.erd"));
    EXPECT_EQ(0, Autorun(kChosenFolder));
    std::ofstream(folder / L"Harrowmere.log") << "a logged line\n";

    ui::CHandle uninstaller = Launch(Entry(L"UninstallString"), &pid);
    ASSERT_EQ(0, ExitCode(uninstaller.Get(), kTimeoutMs));
    ui::CHandle copy = CopyStartedBy(pid, &pid);
    HWND box = WaitForControl(pid, L"删除规则和日志");
    ASSERT_TRUE(copy && box);
    EXPECT_EQ(BST_UNCHECKED, SendMessageW(box, BM_GETCHECK, 0, 0));
    SendMessageW(box, BM_CLICK, 0, 0);
    ASSERT_EQ(0, ClickThrough(copy.Get(), pid));

    EXPECT_EQ(0, CountProcesses(L"Harrowmere.exe"));
    EXPECT_EQ(-1, ServiceState());
    EXPECT_FALSE(fs::exists(folder)) << "nothing of the program folder should be left";
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSettingsKey));
    EXPECT_EQ(-2, Autorun(kChosenFolder));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_TRUE(StartMenuTargets().empty());
}

} // namespace
} // namespace e2e
