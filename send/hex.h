// Hexadecimal text helpers shared by the send engine and dialogs.
#pragma once

#include "platform/win32.h"
#include "send/files.h" // SelectFileName, which dialogs still look for here

// Any thread. TRUE and *out = the digit's value (0..15) for a hexadecimal
// digit; FALSE, *out untouched, for any other character.
BOOL AnkToByte(BYTE* out, int ch);
// Any thread. Pairs the hexadecimal digits of `text` (length bytes; other
// characters skipped, a lone last digit dropped) into bytes at `out`, which
// must hold length / 2 bytes; the count produced, as one byte.
BYTE TranslateString(BYTE* out, const char* text, DWORD length);
