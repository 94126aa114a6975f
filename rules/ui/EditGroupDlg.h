// CEditGroupDlg: the modal dialog that creates a rule group (empty name
// given: "新建组", the name must not be taken) or edits one ("编辑组", any
// non-empty name). OK writes the name and description back.
#pragma once

#include "rules/RuleModel.h"
#include "ui/Dialog.h"

#include <string>

class CEditGroupDlg : public ui::CDialog {
public:
    // `name` and `info` are read at opening and written on OK; `groups` is
    // the list a new name is checked against.
    CEditGroupDlg(std::wstring* name, std::wstring* info, const GroupList* groups);

    bool IsNewGroup() const { return m_newGroup; }

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(int id, int code, HWND control) override;

private:
    std::wstring* m_name;
    std::wstring* m_info;
    const GroupList* m_groups;
    bool m_newGroup;
};
