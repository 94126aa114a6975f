// The registry path picker from template 194 over a scratch key of the
// current user with values of every kind: the tree it loads and grows, the
// values it lists, what import hands back, and cancel while it loads.
#include "inspect/InsertRegDlg.h"

#include "base/Messages.h"
#include "gui/MessagePump.h"
#include "gui/MessageSequence.h"
#include "gui/ModalWatch.h"
#include "gui/Screenshot.h"
#include "inspect/RegistryBrowse.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using gui::Pump;

void PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 20000)
{
    const DWORD start = GetTickCount();
    while (!done() && GetTickCount() - start < timeoutMs)
        Pump(20);
}

class InsertReg : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_keyName = L"HarrowmerePickerTest_" + std::to_wstring(GetCurrentProcessId());
        m_keyPath = L"Software\\" + m_keyName;
        m_stateKey.path = L"Software\\HarrowmerePickerState_" + std::to_wstring(GetCurrentProcessId());
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, m_keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key, nullptr));
        DWORD number = 0xFFFFFFFF;
        RegSetValueExW(key, L"Number", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4);
        const wchar_t text[] = L"你好";
        RegSetValueExW(key, L"Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text));
        const wchar_t multi[] = L"a\0b\0";
        RegSetValueExW(key, L"Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), sizeof(multi));
        const BYTE bytes[] = { 0x01, 0xAB };
        RegSetValueExW(key, L"Bytes", 0, REG_BINARY, bytes, sizeof(bytes));
        std::vector<BYTE> huge(40000, 0x11);
        RegSetValueExW(key, L"Huge", 0, REG_BINARY, huge.data(), static_cast<DWORD>(huge.size()));
        unsigned long long quad = 5;
        RegSetValueExW(key, L"Quad", 0, REG_QWORD, reinterpret_cast<BYTE*>(&quad), 8);
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text));
        HKEY sub = nullptr;
        RegCreateKeyExW(key, L"OnlyDefault\\Below", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr);
        RegCloseKey(sub);
        RegCreateKeyExW(key, L"OnlyDefault", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr);
        RegSetValueExW(sub, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text));
        RegCloseKey(sub);
        RegCloseKey(key);
    }
    void TearDown() override
    {
        if (m_dlg && m_dlg->IsWindow())
            DestroyWindow(m_dlg->Hwnd());
        m_dlg.reset();
        for (const std::wstring& k : { m_keyPath, m_stateKey.path }) {
            RegDeleteTreeW(HKEY_CURRENT_USER, k.c_str());
            RegDeleteKeyW(HKEY_CURRENT_USER, k.c_str());
        }
    }

    CInsertRegDlg* Open(bool waitForLoading = true)
    {
        m_dlg = std::make_unique<CInsertRegDlg>(m_stateKey);
        m_dlg->SetResults(&m_path, &m_name, &m_data);
        EXPECT_TRUE(m_dlg->Create(nullptr));
        ShowWindow(m_dlg->Hwnd(), SW_SHOW);
        if (waitForLoading)
            PumpUntil([this] { return !m_dlg->IsLoading(); });
        return m_dlg.get();
    }

    HTREEITEM Child(HTREEITEM parent, const std::wstring& text)
    {
        HWND tree = m_dlg->Tree();
        for (HTREEITEM i = parent ? TreeView_GetChild(tree, parent) : TreeView_GetRoot(tree); i;
             i = TreeView_GetNextSibling(tree, i)) {
            wchar_t buffer[300] = {};
            TVITEMW tv = {};
            tv.mask = TVIF_TEXT;
            tv.hItem = i;
            tv.pszText = buffer;
            tv.cchTextMax = 300;
            TreeView_GetItem(tree, &tv);
            if (text == buffer)
                return i;
        }
        return nullptr;
    }
    int ChildCount(HTREEITEM parent)
    {
        int n = 0;
        for (HTREEITEM i = TreeView_GetChild(m_dlg->Tree(), parent); i; i = TreeView_GetNextSibling(m_dlg->Tree(), i))
            ++n;
        return n;
    }
    // Expands as the user does (the right arrow on the selected item).
    void UserExpand(HTREEITEM item, bool expand)
    {
        TreeView_SelectItem(m_dlg->Tree(), item);
        SendMessageW(m_dlg->Tree(), WM_KEYDOWN, expand ? VK_RIGHT : VK_LEFT, 0);
    }
    // The scratch key's item, reached by expanding the way down to it.
    HTREEITEM TestKey()
    {
        HTREEITEM user = Child(Child(nullptr, L"我的电脑"), L"HKEY_CURRENT_USER");
        UserExpand(user, true);
        HTREEITEM software = Child(user, L"Software");
        UserExpand(software, true);
        return Child(software, m_keyName);
    }
    void Press(int id) { SendMessageW(m_dlg->Hwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

    std::wstring m_keyName, m_keyPath;
    WindowStateKey m_stateKey;
    std::unique_ptr<CInsertRegDlg> m_dlg;
    std::wstring m_path, m_name, m_data;
};

TEST_F(InsertReg, TreeHoldsTheHivesAndGrowsOneLevelAheadWithoutDuplicates)
{
    gui::CMessageRecorder recorder({ WM_INSERT_REG_HIVE_READY, WM_INSERT_REG_LOADED });
    Open();
    // The loader reports each hive, then its end, all posted to the window.
    const gui::ExpectedMessage hive = { WM_INSERT_REG_HIVE_READY, gui::SEQ_POSTED };
    EXPECT_TRUE(gui::SequenceMatches(gui::ForWindow(recorder.Sequence(), m_dlg->Hwnd()),
                                     { hive, hive, hive, hive, hive, { WM_INSERT_REG_LOADED, gui::SEQ_POSTED } }));
    HTREEITEM computer = Child(nullptr, L"我的电脑");
    ASSERT_TRUE(computer);
    std::vector<std::wstring> hives;
    for (HTREEITEM i = TreeView_GetChild(m_dlg->Tree(), computer); i; i = TreeView_GetNextSibling(m_dlg->Tree(), i)) {
        wchar_t buffer[64] = {};
        TVITEMW tv = { TVIF_TEXT, i };
        tv.pszText = buffer;
        tv.cchTextMax = 64;
        TreeView_GetItem(m_dlg->Tree(), &tv);
        hives.push_back(buffer);
    }
    EXPECT_EQ((std::vector<std::wstring>{ L"HKEY_CLASSES_ROOT", L"HKEY_CURRENT_USER", L"HKEY_LOCAL_MACHINE",
                                          L"HKEY_USERS", L"HKEY_CURRENT_CONFIG" }),
              hives);
    HTREEITEM user = Child(computer, L"HKEY_CURRENT_USER");
    EXPECT_EQ(static_cast<int>(EnumRegistrySubKeys(HKEY_CURRENT_USER, L"").size()), ChildCount(user));

    HTREEITEM key = TestKey();
    ASSERT_TRUE(key);
    // One level ahead: the scratch key already holds its subkey, and that one its own.
    HTREEITEM onlyDefault = Child(key, L"OnlyDefault");
    ASSERT_TRUE(onlyDefault);
    UserExpand(key, true);
    EXPECT_TRUE(Child(onlyDefault, L"Below"));
    for (int round = 0; round < 2; ++round) {
        UserExpand(key, false);
        UserExpand(key, true);
    }
    EXPECT_EQ(1, ChildCount(key));
    EXPECT_EQ(1, ChildCount(onlyDefault));
}

TEST_F(InsertReg, ValuesAreListedByTypeAndImportHandsBackPathAndValue)
{
    Open();
    HTREEITEM key = TestKey();
    TreeView_SelectItem(m_dlg->Tree(), key);
    const CReportList& list = m_dlg->Values();
    std::vector<std::wstring> rows;
    for (int i = 0; i < list.RowCount(); ++i)
        rows.push_back(list.Cell(i, 0) + L"|" + list.Cell(i, 1) + L"|" + list.Cell(i, 2).substr(0, 20));
    // Enumeration order is the registry's; compare as a set of rows.
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ((std::vector<std::wstring>{ L"Bytes|REG_BINARY|01 AB ", L"Huge|REG_BINARY|11 11 11 11 11 11 11",
                                          L"Multi|REG_MULTI_SZ|a b ", L"Number|REG_DWORD|0xFFFFFFFF(-1)", L"Quad||",
                                          L"Text|REG_SZ|你好" }),
              rows);
    for (int i = 0; i < list.RowCount(); ++i) {
        if (list.Cell(i, 0) == L"Huge") {
            const std::wstring data = list.Cell(i, 2);
            EXPECT_EQ(32767u * 3 + 3, data.size()) << "what fits, then ...";
            EXPECT_EQ(L"11 ...", data.substr(data.size() - 6));
        }
    }
    Pump(100);
    gui::SaveScreenshot(m_dlg->Hwnd(), L"insert-reg.bmp");

    // A key with only its default value lists nothing.
    TreeView_SelectItem(m_dlg->Tree(), Child(key, L"OnlyDefault"));
    EXPECT_EQ(0, list.RowCount());

    // Key and no row: the path and "*" twice.
    TreeView_SelectItem(m_dlg->Tree(), key);
    Press(IDOK);
    EXPECT_FALSE(m_dlg->IsWindow());
    EXPECT_EQ(L"HKEY_CURRENT_USER\\Software\\" + m_keyName, m_path);
    EXPECT_EQ(L"*", m_name);
    EXPECT_EQ(L"*", m_data);

    // Key and a row: its name and data.
    Open();
    TreeView_SelectItem(m_dlg->Tree(), TestKey());
    for (int i = 0; i < m_dlg->Values().RowCount(); ++i)
        if (m_dlg->Values().Cell(i, 0) == L"Number")
            ListView_SetItemState(m_dlg->Values().Hwnd(), i, LVIS_SELECTED, LVIS_SELECTED);
    Press(IDOK);
    EXPECT_EQ(L"Number", m_name);
    EXPECT_EQ(L"0xFFFFFFFF(-1)", m_data);
}

TEST_F(InsertReg, ImportOfAHiveOrOfNothingAndCancelWhileLoading)
{
    // Modal, as the rule dialog runs it: a hive gives its name alone.
    {
        CInsertRegDlg picker(m_stateKey);
        picker.SetResults(&m_path, &m_name, &m_data);
        gui::ModalWatch watch(L"导入注册表路径", [](HWND hwnd) {
            auto* self = static_cast<CInsertRegDlg*>(ui::CDialog::FromHandle(hwnd));
            PumpUntil([self] { return !self->IsLoading(); });
            HWND tree = self->Tree();
            HTREEITEM users = TreeView_GetNextSibling(tree, TreeView_GetNextSibling(tree, TreeView_GetNextSibling(
                tree, TreeView_GetChild(tree, TreeView_GetRoot(tree)))));
            TreeView_SelectItem(tree, users);
            gui::PressButton(hwnd, IDOK);
        });
        EXPECT_EQ(IDOK, picker.DoModal(nullptr));
        EXPECT_EQ(L"HKEY_USERS", m_path);
        EXPECT_EQ(L"*", m_name);
    }
    // The computer item: OK with all three results left as they were.
    m_path = m_name = m_data = L"";
    Open();
    TreeView_SelectItem(m_dlg->Tree(), Child(nullptr, L"我的电脑"));
    Press(IDOK);
    EXPECT_FALSE(m_dlg->IsWindow());
    EXPECT_EQ(L"", m_path + m_name + m_data);

    // Cancel and import while the hives are still being read: ignored.
    HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_dlg = std::make_unique<CInsertRegDlg>(m_stateKey);
    m_dlg->SetResults(&m_path, &m_name, &m_data);
    m_dlg->SetSubKeySource([gate](HKEY hive, const std::wstring& path) {
        WaitForSingleObject(gate, 10000);
        return EnumRegistrySubKeys(hive, path);
    });
    ASSERT_TRUE(m_dlg->Create(nullptr));
    Pump(50);
    EXPECT_TRUE(m_dlg->IsLoading());
    Press(IDCANCEL);
    Press(IDOK);
    EXPECT_TRUE(m_dlg->IsWindow());
    SetEvent(gate);
    PumpUntil([this] { return !m_dlg->IsLoading(); });
    Press(IDCANCEL);
    EXPECT_FALSE(m_dlg->IsWindow());
    EXPECT_EQ(L"", m_path + m_name + m_data);
    CloseHandle(gate);
}

TEST(RegistryBrowse, DataIsShownAsItsTypeSays)
{
    struct Case {
        DWORD type;
        std::vector<uint8_t> bytes;
        bool truncated;
        const wchar_t* shown;
    } cases[] = {
        { REG_DWORD, { 0xFF, 0xFF, 0xFF, 0xFF }, false, L"0xFFFFFFFF(-1)" },
        { REG_DWORD, { 0x2A, 0, 0, 0 }, false, L"0x0000002A(42)" },
        { REG_DWORD, { 0x2A }, false, L"2A " },
        { REG_SZ, { 'h', 0, 'i', 0, 0, 0, 'x', 0 }, false, L"hi" },
        { REG_EXPAND_SZ, { '%', 0, 'A', 0, '%', 0 }, false, L"%A%" },
        { REG_MULTI_SZ, { 'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0 }, false, L"a b " },
        { REG_MULTI_SZ, { 'a' }, false, L"" },
        { REG_BINARY, { 0x00, 0x7F, 0xFE }, false, L"00 7F FE " },
        { REG_RESOURCE_LIST, { 0x10 }, true, L"10 ..." },
        { REG_SZ, { 'a', 0, 'b', 0 }, true, L"ab..." },
        { REG_QWORD, { 1, 0, 0, 0, 0, 0, 0, 0 }, false, L"" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.shown, FormatRegistryData(c.type, c.bytes.data(), c.bytes.size(), c.truncated)) << c.type;
    EXPECT_STREQ(L"REG_FULL_RESOURCE_DESCRIPTOR", RegistryTypeName(REG_FULL_RESOURCE_DESCRIPTOR));
    EXPECT_STREQ(L"", RegistryTypeName(REG_QWORD));

    HKEY hive = nullptr;
    std::wstring path;
    ASSERT_TRUE(LocateRegistryKey({ L"HKEY_LOCAL_MACHINE", L"SOFTWARE", L"Classes" }, &hive, &path));
    EXPECT_EQ(HKEY_LOCAL_MACHINE, hive);
    EXPECT_EQ(L"SOFTWARE\\Classes\\", path);
    ASSERT_TRUE(LocateRegistryKey({ L"HKEY_USERS" }, &hive, &path));
    EXPECT_EQ(L"", path);
    EXPECT_FALSE(LocateRegistryKey({ L"我的电脑" }, &hive, &path));
    EXPECT_EQ(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes", JoinRegistryPath({ L"HKEY_LOCAL_MACHINE", L"SOFTWARE", L"Classes" }));
}

} // namespace
