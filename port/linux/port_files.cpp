// Port handles here are plain handles: reads and writes on one handle from
// two threads go on side by side, and each is bounded by the platform.
#include "port/port.h"

DWORD PortOpenFlags()
{
    return 0;
}

BOOL PortHandleWrite(HANDLE handle, const void* data, DWORD length, DWORD* written)
{
    return WriteFile(handle, data, length, written, nullptr);
}

BOOL PortHandleRead(HANDLE handle, void* data, DWORD length, DWORD* read)
{
    return ReadFile(handle, data, length, read, nullptr);
}

BOOL PortHandleDrain(HANDLE handle)
{
    // A non-blocking write returns before the printer or the peer has the
    // bytes; closing the handle then may lose them.
    return FlushFileBuffers(handle);
}

BOOL PortReadChunk(HANDLE handle, BYTE* data, DWORD length, DWORD* got, HANDLE)
{
    // The read is short (serial) or bounded (USB), and PortReaderStop cancels
    // it: the stop needs no event here.
    return ReadFile(handle, data, length, got, nullptr);
}
