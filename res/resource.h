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

// Download dialogs: firmware (127), font (1186), machine number (1188)
#define IDC_DV_SEL_FILE 1205
#define IDC_DV_SEND 1206
#define IDC_DV_EXIT 1207
#define IDC_DV_ENTER_DOWNLOAD 1208
#define IDC_DV_PARALLEL 1211
#define IDC_DV_USB 1212
#define IDC_DV_SERIAL 1213
#define IDC_DV_PATH 1214
#define IDC_DF_PARALLEL 1258
#define IDC_DF_USB 1259
#define IDC_DF_SERIAL 1260
#define IDC_DF_SEL_FILE 1261
#define IDC_DF_PATH 1262
#define IDC_DF_SEND 1263
#define IDC_DF_EXIT 1264
#define IDC_DN_PARALLEL 1268
#define IDC_DN_USB 1269
#define IDC_DN_SERIAL 1270
#define IDC_DN_NUMBER 1271
#define IDC_DN_SEND 1272
#define IDC_DN_EXIT 1273
#define IDC_DN_PRINT 1274
#define IDC_DW_STATUSBAR 2000

// Unnamed labels and group boxes
#define IDC_STATIC_TEXT (-1)
