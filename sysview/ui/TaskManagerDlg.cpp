#include "sysview/ui/TaskManagerDlg.h"

#include "base/ColumnWidths.h"
#include "controls/ListView.h"
#include "base/Messages.h"
#include "base/ProcessPath.h"
#include "base/Shell.h"
#include "base/Strings.h"
#include "res/resource.h"
#include "sysview/ui/FindDllHandleDlg.h"
#include "ui/Window.h"

#include <commctrl.h>

namespace {

const wchar_t kPlacementName[] = L"TaskWnd";
const wchar_t kMenuProperty[] = L"XPWndProp_MenuXP";
// The lists start below the row of buttons.
const int kListsTop = 34;
const int kListInset = 2;
const int kStatusPaneWidth = 100;

enum ProcessColumn { COL_NAME, COL_PID, COL_CPU, COL_MEMORY, COL_DESCRIPTION, COL_COMPANY };
enum ModuleColumn { MOD_NAME, MOD_DATE, MOD_DESCRIPTION, MOD_COMPANY, MOD_PATH };
enum HandleColumn { HANDLE_TYPE, HANDLE_NAME };

struct COLUMN {
    UINT heading;
    int width;
};
const COLUMN kProcessColumns[] = { { IDS_TASK_COLUMN_PROCESS, 200 }, { IDS_TASK_COLUMN_PID, 50 },
                                   { IDS_TASK_COLUMN_CPU, 50 },      { IDS_TASK_COLUMN_MEMORY, 80 },
                                   { IDS_TASK_COLUMN_DESCRIPTION, 200 }, { IDS_TASK_COLUMN_COMPANY, 200 } };
const COLUMN kModuleColumns[] = { { IDS_TASK_COLUMN_MODULE, 100 }, { IDS_TASK_MODULE_DATE, 100 },
                                  { IDS_TASK_MODULE_DESCRIPTION, 200 }, { IDS_TASK_MODULE_COMPANY, 200 },
                                  { IDS_TASK_MODULE_PATH, 200 } };
const COLUMN kHandleColumns[] = { { IDS_TASK_HANDLE_TYPE, 200 }, { IDS_TASK_HANDLE_NAME, 400 } };

// Where each list keeps its widths and how strictly a stored text is read.
struct LIST_STORE {
    const wchar_t* name;
    NumberListRule rule;
};
const LIST_STORE kProcessStore = { L"ProcessWndList", NumberListRule::Prefix };
const LIST_STORE kModuleStore = { L"ModuleWndList", NumberListRule::Prefix };
const LIST_STORE kHandleStore = { L"HandleWndList", NumberListRule::Exact };

template <size_t N>
void AddColumns(CTreeListCtrl& list, const COLUMN (&columns)[N])
{
    for (size_t i = 0; i < N; ++i)
        list.InsertColumn(static_cast<int>(i), ui::LoadStr(columns[i].heading), columns[i].width);
}

void RestoreWidths(CTreeListCtrl& list, const WindowStateKey& key, const LIST_STORE& store)
{
    RestoreListColumnWidths(list.List(), key, store.name, store.rule);
}

void SaveWidths(const CTreeListCtrl& list, const WindowStateKey& key, const LIST_STORE& store)
{
    SaveListColumnWidths(list.List(), key, store.name);
}

bool AskToEnd(HWND owner, const std::wstring& text)
{
    return MessageBoxW(owner, text.c_str(), ui::LoadStr(IDS_CAPTION_WARNING).c_str(), MB_YESNO | MB_ICONQUESTION) ==
           IDYES;
}

void RunFinder(HWND owner, int mode)
{
    CFindDllHandleDlg finder(mode);
    finder.DoModal(owner);
}

} // namespace

CTaskManagerDlg::CTaskManagerDlg(TASK_MANAGER_CONTEXT context)
    : CResizableDlg(IDD_TASK_MANAGER), m_context(std::move(context))
{
    if (!m_context.confirmEnd)
        m_context.confirmEnd = AskToEnd;
    if (!m_context.trackMenu)
        m_context.trackMenu = ui::TrackMenu;
    if (!m_context.showProperties)
        m_context.showProperties = [](HWND owner, const std::wstring& path) { ShowFileProperties(owner, path); };
    if (!m_context.runFinder)
        m_context.runFinder = RunFinder;
    SetPlacementStore(m_context.stateKey, kPlacementName);
}

CTaskManagerDlg::~CTaskManagerDlg()
{
    if (m_detailCancel)
        *m_detailCancel = true;
    m_refreshWorker.Stop();
    m_detailWorker.Stop();
}

HTREELISTROW CTaskManagerDlg::RowOf(uint32_t processId) const
{
    auto it = m_rows.find(processId);
    return it == m_rows.end() ? nullptr : it->second.row;
}

// ---- opening and closing -----------------------------------------------------

BOOL CTaskManagerDlg::OnInitDialog()
{
    CResizableDlg::OnInitDialog();
    ui::SetWindowIcons(m_hWnd, IDI_MAINFRAME);
    SetPropW(m_hWnd, kMenuProperty, reinterpret_cast<HANDLE>(1));
    SetUpControls();
    RestoreColumns();
    RestorePlacement();
    if (!m_context.sample)
        m_sampler = std::make_unique<CProcessSampler>(DescribeProcess);
    // The first refresh runs on the worker: the window shows at once.
    RequestRefresh();
    return TRUE;
}

void CTaskManagerDlg::SetUpControls()
{
    m_status.Create(m_hWnd, IDC_TASK_STATUS_BAR, { kStatusPaneWidth, kStatusPaneWidth }, true);
    ShowSizeGrip(false); // the status bar has its own
    m_status.SetText(0, ui::LoadStr(IDS_TASK_CPU_INITIAL));
    m_status.SetText(1, ui::LoadStr(IDS_TASK_COUNT_INITIAL));

    // The process list from below the buttons to half way down to the status
    // bar, the lower lists from there to the status bar.
    RECT client;
    GetClientRect(m_hWnd, &client);
    const int bottom = client.bottom - m_status.Height();
    const int middle = bottom / 2;
    RECT upper = { 0, kListsTop, client.right, middle };
    RECT lower = { 0, middle, client.right, bottom };
    InflateRect(&upper, -kListInset, -kListInset);
    InflateRect(&lower, -kListInset, -kListInset);
    m_processes.Create(m_hWnd, IDC_TASK_PROCESS_LIST, upper, true);
    m_modules.Create(m_hWnd, IDC_TASK_MODULE_LIST, lower, false);
    m_handles.Create(m_hWnd, IDC_TASK_HANDLE_LIST, lower, false, WS_TABSTOP);
    LPARAM font = SendMessageW(m_hWnd, WM_GETFONT, 0, 0);
    for (CTreeListCtrl* list : { &m_processes, &m_modules, &m_handles }) {
        SendMessageW(list->Hwnd(), WM_SETFONT, static_cast<WPARAM>(font), FALSE);
        list->AddListStyles(LVS_EX_GRIDLINES);
    }
    m_processes.SetImageList(ShellSmallImageList());
    AddColumns(m_processes, kProcessColumns);
    AddColumns(m_modules, kModuleColumns);
    AddColumns(m_handles, kHandleColumns);

    SetUpButton(IDC_TASK_VIEW_SWITCH, IDI_TASK_VIEW_HANDLES, IDS_TASK_VIEW_HANDLES);
    SetUpButton(IDC_TASK_PROPERTIES, IDI_TASK_PROPERTIES, IDS_TASK_PROPERTIES);
    SetUpButton(IDC_TASK_END_PROCESS, IDI_TASK_END_PROCESS, IDS_TASK_END_PROCESS);
    SetUpButton(IDC_TASK_FIND_MODULE, IDI_TASK_FIND_MODULE, IDS_TASK_FIND_MODULE);
    SetUpButton(IDC_TASK_FIND_HANDLE, IDI_TASK_FIND_HANDLE, IDS_TASK_FIND_HANDLE);

    for (int id : { IDC_TASK_VIEW_SWITCH, IDC_TASK_PROPERTIES, IDC_TASK_END_PROCESS, IDC_TASK_FIND_MODULE,
                    IDC_TASK_FIND_HANDLE })
        AddAnchor(id, ANCHOR_TOP_LEFT, ANCHOR_TOP_LEFT);
    // The process list grows with the window; the lower lists keep their
    // height and follow the bottom edge.
    AddAnchor(m_processes.Hwnd(), ANCHOR_TOP_LEFT, ANCHOR_BOTTOM_RIGHT);
    AddAnchor(m_modules.Hwnd(), ANCHOR_BOTTOM_LEFT, ANCHOR_BOTTOM_RIGHT);
    AddAnchor(m_handles.Hwnd(), ANCHOR_BOTTOM_LEFT, ANCHOR_BOTTOM_RIGHT);
}

void CTaskManagerDlg::SetUpButton(int id, UINT icon, UINT text)
{
    HWND button = Item(id);
    SetWindowTextW(button, ui::LoadStr(text).c_str());
    HICON image = static_cast<HICON>(LoadImageW(ui::ResourceModule(), MAKEINTRESOURCEW(icon), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                                LR_SHARED));
    SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(image));
}

void CTaskManagerDlg::RestoreColumns()
{
    RestoreWidths(m_processes, m_context.stateKey, kProcessStore);
    RestoreWidths(m_modules, m_context.stateKey, kModuleStore);
    RestoreWidths(m_handles, m_context.stateKey, kHandleStore);
}

void CTaskManagerDlg::SaveColumns() const
{
    SaveWidths(m_processes, m_context.stateKey, kProcessStore);
    SaveWidths(m_modules, m_context.stateKey, kModuleStore);
    SaveWidths(m_handles, m_context.stateKey, kHandleStore);
}

void CTaskManagerDlg::OnDestroy()
{
    KillTimer(m_hWnd, TASK_REFRESH_TIMER);
    // Nothing may report to a window that is going.
    if (m_detailCancel)
        *m_detailCancel = true;
    m_refreshWorker.Stop();
    m_detailWorker.Stop();
    SaveColumns();
    RemovePropW(m_hWnd, kMenuProperty);
    CResizableDlg::OnDestroy();
    m_rows.clear();
}

// ---- refresh -------------------------------------------------------------------

void CTaskManagerDlg::RequestRefresh()
{
    HWND hwnd = m_hWnd;
    m_refreshWorker.Post([this, hwnd](const std::atomic<bool>& stop) {
        auto refresh = std::make_unique<PROCESS_REFRESH>(m_context.sample ? m_context.sample() : m_sampler->Sample());
        if (stop)
            return;
        m_refreshResult.Put(std::move(refresh), hwnd, WM_TASK_REFRESHED);
    });
}

void CTaskManagerDlg::OnRefreshed()
{
    std::unique_ptr<PROCESS_REFRESH> refresh = m_refreshResult.Take();
    if (!refresh)
        return;
    ApplyRefresh(*refresh);
    SetTimer(m_hWnd, TASK_REFRESH_TIMER, m_context.refreshMs, nullptr);
}

BOOL CTaskManagerDlg::OnTimer(UINT_PTR id)
{
    if (id != TASK_REFRESH_TIMER)
        return FALSE;
    // The next refresh is armed when this one has been applied: the period
    // is the refresh's own time plus the timer's.
    KillTimer(m_hWnd, TASK_REFRESH_TIMER);
    m_status.SetText(0, m_cpuText);
    m_status.SetText(1, m_countText);
    RequestRefresh();
    return TRUE;
}

void CTaskManagerDlg::ApplyRefresh(const PROCESS_REFRESH& refresh)
{
    ++m_refreshes;
    m_cpuText = ui::FormatStr(ui::LoadStr(IDS_TASK_CPU_FORMAT).c_str(), refresh.cpuPercent);
    if (!refresh.haveSnapshot)
        return; // the list and the count stay as they were
    m_countText = ui::FormatStr(ui::LoadStr(IDS_TASK_COUNT_FORMAT).c_str(), static_cast<int>(refresh.processes.size()));

    m_processes.SetRedraw(false);
    const std::vector<PROCESS_SAMPLE>& samples = refresh.processes;
    for (const ROW_PLACEMENT& place : PlanNewRows(samples, [this](uint32_t id) { return m_rows.count(id) != 0; }))
        AddRow(samples[place.sample], place.underParent ? RowOf(place.parentProcessId) : nullptr);
    for (const PROCESS_SAMPLE& sample : samples) {
        auto it = m_rows.find(sample.processId);
        if (it == m_rows.end())
            continue;
        ROW_RECORD& record = it->second;
        record.seen = true;
        if (sample.cpuShare >= 0)
            m_processes.SetText(record.row, COL_CPU, FormatShare(sample.cpuShare));
        if (sample.workingSetSize != record.workingSet) {
            record.workingSet = sample.workingSetSize;
            m_processes.SetText(record.row, COL_MEMORY, FormatWorkingSet(sample.workingSetSize));
        }
    }
    RemoveUnseenRows();
    m_processes.SetRedraw(true);
}

void CTaskManagerDlg::AddRow(const PROCESS_SAMPLE& sample, HTREELISTROW parent)
{
    const PROCESS_DESCRIPTION& d = sample.description;
    HTREELISTROW row = m_processes.InsertRow(parent, sample.name, d.icon, static_cast<LPARAM>(sample.processId));
    if (d.nonInteractiveParent)
        m_processes.SetRowColour(row, TASK_NON_INTERACTIVE_COLOUR);
    m_rows[sample.processId] = ROW_RECORD{ row, false, 0 };
    if (d.hasVersion) {
        m_processes.SetText(row, COL_DESCRIPTION, d.description);
        m_processes.SetText(row, COL_COMPANY, d.company);
    }
    m_processes.SetText(row, COL_PID, std::to_wstring(sample.processId));
    m_processes.SetText(row, COL_CPU, FormatShare(0));
}

// A process that is gone takes its row with it; its children move up to its
// level first.
void CTaskManagerDlg::RemoveUnseenRows()
{
    for (auto it = m_rows.begin(); it != m_rows.end();) {
        if (it->second.seen) {
            it->second.seen = false;
            ++it;
            continue;
        }
        HTREELISTROW row = it->second.row;
        it = m_rows.erase(it);
        m_processes.PromoteChildren(row);
        m_processes.DeleteRow(row);
    }
}

// ---- the lower lists -----------------------------------------------------------

uint32_t CTaskManagerDlg::SelectedProcess(bool* any) const
{
    HTREELISTROW row = m_processes.GetSelection();
    *any = row != nullptr;
    return static_cast<uint32_t>(m_processes.GetData(row));
}

void CTaskManagerDlg::OnProcessSelected()
{
    bool any = false;
    SelectedProcess(&any);
    EnableWindow(Item(IDC_TASK_PROPERTIES), any);
    EnableWindow(Item(IDC_TASK_END_PROCESS), any);
    if (any) {
        RequestDetails();
        return;
    }
    ++m_detailGeneration;
    if (m_detailCancel)
        *m_detailCancel = true;
    m_detailsPending = false;
    m_modules.DeleteAllRows();
    m_handles.DeleteAllRows();
}

// Module and handle lists are gathered on the detail worker: a handle list
// costs several queries per handle. A newer request makes an older one stop
// and its result is dropped.
void CTaskManagerDlg::RequestDetails()
{
    ++m_detailGeneration;
    if (m_detailCancel)
        *m_detailCancel = true;
    m_detailWorker.DropQueued();
    (m_viewMode == TASK_VIEW_MODULES ? m_modules : m_handles).DeleteAllRows();
    bool any = false;
    uint32_t processId = SelectedProcess(&any);
    m_detailsPending = any;
    if (!any)
        return;
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    m_detailCancel = cancel;
    HWND hwnd = m_hWnd;
    unsigned generation = m_detailGeneration;
    int mode = m_viewMode;
    std::wstring dateFormat = ui::LoadStr(IDS_TASK_DATE_FORMAT);
    m_detailWorker.Post([this, hwnd, generation, mode, processId, dateFormat, cancel](const std::atomic<bool>& stop) {
        auto details = std::make_unique<DETAILS>();
        details->generation = generation;
        details->mode = mode;
        if (mode == TASK_VIEW_MODULES)
            details->modules = ListModuleRows(processId, dateFormat);
        else
            details->handles = ListHandleRows(processId, cancel.get());
        if (*cancel || stop)
            return;
        m_detailResult.Put(std::move(details), hwnd, WM_TASK_DETAILS);
    });
}

void CTaskManagerDlg::OnDetails()
{
    std::unique_ptr<DETAILS> details = m_detailResult.Take();
    if (!details || details->generation != m_detailGeneration)
        return;
    m_detailsPending = false;
    if (details->mode == TASK_VIEW_MODULES)
        FillModules(details->modules);
    else
        FillHandles(details->handles);
}

void CTaskManagerDlg::FillModules(const std::vector<MODULE_ROW>& rows)
{
    m_modules.SetRedraw(false);
    m_modules.DeleteAllRows();
    for (const MODULE_ROW& module : rows) {
        HTREELISTROW row = m_modules.InsertRow(nullptr, module.name, -1, 0);
        m_modules.SetText(row, MOD_DATE, module.date);
        m_modules.SetText(row, MOD_DESCRIPTION, module.description);
        m_modules.SetText(row, MOD_COMPANY, module.company);
        m_modules.SetText(row, MOD_PATH, module.path);
    }
    m_modules.SetRedraw(true);
}

void CTaskManagerDlg::FillHandles(const std::vector<HANDLE_ROW>& rows)
{
    m_handles.SetRedraw(false);
    m_handles.DeleteAllRows();
    for (const HANDLE_ROW& handle : rows) {
        HTREELISTROW row = m_handles.InsertRow(nullptr, handle.type, -1, 0);
        m_handles.SetText(row, HANDLE_NAME, handle.name);
    }
    m_handles.SetRedraw(true);
}

void CTaskManagerDlg::SwitchView()
{
    bool toHandles = m_viewMode == TASK_VIEW_MODULES;
    m_viewMode = toHandles ? TASK_VIEW_HANDLES : TASK_VIEW_MODULES;
    if (toHandles)
        SetUpButton(IDC_TASK_VIEW_SWITCH, IDI_TASK_VIEW_MODULES, IDS_TASK_VIEW_MODULES);
    else
        SetUpButton(IDC_TASK_VIEW_SWITCH, IDI_TASK_VIEW_HANDLES, IDS_TASK_VIEW_HANDLES);
    ShowWindow(m_modules.Hwnd(), toHandles ? SW_HIDE : SW_SHOW);
    ShowWindow(m_handles.Hwnd(), toHandles ? SW_SHOW : SW_HIDE);
    RequestDetails();
}

// ---- commands ------------------------------------------------------------------

void CTaskManagerDlg::ShowProcessProperties()
{
    bool any = false;
    uint32_t processId = SelectedProcess(&any);
    std::wstring path = any ? ProcessImagePath(processId) : std::wstring();
    if (!path.empty())
        m_context.showProperties(m_hWnd, path);
}

void CTaskManagerDlg::ShowModuleProperties(HTREELISTROW row)
{
    std::wstring path = m_modules.GetText(row, MOD_PATH);
    if (!path.empty())
        m_context.showProperties(m_hWnd, path);
}

void CTaskManagerDlg::EndSelectedProcess()
{
    bool any = false;
    uint32_t processId = SelectedProcess(&any);
    // The program never ends itself from here.
    if (!any || processId == GetCurrentProcessId())
        return;
    std::wstring name = m_processes.GetText(m_processes.GetSelection(), COL_NAME);
    if (m_context.confirmEnd(m_hWnd, ui::FormatStr(ui::LoadStr(IDS_TASK_END_QUESTION).c_str(), name.c_str())))
        EndProcessById(processId); // its row goes with the next refresh
}

void CTaskManagerDlg::ShowProcessMenu(POINT at)
{
    HMENU menu = LoadMenuW(ui::ResourceModule(), MAKEINTRESOURCEW(IDR_TASK_PROCESS_MENU));
    if (!menu)
        return;
    HMENU popup = GetSubMenu(menu, 0);
    std::wstring text = ui::LoadStr(m_viewMode == TASK_VIEW_HANDLES ? IDS_TASK_VIEW_MODULES : IDS_TASK_VIEW_HANDLES);
    ModifyMenuW(popup, ID_TASK_VIEW_SWITCH, MF_BYCOMMAND | MF_STRING, ID_TASK_VIEW_SWITCH, text.c_str());
    UINT command = m_context.trackMenu(popup, at, m_hWnd);
    DestroyMenu(menu);
    if (command)
        OnCommand(static_cast<int>(command), 0, nullptr);
}

void CTaskManagerDlg::ShowModuleMenu(POINT at)
{
    HMENU menu = LoadMenuW(ui::ResourceModule(), MAKEINTRESOURCEW(IDR_TASK_MODULE_MENU));
    if (!menu)
        return;
    UINT command = m_context.trackMenu(GetSubMenu(menu, 0), at, m_hWnd);
    DestroyMenu(menu);
    if (command)
        OnCommand(static_cast<int>(command), 0, nullptr);
}

BOOL CTaskManagerDlg::OnCommand(int id, int code, HWND control)
{
    switch (id) {
    case IDC_TASK_VIEW_SWITCH:
    case ID_TASK_VIEW_SWITCH:
        SwitchView();
        return TRUE;
    case IDC_TASK_PROPERTIES:
    case ID_TASK_PROPERTIES:
        ShowProcessProperties();
        return TRUE;
    case IDC_TASK_END_PROCESS:
    case ID_TASK_END_PROCESS:
        EndSelectedProcess();
        return TRUE;
    case IDC_TASK_FIND_MODULE:
    case ID_TASK_FIND_MODULE:
        m_context.runFinder(m_hWnd, FINDER_MODULES);
        return TRUE;
    case IDC_TASK_FIND_HANDLE:
    case ID_TASK_FIND_HANDLE:
        m_context.runFinder(m_hWnd, FINDER_HANDLES);
        return TRUE;
    case ID_TASK_MODULE_PROPERTIES:
        if (HTREELISTROW row = m_modules.GetSelection())
            ShowModuleProperties(row);
        return TRUE;
    case IDOK: // Enter does not close the window
        return TRUE;
    }
    return CResizableDlg::OnCommand(id, code, control);
}

BOOL CTaskManagerDlg::OnNotify(NMHDR* header, LRESULT& result)
{
    auto* nm = reinterpret_cast<NMTREELIST*>(header);
    if (header->idFrom == IDC_TASK_PROCESS_LIST) {
        if (header->code == TLN_SELCHANGED)
            OnProcessSelected();
        else if (header->code == TLN_RCLICK && nm->row)
            ShowProcessMenu(nm->screen);
        else if (header->code == TLN_DBLCLK && nm->row)
            ShowProcessProperties();
        else
            return FALSE;
        return TRUE;
    }
    if (header->idFrom == IDC_TASK_MODULE_LIST) {
        if (header->code == TLN_RCLICK)
            ShowModuleMenu(nm->screen);
        else if (header->code == TLN_DBLCLK && nm->row)
            ShowModuleProperties(nm->row);
        else
            return FALSE;
        return TRUE;
    }
    return FALSE;
}

BOOL CTaskManagerDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (msg) {
    case WM_TASK_REFRESHED:
        OnRefreshed();
        return TRUE;
    case WM_TASK_DETAILS:
        OnDetails();
        return TRUE;
    case WM_SIZE: {
        BOOL handled = CResizableDlg::OnMessage(msg, wParam, lParam, result);
        m_status.Resize();
        return handled;
    }
    case WM_SETCURSOR:
        // While a lower list is being gathered the window still answers; the
        // cursor over it says that work is going on.
        if (m_detailsPending && LOWORD(lParam) == HTCLIENT &&
            (reinterpret_cast<HWND>(wParam) == m_modules.List() || reinterpret_cast<HWND>(wParam) == m_handles.List())) {
            SetCursor(LoadCursor(nullptr, IDC_APPSTARTING));
            result = TRUE;
            return TRUE;
        }
        break;
    }
    return CResizableDlg::OnMessage(msg, wParam, lParam, result);
}
