// The command console: typed commands and command files to the printer.
#pragma once

#include "platform/win32.h"

INT_PTR CALLBACK bUserCmdDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

extern HWND hStatusBarUc;
extern DWORD dwSendCmdsCout;
extern DWORD dwSendFileLen;

void _CreateStatusBar_Uc(HWND hwnd);
BOOL SetCurrentPort(HWND hwnd, BYTE type);
void handleSendButton(HWND hwnd);
void handleSendFileButton(HWND hwnd);
void handleSelFileButton(HWND hwnd);
void handleSendOverButton(HWND hwnd);
