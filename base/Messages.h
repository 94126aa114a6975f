// Window messages of the main window. The numbers are fixed: the request
// thread, the prompt, the pages, the balloons and the shell send them.
#pragma once

#include <windows.h>

#define WM_TRAY_NOTIFY     0x16F1 // wParam icon id, lParam mouse message
#define WM_TAB_CHANGED     0x16F2 // wParam page number
#define WM_WATCH_LOG       0x16F3 // wParam WATCH_LOG_ROW or WATCH_LOG_BALLOON; lParam log sequence number
#define WM_SHOW_PAGE       0x16F4 // wParam page number
#define WM_BALLOON_OFF     0x16F5 // wParam balloon kind 1 or 2
#define WM_WATCH_EDIT_RULE 0x16F6 // wParam rule identity, or 0
#define WM_WATCH_COUNT     0x16F7

// Online update and promotion feed.
#define WM_UPDATE_CHANGED  0x1720 // to the update page: its worker's view changed
#define WM_FEED_READY      0x1721 // to the main window: the feed thread ended, wParam its result (0: fresh feed)
#define WM_BANNER_CLICK    0x1722 // to the main window: a banner item was clicked, wParam its index

// To every page that shows settings, sent by CConfig when one was changed
// and saved: wParam the Setting.
#define WM_SETTINGS_CHANGED (WM_APP + 0x60)

// Timers of the main window (the promotion area's feed timer beside them is
// the promotion area's own).
#define HM_SESSION_TIMER_ID 1002 // asks whether the driver link still holds its session
#define HM_SESSION_CHECK_MS 5000

// wParam of WM_WATCH_LOG: add the record's row to the log page, or show the
// monitoring balloon for it.
#define WATCH_LOG_ROW     1
#define WATCH_LOG_BALLOON 2

// Posted to the request thread's open prompt to withdraw it (the driver link
// stopped): the prompt closes without an answer.
#define WM_ASK_WITHDRAW (WM_APP + 0x41)

// Posted by the request thread to the main window: a prompt added a rule to
// the rule file, which an open rule editor shows again.
#define WM_WATCH_RULES_WRITTEN (WM_APP + 0x42)

#define HM_TRAY_ICON_ID 1
#define HM_HOTKEY_ID    1001

// Title of the hidden frame; the updater finds the running program by it.
#define HM_MAIN_FRAME_TITLE L"HarrowmereMainFrame"

// Messages of the rule editor and the registry path picker (private to
// those windows).
#define WM_RULE_SPLITTER_MOVED   (WM_APP + 0x50) // wParam splitter id, lParam distance moved
#define WM_INSERT_REG_SPLITTER   (WM_APP + 0x51) // wParam splitter id, lParam distance moved
#define WM_INSERT_REG_HIVE_READY (WM_APP + 0x52) // the loader queued a hive's subkeys
#define WM_INSERT_REG_LOADED     (WM_APP + 0x53) // the loader is done
#define WM_RULE_SAVED            (WM_APP + 0x54) // the rule editor's save job has written the file (or could not)

// Inspection tools and their controls (each window's own messages).
// WM_APP + 0x140 is the tree list control's own (controls/TreeListCtrl.h).
#define WM_TASK_REFRESHED    (WM_APP + 0x141) // process manager: a refresh is waiting
#define WM_TASK_DETAILS      (WM_APP + 0x142) // process manager: module or handle rows are waiting
#define WM_FINDER_DONE       (WM_APP + 0x143) // finder: the search has ended
