// Finding and opening the printer's USB output pipe.
#pragma once

#include "platform/win32.h"

extern const GUID GUID_CLASS_I82930_BULK;
extern char completeDeviceName[256];
extern char inPipe[32];
extern char outPipe[32];

// Each function below: the thread that may call it; its result; what it changes.

// The owner of the port record (through OpenPorts). The handle of the first
// printer's output pipe (outPipe), or the invalid-handle value when no
// printer opens; completeDeviceName then holds the path tried.
HANDLE OpenUsbPort();
// As OpenUsbPort, for the pipe named `pipe`.
HANDLE open_file(const char* pipe);
// As OpenUsbPort. TRUE with the first printer interface's path in `path`
// (256 bytes, written from its start); the interface is opened only to test
// it and closed again.
BOOL GetUsbDeviceFileName(const GUID* interfaceClass, char* path);
