// Resource ids of res/RuleEditor.rc: the rule editor, its rule and group
// dialogs, their menus and strings.
#pragma once

// Rule editor window
#define IDD_RULE_EDITOR             130
#define IDC_RULE_REFRESH            1142
#define IDC_RULE_SAVE               1143
#define IDC_RULE_IMPORT             1144
#define IDC_RULE_EXPORT             1145
#define IDC_RULE_NEW_GROUP          1102
#define IDC_RULE_EDIT_GROUP         1112
#define IDC_RULE_DELETE_GROUP       1103
#define IDC_RULE_TREE_HEADING       1167
#define IDC_RULE_TREE               1078
#define IDC_RULE_LIST_HEADING       1170
#define IDC_RULE_LIST               1012
#define IDC_RULE_NEW_RULE           1052
#define IDC_RULE_EDIT_RULE          1070
#define IDC_RULE_DELETE_RULES       1071
#define IDC_RULE_MOVE_TO_GROUP      1111
#define IDC_RULE_SPLITTER           1120
#define IDC_RULE_STATUS_BAR         1121
#define IDC_RULE_FILTER_LABEL       1190
#define IDC_RULE_FILTER             1191

// Shared by the editor's details and the rule dialog
#define IDC_RULE_INFO_LABEL         1148
#define IDC_RULE_INFO               1062
#define IDC_RULE_PARAM1_LABEL       1153
#define IDC_RULE_PARAM1             1154
#define IDC_RULE_PARAM2_LABEL       1155
#define IDC_RULE_PARAM2             1156

// Rule dialog
#define IDD_EDIT_RULE               181
#define IDC_EDIT_RULE_ASK           1068
#define IDC_EDIT_RULE_KIND_BOX      1101
#define IDC_EDIT_RULE_REGISTRY      1095
#define IDC_EDIT_RULE_FILE          1094
#define IDC_EDIT_RULE_EXECUTE       1164
#define IDC_EDIT_RULE_LOG_BOX       1064
#define IDC_EDIT_RULE_LOG           1089
#define IDC_EDIT_RULE_NO_LOG        1090
#define IDC_EDIT_RULE_ACTION_BOX    1065
#define IDC_EDIT_RULE_ALLOW         1091
#define IDC_EDIT_RULE_REFUSE        1092
#define IDC_EDIT_RULE_BROWSE        1124

// Group dialog
#define IDD_EDIT_GROUP              189
#define IDC_EDIT_GROUP_NAME         1106
#define IDC_EDIT_GROUP_INFO         1108

// Menus: the tree's group menu and the list's rule menu
#define IDR_RULE_GROUP_MENU         184
#define IDR_RULE_LIST_MENU          185
#define ID_RULE_NEW_GROUP           32808
#define ID_RULE_DELETE_GROUP        32809
#define ID_RULE_EDIT_GROUP          32810
#define ID_RULE_NEW_RULE            32815
#define ID_RULE_EDIT_RULE           32816
#define ID_RULE_DELETE_RULES        32817
#define ID_RULE_MOVE_TO_GROUP       32818
// "Move to group" menu: one item per group from this id on
#define ID_RULE_MOVE_FIRST          300

// Strings
#define IDS_RULE_ROOT_KINDS         5000
#define IDS_RULE_ROOT_GROUPS        5001
#define IDS_RULE_COLUMN_SUMMARY     5002
#define IDS_RULE_COLUMN_KIND        5003
#define IDS_RULE_COLUMN_LOG         5004
#define IDS_RULE_COLUMN_ACTION      5005
#define IDS_RULE_COLUMN_ASK         5006
#define IDS_RULE_COLUMN_GROUP       5007
#define IDS_RULE_LOG_NONE           5008
#define IDS_RULE_LOG_LOG            5009
#define IDS_RULE_LOG_ALERT          5010
#define IDS_RULE_ACTION_ACCEPT      5011
#define IDS_RULE_ACTION_REJECT      5012
#define IDS_RULE_ASK_YES            5013
#define IDS_RULE_ASK_NO             5014
#define IDS_RULE_NO_GROUP           5015
#define IDS_RULE_LABEL_REG_PATH     5016
#define IDS_RULE_LABEL_REG_NAME     5017
#define IDS_RULE_LABEL_FILE_PATH    5018
#define IDS_RULE_CONFIRM_DELETE_GROUP 5019
#define IDS_RULE_CONFIRM_DELETE_RULES 5020
#define IDS_RULE_SELECT_TO_MOVE     5021
#define IDS_RULE_GROUP_EXISTS       5022
#define IDS_RULE_SELECT_TO_EXPORT   5023
#define IDS_RULE_ASK_SAVE           5024
#define IDS_RULE_FILE_FILTER        5025
#define IDS_RULE_IMPORT_NO_GROUP    5026
#define IDS_RULE_SAVE_FAILED        5027
#define IDS_RULE_TABLE_REFUSED      5028
#define IDS_GROUP_TITLE_EDIT        5030
#define IDS_GROUP_TITLE_NEW         5031
#define IDS_GROUP_NAME_EMPTY        5032
#define IDS_GROUP_NAME_TAKEN        5033
#define IDS_RULE_TITLE_NEW          5040
#define IDS_RULE_TITLE_EDIT         5041
#define IDS_RULE_BROWSE_REGISTRY    5042
#define IDS_RULE_BROWSE_FILE        5043
#define IDS_RULE_FILE_PATH_EMPTY    5044
#define IDS_RULE_REG_PATH_EMPTY     5045
#define IDS_RULE_CHOOSE_FOLDER      5046
#define IDS_RULE_FILTER_LABEL       5047
#define IDS_RULE_COLUMN_HITS        5048
#define IDS_RULE_COLUMN_LAST_HIT    5049
#define IDS_RULE_SAVING             5050
