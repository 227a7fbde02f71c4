// Direct port I/O: reading and writing one byte at an I/O port address.
// One implementation per system (port/linux, port/windows).
#pragma once

#include "platform/win32.h"

// The parallel port's registers at base 0x378.
constexpr WORD LPT_DATA = 0x378;
constexpr WORD LPT_STATUS = 0x379;
constexpr WORD LPT_CONTROL = 0x37A;
constexpr WORD LPT_EPP_DATA = 0x37C;
constexpr WORD LPT_ECR = 0x77A; // extended control register of an ECP port (base + 0x402)

constexpr BYTE LPT_STATUS_NOERROR = 0x08;
constexpr BYTE LPT_STATUS_ACK_IDLE = 0x40;
constexpr BYTE LPT_STATUS_NOT_BUSY = 0x80;
constexpr BYTE LPT_CONTROL_STROBE = 0x01;

BOOL InitializeWinIo();
void ShutdownWinIo();
BOOL GetPortVal(WORD port, DWORD* value, BYTE size);
BOOL SetPortVal(WORD port, DWORD value, BYTE size);

// True when the PC has a parallel port the program can reach at all.
bool PortIoHasParallelPort();
// True where the program may touch the parallel port's registers directly,
// which is when the "测试lpt" probe may run.
bool PortIoHasRawAccess();

// The extended-control-register probe's own access to the ports: a helper
// library loaded for the probe alone and released after it. Load fails
// quietly where the probe cannot run; Resolve fails when the library lacks
// its two functions.
bool LptProbeLoad();
bool LptProbeResolve();
BYTE LptProbeIn(WORD port);
void LptProbeOut(WORD port, BYTE value);
void LptProbeUnload();
