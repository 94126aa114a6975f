#include "sysview/ui/FindDllHandleDlg.h"

#include "base/Messages.h"
#include "base/Strings.h"
#include "res/resource.h"
#include "ui/Window.h"

#include <commctrl.h>

namespace {

const UINT_PTR kEditSubclassId = 0x4644; // "FD"

} // namespace

CFindDllHandleDlg::CFindDllHandleDlg(int mode) : ui::CDialog(IDD_FIND_DLL_HANDLE), m_mode(mode) {}

CFindDllHandleDlg::~CFindDllHandleDlg()
{
    if (m_cancel)
        *m_cancel = true;
    m_worker.Stop();
}

BOOL CFindDllHandleDlg::OnInitDialog()
{
    SetWindowTextW(m_hWnd, ui::LoadStr(m_mode == FINDER_HANDLES ? IDS_TASK_FIND_HANDLE : IDS_TASK_FIND_MODULE).c_str());
    m_list.Attach(Item(IDC_FIND_LIST), LVS_EX_GRIDLINES | LVS_EX_FLATSB);
    m_list.SetColumns({ { ui::LoadStr(IDS_FIND_COLUMN_PROCESS), 100 },
                        { ui::LoadStr(IDS_FIND_COLUMN_PID), 60 },
                        { ui::LoadStr(IDS_FIND_COLUMN_PATH), 250 } });
    SetWindowSubclass(Item(IDC_FIND_NAME), EditProc, kEditSubclassId, reinterpret_cast<DWORD_PTR>(this));
    return TRUE;
}

// Enter in the name field starts a search when the key comes up; the press
// itself is the dialog's default OK, which does nothing here.
LRESULT CALLBACK CFindDllHandleDlg::EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                             DWORD_PTR self)
{
    if (msg == WM_KEYUP && wParam == VK_RETURN) {
        reinterpret_cast<CFindDllHandleDlg*>(self)->Search();
        return 0;
    }
    if (msg == WM_NCDESTROY)
        RemoveWindowSubclass(hwnd, EditProc, id);
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

void CFindDllHandleDlg::Search()
{
    // A new search replaces one still running.
    if (m_cancel)
        *m_cancel = true;
    m_worker.DropQueued();
    m_list.DeleteAllRows();
    ++m_generation;
    SEARCH_KEY key;
    if (!MakeSearchKey(ui::WindowText(Item(IDC_FIND_NAME)), &key)) {
        m_searching = false;
        return;
    }
    m_searching = true;
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    m_cancel = cancel;
    HWND hwnd = m_hWnd;
    unsigned generation = m_generation;
    bool handles = m_mode == FINDER_HANDLES;
    m_worker.Post([this, hwnd, generation, handles, key, cancel](const std::atomic<bool>&) {
        std::vector<FOUND_ROW> rows = handles ? FindFileHolders(key, cancel.get()) : FindModuleHolders(key, cancel.get());
        if (*cancel)
            return;
        m_result.Put({ generation, std::move(rows) }, hwnd, WM_FINDER_DONE);
    });
}

void CFindDllHandleDlg::ShowResults()
{
    const RESULT result = m_result.Take();
    if (result.generation != m_generation)
        return; // an earlier search's rows (or none): a newer search is running
    const std::vector<FOUND_ROW>& rows = result.rows;
    m_searching = false;
    SendMessageW(m_list.Hwnd(), WM_SETREDRAW, FALSE, 0);
    for (const FOUND_ROW& row : rows)
        m_list.AddRow({ row.processName, row.processIdText, row.path }, 0);
    SendMessageW(m_list.Hwnd(), WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_list.Hwnd(), nullptr, TRUE);
}

BOOL CFindDllHandleDlg::OnCommand(int id, int code, HWND control)
{
    switch (id) {
    case IDC_FIND_SEARCH:
        if (code == BN_CLICKED)
            Search();
        return TRUE;
    case IDOK:
        return TRUE;
    }
    return ui::CDialog::OnCommand(id, code, control);
}

BOOL CFindDllHandleDlg::OnNotify(NMHDR* header, LRESULT& result)
{
    return m_list.HandleCustomDraw(header, &result) ? TRUE : FALSE;
}

BOOL CFindDllHandleDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (msg) {
    case WM_FINDER_DONE:
        ShowResults();
        return TRUE;
    case WM_SETCURSOR:
        // The window answers while a search runs; the cursor says it is busy.
        if (m_searching && LOWORD(lParam) == HTCLIENT) {
            SetCursor(LoadCursor(nullptr, IDC_APPSTARTING));
            result = TRUE;
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

void CFindDllHandleDlg::OnDestroy()
{
    if (m_cancel)
        *m_cancel = true;
    m_worker.Stop();
}
