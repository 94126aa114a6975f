// Resource ids of res/InsertReg.rc: the registry path picker.
#pragma once

#define IDD_INSERT_REG              194
#define IDC_INSERT_REG_TREE         1126
#define IDC_INSERT_REG_LIST         1127
#define IDC_INSERT_REG_LINE         1128
#define IDC_INSERT_REG_SPLITTER     1129

// Closed key, open key, computer: 16 x 16 each on magenta.
#define IDB_INSERT_REG_KEYS         195
#define IDI_VALUE_OTHER             196
#define IDI_VALUE_TEXT              197

#define IDS_MY_COMPUTER             230
#define IDS_VALUE_NAME              231
#define IDS_VALUE_TYPE              232
#define IDS_VALUE_DATA              233
