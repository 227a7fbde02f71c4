// Direct port I/O: reading and writing one byte at an I/O port address.
// One implementation per system (port/linux, port/windows).
#pragma once

#include "platform/win32.h"

BOOL InitializeWinIo();
void ShutdownWinIo();
BOOL GetPortVal(WORD port, DWORD* value, BYTE size);
BOOL SetPortVal(WORD port, DWORD value, BYTE size);

// True where the program may touch the parallel port's registers directly,
// which is when the "测试lpt" probe may run.
bool PortIoHasRawAccess();
