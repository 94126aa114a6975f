// The tray icon locator against Wine's real taskbar (whose notification
// area has no toolbar, so the pixel search decides) and against a toolbar of
// our own standing in for the shell's.
#include "controls/TrayIconPosition.h"

#include "gui/MessagePump.h"

#include <gtest/gtest.h>

#include <shellapi.h>
#include <commctrl.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);

using gui::Pump;

HICON MakeSolidIcon(uint32_t argb)
{
    std::vector<uint32_t> colour(16 * 16, argb);
    std::vector<BYTE> mask(16 * 16 / 8, 0);
    return CreateIcon(nullptr, 16, 16, 1, 32, mask.data(), reinterpret_cast<BYTE*>(colour.data()));
}

// The bounds of the pixels of exactly `colour` within `area` of the screen
// (empty when there are none).
RECT FindColour(const RECT& area, COLORREF colour)
{
    const int cx = area.right - area.left, cy = area.bottom - area.top;
    RECT found = { LONG_MAX, LONG_MAX, LONG_MIN, LONG_MIN };
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader = { sizeof(BITMAPINFOHEADER), cx, -cy, 1, 32, BI_RGB };
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, cx, cy, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    const uint32_t want = (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
    const uint32_t* px = static_cast<const uint32_t*>(bits);
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x)
            if ((px[y * cx + x] & 0xFFFFFF) == want) {
                found.left = std::min<LONG>(found.left, area.left + x);
                found.top = std::min<LONG>(found.top, area.top + y);
                found.right = std::max<LONG>(found.right, area.left + x + 1);
                found.bottom = std::max<LONG>(found.bottom, area.top + y + 1);
            }
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    if (found.left == LONG_MAX)
        return RECT{};
    return found;
}

RECT TaskbarRect()
{
    RECT r = {};
    GetWindowRect(FindWindowW(L"Shell_TrayWnd", nullptr), &r);
    return r;
}

// Waits until the screen shows `colour` at `p`.
bool WaitForColourAt(POINT p, COLORREF colour, DWORD ms = 3000)
{
    return gui::PumpUntil([&] {
        HDC screen = GetDC(nullptr);
        const COLORREF now = GetPixel(screen, p.x, p.y);
        ReleaseDC(nullptr, screen);
        return now == colour;
    }, ms);
}

// A notification icon of our own, solid red, shown by the real shell.
class TrayIconPosition : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_owner = CreateWindowExW(0, L"STATIC", L"tray owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, m_owner);
        m_red = MakeSolidIcon(0xFFFF0000);
        ASSERT_NE(nullptr, m_red);
        NOTIFYICONDATAW nid = Record();
        nid.uFlags = NIF_ICON | NIF_TIP;
        nid.hIcon = m_red;
        wcscpy(nid.szTip, L"locator test");
        ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &nid));
        m_added = true;
        gui::PumpUntil([this] {
            m_icon = FindColour(TaskbarRect(), kRed);
            return !IsRectEmpty(&m_icon);
        }, 5000);
        ASSERT_FALSE(IsRectEmpty(&m_icon)) << "the shell never showed the test icon";
    }

    void TearDown() override
    {
        if (m_added) {
            NOTIFYICONDATAW nid = Record();
            Shell_NotifyIconW(NIM_DELETE, &nid);
        }
        if (m_red)
            DestroyIcon(m_red);
        if (m_owner)
            DestroyWindow(m_owner);
    }

    NOTIFYICONDATAW Record() const
    {
        NOTIFYICONDATAW nid = {};
        nid.cbSize = sizeof(nid);
        nid.hWnd = m_owner;
        nid.uID = 1;
        return nid;
    }

    HWND m_owner = nullptr;
    HICON m_red = nullptr;
    bool m_added = false;
    RECT m_icon = {}; // where the shell draws the icon
};

// A stand-in for the shell's windows: a frame, a notify window and a real
// toolbar whose buttons carry item data as a shell of this build's width
// keeps it (owner handle, then icon id).
struct FakeTray {
    struct Item {
        HWND owner;
        UINT id;
    };
    HWND frame = nullptr, notify = nullptr, toolbar = nullptr;
    Item items[3];

    FakeTray(HWND owner, bool ownHidden)
        : items{ { owner, 2 }, { reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234)), 1 }, { owner, 1 } }
    {
        INITCOMMONCONTROLSEX icc = { sizeof(icc), ICC_BAR_CLASSES };
        InitCommonControlsEx(&icc);
        frame = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 500, 600, 300, 40, nullptr,
                                nullptr, nullptr, nullptr);
        notify = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 80, 4, 200, 32, frame, nullptr, nullptr,
                                 nullptr);
        toolbar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                                  WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | CCS_NORESIZE | CCS_NOPARENTALIGN |
                                      CCS_NODIVIDER,
                                  10, 2, 180, 28, notify, nullptr, nullptr, nullptr);
        SendMessageW(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
        TBBUTTON buttons[3] = {};
        for (int i = 0; i < 3; ++i) {
            buttons[i].iBitmap = I_IMAGENONE;
            buttons[i].idCommand = 100 + i;
            buttons[i].fsState = TBSTATE_ENABLED;
            buttons[i].fsStyle = BTNS_BUTTON;
            buttons[i].dwData = reinterpret_cast<DWORD_PTR>(&items[i]);
            buttons[i].iString = -1;
        }
        if (ownHidden)
            buttons[2].fsState |= TBSTATE_HIDDEN;
        SendMessageW(toolbar, TB_ADDBUTTONSW, 3, reinterpret_cast<LPARAM>(buttons));
    }
    ~FakeTray() { DestroyWindow(frame); }
    TRAY_WINDOWS Windows() const { return TRAY_WINDOWS{ frame, notify, toolbar }; }
    RECT ButtonOnScreen(int index) const
    {
        RECT r = {};
        SendMessageW(toolbar, TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
        MapWindowPoints(toolbar, nullptr, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
};

} // namespace

TEST_F(TrayIconPosition, FindsTheRealIconByItsPixelsAndRestoresItsImage)
{
    CTrayIconPosition locator(m_owner, 1, m_red, 3);
    POINT p = {};
    ASSERT_EQ(1, locator.GetTrayIconPosition(&p));
    EXPECT_EQ(1, locator.ScanCount()); // Wine's taskbar has no toolbar to ask

    // On the taskbar, in the notification area's bottom-right corner, in the
    // middle of the icon.
    RECT taskbar = TaskbarRect();
    EXPECT_TRUE(PtInRect(&taskbar, p));
    EXPECT_GE(p.x, GetSystemMetrics(SM_CXSCREEN) - 40);
    EXPECT_GE(p.y, GetSystemMetrics(SM_CYSCREEN) - 20);
    EXPECT_TRUE(PtInRect(&m_icon, p));
    EXPECT_NEAR((m_icon.left + m_icon.right) / 2, p.x, 2);
    EXPECT_NEAR((m_icon.top + m_icon.bottom) / 2, p.y, 2);

    // The marker is gone again: the icon shows its own image.
    EXPECT_TRUE(WaitForColourAt(p, kRed));
    RECT now = FindColour(taskbar, kRed);
    EXPECT_TRUE(EqualRect(&now, &m_icon));
}

TEST_F(TrayIconPosition, StoredPositionServesWithinTheRescanInterval)
{
    struct Case {
        int mode;
        int64_t later; // seconds after the first search
        bool rescan;
    };
    const Case cases[] = {
        { 3, 5, false }, { 3, 10, false }, { 3, 11, true }, { 3, -10, false }, { 3, -11, true },
        { 2, 30, false }, { 2, 31, true }, { 1, 60, false }, { 1, 61, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << ", " << c.later << " s later");
        int64_t now = 1700000000;
        CTrayIconPosition locator(m_owner, 1, m_red, c.mode);
        locator.SetClock([&now] { return now; });
        POINT first = {}, second = {};
        ASSERT_EQ(1, locator.FindIconByPixels(&first));
        ASSERT_EQ(1, locator.ScanCount());
        now += c.later;
        EXPECT_EQ(1, locator.FindIconByPixels(&second));
        EXPECT_EQ(c.rescan ? 2 : 1, locator.ScanCount());
        EXPECT_EQ(first.x, second.x);
        EXPECT_EQ(first.y, second.y);
    }
}

TEST_F(TrayIconPosition, OtherPrecisionModesNeverScan)
{
    CTrayIconPosition locator(m_owner, 1, m_red, 0);
    POINT p = {};
    EXPECT_EQ(0, locator.FindIconByPixels(&p));
    EXPECT_EQ(0, locator.ScanCount());
    POINT estimate = TrayAreaEstimate(locator.GetTrayAreaRect(), true);
    EXPECT_EQ(estimate.x, p.x);
    EXPECT_EQ(estimate.y, p.y);
}

TEST_F(TrayIconPosition, WithoutAnImageToPutBackItNeverScans)
{
    CTrayIconPosition locator(m_owner, 1, nullptr, 3);
    POINT p = {};
    EXPECT_EQ(0, locator.FindIconByPixels(&p));
    EXPECT_EQ(0, locator.ScanCount());
}

TEST_F(TrayIconPosition, MissingOwnerOrIdGivesMinusOne)
{
    CTrayIconPosition unset;
    POINT p = {};
    EXPECT_EQ(-1, unset.GetTrayIconPosition(&p));
    CTrayIconPosition noId(m_owner, -1, m_red);
    EXPECT_EQ(-1, noId.GetTrayIconPosition(&p));
    CTrayIconPosition noOwner(nullptr, 1, m_red);
    EXPECT_EQ(-1, noOwner.GetTrayIconPosition(&p));
    EXPECT_EQ(0, unset.ScanCount() + noId.ScanCount() + noOwner.ScanCount());
}

TEST_F(TrayIconPosition, AreaIsTheBottomRightCornerWithoutANotifyWindow)
{
    const RECT corner = { GetSystemMetrics(SM_CXSCREEN) - 40, GetSystemMetrics(SM_CYSCREEN) - 20,
                          GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN) };
    // Wine's taskbar: "Shell_TrayWnd" without "TrayNotifyWnd".
    TRAY_WINDOWS real = CTrayIconPosition::FindTrayWindows();
    EXPECT_NE(nullptr, real.shellTray);
    EXPECT_EQ(nullptr, real.notify);
    CTrayIconPosition locator(m_owner, 1, m_red);
    RECT area = locator.GetTrayAreaRect();
    EXPECT_TRUE(EqualRect(&corner, &area));

    // No taskbar at all.
    locator.SetWindowLookup([] { return TRAY_WINDOWS{}; });
    area = locator.GetTrayAreaRect();
    EXPECT_TRUE(EqualRect(&corner, &area));
    RECT rect = {};
    EXPECT_EQ(0, locator.FindIconByToolbar(m_owner, 1, &rect));
}

TEST_F(TrayIconPosition, ToolbarButtonGivesPointFourRightAndSixBelowItsCorner)
{
    FakeTray tray(m_owner, false);
    CTrayIconPosition locator(m_owner, 1, m_red);
    locator.SetWindowLookup([&tray] { return tray.Windows(); });

    const RECT button = tray.ButtonOnScreen(2);
    ASSERT_FALSE(IsRectEmpty(&button));
    RECT found = {};
    EXPECT_EQ(1, locator.FindIconByToolbar(m_owner, 1, &found));
    EXPECT_TRUE(EqualRect(&button, &found));

    POINT p = {};
    EXPECT_EQ(1, locator.GetTrayIconPosition(&p));
    EXPECT_EQ(button.left + 4, p.x);
    EXPECT_EQ(button.top + 6, p.y);
    EXPECT_EQ(0, locator.ScanCount());

    // Button 0 is the owner's icon 2.
    const RECT first = tray.ButtonOnScreen(0);
    EXPECT_EQ(1, locator.FindIconByToolbar(m_owner, 2, &found));
    EXPECT_TRUE(EqualRect(&first, &found));
}

TEST_F(TrayIconPosition, HiddenToolbarButtonLeavesItToThePixelSearch)
{
    FakeTray tray(m_owner, true);
    CTrayIconPosition locator(m_owner, 1, m_red);
    locator.SetWindowLookup([&tray] { return tray.Windows(); });

    RECT toolbar;
    GetWindowRect(tray.toolbar, &toolbar);
    RECT found = {};
    EXPECT_EQ(0, locator.FindIconByToolbar(m_owner, 1, &found));
    EXPECT_TRUE(EqualRect(&toolbar, &found)); // the notification area instead

    // The scan looks in the stand-in toolbar, where the real icon is not.
    POINT p = {};
    EXPECT_EQ(0, locator.GetTrayIconPosition(&p));
    EXPECT_EQ(1, locator.ScanCount());
    EXPECT_EQ(toolbar.left + 6, p.x);
    EXPECT_EQ((toolbar.top + toolbar.bottom) / 2, p.y);
    // And the real icon got its image back.
    POINT middle = { (m_icon.left + m_icon.right) / 2, (m_icon.top + m_icon.bottom) / 2 };
    EXPECT_TRUE(WaitForColourAt(middle, kRed));
}

TEST_F(TrayIconPosition, FailedScanWaitsForTheRescanInterval)
{
    FakeTray tray(m_owner, true); // the pixel scan looks where the icon is not
    int64_t now = 1700000000;
    CTrayIconPosition locator(m_owner, 1, m_red, 3);
    locator.SetWindowLookup([&tray] { return tray.Windows(); });
    locator.SetClock([&now] { return now; });
    struct Step {
        int64_t advance;
        int scans; // after this call
    } steps[] = { { 0, 1 }, { 5, 1 }, { 5, 1 }, { 1, 2 }, { 3, 2 } };
    POINT p = {};
    for (const Step& s : steps) {
        now += s.advance;
        EXPECT_EQ(0, locator.GetTrayIconPosition(&p));
        EXPECT_EQ(s.scans, locator.ScanCount()) << "at +" << now - 1700000000 << " s";
    }
    RECT toolbar;
    GetWindowRect(tray.toolbar, &toolbar);
    EXPECT_EQ(toolbar.left + 6, p.x) << "the estimate still comes back";
}

TEST_F(TrayIconPosition, HungShellToolbarIsNotWaitedFor)
{
    // A toolbar whose thread stops reading its messages until released (or
    // 30 s have passed).
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE created = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HWND hung = nullptr;
    std::atomic<bool> gaveUp{ false };
    std::thread shell([&] {
        hung = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        SetEvent(created);
        gaveUp = WaitForSingleObject(release, 30000) == WAIT_TIMEOUT;
        DestroyWindow(hung);
    });
    WaitForSingleObject(created, INFINITE);
    CTrayIconPosition locator(m_owner, 1, m_red);
    locator.SetWindowLookup([&hung] { return TRAY_WINDOWS{ nullptr, nullptr, hung }; });
    RECT rect = {};
    EXPECT_EQ(0, locator.FindIconByToolbar(m_owner, 1, &rect));
    EXPECT_FALSE(gaveUp) << "the call waited until the toolbar's thread gave up";
    SetEvent(release);
    shell.join();
    CloseHandle(release);
    CloseHandle(created);
}
