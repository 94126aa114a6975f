// Registry set-up with helpers from Vista on; the tests run on x86_64 only,
// so the i686 build merely compiles them.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
// The group dialog (189) and the rule dialog (181) run modally as the editor
// runs them, answered by watches; what they leave in the model is read back.
#include "rules/ui/EditGroupDlg.h"
#include "rules/ui/EditRuleDlg.h"

#include "gui/MessagePump.h"
#include "gui/ModalWatch.h"
#include "gui/Screenshot.h"
#include "res/resource.h"
#include "rules/ui/InsertRegDlg.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <memory>
#include <string>

namespace {

using gui::ModalWatch;
using gui::PressButton;
using gui::TextOf;

using gui::PumpUntil;

bool Checked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

TEST(EditGroupDialog, NamesAreCheckedOnlyForNewGroups)
{
    GroupList groups;
    AddGroup(&groups, 0, L"系统", L"");
    AddGroup(&groups, 1, L"网络", L"");
    struct Case {
        std::wstring name;   // given: empty for a new group
        const wchar_t* title;
        const wchar_t* typed;
        const wchar_t* error; // the message, or null when OK closes it
    } cases[] = {
        { L"", L"新建组", L"", L"组名称不能为空,请重新输入组名称" },
        { L"", L"新建组", L"系统", L"组(系统)已经存在,请重新输入组名称." },
        { L"", L"新建组", L"SYSTEM", nullptr },
        { L"网络", L"编辑组", L"系统", nullptr }, // renaming to another group's name is accepted
        { L"网络", L"编辑组", L"", L"组名称不能为空,请重新输入组名称" },
    };
    for (const Case& c : cases) {
        std::wstring name = c.name, info = L"说明";
        CEditGroupDlg dialog(&name, &info, &groups);
        std::wstring shownName, shownInfo;
        ModalWatch type(c.title, [&](HWND d) {
            shownName = TextOf(d, IDC_EDIT_GROUP_NAME);
            shownInfo = TextOf(d, IDC_EDIT_GROUP_INFO);
            SetDlgItemTextW(d, IDC_EDIT_GROUP_NAME, c.typed);
            SetDlgItemTextW(d, IDC_EDIT_GROUP_INFO, L"新说明");
            if (!c.error && c.name.empty()) {
                gui::Pump(100);
                gui::SaveScreenshot(d, L"group-dialog.bmp");
            }
            PressButton(d, IDOK);
        });
        ModalWatch error(L"错误", [](HWND box) { PressButton(box, IDOK); });
        ModalWatch cancel(c.title, [](HWND d) { PressButton(d, IDCANCEL); });
        const INT_PTR result = dialog.DoModal(nullptr);
        EXPECT_EQ(c.name, shownName);
        EXPECT_EQ(L"说明", shownInfo);
        EXPECT_EQ(c.error ? c.error : L"", error.BoxText()) << c.typed;
        EXPECT_EQ(c.error ? IDCANCEL : IDOK, result) << c.typed;
        EXPECT_EQ(c.error ? c.name : c.typed, name) << "written back on OK only";
        EXPECT_EQ(c.error ? L"说明" : L"新说明", info);
    }
}

class EditRuleDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_stateKey.path = L"Software\\HarrowmereEditRuleTest_" + std::to_wstring(GetCurrentProcessId());
        m_set = NewRuleSet();
    }
    void TearDown() override
    {
        FreeRuleSet(m_set);
        RegDeleteTreeW(HKEY_CURRENT_USER, m_stateKey.path.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, m_stateKey.path.c_str());
    }
    ProgramEntry* Entry() { return m_set->entries[0]; }

    WindowStateKey m_stateKey;
    RuleSet* m_set = nullptr;
};

TEST_F(EditRuleDialog, NewRuleStartsAsAnAskingRegistryRuleAndNeedsAPath)
{
    CEditRuleDlg dialog(Entry(), nullptr, m_stateKey);
    std::vector<std::wstring> seen;
    ModalWatch first(L"新建规则", [&](HWND d) {
        for (int id : { IDC_EDIT_RULE_REGISTRY, IDC_EDIT_RULE_LOG, IDC_EDIT_RULE_REFUSE, IDC_EDIT_RULE_ASK,
                        IDC_EDIT_RULE_FILE, IDC_EDIT_RULE_NO_LOG, IDC_EDIT_RULE_ALLOW })
            seen.push_back(Checked(d, id) ? L"x" : L"-");
        seen.push_back(TextOf(d, IDC_RULE_PARAM1_LABEL));
        seen.push_back(TextOf(d, IDC_RULE_PARAM2));
        seen.push_back(TextOf(d, IDC_EDIT_RULE_BROWSE));
        gui::Pump(100);
        gui::SaveScreenshot(d, L"rule-dialog-registry.bmp");
        PressButton(d, IDOK); // no key path yet
    });
    ModalWatch registryError(L"错误", [](HWND box) { PressButton(box, IDOK); });
    ModalWatch second(L"新建规则", [&](HWND d) {
        SendMessageW(GetDlgItem(d, IDC_EDIT_RULE_FILE), BM_CLICK, 0, 0);
        seen.push_back(TextOf(d, IDC_RULE_PARAM1_LABEL));
        seen.push_back(IsWindowVisible(GetDlgItem(d, IDC_RULE_PARAM2)) ? L"shown" : L"hidden");
        seen.push_back(TextOf(d, IDC_EDIT_RULE_BROWSE));
        gui::Pump(100);
        gui::SaveScreenshot(d, L"rule-dialog-file.bmp");
        PressButton(d, IDOK);
    });
    ModalWatch fileError(L"错误", [](HWND box) { PressButton(box, IDOK); });
    ModalWatch third(L"新建规则", [](HWND d) {
        SendMessageW(GetDlgItem(d, IDC_EDIT_RULE_REGISTRY), BM_CLICK, 0, 0);
        SetDlgItemTextW(d, IDC_RULE_PARAM1, L"HKEY_CURRENT_USER\\Run");
        PressButton(d, IDOK);
    });
    ASSERT_EQ(IDOK, dialog.DoModal(nullptr));
    EXPECT_EQ((std::vector<std::wstring>{ L"x", L"x", L"x", L"x", L"-", L"-", L"-", L"注册表路径:", L"*",
                                          L"导入注册表路径", L"文件路径:", L"hidden", L"导入文件路径" }),
              seen);
    EXPECT_EQ(L"注册表路径为空,请重新输入", registryError.BoxText());
    EXPECT_EQ(L"文件路径为空,请重新输入", fileError.BoxText());
    // What the new rule holds is checked where the editor makes one.
    EXPECT_EQ(dialog.Result(), Entry()->rules[OperationKind::SetRegistryValue]);
}

TEST_F(EditRuleDialog, ExistingRulesShowTheirFieldsAndKeepWhatTheDialogCannotShow)
{
    Rule* asking = CopyRuleInto(Entry(), RuleAction::Feign, RuleLog::Alert, RuleFlag::Ask | RuleFlag::Scan, 3,
                                L"两者", BuildParamList(OperationKind::Execute, "w", std::wstring(300, L'x').c_str()));
    CEditRuleDlg dialog(Entry(), asking, m_stateKey);
    std::vector<std::wstring> seen;
    ModalWatch watch(L"编辑规则", [&](HWND d) {
        for (int id : { IDC_EDIT_RULE_EXECUTE, IDC_EDIT_RULE_REFUSE, IDC_EDIT_RULE_ASK, IDC_EDIT_RULE_LOG,
                        IDC_EDIT_RULE_NO_LOG })
            seen.push_back(Checked(d, id) ? L"x" : L"-");
        seen.push_back(TextOf(d, IDC_RULE_INFO));
        PressButton(d, IDOK);
    });
    ASSERT_EQ(IDOK, dialog.DoModal(nullptr));
    EXPECT_EQ((std::vector<std::wstring>{ L"x", L"x", L"x", L"-", L"-", L"两者" }), seen);
    EXPECT_EQ(asking, dialog.Result()); // same kind: the same rule in its place
    EXPECT_EQ(RuleFlag::Ask, asking->flags) << "Ask kept, Scan dropped";
    EXPECT_EQ(RuleLog::Alert, asking->log) << "neither log button: unchanged";
    EXPECT_EQ(RuleAction::Reject, asking->action);
    EXPECT_EQ(300u, wcslen(ParamEntryText(ParamEntryAt(asking->params, 0)))) << "a long pattern is not cut";
}

TEST_F(EditRuleDialog, TheRegistryPickerFillsThePathsOrLeavesThemWhenCancelled)
{
    Rule* rule = CopyRuleInto(Entry(), RuleAction::Reject, RuleLog::Log, 0, 0, L"",
                              BuildParamList(OperationKind::SetRegistryValue, "ww", L"HKEY_USERS\\old", L"Old"));
    auto pick = [](bool confirm) {
        return [confirm](HWND hwnd) {
            auto* picker = static_cast<CInsertRegDlg*>(ui::CDialog::FromHandle(hwnd));
            PumpUntil([picker] { return !picker->IsLoading(); });
            HWND tree = picker->Tree();
            // The second hive, HKEY_CURRENT_USER.
            TreeView_SelectItem(tree, TreeView_GetNextSibling(tree, TreeView_GetChild(tree, TreeView_GetRoot(tree))));
            PressButton(hwnd, confirm ? IDOK : IDCANCEL);
        };
    };
    std::vector<std::wstring> seen;
    auto browse = [&seen](bool close) {
        return [&seen, close](HWND d) {
            SendMessageW(GetDlgItem(d, IDC_EDIT_RULE_BROWSE), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
            SendMessageW(GetDlgItem(d, IDC_EDIT_RULE_BROWSE), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
            seen.push_back(TextOf(d, IDC_RULE_PARAM1) + L"|" + TextOf(d, IDC_RULE_PARAM2));
            if (close)
                PressButton(d, IDCANCEL);
        };
    };
    CEditRuleDlg dialog(Entry(), rule, m_stateKey);
    ModalWatch open(L"编辑规则", browse(false));
    ModalWatch cancelled(L"导入注册表路径", pick(false));
    ModalWatch again(L"编辑规则", browse(true));
    ModalWatch confirmed(L"导入注册表路径", pick(true));
    EXPECT_EQ(IDCANCEL, dialog.DoModal(nullptr));
    EXPECT_TRUE(cancelled.Seen() && confirmed.Seen());
    EXPECT_EQ((std::vector<std::wstring>{ L"HKEY_USERS\\old|Old", L"HKEY_CURRENT_USER|*" }), seen);
    EXPECT_STREQ(L"HKEY_USERS\\old", ParamEntryText(ParamEntryAt(rule->params, 0))) << "cancel changes nothing";
}

} // namespace
