// The download dialogs: firmware ("version") files, font files and the
// machine number, and the frame they share (status bar, port radios, file
// chooser, transfer reports, close).
#pragma once

#include "platform/win32.h"
#include "printer/download.h"
#include "res/texts.h"
#include "send/download_file.h"

#include <string>

enum DownloadDialogType : BYTE { DLG_DOWN_VERSION = 1, DLG_DOWN_FONT = 2, DLG_DOWN_PRN_NUM = 3 };

extern BYTE dlgType;
extern HWND hStatusBarDw;
extern BYTE openPORT;
extern int curButton;
// Between a transfer's length report and its final report. A firmware
// write cut short can leave a printer that no longer starts, so the
// firmware and font dialogs refuse to close in that time.
extern bool bDownloading;

INT_PTR CALLBACK bDownVerFileDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK bDownFontFileDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK bDownPrnNumDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The frame, for whichever dialog dlgType names.
void _CreateStatusBar(HWND hwnd);
void _InitCtrls_Dw(HWND hwnd);
BOOL SetCurrentPort_Dw(HWND hwnd, int radioId, BYTE portType);
void handleSelFileButton_Dw(HWND hwnd);
void handleSendOverButton_Dw(HWND hwnd);
void handleSendFileStatus(HWND hwnd, WPARAM code, LPARAM value);
void _ExitDialog_Dw(HWND hwnd);
// A port radio was clicked: takes the choice, or clears the radio when a
// send holds the port.
void handlePortRadio_Dw(HWND hwnd, int radioId, BYTE portType);
// Writes `text` into part `part` of the status bar (0: port and result,
// 1: progress).
void SetStatusText_Dw(int part, const char* text);
// An error box over the dialog.
void ShowError_Dw(HWND hwnd, const char* text);
// "打开端口失败!" in the status bar and the port type's message box.
void ShowPortOpenFailed_Dw(HWND hwnd, BYTE portType);

// The start button shared by the firmware and font dialogs.
void handleSendButton_Dw(HWND hwnd);
