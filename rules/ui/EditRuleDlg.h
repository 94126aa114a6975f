// CEditRuleDlg: the modal dialog that creates a rule (in the first entry of
// the editor's set) or edits one. The operation-kind buttons switch between
// the registry layout (key path and value name, "导入注册表路径") and the file
// layout (one path, "导入文件路径"); the link fills the paths from the
// registry path picker or the shell's folder browser.
#pragma once

#include "base/WindowState.h"
#include "controls/VxLinkStatic.h"
#include "rules/RuleModel.h"
#include "ui/Dialog.h"

#include <functional>
#include <string>

class CEditRuleDlg : public ui::CDialog {
public:
    // Picks a file-system path for the file layout; true with the path.
    using PathBrowser = std::function<bool(HWND owner, std::wstring* path)>;

    // `rule`: the rule to edit, a rule of `entry`; null for a new rule, which
    // goes to the end of `entry`'s list of its kind. `stateKey`: where the
    // registry picker keeps its placement and columns.
    CEditRuleDlg(ProgramEntry* entry, Rule* rule, const WindowStateKey& stateKey);

    // After OK: the rule that holds the dialog's fields (the new rule, or a
    // moved one when the kind changed; `rule` itself otherwise).
    Rule* Result() const { return m_result; }
    // The folder browser (tests replace it).
    void SetPathBrowser(PathBrowser browser) { m_browser = std::move(browser); }

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(int id, int code, HWND control) override;

private:
    void SetLayout(bool registry);
    void Browse();
    void Accept();

    ProgramEntry* m_entry;
    Rule* m_rule;
    WindowStateKey m_stateKey;
    Rule* m_result = nullptr;
    PathBrowser m_browser;
    bool m_registryLayout = true;
    CVxLinkStatic m_link;
};
