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
#define IDC_ASK_DURATION             1179

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
// The duration list, in the order of AnswerDuration
#define IDS_ASK_DURATION_ONCE        4862
#define IDS_ASK_DURATION_TEN_MINUTES 4863
#define IDS_ASK_DURATION_UNTIL_EXIT  4864
#define IDS_ASK_DURATION_ALWAYS      4865
// The group of the rules that "总是" makes
#define IDS_PROMPT_RULE_GROUP        4866
// After the verdict word of a log line: who answered
#define IDS_LOG_BY_PROMPT            4867
#define IDS_LOG_BY_MEMORY            4868
// To the rule editor when a prompt rewrote the rule file under its edits
#define IDS_RULE_FILE_CHANGED        4869
