// The checks a download file passes before anything is sent.
#include "send/download_file.h"

#include "send/send.h"

FileFault CheckDownloadFile(const char* path, DWORD* size)
{
    *size = 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE || file == nullptr)
        return FileFault::Unreadable;
    DWORD high = 0;
    SetLastError(ERROR_SUCCESS);
    const DWORD low = GetFileSize(file, &high);
    const bool measured = !(low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS);
    CloseHandle(file);
    if (!measured)
        return FileFault::Unreadable;
    *size = high != 0 ? MAXDWORD : low;
    if (high != 0 || low > MAX_SEND_FILE_SIZE)
        return FileFault::TooLarge;
    return low == 0 ? FileFault::Empty : FileFault::None;
}

std::string DownloadFileFault_Dw(const char* path)
{
    DWORD size = 0;
    switch (CheckDownloadFile(path, &size)) {
    case FileFault::Unreadable:
        return "文件无法打开，请检查文件是否存在、能否读取";
    case FileFault::Empty:
        return "文件为空";
    case FileFault::TooLarge:
        return "文件超过 5 MB（" + (size == MAXDWORD ? std::string("4 GB 以上") : std::to_string(size) + " 字节") +
               "，最多 " + std::to_string(MAX_SEND_FILE_SIZE) + " 字节）";
    default:
        return {};
    }
}
