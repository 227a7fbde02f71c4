// The USB test page: the USB string check (send/usb_string.cpp) on the
// user-interface thread, its outcome shown on the page.
#include "ui/testprint/testprint.h"

#include "port/port.h"
#include "printer/testprint.h"
#include "res/resource.h"

#include <string>

void handleTestUsbLib(HWND page, int operation)
{
    if (gCurrentPort.state == PORT_STATE_BUSY)
        return;
    std::string readBack;
    if (const char* failure = UsbStringTest(operation, &readBack)) {
        // A printer that did not open: which device and why, on a second line.
        std::string text = failure;
        if (failure == kUsbAwayText_T) {
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
