// The command console: typed commands and command files to the printer.
#pragma once

#include "platform/win32.h"

#include <string>

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

// The most the console sends of typed text, in the printer's bytes.
constexpr DWORD kMaxTypedBytes_Uc = 511;
// Typed text (UTF-8) in the printer's code page, at most kMaxTypedBytes_Uc
// bytes, never ending in half a double-byte character.
std::string TextForPrinter_Uc(const char* utf8);
