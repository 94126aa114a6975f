// The tree wrapper over a real tree control: items, their values, texts and
// places, selection and the item under a point.
#include "controls/TreeView.h"

#include "gui/TestWindow.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstring>

namespace {

class TreeView : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX icc = { sizeof(icc), ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES };
        InitCommonControlsEx(&icc);
        m_window = gui::CreateTestWindow(L"HmTreeViewTest", DefWindowProcW, L"tree", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                         40, 40, 300, 300);
        ASSERT_TRUE(m_window);
        m_tree = CTreeView(CreateWindowExW(0, WC_TREEVIEWW, L"", WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS, 0, 0, 280,
                                           260, m_window, nullptr, nullptr, nullptr));
        ASSERT_TRUE(m_tree.Hwnd());
    }
    void TearDown() override { DestroyWindow(m_window); }

    HWND m_window = nullptr;
    CTreeView m_tree;
};

TEST_F(TreeView, ItemsKeepTheirValuesTextsAndPlaces)
{
    HTREEITEM root = m_tree.Insert(TVI_ROOT, L"root", 1);
    HTREEITEM first = m_tree.Insert(root, L"first", 2);
    HTREEITEM second = m_tree.Insert(root, L"second", 3);
    ASSERT_TRUE(root && first && second);

    const struct {
        HTREEITEM item;
        const wchar_t* text;
        LPARAM data;
        HTREEITEM parent, child, next;
    } items[] = {
        { root, L"root", 1, nullptr, first, nullptr },
        { first, L"first", 2, root, nullptr, second },
        { second, L"second", 3, root, nullptr, nullptr },
    };
    for (const auto& i : items) {
        SCOPED_TRACE(testing::Message() << "item " << i.data);
        EXPECT_EQ(i.text, m_tree.Text(i.item));
        LPARAM data = 0;
        EXPECT_TRUE(m_tree.Data(i.item, &data));
        EXPECT_EQ(i.data, data);
        EXPECT_EQ(i.parent, m_tree.Parent(i.item));
        EXPECT_EQ(i.child, m_tree.FirstChild(i.item));
        EXPECT_EQ(i.next, m_tree.NextSibling(i.item));
    }
    LPARAM none = 7;
    EXPECT_FALSE(m_tree.Data(nullptr, &none));
    EXPECT_EQ(7, none);

    m_tree.SetText(second, L"renamed");
    EXPECT_EQ(L"renamed", m_tree.Text(second));
    m_tree.Expand(root);
    m_tree.Select(second);
    EXPECT_EQ(second, m_tree.Selected());

    RECT r = {};
    std::memcpy(&r, &first, sizeof(first)); // the message takes the item in the rectangle's place
    ASSERT_TRUE(SendMessageW(m_tree.Hwnd(), TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&r)));
    POINT inside = { (r.left + r.right) / 2, (r.top + r.bottom) / 2 };
    ClientToScreen(m_tree.Hwnd(), &inside);
    EXPECT_EQ(first, m_tree.ItemAt(inside));

    m_tree.Delete(first);
    EXPECT_EQ(second, m_tree.FirstChild(root));
    m_tree.DeleteAll();
    EXPECT_EQ(nullptr, m_tree.FirstChild(nullptr));
}

} // namespace
