#include "rules/ui/EditRuleDlg.h"

#include "base/ShellDialogs.h"
#include "base/Strings.h"
#include "res/resource.h"
#include "rules/RuleEditing.h"
#include "rules/ui/InsertRegDlg.h"
#include "ui/Window.h"

namespace {

bool Checked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

} // namespace

CEditRuleDlg::CEditRuleDlg(ProgramEntry* entry, Rule* rule, const WindowStateKey& stateKey)
    : ui::CDialog(IDD_EDIT_RULE), m_entry(entry), m_rule(rule), m_stateKey(stateKey),
      m_browser([](HWND owner, std::wstring* path) {
          return BrowseForPath(owner, ui::LoadStr(IDS_RULE_CHOOSE_FOLDER), path);
      })
{
}

BOOL CEditRuleDlg::OnInitDialog()
{
    m_link.CreateOver(Item(IDC_EDIT_RULE_BROWSE));
    m_link.SetCallback([this] { Browse(); });

    if (!m_rule) {
        SetWindowTextW(m_hWnd, ui::LoadStr(IDS_RULE_TITLE_NEW).c_str());
        SetLayout(true);
        CheckDlgButton(m_hWnd, IDC_EDIT_RULE_REGISTRY, BST_CHECKED);
        CheckDlgButton(m_hWnd, IDC_EDIT_RULE_LOG, BST_CHECKED);
        CheckDlgButton(m_hWnd, IDC_EDIT_RULE_REFUSE, BST_CHECKED);
        CheckDlgButton(m_hWnd, IDC_EDIT_RULE_ASK, BST_CHECKED);
        SetDlgItemTextW(m_hWnd, IDC_RULE_PARAM2, L"*");
        return TRUE;
    }

    SetWindowTextW(m_hWnd, ui::LoadStr(IDS_RULE_TITLE_EDIT).c_str());
    SetDlgItemTextW(m_hWnd, IDC_RULE_INFO, m_rule->info.c_str());
    const uint32_t kind = RuleKind(m_rule);
    if (kind == OperationKind::OpenFile || kind == OperationKind::Execute) {
        SetLayout(false);
        SetDlgItemTextW(m_hWnd, IDC_RULE_PARAM1, ParamFullText(m_rule->params, 0).c_str());
    } else if (kind == OperationKind::SetRegistryValue) {
        SetLayout(true);
        SetDlgItemTextW(m_hWnd, IDC_RULE_PARAM1, ParamFullText(m_rule->params, 0).c_str());
        SetDlgItemTextW(m_hWnd, IDC_RULE_PARAM2, ParamFullText(m_rule->params, 1).c_str());
        CheckDlgButton(m_hWnd, IDC_EDIT_RULE_REGISTRY, BST_CHECKED);
    } else {
        return TRUE;
    }
    if (kind == OperationKind::OpenFile)
        CheckDlgButton(m_hWnd, IDC_EDIT_RULE_FILE, BST_CHECKED);
    else if (kind == OperationKind::Execute)
        CheckDlgButton(m_hWnd, IDC_EDIT_RULE_EXECUTE, BST_CHECKED);
    if (m_rule->log == RuleLog::Log)
        CheckDlgButton(m_hWnd, IDC_EDIT_RULE_LOG, BST_CHECKED);
    else if (m_rule->log == RuleLog::None)
        CheckDlgButton(m_hWnd, IDC_EDIT_RULE_NO_LOG, BST_CHECKED);
    CheckDlgButton(m_hWnd, m_rule->action == RuleAction::Accept ? IDC_EDIT_RULE_ALLOW : IDC_EDIT_RULE_REFUSE,
                   BST_CHECKED);
    if (m_rule->flags & RuleFlag::Ask)
        CheckDlgButton(m_hWnd, IDC_EDIT_RULE_ASK, BST_CHECKED);
    return TRUE;
}

void CEditRuleDlg::SetLayout(bool registry)
{
    m_registryLayout = registry;
    SetDlgItemTextW(m_hWnd, IDC_RULE_PARAM1_LABEL,
                    ui::LoadStr(registry ? IDS_RULE_LABEL_REG_PATH : IDS_RULE_LABEL_FILE_PATH).c_str());
    SetDlgItemTextW(m_hWnd, IDC_RULE_PARAM2_LABEL, ui::LoadStr(IDS_RULE_LABEL_REG_NAME).c_str());
    ShowWindow(Item(IDC_RULE_PARAM2_LABEL), registry ? SW_SHOW : SW_HIDE);
    ShowWindow(Item(IDC_RULE_PARAM2), registry ? SW_SHOW : SW_HIDE);
    SetWindowTextW(m_link.Hwnd(), ui::LoadStr(registry ? IDS_RULE_BROWSE_REGISTRY : IDS_RULE_BROWSE_FILE).c_str());
}

void CEditRuleDlg::Browse()
{
    if (!m_registryLayout) {
        std::wstring path;
        if (m_browser && m_browser(m_hWnd, &path))
            SetDlgItemTextW(m_hWnd, IDC_RULE_PARAM1, path.c_str());
        return;
    }
    std::wstring keyPath, valueName, valueData;
    CInsertRegDlg picker(m_stateKey);
    picker.SetResults(&keyPath, &valueName, &valueData);
    if (picker.DoModal(m_hWnd) != IDOK)
        return;
    SetDlgItemTextW(m_hWnd, IDC_RULE_PARAM1, L"");
    SetDlgItemTextW(m_hWnd, IDC_RULE_PARAM2, L"*");
    if (!keyPath.empty())
        SetDlgItemTextW(m_hWnd, IDC_RULE_PARAM1, keyPath.c_str());
    if (!valueName.empty())
        SetDlgItemTextW(m_hWnd, IDC_RULE_PARAM2, valueName.c_str());
}

void CEditRuleDlg::Accept()
{
    uint32_t kind = OperationKind::SetRegistryValue;
    if (Checked(m_hWnd, IDC_EDIT_RULE_FILE))
        kind = OperationKind::OpenFile;
    else if (Checked(m_hWnd, IDC_EDIT_RULE_EXECUTE))
        kind = OperationKind::Execute;
    else if (!Checked(m_hWnd, IDC_EDIT_RULE_REGISTRY) && m_rule)
        kind = RuleKind(m_rule); // a rule of no known kind keeps what it had

    RULE_EDIT edit;
    edit.kind = kind;
    edit.param1 = ui::WindowText(GetDlgItem(m_hWnd, IDC_RULE_PARAM1));
    if (edit.param1.empty()) {
        ui::ErrorBox(m_hWnd, ui::LoadStr(kind == OperationKind::SetRegistryValue ? IDS_RULE_REG_PATH_EMPTY
                                                                                 : IDS_RULE_FILE_PATH_EMPTY));
        SetFocus(Item(IDC_RULE_PARAM1));
        return;
    }
    edit.param2 = ui::WindowText(GetDlgItem(m_hWnd, IDC_RULE_PARAM2));
    edit.info = ui::WindowText(GetDlgItem(m_hWnd, IDC_RULE_INFO));
    edit.ask = Checked(m_hWnd, IDC_EDIT_RULE_ASK);
    // Neither button of a pair chosen (a rule read with log mode Alert):
    // that field stays as it was.
    edit.log = -1;
    if (Checked(m_hWnd, IDC_EDIT_RULE_LOG))
        edit.log = RuleLog::Log;
    else if (Checked(m_hWnd, IDC_EDIT_RULE_NO_LOG))
        edit.log = RuleLog::None;
    edit.action = -1;
    if (Checked(m_hWnd, IDC_EDIT_RULE_ALLOW))
        edit.action = RuleAction::Accept;
    else if (Checked(m_hWnd, IDC_EDIT_RULE_REFUSE))
        edit.action = RuleAction::Reject;
    m_result = ApplyRuleEdit(m_entry, m_rule, edit);
    End(m_result ? IDOK : IDCANCEL);
}

BOOL CEditRuleDlg::OnCommand(int id, int code, HWND control)
{
    switch (id) {
    case IDOK:
        Accept();
        return TRUE;
    case IDC_EDIT_RULE_REGISTRY:
    case IDC_EDIT_RULE_FILE:
    case IDC_EDIT_RULE_EXECUTE:
        if (code == BN_CLICKED)
            SetLayout(id == IDC_EDIT_RULE_REGISTRY);
        return TRUE;
    }
    return ui::CDialog::OnCommand(id, code, control);
}
