// Resource ids. The numbers are fixed: other components, stored settings and
// the window messages refer to them.
#pragma once

#include "AskIds.h"
#include "ControlsIds.h"
#include "InsertRegIds.h"
#include "PagesIds.h"
#include "RuleEditorIds.h"
#include "UpdateIds.h"
#include "TaskManagerIds.h"

// Icons
#define IDI_MAINFRAME               128
#define IDI_TRAY                    159
#define IDI_TRAY_MARKER             135

// Dialog templates
#define IDD_HARROWMERE_DIALOG       102

// Main window controls
#define IDC_MAIN_CLOSE              1018
#define IDC_MAIN_MINIMIZE           1019
#define IDC_MAIN_TAB                1020
#define IDC_MAIN_PICTURE            1022
#define IDC_MAIN_BANNER             1119

// Menus
#define IDR_TRAY_MENU               134
#define ID_TRAY_EXIT                32772
#define ID_TRAY_AUTORUN             32783
#define ID_TRAY_LOG                 32784
#define ID_TRAY_OPEN                32787
#define ID_TRAY_MONITORING          32788
#define ID_TRAY_AUTO_UPDATE         32791
#define ID_TRAY_SHOW_INFO           32793
#define ID_TRAY_RULE_EDITOR         32799
#define ID_TRAY_PROCESS_MANAGER     32804

// Strings
#define IDS_START_BALLOON_TITLE     136
#define IDS_START_BALLOON_TEXT      137
#define IDS_APP_TITLE               138
#define IDS_MINIMIZE                139
#define IDS_CLOSE                   140
#define IDS_VERDICT_ACCEPT          145
#define IDS_VERDICT_REJECT          146
#define IDS_MONITORING_ON           161
#define IDS_MONITORING_OFF          162
#define IDS_TURN_MONITORING_OFF     163
#define IDS_TURN_MONITORING_ON      164
#define IDS_AUTO_UPDATE_ON          165
#define IDS_AUTO_UPDATE_OFF         166
#define IDS_TURN_AUTO_UPDATE_OFF    167
#define IDS_TURN_AUTO_UPDATE_ON     168
#define IDS_INFO_BALLOON_TITLE      169
#define IDS_INFO_BALLOON_OFF        170
#define IDS_START_BALLOON_OFF       171
#define IDS_CAPTION_ERROR           208
#define IDS_CAPTION_WARNING         214
#define IDS_DRIVER_LOAD_FAILED      235
#define IDS_PICTURE_TIP             243
#define IDS_HOTKEY_FAILED           269
#define IDS_TAB_STATUS              4950
#define IDS_TAB_LOG                 4951
#define IDS_TAB_SETTINGS            4952
#define IDS_TAB_UPDATE              4953
#define IDS_TAB_HELP                4954
#define IDS_BANNER_DEFAULT          4955
#define IDS_RULES_REFUSED           4970
