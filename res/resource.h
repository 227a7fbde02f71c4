// Resource and control identifiers of the program's dialogs, menu and pictures.
#pragma once

// Main window
#define IDD_MAIN_DIALOG_NAME "MAIN_DIALOG"
#define IDR_MENU1 130
#define IDC_MAIN_PICTURE 1257
#define IDB_MAIN_PICTURE 1
#define IDI_MPTEST 104

// Menu commands
#define IDM_PORT_SETTINGS 40006
#define IDM_EXIT 40007
#define IDM_TEST 40017
#define IDM_USER_CMD 40018
#define IDM_ABOUT 40022
#define IDM_DOWN_VERSION 40025
#define IDM_DOWN_FONT 40026
#define IDM_DOWN_PRN_NUM 40027
#define IDM_EPP 40028

// Feature dialogs
#define IDD_PORT_SETTINGS 1185
#define IDD_TEST 125
#define IDD_USER_CMD 126
#define IDD_DOWN_VERSION 127
#define IDD_ABOUT 129
#define IDD_DOWN_FONT 1186
#define IDD_DOWN_PRN_NUM 1188
#define IDD_EPP 1189

// About box
#define IDC_ABOUT_OK 1225

// Command console
#define IDC_UC_PARALLEL 1216
#define IDC_UC_USB 1217
#define IDC_UC_SERIAL 1218
#define IDC_UC_INPUT 1197
#define IDC_UC_HEX 1198
#define IDC_UC_LOOP_CMDS 1201
#define IDC_UC_SEND 1199
#define IDC_UC_STOP_CMDS 1208
#define IDC_UC_CLEAR 1200
#define IDC_UC_INPUT_HINT 1207
#define IDC_UC_SEL_FILE 1202
#define IDC_UC_FILE_NAME 1203
#define IDC_UC_LOOP_FILE 1206
#define IDC_UC_SEND_FILE 1204
#define IDC_UC_STOP_FILE 1209
#define IDC_UC_EXIT 1193
#define IDC_UC_STATUSBAR 2001

// Unnamed labels and group boxes
#define IDC_STATIC_TEXT (-1)

// Port settings dialog
#define IDC_PS_LPT 1191
#define IDC_PS_TEST_LPT 1237
#define IDC_PS_USB1 1178
#define IDC_PS_USB2 1179
#define IDC_PS_COM 1185
#define IDC_PS_BAUD 1186
#define IDC_PS_DATABITS 1187
#define IDC_PS_PARITY 1188
#define IDC_PS_STOPBITS 1189
#define IDC_PS_FLOW 1190
#define IDC_PS_OK 1176
#define IDC_PS_CANCEL 1180
#define IDC_PS_DEFAULT 1181
// The device a COM name opens, where the system lets the user choose it.
#define IDC_PS_DEVICE_LABEL 1300
#define IDC_PS_DEVICE 1301

// EPP console
#define IDC_EPP_PARALLEL 1274
#define IDC_EPP_STATUS 1227
#define IDC_EPP_INPUT 1275
#define IDC_EPP_HEX 1276
#define IDC_EPP_LOOP 1277
#define IDC_EPP_SEND 1278
#define IDC_EPP_STOP_SEND 1279
#define IDC_EPP_CLEAR 1280
#define IDC_EPP_START_READ 1202
#define IDC_EPP_STOP_READ 1281
