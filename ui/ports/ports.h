// The port settings dialog: parallel, serial and USB port selections.
#pragma once

#include "platform/win32.h"

INT_PTR CALLBACK bPortSetDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void InitPortSetCtrls(HWND window);
void SetCtrlsValue(HWND window);
void SetPSUIDefaultValue(HWND window);
// With mode 1 reads the controls into the selections and stores the serial
// configuration as the chosen COM port's default: FALSE (last error set)
// when it could not be stored.
BOOL SetPortConfig(HWND window, int mode);
BYTE handleTestLpt(HWND window);
