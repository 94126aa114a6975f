// The log page, created from its template over the process's real log queue;
// rows are read back from its list view.
#include "monitor/LogDlg.h"

#include "gui/Screenshot.h"
#include "log/ActivityLog.h"
#include "res/resource.h"
#include "rules/RuleModel.h"

#include "gui/MessagePump.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using gui::Pump;

struct ParamListDeleter {
    void operator()(PARAM_LIST* list) const { FreeParamList(list); }
};
using ParamListPtr = std::unique_ptr<PARAM_LIST, ParamListDeleter>;

// Queues a logged record with one file path; returns its number.
int32_t AddFileRecord(const std::wstring& process, uint16_t verdict, const wchar_t* path = L"C:\\data\\a.txt")
{
    ParamListPtr params(BuildParamList(OperationKind::OpenFile, "s", path));
    return AddLogRecord(process.c_str(), 1234, verdict, 1, L"rule", params.get());
}

class LogPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitLog();
        m_parent = CreateWindowExW(0, L"STATIC", L"Log page", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 40, 40, 560,
                                   460, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, m_parent);
    }
    void TearDown() override
    {
        m_page.reset();
        DestroyWindow(m_parent);
    }

    void CreatePage()
    {
        m_page = std::make_unique<CLogDlg>();
        ASSERT_TRUE(m_page->Create(m_parent));
        ShowWindow(m_page->Hwnd(), SW_SHOW);
        Pump(30);
    }

    int Rows() const { return static_cast<int>(SendMessageW(m_page->List(), LVM_GETITEMCOUNT, 0, 0)); }

    std::wstring Cell(int row, int column) const
    {
        std::vector<wchar_t> buf(4096);
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = buf.data();
        item.cchTextMax = static_cast<int>(buf.size());
        SendMessageW(m_page->List(), LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        return buf.data();
    }

    HWND m_parent = nullptr;
    std::unique_ptr<CLogDlg> m_page;
};

} // namespace

TEST_F(LogPage, CreatedWithEntries72To199ShowsAllThenTheNextEntryStartsAFreshList)
{
    // Every test runs in a process of its own: the queue starts empty.
    ASSERT_LE(LogNextSequence(), 200);
    while (LogNextSequence() < 200)
        AddFileRecord(L"p" + std::to_wstring(LogNextSequence()) + L".exe", 0);
    ASSERT_EQ(72, LogDroppedCount());

    CreatePage();
    ASSERT_EQ(128, Rows());
    EXPECT_EQ(L"p72.exe", Cell(0, 1));
    EXPECT_EQ(L"p199.exe", Cell(127, 1));

    const int32_t next = AddFileRecord(L"p200.exe", 2);
    ASSERT_EQ(200, next);
    m_page->AddLogRow(next);
    ASSERT_EQ(1, Rows());
    EXPECT_EQ(L"p200.exe", Cell(0, 1));
    EXPECT_EQ(L"拒绝", Cell(0, 2));

    // A number no longer (or not yet) kept adds nothing.
    m_page->AddLogRow(10);
    m_page->AddLogRow(5000);
    EXPECT_EQ(1, Rows());
}

TEST_F(LogPage, RowsShowTimeProcessVerdictAndParameters)
{
    CreatePage();
    const wchar_t* headings[] = { L"时间", L"进程", L"操作", L"信息" };
    for (int i = 0; i < 4; ++i) {
        wchar_t text[64] = {};
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT;
        column.pszText = text;
        column.cchTextMax = 64;
        ASSERT_TRUE(SendMessageW(m_page->List(), LVM_GETCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column)));
        EXPECT_EQ(headings[i], std::wstring(text));
    }

    // Feign and Reject both show as refused.
    const struct {
        uint16_t verdict;
        const wchar_t* word;
    } verdicts[] = { { 0, L"接受" }, { 1, L"拒绝" }, { 2, L"拒绝" } };
    for (const auto& v : verdicts) {
        const int32_t sequence = AddFileRecord(L"notepad.exe", v.verdict);
        ASSERT_GE(sequence, 0);
        m_page->AddLogRow(sequence);
        const int row = Rows() - 1;
        EXPECT_EQ(v.word, Cell(row, 2)) << "verdict " << v.verdict;
        EXPECT_EQ(L"notepad.exe", Cell(row, 1));
        EXPECT_EQ(L"文件操作 (C:\\data\\a.txt)", Cell(row, 3));
    }

    // The time has no zero padding.
    const int32_t early = AddFileRecord(L"early.exe", 0);
    LOG_RECORD* record = LockLogRecord(early);
    ASSERT_NE(nullptr, record);
    record->time.wHour = 9;
    record->time.wMinute = 5;
    record->time.wSecond = 3;
    UnlockLogRecord(early);
    m_page->AddLogRow(early);
    EXPECT_EQ(L"9:5:3", Cell(Rows() - 1, 0));

    // Registry requests show both parameters; a record without a list shows
    // the invalid kind's name.
    ParamListPtr registry(BuildParamList(OperationKind::SetRegistryValue, "ss", L"HKLM\\Software\\Run", L"x"));
    const int32_t reg = AddLogRecord(L"reg.exe", 1, 0, 1, L"rule", registry.get());
    m_page->AddLogRow(reg);
    EXPECT_EQ(L"注册表访问 (HKLM\\Software\\Run, x)", Cell(Rows() - 1, 3));
    Pump(50);
    EXPECT_TRUE(gui::SaveScreenshot(m_parent, L"log-page.bmp"));
}

TEST_F(LogPage, LongParameterTextIsCutTo1024Characters)
{
    CreatePage();
    const std::wstring path = L"C:\\" + std::wstring(3000, L'x');
    const int32_t sequence = AddFileRecord(L"long.exe", 0, path.c_str());
    m_page->AddLogRow(sequence);
    const std::wstring info = Cell(Rows() - 1, 3);
    EXPECT_LE(info.size(), 1024u);
    EXPECT_GE(info.size(), 1000u);
    EXPECT_EQ(0u, info.find(L"文件操作 (C:\\xxx"));
}
