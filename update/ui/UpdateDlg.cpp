#include "update/ui/UpdateDlg.h"

#include "base/Config.h"
#include "base/Messages.h"
#include "base/Strings.h"
#include "res/resource.h"
#include "ui/Palette.h"
#include "update/UpdateSchedule.h"

#include <commctrl.h>

namespace {

const UINT_PTR kAutoCheckTimer = 300;
// Grid lines, full-row select, flat scroll bars, info tips.
const DWORD kListStyles = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_FLATSB | LVS_EX_INFOTIP;

UINT RowText(UpdateRowState state)
{
    switch (state) {
    case UPDATE_ROW_DOWNLOADING: return IDS_UPDATE_ROW_DOWNLOADING;
    case UPDATE_ROW_FAILED: return IDS_UPDATE_ROW_FAILED;
    case UPDATE_ROW_DONE: return IDS_UPDATE_ROW_DONE;
    default: return IDS_UPDATE_ROW_QUEUED;
    }
}

UINT StatusText(UpdateStatus status)
{
    switch (status) {
    case UPDATE_STATUS_FETCHING_MANIFEST: return IDS_UPDATE_FETCHING_MANIFEST;
    case UPDATE_STATUS_MANIFEST_FAILED: return IDS_UPDATE_MANIFEST_FAILED;
    case UPDATE_STATUS_MANIFEST_MALFORMED: return IDS_UPDATE_MANIFEST_MALFORMED;
    case UPDATE_STATUS_NO_ADDRESS: return IDS_UPDATE_NO_ADDRESS;
    case UPDATE_STATUS_DOWNLOADING: return IDS_UPDATE_DOWNLOADING;
    case UPDATE_STATUS_DONE: return IDS_UPDATE_DONE;
    case UPDATE_STATUS_VERIFY_FAILED: return IDS_UPDATE_VERIFY_FAILED;
    default: return IDS_UPDATE_UNKNOWN;
    }
}

} // namespace

CUpdateDlg::CUpdateDlg(CConfig* config) : ui::CPage(IDD_UPDATE_PAGE), m_config(config), m_run(config) {}

CUpdateDlg::~CUpdateDlg() = default;

BOOL CUpdateDlg::OnInitDialog()
{
    m_status.CreateOver(Item(IDC_UPDATE_STATUS));
    m_status.SetTextColour(ui::palette::kStatusText);
    m_progress.CreateOver(Item(IDC_UPDATE_PROGRESS));
    m_button.CreateOver(Item(IDC_UPDATE_BUTTON));

    m_rows.Attach(Item(IDC_UPDATE_LIST), kListStyles);
    m_rows.SetImages(ImageList_LoadImageW(ui::ResourceModule(), MAKEINTRESOURCEW(IDB_UPDATE_STATES), 16, 4,
                                          ui::palette::kBitmapMask, IMAGE_BITMAP, LR_CREATEDIBSECTION));
    m_rows.SetColumns({ { ui::LoadStr(IDS_UPDATE_COLUMN_NAME), 150 },
                        { ui::LoadStr(IDS_UPDATE_COLUMN_SIZE), 80 },
                        { ui::LoadStr(IDS_UPDATE_COLUMN_STATE), 60 } });

    m_progress.SetRange(0, kProgressBlocks);
    SetProgress(-1);
    HWND self = m_hWnd;
    m_run.SetChangeCallback([self] { PostMessageW(self, WM_UPDATE_CHANGED, 0, 0); });
    SetTimer(m_hWnd, kAutoCheckTimer, m_autoCheckMs, nullptr);
    return TRUE;
}

void CUpdateDlg::SetButton(UINT stringId)
{
    SetWindowTextW(m_button.Hwnd(), ui::LoadStr(stringId).c_str());
    InvalidateRect(m_button.Hwnd(), nullptr, FALSE);
}

void CUpdateDlg::SetProgress(int blocks)
{
    // -1 is an empty bar: the control keeps its position within the range.
    m_progress.SetPos(blocks < 0 ? 0 : blocks);
    UpdateWindow(m_progress.Hwnd());
}

void CUpdateDlg::ClearRows()
{
    m_rows.DeleteAllRows();
    m_shownStates.clear();
}

void CUpdateDlg::ToggleUpdate()
{
    if (m_active) {
        // Cancel: the worker ends on its own within about a second; the page
        // is idle at once and the button waits for the worker to be gone.
        m_run.Cancel();
        m_active = false;
        m_cancelling = true;
        EnableWindow(m_button.Hwnd(), FALSE);
        SetButton(IDS_UPDATE_AGAIN);
        ClearRows();
        SetWindowTextW(m_status.Hwnd(), ui::LoadStr(IDS_UPDATE_UNKNOWN).c_str());
        SetProgress(-1);
        return;
    }
    if (m_cancelling || !m_run.Start())
        return;
    m_active = true;
    ClearRows();
    SetProgress(-1);
    SetButton(IDS_UPDATE_CANCEL);
}

void CUpdateDlg::AutoUpdateCheck()
{
    if (!m_config || m_config->AutoUpdate != 1)
        return;
    // An active run (started with the button) is left alone.
    if (m_active || m_cancelling)
        return;
    const ConfigPlaces& places = m_config->Places();
    if (TakeAutoUpdateTurn(places.root, places.settingsKey.c_str(), CurrentUnixTime()))
        ToggleUpdate();
}

void CUpdateDlg::Shutdown()
{
    m_run.Cancel();
    m_run.Wait(INFINITE);
    m_active = false;
    m_cancelling = false;
}

void CUpdateDlg::ShowView()
{
    const UPDATE_VIEW view = m_run.Snapshot();
    if (m_cancelling) {
        // A cancelled run shows nothing more; its end frees the button.
        if (!view.running) {
            m_cancelling = false;
            EnableWindow(m_button.Hwnd(), TRUE);
        }
        return;
    }
    if (!m_active)
        return;
    ShowRows(view.rows);
    ShowStatus(view);
    SetProgress(view.progress);
    if (!view.running) {
        m_active = false;
        SetButton(IDS_UPDATE_AGAIN);
    }
}

void CUpdateDlg::ShowRows(const std::vector<UPDATE_ROW>& rows)
{
    for (size_t i = 0; i < rows.size(); ++i) {
        const UPDATE_ROW& row = rows[i];
        const int index = static_cast<int>(i);
        if (i >= m_shownStates.size()) {
            m_rows.AddRow({ row.name, row.size });
            m_shownStates.push_back(static_cast<UpdateRowState>(-1));
        }
        if (m_shownStates[i] == row.state)
            continue;
        m_shownStates[i] = row.state;
        m_rows.SetRowImage(index, row.state);
        m_rows.SetCell(index, 2, ui::LoadStr(RowText(row.state)));
    }
}

void CUpdateDlg::ShowStatus(const UPDATE_VIEW& view)
{
    const std::wstring text =
        view.status == UPDATE_STATUS_TRANSFER ? view.transferText : ui::LoadStr(StatusText(view.status));
    if (m_status.Text() != text)
        SetWindowTextW(m_status.Hwnd(), text.c_str());
}

BOOL CUpdateDlg::OnCommand(int id, int code, HWND control)
{
    switch (id) {
    case IDC_UPDATE_BUTTON:
        if (code == BN_CLICKED)
            ToggleUpdate();
        return TRUE;
    }
    return CPage::OnCommand(id, code, control);
}

BOOL CUpdateDlg::OnTimer(UINT_PTR id)
{
    if (id != kAutoCheckTimer)
        return FALSE;
    // Once per program run.
    KillTimer(m_hWnd, kAutoCheckTimer);
    AutoUpdateCheck();
    return TRUE;
}

BOOL CUpdateDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (msg == WM_UPDATE_CHANGED) {
        ShowView();
        return TRUE;
    }
    return FALSE;
}

BOOL CUpdateDlg::OnPaint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    RECT client;
    GetClientRect(m_hWnd, &client);
    FillRect(dc, &client, GroundBrush());
    // A light line under the list.
    RECT list = {};
    GetWindowRect(Item(IDC_UPDATE_LIST), &list);
    MapWindowPoints(HWND_DESKTOP, m_hWnd, reinterpret_cast<POINT*>(&list), 2);
    InflateRect(&list, 1, 1);
    ui::CPen pen(CreatePen(PS_SOLID, 1, ui::palette::kLightLine));
    HGDIOBJ old = SelectObject(dc, pen.Get());
    MoveToEx(dc, list.left, list.bottom, nullptr);
    LineTo(dc, list.right, list.bottom);
    SelectObject(dc, old);
    EndPaint(m_hWnd, &ps);
    return TRUE;
}

BOOL CUpdateDlg::OnClose()
{
    Shutdown();
    End(IDCANCEL);
    return TRUE;
}

void CUpdateDlg::OnDestroy()
{
    KillTimer(m_hWnd, kAutoCheckTimer);
    Shutdown();
}
