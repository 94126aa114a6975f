// The rule editor in the installed guard: opened by the tray command, a group
// deleted and a file rule added, saved; WatchSim gets the new verdicts at
// once, and the file holds exactly the expected rules. Saving while a prompt
// is open withdraws the prompt instead of freezing behind it. What each rule
// has decided shows in the editor and outlasts a restart of the guard.
#include "base/TextConv.h"
#include "e2e/GuardFixture.h"
#include "res/resource.h"
#include "rules/RuleFile.h"
#include "support/Wait.h"

#include <commctrl.h>

#include <functional>
#include <regex>

namespace e2e {
namespace {

const wchar_t kFrameTitle[] = L"HarrowmereMainFrame";
const wchar_t kEditorTitle[] = L"Harrowmere 规则编辑器";

const wchar_t kRules[] =
    L"<HarrowmereRule Version=\"1\">\r\n"
    L"    <Program Name=\"*\" Hook=\"Enabled\">\r\n"
    L"        <Rule GroupId=\"1\" Info=\"拒绝\" Reason=\"OpenFile\" Action=\"Reject\" Log=\"Log\" Ask=\"Disabled\" Scan=\"Disabled\">\r\n"
    L"            <Param Wildcards=\"C:\\reject\\*\" />\r\n"
    L"        </Rule>\r\n"
    L"        <Rule GroupId=\"2\" Info=\"保留\" Reason=\"OpenFile\" Action=\"Reject\" Log=\"Log\" Ask=\"Disabled\" Scan=\"Disabled\">\r\n"
    L"            <Param Wildcards=\"C:\\keep\\*\" />\r\n"
    L"        </Rule>\r\n"
    L"        <Rule GroupId=\"1\" Info=\"询问运行\" Reason=\"Execute\" Action=\"Reject\" Log=\"Log\" Ask=\"Enabled\" Scan=\"Disabled\">\r\n"
    L"            <Param Wildcards=\"*\\ask.exe\" />\r\n"
    L"        </Rule>\r\n"
    L"        <Group Id=\"1\" Name=\"测试\" Info=\"\" />\r\n"
    L"        <Group Id=\"2\" Name=\"其他\" Info=\"\" />\r\n"
    L"    </Program>\r\n"
    L"</HarrowmereRule>\r\n";

int Verdict(const std::wstring& args)
{
    ToolResult r = RunTool(L"WatchSim.exe", args);
    std::smatch m;
    if (!std::regex_search(r.output, m, std::regex("verdict=([0-9])")))
        return -1;
    return std::stoi(m[1]);
}

// How long the guard's windows may take to answer a step.
const DWORD kStepLimitMs = 20000;

class RuleEditorScenario : public GuardTest {
protected:
    void SetUp() override
    {
        GuardTest::SetUp();
        ResetSettings();
        DeleteProgramFile(L"Harrowmere.log");
        DeleteProgramFile(L"Harrowmere.hits");
        ASSERT_TRUE(WriteProgramFile(L"Harrowmere.erd", WideToAnsi(kRules)));
        StartGuard();
    }
    void StartGuard()
    {
        ASSERT_TRUE(m_guard.Start(L"Harrowmere.exe", L"/background", true));
        ASSERT_TRUE(m_guard.WaitForWindow(kFrameTitle));
    }
    void TearDown() override
    {
        m_guard.Close();
        DeleteProgramFile(L"Harrowmere.hits");
        GuardTest::TearDown();
        CopyFileW((StageDir() + L"Harrowmere.erd").c_str(), (ProgramDir() + L"Harrowmere.erd").c_str(), FALSE);
    }

    // A visible top-level window of the guard with this title.
    HWND Window(const wchar_t* title)
    {
        HWND found = nullptr;
        testwait::WaitUntil([&] {
            for (const WindowInfo& w : TopLevelWindows(m_guard.Pid()))
                if (w.title == title && w.visible && IsWindowEnabled(w.hwnd))
                    found = w.hwnd;
            return found != nullptr;
        }, kStepLimitMs);
        return found;
    }
    HWND FindMain()
    {
        for (const WindowInfo& w : TopLevelWindows(m_guard.Pid()))
            if (w.className == L"#32770" && w.title == L"Harrowmere 2006")
                return w.hwnd;
        return nullptr;
    }
    void Click(HWND dialog, int id) { PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

    // Opens the editor with the tray command and deletes group "其他" or "测试".
    HWND OpenEditorAndDeleteGroup(int groupIndex)
    {
        HWND editor = OpenEditor();
        EXPECT_TRUE(editor);
        HWND tree = GetDlgItem(editor, IDC_RULE_TREE);
        HTREEITEM groups = TreeView_GetNextSibling(tree, TreeView_GetRoot(tree));
        HTREEITEM group = TreeView_GetChild(tree, groups);
        for (int i = 0; i < groupIndex; ++i)
            group = TreeView_GetNextSibling(tree, group);
        TreeView_SelectItem(tree, group);
        Click(editor, IDC_RULE_DELETE_GROUP);
        HWND box = Window(L"警告");
        EXPECT_TRUE(box);
        Click(box, IDYES);
        EXPECT_TRUE(testwait::WaitUntil([&] { return TreeView_GetNextSibling(tree, TreeView_GetChild(tree, groups)) == nullptr; }, kStepLimitMs));
        return editor;
    }
    HWND OpenEditor()
    {
        PostMessageW(FindMain(), WM_COMMAND, ID_TRAY_RULE_EDITOR, 0);
        return Window(kEditorTitle);
    }
    // Waits until the editor's list shows these texts in a column, one per
    // rule in the rules' order; the column as last read.
    std::vector<std::wstring> WaitForColumn(HWND editor, int column, const std::vector<std::wstring>& expected)
    {
        std::vector<std::wstring> texts;
        testwait::WaitUntil([&] {
            texts = RemoteListColumn(GetDlgItem(editor, IDC_RULE_LIST), m_guard.Pid(), column);
            return texts == expected;
        }, kStepLimitMs);
        return texts;
    }
    bool Save(HWND editor)
    {
        Click(editor, IDC_RULE_SAVE);
        return testwait::WaitUntil([&] { return !IsWindowEnabled(GetDlgItem(editor, IDC_RULE_SAVE)); }, 60000);
    }

    Process m_guard;
};

TEST_F(RuleEditorScenario, EditorFromTheTrayDeletesAGroupAddsAFileRuleAndTheDriverAppliesItAtOnce)
{
    EXPECT_EQ(2, Verdict(L"OpenFile C:\\reject\\a.txt"));
    EXPECT_EQ(0, Verdict(L"OpenFile C:\\blocked\\b.txt"));

    HWND editor = OpenEditorAndDeleteGroup(0); // "测试": its two rules go with it
    Click(editor, IDC_RULE_NEW_RULE);
    HWND rule = Window(L"新建规则");
    ASSERT_TRUE(rule);
    SendMessageW(GetDlgItem(rule, IDC_EDIT_RULE_FILE), BM_CLICK, 0, 0);
    SendMessageW(GetDlgItem(rule, IDC_RULE_INFO), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"新的文件规则"));
    SendMessageW(GetDlgItem(rule, IDC_RULE_PARAM1), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"C:\\blocked\\*"));
    SendMessageW(GetDlgItem(rule, IDC_EDIT_RULE_ASK), BM_CLICK, 0, 0); // no prompt for this one
    Click(rule, IDOK);
    ASSERT_TRUE(testwait::WaitUntil([&] { return !IsWindow(rule); }, kStepLimitMs));
    ASSERT_TRUE(Save(editor));

    // No restart: the driver has the new table.
    EXPECT_EQ(2, Verdict(L"OpenFile C:\\blocked\\b.txt"));
    EXPECT_EQ(0, Verdict(L"OpenFile C:\\reject\\a.txt"));
    EXPECT_EQ(2, Verdict(L"OpenFile C:\\keep\\k.txt"));
    EXPECT_EQ(0, Verdict(L"Execute C:\\Temp\\ask.exe"));

    GroupList groups;
    RuleSet* set = ReadRuleFile(&groups, (ProgramDir() + L"Harrowmere.erd").c_str());
    std::vector<std::wstring> rules;
    ForEachRule(set->entries[0], [&rules](Rule* r) {
        wchar_t pattern[64] = {};
        FormatParam(r->params, 0, pattern, 64);
        rules.push_back(r->info + L"|" + pattern + L"|" + std::to_wstring(r->groupId) + L"|" +
                        std::to_wstring(r->action) + std::to_wstring(r->log) + std::to_wstring(r->flags));
    }, -1, -1);
    EXPECT_EQ((std::vector<std::wstring>{ L"保留|C:\\keep\\*|2|210", L"新的文件规则|C:\\blocked\\*|0|210" }), rules);
    ASSERT_EQ(1u, groups.groups.size());
    EXPECT_EQ(L"其他", groups.groups.front().name);
    FreeRuleSet(set);
}

TEST_F(RuleEditorScenario, SavingWhileAPromptIsOpenWithdrawsThePromptAndAppliesTheRules)
{
    Process injection;
    ASSERT_TRUE(injection.Start(L"WatchSim.exe", L"Execute C:\\Temp\\ask.exe", true));
    HWND prompt = Window(L"Harrowmere 监控信息");
    ASSERT_TRUE(prompt) << "no prompt for an asking rule";

    HWND editor = OpenEditorAndDeleteGroup(1); // "其他"
    ASSERT_TRUE(Save(editor));
    // The driver answered the asked request with its preset when the reload
    // stopped it; the prompt was withdrawn rather than left counting down
    // (which would have refused it) with the editor frozen behind it.
    EXPECT_TRUE(testwait::WaitUntil([&] { return !IsWindow(prompt); }, kStepLimitMs));
    injection.WaitForExit(15000);
    EXPECT_NE(std::string::npos, injection.Output().find("verdict=0")) << injection.Output();
    std::string log = ReadProgramFile(L"Harrowmere.log");
    EXPECT_NE(std::string::npos, log.find(u8"(C:\\Temp\\ask.exe) -> 接受")) << log;

    EXPECT_EQ(0, Verdict(L"OpenFile C:\\keep\\k.txt"));
    EXPECT_EQ(2, Verdict(L"OpenFile C:\\reject\\r.txt"));
}

TEST_F(RuleEditorScenario, HitColumnsCountDecisionsThroughTheDriverAcrossARestartAndAChangedRuleStartsAtZero)
{
    const int kHits = 6;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(2, Verdict(L"OpenFile C:\\reject\\a.txt"));
    EXPECT_EQ(2, Verdict(L"OpenFile C:\\keep\\k.txt"));
    EXPECT_EQ(0, Verdict(L"OpenFile C:\\other\\o.txt")) << "no rule: nothing to count";

    // Rows: the two file rules, then the asking one.
    HWND editor = OpenEditor();
    ASSERT_TRUE(editor);
    EXPECT_EQ((std::vector<std::wstring>{ L"3", L"1", L"0" }), WaitForColumn(editor, kHits, { L"3", L"1", L"0" }));
    // Decisions while the editor is open show up there too.
    EXPECT_EQ(2, Verdict(L"OpenFile C:\\keep\\k2.txt"));
    EXPECT_EQ((std::vector<std::wstring>{ L"3", L"2", L"0" }), WaitForColumn(editor, kHits, { L"3", L"2", L"0" }));
    std::vector<std::wstring> last = RemoteListColumn(GetDlgItem(editor, IDC_RULE_LIST), m_guard.Pid(), kHits + 1);
    ASSERT_EQ(3u, last.size());
    EXPECT_FALSE(last[0].empty());
    EXPECT_TRUE(last[2].empty()) << "a rule that never decided has no time";

    // A restart keeps the counts; meanwhile the "keep" rule got a new
    // pattern, which is another content: it starts again at 0.
    ASSERT_NE(-1, m_guard.Close()) << "the guard did not end";
    std::wstring changed = kRules;
    const std::wstring keep = L"C:\\keep\\*";
    changed.replace(changed.find(keep), keep.size(), L"C:\\kept\\*");
    ASSERT_TRUE(WriteProgramFile(L"Harrowmere.erd", WideToAnsi(changed.c_str())));
    StartGuard();
    EXPECT_EQ(2, Verdict(L"OpenFile C:\\reject\\b.txt"));
    editor = OpenEditor();
    ASSERT_TRUE(editor);
    EXPECT_EQ((std::vector<std::wstring>{ L"4", L"0", L"0" }), WaitForColumn(editor, kHits, { L"4", L"0", L"0" }));
    EXPECT_EQ((std::vector<std::wstring>{ L"C:\\reject\\*", L"C:\\kept\\*", L"*\\ask.exe" }),
              RemoteListColumn(GetDlgItem(editor, IDC_RULE_LIST), m_guard.Pid(), 0));
}

} // namespace
} // namespace e2e
