#include "monitor/LogDlg.h"

#include "base/Strings.h"
#include "log/ActivityLog.h"

#include <commctrl.h>

namespace {

// Grid lines, full-row select, flat scroll bars, info tips.
const DWORD kListExStyles = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_FLATSB | LVS_EX_INFOTIP;
static_assert(kListExStyles == 0x521, "list view extended styles");

// The parameter text of a row is cut to this many characters.
const int kInfoChars = 1024;

void SetCell(HWND list, int row, int column, const wchar_t* text)
{
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text);
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

} // namespace

CLogDlg::CLogDlg() : CDialog(IDD_LOG_PAGE)
{
    // The template's list view needs its window class before the page exists.
    INITCOMMONCONTROLSEX icc = { sizeof(icc), ICC_LISTVIEW_CLASSES };
    InitCommonControlsEx(&icc);
}

BOOL CLogDlg::OnInitDialog()
{
    HWND list = List();
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, kListExStyles, kListExStyles);
    const struct {
        UINT heading;
        int width;
    } columns[] = { { IDS_LOG_COLUMN_TIME, 60 },
                    { IDS_LOG_COLUMN_PROCESS, 90 },
                    { IDS_LOG_COLUMN_ACTION, 60 },
                    { IDS_LOG_COLUMN_INFO, 180 } };
    for (int i = 0; i < 4; ++i) {
        std::wstring heading = ui::LoadStr(columns[i].heading);
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = &heading[0];
        column.cx = columns[i].width;
        column.iSubItem = i;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }

    // Every entry the log still keeps, oldest first.
    int32_t first = LogDroppedCount();
    if (first < 1)
        first = 0;
    const int32_t end = LogNextSequence();
    for (int32_t sequence = first; sequence < end; ++sequence)
        AddLogRow(sequence);
    return TRUE;
}

void CLogDlg::AddLogRow(int32_t sequence)
{
    HWND list = List();
    if (!list)
        return;
    if (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) >= kMaxRows)
        SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);

    const LOG_RECORD* record = LockLogRecord(sequence);
    if (!record) {
        UnlockLogRecord(sequence);
        return;
    }

    std::wstring time = ui::FormatStr(L"%d:%d:%d", record->time.wHour, record->time.wMinute, record->time.wSecond);
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = &time[0];
    const int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (row >= 0) {
        // The name is NUL-terminated within its field; copy it bounded anyway.
        std::wstring process(record->processName,
                             wcsnlen(record->processName, LOG_PROCESS_NAME_CHARS));
        SetCell(list, row, 1, process.c_str());
        SetCell(list, row, 2, VerdictText(record->verdict).c_str());
        wchar_t info[kInfoChars + 1] = {};
        FormatParamList(record->params, info, kInfoChars + 1);
        SetCell(list, row, 3, info);
    }
    UnlockLogRecord(sequence);
}

BOOL CLogDlg::OnCommand(int id, int code, HWND control)
{
    // Enter and Escape do not close a page.
    return id == IDOK || id == IDCANCEL;
}

BOOL CLogDlg::OnClose()
{
    DestroyWindow(m_hWnd);
    return TRUE;
}
