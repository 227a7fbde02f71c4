// The console's reader thread and the hand-over of a port's input (see
// port/input.h for who owns it when).
#include "port/input.h"

#include "port/port.h"

#include <atomic>

namespace {

constexpr DWORD kChunkBytes = 4096;
constexpr DWORD kSerialReadMs = 50;
constexpr DWORD kSerialQuietMs = 10;
// Between two cancels of a read that has not begun yet.
constexpr DWORD kStopRetryMs = 10;

struct Reader {
    HANDLE thread = nullptr;
    HANDLE port = nullptr;
    BYTE type = PORT_PARALLEL;
    PortChunkSink sink = nullptr;
    void* context = nullptr;
    COMMTIMEOUTS saved{};
    HANDLE stopEvent = nullptr; // set with stop, for reads that can wait on it
    std::atomic<bool> stop{false};
};

Reader gReader;

DWORD WINAPI ReaderThread(LPVOID)
{
    BYTE chunk[kChunkBytes];
    while (!gReader.stop.load()) {
        DWORD got = 0;
        const BOOL ok = PortReadChunk(gReader.port, chunk, sizeof chunk, &got, gReader.stopEvent);
        if (got > 0 && !gReader.stop.load())
            gReader.sink(chunk, got, gReader.context);
        // The network printer closed the connection: nothing more comes.
        if (ok && got == 0 && gReader.type == PORT_NETWORK && !gReader.stop.load())
            WaitForSingleObject(gReader.stopEvent, 100);
        if (!ok && got == 0) {
            const DWORD error = GetLastError();
            // A time-out is a quiet printer; anything else (the device went
            // away, a cancel) is not worth spinning on.
            if (error != ERROR_TIMEOUT && !gReader.stop.load())
                Sleep(100);
        }
    }
    return 0;
}

// Ends the read the reader may be in: the serial line's read abort touches
// no write; a USB handle has only the general cancel.
void CancelRead()
{
    if (gReader.type == PORT_SERIAL)
        PurgeComm(gReader.port, PURGE_RXABORT);
    else
        CancelIoEx(gReader.port, nullptr);
}

} // namespace

BOOL PortReaderStart(PortChunkSink sink, void* context)
{
    PortReaderStop();
    if (gCurrentPort.type == PORT_PARALLEL || gCurrentPort.handle == nullptr ||
        gCurrentPort.handle == INVALID_HANDLE_VALUE || sink == nullptr)
        return FALSE;
    gReader.port = gCurrentPort.handle;
    gReader.type = gCurrentPort.type;
    gReader.sink = sink;
    gReader.context = context;
    gReader.stop.store(false);
    if (gReader.stopEvent == nullptr)
        gReader.stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ResetEvent(gReader.stopEvent);
    if (gReader.type == PORT_SERIAL) {
        // Short reads: each ends after a short while, or as soon as the
        // line falls quiet after some bytes, so the reader shows bytes at
        // once and notices a stop without a cancel. (The "return on any
        // byte" form is not honoured everywhere a COM port is emulated.)
        GetCommTimeouts(gReader.port, &gReader.saved);
        COMMTIMEOUTS quick = gReader.saved;
        quick.ReadIntervalTimeout = kSerialQuietMs;
        quick.ReadTotalTimeoutMultiplier = 0;
        quick.ReadTotalTimeoutConstant = kSerialReadMs;
        SetCommTimeouts(gReader.port, &quick);
    }
    gReader.thread = CreateThread(nullptr, 0, ReaderThread, nullptr, 0, nullptr);
    return gReader.thread != nullptr;
}

void PortReaderStop()
{
    if (gReader.thread == nullptr)
        return;
    gReader.stop.store(true);
    SetEvent(gReader.stopEvent);
    // A cancel ends only a read under way; one about to begin is caught by
    // the next round. The wait has no bound of its own: every read ends at
    // its time-out, and the caller closes the handle next, which must not
    // happen while the reader may still be reading it.
    while (WaitForSingleObject(gReader.thread, kStopRetryMs) != WAIT_OBJECT_0)
        CancelRead();
    CloseHandle(gReader.thread);
    gReader.thread = nullptr;
    // The next reader of this handle (the font acknowledgement) waits as long
    // as the port was opened to wait.
    if (gReader.type == PORT_SERIAL)
        SetCommTimeouts(gReader.port, &gReader.saved);
    gReader.port = nullptr;
}

BOOL PortReaderRunning()
{
    return gReader.thread != nullptr;
}

void PortTakeInput()
{
    PortReaderStop();
}
