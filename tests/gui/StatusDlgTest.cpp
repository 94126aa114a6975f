// The status page, created from its template as the child of a stand-in main
// window, with scratch settings, a recorded monitoring switch and tray tip.
// Links are clicked with mouse messages; texts, icons, saved settings and the
// messages posted to the parent are read back.
#include "monitor/StatusDlg.h"

#include "base/Config.h"
#include "base/Messages.h"
#include "base/Strings.h"
#include "gui/Screenshot.h"
#include "res/resource.h"

#include "gui/MessagePump.h"
#include "gui/TestWindow.h"
#include "TestRegistry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<WPARAM> g_pagesShown; // WM_SHOW_PAGE wParams, in order
std::vector<LPARAM> g_pageParams;

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_SHOW_PAGE) {
        g_pagesShown.push_back(wParam);
        g_pageParams.push_back(lParam);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

using gui::Pump;

std::wstring TextOf(HWND hwnd)
{
    wchar_t buf[512] = {};
    GetWindowTextW(hwnd, buf, 512);
    return buf;
}

void Click(HWND control)
{
    SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

// The pixels of a bitmap as 24-bit rows, to tell two images apart.
std::vector<BYTE> BitsOf(HBITMAP bitmap)
{
    BITMAP info = {};
    if (!bitmap || !GetObjectW(bitmap, sizeof(info), &info))
        return {};
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = info.bmWidth;
    header.biHeight = info.bmHeight;
    header.biPlanes = 1;
    header.biBitCount = 24;
    std::vector<BYTE> bits(static_cast<size_t>((info.bmWidth * 3 + 3) & ~3) * info.bmHeight);
    HDC dc = GetDC(nullptr);
    GetDIBits(dc, bitmap, 0, info.bmHeight, bits.data(), reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    return bits;
}

std::vector<BYTE> ResourceBits(UINT id)
{
    HBITMAP bitmap = static_cast<HBITMAP>(LoadImageW(ui::ResourceModule(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0));
    std::vector<BYTE> bits = BitsOf(bitmap);
    DeleteObject(bitmap);
    return bits;
}

class StatusPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_pagesShown.clear();
        g_pageParams.clear();
        const std::wstring unique = std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount());
        m_scratchKey = L"Software\\HarrowmereStatusTest_" + unique;
        m_places.settingsKey = m_scratchKey + L"\\Settings";
        m_places.runKey = m_scratchKey + L"\\Run";
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"hm_status_" + unique;
        ASSERT_TRUE(CreateDirectoryW(m_folder.c_str(), nullptr));
        m_places.programFolder = m_folder;
        m_config = std::make_unique<CConfig>(m_places);

        m_parent = gui::CreateTestWindow(L"HmStatusPageTestParent", ParentProc, L"Status page",
                                         WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 40, 40, 560, 460);
        ASSERT_NE(nullptr, m_parent);
    }

    void TearDown() override
    {
        m_page.reset();
        DestroyWindow(m_parent);
        testreg::DeleteTree(HKEY_CURRENT_USER, m_scratchKey.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, m_scratchKey.c_str());
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

    // The page with the settings as they are now, shown in the parent.
    void CreatePage()
    {
        m_page = std::make_unique<CStatusDlg>();
        m_page->SetConfig(m_config.get());
        m_page->SetMonitoringSwitch([this](bool start, bool byUser) {
            m_switchCalls.push_back(start);
            m_byUser.push_back(byUser);
            return 0;
        });
        m_page->SetMonitoringState([this] { return m_guarding; });
        m_page->SetTrayTipSetter([this](int id) { m_trayTips.push_back(id); });
        ASSERT_TRUE(m_page->Create(m_parent));
        ShowWindow(m_page->Hwnd(), SW_SHOW);
        Pump(50);
    }

    // The settings as stored, read by a fresh settings object.
    std::unique_ptr<CConfig> Saved() const
    {
        auto saved = std::make_unique<CConfig>(m_places);
        saved->Load();
        return saved;
    }

    std::wstring Text(int id) const { return TextOf(m_page->Item(id)); }

    HBITMAP IconOf(int id) const
    {
        return reinterpret_cast<HBITMAP>(SendMessageW(m_page->Item(id), STM_GETIMAGE, IMAGE_BITMAP, 0));
    }

    void WriteRuleFile(const SYSTEMTIME& localWriteTime)
    {
        const std::wstring path = m_folder + L"\\Harrowmere.erd";
        std::ofstream(std::filesystem::path(path)) << "<Harrowmere/>";
        SYSTEMTIME utc;
        ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &localWriteTime, &utc));
        FILETIME when;
        ASSERT_TRUE(SystemTimeToFileTime(&utc, &when));
        HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &when));
        CloseHandle(file);
    }

    ConfigPlaces m_places;
    std::wstring m_scratchKey;
    std::wstring m_folder;
    std::unique_ptr<CConfig> m_config;
    HWND m_parent = nullptr;
    std::unique_ptr<CStatusDlg> m_page;
    std::vector<bool> m_switchCalls;
    std::vector<bool> m_byUser;
    bool m_guarding = true; // what the driver link says of its session
    std::vector<int> m_trayTips;
};

} // namespace

TEST_F(StatusPage, CreationShowsEachSettingCombination)
{
    const auto on = ResourceBits(IDB_STATE_ON);
    const auto off = ResourceBits(IDB_STATE_OFF);
    ASSERT_FALSE(on.empty());
    ASSERT_NE(on, off);

    const struct {
        uint32_t hook, autoUpdate, blockCount;
        const wchar_t *monitorLabel, *monitorSwitch, *updateLabel, *updateSwitch, *counter;
        int trayTip;
    } cases[] = {
        { 1, 1, 300, L"监控功能已经开启.", L"关闭监控", L"自动更新已经开启.", L"关闭自动更新",
          L"目前为止已经成功拦截300个操作.", IDS_MONITORING_ON },
        { 0, 1, 0, L"监控功能已经关闭.", L"开启监控", L"自动更新已经开启.", L"关闭自动更新",
          L"目前为止已经成功拦截0个操作.", IDS_MONITORING_OFF },
        { 1, 0, 7, L"监控功能已经开启.", L"关闭监控", L"自动更新已经关闭.", L"开启自动更新",
          L"目前为止已经成功拦截7个操作.", IDS_MONITORING_ON },
        // Any value but 1 counts as off.
        { 2, 5, 123456, L"监控功能已经关闭.", L"开启监控", L"自动更新已经关闭.", L"开启自动更新",
          L"目前为止已经成功拦截123456个操作.", IDS_MONITORING_OFF },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.monitorLabel + std::wstring(L" / ") + c.updateLabel);
        m_config->Hook = c.hook;
        m_config->AutoUpdate = c.autoUpdate;
        m_config->BlockCount = c.blockCount;
        m_switchCalls.clear();
        m_trayTips.clear();
        CreatePage();

        EXPECT_EQ(c.monitorLabel, Text(IDC_STATUS_MONITOR_LABEL));
        EXPECT_EQ(c.monitorSwitch, Text(IDC_STATUS_MONITOR_SWITCH));
        EXPECT_EQ(c.updateLabel, Text(IDC_STATUS_UPDATE_LABEL));
        EXPECT_EQ(c.updateSwitch, Text(IDC_STATUS_UPDATE_SWITCH));
        EXPECT_EQ(c.counter, Text(IDC_STATUS_BLOCK_COUNT));
        EXPECT_EQ(c.hook == 1 ? on : off, BitsOf(IconOf(IDC_STATUS_MONITOR_ICON)));
        EXPECT_EQ(c.autoUpdate == 1 ? on : off, BitsOf(IconOf(IDC_STATUS_UPDATE_ICON)));
        // Creation applies monitoring once: the tray tip and the driver link.
        EXPECT_EQ(std::vector<int>{ c.trayTip }, m_trayTips);
        EXPECT_EQ(std::vector<bool>{ c.hook == 1 }, m_switchCalls);
        if (c.hook == 1 && c.autoUpdate == 1) {
            EXPECT_TRUE(gui::SaveScreenshot(m_parent, L"status-page.bmp"));
        }
        m_page.reset();
    }
}

TEST_F(StatusPage, FollowsASettingChangedElsewhereThroughTheSettingsMessage)
{
    // As the tray menu changes them: through the settings, never the page.
    m_config->Hook = 1;
    m_config->AutoUpdate = 1;
    CreatePage();
    m_switchCalls.clear();
    m_byUser.clear();

    m_config->Toggle(Setting::Hook);
    EXPECT_EQ(std::vector<bool>{ false }, m_switchCalls);
    EXPECT_EQ(std::vector<bool>{ true }, m_byUser) << "a change of the setting is the user's";
    EXPECT_FALSE(m_page->MonitoringShown());
    EXPECT_EQ(ui::LoadStr(IDS_MONITORING_OFF), Text(IDC_STATUS_MONITOR_LABEL));

    m_config->Toggle(Setting::AutoUpdate);
    EXPECT_EQ(ui::LoadStr(IDS_AUTO_UPDATE_OFF), Text(IDC_STATUS_UPDATE_LABEL));
    EXPECT_EQ(0u, Saved()->AutoUpdate);
    EXPECT_EQ(std::vector<bool>{ false }, m_switchCalls) << "only Hook switches the link";

    // A destroyed page is no longer told.
    m_page.reset();
    m_config->Toggle(Setting::Hook);
    EXPECT_EQ(std::vector<bool>{ false }, m_switchCalls);
}

TEST_F(StatusPage, MonitoringSwitchStopsThenStartsTheLinkAndSavesHook)
{
    m_config->Hook = 1;
    CreatePage();
    m_switchCalls.clear();
    m_trayTips.clear();

    Click(m_page->Item(IDC_STATUS_MONITOR_SWITCH));
    EXPECT_EQ(std::vector<bool>{ false }, m_switchCalls);
    EXPECT_EQ(std::vector<int>{ IDS_MONITORING_OFF }, m_trayTips);
    EXPECT_EQ(L"监控功能已经关闭.", Text(IDC_STATUS_MONITOR_LABEL));
    EXPECT_EQ(L"开启监控", Text(IDC_STATUS_MONITOR_SWITCH));
    EXPECT_EQ(ResourceBits(IDB_STATE_OFF), BitsOf(IconOf(IDC_STATUS_MONITOR_ICON)));
    EXPECT_EQ(0u, Saved()->Hook);

    Click(m_page->Item(IDC_STATUS_MONITOR_SWITCH));
    EXPECT_EQ((std::vector<bool>{ false, true }), m_switchCalls);
    EXPECT_EQ((std::vector<int>{ IDS_MONITORING_OFF, IDS_MONITORING_ON }), m_trayTips);
    EXPECT_EQ(L"监控功能已经开启.", Text(IDC_STATUS_MONITOR_LABEL));
    EXPECT_EQ(L"关闭监控", Text(IDC_STATUS_MONITOR_SWITCH));
    EXPECT_EQ(ResourceBits(IDB_STATE_ON), BitsOf(IconOf(IDC_STATUS_MONITOR_ICON)));
    EXPECT_EQ(1u, Saved()->Hook);

    // The other switch and the counter are untouched; no page was asked for.
    EXPECT_EQ(L"自动更新已经开启.", Text(IDC_STATUS_UPDATE_LABEL));
    Pump(30);
    EXPECT_TRUE(g_pagesShown.empty());
}

TEST_F(StatusPage, MonitoringThatIsRefusedOrLostShowsOffAndItsSwitchStartsAgain)
{
    m_config->Hook = 1;
    m_guarding = false; // the driver refused the session
    CreatePage();
    EXPECT_EQ(ui::LoadStr(IDS_MONITORING_OFF), Text(IDC_STATUS_MONITOR_LABEL));
    EXPECT_EQ(ui::LoadStr(IDS_TURN_MONITORING_ON), Text(IDC_STATUS_MONITOR_SWITCH));
    EXPECT_EQ(std::vector<int>{ IDS_MONITORING_OFF }, m_trayTips);
    EXPECT_EQ((std::vector<bool>{ true }), m_switchCalls);
    EXPECT_EQ((std::vector<bool>{ false }), m_byUser) << "applied at creation, not by the user";

    // "Turn on" starts the link again; "Hook" stays 1.
    m_guarding = true;
    Click(m_page->Item(IDC_STATUS_MONITOR_SWITCH));
    EXPECT_EQ((std::vector<bool>{ true, true }), m_switchCalls);
    EXPECT_EQ((std::vector<bool>{ false, true }), m_byUser);
    EXPECT_EQ(1u, Saved()->Hook);
    EXPECT_EQ(ui::LoadStr(IDS_MONITORING_ON), Text(IDC_STATUS_MONITOR_LABEL));
    EXPECT_EQ(IDS_MONITORING_ON, m_trayTips.back());

    // The session goes: the page and the tray tip follow without a switch.
    m_guarding = false;
    m_page->ShowMonitoring();
    EXPECT_EQ(ui::LoadStr(IDS_MONITORING_OFF), Text(IDC_STATUS_MONITOR_LABEL));
    EXPECT_EQ(IDS_MONITORING_OFF, m_trayTips.back());
    EXPECT_EQ(2u, m_switchCalls.size());
}

TEST_F(StatusPage, AutoUpdateSwitchChangesOnlyItsOwnSetting)
{
    m_config->Hook = 1;
    m_config->AutoUpdate = 1;
    m_config->Save();
    CreatePage();
    m_switchCalls.clear();

    Click(m_page->Item(IDC_STATUS_UPDATE_SWITCH));
    EXPECT_EQ(L"自动更新已经关闭.", Text(IDC_STATUS_UPDATE_LABEL));
    EXPECT_EQ(L"开启自动更新", Text(IDC_STATUS_UPDATE_SWITCH));
    EXPECT_EQ(ResourceBits(IDB_STATE_OFF), BitsOf(IconOf(IDC_STATUS_UPDATE_ICON)));
    auto saved = Saved();
    EXPECT_EQ(0u, saved->AutoUpdate);
    EXPECT_EQ(1u, saved->Hook);
    EXPECT_TRUE(m_switchCalls.empty());
    EXPECT_EQ(L"监控功能已经开启.", Text(IDC_STATUS_MONITOR_LABEL));
    Pump(30);
    EXPECT_TRUE(g_pagesShown.empty()); // no update page, no update run
}

TEST_F(StatusPage, SwitchesTurnOnAStoredValueThatShowsAsOff)
{
    // A value other than 0 or 1 (written by hand, say) shows as off; the
    // switch then turns it on rather than leaving it off.
    m_config->Hook = 2;
    m_config->AutoUpdate = 5;
    CreatePage();
    m_switchCalls.clear();
    Click(m_page->Item(IDC_STATUS_MONITOR_SWITCH));
    Click(m_page->Item(IDC_STATUS_UPDATE_SWITCH));
    EXPECT_EQ(std::vector<bool>{ true }, m_switchCalls);
    EXPECT_EQ(1u, Saved()->Hook);
    EXPECT_EQ(1u, Saved()->AutoUpdate);
    EXPECT_EQ(L"监控功能已经开启.", Text(IDC_STATUS_MONITOR_LABEL));
    EXPECT_EQ(L"自动更新已经开启.", Text(IDC_STATUS_UPDATE_LABEL));
}

TEST_F(StatusPage, PageLinksPostShowPageToTheMainWindow)
{
    CreatePage();
    const struct {
        int link;
        WPARAM page;
    } links[] = { { IDC_STATUS_SETTINGS, 2 }, { IDC_STATUS_UPDATE_NOW, 3 }, { IDC_STATUS_HELP_LINK, 4 } };
    for (const auto& l : links) {
        g_pagesShown.clear();
        g_pageParams.clear();
        Click(m_page->Item(l.link));
        Pump(30);
        ASSERT_EQ(1u, g_pagesShown.size()) << "link " << l.link;
        EXPECT_EQ(l.page, g_pagesShown[0]);
        EXPECT_EQ(0, g_pageParams[0]);
    }
}

TEST_F(StatusPage, HelpLinkCarriesTheInfoTipAndHidesItWhenClicked)
{
    CreatePage();
    HWND help = m_page->Item(IDC_STATUS_HELP_LINK);
    m_page->InfoTip().SetDelay(0);

    // The mouse rests on the help link: the link's messages reach the tip.
    RECT r;
    GetWindowRect(help, &r);
    const POINT centre = { (r.left + r.right) / 2, (r.top + r.bottom) / 2 };
    SetCursorPos(centre.x, centre.y);
    POINT at = {};
    for (int i = 0; i < 100 && GetCursorPos(&at) && (at.x != centre.x || at.y != centre.y); ++i)
        Pump(20);
    if (at.x != centre.x || at.y != centre.y)
        GTEST_SKIP() << "the pointer cannot be placed on this display (it stays at " << at.x << "," << at.y << ")";
    POINT inside = { (r.right - r.left) / 2, (r.bottom - r.top) / 2 };
    SendMessageW(help, WM_MOUSEMOVE, 0, MAKELPARAM(inside.x, inside.y));
    for (int i = 0; i < 100 && !m_page->InfoTip().IsShown(); ++i)
        Pump(20);
    ASSERT_TRUE(m_page->InfoTip().IsShown());
    EXPECT_EQ(L"提交软件问题以及发送建议报告", m_page->InfoTip().Text());
    EXPECT_TRUE(gui::SaveScreenshot(GetDesktopWindow(), L"status-page-tip.bmp"));

    // The click hides the tip and stops its timer before asking for the page.
    SendMessageW(m_page->Hwnd(), WM_COMMAND, MAKEWPARAM(IDC_STATUS_HELP_LINK, STN_CLICKED),
                 reinterpret_cast<LPARAM>(help));
    EXPECT_FALSE(m_page->InfoTip().IsShown());
    EXPECT_FALSE(m_page->InfoTip().IsTimerRunning());
    Pump(30);
    EXPECT_EQ(std::vector<WPARAM>{ 4 }, g_pagesShown);
}

TEST_F(StatusPage, RuleDateKeepsTemplateTextWithoutFileAndShowsFileDateWithOne)
{
    CreatePage();
    EXPECT_EQ(L"更新日期:2006年3月1日", Text(IDC_STATUS_RULE_DATE));

    SYSTEMTIME written = {};
    written.wYear = 2021;
    written.wMonth = 7;
    written.wDay = 5;
    written.wHour = 12;
    WriteRuleFile(written);
    m_page->RefreshRuleDate();
    EXPECT_EQ(L"更新日期:2021年7月5日", Text(IDC_STATUS_RULE_DATE));

    // The file goes away again: the last date stays.
    std::filesystem::remove(std::filesystem::path(m_folder + L"\\Harrowmere.erd"));
    m_page->RefreshRuleDate();
    EXPECT_EQ(L"更新日期:2021年7月5日", Text(IDC_STATUS_RULE_DATE));

    // A page created with the file shows its date at once.
    written.wYear = 2009;
    written.wMonth = 12;
    written.wDay = 31;
    WriteRuleFile(written);
    m_page.reset();
    CreatePage();
    EXPECT_EQ(L"更新日期:2009年12月31日", Text(IDC_STATUS_RULE_DATE));
}

TEST_F(StatusPage, RuleEditorLinkReusesItsWindowAndReplacesAClosedOne)
{
    int created = 0;
    CreatePage();
    m_page->SetRuleEditorFactory([&created]() {
        ++created;
        // Any top-level template serves as the tool window here.
        return std::make_unique<ui::CDialog>(IDD_HARROWMERE_DIALOG);
    });

    Click(m_page->Item(IDC_STATUS_RULE_EDITOR));
    ui::CDialog* first = m_page->RuleEditor();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(1, created);
    HWND firstWindow = first->Hwnd();
    EXPECT_TRUE(IsWindowVisible(firstWindow));
    EXPECT_EQ(nullptr, GetParent(firstWindow)); // top-level, not a child of the page

    // Minimised, then asked for again: the same window comes back restored.
    ShowWindow(firstWindow, SW_MINIMIZE);
    Pump(30);
    Click(m_page->Item(IDC_STATUS_RULE_EDITOR));
    Pump(30);
    EXPECT_EQ(1, created);
    EXPECT_EQ(first, m_page->RuleEditor());
    EXPECT_FALSE(IsIconic(firstWindow));
    EXPECT_TRUE(IsWindowVisible(firstWindow));

    // The user closes it: the next click makes a new one.
    SendMessageW(firstWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(nullptr, m_page->RuleEditor());
    Click(m_page->Item(IDC_STATUS_RULE_EDITOR));
    ASSERT_NE(nullptr, m_page->RuleEditor());
    EXPECT_EQ(2, created);
    HWND second = m_page->RuleEditor()->Hwnd();
    EXPECT_TRUE(IsWindow(second));

    // Without a factory the process manager link opens nothing.
    Click(m_page->Item(IDC_STATUS_PROCESS_MANAGER));
    EXPECT_EQ(nullptr, m_page->ProcessManager());

    // The page takes its tool window with it.
    SendMessageW(m_page->Hwnd(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(second));
    EXPECT_EQ(nullptr, m_page->RuleEditor());
}
