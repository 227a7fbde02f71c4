// The EPP console: watches the parallel port's status register, captures EPP
// data bytes to a file, and sends typed bytes to the EPP data register.
#pragma once

#include "platform/win32.h"

INT_PTR CALLBACK bEppDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

void _InitCtrls_Epp(HWND hwnd);
void _ExitDialog_Epp(HWND hwnd);
void handleReadDataFromEpp(HWND hwnd);
