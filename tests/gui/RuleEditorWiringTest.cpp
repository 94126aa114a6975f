// Registry set-up with helpers from Vista on; the tests run on x86_64 only,
// so the i686 build merely compiles them.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
// The rule editor as the main window wires it: opened by the tray command
// (one window at a time) and focused on a rule by the prompt's edit-rule
// message. (A save reaching the driver is the end-to-end scenario's.)
#include "base/Config.h"
#include "base/Messages.h"
#include "controls/BalloonHelp.h"
#include "gui/MessagePump.h"
#include "gui/MessageSequence.h"
#include "support/Wait.h"
#include "monitor/HarrowmereDlg.h"
#include "monitor/StatusDlg.h"
#include "res/resource.h"
#include "rules/ui/RuleDlg.h"
#include "rules/RuleFile.h"
#include "watch/AskAnswer.h"
#include "watch/RequestHandling.h"
#include "watch/WatchMain.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <filesystem>
#include <memory>

namespace {

using gui::Pump;

class RuleEditorWiring : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Harrowmere");
        DWORD off = 0;
        RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Harrowmere", L"Hook", REG_DWORD, &off, sizeof(off));
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"hm_wiring_" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        std::filesystem::create_directories(m_folder);
        RuleSet* set = NewRuleSet();
        for (const wchar_t* info : { L"a", L"b" })
            CopyRuleInto(set->entries[0], RuleAction::Reject, RuleLog::Log, 0, 1, info,
                         BuildParamList(OperationKind::OpenFile, "w", info));
        CopyRuleInto(set->entries[0], RuleAction::Reject, RuleLog::Log, 0, 2, L"c",
                     BuildParamList(OperationKind::Execute, "w", L"c"));
        GroupList groups;
        AddGroup(&groups, 1, L"一", L"");
        AddGroup(&groups, 2, L"二", L"");
        ASSERT_EQ(0, WriteRuleFile(&groups, set, (m_folder + HM_RULE_FILE).c_str(), RULE_FILE_ALL_GROUPS));
        FreeRuleSet(set);

        CConfig::DeleteInstance();
        CConfig::Instance()->Load();
        CWatchMain::Instance()->SetProgramFolder(m_folder);
        m_dlg = std::make_unique<CHarrowmereDlg>(nullptr);
        ASSERT_TRUE(m_dlg->Create(nullptr));
        Pump(100);
    }
    void TearDown() override
    {
        CBalloonHelp::Close();
        if (m_dlg && m_dlg->IsWindow())
            SendMessageW(m_dlg->Hwnd(), WM_CLOSE, 0, 0);
        m_dlg.reset();
        Pump(50);
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Harrowmere");
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    CRuleDlg* Editor() { return static_cast<CRuleDlg*>(m_dlg->StatusPage()->RuleEditor()); }
    std::wstring SelectedInfo()
    {
        std::vector<int> rows = Editor()->List().SelectedRows();
        return rows.empty() ? L"" : reinterpret_cast<const Rule*>(Editor()->List().RowData(rows[0]))->info;
    }

    std::wstring m_folder;
    std::unique_ptr<CHarrowmereDlg> m_dlg;
};

TEST_F(RuleEditorWiring, TrayCommandAndStatusLinkShowOneEditorOfTheProgramsRules)
{
    SendMessageW(m_dlg->Hwnd(), WM_COMMAND, ID_TRAY_RULE_EDITOR, 0);
    CRuleDlg* editor = Editor();
    ASSERT_TRUE(editor);
    EXPECT_TRUE(IsWindowVisible(editor->Hwnd()));
    EXPECT_EQ(nullptr, GetParent(editor->Hwnd()));
    EXPECT_EQ(3, editor->List().RowCount());
    ShowWindow(editor->Hwnd(), SW_MINIMIZE);
    SendMessageW(m_dlg->Hwnd(), WM_COMMAND, ID_TRAY_RULE_EDITOR, 0);
    EXPECT_EQ(editor, Editor()) << "the same window again";
    EXPECT_FALSE(IsIconic(editor->Hwnd()));
    SendMessageW(m_dlg->StatusPage()->Hwnd(), WM_COMMAND, MAKEWPARAM(IDC_STATUS_RULE_EDITOR, STN_CLICKED), 0);
    EXPECT_EQ(editor, Editor());
}

TEST_F(RuleEditorWiring, EditRuleMessageFocusesThatRuleAndAStaleIdentityOnlyOpens)
{
    std::shared_ptr<RuleSet> rules = CWatchMain::Instance()->Rules();
    const uint32_t b = rules->entries[0]->rules[OperationKind::OpenFile]->next->id;
    gui::CMessageRecorder recorder({ WM_WATCH_EDIT_RULE, WM_ACTIVATE });
    PostMessageW(m_dlg->Hwnd(), WM_WATCH_EDIT_RULE, b, 0);
    Pump(150);
    ASSERT_TRUE(Editor());
    EXPECT_EQ(L"b", SelectedInfo());
    EXPECT_EQ(L"一", Editor()->StatusBar().Text(0));
    // The message is taken from the queue, then the editor is activated
    // (after whatever window loses the activation).
    EXPECT_TRUE(gui::SequenceMatches(
        recorder.Sequence(), { { WM_WATCH_EDIT_RULE, gui::SEQ_POSTED | gui::SEQ_WINDOW, 0, m_dlg->Hwnd() },
                               { WM_ACTIVATE, gui::SEQ_OPTIONAL | gui::SEQ_WPARAM, WA_INACTIVE },
                               { WM_ACTIVATE, gui::SEQ_SENT | gui::SEQ_WINDOW | gui::SEQ_WPARAM, WA_ACTIVE,
                                 Editor()->Hwnd() } }));

    PostMessageW(m_dlg->Hwnd(), WM_WATCH_EDIT_RULE, 0x7FFFFFF0, 0); // stale
    Pump(100);
    EXPECT_EQ(L"b", SelectedInfo()) << "the open editor is shown as it is";
}

TEST_F(RuleEditorWiring, RuleAPromptWritesReachesTheOpenEditor)
{
    SendMessageW(m_dlg->Hwnd(), WM_COMMAND, ID_TRAY_RULE_EDITOR, 0);
    ASSERT_TRUE(Editor());
    ASSERT_EQ(3u, RuleCount(Editor()->Rules()));
    std::shared_ptr<RuleSet> rules = CWatchMain::Instance()->Rules();
    WatchRequest request;
    request.kind = OperationKind::OpenFile;
    request.param1 = L"C:\\Temp\\x.txt";
    ASSERT_TRUE(CWatchMain::Instance()->AddRuleFromPrompt(rules->entries[0]->rules[OperationKind::OpenFile], request,
                                                          ASK_REFUSE));
    // WM_WATCH_RULES_WRITTEN reaches the main window, which tells the editor.
    EXPECT_TRUE(testwait::WaitUntil([&] { return RuleCount(Editor()->Rules()) == 4; }, 5000,
                                    [] { Pump(testwait::kPollMs); }));
    EXPECT_FALSE(Editor()->IsChanged());
}

} // namespace
