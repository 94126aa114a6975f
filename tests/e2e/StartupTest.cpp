// Start-up and lifetime of the installed guard under Wine.
#include "e2e/GuardFixture.h"

namespace e2e {
namespace {

const wchar_t kFrameTitle[] = L"HarrowmereMainFrame";
const wchar_t kMainTitle[] = L"Harrowmere 2006";

HWND MainWindow(const Process& p)
{
    for (const WindowInfo& w : TopLevelWindows(p.Pid()))
        if (w.className == L"#32770" && w.title == kMainTitle)
            return w.hwnd;
    return nullptr;
}

// The main window is created before the frame's title is findable, so waiting
// for the frame means start-up has reached the message loop.
HWND StartAndWaitForMain(Process& p, const std::wstring& args)
{
    if (!p.Start(L"Harrowmere.exe", args) || !p.WaitForWindow(kFrameTitle))
        return nullptr;
    return MainWindow(p);
}

using StartupTest = GuardTest;

TEST_F(StartupTest, SecondInstanceEndsSilentlyAndLeavesTheFirstAlone)
{
    Process first;
    ASSERT_TRUE(StartAndWaitForMain(first, L"/background"));
    // Its start-up windows are all there once it waits in its message loop.
    EXPECT_EQ(0u, WaitForInputIdle(first.Handle(), 15000));
    std::vector<WindowInfo> before = TopLevelWindows(first.Pid());

    Process second;
    ASSERT_TRUE(second.Start(L"Harrowmere.exe", L""));
    EXPECT_EQ(0, second.WaitForExit(15000));
    EXPECT_TRUE(TopLevelWindows(second.Pid()).empty());
    EXPECT_EQ(1, CountProcesses(L"Harrowmere.exe"));
    EXPECT_EQ(before, TopLevelWindows(first.Pid())) << "the first instance's windows changed";
}

TEST_F(StartupTest, HiddenFrameIsAnInvisibleToolWindowAtTheOrigin)
{
    Process p;
    ASSERT_TRUE(p.Start(L"Harrowmere.exe", L"/background"));
    HWND frame = p.WaitForWindow(kFrameTitle);
    ASSERT_TRUE(frame);
    EXPECT_FALSE(IsWindowVisible(frame));
    EXPECT_TRUE(GetWindowLongPtrW(frame, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(GetWindowLongPtrW(frame, GWL_STYLE) & (WS_VISIBLE | WS_THICKFRAME | WS_SYSMENU));
    RECT r;
    GetWindowRect(frame, &r);
    EXPECT_EQ(0, r.left);
    EXPECT_EQ(0, r.top);
    EXPECT_EQ(0, r.right - r.left);
    EXPECT_EQ(0, r.bottom - r.top);
    // The main window is owned by the frame and so gets no second taskbar entry through it.
    HWND main = MainWindow(p);
    ASSERT_TRUE(main);
    EXPECT_EQ(frame, GetWindow(main, GW_OWNER));
}

TEST_F(StartupTest, BackgroundSwitchInAnySpellingKeepsTheMainWindowHidden)
{
    struct Case {
        const wchar_t* args;
        bool visible;
    } cases[] = {
        { L"/background", false },
        { L"-BACKGROUND", false },
        { L"/Background:1", false },
        { L"/backgroundx", true },
        { L"", true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "args: " << std::string(c.args, c.args + wcslen(c.args)));
        Process p;
        HWND main = StartAndWaitForMain(p, c.args);
        ASSERT_TRUE(main);
        // The main window is shown or left hidden before the message loop.
        EXPECT_EQ(0u, WaitForInputIdle(p.Handle(), 15000));
        EXPECT_EQ(c.visible, IsWindowVisible(main) != FALSE);
        EXPECT_EQ(0, p.Close());
    }
}

TEST_F(StartupTest, CloseBoxHidesAndCloseMessageEndsWithExitCodeZero)
{
    Process p;
    HWND main = StartAndWaitForMain(p, L"");
    ASSERT_TRUE(main);
    ASSERT_TRUE(IsWindowVisible(main));

    SendMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(IsWindowVisible(main));
    EXPECT_EQ(-1, p.WaitForExit(500)) << "the close box must not end the program";

    DWORD start = GetTickCount();
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, p.WaitForExit(5000));
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_EQ(0, CountProcesses(L"Harrowmere.exe"));
}

TEST_F(StartupTest, FirstStartStoresTheDefaultSettings)
{
    ResetSettings();
    Process p;
    ASSERT_TRUE(StartAndWaitForMain(p, L"/background"));
    ASSERT_EQ(0, p.Close());

    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Harrowmere", 0, KEY_READ, &key));
    struct Value {
        const wchar_t* name;
        DWORD expected;
    } values[] = {
        { L"Hook", 1 }, { L"AutoUpdate", 1 }, { L"ShowRunInfo", 1 }, { L"ShowInfo", 1 },
        { L"BlockCount", 0 }, { L"HotKey", 123 }, { L"SystemKey", 6 },
    };
    for (const Value& v : values) {
        DWORD data = 0xDEADBEEF, type = 0, size = sizeof(data);
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, v.name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size))
            << std::string(v.name, v.name + wcslen(v.name));
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
        EXPECT_EQ(v.expected, data);
    }
    RegCloseKey(key);
}

} // namespace
} // namespace e2e
