// The thin window layer: string table, message boxes, dialog and window
// bases with their message routing, and the modeless dialog registry.
#include "base/Strings.h"
#include "res/resource.h"
#include "ui/Dialog.h"
#include "ui/MessageLoop.h"
#include "ui/Page.h"
#include "ui/Palette.h"
#include "ui/Window.h"

#include "gui/MessagePump.h"
#include "gui/TestWindow.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

TEST(Strings, TableTextsAndCaptionsAreTheProgramsOwn)
{
    EXPECT_EQ(L"错误", ui::LoadStr(IDS_CAPTION_ERROR));
    EXPECT_EQ(L"警告", ui::LoadStr(IDS_CAPTION_WARNING));
    EXPECT_EQ(L"Harrowmere 2006", ui::LoadStr(IDS_APP_TITLE));
    EXPECT_EQ(L"计算机正在保护中.\n鼠标右键点击下方图标开始进行快捷操作.\n", ui::LoadStr(IDS_START_BALLOON_TEXT));
    EXPECT_EQ(L"", ui::LoadStr(65000));
}

TEST(Strings, FormatGrowsPastItsFirstBuffer)
{
    std::wstring longText(5000, L'x');
    std::wstring out = ui::FormatStr(L"[%ls] %d", longText.c_str(), 42);
    EXPECT_EQ(L"[" + longText + L"] 42", out);
}

// Finds a message box of this process by caption, reads its text and
// presses its button.
struct BoxSeen {
    std::wstring text;
    bool found = false;
};

BOOL CALLBACK FindBox(HWND hwnd, LPARAM lp)
{
    auto* seen = reinterpret_cast<std::pair<const wchar_t*, HWND>*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t title[64] = {};
    GetWindowTextW(hwnd, title, 64);
    if (pid == GetCurrentProcessId() && std::wstring(title) == seen->first && IsWindowVisible(hwnd)) {
        seen->second = hwnd;
        return FALSE;
    }
    return TRUE;
}

BoxSeen AnswerBox(const wchar_t* caption, int button)
{
    BoxSeen seen;
    std::pair<const wchar_t*, HWND> search(caption, nullptr);
    testwait::WaitUntil([&] {
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        return search.second != nullptr;
    }, 5000);
    if (!search.second)
        return seen;
    seen.found = true;
    wchar_t text[256] = {};
    GetDlgItemTextW(search.second, 0xFFFF, text, 256); // the message text's static
    seen.text = text;
    PostMessageW(search.second, WM_COMMAND, button, 0);
    return seen;
}

TEST(MessageBoxes, ErrorAndWarningBoxesCarryTheirCaptions)
{
    BoxSeen seen;
    std::thread answer([&] { seen = AnswerBox(L"错误", IDOK); });
    int button = ui::ErrorBox(nullptr, L"磁盘已满");
    answer.join();
    EXPECT_TRUE(seen.found);
    EXPECT_EQ(L"磁盘已满", seen.text);
    EXPECT_EQ(IDOK, button);

    std::thread answer2([&] { seen = AnswerBox(L"警告", IDYES); });
    button = ui::WarningBox(nullptr, L"确定?", MB_YESNO);
    answer2.join();
    EXPECT_TRUE(seen.found);
    EXPECT_EQ(IDYES, button);
}

// A dialog that records what reaches its handlers.
class RecordingDialog : public ui::CDialog {
public:
    RecordingDialog() : CDialog(IDD_HARROWMERE_DIALOG) {}
    std::vector<std::wstring> events;
    bool finalSeen = false;

protected:
    BOOL OnInitDialog() override
    {
        events.push_back(L"init");
        SetTimer(m_hWnd, 7, 10, nullptr);
        return TRUE;
    }
    BOOL OnCommand(int id, int code, HWND control) override
    {
        events.push_back(L"command " + std::to_wstring(id));
        return CDialog::OnCommand(id, code, control);
    }
    BOOL OnTimer(UINT_PTR id) override
    {
        KillTimer(m_hWnd, id);
        events.push_back(L"timer " + std::to_wstring(id));
        if (IsModal())
            End(IDOK);
        return TRUE;
    }
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override
    {
        if (msg != WM_APP + 5)
            return FALSE;
        result = static_cast<LRESULT>(wParam * 2);
        return TRUE;
    }
    void OnDestroy() override { events.push_back(L"destroy"); }
    void OnFinalMessage() override { finalSeen = true; }
};

using gui::Pump;

TEST(DialogBase, ModelessDialogRoutesMessagesToItsHandlers)
{
    RecordingDialog dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    HWND hwnd = dlg.Hwnd();
    EXPECT_EQ(&dlg, ui::CDialog::FromHandle(hwnd));
    EXPECT_TRUE(GetDlgItem(hwnd, IDC_MAIN_TAB)) << "controls come from template 102";
    Pump(100);
    SendMessageW(hwnd, WM_COMMAND, 1234, 0);
    // A handled custom message returns its result through DWLP_MSGRESULT.
    EXPECT_EQ(42, SendMessageW(hwnd, WM_APP + 5, 21, 0));
    EXPECT_EQ(0, SendMessageW(hwnd, WM_APP + 6, 21, 0));
    dlg.End(0);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_TRUE(dlg.finalSeen);
    std::vector<std::wstring> expected = { L"init", L"timer 7", L"command 1234", L"destroy" };
    EXPECT_EQ(expected, dlg.events);
}

TEST(DialogBase, ModalDialogReturnsItsEndResult)
{
    RecordingDialog dlg;
    EXPECT_EQ(IDOK, dlg.DoModal(nullptr));
    ASSERT_GE(dlg.events.size(), 2u);
    EXPECT_EQ(L"init", dlg.events[0]);
    EXPECT_EQ(L"timer 7", dlg.events[1]);
    EXPECT_FALSE(dlg.IsWindow());
}

TEST(DialogBase, EscapeInAModelessDialogReachesItThroughTheLoop)
{
    RecordingDialog dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    HWND hwnd = dlg.Hwnd();
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    SetFocus(hwnd);
    Pump(100);
    // IsDialogMessage turns Escape into IDCANCEL, which ends the dialog.
    PostMessageW(GetFocus() ? GetFocus() : hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
    Pump(200);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_NE(dlg.events.end(), std::find(dlg.events.begin(), dlg.events.end(), L"command 2"));
}

class CountingWindow : public ui::CWindow {
public:
    int created = 0;
    int custom = 0;
    bool finalSeen = false;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg == WM_CREATE)
            ++created;
        if (msg == WM_APP + 1)
            return ++custom;
        return CWindow::WindowProc(msg, wParam, lParam);
    }
    void OnFinalMessage() override { finalSeen = true; }
};

TEST(WindowBase, WindowObjectReceivesItsMessagesFromCreationToTheEnd)
{
    CountingWindow w;
    ASSERT_TRUE(w.Create(L"HmTestWindow", 0, nullptr, nullptr, L"t", WS_POPUP, 0, 0, 0, 10, 10, nullptr, nullptr));
    EXPECT_EQ(1, w.created) << "WM_CREATE reaches the object";
    EXPECT_EQ(&w, ui::CWindow::FromHandle(w.Hwnd()));
    EXPECT_EQ(1, SendMessageW(w.Hwnd(), WM_APP + 1, 0, 0));
    EXPECT_EQ(2, SendMessageW(w.Hwnd(), WM_APP + 1, 0, 0));
    // A second window of the same class registers nothing twice.
    CountingWindow w2;
    ASSERT_TRUE(w2.Create(L"HmTestWindow", 0, nullptr, nullptr, L"t2", WS_POPUP, 0, 0, 0, 10, 10, nullptr, nullptr));
    HWND hwnd = w.Hwnd();
    w.Destroy();
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_TRUE(w.finalSeen);
    EXPECT_EQ(nullptr, w.Hwnd());
}

} // namespace

// ---- pages and small window helpers -------------------------------------------

namespace {

// A page from a real page template, with nothing of its own.
class BarePage : public ui::CPage {
public:
    BarePage() : CPage(IDD_HELP_PAGE) {}
};

COLORREF BrushColour(HBRUSH brush)
{
    LOGBRUSH lb = {};
    GetObjectW(brush, sizeof(lb), &lb);
    return lb.lbColor;
}

} // namespace

TEST(PageBase, EnterAndEscapeKeepThePageItsGroundIsWhiteAndCloseDestroysIt)
{
    HWND parent = gui::CreateTestWindow(L"HmPageTestParent", DefWindowProcW, L"pages", WS_OVERLAPPEDWINDOW, 0, 0,
                                        420, 360);
    ASSERT_TRUE(parent);
    BarePage page;
    ASSERT_TRUE(page.Create(parent));
    HWND hwnd = page.Hwnd();
    for (int id : { IDOK, IDCANCEL }) {
        SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        EXPECT_TRUE(IsWindow(hwnd)) << "command " << id;
    }
    // Statics and the dialog get the page's ground; an edit box keeps the
    // system's default.
    const struct {
        UINT kind;
        bool ground;
    } colours[] = { { WM_CTLCOLORSTATIC, true }, { WM_CTLCOLORDLG, true }, { WM_CTLCOLOREDIT, false } };
    HDC dc = GetDC(hwnd);
    HBRUSH ground = nullptr;
    for (const auto& c : colours) {
        SetBkColor(dc, RGB(1, 2, 3));
        HBRUSH brush = reinterpret_cast<HBRUSH>(SendMessageW(hwnd, c.kind, reinterpret_cast<WPARAM>(dc),
                                                             reinterpret_cast<LPARAM>(hwnd)));
        if (c.ground) {
            ASSERT_TRUE(brush) << c.kind;
            EXPECT_EQ(ui::palette::kPageGround, BrushColour(brush)) << c.kind;
            EXPECT_EQ(ui::palette::kPageGround, GetBkColor(dc)) << c.kind;
            ground = brush;
        } else {
            EXPECT_NE(ground, brush) << c.kind;
        }
    }
    ReleaseDC(hwnd, dc);
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(hwnd));
    DestroyWindow(parent);
}

TEST(WindowHelpers, IconsChildRectsAndTheirSizes)
{
    HWND window = gui::CreateTestWindow(L"HmHelperTestWindow", DefWindowProcW, L"helpers",
                                        WS_OVERLAPPEDWINDOW, 30, 30, 300, 200);
    ASSERT_TRUE(window);
    HICON smallIcon = ui::SetWindowIcons(window, IDI_MAINFRAME);
    EXPECT_EQ(smallIcon, reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0)));
    const struct {
        WPARAM kind;
        int metric;
    } icons[] = { { ICON_BIG, SM_CXICON }, { ICON_SMALL, SM_CXSMICON } };
    for (const auto& i : icons) {
        HICON icon = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, i.kind, 0));
        ICONINFO info = {};
        ASSERT_TRUE(icon && GetIconInfo(icon, &info)) << i.kind;
        BITMAP bm = {};
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bm), &bm);
        EXPECT_EQ(GetSystemMetrics(i.metric), bm.bmWidth) << i.kind;
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }

    HWND child = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 10, 20, 30, 40, window, nullptr, nullptr, nullptr);
    const RECT r = ui::ChildRect(window, child);
    EXPECT_EQ(10, r.left);
    EXPECT_EQ(20, r.top);
    EXPECT_EQ(40, r.right);
    EXPECT_EQ(60, r.bottom);
    DestroyWindow(window);
}
