// Registry set-up with helpers from Vista on; the tests run on x86_64 only,
// so the i686 build merely compiles them.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
// The update page, created from its template as the child of a stand-in main
// window, with scratch settings whose program folder names the test servers.
// The button is clicked with mouse messages; rows, status, button and the
// stored schedule are read back.
#include "update/ui/UpdateDlg.h"

#include "base/Config.h"
#include "base/Strings.h"
#include "gui/MessagePump.h"
#include "gui/Screenshot.h"
#include "gui/TestWindow.h"
#include "res/resource.h"
#include "update/UpdateSchedule.h"
#include "update/UpdateTestKit.h"
#include "TestRegistry.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>

namespace {

using gui::Pump;

std::wstring TextOf(HWND hwnd)
{
    wchar_t buf[512] = {};
    GetWindowTextW(hwnd, buf, 512);
    return buf;
}

// Each row as "name|size|state|image".
std::vector<std::wstring> Rows(HWND list)
{
    std::vector<std::wstring> rows;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::wstring row;
        for (int sub = 0; sub < 3; ++sub) {
            wchar_t buf[256] = {};
            LVITEMW item = {};
            item.iSubItem = sub;
            item.pszText = buf;
            item.cchTextMax = 256;
            SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
            row += std::wstring(buf) + L"|";
        }
        LVITEMW item = {};
        item.mask = LVIF_IMAGE;
        item.iItem = i;
        SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        rows.push_back(row + std::to_wstring(item.iImage));
    }
    return rows;
}

std::wstring RowOf(const std::string& name, size_t size, UINT state, int image)
{
    return kit::W(name) + L"|" + std::to_wstring(size) + L"|" + ui::LoadStr(state) + L"|" + std::to_wstring(image);
}

class UpdatePage : public ::testing::Test {
protected:
    void SetUp() override
    {
        testreg::DeleteTree(HKEY_CURRENT_USER, m_key.c_str());
        m_places.settingsKey = m_key;
        m_places.programFolder = m_dir.Path();
        m_config = std::make_unique<CConfig>(m_places);
        m_parent = gui::CreateTestWindow(L"HmUpdatePageTestParent", DefWindowProcW, L"Update page",
                                         WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 40, 40, 560, 460);
        ASSERT_NE(nullptr, m_parent);
    }
    void TearDown() override
    {
        m_page.reset();
        DestroyWindow(m_parent);
        testreg::DeleteTree(HKEY_CURRENT_USER, m_key.c_str());
    }

    void CreatePage(UINT autoCheckMs = 600000)
    {
        m_page = std::make_unique<CUpdateDlg>(m_config.get());
        m_page->SetAutoCheckDelay(autoCheckMs);
        m_page->SetTransferLimits(5000, 3);
        ASSERT_TRUE(m_page->Create(m_parent));
        ShowWindow(m_page->Hwnd(), SW_SHOW);
        Pump(50);
    }
    void ServeManifest(const std::vector<std::string>& entries)
    {
        const std::string url = kit::PublishSigned(m_folder + "UpdateInfo.xml", kit::Manifest(entries));
        ASSERT_TRUE(kit::WriteConfig(m_dir.Path(), url, ""));
    }
    void ClickButton()
    {
        HWND button = m_page->Item(IDC_UPDATE_BUTTON);
        SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
        SendMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
    }
    template <typename F>
    bool PumpUntil(F done, DWORD timeoutMs = 30000)
    {
        return gui::PumpUntil(done, timeoutMs);
    }
    std::wstring Text(int id) const { return TextOf(m_page->Item(id)); }
    std::vector<std::wstring> ListRows() const { return Rows(m_page->Item(IDC_UPDATE_LIST)); }
    int64_t StoredLastUpdate() const
    {
        int64_t time = -1;
        DWORD size = sizeof(time);
        RegGetValueW(HKEY_CURRENT_USER, m_key.c_str(), kLastUpdateTimeValue, RRF_RT_REG_BINARY, nullptr, &time, &size);
        return time;
    }

    kit::ScratchFolder m_dir{ L"page" };
    const std::string m_folder = "page" + std::to_string(GetCurrentProcessId()) + "/";
    const std::wstring m_key = L"Software\\HarrowmereUpdatePageTest_" + std::to_wstring(GetCurrentProcessId());
    ConfigPlaces m_places;
    std::unique_ptr<CConfig> m_config;
    HWND m_parent = nullptr;
    std::unique_ptr<CUpdateDlg> m_page;
};

} // namespace

TEST_F(UpdatePage, RunListsFetchesAndMarksEachFile)
{
    REQUIRE_TEST_SERVERS();
    const std::string same = "up to date", fresh(20000, 'f'), good = "good";
    ASSERT_TRUE(kit::WriteFile(m_dir / L"same.dat", same));
    ServeManifest({
        kit::Entry("same.dat", "", same, kit::Url("ERROR", "404/same.dat")),
        kit::Entry("new.dat", "plugins", fresh, kit::Publish(m_folder + "new.dat", fresh), "Item"),
        // A name that begins another one gets its own row.
        kit::Entry("a.dll.bak", "", "bak", kit::Publish(m_folder + "a.dll.bak", "bak")),
        kit::Entry("a.dll", "", "dll", kit::Publish(m_folder + "a.dll", "dll")),
    });
    CreatePage();
    const std::wstring initialCaption = Text(IDC_UPDATE_BUTTON);
    EXPECT_EQ(ui::LoadStr(IDS_UPDATE_UNKNOWN), Text(IDC_UPDATE_STATUS));

    ClickButton();
    EXPECT_EQ(ui::LoadStr(IDS_UPDATE_CANCEL), Text(IDC_UPDATE_BUTTON));
    ASSERT_TRUE(PumpUntil([this] { return !m_page->IsRunning(); }));
    EXPECT_NE(initialCaption, Text(IDC_UPDATE_BUTTON));
    EXPECT_EQ(ui::LoadStr(IDS_UPDATE_AGAIN), Text(IDC_UPDATE_BUTTON));
    EXPECT_EQ(ui::LoadStr(IDS_UPDATE_DONE), Text(IDC_UPDATE_STATUS));
    EXPECT_EQ((std::vector<std::wstring>{ RowOf("same.dat", same.size(), IDS_UPDATE_ROW_QUEUED, 0),
                                          RowOf("new.dat", fresh.size(), IDS_UPDATE_ROW_DONE, 3),
                                          RowOf("a.dll.bak", 3, IDS_UPDATE_ROW_DONE, 3),
                                          RowOf("a.dll", 3, IDS_UPDATE_ROW_DONE, 3) }),
              ListRows());
    // 20006 bytes received of the 20016 listed.
    EXPECT_EQ(kProgressBlocks * 20006 / 20016, SendMessageW(m_page->Item(IDC_UPDATE_PROGRESS), PBM_GETPOS, 0, 0));
    EXPECT_EQ(fresh, kit::ReadFile(m_dir / L"Temp\\plugins\\new.dat"));
    EXPECT_EQ(same, kit::ReadFile(m_dir / L"same.dat")) << "installed files are left to the updater";
    EXPECT_FALSE(m_page->WorkerAlive());
    EXPECT_EQ(-1, StoredLastUpdate()) << "a run started with the button is not an automatic one";
    Pump(100);
    EXPECT_TRUE(gui::SaveScreenshot(m_parent, L"update-page-done.bmp"));

    // A served file that does not match its entry: the row fails, nothing
    // further is fetched, the page says so, and this run leaves no file.
    ServeManifest({ kit::Entry("corrupt.dat", "", good, kit::Publish(m_folder + "corrupt.dat", "bad!")),
                    kit::Entry("later.dat", "", good, kit::Publish(m_folder + "later.dat", good)) });
    ClickButton();
    ASSERT_TRUE(PumpUntil([this] { return !m_page->IsRunning(); }));
    EXPECT_EQ(ui::LoadStr(IDS_UPDATE_VERIFY_FAILED), Text(IDC_UPDATE_STATUS));
    EXPECT_EQ((std::vector<std::wstring>{ RowOf("corrupt.dat", good.size(), IDS_UPDATE_ROW_FAILED, 2),
                                          RowOf("later.dat", good.size(), IDS_UPDATE_ROW_QUEUED, 0) }),
              ListRows());
    for (const wchar_t* file : { L"Temp\\corrupt.dat", L"Temp\\later.dat", L"Temp\\UpdateInfo.xml" })
        EXPECT_FALSE(kit::Exists(m_dir / file));
}

TEST_F(UpdatePage, CancelDuringASlowTransferIsIdleAtOnceAndEndsTheWorker)
{
    REQUIRE_TEST_SERVERS();
    ServeManifest({ kit::Entry("slow.dat", "", std::string(2000000, 's'), kit::Url("SLOW", "2000000/20000")) });
    CreatePage();
    ClickButton();
    ASSERT_TRUE(PumpUntil([this] { return Text(IDC_UPDATE_STATUS).find(L"slow.dat -> ") == 0; }));
    EXPECT_EQ(std::vector<std::wstring>{ RowOf("slow.dat", 2000000, IDS_UPDATE_ROW_DOWNLOADING, 1) }, ListRows());
    Pump(600);
    EXPECT_TRUE(gui::SaveScreenshot(m_parent, L"update-page-running.bmp"));

    const DWORD start = GetTickCount();
    ClickButton();
    EXPECT_FALSE(m_page->IsRunning());
    EXPECT_TRUE(ListRows().empty());
    EXPECT_EQ(ui::LoadStr(IDS_UPDATE_UNKNOWN), Text(IDC_UPDATE_STATUS));
    EXPECT_EQ(ui::LoadStr(IDS_UPDATE_AGAIN), Text(IDC_UPDATE_BUTTON));
    EXPECT_EQ(0, SendMessageW(m_page->Item(IDC_UPDATE_PROGRESS), PBM_GETPOS, 0, 0));
    ASSERT_TRUE(PumpUntil([this] { return !m_page->WorkerAlive() && IsWindowEnabled(m_page->Item(IDC_UPDATE_BUTTON)); },
                          10000));
    std::printf("worker gone and button enabled %lu ms after cancel\n", static_cast<unsigned long>(GetTickCount() - start));
    EXPECT_TRUE(ListRows().empty()) << "the cancelled run showed more";
}

TEST_F(UpdatePage, AutomaticRunEveryFiveDaysWhenSwitchedOn)
{
    REQUIRE_TEST_SERVERS();
    ServeManifest({});
    const int64_t day = 86400;
    const struct {
        const char* what;
        uint32_t autoUpdate;
        int64_t ago; // -1: nothing stored
        bool runs;
    } cases[] = {
        { "switched off", 0, -1, false },
        { "4 days 23 hours ago", 1, 5 * day - 3600, false },
        { "5 days ago", 1, 5 * day, true },
        { "never", 1, -1, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testreg::DeleteTree(HKEY_CURRENT_USER, m_key.c_str());
        const int64_t now = CurrentUnixTime(), stored = now - c.ago;
        if (c.ago >= 0)
            testreg::SetValue(HKEY_CURRENT_USER, m_key.c_str(), kLastUpdateTimeValue, REG_BINARY, &stored, 8);
        m_config->AutoUpdate = c.autoUpdate;
        CreatePage(50); // timer 300 fires after 50 ms
        EXPECT_EQ(c.runs, PumpUntil([this] { return Text(IDC_UPDATE_STATUS) == ui::LoadStr(IDS_UPDATE_DONE); }, 2000));
        if (c.runs) {
            EXPECT_GE(StoredLastUpdate(), now) << "the new time is stored";
        } else {
            EXPECT_EQ(c.ago >= 0 ? stored : -1, StoredLastUpdate());
        }
        m_page.reset();
    }

    // The automatic check leaves a run started with the button alone.
    ServeManifest({ kit::Entry("slow.dat", "", std::string(2000000, 's'), kit::Url("SLOW", "2000000/20000")) });
    testreg::DeleteTree(HKEY_CURRENT_USER, m_key.c_str());
    CreatePage();
    ClickButton();
    m_page->AutoUpdateCheck();
    EXPECT_TRUE(m_page->IsRunning());
    EXPECT_EQ(-1, StoredLastUpdate());
}
