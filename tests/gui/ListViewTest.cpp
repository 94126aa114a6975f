// The list wrapper over a real list control in report view: columns, rows,
// cells, row values and images, selection and column widths.
#include "controls/ListView.h"

#include "gui/TestWindow.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>
#include <vector>

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

TEST_F(ListView, VirtualRowsHoldValuesAndTakeTheirTextsFromTheOwner)
{
    HWND control = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA, 0, 0,
                                   380, 260, m_window, nullptr, nullptr, nullptr);
    CListView rows;
    ASSERT_TRUE(rows.Attach(control, 0));
    EXPECT_TRUE(rows.IsVirtual());
    EXPECT_FALSE(m_list.IsVirtual());
    rows.SetColumns({ { L"name", 100 }, { L"size", 60 } });
    rows.SetVirtualRows({ 5, 7, 9 });
    EXPECT_EQ(3, rows.RowCount());
    EXPECT_EQ((std::vector<LPARAM>{ 5, 7, 9, 0 }),
              (std::vector<LPARAM>{ rows.RowData(0), rows.RowData(1), rows.RowData(2), rows.RowData(3) }));
    EXPECT_EQ(-1, rows.AddRow({ L"x" }, 1));
    EXPECT_EQ(3, rows.RowCount());

    auto text = [](LPARAM data, int column) { return std::to_wstring(data * 10 + column); };
    const struct {
        int row, column, capacity;
        const wchar_t* expected;
    } cells[] = { { 2, 1, 16, L"91" }, { 0, 0, 16, L"50" }, { 2, 1, 2, L"9" }, { 3, 0, 16, L"" } };
    for (const auto& c : cells) {
        wchar_t buffer[16] = L"stale";
        NMLVDISPINFOW info = {};
        info.hdr = { control, 0, static_cast<UINT>(LVN_GETDISPINFOW) };
        info.item.mask = LVIF_TEXT;
        info.item.iItem = c.row;
        info.item.iSubItem = c.column;
        info.item.pszText = buffer;
        info.item.cchTextMax = c.capacity;
        EXPECT_TRUE(rows.HandleDisplayInfo(&info.hdr, text));
        EXPECT_STREQ(c.expected, buffer) << c.row << "," << c.column;
    }
    NMHDR other = { m_control, 0, static_cast<UINT>(LVN_GETDISPINFOW) };
    EXPECT_FALSE(rows.HandleDisplayInfo(&other, text));

    rows.SelectRow(2);
    EXPECT_EQ(std::vector<int>{ 2 }, rows.SelectedRows());
    rows.SetVirtualRows({ 1 });
    EXPECT_TRUE(rows.SelectedRows().empty());
    EXPECT_EQ(1, rows.RowCount());
    rows.DeleteAllRows();
    EXPECT_EQ(0, rows.RowCount());
}

} // namespace
