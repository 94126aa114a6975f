// CFindDllHandleDlg: the module and handle finder (template 227), modal. The
// user types a file name or a path; the search lists each process that has
// such a module loaded (module mode) or holds such a file open (handle
// mode), with the process name, its id and the path. The search runs on a
// worker thread; the dialog stays responsive and fills the list when the
// worker reports.
#pragma once

#include "controls/ReportList.h"
#include "base/JobWorker.h"
#include "sysview/ModuleHandleSearch.h"
#include "ui/Dialog.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

enum FinderMode {
    FINDER_MODULES = 0,
    FINDER_HANDLES = 1,
};

class CFindDllHandleDlg : public ui::CDialog {
public:
    explicit CFindDllHandleDlg(int mode);
    ~CFindDllHandleDlg() override;

    int Mode() const { return m_mode; }
    const CReportList& List() const { return m_list; }
    // A search is running.
    bool Searching() const { return m_searching; }
    // Starts a search for the edit field's text (what the button and Enter do).
    void Search();

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(int id, int code, HWND control) override;
    BOOL OnNotify(NMHDR* header, LRESULT& result) override;
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnDestroy() override;

private:
    static LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR self);
    void ShowResults();

    int m_mode;
    CReportList m_list;
    CJobWorker m_worker;
    bool m_searching = false;
    unsigned m_generation = 0;
    std::shared_ptr<std::atomic<bool>> m_cancel;

    // The worker's result with the search it answers, until the window takes it.
    struct RESULT {
        unsigned generation = 0;
        std::vector<FOUND_ROW> rows;
    };
    CHandOver<RESULT> m_result;
};
