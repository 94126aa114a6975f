// Registry set-up with helpers from Vista on; the tests run on x86_64 only,
// so the i686 build merely compiles them.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
// The registry path picker from template 194 over a scratch key of the
// current user with values of every kind: the tree it loads and grows, the
// values it lists, what import hands back, and cancel while it loads.
#include "rules/ui/InsertRegDlg.h"

#include "base/Messages.h"
#include "gui/MessagePump.h"
#include "gui/MessageSequence.h"
#include "gui/ModalWatch.h"
#include "gui/Screenshot.h"
#include "res/resource.h"
#include "sysview/RegistryBrowse.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using gui::Pump;

using gui::PumpUntil;

class InsertReg : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_keyName = L"HarrowmerePickerTest_" + std::to_wstring(GetCurrentProcessId());
        m_keyPath = L"Software\\" + m_keyName;
        m_stateKey.path = L"Software\\HarrowmerePickerState_" + std::to_wstring(GetCurrentProcessId());
        auto set = [this](const wchar_t* sub, const wchar_t* name, DWORD type, const void* data, DWORD size) {
            std::wstring key = m_keyPath + (sub ? std::wstring(L"\\") + sub : L"");
            ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name, type, data, size));
        };
        const DWORD number = 0xFFFFFFFF;
        const unsigned long long quad = 5;
        const wchar_t text[] = L"你好", multi[] = L"a\0b\0";
        const BYTE bytes[] = { 0x01, 0xAB };
        const std::vector<BYTE> huge(40000, 0x11);
        set(nullptr, L"Number", REG_DWORD, &number, 4);
        set(nullptr, L"Text", REG_SZ, text, sizeof(text));
        set(nullptr, L"Multi", REG_MULTI_SZ, multi, sizeof(multi));
        set(nullptr, L"Bytes", REG_BINARY, bytes, sizeof(bytes));
        set(nullptr, L"Huge", REG_BINARY, huge.data(), static_cast<DWORD>(huge.size()));
        set(nullptr, L"Quad", REG_QWORD, &quad, 8);
        set(nullptr, nullptr, REG_SZ, text, sizeof(text));
        set(L"OnlyDefault", nullptr, REG_SZ, text, sizeof(text));
        set(L"OnlyDefault\\Below", nullptr, REG_SZ, text, sizeof(text));
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

    // Texts of the children of `parent` (the top level for null), and the one of a text.
    std::vector<std::pair<std::wstring, HTREEITEM>> Children(HTREEITEM parent)
    {
        std::vector<std::pair<std::wstring, HTREEITEM>> items;
        HWND tree = m_dlg->Tree();
        for (HTREEITEM i = parent ? TreeView_GetChild(tree, parent) : TreeView_GetRoot(tree); i;
             i = TreeView_GetNextSibling(tree, i)) {
            wchar_t text[300] = {};
            TVITEMW tv = { TVIF_TEXT, i };
            tv.pszText = text;
            tv.cchTextMax = 300;
            TreeView_GetItem(tree, &tv);
            items.emplace_back(text, i);
        }
        return items;
    }
    HTREEITEM Child(HTREEITEM parent, const std::wstring& text)
    {
        for (const auto& item : Children(parent))
            if (item.first == text)
                return item.second;
        return nullptr;
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
    for (const auto& item : Children(computer))
        hives.push_back(item.first);
    EXPECT_EQ((std::vector<std::wstring>{ L"HKEY_CLASSES_ROOT", L"HKEY_CURRENT_USER", L"HKEY_LOCAL_MACHINE",
                                          L"HKEY_USERS", L"HKEY_CURRENT_CONFIG" }),
              hives);
    HTREEITEM user = Child(computer, L"HKEY_CURRENT_USER");
    EXPECT_EQ(EnumRegistrySubKeys(HKEY_CURRENT_USER, L"").size(), Children(user).size());

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
    EXPECT_EQ(1u, Children(key).size());
    EXPECT_EQ(1u, Children(onlyDefault).size());
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

TEST_F(InsertReg, ImportOfNothingAndCancelWhileLoading)
{
    // The computer item: OK with all three results left as they were.
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

TEST(RegistryBrowse, DataOfOddShapesAndKeyPaths)
{
    struct Case {
        DWORD type;
        std::vector<uint8_t> bytes;
        bool truncated;
        const wchar_t* shown;
    } cases[] = {
        { REG_DWORD, { 0x2A }, false, L"2A " }, // too short for a number: its bytes
        { REG_SZ, { 'h', 0, 'i', 0, 0, 0, 'x', 0 }, false, L"hi" },
        { REG_EXPAND_SZ, { '%', 0, 'A', 0, '%', 0, 'z' }, false, L"%A%" },
        { REG_MULTI_SZ, { 'a' }, false, L"" },
        { REG_RESOURCE_LIST, { 0x10 }, true, L"10 ..." },
        { REG_SZ, { 'a', 0, 'b', 0 }, true, L"ab..." },
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.shown, FormatRegistryData(c.type, c.bytes.data(), c.bytes.size(), c.truncated)) << c.type;

    HKEY hive = nullptr;
    std::wstring path;
    ASSERT_TRUE(LocateRegistryKey({ L"HKEY_LOCAL_MACHINE", L"SOFTWARE", L"Classes" }, &hive, &path));
    EXPECT_EQ(HKEY_LOCAL_MACHINE, hive);
    EXPECT_EQ(L"SOFTWARE\\Classes\\", path);
    EXPECT_FALSE(LocateRegistryKey({ L"我的电脑" }, &hive, &path));
}

} // namespace
