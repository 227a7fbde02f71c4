// The file chooser the dialogs share.
#include "send/files.h"

#include <cstring>

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
