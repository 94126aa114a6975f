// The tree-list control in a real top-level window: rows under parents as
// the list view shows them (text, indentation, colour), moves and deletions,
// and what it tells its parent when the selection changes or a row is
// clicked.
#include "controls/TreeListCtrl.h"

#include "gui/MessagePump.h"
#include "gui/TestWindow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Told {
    UINT code;
    HTREELISTROW row;
    LPARAM data;
};
std::vector<Told> g_told;

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NOTIFY) {
        auto* nm = reinterpret_cast<NMTREELIST*>(lParam);
        if (nm->hdr.code == TLN_SELCHANGED || nm->hdr.code == TLN_RCLICK || nm->hdr.code == TLN_DBLCLK)
            g_told.push_back(Told{ nm->hdr.code, nm->row, nm->data });
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

class TreeList : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_told.clear();
        m_parent = gui::CreateTestWindow(L"HmTreeListTestParent", ParentProc, L"TreeList",
                                         WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 500, 360);
        ASSERT_TRUE(m_tree.Create(m_parent, 5000, RECT{ 0, 0, 480, 300 }, true));
        m_tree.InsertColumn(0, L"Name", 200);
        m_tree.InsertColumn(1, L"PID", 60);
        gui::Pump(50);
    }
    void TearDown() override { DestroyWindow(m_parent); }

    // What the list view shows in row `index`: its text and indentation.
    std::wstring Shown(int index, int column = 0)
    {
        wchar_t text[64] = {};
        ListView_GetItemText(m_tree.List(), index, column, text, 64);
        return text;
    }
    int Indent(int index)
    {
        LVITEMW item = {};
        item.mask = LVIF_INDENT;
        item.iItem = index;
        ListView_GetItem(m_tree.List(), &item);
        return item.iIndent;
    }
    // The rows in display order as "name/depth".
    std::vector<std::wstring> Order()
    {
        std::vector<std::wstring> out;
        int count = ListView_GetItemCount(m_tree.List());
        EXPECT_EQ(static_cast<size_t>(count), m_tree.RowCount());
        for (int i = 0; i < count; ++i)
            out.push_back(Shown(i) + L"/" + std::to_wstring(Indent(i)));
        return out;
    }
    void ClickRow(int index, UINT down, UINT up)
    {
        RECT r;
        ListView_GetItemRect(m_tree.List(), index, &r, LVIR_LABEL);
        LPARAM at = MAKELPARAM(r.left + 4, (r.top + r.bottom) / 2);
        // Posted: the list view waits in a loop of its own for the button
        // to come up.
        PostMessageW(m_tree.List(), down, down == WM_LBUTTONDOWN ? MK_LBUTTON : MK_RBUTTON, at);
        PostMessageW(m_tree.List(), up, 0, at);
        gui::Pump(50);
    }

    HWND m_parent = nullptr;
    CTreeListCtrl m_tree;
};

} // namespace

TEST_F(TreeList, RowsHangUnderParentsAndMoveUpWhenTheirParentGoes)
{
    HTREELISTROW a = m_tree.InsertRow(nullptr, L"a", -1, 1);
    HTREELISTROW b = m_tree.InsertRow(a, L"b", -1, 2);
    HTREELISTROW c = m_tree.InsertRow(b, L"c", -1, 3);
    HTREELISTROW d = m_tree.InsertRow(a, L"d", -1, 4);
    m_tree.InsertRow(nullptr, L"e", -1, 5);
    m_tree.SetText(c, 1, L"33");
    EXPECT_EQ((std::vector<std::wstring>{ L"a/0", L"b/1", L"c/2", L"d/1", L"e/0" }), Order());
    EXPECT_EQ(L"33", Shown(2, 1));
    EXPECT_EQ(a, m_tree.GetParentRow(d));

    // b goes: c takes its place under a, before d.
    m_tree.PromoteChildren(b);
    m_tree.DeleteRow(b);
    EXPECT_EQ((std::vector<std::wstring>{ L"a/0", L"c/1", L"d/1", L"e/0" }), Order());
    // a goes: its children move to the top level, in a's place.
    m_tree.PromoteChildren(a);
    m_tree.DeleteRow(a);
    EXPECT_EQ((std::vector<std::wstring>{ L"c/0", L"d/0", L"e/0" }), Order());

    HTREELISTROW f = m_tree.InsertRow(c, L"f", -1, 6);
    m_tree.InsertRow(f, L"g", -1, 7);
    m_tree.MoveToTopLevel(f);
    EXPECT_EQ((std::vector<std::wstring>{ L"c/0", L"d/0", L"e/0", L"f/0", L"g/1" }), Order());
    m_tree.DeleteRow(f); // with g
    EXPECT_EQ((std::vector<std::wstring>{ L"c/0", L"d/0", L"e/0" }), Order());
    EXPECT_EQ(60, m_tree.GetColumnWidth(1));
    m_tree.SetColumnWidth(1, 77);
    EXPECT_EQ(77, m_tree.GetColumnWidth(1));
    EXPECT_EQ(2, m_tree.ColumnCount());
}

TEST_F(TreeList, SelectionFollowsItsRowAndTellsTheParent)
{
    HTREELISTROW a = m_tree.InsertRow(nullptr, L"a", -1, 10);
    HTREELISTROW b = m_tree.InsertRow(nullptr, L"b", -1, 20);
    gui::Pump(50);

    ClickRow(1, WM_LBUTTONDOWN, WM_LBUTTONUP);
    ASSERT_EQ(1u, g_told.size());
    EXPECT_EQ(TLN_SELCHANGED, g_told[0].code);
    EXPECT_EQ(b, g_told[0].row);
    EXPECT_EQ(20, g_told[0].data);

    // A row inserted above moves the selected row down; it stays selected.
    m_tree.InsertRow(a, L"a1", -1, 11);
    EXPECT_EQ(2, ListView_GetNextItem(m_tree.List(), -1, LVNI_SELECTED));
    EXPECT_EQ(b, m_tree.GetSelection());

    g_told.clear();
    ClickRow(0, WM_RBUTTONDOWN, WM_RBUTTONUP);
    ASSERT_FALSE(g_told.empty());
    EXPECT_EQ(TLN_RCLICK, g_told.back().code);
    EXPECT_EQ(a, g_told.back().row);
    EXPECT_EQ(a, m_tree.GetSelection());

    // Deleting the selected row (with a child) leaves no selection, and the
    // parent hears of it.
    g_told.clear();
    m_tree.DeleteRow(a);
    ASSERT_EQ(1u, g_told.size());
    EXPECT_EQ(nullptr, g_told[0].row);
    EXPECT_EQ(-1, ListView_GetNextItem(m_tree.List(), -1, LVNI_SELECTED));

    m_tree.Select(b);
    EXPECT_EQ(0, ListView_GetNextItem(m_tree.List(), -1, LVNI_SELECTED));
    EXPECT_EQ(b, g_told.back().row);
}

TEST_F(TreeList, RowColourIsDrawnBehindTheRow)
{
    HTREELISTROW plain = m_tree.InsertRow(nullptr, L"plain", -1, 1);
    HTREELISTROW blue = m_tree.InsertRow(nullptr, L"blue", -1, 2);
    m_tree.SetRowColour(blue, RGB(208, 208, 255));
    EXPECT_EQ(CLR_NONE, m_tree.GetRowColour(plain));
    UpdateWindow(m_tree.List());
    gui::Pump(100);
    RECT r;
    ListView_GetItemRect(m_tree.List(), 1, &r, LVIR_BOUNDS);
    HDC dc = GetDC(m_tree.List());
    COLORREF pixel = GetPixel(dc, 150, (r.top + r.bottom) / 2);
    ListView_GetItemRect(m_tree.List(), 0, &r, LVIR_BOUNDS);
    COLORREF other = GetPixel(dc, 150, (r.top + r.bottom) / 2);
    ReleaseDC(m_tree.List(), dc);
    EXPECT_EQ(RGB(208, 208, 255), pixel);
    EXPECT_NE(RGB(208, 208, 255), other);
}
