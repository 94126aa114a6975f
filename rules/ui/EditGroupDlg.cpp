#include "rules/ui/EditGroupDlg.h"

#include "base/Strings.h"
#include "res/resource.h"
#include "ui/Window.h"

CEditGroupDlg::CEditGroupDlg(std::wstring* name, std::wstring* info, const GroupList* groups)
    : ui::CDialog(IDD_EDIT_GROUP), m_name(name), m_info(info), m_groups(groups), m_newGroup(name->empty())
{
}

BOOL CEditGroupDlg::OnInitDialog()
{
    SetWindowTextW(m_hWnd, ui::LoadStr(m_newGroup ? IDS_GROUP_TITLE_NEW : IDS_GROUP_TITLE_EDIT).c_str());
    SetDlgItemTextW(m_hWnd, IDC_EDIT_GROUP_NAME, m_name->c_str());
    SetDlgItemTextW(m_hWnd, IDC_EDIT_GROUP_INFO, m_info->c_str());
    return TRUE;
}

BOOL CEditGroupDlg::OnCommand(int id, int code, HWND control)
{
    if (id != IDOK)
        return ui::CDialog::OnCommand(id, code, control);
    const std::wstring name = ui::WindowText(GetDlgItem(m_hWnd, IDC_EDIT_GROUP_NAME));
    if (name.empty()) {
        ui::ErrorBox(m_hWnd, ui::LoadStr(IDS_GROUP_NAME_EMPTY));
        SetFocus(Item(IDC_EDIT_GROUP_NAME));
        return TRUE;
    }
    // An edited group may keep its name or take any other.
    if (m_newGroup && FindGroupByName(m_groups, name.c_str())) {
        ui::ErrorBox(m_hWnd, ui::FormatStr(ui::LoadStr(IDS_GROUP_NAME_TAKEN).c_str(), name.c_str()));
        SetFocus(Item(IDC_EDIT_GROUP_NAME));
        return TRUE;
    }
    *m_name = name;
    *m_info = ui::WindowText(GetDlgItem(m_hWnd, IDC_EDIT_GROUP_INFO));
    End(IDOK);
    return TRUE;
}
