// Registry set-up with helpers from Vista on; the tests run on x86_64 only,
// so the i686 build merely compiles them.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
// The rule editor created from template 130 on a scratch rule file and a
// scratch settings key, driven with messages; its modal dialogs and message
// boxes are answered by watches, its menus and file dialogs by the seams it
// offers. What it shows and what it leaves in the file is read back.
#include "rules/ui/RuleDlg.h"

#include "base/ColumnWidths.h"
#include "gui/MessagePump.h"
#include "gui/ModalWatch.h"
#include "gui/Screenshot.h"
#include "res/resource.h"
#include "rules/RuleFile.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <tuple>

namespace {

using gui::ModalWatch;
using gui::TextOf;
using Texts = std::vector<std::wstring>;

const wchar_t kWarning[] = L"警告";
const wchar_t kError[] = L"错误";
auto Answer(int button)
{
    return [button](HWND box) { gui::PressButton(box, button); };
}

std::string FileBytes(const std::wstring& path)
{
    std::stringstream ss;
    ss << std::ifstream(std::filesystem::path(path), std::ios::binary).rdbuf();
    return ss.str();
}

// Writes a rule file; `rules` are (group id, description, kind, pattern).
void WriteFile(const std::wstring& path, std::vector<std::pair<int32_t, std::wstring>> groups,
               std::vector<std::tuple<int32_t, std::wstring, uint32_t, std::wstring>> rules)
{
    RuleSet* set = NewRuleSet();
    for (const auto& [group, info, kind, pattern] : rules) {
        PARAM_LIST* params = kind == OperationKind::SetRegistryValue ? BuildParamList(kind, "ww", pattern.c_str(), L"*")
                                                                     : BuildParamList(kind, "w", pattern.c_str());
        const uint16_t action = info == L"临时" ? RuleAction::Accept : RuleAction::Reject;
        const uint16_t log = info == L"临时" ? RuleLog::None : info == L"恶意程序" ? RuleLog::Alert : RuleLog::Log;
        const uint16_t flags = info == L"系统文件" || info == L"启动项" ? RuleFlag::Ask : 0;
        CopyRuleInto(set->entries[0], action, log, flags, group, info.c_str(), params);
    }
    GroupList list;
    for (const auto& [id, name] : groups)
        AddGroup(&list, id, name.c_str(), L"");
    WriteRuleFile(&list, set, path.c_str(), RULE_FILE_ALL_GROUPS);
    FreeRuleSet(set);
}

class RuleEditor : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::wstring unique = std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount());
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"hm_ruledlg_" + unique + L"\\";
        std::filesystem::create_directories(m_folder);
        m_context.ruleFile = m_folder + L"Harrowmere.erd";
        m_context.stateKey.path = L"Software\\HarrowmereRuleDlgTest_" + unique;
        m_context.applyRules = [this] { return ++m_applied, m_applyResult; };
        const uint32_t OpenFile = OperationKind::OpenFile, SetRegistryValue = OperationKind::SetRegistryValue,
                       Execute = OperationKind::Execute;
        WriteFile(m_context.ruleFile, { { 0, L"系统" }, { 1, L"网络" }, { 2, L"Office" } },
                  { { 0, L"系统文件", OpenFile, L"C:\\Windows\\*" }, { 1, L"临时", OpenFile, L"C:\\Temp\\*" },
                    { 0, L"启动项", SetRegistryValue, L"HKEY_LOCAL_MACHINE\\Software\\Run" },
                    { 1, L"恶意程序", Execute, L"*\\evil.exe" }, { 5, L"命令行", Execute, L"*\\cmd.exe" } });

        m_dlg = std::make_unique<CRuleDlg>(m_context);
        m_dlg->SetFileChooser([this](HWND, bool, const std::wstring& name, std::wstring* path) {
            m_offeredName = name;
            *path = m_chosenFile;
            return !m_chosenFile.empty();
        });
        m_dlg->SetMenuTracker([this](HMENU menu, POINT, HWND) {
            m_menuItems.clear();
            for (int i = 0; i < GetMenuItemCount(menu); ++i) {
                wchar_t text[64] = {};
                GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
                m_menuItems.push_back(text);
            }
            return m_menuChoice;
        });
        ASSERT_TRUE(m_dlg->Create(nullptr));
        ShowWindow(m_dlg->Hwnd(), SW_SHOW);
        gui::Pump(50);
    }
    void TearDown() override
    {
        if (m_dlg->IsWindow())
            DestroyWindow(m_dlg->Hwnd());
        m_dlg.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, m_context.stateKey.path.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, m_context.stateKey.path.c_str());
        SetFileAttributesW(m_context.ruleFile.c_str(), FILE_ATTRIBUTE_NORMAL);
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

    void Command(int id) { SendMessageW(m_dlg->Hwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    // Waits until a save has written the file and the window has taken the
    // outcome; false when it does not end.
    bool Saved()
    {
        return gui::PumpUntil([this] { return !m_dlg->IsWindow() || !m_dlg->IsSaving(); }, 10000);
    }
    bool Enabled(int id) { return IsWindowEnabled(m_dlg->Item(id)) != FALSE; }
    std::wstring NodeText(HTREEITEM item)
    {
        wchar_t text[256] = {};
        TVITEMW tv = { TVIF_TEXT, item };
        tv.pszText = text;
        tv.cchTextMax = 256;
        TreeView_GetItem(m_dlg->Tree(), &tv);
        return text;
    }
    // Tree item by its texts from a root ({ L"监控规则分类", L"网络" }).
    HTREEITEM Node(const Texts& path)
    {
        HTREEITEM item = TreeView_GetRoot(m_dlg->Tree());
        for (size_t i = 0; item; ++i, item = TreeView_GetChild(m_dlg->Tree(), item)) {
            while (item && NodeText(item) != path[i])
                item = TreeView_GetNextSibling(m_dlg->Tree(), item);
            if (!item || i + 1 == path.size())
                return item;
        }
        return nullptr;
    }
    Texts Children(const Texts& path)
    {
        Texts texts;
        for (HTREEITEM i = TreeView_GetChild(m_dlg->Tree(), Node(path)); i; i = TreeView_GetNextSibling(m_dlg->Tree(), i))
            texts.push_back(NodeText(i));
        return texts;
    }
    void Select(const Texts& path) { TreeView_SelectItem(m_dlg->Tree(), Node(path)); }
    Texts Column(int column = 0)
    {
        Texts texts;
        for (int row = 0; row < m_dlg->List().RowCount(); ++row)
            texts.push_back(m_dlg->List().Cell(row, column));
        return texts;
    }
    void SelectRow(int row)
    {
        ListView_SetItemState(m_dlg->List().Hwnd(), -1, 0, LVIS_SELECTED);
        ListView_SetItemState(m_dlg->List().Hwnd(), row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    // "description@group" per rule of the file, and its group names.
    Texts FileRules(Texts* groupNames = nullptr)
    {
        GroupList groups;
        RuleSet* set = ReadRuleFile(&groups, m_context.ruleFile.c_str());
        Texts rules;
        ForEachRule(set->entries[0], [&](Rule* r) { rules.push_back(r->info + L"@" + std::to_wstring(r->groupId)); }, -1, -1);
        for (const RuleGroup& g : groups.groups)
            if (groupNames)
                groupNames->push_back(g.name);
        FreeRuleSet(set);
        return rules;
    }

    RULE_EDITOR_CONTEXT m_context;
    std::wstring m_folder;
    std::unique_ptr<CRuleDlg> m_dlg;
    int m_applied = 0;
    RuleApplyResult m_applyResult = RULES_APPLIED;
    std::wstring m_chosenFile, m_offeredName;
    Texts m_menuItems;
    UINT m_menuChoice = 0;
};

TEST_F(RuleEditor, ShowsKindsGroupsRulesAndDetailsOfTheSelection)
{
    EXPECT_EQ(L"Harrowmere 规则编辑器", TextOf(m_dlg->Hwnd()));
    EXPECT_EQ((Texts{ L"运行程序", L"文件操作", L"注册表访问" }), Children({ L"监控操作分类" }));
    EXPECT_EQ((Texts{ L"系统", L"网络", L"Office" }), Children({ L"监控规则分类" }));
    EXPECT_EQ(Node({ L"监控操作分类" }), TreeView_GetSelection(m_dlg->Tree()));
    // Every rule, kind by kind; each column as the row's rule says.
    EXPECT_EQ((Texts{ L"C:\\Windows\\*", L"C:\\Temp\\*", L"HKEY_LOCAL_MACHINE\\Software\\Run", L"*\\evil.exe",
                      L"*\\cmd.exe" }),
              Column(0));
    EXPECT_EQ((Texts{ L"文件操作", L"文件操作", L"注册表访问", L"运行程序", L"运行程序" }), Column(1));
    EXPECT_EQ((Texts{ L"记录", L"无", L"记录", L"显示", L"记录" }), Column(2));
    EXPECT_EQ((Texts{ L"拒绝", L"接受", L"拒绝", L"拒绝", L"拒绝" }), Column(3));
    EXPECT_EQ((Texts{ L"是", L"否", L"是", L"否", L"否" }), Column(4));
    EXPECT_EQ((Texts{ L"系统", L"网络", L"系统", L"网络", L"没有分组" }), Column(5));
    EXPECT_FALSE(Enabled(IDC_RULE_SAVE) || Enabled(IDC_RULE_EDIT_GROUP) || Enabled(IDC_RULE_EDIT_RULE));

    struct Case {
        Texts node, rules;
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
        EXPECT_EQ(c.groupButtons, Enabled(IDC_RULE_EDIT_GROUP) && Enabled(IDC_RULE_DELETE_GROUP)) << c.status;
    }

    // A registry rule's details show both parameters; a file rule's the path only.
    SelectRow(2);
    EXPECT_EQ((Texts{ L"启动项", L"注册表路径:", L"*" }),
              (Texts{ TextOf(m_dlg->Hwnd(), IDC_RULE_INFO), TextOf(m_dlg->Hwnd(), IDC_RULE_PARAM1_LABEL),
                      TextOf(m_dlg->Hwnd(), IDC_RULE_PARAM2) }));
    EXPECT_TRUE(Enabled(IDC_RULE_EDIT_RULE) && Enabled(IDC_RULE_DELETE_RULES) && Enabled(IDC_RULE_MOVE_TO_GROUP));
    SetForegroundWindow(m_dlg->Hwnd());
    SetFocus(m_dlg->List().Hwnd());
    gui::Pump(150);
    gui::SaveScreenshot(m_dlg->Hwnd(), L"rule-editor.bmp");
    SelectRow(3);
    EXPECT_EQ(L"文件路径:", TextOf(m_dlg->Hwnd(), IDC_RULE_PARAM1_LABEL));
    EXPECT_FALSE(IsWindowVisible(m_dlg->Item(IDC_RULE_PARAM2)));
    ListView_SetItemState(m_dlg->List().Hwnd(), -1, 0, LVIS_SELECTED);
    EXPECT_EQ(L"", TextOf(m_dlg->Hwnd(), IDC_RULE_INFO));
    EXPECT_FALSE(Enabled(IDC_RULE_EDIT_RULE));
}

TEST_F(RuleEditor, DeletingAGroupDeletesExactlyItsRulesAndSelectsTheParentRoot)
{
    Select({ L"监控规则分类", L"系统" });
    ModalWatch yes(kWarning, Answer(IDYES));
    Command(IDC_RULE_DELETE_GROUP);
    EXPECT_EQ(L"是否确认删除(系统)组以及该组的所有规则?", yes.BoxText());
    EXPECT_EQ(Node({ L"监控规则分类" }), TreeView_GetSelection(m_dlg->Tree()));
    EXPECT_EQ((Texts{ L"网络", L"Office" }), Children({ L"监控规则分类" }));
    EXPECT_EQ((Texts{ L"C:\\Temp\\*", L"*\\evil.exe", L"*\\cmd.exe" }), Column(0));
    EXPECT_TRUE(m_dlg->IsChanged() && Enabled(IDC_RULE_SAVE));

    Command(IDC_RULE_SAVE);
    ASSERT_TRUE(Saved());
    Texts groups;
    EXPECT_EQ((Texts{ L"临时@1", L"恶意程序@1", L"命令行@5" }), FileRules(&groups));
    EXPECT_EQ((Texts{ L"网络", L"Office" }), groups);
    EXPECT_EQ(1, m_applied);
    EXPECT_FALSE(Enabled(IDC_RULE_SAVE));
}

TEST_F(RuleEditor, ImportTakesOneNewGroupOrRefusesWithAMessage)
{
    const std::wstring same = m_folder + L"same.erd", lower = m_folder + L"case.erd", two = m_folder + L"two.erd",
                       absent = m_folder + L"absent.erd";
    WriteFile(same, { { 7, L"Office" } }, { { 7, L"a", OperationKind::OpenFile, L"D:\\a" } });
    WriteFile(lower, { { 7, L"office" } }, { { 7, L"b", OperationKind::OpenFile, L"D:\\b" } });
    WriteFile(two, { { 7, L"甲" }, { 8, L"乙" } },
              { { 7, L"c", OperationKind::OpenFile, L"D:\\c" }, { 8, L"d", OperationKind::OpenFile, L"D:\\d" } });
    struct Case {
        std::wstring file, message;
        Texts groupsAfter;
    } cases[] = {
        { same, L"组(Office)已经存在.", { L"系统", L"网络", L"Office" } },
        { absent, L"文件(" + absent + L")中没有规则分组.", { L"系统", L"网络", L"Office" } },
        { lower, L"", { L"系统", L"网络", L"Office", L"office" } },
        { two, L"", { L"系统", L"网络", L"Office", L"office", L"甲" } },
    };
    for (const Case& c : cases) {
        m_chosenFile = c.file;
        ModalWatch error(kError, Answer(IDOK));
        Command(IDC_RULE_IMPORT);
        EXPECT_EQ(c.message, error.BoxText()) << c.file;
        EXPECT_EQ(c.groupsAfter, Children({ L"监控规则分类" })) << c.file;
    }
    // The two-group file's rules both went to its one new group.
    Select({ L"监控规则分类", L"甲" });
    EXPECT_EQ((Texts{ L"D:\\c", L"D:\\d" }), Column(0));
    EXPECT_EQ((Texts{ L"甲", L"甲" }), Column(5));

    // Export writes the selected group alone, offered under its name.
    m_chosenFile = m_folder + L"exported.erd";
    Command(IDC_RULE_EXPORT);
    EXPECT_EQ(L"甲", m_offeredName);
    GroupList exported;
    RuleSet* set = ReadRuleFile(&exported, m_chosenFile.c_str());
    EXPECT_EQ(2u, RuleCount(set));
    EXPECT_EQ(1u, exported.groups.size());
    FreeRuleSet(set);
}

TEST_F(RuleEditor, CancelOnCloseKeepsWindowAndChangesAndRefreshKeepsSaveEnabled)
{
    const std::string before = FileBytes(m_context.ruleFile);
    Select({ L"监控规则分类", L"网络" });
    SelectRow(0);
    m_menuChoice = ID_RULE_MOVE_FIRST + 2; // "Office"
    Command(IDC_RULE_MOVE_TO_GROUP);
    EXPECT_EQ((Texts{ L"系统", L"网络", L"Office" }), m_menuItems);
    EXPECT_EQ((Texts{ L"*\\evil.exe" }), Column(0));
    {
        ModalWatch cancel(kWarning, Answer(IDCANCEL));
        SendMessageW(m_dlg->Hwnd(), WM_CLOSE, 0, 0);
        EXPECT_EQ(L"规则已经发生改变,是否需要保存?", cancel.BoxText());
    }
    ASSERT_TRUE(m_dlg->IsWindow());
    EXPECT_TRUE(m_dlg->IsChanged());

    Command(IDC_RULE_REFRESH); // the file's rules again; Save stays enabled
    Select({ L"监控规则分类", L"网络" });
    EXPECT_EQ((Texts{ L"C:\\Temp\\*", L"*\\evil.exe" }), Column(0));
    EXPECT_TRUE(Enabled(IDC_RULE_SAVE));

    ModalWatch no(kWarning, Answer(IDNO)); // closed without writing
    SendMessageW(m_dlg->Hwnd(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(m_dlg->IsWindow());
    EXPECT_EQ(before, FileBytes(m_context.ruleFile));
    EXPECT_EQ(0, m_applied);
}

// A save writes on the worker: until the window has its outcome it says so,
// ignores a second save and a close, and edits made meanwhile stay unsaved; a
// close that saves ends once the file is written.
TEST_F(RuleEditor, WhileASaveWritesTheWindowStaysUsableAndWaitsForIt)
{
    auto moveLastRule = [this](UINT group) {
        SelectRow(4);
        m_menuChoice = ID_RULE_MOVE_FIRST + group;
        Command(IDC_RULE_MOVE_TO_GROUP);
    };
    moveLastRule(1);
    Command(IDC_RULE_SAVE);
    ASSERT_TRUE(m_dlg->IsSaving());
    EXPECT_EQ(L"正在保存规则...", m_dlg->StatusBar().Text(0));
    SendMessageW(m_dlg->Hwnd(), WM_CLOSE, 0, 0); // no question, the window stays
    ASSERT_TRUE(m_dlg->IsWindow());
    moveLastRule(0);
    Command(IDC_RULE_SAVE); // ignored: the first save is still writing
    ASSERT_TRUE(Saved());
    EXPECT_EQ(L"命令行@1", FileRules().back());
    EXPECT_EQ(1, m_applied);
    EXPECT_TRUE(m_dlg->IsChanged() && Enabled(IDC_RULE_SAVE)) << "the later edit is not saved";
    EXPECT_EQ(L"监控操作分类", m_dlg->StatusBar().Text(0)) << "the node is named again";

    Command(IDC_RULE_SAVE);
    ASSERT_TRUE(Saved());
    EXPECT_EQ(L"命令行@0", FileRules().back());
    EXPECT_EQ(2, m_applied);
    EXPECT_FALSE(m_dlg->IsChanged() || Enabled(IDC_RULE_SAVE));

    moveLastRule(1);
    ModalWatch yes(kWarning, Answer(IDYES));
    SendMessageW(m_dlg->Hwnd(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(m_dlg->IsWindow()) << "closes once written";
    ASSERT_TRUE(gui::PumpUntil([this] { return !m_dlg->IsWindow(); }, 10000));
    EXPECT_EQ(L"命令行@1", FileRules().back());
    EXPECT_EQ(3, m_applied);
}

TEST_F(RuleEditor, AFailedSaveKeepsTheEditsAndTheDriverAndARefusedTableIsReported)
{
    SelectRow(4);
    m_menuChoice = ID_RULE_MOVE_FIRST + 1;
    Command(IDC_RULE_MOVE_TO_GROUP);
    const std::string before = FileBytes(m_context.ruleFile);
    SetFileAttributesW(m_context.ruleFile.c_str(), FILE_ATTRIBUTE_READONLY);
    {
        ModalWatch yes(kWarning, Answer(IDYES)); // close, saving: fails, the window stays
        ModalWatch error(kError, Answer(IDOK));
        SendMessageW(m_dlg->Hwnd(), WM_CLOSE, 0, 0);
        ASSERT_TRUE(Saved());
        EXPECT_EQ(L"无法写入规则文件(" + m_context.ruleFile + L"),规则没有保存.", error.BoxText());
    }
    EXPECT_TRUE(m_dlg->IsWindow() && m_dlg->IsChanged() && Enabled(IDC_RULE_SAVE));
    EXPECT_EQ(0, m_applied);
    EXPECT_EQ(before, FileBytes(m_context.ruleFile));

    SetFileAttributesW(m_context.ruleFile.c_str(), FILE_ATTRIBUTE_NORMAL);
    m_applyResult = RULES_REFUSED;
    ModalWatch error(kError, Answer(IDOK));
    Command(IDC_RULE_SAVE);
    ASSERT_TRUE(Saved());
    EXPECT_EQ(L"驱动程序拒绝了新的规则表,新规则没有生效.", error.BoxText());
    EXPECT_EQ(1, m_applied);
    EXPECT_FALSE(m_dlg->IsChanged());
    EXPECT_EQ(L"命令行@1", FileRules().back());
}

TEST_F(RuleEditor, RulesAndGroupsAreMadeEditedAndDeletedThroughTheDialogs)
{
    ModalWatch group(L"新建组", [](HWND d) {
        SetDlgItemTextW(d, IDC_EDIT_GROUP_NAME, L"新组");
        gui::PressButton(d, IDOK);
    });
    Command(IDC_RULE_NEW_GROUP);
    EXPECT_EQ(Node({ L"监控规则分类", L"新组" }), TreeView_GetSelection(m_dlg->Tree()));
    EXPECT_EQ(3, m_dlg->Groups().groups.back().id);

    // Edit without a selected row opens a new rule; unchanged but for the key
    // path it refuses, logs and asks, with value "*", in the selected group.
    ModalWatch rule(L"新建规则", [](HWND d) {
        SetDlgItemTextW(d, IDC_RULE_PARAM1, L"HKEY_CURRENT_USER\\Software\\Test");
        gui::PressButton(d, IDOK);
    });
    Command(IDC_RULE_EDIT_RULE);
    ASSERT_EQ(1, m_dlg->List().RowCount());
    const Rule* made = reinterpret_cast<const Rule*>(m_dlg->List().RowData(0));
    EXPECT_EQ((std::vector<int>{ OperationKind::SetRegistryValue, RuleAction::Reject, RuleLog::Log, RuleFlag::Ask, 3 }),
              (std::vector<int>{ static_cast<int>(RuleKind(made)), made->action, made->log, made->flags, made->groupId }));
    EXPECT_STREQ(L"*", ParamEntryText(ParamEntryAt(made->params, 1)));

    // An OpenFile rule switched to "运行程序" goes to the end of the Execute list.
    Select({ L"监控操作分类" });
    SelectRow(0);
    ModalWatch edit(L"编辑规则", [](HWND d) {
        SendMessageW(GetDlgItem(d, IDC_EDIT_RULE_EXECUTE), BM_CLICK, 0, 0);
        gui::PressButton(d, IDOK);
    });
    SetFocus(m_dlg->List().Hwnd());
    Command(IDOK); // Enter in the list
    Select({ L"监控操作分类", L"运行程序" });
    EXPECT_EQ((Texts{ L"*\\evil.exe", L"*\\cmd.exe", L"C:\\Windows\\*" }), Column(0));

    // Delete in the list asks, then removes the selected rules.
    SelectRow(1);
    ModalWatch yes(kWarning, Answer(IDYES));
    NMLVKEYDOWN key = { { m_dlg->List().Hwnd(), IDC_RULE_LIST, static_cast<UINT>(LVN_KEYDOWN) }, VK_DELETE, 0 };
    SendMessageW(m_dlg->Hwnd(), WM_NOTIFY, IDC_RULE_LIST, reinterpret_cast<LPARAM>(&key));
    EXPECT_EQ(L"是否确认删除选择的规则?", yes.BoxText());
    EXPECT_EQ((Texts{ L"*\\evil.exe", L"C:\\Windows\\*" }), Column(0));
}

TEST_F(RuleEditor, SplitterMovesThePanesWithinItsRangeAndSizeAndWidthsAreKept)
{
    auto rectOf = [this](HWND hwnd) {
        RECT r;
        GetWindowRect(hwnd, &r);
        MapWindowPoints(nullptr, m_dlg->Hwnd(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    HWND splitter = m_dlg->Item(IDC_RULE_SPLITTER), list = m_dlg->List().Hwnd(), info = m_dlg->Item(IDC_RULE_INFO);
    const RECT tree0 = rectOf(m_dlg->Tree()), list0 = rectOf(list), info0 = rectOf(info);
    SendMessageW(splitter, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 5));
    SendMessageW(splitter, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(static_cast<WORD>(static_cast<short>(-999)), 5));
    SendMessageW(splitter, WM_LBUTTONUP, 0, 0);
    EXPECT_EQ(100, rectOf(splitter).left) << "held at the left end of its range";
    const int d = rectOf(splitter).left - tree0.right;
    EXPECT_EQ(tree0.right + d, rectOf(m_dlg->Tree()).right);
    EXPECT_EQ((std::vector<LONG>{ list0.left + d, list0.right, info0.left + d }),
              (std::vector<LONG>{ rectOf(list).left, rectOf(list).right, rectOf(info).left }));

    RECT window;
    GetWindowRect(m_dlg->Hwnd(), &window);
    SetWindowPos(m_dlg->Hwnd(), nullptr, 0, 0, window.right - window.left + 80, window.bottom - window.top + 60,
                 SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(list0.right + 80, rectOf(list).right);
    EXPECT_EQ(tree0.bottom + 60, rectOf(m_dlg->Tree()).bottom);
    RECT client, bar = rectOf(m_dlg->StatusBar().Hwnd());
    GetClientRect(m_dlg->Hwnd(), &client);
    EXPECT_EQ(client.bottom, bar.bottom);
    EXPECT_LE(rectOf(m_dlg->Item(IDC_RULE_NEW_GROUP)).bottom, bar.top) << "the status bar covers no control";
    gui::Pump(100);
    gui::SaveScreenshot(m_dlg->Hwnd(), L"rule-editor-split-and-grown.bmp");

    ListView_SetColumnWidth(list, 0, 222);
    Command(IDCANCEL); // unchanged: closes without a question
    EXPECT_FALSE(m_dlg->IsWindow());
    std::vector<int> widths;
    ASSERT_EQ(0, LoadColumnWidths(m_context.stateKey, L"RuleWndList", 6, NumberListRule::Exact, &widths));
    EXPECT_EQ(222, widths[0]);
    std::wstring placement;
    EXPECT_EQ(0, ReadWindowStateText(m_context.stateKey, L"RuleWnd", &placement));
}

} // namespace

TEST_F(RuleEditor, TheFilterNarrowsAsTypedAndClearingItShowsTheNodeAgain)
{
    HWND filter = m_dlg->Item(IDC_RULE_FILTER);
    ASSERT_TRUE(filter);
    auto type = [filter](const wchar_t* text) { SetWindowTextW(filter, text); };

    // Under the kinds root: every rule, narrowed by description or parameters.
    Select({ L"监控操作分类" });
    const Texts all = Column(0);
    const struct {
        const wchar_t* text;
        Texts rows;
    } cases[] = {
        { L"windows", { L"C:\\Windows\\*" } },
        { L"c:\\", { L"C:\\Windows\\*", L"C:\\Temp\\*" } },
        { L"恶意", { L"*\\evil.exe" } },
        { L"SOFTWARE\\run", { L"HKEY_LOCAL_MACHINE\\Software\\Run" } },
        { L"no such rule", {} },
    };
    for (const auto& c : cases) {
        type(c.text);
        EXPECT_EQ(c.rows, Column(0)) << c.text;
    }
    type(L"");
    EXPECT_EQ(all, Column(0));

    // Within a group, and back to the group's rules when cleared.
    Select({ L"监控规则分类", L"网络" });
    const Texts group = Column(0);
    type(L"EXE");
    EXPECT_EQ((Texts{ L"*\\evil.exe" }), Column(0));
    type(L"");
    EXPECT_EQ(group, Column(0));

    // Ctrl+F anywhere in the window focuses the box with its text selected.
    type(L"temp");
    SetFocus(m_dlg->List().Hwnd());
    BYTE keys[256] = {}, held[256];
    GetKeyboardState(keys);
    std::copy(std::begin(keys), std::end(keys), std::begin(held));
    held[VK_CONTROL] = 0x80;
    SetKeyboardState(held);
    PostMessageW(m_dlg->List().Hwnd(), WM_KEYDOWN, 'F', 0);
    const bool focused = gui::PumpUntil([filter] { return GetFocus() == filter; }, 5000);
    SetKeyboardState(keys);
    EXPECT_TRUE(focused);
    DWORD from = 0, to = 0;
    SendMessageW(filter, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    EXPECT_EQ((std::vector<DWORD>{ 0, 4 }), (std::vector<DWORD>{ from, to }));
}

TEST_F(RuleEditor, FilteredRowsAreEditedDeletedAndSavedAsAnyOther)
{
    HWND filter = m_dlg->Item(IDC_RULE_FILTER);
    Select({ L"监控操作分类" });
    SetWindowTextW(filter, L"cmd");
    SelectRow(0);
    ModalWatch edit(L"编辑规则", [](HWND d) {
        SetDlgItemTextW(d, IDC_RULE_PARAM1, L"*\\cmd2.exe");
        gui::PressButton(d, IDOK);
    });
    Command(IDC_RULE_EDIT_RULE);
    EXPECT_EQ((Texts{ L"*\\cmd2.exe" }), Column(0));

    SetWindowTextW(filter, L"c:\\");
    SelectRow(1);
    EXPECT_EQ(L"临时", TextOf(m_dlg->Hwnd(), IDC_RULE_INFO)) << "the details are the filtered row's";
    ModalWatch yes(kWarning, Answer(IDYES));
    Command(IDC_RULE_DELETE_RULES);
    EXPECT_EQ((Texts{ L"C:\\Windows\\*" }), Column(0));

    Command(IDC_RULE_SAVE);
    ASSERT_TRUE(Saved());
    EXPECT_FALSE(m_dlg->IsChanged());
    EXPECT_EQ((Texts{ L"系统文件@0", L"启动项@0", L"恶意程序@1", L"命令行@5" }), FileRules());
    SetWindowTextW(filter, L"");
    EXPECT_EQ((Texts{ L"C:\\Windows\\*", L"HKEY_LOCAL_MACHINE\\Software\\Run", L"*\\evil.exe", L"*\\cmd2.exe" }),
              Column(0));
}

namespace {

class RuleEditorHits : public RuleEditor {
protected:
    // The row's rule under the kinds root, by its pattern.
    const Rule* RuleOf(const wchar_t* pattern)
    {
        for (int row = 0; row < m_dlg->List().RowCount(); ++row)
            if (m_dlg->List().Cell(row, 0) == pattern)
                return reinterpret_cast<const Rule*>(m_dlg->List().RowData(row));
        return nullptr;
    }
    void ClickHeader(int column)
    {
        NMLISTVIEW click = {};
        click.hdr = { m_dlg->List().Hwnd(), IDC_RULE_LIST, static_cast<UINT>(LVN_COLUMNCLICK) };
        click.iItem = -1;
        click.iSubItem = column;
        SendMessageW(m_dlg->Hwnd(), WM_NOTIFY, IDC_RULE_LIST, reinterpret_cast<LPARAM>(&click));
    }
    // Closes the editor (which stores its widths), stores these texts and
    // opens it again.
    void Reopen(const std::vector<std::pair<const wchar_t*, const wchar_t*>>& stored)
    {
        DestroyWindow(m_dlg->Hwnd());
        for (const auto& [name, text] : stored)
            WriteWindowStateText(m_context.stateKey, name, text);
        m_dlg = std::make_unique<CRuleDlg>(m_context);
        ASSERT_TRUE(m_dlg->Create(nullptr));
    }
};

const int kHitsColumn = 6, kLastHitColumn = 7;

TEST_F(RuleEditorHits, HitColumnsShowTheHitFileAsItChangesAndSortTheList)
{
    Select({ L"监控操作分类" });
    const wchar_t *windows = L"C:\\Windows\\*", *temp = L"C:\\Temp\\*", *run = L"HKEY_LOCAL_MACHINE\\Software\\Run",
                  *evil = L"*\\evil.exe", *cmd = L"*\\cmd.exe";
    EXPECT_EQ(Texts(5, L"0"), Column(kHitsColumn)) << "no hit file: nothing has decided";
    EXPECT_EQ(Texts(5, L""), Column(kLastHitColumn));

    // The guard writes the file while the editor is open.
    const uint64_t t1 = 0x01dd000000000000ull, t2 = t1 + 10000000, t3 = t2 + 10000000;
    const RuleHitMap hits = { { RuleContentKey(RuleOf(windows)), { 5, t1 } },
                              { RuleContentKey(RuleOf(evil)), { 12, t2 } },
                              { RuleContentKey(RuleOf(cmd)), { 5, t3 } } };
    ASSERT_EQ(0, WriteRuleHitFile(RuleHitFilePath(m_context.ruleFile), hits));
    EXPECT_TRUE(gui::PumpUntil([&] { return Column(kHitsColumn) == Texts{ L"5", L"0", L"0", L"12", L"5" }; }, 10000))
        << "read again once changed";
    EXPECT_EQ((Texts{ FormatHitTime(t1), L"", L"", FormatHitTime(t2), FormatHitTime(t3) }), Column(kLastHitColumn));

    const struct {
        int column;
        Texts rows;
    } clicks[] = {
        { kHitsColumn, { evil, windows, cmd, temp, run } }, // most first, equal counts in the rules' order
        { kHitsColumn, { temp, run, windows, cmd, evil } }, // then least first
        { kLastHitColumn, { cmd, evil, windows, temp, run } },
        { 2, { windows, temp, run, evil, cmd } }, // any other column: the rules' order again
    };
    for (const auto& c : clicks) {
        ClickHeader(c.column);
        EXPECT_EQ(c.rows, Column(0)) << c.column;
    }

    // The order holds through the tree and the filter.
    ClickHeader(kHitsColumn);
    Select({ L"监控操作分类", L"运行程序" });
    EXPECT_EQ((Texts{ evil, cmd }), Column(0));
    SetWindowTextW(m_dlg->Item(IDC_RULE_FILTER), L"c:\\");
    Select({ L"监控操作分类" });
    EXPECT_EQ((Texts{ windows, temp }), Column(0));
    SetWindowTextW(m_dlg->Item(IDC_RULE_FILTER), L"");

    // A new description keeps the count; a new pattern is another rule's content.
    Texts before = Column(0);
    auto edit = [this, &before](const wchar_t* pattern, int control, const wchar_t* text) {
        SelectRow(static_cast<int>(std::find(before.begin(), before.end(), pattern) - before.begin()));
        ModalWatch dialog(L"编辑规则", [control, text](HWND d) {
            SetDlgItemTextW(d, control, text);
            gui::PressButton(d, IDOK);
        });
        Command(IDC_RULE_EDIT_RULE);
    };
    edit(evil, IDC_RULE_INFO, L"改过的描述");
    edit(cmd, IDC_RULE_PARAM1, L"*\\cmd2.exe");
    ClickHeader(0);
    EXPECT_EQ((Texts{ windows, temp, run, evil, L"*\\cmd2.exe" }), Column(0));
    EXPECT_EQ((Texts{ L"5", L"0", L"0", L"12", L"0" }), Column(kHitsColumn));
}

TEST_F(RuleEditorHits, HitColumnWidthsAreKeptUnderTheirOwnNameBesideTheSixStoredOnes)
{
    Reopen({ { L"RuleWndList", L"100,81,82,83,84,85" }, { L"RuleWndHitList", L"91" } });
    const std::vector<int> defaults = m_dlg->List().ColumnWidths();
    EXPECT_EQ((std::vector<int>{ 100, 81, 82, 83, 84, 85 }), std::vector<int>(defaults.begin(), defaults.begin() + 6))
        << "six stored widths apply to the six columns";
    ASSERT_EQ(8u, defaults.size());

    Reopen({ { L"RuleWndHitList", L"91,92" } });
    EXPECT_EQ((std::vector<int>{ 100, 81, 82, 83, 84, 85, 91, 92 }), m_dlg->List().ColumnWidths());
    EXPECT_NE(91, defaults[6]) << "a malformed value leaves the hit columns as made";

    ListView_SetColumnWidth(m_dlg->List().Hwnd(), kLastHitColumn, 140);
    DestroyWindow(m_dlg->Hwnd());
    std::wstring six, two;
    ReadWindowStateText(m_context.stateKey, L"RuleWndList", &six);
    ReadWindowStateText(m_context.stateKey, L"RuleWndHitList", &two);
    EXPECT_EQ((Texts{ L"100,81,82,83,84,85", L"91,140" }), (Texts{ six, two }));
}

} // namespace
