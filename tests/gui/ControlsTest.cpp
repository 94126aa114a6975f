// The small controls in a real top-level window, driven with mouse messages;
// what they send to their parent and what they show is read back.
#include "controls/VxColorStatic.h"
#include "controls/VxInfoTip.h"
#include "controls/VxLinkStatic.h"
#include "controls/VxProgress.h"
#include "controls/VxSkinButton.h"
#include "controls/VxTab.h"

#include "base/Messages.h"
#include "gui/Screenshot.h"
#include "res/resource.h"

#include "gui/MessagePump.h"
#include "gui/TestWindow.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>
#include <vector>

namespace {

struct Sent {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Sent> g_sent;
HBRUSH g_white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_COMMAND:
    case WM_TAB_CHANGED:
        g_sent.push_back(Sent{ msg, wParam, lParam });
        return 0;
    case WM_CTLCOLORSTATIC:
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
        return reinterpret_cast<LRESULT>(g_white);
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

using gui::Pump;

POINT Centre(const RECT& r)
{
    return POINT{ (r.left + r.right) / 2, (r.top + r.bottom) / 2 };
}

LPARAM At(POINT p)
{
    return MAKELPARAM(p.x, p.y);
}

COLORREF PixelOf(HWND hwnd, int x, int y)
{
    HDC dc = GetDC(hwnd);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(hwnd, dc);
    return c;
}

class Controls : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_sent.clear();
        m_parent = gui::CreateTestWindow(L"HmControlsTestParent", ParentProc, L"Controls",
                                         WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 60, 60, 560, 420);
        ASSERT_NE(nullptr, m_parent);
        m_font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, GB2312_CHARSET, 0, 0, 0, 0, L"宋体");
        Pump(100);
    }
    void TearDown() override
    {
        DestroyWindow(m_parent);
        DeleteObject(m_font);
    }

    // A static control standing where a template would put one.
    HWND Placeholder(int id, const wchar_t* text, int x, int y, int cx, int cy)
    {
        HWND h = CreateWindowExW(0, L"STATIC", text, WS_CHILD | WS_VISIBLE, x, y, cx, cy, m_parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
        return h;
    }

    std::vector<Sent> Messages(UINT msg) const
    {
        std::vector<Sent> out;
        for (const Sent& s : g_sent)
            if (s.msg == msg)
                out.push_back(s);
        return out;
    }

    void BuildTabs(CVxTab& tab)
    {
        ASSERT_TRUE(tab.CreateOver(Placeholder(IDC_MAIN_TAB, L"", 4, 4, 130, 300)));
        tab.SetNotifyMessage(WM_TAB_CHANGED);
        const struct {
            const wchar_t* text;
            UINT bitmap;
        } tabs[] = { { L"程序运行状态", IDB_TAB_STATUS }, { L"日志察看", IDB_TAB_LOG }, { L"设置", IDB_TAB_SETTINGS },
                     { L"在线更新", IDB_TAB_UPDATE }, { L"在线帮助", IDB_TAB_HELP } };
        for (const auto& t : tabs)
            tab.AddTab(t.text, t.bitmap);
        tab.SetCurSel(0);
    }

    HWND m_parent = nullptr;
    HFONT m_font = nullptr;
};

} // namespace

TEST_F(Controls, TabClickPostsTabChangedWithItsIndex)
{
    CVxTab tab;
    BuildTabs(tab);
    EXPECT_EQ(tab.Hwnd(), GetDlgItem(m_parent, IDC_MAIN_TAB)); // took the placeholder's place
    EXPECT_EQ(reinterpret_cast<LRESULT>(m_font), SendMessageW(tab.Hwnd(), WM_GETFONT, 0, 0));
    ASSERT_EQ(5, tab.GetCount());
    EXPECT_EQ(L"程序运行状态", tab.GetTabText(0));
    EXPECT_EQ(L"在线帮助", tab.GetTabText(4));

    for (int i : { 3, 0, 4, 1, 2, 2 }) {
        g_sent.clear();
        SendMessageW(tab.Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, At(Centre(tab.GetTabRect(i))));
        SendMessageW(tab.Hwnd(), WM_LBUTTONUP, 0, At(Centre(tab.GetTabRect(i))));
        Pump(30);
        auto posted = Messages(WM_TAB_CHANGED);
        ASSERT_EQ(1u, posted.size()) << "tab " << i;
        EXPECT_EQ(static_cast<WPARAM>(i), posted[0].wParam);
        EXPECT_EQ(0, posted[0].lParam);
        EXPECT_EQ(i, tab.GetCurSel());
    }

    // Below the last tab there is no tab: nothing changes.
    g_sent.clear();
    const RECT last = tab.GetTabRect(4);
    SendMessageW(tab.Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, last.bottom + 5));
    Pump(30);
    EXPECT_TRUE(Messages(WM_TAB_CHANGED).empty());
    EXPECT_EQ(2, tab.GetCurSel());

    // Selecting from code posts nothing; bad indexes are refused.
    EXPECT_TRUE(tab.SetCurSel(1));
    EXPECT_FALSE(tab.SetCurSel(5));
    EXPECT_FALSE(tab.SetCurSel(-2));
    Pump(30);
    EXPECT_TRUE(Messages(WM_TAB_CHANGED).empty());
    EXPECT_EQ(1, tab.GetCurSel());
}

TEST_F(Controls, SkinButtonClicksOnlyWhenReleasedOverIt)
{
    CVxSkinButton button;
    ASSERT_TRUE(button.Create(m_parent, IDC_MAIN_MINIMIZE, RECT{ 500, 4, 518, 22 }));
    ASSERT_TRUE(button.SetImages(IDB_MINIMIZE_NORMAL, IDB_MINIMIZE_HOVER));
    HBITMAP normal = button.CurrentImage();
    ASSERT_NE(nullptr, normal);
    EXPECT_EQ(CVxSkinButton::Normal, button.CurrentState());

    SendMessageW(button.Hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(CVxSkinButton::Hover, button.CurrentState());
    HBITMAP hover = button.CurrentImage();
    EXPECT_NE(nullptr, hover);
    EXPECT_NE(normal, hover);

    // Pressed without a pressed image: the hover image stays.
    SendMessageW(button.Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(CVxSkinButton::Pressed, button.CurrentState());
    EXPECT_EQ(hover, button.CurrentImage());
    SendMessageW(button.Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    auto commands = Messages(WM_COMMAND);
    ASSERT_EQ(1u, commands.size());
    EXPECT_EQ(MAKEWPARAM(IDC_MAIN_MINIMIZE, BN_CLICKED), commands[0].wParam);
    EXPECT_EQ(reinterpret_cast<LPARAM>(button.Hwnd()), commands[0].lParam);

    // Pressed, then released outside: no click.
    g_sent.clear();
    SendMessageW(button.Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(button.Hwnd(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(40, 40));
    SendMessageW(button.Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(40, 40));
    EXPECT_TRUE(Messages(WM_COMMAND).empty());
    EXPECT_EQ(CVxSkinButton::Normal, button.CurrentState());

    EXPECT_FALSE(button.SetImages(4242, 0));
    EXPECT_EQ(nullptr, button.CurrentImage()); // drawn flat now
}

TEST_F(Controls, SkinButtonTooltipCarriesItsText)
{
    CVxSkinButton button;
    button.SetTooltip(L"最小化"); // before creation: applied when created
    ASSERT_TRUE(button.CreateOver(Placeholder(IDC_MAIN_CLOSE, L"", 480, 4, 18, 18)));
    HWND tip = button.TooltipWindow();
    ASSERT_NE(nullptr, tip);
    auto textOf = [&] {
        wchar_t buffer[80] = {};
        TOOLINFOW ti = {};
        ti.cbSize = TTTOOLINFOW_V2_SIZE;
        ti.hwnd = m_parent;
        ti.uId = reinterpret_cast<UINT_PTR>(button.Hwnd());
        ti.lpszText = buffer;
        SendMessageW(tip, TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&ti));
        return std::wstring(buffer);
    };
    EXPECT_EQ(L"最小化", textOf());
    button.SetTooltip(L"关闭");
    EXPECT_EQ(1, SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0)); // replaced, not added
    EXPECT_EQ(L"关闭", textOf());

    button.Destroy();
    EXPECT_FALSE(IsWindow(tip)); // the tooltip goes with its button
}

TEST_F(Controls, LinkClickNotifiesTheParentOrTheCallback)
{
    CVxLinkStatic link;
    ASSERT_TRUE(link.CreateOver(Placeholder(1030, L"单击此处获取在线帮助.", 150, 10, 200, 16)));
    EXPECT_EQ(link.Hwnd(), GetDlgItem(m_parent, 1030));
    EXPECT_EQ(L"单击此处获取在线帮助.", link.Text());
    EXPECT_EQ(reinterpret_cast<LRESULT>(m_font), SendMessageW(link.Hwnd(), WM_GETFONT, 0, 0));
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(LoadCursorW(nullptr, IDC_HAND)),
              GetClassLongPtrW(link.Hwnd(), GCLP_HCURSOR));
    EXPECT_EQ(RGB(0, 0, 255), link.TextColour());

    SendMessageW(link.Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    SendMessageW(link.Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
    auto commands = Messages(WM_COMMAND);
    ASSERT_EQ(1u, commands.size());
    EXPECT_EQ(MAKEWPARAM(1030, STN_CLICKED), commands[0].wParam);
    EXPECT_EQ(reinterpret_cast<LPARAM>(link.Hwnd()), commands[0].lParam);

    // Released away from the link: no click.
    g_sent.clear();
    SendMessageW(link.Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    SendMessageW(link.Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(4, 300));
    EXPECT_TRUE(Messages(WM_COMMAND).empty());

    int calls = 0;
    link.SetCallback([&calls] { ++calls; });
    SendMessageW(link.Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    SendMessageW(link.Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
    EXPECT_EQ(1, calls);
    EXPECT_TRUE(Messages(WM_COMMAND).empty());

    SetDlgItemTextW(m_parent, 1030, L"开启监控");
    EXPECT_EQ(L"开启监控", link.Text());
}

namespace {

// Pixels of `hwnd` clearly more blue than red: text drawn in a dark blue on
// a light background leaves them, black text does not.
int BluishPixels(HWND hwnd)
{
    int count = 0;
    RECT client;
    GetClientRect(hwnd, &client);
    HDC dc = GetDC(hwnd);
    for (int y = 0; y < client.bottom; ++y)
        for (int x = 0; x < client.right; ++x) {
            const COLORREF c = GetPixel(dc, x, y);
            if (GetBValue(c) > GetRValue(c) + 40)
                ++count;
        }
    ReleaseDC(hwnd, dc);
    return count;
}

} // namespace

TEST_F(Controls, ColourStaticDrawsItsOwnOrItsParentsColours)
{
    CVxColorStatic label;
    ASSERT_TRUE(label.Create(m_parent, 1023, RECT{ 150, 40, 350, 60 }, L"监控功能已经开启."));
    SendMessageW(label.Hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(m_font), TRUE);
    UpdateWindow(label.Hwnd());
    Pump(50);
    // The parent's colours: black on white.
    EXPECT_EQ(RGB(255, 255, 255), PixelOf(label.Hwnd(), 195, 17));
    EXPECT_EQ(0, BluishPixels(label.Hwnd()));

    const COLORREF back = RGB(255, 255, 231), ink = RGB(0, 0, 117);
    label.SetBackColour(back);
    label.SetTextColour(ink);
    UpdateWindow(label.Hwnd());
    Pump(50);
    EXPECT_EQ(back, PixelOf(label.Hwnd(), 195, 17));
    EXPECT_GT(BluishPixels(label.Hwnd()), 20);

    // Without a background of its own it takes its parent's again.
    label.SetBackColour(kParentColour);
    UpdateWindow(label.Hwnd());
    Pump(50);
    EXPECT_EQ(RGB(255, 255, 255), PixelOf(label.Hwnd(), 195, 17));

    SetWindowTextW(label.Hwnd(), L"监控功能已经关闭.");
    EXPECT_EQ(L"监控功能已经关闭.", label.Text());
}

TEST_F(Controls, InfoTipFollowsTheMouseOverItsToolAndHidesWhenItLeaves)
{
    HWND tool = Placeholder(1030, L"单击此处获取在线帮助.", 150, 100, 200, 20);
    CVxInfoTip tip;
    ASSERT_TRUE(tip.Create(m_parent));
    tip.AddTool(tool, L"提交软件问题以及发送建议报告");
    tip.SetDelay(0);
    RECT toolRect;
    GetWindowRect(tool, &toolRect);

    // Wine moves the pointer in its own time: wait until it is there.
    auto putCursor = [](POINT p) {
        SetCursorPos(p.x, p.y);
        const DWORD start = GetTickCount();
        POINT now = {};
        while (GetCursorPos(&now) && (now.x != p.x || now.y != p.y) && GetTickCount() - start < 2000)
            Pump(10);
    };
    auto moveTo = [&](POINT p, HWND over) {
        putCursor(p);
        MSG msg = { over, WM_MOUSEMOVE, 0, 0, GetTickCount(), p };
        tip.RelayEvent(&msg);
    };
    POINT inside = { toolRect.left + 20, toolRect.top + 5 };
    moveTo(inside, tool);
    POINT at = {};
    if (!GetCursorPos(&at) || at.x != inside.x || at.y != inside.y)
        GTEST_SKIP() << "the pointer cannot be placed on this display (it stays at " << at.x << "," << at.y << ")";
    EXPECT_TRUE(tip.IsTimerRunning());
    // A mouse that rests over the tool. In a long run of window tests the
    // pointer does not always stay where it was put, so the wait keeps it
    // there (the tip itself is asserted on unchanged).
    auto restAt = [&](POINT p) {
        return [&, p] {
            POINT now = {};
            if (GetCursorPos(&now) && (now.x != p.x || now.y != p.y))
                SetCursorPos(p.x, p.y);
            return tip.IsShown();
        };
    };
    gui::PumpUntil(restAt(inside), 3000);
    POINT now = {};
    GetCursorPos(&now);
    ASSERT_TRUE(tip.IsShown()) << "pointer at " << now.x << "," << now.y;
    EXPECT_EQ(L"提交软件问题以及发送建议报告", tip.Text());

    POINT further = { toolRect.left + 60, toolRect.top + 8 };
    moveTo(further, tool);
    RECT r;
    GetWindowRect(tip.Hwnd(), &r);
    EXPECT_EQ(further.x, r.left);
    EXPECT_GT(r.top, further.y);

    // The mouse leaves without a message reaching the page: the timer sees it.
    putCursor(POINT{ toolRect.left + 20, toolRect.bottom + 80 });
    gui::PumpUntil([&] { return !tip.IsShown(); }, 3000);
    EXPECT_FALSE(tip.IsShown());
    EXPECT_FALSE(tip.IsTimerRunning());

    // A click hides it at once.
    moveTo(inside, tool);
    gui::PumpUntil(restAt(inside), 3000);
    ASSERT_TRUE(tip.IsShown());
    MSG click = { tool, WM_LBUTTONDOWN, MK_LBUTTON, 0 };
    tip.RelayEvent(&click);
    EXPECT_FALSE(tip.IsShown());
    EXPECT_FALSE(tip.IsTimerRunning());

    // Shown at a point near the corner, it stays on the screen.
    tip.Show(L"第一行\n第二行", POINT{ 1020, 765 });
    GetWindowRect(tip.Hwnd(), &r);
    EXPECT_LE(r.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_LE(r.bottom, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_GT(r.bottom - r.top, 30); // two lines
}

TEST_F(Controls, ProgressKeepsItsPositionInRangeAndAnswersProgressMessages)
{
    CVxProgress bar;
    ASSERT_TRUE(bar.Create(m_parent, 1200, RECT{ 150, 300, 450, 318 }));
    HWND h = bar.Hwnd();
    bar.SetRange(0, 200);
    EXPECT_EQ(0, bar.SetPos(50));
    EXPECT_EQ(50, SendMessageW(h, PBM_SETPOS, 500, 0)); // the previous position
    EXPECT_EQ(200, SendMessageW(h, PBM_GETPOS, 0, 0));  // held at the top of the range
    int total = 0;
    EXPECT_EQ(bar.FilledBlocks(&total), total);
    EXPECT_GT(total, 10);
    EXPECT_EQ(200, SendMessageW(h, PBM_DELTAPOS, static_cast<WPARAM>(-300), 0));
    EXPECT_EQ(0, bar.FilledBlocks(&total));

    // The 16-bit range message answers with the old range packed; the
    // position is pulled into the new range.
    EXPECT_EQ(MAKELONG(0, 200), SendMessageW(h, PBM_SETRANGE, 0, MAKELPARAM(10, 20)));
    PBRANGE range = {};
    EXPECT_EQ(10, SendMessageW(h, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range)));
    EXPECT_EQ(20, range.iHigh);
    EXPECT_EQ(10, bar.GetPos());

    // Stepping past the end starts again from the bottom.
    bar.SetRange(0, 100);
    bar.SetPos(95);
    EXPECT_EQ(95, bar.StepIt());
    EXPECT_EQ(5, bar.GetPos());
}

TEST(ProgressBlocks, FilledBlocksFollowThePosition)
{
    struct Case {
        int lo, hi, pos, width, filled, total;
    };
    // Blocks of 8 pixels with 2 between them: 10 blocks over 100 pixels.
    const Case cases[] = {
        { 0, 100, 0, 100, 0, 10 },    { 0, 100, 100, 100, 10, 10 }, { 0, 100, 50, 100, 5, 10 },
        { 0, 100, 1, 100, 1, 10 },    { 0, 100, 99, 100, 10, 10 },  { 0, 100, 150, 100, 10, 10 },
        { 0, 100, -5, 100, 0, 10 },   { 50, 50, 50, 100, 0, 10 },   { 0, 100, 50, 0, 0, 0 },
        { 0, 100, 100, 95, 10, 10 },  { -100, 100, 0, 100, 5, 10 },
        { 0, 2000000000, 1000000000, 100, 5, 10 },
    };
    for (const Case& c : cases) {
        int total = -1;
        EXPECT_EQ(c.filled, ProgressBlocks(c.lo, c.hi, c.pos, c.width, 8, 2, &total))
            << c.lo << ".." << c.hi << " at " << c.pos << " over " << c.width;
        EXPECT_EQ(c.total, total);
    }
}

