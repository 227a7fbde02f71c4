// The download dialogs: firmware ("version") files, font files and the
// machine number, and the frame they share (status bar, port radios, file
// chooser, transfer reports, close).
#pragma once

#include "platform/win32.h"

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
// The message box's words when a port of this type does not open.
const char* PortOpenFailedText_Dw(BYTE portType);
// "打开端口失败!" in the status bar and the port type's message box.
void ShowPortOpenFailed_Dw(HWND hwnd, BYTE portType);

// The start button shared by the firmware and font dialogs.
void handleSendButton_Dw(HWND hwnd);

// The bytes and words of the download dialogs, for the dialogs and for
// mptest-cli alike.
constexpr size_t kPrnNumLength = 12;
// Exactly twelve ASCII letters and digits, nothing trimmed.
bool IsLegalPrnNum(const char* text);
// The machine-number write for a legal number, and the print request.
std::string PrnNumWriteBytes_Dw(const char* number);
std::string PrnNumPrintBytes_Dw();
// Why a firmware or font file cannot go to the printer ("文件为空", "文件超过
// 5 MB（…）", unreadable), empty when it can.
std::string DownloadFileFault_Dw(const char* path);
// The firmware dialog's "enter download state" command.
std::string EnterDownloadBytes_Dw();
extern const char kDownloadDoneText_Dw[];
extern const char kDownloadFailedText_Dw[];
extern const char kDownloadRefusedText_Dw[];
extern const char kPrnNumIllegalText_Dw[];
extern const char kPrnNumWrittenText_Dw[];
extern const char kPrnNumWriteFailedText_Dw[];
extern const char kPrnNumPrintedText_Dw[];
extern const char kPrnNumPrintFailedText_Dw[];
