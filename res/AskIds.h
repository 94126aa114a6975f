// Resource ids of res/Ask.rc: the permission prompt.
#pragma once

// Dialog template
#define IDD_ASK                      187

// Controls
#define IDC_ASK_HEADLINE             1178
#define IDC_ASK_PROCESS_ICON         1138
#define IDC_ASK_OPERATION            1101
#define IDC_ASK_PROCESS              1106
#define IDC_ASK_PROPERTIES           1177
#define IDC_ASK_DESCRIPTION_LABEL    1148
#define IDC_ASK_DESCRIPTION          1062
#define IDC_ASK_PARAM1_LABEL         1153
#define IDC_ASK_PARAM1               1154
#define IDC_ASK_PARAM2_LABEL         1155
#define IDC_ASK_PARAM2               1156
#define IDC_ASK_COUNTDOWN            1073
#define IDC_ASK_EDIT_RULE            1135

// Button icons
#define IDI_ASK_ALLOW                4860
#define IDI_ASK_REFUSE               4861

// Strings
#define IDS_ASK_COUNTDOWN_ALLOW      4850
#define IDS_ASK_COUNTDOWN_REFUSE     4851
#define IDS_ASK_OPERATION            4852
#define IDS_ASK_PROCESS              4853
#define IDS_ASK_FILE_PATH            4854
#define IDS_ASK_REGISTRY_PATH        4855
#define IDS_ASK_REGISTRY_NAME        4856
