// Hexadecimal text and file-name helpers shared by the send engine and dialogs.
#pragma once

#include "platform/win32.h"

#include <string>

BOOL AnkToByte(BYTE* out, int ch);
BYTE TranslateString(BYTE* out, const char* text, DWORD length);
void SelectFileName(HWND owner, const char* filter, char* path);
// Cuts printer text (GBK) to at most `maxBytes`, never in the middle of a
// double-byte character.
std::string TruncateGbk(std::string gbk, size_t maxBytes);
