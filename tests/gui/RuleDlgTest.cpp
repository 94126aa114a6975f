// The rule editor created from template 130 on a scratch rule file and a
// scratch settings key, driven with messages; its modal dialogs and message
// boxes are answered by watches, its menus and file dialogs by the seams it
// offers. What it shows and what it leaves in the file is read back.
#include "rules/RuleDlg.h"

#include "base/ColumnWidths.h"
#include "base/Messages.h"
#include "gui/MessagePump.h"
#include "gui/ModalWatch.h"
#include "gui/Screenshot.h"
#include "res/resource.h"
#include "rules/RuleFile.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using gui::ModalWatch;
using gui::Pump;
using gui::TextOf;

const wchar_t kWarning[] = L"警告";
const wchar_t kError[] = L"错误";

std::string FileBytes(const std::wstring& path)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class RuleEditor : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::wstring unique = std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount());
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"hm_ruledlg_" + unique;
        std::filesystem::create_directories(m_folder);
        m_context.ruleFile = m_folder + L"\\Harrowmere.erd";
        m_context.stateKey.path = L"Software\\HarrowmereRuleDlgTest_" + unique;
        m_context.applyRules = [this] {
            ++m_applied;
            return m_applyResult;
        };
        WriteRules();
    }
    void TearDown() override
    {
        if (m_dlg && m_dlg->IsWindow())
            DestroyWindow(m_dlg->Hwnd());
        m_dlg.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, m_context.stateKey.path.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, m_context.stateKey.path.c_str());
        std::error_code ignored;
        std::filesystem::permissions(m_context.ruleFile, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(m_folder, ignored);
    }

    // Groups 0 "系统", 1 "网络", 2 "Office"; rules of every kind, one of a
    // group that does not exist.
    void WriteRules()
    {
        RuleSet* set = NewRuleSet();
        ProgramEntry* e = set->entries[0];
        CopyRuleInto(e, RuleAction::Reject, RuleLog::Log, RuleFlag::Ask, 0, L"系统文件",
                     BuildParamList(OperationKind::OpenFile, "w", L"C:\\Windows\\*"));
        CopyRuleInto(e, RuleAction::Accept, RuleLog::None, 0, 1, L"临时", BuildParamList(OperationKind::OpenFile, "w", L"C:\\Temp\\*"));
        CopyRuleInto(e, RuleAction::Reject, RuleLog::Log, RuleFlag::Ask, 0, L"启动项",
                     BuildParamList(OperationKind::SetRegistryValue, "ww", L"HKEY_LOCAL_MACHINE\\Software\\Run", L"*"));
        CopyRuleInto(e, RuleAction::Reject, RuleLog::Alert, 0, 1, L"恶意程序", BuildParamList(OperationKind::Execute, "w", L"*\\evil.exe"));
        CopyRuleInto(e, RuleAction::Feign, RuleLog::Log, 0, 5, L"命令行", BuildParamList(OperationKind::Execute, "w", L"*\\cmd.exe"));
        GroupList groups;
        AddGroup(&groups, 0, L"系统", L"系统规则");
        AddGroup(&groups, 1, L"网络", L"");
        AddGroup(&groups, 2, L"Office", L"办公");
        ASSERT_EQ(0, WriteRuleFile(&groups, set, m_context.ruleFile.c_str(), RULE_FILE_ALL_GROUPS));
        FreeRuleSet(set);
    }

    CRuleDlg* Open()
    {
        m_dlg = std::make_unique<CRuleDlg>(m_context);
        m_dlg->SetFileChooser([this](HWND, bool, const std::wstring& name, std::wstring* path) {
            m_offeredName = name;
            *path = m_chosenFile;
            return !m_chosenFile.empty();
        });
        m_dlg->SetMenuTracker([this](HMENU menu, POINT, HWND) {
            m_menuItems.clear();
            for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
                wchar_t text[64] = {};
                GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
                const bool grey = (GetMenuState(menu, i, MF_BYPOSITION) & MF_GRAYED) != 0;
                m_menuItems.push_back(std::wstring(grey ? L"-" : L"") + text);
            }
            return m_menuChoice;
        });
        EXPECT_TRUE(m_dlg->Create(nullptr));
        ShowWindow(m_dlg->Hwnd(), SW_SHOW);
        Pump(50);
        return m_dlg.get();
    }

    void Command(int id) { SendMessageW(m_dlg->Hwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    bool Enabled(int id) { return IsWindowEnabled(m_dlg->Item(id)) != FALSE; }

    // Tree item by its path of texts from a root ("监控规则分类", "网络").
    HTREEITEM Node(std::vector<std::wstring> path)
    {
        HWND tree = m_dlg->Tree();
        HTREEITEM item = TreeView_GetRoot(tree);
        for (size_t i = 0; i < path.size(); ++i) {
            while (item && NodeText(item) != path[i])
                item = TreeView_GetNextSibling(tree, item);
            if (!item || i + 1 == path.size())
                return item;
            item = TreeView_GetChild(tree, item);
        }
        return nullptr;
    }
    std::wstring NodeText(HTREEITEM item)
    {
        wchar_t text[256] = {};
        TVITEMW tv = {};
        tv.mask = TVIF_TEXT;
        tv.hItem = item;
        tv.pszText = text;
        tv.cchTextMax = 256;
        TreeView_GetItem(m_dlg->Tree(), &tv);
        return text;
    }
    std::vector<std::wstring> Children(HTREEITEM parent)
    {
        std::vector<std::wstring> texts;
        for (HTREEITEM i = TreeView_GetChild(m_dlg->Tree(), parent); i; i = TreeView_GetNextSibling(m_dlg->Tree(), i))
            texts.push_back(NodeText(i));
        return texts;
    }
    void Select(std::vector<std::wstring> path) { TreeView_SelectItem(m_dlg->Tree(), Node(path)); }
    HTREEITEM Selected() { return TreeView_GetSelection(m_dlg->Tree()); }

    // Column `column` of every row.
    std::vector<std::wstring> Column(int column = 0)
    {
        std::vector<std::wstring> texts;
        for (int row = 0; row < m_dlg->List().RowCount(); ++row)
            texts.push_back(m_dlg->List().Cell(row, column));
        return texts;
    }
    void SelectRow(int row)
    {
        ListView_SetItemState(m_dlg->List().Hwnd(), -1, 0, LVIS_SELECTED);
        ListView_SetItemState(m_dlg->List().Hwnd(), row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }

    // The rule file as the reader sees it: "info@group" per rule in file order.
    std::vector<std::wstring> FileRules(std::vector<std::wstring>* groupNames = nullptr)
    {
        GroupList groups;
        RuleSet* set = ReadRuleFile(&groups, m_context.ruleFile.c_str());
        std::vector<std::wstring> rules;
        ForEachRule(set->entries[0], [&rules](Rule* r) { rules.push_back(r->info + L"@" + std::to_wstring(r->groupId)); },
                    -1, -1);
        if (groupNames) {
            groupNames->clear();
            for (const RuleGroup& g : groups.groups)
                groupNames->push_back(g.name);
        }
        FreeRuleSet(set);
        return rules;
    }

    std::wstring WriteGroupFile(const wchar_t* name, std::vector<std::pair<std::wstring, std::wstring>> groups)
    {
        RuleSet* set = NewRuleSet();
        GroupList list;
        int32_t id = 7;
        for (const auto& g : groups) {
            AddGroup(&list, id, g.first.c_str(), L"");
            CopyRuleInto(set->entries[0], RuleAction::Reject, RuleLog::Log, 0, id, g.second.c_str(),
                         BuildParamList(OperationKind::OpenFile, "w", (L"D:\\" + g.second).c_str()));
            ++id;
        }
        std::wstring path = m_folder + L"\\" + name;
        WriteRuleFile(&list, set, path.c_str(), RULE_FILE_ALL_GROUPS);
        FreeRuleSet(set);
        return path;
    }

    RULE_EDITOR_CONTEXT m_context;
    std::wstring m_folder;
    std::unique_ptr<CRuleDlg> m_dlg;
    int m_applied = 0;
    int m_applyResult = RULES_APPLIED;
    std::wstring m_chosenFile;
    std::wstring m_offeredName;
    std::vector<std::wstring> m_menuItems;
    UINT m_menuChoice = 0;
};

TEST_F(RuleEditor, ShowsKindsGroupsRulesAndDetailsOfTheSelection)
{
    Open();
    EXPECT_EQ(L"Harrowmere 规则编辑器", TextOf(m_dlg->Hwnd()));
    EXPECT_EQ((std::vector<std::wstring>{ L"运行程序", L"文件操作", L"注册表访问" }), Children(Node({ L"监控操作分类" })));
    EXPECT_EQ((std::vector<std::wstring>{ L"系统", L"网络", L"Office" }), Children(Node({ L"监控规则分类" })));
    EXPECT_EQ(Node({ L"监控操作分类" }), Selected());
    // Every rule, kind by kind; each column as the row's rule says.
    EXPECT_EQ((std::vector<std::wstring>{ L"C:\\Windows\\*", L"C:\\Temp\\*", L"HKEY_LOCAL_MACHINE\\Software\\Run",
                                          L"*\\evil.exe", L"*\\cmd.exe" }),
              Column(0));
    EXPECT_EQ((std::vector<std::wstring>{ L"文件操作", L"文件操作", L"注册表访问", L"运行程序", L"运行程序" }), Column(1));
    EXPECT_EQ((std::vector<std::wstring>{ L"记录", L"无", L"记录", L"显示", L"记录" }), Column(2));
    EXPECT_EQ((std::vector<std::wstring>{ L"拒绝", L"接受", L"拒绝", L"拒绝", L"拒绝" }), Column(3));
    EXPECT_EQ((std::vector<std::wstring>{ L"是", L"否", L"是", L"否", L"否" }), Column(4));
    EXPECT_EQ((std::vector<std::wstring>{ L"系统", L"网络", L"系统", L"网络", L"没有分组" }), Column(5));
    EXPECT_FALSE(Enabled(IDC_RULE_SAVE));
    EXPECT_FALSE(Enabled(IDC_RULE_EDIT_GROUP));
    EXPECT_FALSE(Enabled(IDC_RULE_EDIT_RULE));

    struct Case {
        std::vector<std::wstring> node;
        std::vector<std::wstring> rules;
        std::wstring status;
        bool groupButtons;
    } cases[] = {
        { { L"监控规则分类", L"网络" }, { L"C:\\Temp\\*", L"*\\evil.exe" }, L"网络", true },
        { { L"监控操作分类", L"运行程序" }, { L"*\\evil.exe", L"*\\cmd.exe" }, L"运行程序", false },
        { { L"监控规则分类", L"Office" }, {}, L"Office", true },
        { { L"监控规则分类" }, Column(0), L"监控规则分类", false },
    };
    for (const Case& c : cases) {
        Select(c.node);
        EXPECT_EQ(c.rules, Column(0)) << c.status;
        EXPECT_EQ(c.status, m_dlg->StatusBar().Text(0));
        EXPECT_EQ(c.groupButtons, Enabled(IDC_RULE_EDIT_GROUP)) << c.status;
        EXPECT_EQ(c.groupButtons, Enabled(IDC_RULE_DELETE_GROUP)) << c.status;
    }

    // A registry rule's details show both parameters; a file rule's only the path.
    SelectRow(2);
    EXPECT_EQ(L"启动项", TextOf(m_dlg->Hwnd(), IDC_RULE_INFO));
    EXPECT_EQ(L"注册表路径:", TextOf(m_dlg->Hwnd(), IDC_RULE_PARAM1_LABEL));
    EXPECT_EQ(L"*", TextOf(m_dlg->Hwnd(), IDC_RULE_PARAM2));
    EXPECT_TRUE(IsWindowVisible(m_dlg->Item(IDC_RULE_PARAM2)));
    EXPECT_TRUE(Enabled(IDC_RULE_EDIT_RULE) && Enabled(IDC_RULE_DELETE_RULES) && Enabled(IDC_RULE_MOVE_TO_GROUP));
    SetForegroundWindow(m_dlg->Hwnd());
    SetFocus(m_dlg->List().Hwnd());
    Pump(150);
    gui::SaveScreenshot(m_dlg->Hwnd(), L"rule-editor.bmp");
    SelectRow(3);
    EXPECT_EQ(L"文件路径:", TextOf(m_dlg->Hwnd(), IDC_RULE_PARAM1_LABEL));
    EXPECT_EQ(L"*\\evil.exe", TextOf(m_dlg->Hwnd(), IDC_RULE_PARAM1));
    EXPECT_FALSE(IsWindowVisible(m_dlg->Item(IDC_RULE_PARAM2)));
    ListView_SetItemState(m_dlg->List().Hwnd(), -1, 0, LVIS_SELECTED);
    EXPECT_EQ(L"", TextOf(m_dlg->Hwnd(), IDC_RULE_INFO));
    EXPECT_FALSE(Enabled(IDC_RULE_EDIT_RULE));
}

TEST_F(RuleEditor, DeletingAGroupDeletesExactlyItsRulesAndSelectsTheParentRoot)
{
    Open();
    Select({ L"监控规则分类", L"系统" });
    {
        ModalWatch no(kWarning, [](HWND box) { gui::PressButton(box, IDNO); });
        Command(IDC_RULE_DELETE_GROUP);
        EXPECT_EQ(L"是否确认删除(系统)组以及该组的所有规则?", no.BoxText());
    }
    EXPECT_EQ(5, m_dlg->List().RowCount() + 3); // No: nothing changed, still the group's two rules
    EXPECT_FALSE(m_dlg->IsChanged());

    ModalWatch yes(kWarning, [](HWND box) { gui::PressButton(box, IDYES); });
    Command(IDC_RULE_DELETE_GROUP);
    ASSERT_TRUE(yes.Seen());
    EXPECT_EQ(Node({ L"监控规则分类" }), Selected());
    EXPECT_EQ((std::vector<std::wstring>{ L"网络", L"Office" }), Children(Node({ L"监控规则分类" })));
    EXPECT_EQ((std::vector<std::wstring>{ L"C:\\Temp\\*", L"*\\evil.exe", L"*\\cmd.exe" }), Column(0));
    EXPECT_TRUE(m_dlg->IsChanged());
    EXPECT_TRUE(Enabled(IDC_RULE_SAVE));

    Command(IDC_RULE_SAVE);
    std::vector<std::wstring> groups;
    EXPECT_EQ((std::vector<std::wstring>{ L"临时@1", L"恶意程序@1", L"命令行@5" }), FileRules(&groups));
    EXPECT_EQ((std::vector<std::wstring>{ L"网络", L"Office" }), groups);
    EXPECT_EQ(1, m_applied);
    EXPECT_FALSE(Enabled(IDC_RULE_SAVE));
}

TEST_F(RuleEditor, ImportTakesOneNewGroupOrRefusesWithAMessage)
{
    Open();
    struct Case {
        std::wstring file;
        const wchar_t* message; // null: imported
        std::vector<std::wstring> groupsAfter;
    } cases[] = {
        { WriteGroupFile(L"same.erd", { { L"Office", L"a" } }), L"组(Office)已经存在.",
          { L"系统", L"网络", L"Office" } },
        { m_folder + L"\\absent.erd", nullptr, { L"系统", L"网络", L"Office" } },
        { WriteGroupFile(L"case.erd", { { L"office", L"b" } }), nullptr, { L"系统", L"网络", L"Office", L"office" } },
        { WriteGroupFile(L"two.erd", { { L"甲", L"c" }, { L"乙", L"d" } }), nullptr,
          { L"系统", L"网络", L"Office", L"office", L"甲" } },
    };
    for (const Case& c : cases) {
        m_chosenFile = c.file;
        ModalWatch error(kError, [](HWND box) { gui::PressButton(box, IDOK); });
        Command(IDC_RULE_IMPORT);
        if (c.file.find(L"absent") != std::wstring::npos)
            EXPECT_EQ(L"文件(" + c.file + L")中没有规则分组.", error.BoxText());
        else
            EXPECT_EQ(c.message ? c.message : L"", error.BoxText()) << c.file;
        EXPECT_EQ(c.groupsAfter, Children(Node({ L"监控规则分类" }))) << c.file;
    }
    // The two-group file's rules both went to its one new group.
    Select({ L"监控规则分类", L"甲" });
    EXPECT_EQ((std::vector<std::wstring>{ L"D:\\c", L"D:\\d" }), Column(0));
    EXPECT_EQ((std::vector<std::wstring>{ L"甲", L"甲" }), Column(5));

    // Export writes the selected group alone under its name.
    m_chosenFile = m_folder + L"\\exported.erd";
    Command(IDC_RULE_EXPORT);
    EXPECT_EQ(L"甲", m_offeredName);
    GroupList exported;
    RuleSet* set = ReadRuleFile(&exported, m_chosenFile.c_str());
    EXPECT_EQ(2u, RuleCount(set));
    ASSERT_EQ(1u, exported.groups.size());
    EXPECT_EQ(L"甲", exported.groups.front().name);
    FreeRuleSet(set);
}

TEST_F(RuleEditor, ClosingAsksAboutUnsavedChangesAndCancelKeepsWindowAndChanges)
{
    Open();
    const std::string before = FileBytes(m_context.ruleFile);
    Select({ L"监控规则分类", L"网络" });
    SelectRow(0);
    m_menuChoice = ID_RULE_MOVE_FIRST + 2; // "Office"
    Command(IDC_RULE_MOVE_TO_GROUP);
    EXPECT_EQ((std::vector<std::wstring>{ L"系统", L"网络", L"Office" }), m_menuItems);
    EXPECT_EQ((std::vector<std::wstring>{ L"*\\evil.exe" }), Column(0));
    ASSERT_TRUE(m_dlg->IsChanged());

    {
        ModalWatch cancel(kWarning, [](HWND box) { gui::PressButton(box, IDCANCEL); });
        SendMessageW(m_dlg->Hwnd(), WM_CLOSE, 0, 0);
        EXPECT_EQ(L"规则已经发生改变,是否需要保存?", cancel.BoxText());
    }
    ASSERT_TRUE(m_dlg->IsWindow());
    EXPECT_TRUE(m_dlg->IsChanged());
    EXPECT_EQ(before, FileBytes(m_context.ruleFile));

    // Refresh shows the file's rules again and leaves Save enabled.
    Command(IDC_RULE_REFRESH);
    Select({ L"监控规则分类", L"网络" });
    EXPECT_EQ((std::vector<std::wstring>{ L"C:\\Temp\\*", L"*\\evil.exe" }), Column(0));
    EXPECT_TRUE(Enabled(IDC_RULE_SAVE));

    // No: closed without writing.
    ModalWatch no(kWarning, [](HWND box) { gui::PressButton(box, IDNO); });
    SendMessageW(m_dlg->Hwnd(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(m_dlg->IsWindow());
    EXPECT_EQ(before, FileBytes(m_context.ruleFile));
    EXPECT_EQ(0, m_applied);
}

TEST_F(RuleEditor, AFailedSaveKeepsTheEditsAndTheDriverAndSaysSo)
{
    Open();
    Select({ L"监控规则分类", L"Office" });
    m_menuChoice = ID_RULE_MOVE_FIRST + 1;
    {
        ModalWatch error(kError, [](HWND box) { gui::PressButton(box, IDOK); });
        Command(IDC_RULE_MOVE_TO_GROUP); // nothing selected
        EXPECT_EQ(L"请选择需要移动的规则", error.BoxText());
    }
    EXPECT_TRUE(m_menuItems.empty());
    EXPECT_FALSE(m_dlg->IsChanged());
    const std::string before = FileBytes(m_context.ruleFile);
    Select({ L"监控操作分类" });
    SelectRow(4);
    Command(IDC_RULE_MOVE_TO_GROUP);
    ASSERT_TRUE(m_dlg->IsChanged());

    SetFileAttributesW(m_context.ruleFile.c_str(), FILE_ATTRIBUTE_READONLY);
    {
        ModalWatch error(kError, [](HWND box) { gui::PressButton(box, IDOK); });
        Command(IDC_RULE_SAVE);
        EXPECT_EQ(L"无法写入规则文件(" + m_context.ruleFile + L"),规则没有保存.", error.BoxText());
    }
    EXPECT_TRUE(m_dlg->IsChanged());
    EXPECT_TRUE(Enabled(IDC_RULE_SAVE));
    EXPECT_EQ(0, m_applied);
    EXPECT_EQ(before, FileBytes(m_context.ruleFile));
    // Closing with Yes and a failed save keeps the window too.
    {
        ModalWatch yes(kWarning, [](HWND box) { gui::PressButton(box, IDYES); });
        ModalWatch error(kError, [](HWND box) { gui::PressButton(box, IDOK); });
        SendMessageW(m_dlg->Hwnd(), WM_CLOSE, 0, 0);
        EXPECT_TRUE(error.Seen());
    }
    EXPECT_TRUE(m_dlg->IsWindow());

    // Writable again, but the driver refuses the table: saved, and said so.
    SetFileAttributesW(m_context.ruleFile.c_str(), FILE_ATTRIBUTE_NORMAL);
    m_applyResult = RULES_REFUSED;
    {
        ModalWatch error(kError, [](HWND box) { gui::PressButton(box, IDOK); });
        Command(IDC_RULE_SAVE);
        EXPECT_EQ(L"驱动程序拒绝了新的规则表,新规则没有生效.", error.BoxText());
    }
    EXPECT_EQ(1, m_applied);
    EXPECT_FALSE(m_dlg->IsChanged());
    EXPECT_EQ(L"命令行@1", FileRules().back());
}

TEST_F(RuleEditor, RulesAreMadeEditedAndDeletedThroughTheRuleDialog)
{
    Open();
    Select({ L"监控规则分类", L"Office" });
    // Edit without a selected row opens a new rule; unchanged but for the
    // key path it is a registry rule that refuses, logs and asks, value "*".
    {
        ModalWatch dialog(L"新建规则", [](HWND rule) {
            SetDlgItemTextW(rule, IDC_RULE_PARAM1, L"HKEY_CURRENT_USER\\Software\\Test");
            gui::PressButton(rule, IDOK);
        });
        Command(IDC_RULE_EDIT_RULE);
        ASSERT_TRUE(dialog.Seen());
    }
    ASSERT_EQ(1, m_dlg->List().RowCount());
    const Rule* made = reinterpret_cast<const Rule*>(m_dlg->List().RowData(0));
    EXPECT_EQ(OperationKind::SetRegistryValue, RuleKind(made));
    EXPECT_EQ(RuleAction::Reject, made->action);
    EXPECT_EQ(RuleLog::Log, made->log);
    EXPECT_EQ(RuleFlag::Ask, made->flags);
    EXPECT_EQ(2, made->groupId); // the selected group's
    EXPECT_STREQ(L"*", ParamEntryText(ParamEntryAt(made->params, 1)));

    // An OpenFile rule switched to "运行程序" goes to the end of the Execute list.
    Select({ L"监控操作分类" });
    SelectRow(0);
    ModalWatch edit(L"编辑规则", [](HWND rule) {
        SendMessageW(GetDlgItem(rule, IDC_EDIT_RULE_EXECUTE), BM_CLICK, 0, 0);
        gui::PressButton(rule, IDOK);
    });
    SetFocus(m_dlg->List().Hwnd());
    Command(IDOK); // Enter in the list
    ASSERT_TRUE(edit.Seen());
    Select({ L"监控操作分类", L"运行程序" });
    EXPECT_EQ((std::vector<std::wstring>{ L"*\\evil.exe", L"*\\cmd.exe", L"C:\\Windows\\*" }), Column(0));
    EXPECT_EQ(L"系统", m_dlg->List().Cell(2, 5));

    // Delete in the list asks, then removes the selected rules.
    SelectRow(1);
    ModalWatch yes(kWarning, [](HWND box) { gui::PressButton(box, IDYES); });
    NMLVKEYDOWN key = {};
    key.hdr.hwndFrom = m_dlg->List().Hwnd();
    key.hdr.idFrom = IDC_RULE_LIST;
    key.hdr.code = LVN_KEYDOWN;
    key.wVKey = VK_DELETE;
    SendMessageW(m_dlg->Hwnd(), WM_NOTIFY, IDC_RULE_LIST, reinterpret_cast<LPARAM>(&key));
    EXPECT_EQ(L"是否确认删除选择的规则?", yes.BoxText());
    EXPECT_EQ((std::vector<std::wstring>{ L"*\\evil.exe", L"C:\\Windows\\*" }), Column(0));
    EXPECT_TRUE(m_dlg->IsChanged());
}

TEST_F(RuleEditor, GroupsAreMadeAndRenamedAndMenusGreyWhatDoesNotApply)
{
    Open();
    {
        ModalWatch dialog(L"新建组", [](HWND group) {
            SetDlgItemTextW(group, IDC_EDIT_GROUP_NAME, L"新组");
            gui::PressButton(group, IDOK);
        });
        Command(IDC_RULE_NEW_GROUP);
        ASSERT_TRUE(dialog.Seen());
    }
    EXPECT_EQ(Node({ L"监控规则分类", L"新组" }), Selected());
    EXPECT_EQ(3, m_dlg->Groups().groups.back().id);
    ModalWatch rename(L"编辑组", [](HWND group) {
        SetDlgItemTextW(group, IDC_EDIT_GROUP_NAME, L"改名");
        gui::PressButton(group, IDOK);
    });
    Command(IDC_RULE_EDIT_GROUP);
    EXPECT_EQ((std::vector<std::wstring>{ L"系统", L"网络", L"Office", L"改名" }), Children(Node({ L"监控规则分类" })));
    EXPECT_EQ(L"改名", m_dlg->StatusBar().Text(0));

    // The tree's menu on a kind node greys the group commands; the list's
    // menu without a selection greys the rule commands.
    Select({ L"监控操作分类", L"文件操作" });
    NMHDR click = { m_dlg->Tree(), IDC_RULE_TREE, static_cast<UINT>(NM_RCLICK) };
    SetCursorPos(-100, -100); // nowhere near a node: the selection stays
    SendMessageW(m_dlg->Hwnd(), WM_NOTIFY, IDC_RULE_TREE, reinterpret_cast<LPARAM>(&click));
    EXPECT_EQ((std::vector<std::wstring>{ L"新建组(&N)", L"-编辑组(&E)", L"-删除组(&D)" }), m_menuItems);
    click = { m_dlg->List().Hwnd(), IDC_RULE_LIST, static_cast<UINT>(NM_RCLICK) };
    SendMessageW(m_dlg->Hwnd(), WM_NOTIFY, IDC_RULE_LIST, reinterpret_cast<LPARAM>(&click));
    EXPECT_EQ((std::vector<std::wstring>{ L"新建规则(&N)", L"-编辑规则(&E)", L"-删除规则(&D)", L"-移动到组(&M)" }),
              m_menuItems);
}

TEST_F(RuleEditor, FocusingARuleOfAnotherCopySelectsItsGroupAndRow)
{
    RuleSet* other = NewRuleSet();
    Rule* rule = CopyRuleInto(other->entries[0], RuleAction::Accept, RuleLog::None, 0, 1, L"临时",
                              BuildParamList(OperationKind::OpenFile, "w", L"C:\\Temp\\*"));
    RULE_CONTENT content = CopyRuleContent(rule);
    FreeRuleSet(other);
    Open();
    m_dlg->FocusRule(content);
    EXPECT_EQ(Node({ L"监控规则分类", L"网络" }), Selected());
    EXPECT_EQ((std::vector<int>{ 0 }), m_dlg->List().SelectedRows());
    EXPECT_EQ(L"临时", TextOf(m_dlg->Hwnd(), IDC_RULE_INFO));
    content.info = L"gone";
    m_dlg->FocusRule(content);
    EXPECT_TRUE(m_dlg->List().SelectedRows().empty());
}

TEST_F(RuleEditor, SplitterResizesThePanesWithinItsRangeAndLayoutAndWidthsAreKept)
{
    Open();
    auto rectOf = [this](HWND hwnd) {
        RECT r;
        GetWindowRect(hwnd, &r);
        MapWindowPoints(nullptr, m_dlg->Hwnd(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    HWND splitter = m_dlg->Item(IDC_RULE_SPLITTER);
    const RECT tree = rectOf(m_dlg->Tree()), list = rectOf(m_dlg->List().Hwnd());
    const RECT edit = rectOf(m_dlg->Item(IDC_RULE_INFO)), button = rectOf(m_dlg->Item(IDC_RULE_NEW_RULE));
    SendMessageW(splitter, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 5));
    SendMessageW(splitter, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(static_cast<WORD>(static_cast<short>(-999)), 5)); // far left: held at 100
    SendMessageW(splitter, WM_LBUTTONUP, 0, 0);
    const int d = rectOf(splitter).left - tree.right;
    EXPECT_EQ(100, rectOf(splitter).left);
    EXPECT_EQ(tree.right + d, rectOf(m_dlg->Tree()).right);
    EXPECT_EQ(list.left + d, rectOf(m_dlg->List().Hwnd()).left);
    EXPECT_EQ(list.right, rectOf(m_dlg->List().Hwnd()).right);
    EXPECT_EQ(edit.left + d, rectOf(m_dlg->Item(IDC_RULE_INFO)).left);
    EXPECT_EQ(button.left + d, rectOf(m_dlg->Item(IDC_RULE_NEW_RULE)).left);

    RECT window;
    GetWindowRect(m_dlg->Hwnd(), &window);
    SetWindowPos(m_dlg->Hwnd(), nullptr, 0, 0, window.right - window.left + 80, window.bottom - window.top + 60,
                 SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(list.right + 80, rectOf(m_dlg->List().Hwnd()).right);
    EXPECT_EQ(tree.bottom + 60, rectOf(m_dlg->Tree()).bottom);
    RECT client, bar = rectOf(m_dlg->StatusBar().Hwnd());
    GetClientRect(m_dlg->Hwnd(), &client);
    EXPECT_EQ(client.bottom, bar.bottom);
    EXPECT_LE(rectOf(m_dlg->Item(IDC_RULE_NEW_GROUP)).bottom, bar.top) << "the status bar covers no control";

    ListView_SetColumnWidth(m_dlg->List().Hwnd(), 0, 222);
    Command(IDCANCEL); // unchanged: closes without a question
    EXPECT_FALSE(m_dlg->IsWindow());
    std::vector<int> widths;
    ASSERT_EQ(0, LoadColumnWidths(m_context.stateKey, L"RuleWndList", 6, NumberListRule::Exact, &widths));
    EXPECT_EQ(222, widths[0]);
    std::wstring placement;
    EXPECT_EQ(0, ReadWindowStateText(m_context.stateKey, L"RuleWnd", &placement));
}

} // namespace
