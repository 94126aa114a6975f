// The balloon: one window for the process, content replaced by a second
// Show, the timer that closes it, the footer link that switches a balloon
// kind off, and where it goes on the screen.
#include "controls/BalloonHelp.h"

#include "base/Messages.h"
#include "base/Strings.h"
#include "controls/TrayIconPosition.h"
#include "gui/Screenshot.h"
#include "res/resource.h"

#include "gui/MessagePump.h"
#include "gui/TestWindow.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <string>
#include <vector>

namespace {

using gui::Pump;

// Pumps until the balloon is gone; the time it took, or -1 after `limit`.
long WaitForClose(DWORD limit)
{
    const DWORD start = GetTickCount();
    if (!gui::PumpUntil([] { return CBalloonHelp::Current() == nullptr; }, limit))
        return -1;
    return static_cast<long>(GetTickCount() - start);
}

// Windows that record the WM_BALLOON_OFF messages they receive.
std::vector<std::pair<HWND, WPARAM>> g_balloonOff;

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_BALLOON_OFF) {
        g_balloonOff.emplace_back(hwnd, wParam);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

HWND MakeOwner()
{
    return gui::CreateTestWindow(L"HmBalloonTestOwner", OwnerProc, L"owner", WS_POPUP, 0, 0, 10, 10);
}

BOOL CALLBACK CountBalloons(HWND hwnd, LPARAM param)
{
    wchar_t name[64];
    if (GetClassNameW(hwnd, name, 64) && std::wstring(name) == L"HmBalloonHelp")
        ++*reinterpret_cast<int*>(param);
    return TRUE;
}

int BalloonWindows()
{
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountBalloons, reinterpret_cast<LPARAM>(&count));
    return count;
}

RECT WindowRect(HWND hwnd)
{
    RECT r = {};
    GetWindowRect(hwnd, &r);
    return r;
}

void ClickAt(HWND hwnd, POINT p)
{
    SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    if (IsWindow(hwnd))
        SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
}

class Balloon : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_balloonOff.clear();
        CBalloonHelp::SetNotifyMessage(WM_BALLOON_OFF);
        m_owner = MakeOwner();
        m_other = MakeOwner();
        ASSERT_TRUE(m_owner && m_other);
    }
    void TearDown() override
    {
        CBalloonHelp::Close();
        CBalloonHelp::SetTimeout(5000);
        DestroyWindow(m_owner);
        DestroyWindow(m_other);
    }
    HWND m_owner = nullptr, m_other = nullptr;
};

} // namespace

TEST_F(Balloon, SecondShowReplacesEverythingInTheSameWindow)
{
    CBalloonHelp::Show(m_owner, 1, L"标题一", L"第一行\n第二行\n", L"单击此处不再显示该提醒.", POINT{ 200, 150 });
    HWND first = CBalloonHelp::Current();
    ASSERT_NE(nullptr, first);
    EXPECT_TRUE(IsWindowVisible(first));
    const RECT before = WindowRect(first);

    const POINT anchor = { 1000, 757 };
    CBalloonHelp::Show(m_other, 2, L"Harrowmere 监控信息", L"notepad.exe 的操作已被拒绝\n操作:文件操作\n描述:x\n",
                       L"不再显示监控信息.", anchor);
    EXPECT_EQ(first, CBalloonHelp::Current());
    EXPECT_EQ(1, BalloonWindows());
    const CBalloonHelp* b = CBalloonHelp::Instance();
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(m_other, b->Owner());
    EXPECT_EQ(2, b->Kind());
    EXPECT_EQ(L"Harrowmere 监控信息", b->Title());
    EXPECT_EQ(L"notepad.exe 的操作已被拒绝\n操作:文件操作\n描述:x\n", b->Text());
    EXPECT_EQ(L"不再显示监控信息.", b->Footer());

    // Moved to the new point: above it, since it is at the bottom.
    const RECT after = WindowRect(first);
    EXPECT_FALSE(EqualRect(&before, &after));
    EXPECT_EQ(anchor.y + 1, after.bottom);
    EXPECT_LE(after.left, anchor.x);
    EXPECT_GT(after.right, anchor.x);

    // Window style: topmost, never activated, not on the taskbar.
    const LONG_PTR ex = GetWindowLongPtrW(first, GWL_EXSTYLE);
    EXPECT_TRUE(ex & WS_EX_TOPMOST);
    EXPECT_TRUE(ex & WS_EX_NOACTIVATE);
    EXPECT_TRUE(ex & WS_EX_TOOLWINDOW);
}

TEST_F(Balloon, ClosesByItselfAfterItsPeriod)
{
    CBalloonHelp::SetTimeout(400);
    CBalloonHelp::Show(m_owner, 1, L"t", L"x", L"f", POINT{ 500, 700 });
    const DWORD shown = GetTickCount();
    Pump(150);
    EXPECT_NE(nullptr, CBalloonHelp::Current());
    const long waited = WaitForClose(5000);
    ASSERT_GE(waited, 0) << "the balloon did not close";
    EXPECT_GE(static_cast<long>(GetTickCount() - shown), 380);
    EXPECT_EQ(0, BalloonWindows());
    EXPECT_TRUE(g_balloonOff.empty());
}

TEST_F(Balloon, SecondShowRestartsThePeriod)
{
    CBalloonHelp::SetTimeout(900);
    CBalloonHelp::Show(m_owner, 1, L"t", L"x", L"f", POINT{ 500, 700 });
    Pump(600);
    ASSERT_NE(nullptr, CBalloonHelp::Current());
    CBalloonHelp::Show(m_owner, 2, L"t2", L"y", L"f2", POINT{ 300, 700 });
    const DWORD reshown = GetTickCount();
    ASSERT_GE(WaitForClose(5000), 0);
    // Without the restart it would close about 300 ms after the second Show.
    EXPECT_GE(static_cast<long>(GetTickCount() - reshown), 850);
}

TEST_F(Balloon, FooterClickSendsBalloonOffWithTheKindAndCloses)
{
    for (int kind : { 1, 2 }) {
        g_balloonOff.clear();
        CBalloonHelp::Show(m_owner, kind, L"Harrowmere 已经开始工作", L"计算机正在保护中.",
                           L"单击此处不再显示该提醒.", POINT{ 1000, 757 });
        HWND hwnd = CBalloonHelp::Current();
        ASSERT_NE(nullptr, hwnd);
        const RECT link = CBalloonHelp::Instance()->FooterRect();
        ASSERT_FALSE(IsRectEmpty(&link));

        // A click elsewhere in the balloon does nothing.
        ClickAt(hwnd, POINT{ link.left + 2, link.top - 10 });
        Pump(50);
        EXPECT_EQ(hwnd, CBalloonHelp::Current());
        EXPECT_TRUE(g_balloonOff.empty());

        ClickAt(hwnd, POINT{ (link.left + link.right) / 2, (link.top + link.bottom) / 2 });
        EXPECT_EQ(nullptr, CBalloonHelp::Current());
        EXPECT_FALSE(IsWindow(hwnd));
        Pump(50);
        ASSERT_EQ(1u, g_balloonOff.size()) << "kind " << kind;
        EXPECT_EQ(m_owner, g_balloonOff[0].first);
        EXPECT_EQ(static_cast<WPARAM>(kind), g_balloonOff[0].second);
    }
}

TEST_F(Balloon, MoreLinesMakeATallerBalloon)
{
    CBalloonHelp::Show(m_owner, 1, L"标题", L"一行", L"链接", POINT{ 500, 700 });
    const RECT one = WindowRect(CBalloonHelp::Current());
    CBalloonHelp::Show(m_owner, 1, L"标题", L"一行\n二行\n三行", L"链接", POINT{ 500, 700 });
    const RECT three = WindowRect(CBalloonHelp::Current());
    EXPECT_GT(three.bottom - three.top, one.bottom - one.top);
    // The footer sits below the text in both.
    CBalloonHelp::Show(m_owner, 1, L"标题", L"一行\n二行\n三行", L"", POINT{ 500, 700 });
    const RECT noFooter = CBalloonHelp::Instance()->FooterRect();
    EXPECT_TRUE(IsRectEmpty(&noFooter));
    EXPECT_LT(WindowRect(CBalloonHelp::Current()).bottom - WindowRect(CBalloonHelp::Current()).top,
              three.bottom - three.top);
}

TEST(BalloonPlacement, StemTipOnTheAnchorAndEverythingOnTheScreen)
{
    const RECT screen = { 0, 0, 1024, 768 };
    const SIZE body = { 260, 90 };
    struct Case {
        POINT anchor;
        bool above;
    };
    const Case cases[] = {
        { { 1013, 757 }, true }, { { 1023, 767 }, true }, { { 0, 767 }, true },   { { 500, 400 }, true },
        { { 0, 0 }, false },     { { 1023, 0 }, false },  { { 500, 383 }, false }, { { 130, 100 }, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.anchor.x << "," << c.anchor.y);
        BALLOON_PLACEMENT p = CBalloonHelp::Place(body, c.anchor, screen);
        EXPECT_EQ(c.above, p.above);
        EXPECT_GE(p.window.left, screen.left);
        EXPECT_GE(p.window.top, screen.top);
        EXPECT_LE(p.window.right, screen.right);
        EXPECT_LE(p.window.bottom, screen.bottom);
        EXPECT_EQ(body.cx, p.window.right - p.window.left);
        EXPECT_EQ(c.anchor.x, p.window.left + p.stem[2].x);
        EXPECT_EQ(c.anchor.y, p.window.top + p.stem[2].y);
        // The body does not cover the point it shows.
        RECT body = p.body;
        OffsetRect(&body, p.window.left, p.window.top);
        EXPECT_FALSE(PtInRect(&body, c.anchor));
        // The stem leaves the body between its rounded corners.
        EXPECT_GE(p.stem[0].x, p.body.left);
        EXPECT_LE(p.stem[1].x, p.body.right);
    }
}

// A balloon at the real notification icon, as the main window shows it;
// saved as a screenshot when the test script asks for them.
TEST(BalloonAtTray, PointsAtTheLocatedIcon)
{
    HWND owner = MakeOwner();
    HICON icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_TRAY), IMAGE_ICON,
                                               16, 16, 0));
    ASSERT_NE(nullptr, icon);
    NOTIFYICONDATAW nid = {};
    nid.cbSize = sizeof(nid);
    nid.hWnd = owner;
    nid.uID = 1;
    nid.uFlags = NIF_ICON;
    nid.hIcon = icon;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &nid));
    Pump(500);

    CTrayIconPosition locator(owner, 1, icon, 3);
    POINT p = {};
    ASSERT_EQ(1, locator.GetTrayIconPosition(&p));
    CBalloonHelp::Show(owner, 1, ui::LoadStr(IDS_START_BALLOON_TITLE), ui::LoadStr(IDS_START_BALLOON_TEXT),
                       ui::LoadStr(IDS_START_BALLOON_OFF), p);
    HWND balloon = CBalloonHelp::Current();
    ASSERT_NE(nullptr, balloon);
    EXPECT_EQ(L"Harrowmere 已经开始工作", CBalloonHelp::Instance()->Title());
    const RECT r = WindowRect(balloon);
    EXPECT_EQ(p.y + 1, r.bottom);
    EXPECT_GE(r.top, 0);
    EXPECT_LE(r.right, GetSystemMetrics(SM_CXSCREEN));
    Pump(300);
    EXPECT_TRUE(gui::SaveScreenshot(GetDesktopWindow(), L"BalloonAtTray.bmp"));

    CBalloonHelp::Show(owner, 2, ui::LoadStr(IDS_INFO_BALLOON_TITLE),
                       L"notepad.exe 的操作已被拒绝\n操作:文件操作\n描述:保护系统文件夹\n",
                       ui::LoadStr(IDS_INFO_BALLOON_OFF), p);
    Pump(300);
    EXPECT_TRUE(gui::SaveScreenshot(GetDesktopWindow(), L"InfoBalloonAtTray.bmp"));

    CBalloonHelp::Close();
    Shell_NotifyIconW(NIM_DELETE, &nid);
    DestroyIcon(icon);
    DestroyWindow(owner);
}
