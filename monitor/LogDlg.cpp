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

} // namespace

CLogDlg::CLogDlg() : CPage(IDD_LOG_PAGE)
{
    // The template's list view needs its window class before the page exists.
    INITCOMMONCONTROLSEX icc = { sizeof(icc), ICC_LISTVIEW_CLASSES };
    InitCommonControlsEx(&icc);
}

BOOL CLogDlg::OnInitDialog()
{
    m_rows.Attach(List(), kListExStyles);
    m_rows.SetColumns({ { ui::LoadStr(IDS_LOG_COLUMN_TIME), 60 },
                        { ui::LoadStr(IDS_LOG_COLUMN_PROCESS), 90 },
                        { ui::LoadStr(IDS_LOG_COLUMN_ACTION), 60 },
                        { ui::LoadStr(IDS_LOG_COLUMN_INFO), 180 } });

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
    if (!m_rows.Hwnd())
        return;
    if (m_rows.RowCount() >= kMaxRows)
        m_rows.DeleteAllRows();

    const LOG_RECORD* record = LockLogRecord(sequence);
    if (!record) {
        UnlockLogRecord(sequence);
        return;
    }

    std::wstring time = ui::FormatStr(L"%d:%d:%d", record->time.wHour, record->time.wMinute, record->time.wSecond);
    const int row = m_rows.AddRow({ time });
    if (row >= 0) {
        // The name is NUL-terminated within its field; copy it bounded anyway.
        std::wstring process(record->processName,
                             wcsnlen(record->processName, LOG_PROCESS_NAME_CHARS));
        m_rows.SetCell(row, 1, process);
        m_rows.SetCell(row, 2, VerdictText(record->verdict));
        wchar_t info[kInfoChars + 1] = {};
        FormatParamList(record->params, info, kInfoChars + 1);
        m_rows.SetCell(row, 3, info);
    }
    UnlockLogRecord(sequence);
}
