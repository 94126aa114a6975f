// CRuleDlg: the rule editor window (template 130), modeless and resizable. A
// tree of operation kinds and rule groups, the list of the rules of the
// selected node (a virtual list: its rows come from the model as they are
// shown), narrowed by the filter box, with what each rule has decided (from
// the hit file beside the rule file, read again while it changes) and sortable
// by it, the details of the selected rule, and commands for groups, rules,
// import, export, refresh and save. It works on its own copy of the
// rule model, copied from the driver link's rules when they are current with
// the active rule file and read from that file otherwise; a save writes the file and has
// the driver link apply it.
#pragma once

#include "base/JobWorker.h"
#include "base/WindowState.h"
#include "controls/ReportList.h"
#include "controls/ResizableDlg.h"
#include "controls/SplitterControl.h"
#include "controls/StatusBar.h"
#include "controls/TreeView.h"
#include "controls/VxColorStatic.h"
#include "rules/RuleEditing.h"
#include "rules/RuleHits.h"
#include "rules/RuleModel.h"

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <list>
#include <memory>
#include <string>

// What a save reports back from the driver link.
enum RuleApplyResult {
    RULES_APPLIED, // the new rules are in force (or monitoring is off)
    RULES_REFUSED, // the driver refused the new rule table
};

struct RULE_EDITOR_CONTEXT {
    std::wstring ruleFile;   // the active rule file ("Harrowmere.erd" of the program folder)
    WindowStateKey stateKey; // where "RuleWnd", "RuleWndList" and the picker's texts are kept
    // After the rule file was written: reload the driver link's rules and
    // upload them. Null: nothing to apply.
    std::function<RuleApplyResult()> applyRules;
    // The rules the driver link already holds, when they are what the rule
    // file holds now: a new copy of the set (the caller's to free) with its
    // groups appended to `groups`. Null (or no function): the editor reads
    // the file.
    std::function<RuleSet*(GroupList* groups)> currentRules;
};

class CRuleDlg : public CResizableDlg {
public:
    // Shows a popup menu at a screen point for the owner window; returns the
    // chosen command id, 0 when dismissed (TrackPopupMenu by default).
    using MenuTracker = std::function<UINT(HMENU menu, POINT at, HWND owner)>;
    // A file for import (save false) or export (save true), offered under
    // `fileName`; true with the chosen path (the common dialogs by default).
    using FileChooser = std::function<bool(HWND owner, bool save, const std::wstring& fileName, std::wstring* path)>;

    explicit CRuleDlg(RULE_EDITOR_CONTEXT context);
    ~CRuleDlg() override;

    // Selects the group of a rule of another copy of the model and, in its
    // list, the first row of the same content (see RuleHasContent).
    void FocusRule(const RULE_CONTENT& content);

    // The rule file was written by someone else (a prompt added a rule):
    // shows it again at once when nothing is unsaved; with unsaved edits,
    // asks whether to show the file and drop them.
    void RuleFileChanged();

    bool IsChanged() const { return m_changed; }
    // A save is writing the file (on the editor's worker thread).
    bool IsSaving() const { return m_saving; }
    RuleSet* Rules() const { return m_set; }
    const GroupList& Groups() const { return m_groups; }
    HWND Tree() const;
    const CReportList& List() const { return m_list; }
    const CStatusBar& StatusBar() const { return m_status; }

    void SetMenuTracker(MenuTracker tracker) { m_trackMenu = std::move(tracker); }
    void SetFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(int id, int code, HWND control) override;
    BOOL OnNotify(NMHDR* header, LRESULT& result) override;
    BOOL OnTimer(UINT_PTR id) override;
    BOOL OnClose() override;
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnDestroy() override;

private:
    // What a tree node stands for.
    struct Node {
        enum Type { RootKinds, RootGroups, Kind, Group } type;
        uint32_t kind;    // for Kind
        RuleGroup* group; // for Group
    };

    void SetUpControls();
    void LoadModel();
    void FreeModel();
    void BuildTree();
    // The group tree, driven through its wrapper.
    CTreeView Nodes() const;
    HTREEITEM AddNode(HTREEITEM parent, const std::wstring& text, Node node);
    HTREEITEM GroupNode(const RuleGroup* group) const;
    const Node* NodeOf(HTREEITEM item) const;
    const Node* SelectedNode() const;
    RuleGroup* SelectedGroup() const;
    void OnNodeSelected();
    void FillList();
    // Reads the hit file again when its size or time changed since the last
    // reading, and redraws the list.
    void LoadHits();
    RULE_HITS HitsOf(const Rule* rule) const;
    // A click on a column header: the hit columns sort the list by
    // themselves (most first, then least first on the next click); any other
    // column puts the rules back in their order.
    void SortBy(int column);
    std::wstring CellText(const Rule* rule, int column) const;
    void FocusFilter();
    void ShowDetails(const Rule* rule);
    void UpdateRuleButtons();
    std::vector<Rule*> SelectedRules() const;
    void SetChanged(bool changed);
    void MoveSplitter(int delta);

    void NewGroup();
    void EditGroup();
    void DeleteGroup();
    void NewRule();
    void EditRule();
    void DeleteRules();
    void MoveToGroup();
    void Refresh();
    // Starts writing a copy of the rules on the worker; false when nothing
    // was started (a save is running, or the copy could not be made). The
    // edits count as saved once the file is written (OnSaved).
    bool Save();
    void OnSaved();
    void Import();
    void Export();
    void Close();
    void ShowTreeMenu(POINT at);
    void ShowListMenu(POINT at);
    static bool FilterMessage(void* self, const MSG& msg);

    RULE_EDITOR_CONTEXT m_context;
    RuleSet* m_set = nullptr;
    GroupList m_groups;
    bool m_changed = false;
    // Counts edits, so that a save that ends after further edits leaves them
    // unsaved.
    uint64_t m_edits = 0;
    uint64_t m_savedEdits = 0;
    bool m_saving = false;
    bool m_closeAfterSave = false;
    // The code of WriteRuleFile, plus one (0: nothing handed over).
    CHandOver<int> m_saveResult;
    CJobWorker m_saver; // after the hand-over: its job ends first
    RuleHitMap m_hits;
    // Size and last write of the hit file when it was read.
    uint64_t m_hitStamp[2] = {};
    int m_sortColumn = -1; // a hit column, or -1: the rules' order
    bool m_sortDescending = true;

    HTREEITEM m_kindsRoot = nullptr;
    HTREEITEM m_groupsRoot = nullptr;
    std::list<Node> m_nodes; // fixed addresses: the tree items point at them

    CReportList m_list;
    // Texts of the cells that come from the string table, loaded once.
    struct CellTexts {
        std::wstring logNone, logLog, logAlert, accept, reject, askYes, askNo, noGroup;
    } m_cellTexts;
    CStatusBar m_status;
    CSplitterControl m_splitter;
    CVxColorStatic m_treeHeading;
    CVxColorStatic m_listHeading;
    MenuTracker m_trackMenu;
    FileChooser m_chooseFile;
};
