// The command console: typed commands and command files to the printer.
#pragma once

#include "platform/win32.h"

#include <string>
#include <string_view>

INT_PTR CALLBACK bUserCmdDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

extern HWND hStatusBarUc;
extern DWORD dwSendCmdsCout;
extern DWORD dwSendFileLen;

void _CreateStatusBar_Uc(HWND hwnd);
BOOL SetCurrentPort(HWND hwnd, BYTE type);
void handleSendButton(HWND hwnd);
// Up (or Down) in the input box: TRUE when it recalled a command.
BOOL handleHistoryKey(HWND hwnd, BOOL up);
void handleSendFileButton(HWND hwnd);
void handleSelFileButton(HWND hwnd);
void handleSendOverButton(HWND hwnd);

// The receive area (console_receive.cpp).
struct RxView;
extern RxView gRxView;
void InitReceive_Uc(HWND hwnd);
void ExitReceive_Uc(HWND hwnd);
// On a screen shorter than the dialog: the receive view gives up height.
void FitToScreen_Uc(HWND hwnd);
// After the user picked a port: the view follows it (a reader on a serial or
// USB port, a note on the parallel port).
void FollowPort_Uc(HWND hwnd, BOOL opened);
// A port lost to an unplug is opened again before the next send, and the
// receive view follows it.
void ReopenLostPort_Uc(HWND hwnd);
// Bytes the console hands to the engine: logged, and status requests noted.
void NoteSent_Uc(std::string_view bytes);
// The same for the bytes of a command file about to be sent.
void NoteSentFile_Uc(const char* path);
// The chosen line ending for text sends ("" for 无).
std::string LineEnding_Uc(HWND hwnd);
BOOL IsReceiveMessage_Uc(UINT message);
void handleReceiveMessage_Uc(HWND hwnd, UINT message);
void handleReceived_Uc(HWND hwnd);
void handleRxViewOption_Uc(HWND hwnd);
void handleRxClearButton(HWND hwnd);
void handleStatusQueryButton(HWND hwnd);
void handleLogSaveButton(HWND hwnd);
void handleLogAppendCheck(HWND hwnd);
