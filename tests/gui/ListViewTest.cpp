// The list wrapper over a real list control in report view: columns, rows,
// cells, row values and images, selection and column widths.
#include "controls/ListView.h"

#include "gui/TestWindow.h"

#include <gtest/gtest.h>

#include <commctrl.h>

namespace {

class ListView : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX icc = { sizeof(icc), ICC_LISTVIEW_CLASSES };
        InitCommonControlsEx(&icc);
        m_window = gui::CreateTestWindow(L"HmListViewTest", DefWindowProcW, L"list", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                         40, 40, 400, 300);
        ASSERT_TRUE(m_window);
        m_control = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 380, 260,
                                    m_window, nullptr, nullptr, nullptr);
        ASSERT_TRUE(m_list.Attach(m_control, LVS_EX_GRIDLINES));
    }
    void TearDown() override { DestroyWindow(m_window); }

    HWND m_window = nullptr;
    HWND m_control = nullptr;
    CListView m_list;
};

TEST_F(ListView, RowsCellsValuesImagesAndWidths)
{
    EXPECT_TRUE(SendMessageW(m_control, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_GRIDLINES);
    HWND label = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 1, 1, m_window, nullptr, nullptr, nullptr);
    CListView notAList;
    EXPECT_FALSE(notAList.Attach(label, 0));

    m_list.SetColumns({ { L"name", 100 }, { L"size", 60 }, { L"state", 50 } });
    EXPECT_EQ(3, m_list.ColumnCount());
    EXPECT_EQ((std::vector<int>{ 100, 60, 50 }), m_list.ColumnWidths());
    EXPECT_FALSE(m_list.SetColumnWidths({ 1, 2 })) << "one width per column";
    EXPECT_TRUE(m_list.SetColumnWidths({ 70, 80, 90 }));
    EXPECT_EQ((std::vector<int>{ 70, 80, 90 }), ListColumnWidths(m_control));

    m_list.SetImages(ImageList_Create(16, 16, ILC_COLOR32, 2, 0));
    const struct {
        std::vector<std::wstring> texts;
        LPARAM data;
        int image;
    } rows[] = { { { L"a.dll", L"12 KB", L"" }, 11, -1 }, { { L"b.exe" }, 22, 1 } };
    for (const auto& r : rows)
        EXPECT_GE(m_list.AddRow(r.texts, r.data, r.image), 0);
    ASSERT_EQ(2, m_list.RowCount());
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(rows[row].texts[0], m_list.Cell(row, 0)) << row;
        EXPECT_EQ(rows[row].data, m_list.RowData(row)) << row;
    }
    EXPECT_EQ(L"12 KB", m_list.Cell(0, 1));
    m_list.SetCell(1, 2, L"done");
    EXPECT_EQ(L"done", m_list.Cell(1, 2));
    m_list.SetRowImage(0, 1);
    LVITEMW item = {};
    item.mask = LVIF_IMAGE;
    ASSERT_TRUE(SendMessageW(m_control, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    EXPECT_EQ(1, item.iImage);

    m_list.SelectRow(1);
    EXPECT_EQ(std::vector<int>{ 1 }, m_list.SelectedRows());
    m_list.ClearSelection();
    EXPECT_TRUE(m_list.SelectedRows().empty());
    m_list.DeleteAllRows();
    EXPECT_EQ(0, m_list.RowCount());
}

} // namespace
