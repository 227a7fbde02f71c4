// Whether a firmware or font file can go to the printer: the download
// dialogs and mptest-cli refuse the same files with the same words, before
// anything is sent.
#pragma once

#include "platform/win32.h"

#include <string>

enum class FileFault { None, Unreadable, Empty, TooLarge };

// Any thread. What keeps the file at `path` from going to the printer, if
// anything; *size is its size (MAXDWORD for 4 GB and more).
FileFault CheckDownloadFile(const char* path, DWORD* size);
// Why a firmware or font file cannot go to the printer ("文件为空", "文件超过
// 5 MB（…）", unreadable), empty when it can.
std::string DownloadFileFault_Dw(const char* path);
