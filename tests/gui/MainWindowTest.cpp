// Registry set-up with helpers from Vista on; the tests run on x86_64 only,
// so the i686 build merely compiles them.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
// The main window created in full from template 102, driven with messages:
// pages and tabs, the close box, the balloons for logged requests and their
// footer, the taskbar restart, F1 and the hot key. Also saves the
// screenshots of the pages, the tray menu and the balloons.
#include "base/Config.h"
#include "base/Messages.h"
#include "controls/BalloonHelp.h"
#include "gui/Screenshot.h"
#include "log/ActivityLog.h"
#include "monitor/HarrowmereDlg.h"
#include "monitor/LogDlg.h"
#include "res/resource.h"
#include "rules/ParamList.h"
#include "ui/MessageLoop.h"
#include "watch/RequestHandling.h"
#include "watch/WatchMain.h"

#include <commctrl.h>
#include "gui/MessagePump.h"
#include "gui/MessageSequence.h"
#include "support/Wait.h"
#include "TestRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

namespace {

using gui::Pump;

std::vector<std::wstring> Lines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    std::wstringstream ss(text);
    for (std::wstring line; std::getline(ss, line);)
        lines.push_back(line);
    return lines;
}

void WriteSetting(const wchar_t* name, DWORD value)
{
    testreg::SetValue(HKEY_CURRENT_USER, L"Software\\Harrowmere", name, REG_DWORD, &value, sizeof(value));
}

DWORD ReadSetting(const wchar_t* name)
{
    DWORD value = 0xFFFFFFFF, size = sizeof(value);
    RegGetValueW(HKEY_CURRENT_USER, L"Software\\Harrowmere", name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

// The main window as the program creates it, with monitoring off (the test
// program has no driver beside it) and the balloons on.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testreg::DeleteTree(HKEY_CURRENT_USER, L"Software\\Harrowmere");
        WriteSetting(L"Hook", 0);
        CConfig::DeleteInstance();
        CConfig::Instance()->Load();
        m_dlg.reset(new CHarrowmereDlg(nullptr));
        ASSERT_TRUE(m_dlg->Create(nullptr));
        // As the frame's view does when the program starts in the foreground.
        ShowWindow(m_dlg->Hwnd(), SW_SHOW);
        PostMessageW(m_dlg->Hwnd(), WM_SHOW_PAGE, PAGE_STATUS, 0);
        Pump(200);
    }
    void TearDown() override
    {
        CBalloonHelp::Close();
        if (m_dlg && m_dlg->IsWindow())
            SendMessageW(m_dlg->Hwnd(), WM_CLOSE, 0, 0);
        m_dlg.reset();
        Pump(50);
        testreg::DeleteTree(HKEY_CURRENT_USER, L"Software\\Harrowmere");
    }

    // A record in the activity log, as a decided request leaves it.
    int32_t LogRequest(const wchar_t* process, uint16_t verdict, const wchar_t* description)
    {
        PARAM_LIST* params = BuildParamList(0, "s", L"C:\\windows\\system32\\drivers\\etc\\hosts");
        int32_t seq = AddLogRecord(process, 1234, verdict, 1, description, params);
        FreeParamList(params);
        return seq;
    }

    HWND Main() const { return m_dlg->Hwnd(); }
    std::unique_ptr<CHarrowmereDlg> m_dlg;
};

TEST_F(MainWindowTest, FivePagesBesideTheTabStripAndPageSwitching)
{
    const CVxTab& tabs = m_dlg->Tabs();
    ASSERT_EQ(5, tabs.GetCount());
    const wchar_t* texts[] = { L"程序运行状态", L"日志察看", L"设置", L"在线更新", L"在线帮助" };
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(texts[i], tabs.GetTabText(i));

    RECT strip;
    GetWindowRect(tabs.Hwnd(), &strip);
    for (int page : { PAGE_STATUS, PAGE_LOG, PAGE_SETTINGS, PAGE_UPDATE, PAGE_HELP }) {
        ui::CDialog* dialog = m_dlg->Page(page);
        ASSERT_TRUE(dialog && dialog->IsWindow()) << page;
        EXPECT_EQ(Main(), GetParent(dialog->Hwnd()));
        RECT r;
        GetWindowRect(dialog->Hwnd(), &r);
        EXPECT_EQ(strip.right + 2, r.left) << page;
        EXPECT_EQ(strip.top + 4, r.top) << page;
    }

    for (int page : { PAGE_LOG, PAGE_SETTINGS, PAGE_UPDATE, PAGE_HELP, PAGE_STATUS }) {
        PostMessageW(Main(), WM_SHOW_PAGE, page, 0);
        Pump(60);
        EXPECT_EQ(page, tabs.GetCurSel());
        ASSERT_EQ(m_dlg->Page(page), m_dlg->CurrentPage());
        int visible = 0;
        for (int other : { PAGE_STATUS, PAGE_LOG, PAGE_SETTINGS, PAGE_UPDATE, PAGE_HELP })
            visible += IsWindowVisible(m_dlg->Page(other)->Hwnd()) ? 1 : 0;
        EXPECT_EQ(1, visible) << "exactly the current page is shown";
        EXPECT_TRUE(IsWindowVisible(m_dlg->CurrentPage()->Hwnd()));
        static const wchar_t* names[] = { L"main-status.bmp", L"main-log.bmp", L"main-settings.bmp", L"main-update.bmp",
                                          L"main-help.bmp" };
        gui::SaveScreenshot(Main(), names[page]);
    }
}

TEST_F(MainWindowTest, F1AnywhereShowsTheHelpPage)
{
    HWND inner = GetWindow(m_dlg->Page(PAGE_STATUS)->Hwnd(), GW_CHILD);
    ASSERT_TRUE(inner);
    PostMessageW(inner, WM_KEYUP, VK_F1, 0xC0000001);
    Pump(100);
    EXPECT_EQ(m_dlg->Page(PAGE_HELP), m_dlg->CurrentPage());
    EXPECT_EQ(PAGE_HELP, m_dlg->Tabs().GetCurSel());
}

TEST_F(MainWindowTest, CloseBoxHidesAndOnlyCloseEndsTheWindow)
{
    SendMessageW(Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    Pump(100);
    EXPECT_TRUE(IsWindow(Main()));
    EXPECT_FALSE(IsWindowVisible(Main()));
    // Started without "background": the start balloon tells the guard runs on.
    ASSERT_TRUE(CBalloonHelp::Current());
    EXPECT_EQ(1, CBalloonHelp::Instance()->Kind());
    EXPECT_EQ(L"Harrowmere 已经开始工作", CBalloonHelp::Instance()->Title());
    EXPECT_EQ(L"单击此处不再显示该提醒.", CBalloonHelp::Instance()->Footer());
    gui::SaveScreenshot(GetDesktopWindow(), L"start-balloon.bmp");

    // The skinned close button does the same as the close box.
    ShowWindow(Main(), SW_SHOW);
    SendMessageW(Main(), WM_COMMAND, MAKEWPARAM(IDC_MAIN_CLOSE, BN_CLICKED), 0);
    Pump(100);
    EXPECT_FALSE(IsWindowVisible(Main()));
    EXPECT_TRUE(IsWindow(Main()));

    HWND hwnd = Main();
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(0u, ReadSetting(L"Hook")) << "settings saved at the end";
}

TEST_F(MainWindowTest, LoggedRequestShowsAMonitoringBalloonAndItsFooterTurnsItOff)
{
    int32_t seq = LogRequest(L"evil.exe", 2, L"禁止修改 hosts 文件");
    PostMessageW(Main(), WM_WATCH_LOG, 2, seq);
    Pump(150);
    ASSERT_TRUE(CBalloonHelp::Current());
    CBalloonHelp* balloon = CBalloonHelp::Instance();
    EXPECT_EQ(2, balloon->Kind());
    EXPECT_EQ(Main(), balloon->Owner());
    EXPECT_EQ(L"Harrowmere 监控信息", balloon->Title());
    std::vector<std::wstring> lines = Lines(balloon->Text());
    ASSERT_EQ(3u, lines.size()) << std::string(balloon->Text().begin(), balloon->Text().end());
    EXPECT_EQ(L"evil.exe 的操作已被拒绝", lines[0]);
    EXPECT_EQ(L"操作:文件操作", lines[1]);
    EXPECT_EQ(L"描述:禁止修改 hosts 文件", lines[2]);
    gui::SaveScreenshot(GetDesktopWindow(), L"monitoring-balloon.bmp");

    // An accepted request says so.
    int32_t accepted = LogRequest(L"good.exe", 0, L"允许");
    PostMessageW(Main(), WM_WATCH_LOG, 2, accepted);
    Pump(100);
    EXPECT_EQ(L"good.exe 的操作已被接受", Lines(CBalloonHelp::Instance()->Text())[0]);

    // The footer sends WM_BALLOON_OFF with the kind: "ShowInfo" goes off and is saved.
    PostMessageW(Main(), WM_BALLOON_OFF, 2, 0);
    Pump(50);
    EXPECT_EQ(0u, CConfig::Instance()->ShowInfo);
    EXPECT_EQ(0u, ReadSetting(L"ShowInfo"));
    CBalloonHelp::Close();
    PostMessageW(Main(), WM_WATCH_LOG, 2, LogRequest(L"evil.exe", 2, L"x"));
    Pump(100);
    EXPECT_EQ(nullptr, CBalloonHelp::Current()) << "no balloon once switched off";

    // A record that is gone shows nothing either.
    WriteSetting(L"ShowInfo", 1);
    CConfig::Instance()->ShowInfo = 1;
    PostMessageW(Main(), WM_WATCH_LOG, 2, seq + 100000);
    Pump(100);
    EXPECT_EQ(nullptr, CBalloonHelp::Current());
}

TEST_F(MainWindowTest, BalloonFooterSwitchesItsBalloonOffWhateverWasStored)
{
    struct Case {
        int kind;
        const wchar_t* setting;
        uint32_t CConfig::*field;
        uint32_t stored; // 2 shows the balloon too
    } cases[] = { { BALLOON_START, L"ShowRunInfo", &CConfig::ShowRunInfo, 1 },
                  { BALLOON_START, L"ShowRunInfo", &CConfig::ShowRunInfo, 2 },
                  { BALLOON_INFO, L"ShowInfo", &CConfig::ShowInfo, 2 } };
    for (const Case& c : cases) {
        CConfig::Instance()->*c.field = c.stored;
        PostMessageW(Main(), WM_BALLOON_OFF, c.kind, 0);
        Pump(50);
        EXPECT_EQ(0u, CConfig::Instance()->*c.field) << c.kind << " " << c.stored;
        EXPECT_EQ(0u, ReadSetting(c.setting)) << c.kind << " " << c.stored;
    }
}

TEST_F(MainWindowTest, ThreeLoggedDecisionsWithin300msGiveOneBalloonAndThreeRows)
{
    // The decisions of the request thread, posting to this window.
    CWatchMain* link = CWatchMain::Instance();
    ASSERT_EQ(Main(), link->MainWindow());
    RuleSet* set = NewRuleSet();
    Rule* rule = CopyRuleInto(set->entries[0], RuleAction::Reject, RuleLog::Log, 0, 1, L"拒绝写入",
                              BuildParamList(0, "w", L"*"));
    link->SetRules(set);
    link->SetLastNotify(GetTickCount() - 1000);
    HWND list = m_dlg->LogPage()->List();
    int rowsBefore = ListView_GetItemCount(list);
    for (int i = 0; i < 3; ++i) {
        WATCH_SHARED_RECORD record = {};
        const wchar_t* path = L"C:\\data\\x.txt";
        memcpy(record.param1, path, (wcslen(path) + 1) * 2);
        strcpy(record.processName, "writer.exe");
        record.processId = 77;
        record.ruleId = rule->id;
        HandleRequest(link, &record);
        EXPECT_EQ(2, record.verdict);
    }
    Pump(200);
    EXPECT_EQ(rowsBefore + 3, ListView_GetItemCount(list));
    ASSERT_TRUE(CBalloonHelp::Current());
    EXPECT_EQ(L"描述:拒绝写入", Lines(CBalloonHelp::Instance()->Text())[2]);
    EXPECT_EQ(3u, CConfig::Instance()->BlockCount);
    wchar_t counter[128] = {};
    GetDlgItemTextW(m_dlg->Page(PAGE_STATUS)->Hwnd(), 1025, counter, 128);
    EXPECT_EQ(std::wstring(L"目前为止已经成功拦截3个操作."), counter);
    PostMessageW(Main(), WM_SHOW_PAGE, PAGE_LOG, 0);
    Pump(100);
    gui::SaveScreenshot(Main(), L"main-log-rows.bmp");
}

TEST_F(MainWindowTest, TaskbarRestartBringsTheIconBackWithThePlainTip)
{
    m_dlg->SetTrayTip(IDS_MONITORING_OFF);
    EXPECT_EQ(L"Harrowmere 2006 监控功能已经关闭.", m_dlg->Tray().Tip());
    // A restarted taskbar has lost the icon.
    NOTIFYICONDATAW gone = { sizeof(gone) };
    gone.hWnd = Main();
    gone.uID = HM_TRAY_ICON_ID;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &gone));
    EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &gone)) << "the icon is gone";
    SendMessageW(Main(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(m_dlg->Tray().Added());
    EXPECT_EQ(L"Harrowmere 2006 ", m_dlg->Tray().Tip());
    EXPECT_EQ(1u, m_dlg->Tray().Id());
    gone.uFlags = 0;
    EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &gone)) << "the shell has the icon again";
}

TEST_F(MainWindowTest, HotKeyFromTheSettingsBelongsToTheMainWindow)
{
    // Ctrl+Alt+F12 is taken by the main window: nobody else can have it.
    HWND other = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    EXPECT_FALSE(RegisterHotKey(other, 1, MOD_CONTROL | MOD_ALT, VK_F12));
    // WM_HOTKEY opens the process manager; with no process manager yet it is harmless.
    SendMessageW(Main(), WM_HOTKEY, HM_HOTKEY_ID, 0);
    HWND hwnd = Main();
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    // Released with the window.
    EXPECT_TRUE(RegisterHotKey(other, 1, MOD_CONTROL | MOD_ALT, VK_F12));
    UnregisterHotKey(other, 1);
    DestroyWindow(other);
}

TEST_F(MainWindowTest, TrayMenuSwitchesSettingsAndShowsItsChecks)
{
    // The menu is modal: a helper thread photographs it and closes it.
    std::atomic<bool> closed{ false };
    std::thread closer([this, &closed] {
        const bool shown = testwait::WaitUntil([] {
            HWND menu = FindWindowW(L"#32768", nullptr); // the class of popup menus
            return menu && IsWindowVisible(menu);
        }, 10000);
        if (shown)
            gui::SaveScreenshot(GetDesktopWindow(), L"tray-menu.bmp");
        PostMessageW(Main(), WM_CANCELMODE, 0, 0);
        keybd_event(VK_ESCAPE, 0, 0, 0);
        keybd_event(VK_ESCAPE, 0, KEYEVENTF_KEYUP, 0);
        closed = true;
    });
    PostMessageW(Main(), WM_TRAY_NOTIFY, HM_TRAY_ICON_ID, WM_RBUTTONUP);
    // The menu's own loop runs inside the pump until the helper has closed it.
    gui::PumpUntil([&closed] { return closed.load(); }, 15000);
    closer.join();
    EXPECT_TRUE(IsWindow(Main()));

    SendMessageW(Main(), WM_COMMAND, ID_TRAY_SHOW_INFO, 0);
    EXPECT_EQ(0u, ReadSetting(L"ShowInfo"));
    SendMessageW(Main(), WM_COMMAND, ID_TRAY_SHOW_INFO, 0);
    EXPECT_EQ(1u, ReadSetting(L"ShowInfo"));
    SendMessageW(Main(), WM_COMMAND, ID_TRAY_AUTO_UPDATE, 0);
    EXPECT_EQ(0u, ReadSetting(L"AutoUpdate"));
    wchar_t label[64] = {};
    GetDlgItemTextW(m_dlg->Page(PAGE_STATUS)->Hwnd(), 1036, label, 64);
    EXPECT_EQ(std::wstring(L"自动更新已经关闭."), label);
    // The settings page's balloon check box follows the tray menu.
    SendMessageW(Main(), WM_COMMAND, ID_TRAY_SHOW_INFO, 0);
    EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(m_dlg->Page(PAGE_SETTINGS)->Hwnd(), 1117));

    // "打开" shows the window at the status page.
    ShowWindow(Main(), SW_HIDE);
    SendMessageW(Main(), WM_COMMAND, ID_TRAY_LOG, 0);
    Pump(100);
    EXPECT_TRUE(IsWindowVisible(Main()));
    EXPECT_EQ(m_dlg->Page(PAGE_LOG), m_dlg->CurrentPage());

    // "退出" ends the window.
    HWND hwnd = Main();
    SendMessageW(hwnd, WM_COMMAND, ID_TRAY_EXIT, 0);
    EXPECT_FALSE(IsWindow(hwnd));
}

} // namespace

// Start: the main window initialises before its pages, which come in tab
// order. Shut-down: the pages that hold state are closed in order before the
// main window asks its frame to close.
TEST_F(MainWindowTest, StartAndShutDownKeepTheirOrder)
{
    using namespace gui;
    SendMessageW(Main(), WM_CLOSE, 0, 0);
    m_dlg.reset();
    Pump(50);
    CConfig::Instance()->Load();

    HWND frame = CreateWindowW(L"STATIC", L"frame", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(frame, nullptr);
    std::vector<RecordedMessage> start;
    {
        CMessageRecorder recorder({ WM_INITDIALOG });
        m_dlg.reset(new CHarrowmereDlg(frame));
        ASSERT_TRUE(m_dlg->Create(nullptr));
        start = recorder.Sequence();
    }
    HWND pages[] = { m_dlg->Page(PAGE_STATUS)->Hwnd(), m_dlg->Page(PAGE_LOG)->Hwnd(),
                     m_dlg->Page(PAGE_SETTINGS)->Hwnd(), m_dlg->Page(PAGE_UPDATE)->Hwnd(),
                     m_dlg->Page(PAGE_HELP)->Hwnd() };
    EXPECT_TRUE(SequenceMatches(start, { { WM_INITDIALOG, SEQ_WINDOW, 0, Main() },
                                         { WM_INITDIALOG, SEQ_WINDOW, 0, pages[0] },
                                         { WM_INITDIALOG, SEQ_WINDOW, 0, pages[1] },
                                         { WM_INITDIALOG, SEQ_WINDOW, 0, pages[2] },
                                         { WM_INITDIALOG, SEQ_WINDOW, 0, pages[3] },
                                         { WM_INITDIALOG, SEQ_WINDOW, 0, pages[4] } }));

    std::vector<RecordedMessage> end;
    {
        CMessageRecorder recorder({ WM_CLOSE, WM_DESTROY });
        HWND main = Main();
        SendMessageW(main, WM_COMMAND, ID_TRAY_EXIT, 0);
        Pump(100);
        for (const RecordedMessage& m : recorder.Sequence())
            if (m.hwnd == main || m.hwnd == frame || std::find(std::begin(pages), std::end(pages), m.hwnd) != std::end(pages))
                end.push_back(m);
        // Each page that holds state is closed (and goes) before the next;
        // the help page goes with the main window; the frame is asked last.
        EXPECT_TRUE(SequenceMatches(end, { { WM_DESTROY, SEQ_SENT | SEQ_WINDOW, 0, main },
                                           { WM_CLOSE, SEQ_SENT | SEQ_WINDOW, 0, pages[0] },
                                           { WM_DESTROY, SEQ_SENT | SEQ_WINDOW, 0, pages[0] },
                                           { WM_CLOSE, SEQ_SENT | SEQ_WINDOW, 0, pages[1] },
                                           { WM_DESTROY, SEQ_SENT | SEQ_WINDOW, 0, pages[1] },
                                           { WM_CLOSE, SEQ_SENT | SEQ_WINDOW, 0, pages[2] },
                                           { WM_DESTROY, SEQ_SENT | SEQ_WINDOW, 0, pages[2] },
                                           { WM_CLOSE, SEQ_SENT | SEQ_WINDOW, 0, pages[3] },
                                           { WM_DESTROY, SEQ_SENT | SEQ_WINDOW, 0, pages[3] },
                                           { WM_DESTROY, SEQ_SENT | SEQ_WINDOW, 0, pages[4] },
                                           { WM_CLOSE, SEQ_POSTED | SEQ_WINDOW, 0, frame },
                                           { WM_DESTROY, SEQ_SENT | SEQ_WINDOW, 0, frame } }));
    }
    EXPECT_EQ(nullptr, CConfig::PeekInstance()) << "the settings went with the main window";
    DestroyWindow(frame);
}
