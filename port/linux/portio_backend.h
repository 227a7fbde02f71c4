// The Linux port-I/O layer's backends behind GetPortVal and SetPortVal, and
// the seams tests use to put a register model or a failing layer in place.
#pragma once

#include "platform/win32.h"

// One way of reaching the parallel port's registers. read and write take an
// I/O port address (0x378, 0x379, 0x37A, 0x37C, 0x77A) and move one byte;
// an address the backend cannot reach fails. Calls may come from several
// threads at once.
struct PortIoBackend {
    virtual ~PortIoBackend() = default;
    virtual bool read(WORD port, BYTE* value) = 0;
    virtual bool write(WORD port, BYTE value) = 0;
    // True when every register, the extended control register too, is reached
    // directly, so the probe may run.
    virtual bool raw() const { return false; }
    virtual const char* name() const = 0;
};

// Makes the next InitializeWinIo use `backend` (owned by the caller, who
// keeps it alive until ShutdownWinIo or the next call); nullptr goes back to
// choosing among the system's backends.
void PortIoSetBackendForTest(PortIoBackend* backend);
// Makes the next InitializeWinIo fail, as when the layer cannot be prepared.
void PortIoFailInitForTest(bool fail);
// The name of the backend in use: "ppdev", "raw", "none", or the test
// backend's; "" before InitializeWinIo and after ShutdownWinIo.
const char* PortIoBackendName();
