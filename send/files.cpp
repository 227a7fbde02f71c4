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
    if (!GetOpenFileNameA(&ofn)) {
        // A path that does not fit is refused, never cut or taken for
        // another name (the chooser leaves the size it needs in the first
        // bytes). A cancelled choice empties the caller's path.
        if (CommDlgExtendedError() == FNERR_BUFFERTOOSMALL)
            MessageBoxA(nullptr, "文件路径太长（最多 259 字节，约 86 个汉字），请把文件放到路径较短的文件夹后再选择。",
                        "Error", MB_OK | MB_ICONERROR);
        std::memset(chosen, 0, sizeof chosen);
    }
    chosen[sizeof chosen - 1] = '\0';
    std::memcpy(path, chosen, sizeof chosen);
}
