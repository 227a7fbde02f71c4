// The USB test page: writes a fixed six-byte string into the printer and
// reads the printer's stored string back, directly on the USB handle and
// on the user-interface thread.
#include "ui/testprint/testprint.h"

#include "port/input.h"
#include "port/port.h"
#include "printer/testprint.h"
#include "res/resource.h"

#include <string>

namespace {

bool HasHandle()
{
    return gCurrentPort.handle != nullptr && gCurrentPort.handle != INVALID_HANDLE_VALUE;
}

} // namespace

const char* UsbStringTest_T(int operation, std::string* readBack)
{
    if (gCurrentPort.type != PORT_USB)
        return "请选择USB接口!";
    if (!HasHandle() && !OpenPorts(PORT_USB))
        return "USB不在线或已被拨出!";
    gCurrentPort.state = PORT_STATE_BUSY;
    DWORD done = 0;
    if (operation == 0) {
        const std::string command = UsbStringWriteBytes();
        PortHandleWrite(gCurrentPort.handle, command.data(), static_cast<DWORD>(command.size()), &done);
    } else {
        PortTakeInput(); // the answer is this page's to read
        const std::string command = UsbStringReadBytes();
        PortHandleWrite(gCurrentPort.handle, command.data(), static_cast<DWORD>(command.size()), &done);
        // The read is bounded: a printer that sends nothing fails it after
        // about 5 s, a short answer once the line has been quiet a moment.
        char answer[kUsbStringLength + 1] = {};
        DWORD got = 0;
        if (!PortHandleRead(gCurrentPort.handle, answer, kUsbStringLength, &got) || got < kUsbStringLength) {
            gCurrentPort.state = PORT_STATE_IDLE; // this thread's transfer is over before it rewrites the record
            PortRelease();                        // the next press opens the device again
            return "读取字符串失败!";
        }
        // The printer's bytes, in its code page.
        if (readBack != nullptr)
            *readBack = PlatGbkToUtf8(std::string(answer, kUsbStringLength));
    }
    gCurrentPort.state = PORT_STATE_IDLE;
    return nullptr;
}

void handleTestUsbLib(HWND page, int operation)
{
    if (gCurrentPort.state == PORT_STATE_BUSY)
        return;
    std::string readBack;
    if (const char* failure = UsbStringTest_T(operation, &readBack)) {
        // A printer that did not open: which device and why, on a second line.
        std::string text = failure;
        if (text == "USB不在线或已被拨出!") {
            text += '\n';
            text += PortOpenFailureDetail(PORT_USB);
        }
        ShowError_T(page, text.c_str());
        return;
    }
    if (operation == 0)
        SetDlgItemTextA(page, IDC_USB_WRITTEN, kUsbStoredString);
    else
        SetDlgItemTextA(page, IDC_USB_READBACK, readBack.c_str());
}

INT_PTR CALLBACK bChild_UsbLib_Proc(HWND page, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnChildDialogInit(page);
        SetDlgItemTextA(page, IDC_USB_WRITTEN, "");
        SetDlgItemTextA(page, IDC_USB_READBACK, "");
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_USB_WRITE:
            handleTestUsbLib(page, 0);
            break;
        case IDC_USB_READ:
            handleTestUsbLib(page, 1);
            break;
        default:
            break;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
