// The send engine's shared state: the output record, the stop request and
// the one critical section that guards the stop request.
#include "send/send.h"

#include "port/port.h"

#include <cstdlib>

OutputBuffer gCurOutputBuf;
LONG gStopSendFlag;
CRITICAL_SECTION MySection;
HANDLE hOutputBufIdle;

namespace {

// Frees the memory block and closes the file the record holds, clearing
// each at once so that no later release touches them again.
void ReleaseOutputHoldings()
{
    if (gCurOutputBuf.pData != nullptr) {
        std::free(gCurOutputBuf.pData);
        gCurOutputBuf.pData = nullptr;
    }
    if (gCurOutputBuf.hFile != nullptr) {
        CloseHandle(gCurOutputBuf.hFile);
        gCurOutputBuf.hFile = nullptr;
    }
}

} // namespace

void UtilInit()
{
    InitializeCriticalSection(&MySection);
    hOutputBufIdle = CreateEventA(nullptr, TRUE, TRUE, nullptr); // no send yet
}

void UtilRelease()
{
    ReleaseOutputHoldings();
    if (hOutputBufIdle != nullptr) {
        CloseHandle(hOutputBufIdle);
        hOutputBufIdle = nullptr;
    }
    DeleteCriticalSection(&MySection);
}

void EnterSplSem()
{
    EnterCriticalSection(&MySection);
}

void RequestSendStop()
{
    EnterSplSem();
    gStopSendFlag = 1;
    LeaveSplSem();
}

void LeaveSplSem()
{
    // A dialog's stop request (the flag set inside the section) ends a
    // repeating send's pause at once and its pass where the printer holds it
    // up; a pass the printer takes, and a single send, go on to their end.
    // Only dialogs leave the section with the flag set, on the user-interface
    // thread, which also wrote the record's flags.
    const bool stopRepeatingSend = gStopSendFlag != 0 && gCurrentPort.state == PORT_STATE_BUSY &&
                                   !(gCurOutputBuf.wFlags & SEND_ONCE);
    LeaveCriticalSection(&MySection);
    if (stopRepeatingSend)
        PortStopHeldWaits();
}

void OutputBufRelease()
{
    ReleaseOutputHoldings();
    gCurrentPort.state = PORT_STATE_IDLE;
    if (hOutputBufIdle != nullptr)
        SetEvent(hOutputBufIdle);
}
