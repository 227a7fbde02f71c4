// The send engine's shared state: the output record, the stop request and
// the one critical section that guards the stop request.
#include "send/send.h"

#include "port/port.h"

#include <cstdlib>

OutputBuffer gCurOutputBuf;
LONG gStopSendFlag;
CRITICAL_SECTION MySection;

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
}

void UtilRelease()
{
    ReleaseOutputHoldings();
    DeleteCriticalSection(&MySection);
}

void EnterSplSem()
{
    EnterCriticalSection(&MySection);
}

void LeaveSplSem()
{
    LeaveCriticalSection(&MySection);
}

void OutputBufRelease()
{
    ReleaseOutputHoldings();
    gCurrentPort.state = PORT_STATE_IDLE;
}
