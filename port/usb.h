// Finding and opening the printer's USB output pipe.
#pragma once

#include "platform/win32.h"

extern const GUID GUID_CLASS_I82930_BULK;
extern char completeDeviceName[256];
extern char inPipe[32];
extern char outPipe[32];

HANDLE OpenUsbPort();
HANDLE open_file(const char* pipe);
BOOL GetUsbDeviceFileName(const GUID* interfaceClass, char* path);
