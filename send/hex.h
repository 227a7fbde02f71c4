// Hexadecimal text and file-name helpers shared by the send engine and dialogs.
#pragma once

#include "platform/win32.h"

BOOL AnkToByte(BYTE* out, int ch);
BYTE TranslateString(BYTE* out, const char* text, DWORD length);
void SelectFileName(HWND owner, const char* filter, char* path);
