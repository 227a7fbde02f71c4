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

// Each function below: the thread that may call it; its result; what it changes.

// UI thread, at start-up. TRUE when direct port I/O is ready (on Linux also
// when no port exists: reads then give 0 and fail); FALSE ends the program.
BOOL InitializeWinIo();
// UI thread, at exit. Releases what InitializeWinIo took.
void ShutdownWinIo();
// Any thread. Reads `size` (1) bytes at I/O address `port` into *value;
// TRUE on success, FALSE (*value 0) where the port cannot be reached.
BOOL GetPortVal(WORD port, DWORD* value, BYTE size);
// Any thread. Writes the low `size` (1) bytes of `value` to `port`; TRUE on
// success.
BOOL SetPortVal(WORD port, DWORD value, BYTE size);

// Any thread. True when the PC has a parallel port the program can reach at all.
bool PortIoHasParallelPort();
// Any thread. True where the program may touch the parallel port's registers directly,
// which is when the "测试lpt" probe may run.
bool PortIoHasRawAccess();

// The extended-control-register probe's own access to the ports: a helper
// library loaded for the probe alone and released after it. Load fails
// quietly where the probe cannot run; Resolve fails when the library lacks
// its two functions. UI thread, in this order: Load, Resolve, In/Out, Unload.
bool LptProbeLoad();
bool LptProbeResolve();
BYTE LptProbeIn(WORD port);
void LptProbeOut(WORD port, BYTE value);
void LptProbeUnload();
