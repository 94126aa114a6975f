// Registry set-up with helpers from Vista on; the tests run on x86_64 only,
// so the i686 build merely compiles them.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
// The resizable dialog base on the registry picker's template, driven by a
// small dialog of the test's own: the placement kept between runs and the
// minimum size. (Anchors, the splitter, the status bar and the report list
// are exercised by the rule editor's and the picker's tests.)
#include "base/WindowPlacement.h"
#include "controls/ResizableDlg.h"
#include "gui/MessagePump.h"
#include "gui/Screenshot.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>

namespace {

using gui::Pump;

RECT RectIn(HWND parent, HWND child)
{
    RECT r = {};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

class TestDlg : public CResizableDlg {
public:
    TestDlg() : CResizableDlg(IDD_INSERT_REG) {}

protected:
    BOOL OnInitDialog() override
    {
        CResizableDlg::OnInitDialog();
        AddAnchor(IDC_INSERT_REG_TREE, ANCHOR_TOP_LEFT, ANCHOR_BOTTOM_LEFT);
        AddAnchor(IDC_INSERT_REG_LIST, ANCHOR_TOP_LEFT, ANCHOR_BOTTOM_RIGHT);
        AddAnchor(IDOK, ANCHOR_BOTTOM_RIGHT, ANCHOR_BOTTOM_RIGHT);
        RestorePlacement();
        return TRUE;
    }
};

class ResizableControls : public ::testing::Test {
protected:
    void SetUp() override { m_key.path = L"Software\\HarrowmereResizableTest_" + std::to_wstring(GetCurrentProcessId()); }
    void TearDown() override
    {
        if (m_dlg && m_dlg->IsWindow())
            DestroyWindow(m_dlg->Hwnd());
        m_dlg.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, m_key.path.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, m_key.path.c_str());
    }
    TestDlg* Open()
    {
        m_dlg = std::make_unique<TestDlg>();
        m_dlg->SetPlacementStore(m_key, L"TestWnd");
        EXPECT_TRUE(m_dlg->Create(nullptr));
        ShowWindow(m_dlg->Hwnd(), SW_SHOW);
        Pump(50);
        return m_dlg.get();
    }
    RECT Of(int id) { return RectIn(m_dlg->Hwnd(), m_dlg->Item(id)); }
    void Resize(int dx, int dy)
    {
        RECT w;
        GetWindowRect(m_dlg->Hwnd(), &w);
        SetWindowPos(m_dlg->Hwnd(), nullptr, 0, 0, w.right - w.left + dx, w.bottom - w.top + dy,
                     SWP_NOMOVE | SWP_NOZORDER);
        Pump(30);
    }

    WindowStateKey m_key;
    std::unique_ptr<TestDlg> m_dlg;
};

TEST_F(ResizableControls, PlacementIsKeptAndRestoredShownAndTheTemplateSizeIsTheMinimum)
{
    Open();
    const int okAtTemplateSize = Of(IDOK).left;
    SetWindowPos(m_dlg->Hwnd(), nullptr, 50, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Resize(30, 20);
    RECT before;
    GetWindowRect(m_dlg->Hwnd(), &before);
    ShowWindow(m_dlg->Hwnd(), SW_MINIMIZE);
    DestroyWindow(m_dlg->Hwnd());
    STORED_PLACEMENT stored = {};
    ASSERT_EQ(0, LoadPlacement(m_key, L"TestWnd", &stored));
    EXPECT_EQ(SW_SHOWMINIMIZED, stored.showCmd);
    EXPECT_EQ(before.left, stored.normal.left);
    EXPECT_EQ(before.right - before.left, stored.normal.right - stored.normal.left);

    for (int showCmd : { SW_SHOWMINIMIZED, SW_HIDE }) {
        stored.showCmd = showCmd;
        SavePlacement(m_key, L"TestWnd", stored);
        Open();
        EXPECT_TRUE(IsWindowVisible(m_dlg->Hwnd())) << showCmd;
        EXPECT_FALSE(IsIconic(m_dlg->Hwnd())) << showCmd;
        RECT after;
        GetWindowRect(m_dlg->Hwnd(), &after);
        EXPECT_EQ(before.right - before.left, after.right - after.left);
        EXPECT_EQ(before.bottom - before.top, after.bottom - after.top);
        EXPECT_EQ(okAtTemplateSize + 30, Of(IDOK).left) << "the controls follow the restored size";
        DestroyWindow(m_dlg->Hwnd());
    }

    // Below the template's size: held at it, the controls where the template has them.
    Open();
    Resize(-500, -500);
    RECT w;
    GetWindowRect(m_dlg->Hwnd(), &w);
    EXPECT_EQ(m_dlg->MinimumSize().cx, w.right - w.left);
    EXPECT_EQ(m_dlg->MinimumSize().cy, w.bottom - w.top);
    EXPECT_EQ(okAtTemplateSize, Of(IDOK).left);
    gui::SaveScreenshot(m_dlg->Hwnd(), L"resizable-minimum.bmp");
    DestroyWindow(m_dlg->Hwnd());

    // Text that does not parse, or a rectangle on no screen: the template's place.
    for (const wchar_t* bad : { L"1,2,3", L"-90000,-90000,-89000,-89500,1,0" }) {
        WriteWindowStateText(m_key, L"TestWnd", bad);
        Open();
        RECT r;
        GetWindowRect(m_dlg->Hwnd(), &r);
        EXPECT_EQ(m_dlg->MinimumSize().cx, r.right - r.left) << bad;
        EXPECT_GT(r.right, 0) << bad;
        DestroyWindow(m_dlg->Hwnd());
    }
}

} // namespace
