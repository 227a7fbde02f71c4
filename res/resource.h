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
// The receive area below the console's original controls.
#define IDC_UC_RX_VIEW 1400
#define IDC_UC_RX_HEX 1401
#define IDC_UC_RX_STAMPS 1402
#define IDC_UC_RX_CLEAR 1403
#define IDC_UC_RX_COUNT 1404
#define IDC_UC_STATUS_QUERY 1405
#define IDC_UC_LINE_END 1406
#define IDC_UC_LOG_SAVE 1407
#define IDC_UC_LOG_APPEND 1408
#define IDC_UC_RX_GROUP 1409
// The network printer's radio, beside the three ports of the cable.
#define IDC_UC_NETWORK 1470

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
// The network printer's radios of the download dialogs.
#define IDC_DV_NETWORK 1472
#define IDC_DF_NETWORK 1473
#define IDC_DN_NETWORK 1474
#define IDC_DW_STATUSBAR 2000

// Test dialog and its six pages
#define IDD_TEST_CHAR 131
#define IDD_TEST_GBK 132
#define IDD_TEST_BMARK 133
#define IDD_TEST_OTHER 134
#define IDD_TEST_DIANLIU 1187
#define IDD_TEST_USBLIB 1190
#define IDC_T_PARALLEL 1190
#define IDC_T_USB 1191
#define IDC_T_SERIAL 1192
#define IDC_T_CLOSE 1215
// The network printer's radio of the test dialog.
#define IDC_T_NETWORK 1471
#define IDC_T_GROUP 1235
#define IDC_T_TAB 1236
// Latin characters
#define IDC_CHAR_START 1237
#define IDC_CHAR_ASC 1238
#define IDC_CHAR_H 1239
#define IDC_CHAR_I 1240
#define IDC_CHAR_FONT 1241
#define IDC_CHAR_DWIDTH 1242
#define IDC_CHAR_DHEIGHT 1243
#define IDC_CHAR_UNDERLINE 1244
#define IDC_CHAR_STOP 1246
// Chinese characters
#define IDC_GBK_ZONE 1245
#define IDC_GBK_DWIDTH 1247
#define IDC_GBK_DHEIGHT 1248
#define IDC_GBK_UNDERLINE 1249
#define IDC_GBK_START 1251
#define IDC_GBK_STOP 1252
// Black mark
#define IDC_BM_DIST_A 1227
#define IDC_BM_DIST_B 1228
#define IDC_BM_DIST_C 1229
#define IDC_BM_SET_A 1237
#define IDC_BM_SET_B 1238
#define IDC_BM_SET_C 1239
#define IDC_BM_CUT 1254
#define IDC_BM_TEST 1255
#define IDC_BM_STOP 1256
#define IDC_BM_ON 1257
#define IDC_BM_OFF 1258
// Current test
#define IDC_DL_CARRIAGE 1265
#define IDC_DL_FEED 1266
#define IDC_DL_PINS 1267
// Common tests
#define IDC_OT_BLACK 1237
#define IDC_OT_SAMPLE 1238
#define IDC_OT_DRAWER1 1239
#define IDC_OT_DRAWER2 1240
#define IDC_OT_CUT_FULL 1241
#define IDC_OT_CUT_PART 1242
#define IDC_OT_BAUD 1288
#define IDC_OT_SET_BAUD 1289
#define IDC_OT_CUTTER_ON 1292
#define IDC_OT_CUTTER_OFF 1293
// USB test
#define IDC_USB_READBACK 1227
#define IDC_USB_WRITTEN 1228
#define IDC_USB_WRITE 1284
#define IDC_USB_READ 1285

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
#define IDC_PS_REFRESH 1302
// The network printer's group, below the original controls.
#define IDC_PS_NET_HOST 1303
#define IDC_PS_NET_PORT 1304
#define IDC_PS_NET_TIMEOUT 1305
#define IDC_PS_NET_TEST 1306
#define IDC_PS_NET_RESULT 1307

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

// Printer toolbox: the dialog, its four pages and their controls
#define IDM_TOOLS 40029
#define IDD_TOOLS 1191
#define IDD_TOOLS_IMAGE 1192
#define IDD_TOOLS_CODEPAGE 1193
#define IDD_TOOLS_DRAWER 1194
#define IDD_TOOLS_INFO 1195
#define IDC_TL_PARALLEL 1400
#define IDC_TL_SERIAL 1401
#define IDC_TL_USB 1402
#define IDC_TL_NETWORK 1475
#define IDC_TL_TAB 1403
#define IDC_TL_STATUS 1404
#define IDC_TL_CLOSE 1405
#define IDC_IM_OPEN 1410
#define IDC_IM_FILE 1411
#define IDC_IM_WIDTH 1412
#define IDC_IM_PRESET 1413
#define IDC_IM_FEED 1414
#define IDC_IM_DITHER 1415
#define IDC_IM_THRESHOLD 1416
#define IDC_IM_BRIGHTNESS 1417
#define IDC_IM_INVERT 1418
#define IDC_IM_RASTER 1419
#define IDC_IM_SIZE 1420
#define IDC_IM_PRINT 1421
#define IDC_IM_PREVIEW 1422
#define IDC_IM_UP 1423
#define IDC_IM_DOWN 1424
#define IDC_CP_NUMBER 1430
#define IDC_CP_NAMED 1431
#define IDC_CP_PRINT 1432
#define IDC_CP_PRINT_ALL 1433
#define IDC_DR_PIN2 1440
#define IDC_DR_PIN5 1441
#define IDC_DR_ON 1442
#define IDC_DR_ON_BYTE 1443
#define IDC_DR_OFF 1444
#define IDC_DR_OFF_BYTE 1445
#define IDC_DR_TIMES 1446
#define IDC_DR_INTERVAL 1447
#define IDC_DR_BYTES 1448
#define IDC_DR_OPEN 1449
#define IDC_DR_STOP 1450
#define IDC_IF_READ 1460
#define IDC_IF_MODEL 1461
#define IDC_IF_TYPE 1462
#define IDC_IF_VERSION 1463
