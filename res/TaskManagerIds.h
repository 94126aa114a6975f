// Resource ids of res/TaskManager.rc: the process manager and the module and
// handle finder.
#pragma once

// Dialog templates
#define IDD_TASK_MANAGER             132
#define IDD_FIND_DLL_HANDLE          227

// Button icons
#define IDI_TASK_VIEW_MODULES        221
#define IDI_TASK_PROPERTIES          222
#define IDI_TASK_END_PROCESS         223
#define IDI_TASK_FIND_MODULE         224
#define IDI_TASK_FIND_HANDLE         225
#define IDI_TASK_VIEW_HANDLES        226

// Menus
#define IDR_TASK_PROCESS_MENU        230
#define IDR_TASK_MODULE_MENU         231
#define ID_TASK_VIEW_SWITCH          32824
#define ID_TASK_PROPERTIES           32825
#define ID_TASK_END_PROCESS          32826
#define ID_TASK_FIND_MODULE          32827
#define ID_TASK_FIND_HANDLE          32828
#define ID_TASK_MODULE_PROPERTIES    32830

// Process manager controls (the lists and the status bar are made by the window)
#define IDC_TASK_END_PROCESS         1002
#define IDC_TASK_FIND_MODULE         1104
#define IDC_TASK_VIEW_SWITCH         1172
#define IDC_TASK_PROPERTIES          1173
#define IDC_TASK_FIND_HANDLE         1174
#define IDC_TASK_STATUS_BAR          1177
#define IDC_TASK_PROCESS_LIST        5000
#define IDC_TASK_MODULE_LIST         5001
#define IDC_TASK_HANDLE_LIST         5002

// Finder controls
#define IDC_FIND_NAME                1152
#define IDC_FIND_NAME_LABEL          1153
#define IDC_FIND_SEARCH              1175
#define IDC_FIND_LIST                1176

// Strings
#define IDS_TASK_COLUMN_PROCESS      153
#define IDS_TASK_COLUMN_MODULE       154
#define IDS_TASK_COLUMN_DESCRIPTION  155
#define IDS_TASK_COLUMN_PID          160
#define IDS_TASK_CPU_INITIAL         202
#define IDS_TASK_COUNT_INITIAL       203
#define IDS_TASK_COLUMN_CPU          244
#define IDS_TASK_COLUMN_MEMORY       245
#define IDS_TASK_COLUMN_COMPANY      246
#define IDS_TASK_MODULE_DESCRIPTION  247
#define IDS_TASK_MODULE_COMPANY      248
#define IDS_TASK_MODULE_PATH         249
#define IDS_TASK_MODULE_DATE         250
#define IDS_TASK_DATE_FORMAT         251
#define IDS_TASK_CPU_FORMAT          254
#define IDS_TASK_COUNT_FORMAT        255
#define IDS_TASK_VIEW_MODULES        256
#define IDS_TASK_VIEW_HANDLES        257
#define IDS_TASK_PROPERTIES          258
#define IDS_TASK_END_PROCESS         259
#define IDS_TASK_FIND_MODULE         260
#define IDS_TASK_FIND_HANDLE         261
#define IDS_TASK_HANDLE_NAME         262
#define IDS_TASK_HANDLE_TYPE         263
#define IDS_TASK_END_QUESTION        264
#define IDS_FIND_COLUMN_PROCESS      265
#define IDS_FIND_COLUMN_PATH         266
#define IDS_FIND_COLUMN_PID          267
