// The log page of the main window (template 131): one list view with the
// most recent activity-log entries, one row per entry, filled from the log
// queue when the page is created and extended as entries arrive.
#pragma once

#include "controls/ListView.h"
#include "res/resource.h"
#include "ui/Page.h"

#include <windows.h>

#include <cstdint>

class CLogDlg : public ui::CPage {
public:
    // The list never holds more rows than this: the row after the limit
    // starts a fresh list.
    static const int kMaxRows = 128;

    CLogDlg();

    // Appends the entry with this sequence number as the last row (after
    // clearing a full list); nothing when the entry is no longer kept.
    void AddLogRow(int32_t sequence);

    HWND List() const { return Item(IDC_LOG_LIST); }

protected:
    BOOL OnInitDialog() override;

private:
    CListView m_rows;
};
