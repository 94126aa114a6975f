// CTaskManagerDlg: the process manager (template 132), a modeless, resizable
// tool window. The running processes as a tree with processor share and
// working set, refreshed every 500 ms; below them the modules or the named
// handles of the selected process; the shell's property sheets, ending a
// process after a question, and the module and handle finder.
//
// Workers report, the window draws: the refreshes run on one worker thread
// (snapshot, shares, and for each new process its program file, icon,
// version texts and parent's interactivity) and the module and handle lists
// on another; each posts its result, and only the window's thread touches
// the lists and the row table.
#pragma once

#include "base/WindowState.h"
#include "controls/ResizableDlg.h"
#include "controls/StatusBar.h"
#include "controls/TreeListCtrl.h"
#include "base/JobWorker.h"
#include "sysview/ProcessDetails.h"
#include "sysview/ProcessSampler.h"
#include "ui/Palette.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Refresh period and the timer that counts it.
#define TASK_REFRESH_MS 500
#define TASK_REFRESH_TIMER 4849
// Background of a process whose parent is not interactive.
#define TASK_NON_INTERACTIVE_COLOUR ui::palette::kNonInteractive

enum TaskViewMode {
    TASK_VIEW_MODULES = 0,
    TASK_VIEW_HANDLES = 1,
};

struct TASK_MANAGER_CONTEXT {
    WindowStateKey stateKey; // where "TaskWnd" and the three "...WndList" texts are kept
    UINT refreshMs = TASK_REFRESH_MS;
    // One refresh's data, called on the refresh worker. Null: the live
    // system (CProcessSampler with DescribeProcess).
    std::function<PROCESS_REFRESH()> sample;
    // The end-process question; true for yes. Null: a question box.
    std::function<bool(HWND owner, const std::wstring& text)> confirmEnd;
    // A popup menu at a screen point; the chosen command or 0. Null:
    // TrackPopupMenu.
    std::function<UINT(HMENU menu, POINT at, HWND owner)> trackMenu;
    // The shell's property sheet of a file. Null: ShowFileProperties.
    std::function<void(HWND owner, const std::wstring& path)> showProperties;
    // Runs the finder modally in a mode. Null: CFindDllHandleDlg.
    std::function<void(HWND owner, int mode)> runFinder;
};

class CTaskManagerDlg : public CResizableDlg {
public:
    explicit CTaskManagerDlg(TASK_MANAGER_CONTEXT context = TASK_MANAGER_CONTEXT());
    ~CTaskManagerDlg() override;

    CTreeListCtrl& ProcessList() { return m_processes; }
    CTreeListCtrl& ModuleList() { return m_modules; }
    CTreeListCtrl& HandleList() { return m_handles; }
    const CStatusBar& StatusBar() const { return m_status; }
    int ViewMode() const { return m_viewMode; }
    // The row of a process, or null.
    HTREELISTROW RowOf(uint32_t processId) const;
    // Refreshes applied so far.
    int Refreshes() const { return m_refreshes; }
    // A module or handle list is being gathered.
    bool DetailsPending() const { return m_detailsPending; }

    // The window's part of a refresh: rows added where they belong, shares
    // and working sets shown, rows of processes that are gone removed (their
    // children move up), status texts formatted for the next tick.
    void ApplyRefresh(const PROCESS_REFRESH& refresh);

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(int id, int code, HWND control) override;
    BOOL OnNotify(NMHDR* header, LRESULT& result) override;
    BOOL OnTimer(UINT_PTR id) override;
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnDestroy() override;

private:
    struct ROW_RECORD {
        HTREELISTROW row;
        bool seen;
        uint64_t workingSet; // last shown
    };
    struct DETAILS {
        unsigned generation = 0;
        int mode = TASK_VIEW_MODULES;
        std::vector<MODULE_ROW> modules;
        std::vector<HANDLE_ROW> handles;
    };

    void SetUpControls();
    void SetUpButton(int id, UINT icon, UINT text);
    void RestoreColumns();
    void SaveColumns() const;
    void RequestRefresh();
    void OnRefreshed();
    void AddRow(const PROCESS_SAMPLE& sample, HTREELISTROW parent);
    void RemoveUnseenRows();

    uint32_t SelectedProcess(bool* any) const;
    void OnProcessSelected();
    void RequestDetails();
    void OnDetails();
    void FillModules(const std::vector<MODULE_ROW>& rows);
    void FillHandles(const std::vector<HANDLE_ROW>& rows);
    void SwitchView();
    void ShowProcessProperties();
    void ShowModuleProperties(HTREELISTROW row);
    void EndSelectedProcess();
    void ShowProcessMenu(POINT at);
    void ShowModuleMenu(POINT at);

    TASK_MANAGER_CONTEXT m_context;
    CStatusBar m_status;
    CTreeListCtrl m_processes;
    CTreeListCtrl m_modules;
    CTreeListCtrl m_handles;
    int m_viewMode = TASK_VIEW_MODULES;
    std::map<uint32_t, ROW_RECORD> m_rows;
    std::wstring m_cpuText;
    std::wstring m_countText;
    int m_refreshes = 0;

    // Refresh worker and the result it leaves for the window.
    std::unique_ptr<CProcessSampler> m_sampler; // used on the worker only
    CJobWorker m_refreshWorker;
    CHandOver<std::unique_ptr<PROCESS_REFRESH>> m_refreshResult;

    // Detail worker (module and handle lists) and its result.
    CJobWorker m_detailWorker;
    unsigned m_detailGeneration = 0;
    bool m_detailsPending = false;
    std::shared_ptr<std::atomic<bool>> m_detailCancel;
    CHandOver<std::unique_ptr<DETAILS>> m_detailResult;
};
