// Start-up, shutdown, the main window and the About box.
#pragma once

#include "platform/win32.h"

extern HINSTANCE hGInstance;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);
HINSTANCE GetHInstance();
BOOL InitDialog(HWND window, int dx, int dy);
INT_PTR CALLBACK bMainDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK bAboutDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
