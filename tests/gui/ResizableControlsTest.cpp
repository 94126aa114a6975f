// The resizable dialog base, the splitter, the status bar and the report
// list, on the registry picker's template (tree, splitter, list, line and two
// buttons) driven by a small dialog of the test's own.
#include "base/ColumnWidths.h"
#include "base/WindowPlacement.h"
#include "controls/ReportList.h"
#include "controls/ResizableDlg.h"
#include "controls/SplitterControl.h"
#include "controls/StatusBar.h"
#include "gui/MessagePump.h"
#include "gui/Screenshot.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>

namespace {

using gui::Pump;

const UINT kSplitterMoved = WM_APP + 7;

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
    CSplitterControl splitter;
    CReportList list;
    int moved = 0;

protected:
    BOOL OnInitDialog() override
    {
        CResizableDlg::OnInitDialog();
        splitter.CreateOver(Item(IDC_INSERT_REG_SPLITTER));
        splitter.SetNotifyMessage(kSplitterMoved);
        const int treeLeft = RectIn(m_hWnd, Item(IDC_INSERT_REG_TREE)).left;
        splitter.SetRange(treeLeft + 150, treeLeft + 300);
        list.Attach(Item(IDC_INSERT_REG_LIST), LVS_EX_GRIDLINES);
        list.SetColumns({ { L"名称", 70 }, { L"类型", 70 }, { L"数据", 70 } });
        AddAnchor(IDC_INSERT_REG_TREE, ANCHOR_TOP_LEFT, ANCHOR_BOTTOM_LEFT);
        AddAnchor(splitter.Hwnd(), ANCHOR_TOP_LEFT, ANCHOR_BOTTOM_LEFT);
        AddAnchor(IDC_INSERT_REG_LIST, ANCHOR_TOP_LEFT, ANCHOR_BOTTOM_RIGHT);
        AddAnchor(IDC_INSERT_REG_LINE, ANCHOR_BOTTOM_LEFT, ANCHOR_BOTTOM_RIGHT);
        AddAnchor(IDOK, ANCHOR_BOTTOM_RIGHT, ANCHOR_BOTTOM_RIGHT);
        AddAnchor(IDCANCEL, ANCHOR_BOTTOM_RIGHT, ANCHOR_BOTTOM_RIGHT);
        RestorePlacement();
        return TRUE;
    }
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override
    {
        if (msg == kSplitterMoved) {
            const int d = static_cast<int>(lParam);
            moved += d;
            ShiftAnchor(splitter.Hwnd(), d, 0, d, 0);
            ShiftAnchor(Item(IDC_INSERT_REG_TREE), 0, 0, d, 0);
            ShiftAnchor(Item(IDC_INSERT_REG_LIST), d, 0, 0, 0);
            return TRUE;
        }
        return CResizableDlg::OnMessage(msg, wParam, lParam, result);
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

TEST_F(ResizableControls, AnchoredControlsFollowTheSizeAndTheTemplateSizeIsTheMinimum)
{
    Open();
    const RECT tree = Of(IDC_INSERT_REG_TREE), list = Of(IDC_INSERT_REG_LIST), ok = Of(IDOK);
    Resize(120, 80);
    EXPECT_EQ(tree.right, Of(IDC_INSERT_REG_TREE).right);
    EXPECT_EQ(tree.bottom + 80, Of(IDC_INSERT_REG_TREE).bottom);
    EXPECT_EQ(list.left, Of(IDC_INSERT_REG_LIST).left);
    EXPECT_EQ(list.right + 120, Of(IDC_INSERT_REG_LIST).right);
    EXPECT_EQ(ok.left + 120, Of(IDOK).left);
    EXPECT_EQ(ok.top + 80, Of(IDOK).top);
    gui::SaveScreenshot(m_dlg->Hwnd(), L"resizable-grown.bmp");

    Resize(-500, -500); // below the template's size: held at it
    RECT w;
    GetWindowRect(m_dlg->Hwnd(), &w);
    EXPECT_EQ(m_dlg->MinimumSize().cx, w.right - w.left);
    EXPECT_EQ(m_dlg->MinimumSize().cy, w.bottom - w.top);
    EXPECT_EQ(ok.left, Of(IDOK).left);
    EXPECT_EQ(list.right, Of(IDC_INSERT_REG_LIST).right);
}

TEST_F(ResizableControls, SplitterStaysInItsRangeAndTheOwnerMovesThePanes)
{
    TestDlg* dlg = Open();
    const RECT tree = Of(IDC_INSERT_REG_TREE), list = Of(IDC_INSERT_REG_LIST);
    const int start = dlg->splitter.Position();
    // Dragged with the mouse 40 pixels to the right.
    HWND bar = dlg->splitter.Hwnd();
    SendMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 10));
    SendMessageW(bar, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(41, 10));
    SendMessageW(bar, WM_LBUTTONUP, 0, MAKELPARAM(1, 10));
    EXPECT_EQ(start + 40, dlg->splitter.Position());
    EXPECT_EQ(40, dlg->moved);
    EXPECT_EQ(tree.right + 40, Of(IDC_INSERT_REG_TREE).right);
    EXPECT_EQ(list.left + 40, Of(IDC_INSERT_REG_LIST).left);
    EXPECT_EQ(list.right, Of(IDC_INSERT_REG_LIST).right);

    // Far beyond either end: held at the range, and the panes with it.
    dlg->splitter.MoveTo(5000);
    EXPECT_EQ(dlg->splitter.RangeMax(), dlg->splitter.Position());
    dlg->splitter.MoveTo(-5000);
    EXPECT_EQ(dlg->splitter.RangeMin(), dlg->splitter.Position());
    EXPECT_EQ(dlg->splitter.Position() - start, dlg->moved);
    EXPECT_EQ(0, dlg->splitter.MoveTo(dlg->splitter.Position()));
    // Growing the dialog afterwards keeps the split.
    Resize(100, 0);
    EXPECT_EQ(tree.right + dlg->moved, Of(IDC_INSERT_REG_TREE).right);
    EXPECT_EQ(list.left + dlg->moved, Of(IDC_INSERT_REG_LIST).left);
}

TEST_F(ResizableControls, PlacementIsSavedAtDestroyAndRestoredShownWhenItWasHiddenOrMinimised)
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

TEST_F(ResizableControls, ReportListKeepsRowsSelectionAndColumnWidths)
{
    TestDlg* dlg = Open();
    CReportList& list = dlg->list;
    EXPECT_EQ(3, list.ColumnCount());
    for (int i = 0; i < 4; ++i)
        list.AddRow({ L"值" + std::to_wstring(i), L"REG_SZ", std::wstring(600, L'x') }, 100 + i);
    EXPECT_EQ(4, list.RowCount());
    EXPECT_EQ(L"值2", list.Cell(2, 0));
    EXPECT_EQ(600u, list.Cell(3, 2).size());
    EXPECT_EQ(103, list.RowData(3));
    list.SelectRow(1);
    list.SelectRow(3); // a single-selection list
    EXPECT_EQ((std::vector<int>{ 3 }), list.SelectedRows());
    list.ClearSelection();
    EXPECT_TRUE(list.SelectedRows().empty());

    EXPECT_FALSE(list.SetColumnWidths({ 10, 20 }));
    ASSERT_TRUE(list.SetColumnWidths({ 90, 60, 200 }));
    list.SaveColumnWidths(m_key, L"TestWndList");
    std::wstring text;
    ReadWindowStateText(m_key, L"TestWndList", &text);
    EXPECT_EQ(L"90,60,200", text);

    struct Case {
        const wchar_t* stored;
        NumberListRule rule;
        std::vector<int> widths;
    } cases[] = {
        { L"70,71,72,junk", NumberListRule::Prefix, { 70, 71, 72 } },
        { L"70,71,72,73", NumberListRule::Exact, { 90, 60, 200 } },
        { L"70,71", NumberListRule::Prefix, { 90, 60, 200 } },
    };
    for (const Case& c : cases) {
        list.SetColumnWidths({ 90, 60, 200 });
        WriteWindowStateText(m_key, L"TestWndList", c.stored);
        list.RestoreColumnWidths(m_key, L"TestWndList", c.rule);
        EXPECT_EQ(c.widths, list.ColumnWidths()) << c.stored;
    }
}

TEST_F(ResizableControls, StatusBarStaysAtTheBottomWithItsText)
{
    Open();
    CStatusBar bar;
    ASSERT_TRUE(bar.Create(m_dlg->Hwnd(), 4321, { 200 }, false));
    bar.SetText(0, L"监控规则分类");
    EXPECT_EQ(L"监控规则分类", bar.Text(0));
    EXPECT_GT(bar.Height(), 0);
    Resize(60, 40);
    bar.Resize();
    RECT client;
    GetClientRect(m_dlg->Hwnd(), &client);
    RECT r = RectIn(m_dlg->Hwnd(), bar.Hwnd());
    EXPECT_EQ(client.bottom, r.bottom);
    EXPECT_EQ(client.right, r.right);
}

} // namespace
