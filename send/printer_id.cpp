// What the printer says it is: GS I 1..3 asked directly on the port's handle,
// on the calling thread, with every read bounded.
#include "send/send.h"

#include "port/input.h"
#include "port/port.h"
#include "printer/info.h"

std::string AskPrinterId()
{
    PortTakeInput(); // the answers are the asker's to read
    // Bytes that were waiting (answers to an earlier question nobody read)
    // are not this question's answers.
    if (gCurrentPort.type == PORT_SERIAL)
        PurgeComm(gCurrentPort.handle, PURGE_RXCLEAR);
    const std::string request = InfoRequestBytes();
    DWORD done = 0;
    if (!PortHandleWrite(gCurrentPort.handle, request.data(), static_cast<DWORD>(request.size()), &done) ||
        done != request.size())
        return {};
    std::string answers;
    while (answers.size() < kInfoRequestCount) {
        char chunk[kInfoRequestCount] = {};
        DWORD got = 0;
        if (!PortHandleRead(gCurrentPort.handle, chunk, static_cast<DWORD>(kInfoRequestCount - answers.size()), &got) ||
            got == 0)
            break;
        answers.append(chunk, got);
    }
    return answers;
}
