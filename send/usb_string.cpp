// The USB string check: writes the fixed six-byte string into the printer,
// or reads the printer's stored string back, directly on the USB handle of
// the current port and on the calling thread.
#include "send/send.h"

#include "port/input.h"
#include "port/port.h"
#include "printer/testprint.h"
#include "res/texts.h"

namespace {

bool HasHandle()
{
    return gCurrentPort.handle != nullptr && gCurrentPort.handle != INVALID_HANDLE_VALUE;
}

} // namespace

const char* UsbStringTest(int operation, std::string* readBack)
{
    if (gCurrentPort.type != PORT_USB)
        return kUsbNotChosenText_T;
    if (!HasHandle() && !OpenPorts(PORT_USB))
        return kUsbAwayText_T;
    gCurrentPort.state = PORT_STATE_BUSY;
    DWORD done = 0;
    if (operation == 0) {
        const std::string command = UsbStringWriteBytes();
        PortHandleWrite(gCurrentPort.handle, command.data(), static_cast<DWORD>(command.size()), &done);
    } else {
        PortTakeInput(); // the answer is this check's to read
        const std::string command = UsbStringReadBytes();
        PortHandleWrite(gCurrentPort.handle, command.data(), static_cast<DWORD>(command.size()), &done);
        // The read is bounded: a printer that sends nothing fails it after
        // about 5 s, a short answer once the line has been quiet a moment.
        char answer[kUsbStringLength + 1] = {};
        DWORD got = 0;
        if (!PortHandleRead(gCurrentPort.handle, answer, kUsbStringLength, &got) || got < kUsbStringLength) {
            gCurrentPort.state = PORT_STATE_IDLE; // this thread's transfer is over before it rewrites the record
            PortRelease();                        // the next check opens the device again
            return kUsbReadFailedText_T;
        }
        // The printer's bytes, in its code page.
        if (readBack != nullptr)
            *readBack = PlatGbkToUtf8(std::string(answer, kUsbStringLength));
    }
    gCurrentPort.state = PORT_STATE_IDLE;
    return nullptr;
}
