#include "rules/ui/RuleDlg.h"

#include "base/Messages.h"
#include "base/ShellDialogs.h"
#include "base/Strings.h"
#include "res/resource.h"
#include "rules/ui/EditGroupDlg.h"
#include "rules/ui/EditRuleDlg.h"
#include "rules/RuleFile.h"
#include "ui/MessageLoop.h"
#include "ui/Palette.h"
#include "ui/Window.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace {

const wchar_t kPlacementName[] = L"RuleWnd";
const wchar_t kColumnsName[] = L"RuleWndList";
// The hit columns' widths: the six of "RuleWndList" stay as they were.
const wchar_t kHitColumnsName[] = L"RuleWndHitList";
// How often the hit file is looked at: the guard writes it at most once a
// second.
const UINT_PTR kHitTimer = 1;
const UINT kHitPollMs = 1000;
const int kStatusPaneWidth = 200;
const int kSplitterMin = 100, kSplitterMax = 300;
const int kSummaryChars = 128;

// Kinds under "监控操作分类", in this order.
const uint32_t kTreeKinds[] = { OperationKind::Execute, OperationKind::OpenFile, OperationKind::SetRegistryValue };

// Rule buttons, detail labels and edits: they move right with the splitter.
const int kMovingControls[] = { IDC_RULE_NEW_RULE, IDC_RULE_EDIT_RULE, IDC_RULE_DELETE_RULES,
                                IDC_RULE_MOVE_TO_GROUP, IDC_RULE_INFO_LABEL, IDC_RULE_PARAM1_LABEL,
                                IDC_RULE_PARAM2_LABEL };
const int kDetailEdits[] = { IDC_RULE_INFO, IDC_RULE_PARAM1, IDC_RULE_PARAM2 };
const int kRuleButtons[] = { IDC_RULE_EDIT_RULE, IDC_RULE_DELETE_RULES, IDC_RULE_MOVE_TO_GROUP };

enum RuleColumn { COLUMN_SUMMARY, COLUMN_KIND, COLUMN_LOG, COLUMN_ACTION, COLUMN_ASK, COLUMN_GROUP,
                  COLUMN_HITS, COLUMN_LAST_HIT };
const int kRuleColumns = COLUMN_HITS;  // the six whose widths "RuleWndList" keeps
const int kHitColumns = 2;

bool IsHitColumn(int column)
{
    return column == COLUMN_HITS || column == COLUMN_LAST_HIT;
}

// Size and last write time of a file; zeros when it is missing.
void FileStamp(const std::wstring& path, uint64_t stamp[2])
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        stamp[0] = stamp[1] = 0;
        return;
    }
    stamp[0] = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp[1] = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

} // namespace

CRuleDlg::CRuleDlg(RULE_EDITOR_CONTEXT context)
    : CResizableDlg(IDD_RULE_EDITOR), m_context(std::move(context)), m_trackMenu(ui::TrackMenu),
      m_chooseFile([](HWND owner, bool save, const std::wstring& fileName, std::wstring* path) {
          return ChooseFile(owner, save, ui::LoadStr(IDS_RULE_FILE_FILTER), L"erd", fileName, path);
      })
{
    SetPlacementStore(m_context.stateKey, kPlacementName);
}

CRuleDlg::~CRuleDlg()
{
    FreeModel();
}

HWND CRuleDlg::Tree() const
{
    return Item(IDC_RULE_TREE);
}

CTreeView CRuleDlg::Nodes() const
{
    return CTreeView(Tree());
}

// ---- opening and the model -----------------------------------------------------

BOOL CRuleDlg::OnInitDialog()
{
    CResizableDlg::OnInitDialog();
    SetUpControls();
    LoadModel();
    BuildTree();
    m_list.RestoreColumnWidths(m_context.stateKey, kColumnsName, NumberListRule::Exact, 0, kRuleColumns);
    m_list.RestoreColumnWidths(m_context.stateKey, kHitColumnsName, NumberListRule::Exact, kRuleColumns, kHitColumns);
    RestorePlacement();
    SetTimer(m_hWnd, kHitTimer, kHitPollMs, nullptr);
    ui::AddMessageFilter(m_hWnd, FilterMessage, this);
    return TRUE;
}

void CRuleDlg::SetUpControls()
{
    ui::SetWindowIcons(m_hWnd, IDI_MAINFRAME);
    m_status.Create(m_hWnd, IDC_RULE_STATUS_BAR, { kStatusPaneWidth }, true);
    ShowSizeGrip(false); // the status bar has its own

    m_treeHeading.CreateOver(Item(IDC_RULE_TREE_HEADING));
    m_listHeading.CreateOver(Item(IDC_RULE_LIST_HEADING));
    for (CVxColorStatic* heading : { &m_treeHeading, &m_listHeading }) {
        heading->SetBackColour(ui::palette::kBand);
        heading->SetTextColour(ui::palette::kHeadingText);
    }
    m_splitter.CreateOver(Item(IDC_RULE_SPLITTER));
    m_splitter.SetRange(kSplitterMin, kSplitterMax);
    m_splitter.SetNotifyMessage(WM_RULE_SPLITTER_MOVED);

    m_cellTexts = { ui::LoadStr(IDS_RULE_LOG_NONE),      ui::LoadStr(IDS_RULE_LOG_LOG),
                    ui::LoadStr(IDS_RULE_LOG_ALERT),     ui::LoadStr(IDS_RULE_ACTION_ACCEPT),
                    ui::LoadStr(IDS_RULE_ACTION_REJECT), ui::LoadStr(IDS_RULE_ASK_YES),
                    ui::LoadStr(IDS_RULE_ASK_NO),        ui::LoadStr(IDS_RULE_NO_GROUP) };
    SetDlgItemTextW(m_hWnd, IDC_RULE_FILTER_LABEL, ui::LoadStr(IDS_RULE_FILTER_LABEL).c_str());
    m_list.Attach(Item(IDC_RULE_LIST), LVS_EX_GRIDLINES | LVS_EX_FLATSB);
    m_list.SetColumns({ { ui::LoadStr(IDS_RULE_COLUMN_SUMMARY), 300 },
                        { ui::LoadStr(IDS_RULE_COLUMN_KIND), 80 },
                        { ui::LoadStr(IDS_RULE_COLUMN_LOG), 80 },
                        { ui::LoadStr(IDS_RULE_COLUMN_ACTION), 80 },
                        { ui::LoadStr(IDS_RULE_COLUMN_ASK), 80 },
                        { ui::LoadStr(IDS_RULE_COLUMN_GROUP), 80 },
                        { ui::LoadStr(IDS_RULE_COLUMN_HITS), 70 },
                        { ui::LoadStr(IDS_RULE_COLUMN_LAST_HIT), 130 } });

    for (int id : { IDC_RULE_REFRESH, IDC_RULE_SAVE, IDC_RULE_IMPORT, IDC_RULE_EXPORT, IDC_RULE_FILTER_LABEL })
        AddAnchor(id, ANCHOR_TOP_LEFT, ANCHOR_TOP_LEFT);
    AddAnchor(IDC_RULE_FILTER, ANCHOR_TOP_LEFT, ANCHOR_TOP_RIGHT);
    AddAnchor(m_treeHeading.Hwnd(), ANCHOR_TOP_LEFT, ANCHOR_TOP_LEFT);
    AddAnchor(m_listHeading.Hwnd(), ANCHOR_TOP_LEFT, ANCHOR_TOP_RIGHT);
    AddAnchor(IDC_RULE_TREE, ANCHOR_TOP_LEFT, ANCHOR_BOTTOM_LEFT);
    AddAnchor(m_splitter.Hwnd(), ANCHOR_TOP_LEFT, ANCHOR_BOTTOM_LEFT);
    AddAnchor(IDC_RULE_LIST, ANCHOR_TOP_LEFT, ANCHOR_BOTTOM_RIGHT);
    for (int id : kMovingControls)
        AddAnchor(id, ANCHOR_BOTTOM_LEFT, ANCHOR_BOTTOM_LEFT);
    for (int id : kDetailEdits)
        AddAnchor(id, ANCHOR_BOTTOM_LEFT, ANCHOR_BOTTOM_RIGHT);
    for (int id : { IDC_RULE_NEW_GROUP, IDC_RULE_EDIT_GROUP, IDC_RULE_DELETE_GROUP })
        AddAnchor(id, ANCHOR_BOTTOM_LEFT, ANCHOR_BOTTOM_LEFT);
}

void CRuleDlg::LoadModel()
{
    // The driver link's copy spares parsing the file again.
    if (m_context.currentRules)
        m_set = m_context.currentRules(&m_groups);
    if (!m_set) {
        ClearGroups(&m_groups);
        m_set = ReadRuleFile(&m_groups, m_context.ruleFile.c_str());
    }
    if (!m_set)
        m_set = NewRuleSet();
    m_hitStamp[0] = m_hitStamp[1] = UINT64_MAX; // read whatever is there
    LoadHits();
}

void CRuleDlg::LoadHits()
{
    const std::wstring path = RuleHitFilePath(m_context.ruleFile);
    uint64_t stamp[2];
    FileStamp(path, stamp);
    if (stamp[0] == m_hitStamp[0] && stamp[1] == m_hitStamp[1])
        return;
    m_hitStamp[0] = stamp[0];
    m_hitStamp[1] = stamp[1];
    m_hits = ReadRuleHitFile(path);
    if (m_list.Hwnd())
        InvalidateRect(m_list.Hwnd(), nullptr, FALSE);
}

RULE_HITS CRuleDlg::HitsOf(const Rule* rule) const
{
    auto found = m_hits.find(RuleContentKey(rule));
    return found == m_hits.end() ? RULE_HITS() : found->second;
}

void CRuleDlg::FreeModel()
{
    FreeRuleSet(m_set);
    m_set = nullptr;
    ClearGroups(&m_groups);
}

HTREEITEM CRuleDlg::AddNode(HTREEITEM parent, const std::wstring& text, Node node)
{
    m_nodes.push_back(node);
    return Nodes().Insert(parent, text, reinterpret_cast<LPARAM>(&m_nodes.back()));
}

void CRuleDlg::BuildTree()
{
    m_list.DeleteAllRows();
    Nodes().DeleteAll();
    m_nodes.clear();
    m_kindsRoot = AddNode(TVI_ROOT, ui::LoadStr(IDS_RULE_ROOT_KINDS), Node{ Node::RootKinds, 0, nullptr });
    for (uint32_t kind : kTreeKinds)
        AddNode(m_kindsRoot, OperationDisplayName(kind), Node{ Node::Kind, kind, nullptr });
    m_groupsRoot = AddNode(TVI_ROOT, ui::LoadStr(IDS_RULE_ROOT_GROUPS), Node{ Node::RootGroups, 0, nullptr });
    for (RuleGroup& group : m_groups.groups)
        AddNode(m_groupsRoot, group.name, Node{ Node::Group, 0, &group });
    Nodes().Expand(m_kindsRoot);
    Nodes().Expand(m_groupsRoot);
    Nodes().Select(m_kindsRoot);
    OnNodeSelected();
}

const CRuleDlg::Node* CRuleDlg::NodeOf(HTREEITEM item) const
{
    LPARAM data = 0;
    return Nodes().Data(item, &data) ? reinterpret_cast<const Node*>(data) : nullptr;
}

const CRuleDlg::Node* CRuleDlg::SelectedNode() const
{
    return NodeOf(Nodes().Selected());
}

RuleGroup* CRuleDlg::SelectedGroup() const
{
    const Node* node = SelectedNode();
    return node && node->type == Node::Group ? node->group : nullptr;
}

HTREEITEM CRuleDlg::GroupNode(const RuleGroup* group) const
{
    const CTreeView nodes = Nodes();
    for (HTREEITEM item = nodes.FirstChild(m_groupsRoot); item; item = nodes.NextSibling(item)) {
        const Node* node = NodeOf(item);
        if (node && node->group == group)
            return item;
    }
    return nullptr;
}

// ---- showing ------------------------------------------------------------------

std::wstring CRuleDlg::CellText(const Rule* rule, int column) const
{
    if (!rule)
        return std::wstring();
    switch (column) {
    case COLUMN_SUMMARY: {
        wchar_t summary[kSummaryChars + 1] = {};
        FormatParam(rule->params, 0, summary, kSummaryChars + 1);
        return summary;
    }
    case COLUMN_KIND:
        return OperationDisplayName(RuleKind(rule));
    case COLUMN_LOG:
        return rule->log == RuleLog::Log     ? m_cellTexts.logLog
               : rule->log == RuleLog::Alert ? m_cellTexts.logAlert
                                             : m_cellTexts.logNone;
    case COLUMN_ACTION:
        return rule->action == RuleAction::Accept ? m_cellTexts.accept : m_cellTexts.reject;
    case COLUMN_ASK:
        return (rule->flags & RuleFlag::Ask) ? m_cellTexts.askYes : m_cellTexts.askNo;
    case COLUMN_GROUP: {
        const RuleGroup* group = rule->groupId < 0 ? nullptr : FindGroupById(&m_groups, rule->groupId);
        return group ? group->name : m_cellTexts.noGroup;
    }
    case COLUMN_HITS:
        return std::to_wstring(HitsOf(rule).count);
    case COLUMN_LAST_HIT:
        return FormatHitTime(HitsOf(rule).lastHit);
    }
    return std::wstring();
}

void CRuleDlg::OnNodeSelected()
{
    HTREEITEM item = Nodes().Selected();
    const Node* node = NodeOf(item);
    const bool group = node && node->type == Node::Group;
    EnableWindow(Item(IDC_RULE_EDIT_GROUP), group);
    EnableWindow(Item(IDC_RULE_DELETE_GROUP), group);
    m_status.SetText(0, group ? node->group->name : (item ? Nodes().Text(item) : std::wstring()));
    FillList();
}

void CRuleDlg::FillList()
{
    const Node* node = SelectedNode();
    int32_t groupId = -1, kind = -1;
    if (node && node->type == Node::Kind)
        kind = static_cast<int32_t>(node->kind);
    if (node && node->type == Node::Group)
        groupId = node->group->id;
    // The rows of the selected node, narrowed by the filter box's text.
    std::vector<LPARAM> rows;
    if (node && m_set && m_set->count > 0) {
        const std::wstring folded = FoldCase(ui::WindowText(Item(IDC_RULE_FILTER)));
        for (Rule* rule : CollectRules(m_set->entries[0], groupId, kind)) {
            if (RuleContainsText(rule, folded))
                rows.push_back(reinterpret_cast<LPARAM>(rule));
        }
    }
    if (IsHitColumn(m_sortColumn)) {
        // Each rule's counts looked up once, not at every comparison; equal
        // ones keep the rules' order.
        std::vector<std::pair<uint64_t, LPARAM>> keyed;
        keyed.reserve(rows.size());
        for (LPARAM row : rows) {
            const RULE_HITS hits = HitsOf(reinterpret_cast<const Rule*>(row));
            keyed.emplace_back(m_sortColumn == COLUMN_HITS ? hits.count : hits.lastHit, row);
        }
        const bool descending = m_sortDescending;
        std::stable_sort(keyed.begin(), keyed.end(), [descending](const auto& a, const auto& b) {
            return descending ? a.first > b.first : a.first < b.first;
        });
        for (size_t i = 0; i < keyed.size(); ++i)
            rows[i] = keyed[i].second;
    }
    m_list.SetVirtualRows(std::move(rows));
    UpdateRuleButtons();
}

void CRuleDlg::SortBy(int column)
{
    if (!IsHitColumn(column)) {
        if (m_sortColumn < 0)
            return;
        m_sortColumn = -1;
    } else if (column == m_sortColumn) {
        m_sortDescending = !m_sortDescending;
    } else {
        m_sortColumn = column;
        m_sortDescending = true;
    }
    FillList();
}

void CRuleDlg::FocusFilter()
{
    HWND filter = Item(IDC_RULE_FILTER);
    SetFocus(filter);
    SendMessageW(filter, EM_SETSEL, 0, -1);
}

void CRuleDlg::ShowDetails(const Rule* rule)
{
    if (!rule) {
        for (int id : kDetailEdits)
            SetDlgItemTextW(m_hWnd, id, L"");
        return;
    }
    SetDlgItemTextW(m_hWnd, IDC_RULE_INFO, rule->info.c_str());
    const bool registry = RuleKind(rule) == OperationKind::SetRegistryValue;
    SetDlgItemTextW(m_hWnd, IDC_RULE_PARAM1_LABEL,
                    ui::LoadStr(registry ? IDS_RULE_LABEL_REG_PATH : IDS_RULE_LABEL_FILE_PATH).c_str());
    SetDlgItemTextW(m_hWnd, IDC_RULE_PARAM1, ParamFullText(rule->params, 0).c_str());
    SetDlgItemTextW(m_hWnd, IDC_RULE_PARAM2_LABEL, ui::LoadStr(IDS_RULE_LABEL_REG_NAME).c_str());
    SetDlgItemTextW(m_hWnd, IDC_RULE_PARAM2, registry ? ParamFullText(rule->params, 1).c_str() : L"");
    ShowWindow(Item(IDC_RULE_PARAM2_LABEL), registry ? SW_SHOW : SW_HIDE);
    ShowWindow(Item(IDC_RULE_PARAM2), registry ? SW_SHOW : SW_HIDE);
}

void CRuleDlg::UpdateRuleButtons()
{
    const bool any = m_list.SelectedCount() > 0;
    for (int id : kRuleButtons)
        EnableWindow(Item(id), any);
    if (!any)
        ShowDetails(nullptr);
}

std::vector<Rule*> CRuleDlg::SelectedRules() const
{
    std::vector<Rule*> rules;
    for (int row : m_list.SelectedRows())
        rules.push_back(reinterpret_cast<Rule*>(m_list.RowData(row)));
    return rules;
}

void CRuleDlg::SetChanged(bool changed)
{
    if (changed)
        ++m_edits;
    m_changed = changed;
    EnableWindow(Item(IDC_RULE_SAVE), changed);
}

void CRuleDlg::FocusRule(const RULE_CONTENT& content)
{
    // The rule is looked for among all rows of its node: no filter may hide it.
    SetDlgItemTextW(m_hWnd, IDC_RULE_FILTER, L"");
    const RuleGroup* group = content.groupId < 0 ? nullptr : FindGroupById(&m_groups, content.groupId);
    HTREEITEM node = group ? GroupNode(group) : nullptr;
    Nodes().Select(node ? node : m_kindsRoot);
    if (node)
        Nodes().Expand(node);
    OnNodeSelected();
    m_list.ClearSelection();
    for (int row = 0, n = m_list.RowCount(); row < n; ++row) {
        if (RuleHasContent(reinterpret_cast<const Rule*>(m_list.RowData(row)), content)) {
            m_list.SelectRow(row);
            SetFocus(m_list.Hwnd());
            break;
        }
    }
}

void CRuleDlg::MoveSplitter(int d)
{
    ShiftAnchor(m_splitter.Hwnd(), d, 0, d, 0, false);
    ShiftAnchor(Tree(), 0, 0, d, 0, false);
    ShiftAnchor(m_treeHeading.Hwnd(), 0, 0, d, 0, false);
    ShiftAnchor(m_list.Hwnd(), d, 0, 0, 0, false);
    ShiftAnchor(m_listHeading.Hwnd(), d, 0, 0, 0, false);
    for (int id : kMovingControls)
        ShiftAnchor(Item(id), d, 0, d, 0, false);
    for (int id : kDetailEdits)
        ShiftAnchor(Item(id), d, 0, 0, 0, false);
    ArrangeLayout();
}

// ---- commands -----------------------------------------------------------------

void CRuleDlg::NewGroup()
{
    std::wstring name, info;
    CEditGroupDlg dialog(&name, &info, &m_groups);
    if (dialog.DoModal(m_hWnd) != IDOK)
        return;
    RuleGroup* group = AddGroup(&m_groups, -1, name.c_str(), info.c_str());
    if (!group)
        return;
    HTREEITEM item = AddNode(m_groupsRoot, group->name, Node{ Node::Group, 0, group });
    Nodes().Expand(m_groupsRoot);
    Nodes().Select(item);
    SetChanged(true);
}

void CRuleDlg::EditGroup()
{
    RuleGroup* group = SelectedGroup();
    if (!group)
        return;
    std::wstring name = group->name, info = group->info;
    CEditGroupDlg dialog(&name, &info, &m_groups);
    if (dialog.DoModal(m_hWnd) != IDOK)
        return;
    group->name = name;
    group->info = info;
    Nodes().SetText(GroupNode(group), group->name);
    m_status.SetText(0, group->name);
    FillList();
    SetChanged(true);
}

void CRuleDlg::DeleteGroup()
{
    RuleGroup* group = SelectedGroup();
    if (!group)
        return;
    HTREEITEM item = GroupNode(group);
    const std::wstring text = ui::FormatStr(ui::LoadStr(IDS_RULE_CONFIRM_DELETE_GROUP).c_str(),
                                            Nodes().Text(item).c_str());
    if (ui::WarningBox(m_hWnd, text, MB_YESNO) != IDYES)
        return;
    // The parent first: nothing may show the group once it is gone.
    Nodes().Select(m_groupsRoot);
    m_list.DeleteAllRows();
    Nodes().Delete(item);
    m_nodes.remove_if([group](const Node& n) { return n.group == group; });
    DeleteGroupWithRules(m_set->entries[0], &m_groups, group);
    OnNodeSelected();
    SetChanged(true);
}

void CRuleDlg::NewRule()
{
    CEditRuleDlg dialog(m_set->entries[0], nullptr, m_context.stateKey);
    if (dialog.DoModal(m_hWnd) != IDOK || !dialog.Result())
        return;
    if (RuleGroup* group = SelectedGroup())
        dialog.Result()->groupId = group->id;
    else
        dialog.Result()->groupId = 0;
    FillList();
    SetChanged(true);
}

void CRuleDlg::EditRule()
{
    std::vector<Rule*> rules = SelectedRules();
    if (rules.empty()) {
        NewRule();
        return;
    }
    CEditRuleDlg dialog(m_set->entries[0], rules[0], m_context.stateKey);
    if (dialog.DoModal(m_hWnd) != IDOK)
        return;
    FillList();
    SetChanged(true);
}

void CRuleDlg::DeleteRules()
{
    std::vector<Rule*> rules = SelectedRules();
    if (rules.empty())
        return;
    if (ui::WarningBox(m_hWnd, ui::LoadStr(IDS_RULE_CONFIRM_DELETE_RULES), MB_YESNO) != IDYES)
        return;
    m_list.DeleteAllRows();
    RemoveRules(m_set->entries[0], rules);
    FillList();
    SetChanged(true);
}

void CRuleDlg::MoveToGroup()
{
    std::vector<Rule*> rules = SelectedRules();
    if (rules.empty()) {
        ui::ErrorBox(m_hWnd, ui::LoadStr(IDS_RULE_SELECT_TO_MOVE));
        return;
    }
    HMENU menu = CreatePopupMenu();
    std::vector<const RuleGroup*> groups;
    for (const RuleGroup& group : m_groups.groups) {
        AppendMenuW(menu, MF_STRING, ID_RULE_MOVE_FIRST + groups.size(), group.name.c_str());
        groups.push_back(&group);
    }
    POINT at;
    GetCursorPos(&at);
    const UINT chosen = m_trackMenu(menu, at, m_hWnd);
    DestroyMenu(menu);
    if (chosen < ID_RULE_MOVE_FIRST || chosen - ID_RULE_MOVE_FIRST >= groups.size())
        return;
    for (Rule* rule : rules)
        rule->groupId = groups[chosen - ID_RULE_MOVE_FIRST]->id;
    FillList();
    SetChanged(true);
}

void CRuleDlg::Refresh()
{
    m_list.DeleteAllRows();
    Nodes().DeleteAll();
    m_nodes.clear();
    FreeModel();
    LoadModel();
    BuildTree();
}

void CRuleDlg::RuleFileChanged()
{
    if (m_changed && ui::WarningBox(m_hWnd, ui::LoadStr(IDS_RULE_FILE_CHANGED), MB_YESNO) != IDYES)
        return;
    Refresh();
    SetChanged(false);
}

bool CRuleDlg::Save()
{
    if (m_saving)
        return false; // one save at a time: the running one writes first
    if (!m_changed)
        return true;
    // The job writes its own copy: the window stays usable meanwhile, and
    // edits made while it writes stay unsaved.
    RuleSet* copy = CopyRuleSet(m_set);
    if (!copy) {
        ui::ErrorBox(m_hWnd, ui::FormatStr(ui::LoadStr(IDS_RULE_SAVE_FAILED).c_str(), m_context.ruleFile.c_str()));
        return false;
    }
    auto groups = std::make_shared<GroupList>(m_groups);
    m_saving = true;
    m_savedEdits = m_edits;
    m_status.SetText(0, ui::LoadStr(IDS_RULE_SAVING));
    HWND window = m_hWnd;
    const std::wstring file = m_context.ruleFile;
    m_saver.Post([this, copy, groups, window, file](const std::atomic<bool>&) {
        // A failed write changes nothing: the file stays as it was.
        const int code = WriteRuleFile(groups.get(), copy, file.c_str(), RULE_FILE_ALL_GROUPS);
        FreeRuleSet(copy);
        ClearGroups(groups.get());
        m_saveResult.Put(code + 1, window, WM_RULE_SAVED);
    });
    return true;
}

void CRuleDlg::OnSaved()
{
    const int result = m_saveResult.Take();
    if (!m_saving || result == 0)
        return;
    m_saving = false;
    const bool close = std::exchange(m_closeAfterSave, false);
    // The status pane names the selected node again.
    const Node* node = SelectedNode();
    HTREEITEM item = Nodes().Selected();
    m_status.SetText(0, node && node->type == Node::Group ? node->group->name
                                                          : (item ? Nodes().Text(item) : std::wstring()));
    if (result - 1 != 0) {
        // The driver keeps its rules and the edits stay unsaved.
        ui::ErrorBox(m_hWnd, ui::FormatStr(ui::LoadStr(IDS_RULE_SAVE_FAILED).c_str(), m_context.ruleFile.c_str()));
        return;
    }
    if (m_edits == m_savedEdits)
        SetChanged(false);
    if (m_context.applyRules && m_context.applyRules() == RULES_REFUSED)
        ui::ErrorBox(m_hWnd, ui::LoadStr(IDS_RULE_TABLE_REFUSED));
    if (close && !m_changed)
        End(IDCANCEL);
}

void CRuleDlg::Import()
{
    std::wstring path;
    if (!m_chooseFile(m_hWnd, false, std::wstring(), &path))
        return;
    RuleGroup* group = nullptr;
    std::wstring name;
    const int result = ImportRuleGroup(path.c_str(), m_set->entries[0], &m_groups, &group, &name);
    if (result == -2) {
        ui::ErrorBox(m_hWnd, ui::FormatStr(ui::LoadStr(IDS_RULE_GROUP_EXISTS).c_str(), name.c_str()));
        return;
    }
    if (result != 0) {
        ui::ErrorBox(m_hWnd, ui::FormatStr(ui::LoadStr(IDS_RULE_IMPORT_NO_GROUP).c_str(), path.c_str()));
        return;
    }
    AddNode(m_groupsRoot, group->name, Node{ Node::Group, 0, group });
    Nodes().Expand(m_groupsRoot);
    FillList();
    SetChanged(true);
}

void CRuleDlg::Export()
{
    RuleGroup* group = SelectedGroup();
    if (!group) {
        ui::ErrorBox(m_hWnd, ui::LoadStr(IDS_RULE_SELECT_TO_EXPORT));
        return;
    }
    std::wstring path;
    if (!m_chooseFile(m_hWnd, true, group->name, &path))
        return;
    if (WriteRuleFile(&m_groups, m_set, path.c_str(), group->id) != 0)
        ui::ErrorBox(m_hWnd, ui::FormatStr(ui::LoadStr(IDS_RULE_SAVE_FAILED).c_str(), path.c_str()));
}

void CRuleDlg::Close()
{
    // The window stays until the file is written.
    if (m_saving)
        return;
    if (m_changed) {
        switch (ui::WarningBox(m_hWnd, ui::LoadStr(IDS_RULE_ASK_SAVE), MB_YESNOCANCEL)) {
        case IDYES:
            // It closes once written; a failed write keeps the window and
            // the edits.
            m_closeAfterSave = Save();
            return;
        case IDNO:
            break;
        default:
            return;
        }
    }
    End(IDCANCEL);
}

void CRuleDlg::ShowTreeMenu(POINT at)
{
    // The node under the mouse becomes the selected one.
    if (HTREEITEM item = Nodes().ItemAt(at))
        Nodes().Select(item);
    HMENU menu = LoadMenuW(ui::ResourceModule(), MAKEINTRESOURCEW(IDR_RULE_GROUP_MENU));
    HMENU popup = GetSubMenu(menu, 0);
    const UINT state = SelectedGroup() ? MF_ENABLED : MF_GRAYED;
    EnableMenuItem(popup, ID_RULE_EDIT_GROUP, MF_BYCOMMAND | state);
    EnableMenuItem(popup, ID_RULE_DELETE_GROUP, MF_BYCOMMAND | state);
    const UINT chosen = m_trackMenu(popup, at, m_hWnd);
    DestroyMenu(menu);
    if (chosen)
        OnCommand(static_cast<int>(chosen), 0, nullptr);
}

void CRuleDlg::ShowListMenu(POINT at)
{
    HMENU menu = LoadMenuW(ui::ResourceModule(), MAKEINTRESOURCEW(IDR_RULE_LIST_MENU));
    HMENU popup = GetSubMenu(menu, 0);
    const UINT state = m_list.SelectedCount() > 0 ? MF_ENABLED : MF_GRAYED;
    for (UINT id : { ID_RULE_EDIT_RULE, ID_RULE_DELETE_RULES, ID_RULE_MOVE_TO_GROUP })
        EnableMenuItem(popup, id, MF_BYCOMMAND | state);
    const UINT chosen = m_trackMenu(popup, at, m_hWnd);
    DestroyMenu(menu);
    if (chosen)
        OnCommand(static_cast<int>(chosen), 0, nullptr);
}

// ---- messages -----------------------------------------------------------------

BOOL CRuleDlg::OnCommand(int id, int code, HWND control)
{
    switch (id) {
    case IDC_RULE_NEW_GROUP:
    case ID_RULE_NEW_GROUP:
        NewGroup();
        return TRUE;
    case IDC_RULE_EDIT_GROUP:
    case ID_RULE_EDIT_GROUP:
        EditGroup();
        return TRUE;
    case IDC_RULE_DELETE_GROUP:
    case ID_RULE_DELETE_GROUP:
        DeleteGroup();
        return TRUE;
    case IDC_RULE_NEW_RULE:
    case ID_RULE_NEW_RULE:
        NewRule();
        return TRUE;
    case IDC_RULE_EDIT_RULE:
    case ID_RULE_EDIT_RULE:
        EditRule();
        return TRUE;
    case IDC_RULE_DELETE_RULES:
    case ID_RULE_DELETE_RULES:
        DeleteRules();
        return TRUE;
    case IDC_RULE_MOVE_TO_GROUP:
    case ID_RULE_MOVE_TO_GROUP:
        MoveToGroup();
        return TRUE;
    case IDC_RULE_REFRESH:
        Refresh();
        return TRUE;
    case IDC_RULE_SAVE:
        Save();
        return TRUE;
    case IDC_RULE_IMPORT:
        Import();
        return TRUE;
    case IDC_RULE_EXPORT:
        Export();
        return TRUE;
    case IDC_RULE_FILTER:
        // Narrows the list as the user types.
        if (code == EN_CHANGE)
            FillList();
        return TRUE;
    case IDOK: {
        // Enter: edits the group in the tree or the rule in the list.
        HWND focus = GetFocus();
        if (focus == Tree())
            EditGroup();
        else if (focus == m_list.Hwnd())
            EditRule();
        return TRUE;
    }
    case IDCANCEL:
        Close();
        return TRUE;
    }
    return FALSE;
}

BOOL CRuleDlg::OnNotify(NMHDR* header, LRESULT& result)
{
    if (header->idFrom == IDC_RULE_TREE) {
        switch (header->code) {
        case TVN_SELCHANGEDW:
            OnNodeSelected();
            return TRUE;
        case TVN_KEYDOWN:
            if (reinterpret_cast<NMTVKEYDOWN*>(header)->wVKey == VK_DELETE)
                DeleteGroup();
            return TRUE;
        case NM_RCLICK: {
            POINT at;
            GetCursorPos(&at);
            ShowTreeMenu(at);
            result = TRUE;
            return TRUE;
        }
        }
        return FALSE;
    }
    if (header->idFrom == IDC_RULE_LIST) {
        switch (header->code) {
        case LVN_ITEMCHANGED: {
            auto* change = reinterpret_cast<NMLISTVIEW*>(header);
            if ((change->uChanged & LVIF_STATE) && (change->uNewState & LVIS_SELECTED) &&
                !(change->uOldState & LVIS_SELECTED) && change->iItem >= 0)
                ShowDetails(reinterpret_cast<const Rule*>(m_list.RowData(change->iItem)));
            UpdateRuleButtons();
            return TRUE;
        }
        case LVN_ODSTATECHANGED:
            UpdateRuleButtons();
            return TRUE;
        case LVN_GETDISPINFOW:
            m_list.HandleDisplayInfo(header, [this](LPARAM data, int column) {
                return CellText(reinterpret_cast<const Rule*>(data), column);
            });
            return TRUE;
        case LVN_COLUMNCLICK:
            SortBy(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
            return TRUE;
        case LVN_KEYDOWN:
            if (reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey == VK_DELETE)
                DeleteRules();
            return TRUE;
        case NM_DBLCLK:
            EditRule();
            return TRUE;
        case NM_RCLICK: {
            POINT at;
            GetCursorPos(&at);
            ShowListMenu(at);
            result = TRUE;
            return TRUE;
        }
        case NM_CUSTOMDRAW:
            return m_list.HandleCustomDraw(header, &result) ? TRUE : FALSE;
        }
    }
    return FALSE;
}

BOOL CRuleDlg::OnTimer(UINT_PTR id)
{
    if (id != kHitTimer)
        return FALSE;
    LoadHits();
    return TRUE;
}

BOOL CRuleDlg::OnClose()
{
    Close();
    return TRUE;
}

BOOL CRuleDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (msg) {
    case WM_RULE_SPLITTER_MOVED:
        MoveSplitter(static_cast<int>(lParam));
        return TRUE;
    case WM_RULE_SAVED:
        OnSaved();
        return TRUE;
    case WM_SIZE: {
        BOOL handled = CResizableDlg::OnMessage(msg, wParam, lParam, result);
        m_status.Resize();
        return handled;
    }
    }
    return CResizableDlg::OnMessage(msg, wParam, lParam, result);
}

bool CRuleDlg::FilterMessage(void* context, const MSG& msg)
{
    auto* self = static_cast<CRuleDlg*>(context);
    // Ctrl+N, on the release of N, anywhere in the window.
    if (msg.message == WM_KEYUP && msg.wParam == 'N' && GetKeyState(VK_CONTROL) < 0 &&
        (msg.hwnd == self->m_hWnd || IsChild(self->m_hWnd, msg.hwnd))) {
        PostMessageW(self->m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_RULE_NEW_RULE, BN_CLICKED), 0);
        return true;
    }
    // Ctrl+F: to the filter box, its text selected.
    if (msg.message == WM_KEYDOWN && msg.wParam == 'F' && GetKeyState(VK_CONTROL) < 0 &&
        (msg.hwnd == self->m_hWnd || IsChild(self->m_hWnd, msg.hwnd))) {
        self->FocusFilter();
        return true;
    }
    return false;
}

void CRuleDlg::OnDestroy()
{
    // A save under way finishes its file (the job owns its copy).
    m_saver.Stop();
    m_saving = false;
    ui::RemoveMessageFilter(m_hWnd);
    KillTimer(m_hWnd, kHitTimer);
    m_list.SaveColumnWidths(m_context.stateKey, kColumnsName, 0, kRuleColumns);
    m_list.SaveColumnWidths(m_context.stateKey, kHitColumnsName, kRuleColumns, kHitColumns);
    CResizableDlg::OnDestroy();
    m_list.DeleteAllRows();
    Nodes().DeleteAll();
    m_nodes.clear();
    FreeModel();
}
