// Hexadecimal digits and text.
#include "send/hex.h"

#include <cstring>

BOOL AnkToByte(BYTE* out, int ch)
{
    const BYTE c = static_cast<BYTE>(ch);
    if (c >= '0' && c <= '9')
        *out = static_cast<BYTE>(c - '0');
    else if (c >= 'A' && c <= 'F')
        *out = static_cast<BYTE>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f')
        *out = static_cast<BYTE>(c - 'a' + 10);
    else
        return FALSE;
    return TRUE;
}

// Digits pair up wherever they stand: anything else is skipped without
// ending a pair, and a digit left alone at the end is dropped.
BYTE TranslateString(BYTE* out, const char* text, DWORD length)
{
    if (out == nullptr || text == nullptr || length == 0)
        return 0;
    DWORD count = 0;
    bool haveHigh = false;
    BYTE high = 0;
    for (DWORD i = 0; i < length; ++i) {
        BYTE digit;
        if (!AnkToByte(&digit, text[i]))
            continue;
        if (!haveHigh) {
            high = digit;
            haveHigh = true;
        } else {
            out[count++] = static_cast<BYTE>((high << 4) | digit);
            haveHigh = false;
        }
    }
    return static_cast<BYTE>(count);
}
