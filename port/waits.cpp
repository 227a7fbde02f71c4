// Giving up the waits on the printer: one request, seen by the parallel
// handshake, by a serial or USB read or write in progress, and by every pause
// that waits on the request's event; and the milder stop of a repeating
// send, which ends only the waits the printer is holding up.
#include "port/port.h"

#include <atomic>

namespace {

std::atomic<bool> gPortAbort{false};
std::atomic<bool> gPortStop{false};
// The handle a read or write through PortWriteFile or PortReadFile is under
// way on, so that an abort from another thread can end it.
std::atomic<HANDLE> gPortIoHandle{nullptr};

HANDLE AbortEvent()
{
    static const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return event;
}

// Runs one read or write on the port handle unless an abort was asked for.
// The handle is published before the request is looked at, and the request
// set before the handle is looked at (PortAbortWaits): so either this call
// sees the request, or the abort sees the handle and cancels the call.
template <class Io>
BOOL PortIo(HANDLE handle, Io io)
{
    gPortIoHandle.store(handle);
    BOOL ok;
    if (gPortAbort.load()) {
        SetLastError(ERROR_OPERATION_ABORTED);
        ok = FALSE;
    } else {
        ok = io();
    }
    gPortIoHandle.store(nullptr);
    return ok;
}

} // namespace

HANDLE PortAbortEvent()
{
    return AbortEvent();
}

void PortAbortWaits()
{
    gPortAbort.store(true);
    SetEvent(AbortEvent());
    // CancelIoEx ends only a call already under way. A call published but not
    // yet begun (or ended but not yet withdrawn) is a matter of instructions:
    // try again until it has begun, then it is cancelled, or has ended.
    for (;;) {
        HANDLE handle = gPortIoHandle.load();
        if (handle == nullptr || CancelIoEx(handle, nullptr) || GetLastError() != ERROR_NOT_FOUND)
            return;
        Sleep(0);
    }
}

void PortStopHeldWaits()
{
    gPortStop.store(true);
    SetEvent(AbortEvent());
    // A serial or USB write returns as soon as the driver has taken its
    // bytes, so one still under way is one the printer is not taking. A call
    // about to begin is left alone: should the printer hold it, it ends at
    // its time-out and the engine ends the pass then.
    HANDLE handle = gPortIoHandle.load();
    if (handle != nullptr)
        CancelIoEx(handle, nullptr);
}

BOOL PortStopRequested()
{
    return gPortStop.load(std::memory_order_relaxed) ? TRUE : FALSE;
}

void PortClearAbort()
{
    gPortAbort.store(false);
    gPortStop.store(false);
    ResetEvent(AbortEvent());
}

BOOL PortAbortRequested()
{
    return gPortAbort.load(std::memory_order_relaxed) ? TRUE : FALSE;
}

BOOL PortWriteFile(HANDLE handle, const BYTE* data, DWORD length, DWORD* written)
{
    *written = 0;
    return PortIo(handle, [&] { return PortHandleWrite(handle, data, length, written); });
}

BOOL PortReadFile(HANDLE handle, BYTE* data, DWORD length, DWORD* read)
{
    *read = 0;
    return PortIo(handle, [&] { return PortHandleRead(handle, data, length, read); });
}

BOOL PortDrainFile(HANDLE handle)
{
    return PortIo(handle, [&] { return PortHandleDrain(handle); });
}
