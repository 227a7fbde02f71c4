// Hexadecimal digits and text, and the file chooser shared by the dialogs.
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

std::string TruncateGbk(std::string gbk, size_t maxBytes)
{
    size_t keep = 0;
    while (keep < gbk.size()) {
        const size_t width = static_cast<unsigned char>(gbk[keep]) >= 0x81 ? 2 : 1;
        if (keep + width > maxBytes)
            break;
        keep += width;
    }
    gbk.resize(keep);
    return gbk;
}

void SelectFileName(HWND owner, const char* filter, char* path)
{
    OPENFILENAMEA ofn;
    char chosen[260];
    std::memset(&ofn, 0, sizeof ofn);
    std::memset(chosen, 0, sizeof chosen);
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = chosen;
    ofn.nMaxFile = sizeof chosen;
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    GetOpenFileNameA(&ofn);
    // A cancelled choice leaves the buffer empty, and so the caller's path.
    chosen[sizeof chosen - 1] = '\0';
    std::memcpy(path, chosen, sizeof chosen);
}
