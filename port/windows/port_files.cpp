// Serial and USB port handles are opened for overlapped I/O: a synchronous
// handle lets one call at a time through, so the console's reader, waiting
// for the printer, would hold every send back. Each call here waits for its
// own completion, so callers see the synchronous results they expect.
#include "port/port.h"

namespace {

// An overlapped call's event, made per call: the sending thread and the
// reader each have their own.
struct Overlapped {
    OVERLAPPED ov{};
    Overlapped() { ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
    ~Overlapped()
    {
        if (ov.hEvent != nullptr)
            CloseHandle(ov.hEvent);
    }
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;
};

// The end of a call that went pending: waits for it (and `stop`, if given)
// up to `bound`, cancels it if it has not ended, and takes its result.
BOOL Finish(HANDLE handle, Overlapped& call, DWORD* done, HANDLE stop, DWORD bound)
{
    const HANDLE events[2] = {call.ov.hEvent, stop};
    const DWORD woke = WaitForMultipleObjects(stop != nullptr ? 2 : 1, events, FALSE, bound);
    if (woke != WAIT_OBJECT_0)
        CancelIoEx(handle, &call.ov);
    // After a cancel the call ends at once, with what it moved.
    return GetOverlappedResult(handle, &call.ov, done, TRUE);
}

// Starts one call (`start` is WriteFile or ReadFile with the OVERLAPPED) and
// waits for its end as Finish does.
template <class Start> BOOL Run(HANDLE handle, DWORD* done, HANDLE stop, DWORD bound, Start start)
{
    *done = 0;
    Overlapped call;
    if (call.ov.hEvent == nullptr)
        return FALSE;
    if (!start(&call.ov) && GetLastError() != ERROR_IO_PENDING)
        return FALSE;
    return Finish(handle, call, done, stop, bound);
}

} // namespace

DWORD PortOpenFlags()
{
    return FILE_FLAG_OVERLAPPED;
}

BOOL PortHandleWrite(HANDLE handle, const void* data, DWORD length, DWORD* written)
{
    return Run(handle, written, nullptr, PORT_IO_BOUND_MS,
               [&](OVERLAPPED* ov) { return WriteFile(handle, data, length, nullptr, ov); });
}

BOOL PortHandleRead(HANDLE handle, void* data, DWORD length, DWORD* read)
{
    return Run(handle, read, nullptr, PORT_IO_BOUND_MS,
               [&](OVERLAPPED* ov) { return ReadFile(handle, data, length, nullptr, ov); });
}

BOOL PortHandleDrain(HANDLE)
{
    // An overlapped write to the printer's pipe ends once the device took
    // it; a connection's bytes go on after closesocket's graceful close.
    return TRUE;
}

BOOL PortReadChunk(HANDLE handle, BYTE* data, DWORD length, DWORD* got, HANDLE stop)
{
    return Run(handle, got, stop, INFINITE, [&](OVERLAPPED* ov) { return ReadFile(handle, data, length, nullptr, ov); });
}
