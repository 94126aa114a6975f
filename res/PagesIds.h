// Resource ids of res/Pages.rc: the status, log, settings and help pages of
// the main window.
#pragma once

// Dialog templates
#define IDD_LOG_PAGE                 131
#define IDD_STATUS_PAGE              152
#define IDD_CONFIG_PAGE              191
#define IDD_HELP_PAGE                203

// Status page bitmaps (the state icons: 168 off, 169 on)
#define IDB_STATUS_HELP              153
#define IDB_STATUS_COUNTER           154
#define IDB_STATE_OFF                168
#define IDB_STATE_ON                 169

// Status page controls
#define IDC_STATUS_HELP_LINK         1030
#define IDC_STATUS_MONITOR_ICON      1038
#define IDC_STATUS_MONITOR_LABEL     1023
#define IDC_STATUS_MONITOR_SWITCH    1024
#define IDC_STATUS_UPDATE_ICON       1039
#define IDC_STATUS_UPDATE_LABEL      1036
#define IDC_STATUS_UPDATE_SWITCH     1037
#define IDC_STATUS_BLOCK_COUNT       1025
#define IDC_STATUS_PROCESS_MANAGER   1158
#define IDC_STATUS_RULE_EDITOR       1079
#define IDC_STATUS_SETTINGS          1081
#define IDC_STATUS_UPDATE_NOW        1082
#define IDC_STATUS_VERSION           1032
#define IDC_STATUS_RULE_DATE         1033
#define IDC_STATUS_NOTICE            1035

// Log page controls
#define IDC_LOG_LIST                 1015

// Settings page controls
#define IDC_CONFIG_GENERAL           1180
#define IDC_CONFIG_HOTKEY_SECTION    1182
#define IDC_CONFIG_AUTORUN           1116
#define IDC_CONFIG_SHOW_INFO         1117
#define IDC_CONFIG_SHOW_RUN_INFO     1118
#define IDC_CONFIG_HOTKEY_LABEL      1183
#define IDC_CONFIG_HOTKEY            1184
#define IDC_CONFIG_APPLY             1186

// Help page controls
#define IDC_HELP_LINK                1157

// Strings
#define IDS_LOG_COLUMN_TIME          149
#define IDS_LOG_COLUMN_PROCESS       150
#define IDS_LOG_COLUMN_ACTION        151
#define IDS_LOG_COLUMN_INFO          152
#define IDS_STATUS_HELP_TIP          189
#define IDS_STATUS_BLOCK_COUNT       220
#define IDS_STATUS_RULE_DATE         242
#define IDS_HELP_ADDRESS             4900
