// The online update end to end with the installed guard and the local test
// servers: the update page fetches what differs, the next start hands over to
// VxUpdate.exe, which installs the good files and starts the guard once; the
// updater's command line; hostile manifests and feeds.
#include "e2e/GuardFixture.h"

#include "base/Messages.h"
#include "base/Strings.h"
#include "monitor/MainPages.h"
#include "res/resource.h"
#include "support/Wait.h"
#include "update/UpdateTestKit.h"

#include <commctrl.h>

#include <algorithm>
#include <filesystem>

namespace e2e {
namespace {

const wchar_t kFrameTitle[] = L"HarrowmereMainFrame";

HWND GuardMainWindow(DWORD pid)
{
    for (const WindowInfo& w : TopLevelWindows(pid))
        if (w.className == L"#32770" && w.title == L"Harrowmere 2006")
            return w.hwnd;
    return nullptr;
}

// The main window's child page that holds control `id`.
HWND PageWith(HWND main, int id)
{
    for (HWND child = GetWindow(main, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (GetDlgItem(child, id))
            return child;
    return nullptr;
}

std::wstring TextOf(HWND hwnd)
{
    wchar_t buf[512] = {};
    GetWindowTextW(hwnd, buf, 512);
    return buf;
}

bool GuardFrameShows()
{
    return testwait::WaitUntil([] { return FindWindowW(nullptr, kFrameTitle) != nullptr; }, 20000);
}

class UpdateFlowTest : public GuardTest {
protected:
    void SetUp() override
    {
        GuardTest::SetUp();
        KillProcesses(L"VxUpdate.exe");
        Clean();
        m_savedConfig = ReadProgramFile(L"Harrowmere.cfg");
        ResetSettings();
        WriteSetting(L"Hook", 0);
    }
    void TearDown() override
    {
        KillProcesses(L"VxUpdate.exe");
        GuardTest::TearDown();
        Clean();
        WriteProgramFile(L"Harrowmere.cfg", m_savedConfig);
        ResetSettings();
    }
    void Clean()
    {
        std::error_code ignored;
        for (const wchar_t* name : { L"Temp", L"AD", L"plugins" })
            std::filesystem::remove_all(ProgramDir() + name, ignored);
        DeleteProgramFile(L"corrupt.dat");
    }

    // Publishes the manifest and the feed in this test's server folder and
    // names them in the installed settings file.
    void Serve(const std::string& manifest, const std::string& feed)
    {
        ASSERT_TRUE(kit::WriteConfig(ProgramDir(), kit::PublishSigned(m_folder + "UpdateInfo.xml", manifest),
                                     kit::PublishSigned(m_folder + "AD.xml", feed)));
    }

    // Starts the guard, shows the update page and presses its button; waits
    // for the run to end. The status text and the rows' names and states.
    struct RunResult {
        std::wstring status;
        std::vector<std::wstring> names, states;
    };
    RunResult RunUpdatePage(Process& guard)
    {
        RunResult result;
        EXPECT_TRUE(guard.Start(L"Harrowmere.exe", L""));
        EXPECT_TRUE(guard.WaitForWindow(kFrameTitle));
        // The frame shows before the main window and its pages are created.
        HWND main = nullptr, page = nullptr;
        testwait::WaitUntil([&] {
            main = GuardMainWindow(guard.Pid());
            page = main ? PageWith(main, IDC_UPDATE_BUTTON) : nullptr;
            return page != nullptr;
        }, 20000);
        EXPECT_TRUE(page) << "the update page";
        if (!page)
            return result;
        PostMessageW(main, WM_SHOW_PAGE, PAGE_UPDATE, 0);
        PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_UPDATE_BUTTON, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_UPDATE_BUTTON)));
        const std::wstring again = ui::LoadStr(IDS_UPDATE_AGAIN);
        EXPECT_TRUE(testwait::WaitUntil([&] { return TextOf(GetDlgItem(page, IDC_UPDATE_BUTTON)) == again; }, 30000));
        result.status = TextOf(GetDlgItem(page, IDC_UPDATE_STATUS));
        result.names = RemoteListColumn(GetDlgItem(page, IDC_UPDATE_LIST), guard.Pid(), 0);
        result.states = RemoteListColumn(GetDlgItem(page, IDC_UPDATE_LIST), guard.Pid(), 2);
        return result;
    }

    std::string m_savedConfig;
    const std::string m_folder = "e2e" + std::to_string(GetCurrentProcessId()) + "_" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
};

TEST_F(UpdateFlowTest, PageFetchesThenTheNextStartHandsOverAndTheUpdaterInstallsOnce)
{
    REQUIRE_TEST_SERVERS();
    // A copy that does not match its entry refuses the whole update (the
    // hostile cases are in UpdateTrust): this is the signed update as it
    // should be.
    const std::string fresh(40000, 'n');
    const std::string rules = ReadProgramFile(L"Harrowmere.erd");
    ASSERT_FALSE(rules.empty());
    Serve(kit::Manifest({
              kit::Entry("Harrowmere.erd", "", rules, kit::Url("ERROR", "404/erd")),
              kit::Entry("new.dat", "plugins", fresh, kit::Publish(m_folder + "new.dat", fresh)),
          }),
          "");
    {
        Process guard;
        const RunResult run = RunUpdatePage(guard);
        EXPECT_EQ(ui::LoadStr(IDS_UPDATE_DONE), run.status);
        EXPECT_EQ((std::vector<std::wstring>{ L"Harrowmere.erd", L"new.dat" }), run.names);
        EXPECT_EQ((std::vector<std::wstring>{ ui::LoadStr(IDS_UPDATE_ROW_QUEUED), ui::LoadStr(IDS_UPDATE_ROW_DONE) }),
                  run.states);
        EXPECT_EQ(0, guard.Close());
    }
    EXPECT_EQ(fresh, kit::ReadFile(ProgramDir() + L"Temp\\plugins\\new.dat"));
    EXPECT_FALSE(kit::Exists(ProgramDir() + L"plugins\\new.dat")) << "nothing is installed while the guard runs";

    // The next start hands over: it ends without a window, the updater
    // installs the good file into its new folder and starts the guard.
    Process handingOver;
    ASSERT_TRUE(handingOver.Start(L"Harrowmere.exe", L""));
    EXPECT_EQ(0, handingOver.WaitForExit(15000));
    EXPECT_TRUE(TopLevelWindows(handingOver.Pid()).empty());
    ASSERT_TRUE(GuardFrameShows()) << "the guard again";
    EXPECT_TRUE(testwait::WaitUntil([] { return CountProcesses(L"VxUpdate.exe") == 0; }, 10000));
    // Both programs that could start a guard (the handing-over start and the
    // updater) have ended, so the count below can no longer change.
    EXPECT_EQ(1, CountProcesses(L"Harrowmere.exe")) << "the guard is started once";
    EXPECT_EQ(fresh, kit::ReadFile(ProgramDir() + L"plugins\\new.dat"));
    EXPECT_EQ(rules, ReadProgramFile(L"Harrowmere.erd"));
    // Copies and manifest are gone (the feed's download may be there).
    std::vector<std::wstring> left = kit::FilesUnder(ProgramDir() + L"Temp");
    left.erase(std::remove(left.begin(), left.end(), L"AD.xml"), left.end());
    EXPECT_EQ(std::vector<std::wstring>{}, left);
    KillProcesses(L"Harrowmere.exe");

    // A further start does not hand over again.
    Process again;
    ASSERT_TRUE(again.Start(L"Harrowmere.exe", L""));
    EXPECT_TRUE(again.WaitForWindow(kFrameTitle));
    EXPECT_EQ(0, CountProcesses(L"VxUpdate.exe"));
    EXPECT_EQ(0, again.Close());
}

TEST_F(UpdateFlowTest, UpdaterActsOnlyOnExactlyMinusUpdate)
{
    const std::string copy = "installed by the updater";
    const std::string manifest = kit::Manifest({ kit::Entry("u.dat", "", copy, "") });
    const struct {
        const wchar_t* args;
        std::string manifest;
        bool installs, manifestStays, startsGuard;
    } cases[] = {
        { L"", manifest, false, true, false },          { L"-Update", manifest, false, true, false },
        { L"-update ", manifest, false, true, false },  { L"-update x", manifest, false, true, false },
        { L"/update", manifest, false, true, false },   { L"-update", manifest, true, false, true },
        // Without a FileList the manifest stays, and the guard still starts.
        { L"-update", "<Harrowmere_Update/>", false, true, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "\"" << std::string(c.args, c.args + wcslen(c.args)) << "\" "
                                        << c.manifest.substr(0, 20));
        ASSERT_TRUE(kit::WriteFile(ProgramDir() + L"Temp\\u.dat", copy));
        ASSERT_TRUE(kit::WriteSigned(ProgramDir() + L"Temp\\UpdateInfo.xml", c.manifest));
        Process updater;
        ASSERT_TRUE(updater.Start(L"VxUpdate.exe", c.args));
        EXPECT_EQ(0, updater.WaitForExit(15000));
        EXPECT_EQ(c.installs, kit::Exists(ProgramDir() + L"u.dat"));
        EXPECT_EQ(c.manifestStays, kit::Exists(ProgramDir() + L"Temp\\UpdateInfo.xml"));
        EXPECT_EQ(c.startsGuard, c.startsGuard ? GuardFrameShows() : CountProcesses(L"Harrowmere.exe") > 0);
        KillProcesses(L"Harrowmere.exe");
        DeleteProgramFile(L"u.dat");
        Clean();
    }
}

TEST_F(UpdateFlowTest, HostileManifestAndFeedWriteNothingOutsideTheirFolders)
{
    REQUIRE_TEST_SERVERS();
    const std::string bytes = "hostile";
    const std::string url = kit::Publish(m_folder + "payload", bytes);
    const std::string picture = kit::Publish(m_folder + "pic.gif", bytes);
    Serve(kit::Manifest({
              kit::Entry("..\\hm_evil.dat", "", bytes, url),
              kit::Entry("hm_evil.dat", "..\\..", bytes, url),
              kit::Entry("hm_evil.dat", "C:\\", bytes, url),
              kit::Entry("hm_evil.dat", "\\\\127.0.0.1\\c$", bytes, url),
              kit::Entry("C:hm_evil.dat", "", bytes, url),
          }),
          "<Harrowmere_AD Serial=\"" + std::to_string(kit::NextSerial()) + "\" Expires=\"2099-12-31\"><Main Url=\"u\" "
          "Tooltip=\"t\" Image=\"" + kit::Url("STATIC", m_folder + "..\\..\\hm_evil.gif") +
              "\"/><Banner><Item Text=\"a\" Tooltip=\"b\" Url=\"c\"/></Banner></Harrowmere_AD>");
    {
        Process guard;
        const RunResult run = RunUpdatePage(guard);
        EXPECT_EQ(ui::LoadStr(IDS_UPDATE_MANIFEST_MALFORMED), run.status);
        EXPECT_TRUE(run.names.empty());
        // The feed is fetched one second after the start.
        EXPECT_TRUE(testwait::WaitUntil([] { return kit::Exists(ProgramDir() + L"AD\\AD.xml"); }, 10000));
        // Kept: gives the feed thread time to fetch the picture if it were to
        // take the refused name. The guard shows nothing when the feed fails,
        // and closing it cancels the fetch, so no condition tells that the
        // thread has finished.
        Sleep(1000);
        EXPECT_EQ(0, guard.Close());
    }
    for (const wchar_t* path : { L"C:\\Program Files\\hm_evil.dat", L"C:\\hm_evil.dat", L"C:\\Program Files\\hm_evil.gif",
                                 L"C:\\Program Files\\Harrowmere\\hm_evil.dat", L"C:\\Program Files\\Harrowmere\\hm_evil.gif" })
        EXPECT_FALSE(kit::Exists(path)) << std::string(path, path + wcslen(path));
    // The refused manifest is not stored; the feed is, with its signature.
    EXPECT_EQ((std::vector<std::wstring>{ L"AD.xml" }), kit::FilesUnder(ProgramDir() + L"Temp"));
    EXPECT_EQ((std::vector<std::wstring>{ L"AD.xml", L"AD.xml.minisig" }), kit::FilesUnder(ProgramDir() + L"AD"));

    // The start-up check skips the hostile entries: the guard starts itself.
    Process again;
    ASSERT_TRUE(again.Start(L"Harrowmere.exe", L"/background"));
    EXPECT_TRUE(again.WaitForWindow(kFrameTitle));
    EXPECT_EQ(0, CountProcesses(L"VxUpdate.exe"));
    EXPECT_EQ(0, again.Close());
}

} // namespace
} // namespace e2e
