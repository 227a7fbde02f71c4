// The font dialog: writes a font file into the printer over the parallel
// port, USB or the serial line; the send engine announces the font and, on
// the serial line, switches speed and waits for the printer's answer.
#include "ui/download/download.h"

#include "port/port.h"
#include "res/resource.h"
#include "send/send.h"

INT_PTR CALLBACK bDownFontFileDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        dlgType = DLG_DOWN_FONT;
        _InitCtrls_Dw(hwnd);
        return FALSE;
    case WM_CLOSE:
        _ExitDialog_Dw(hwnd);
        return TRUE;
    case WM_SENDFILE_STATUS:
        handleSendFileStatus(hwnd, wParam, lParam);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_DF_PARALLEL:
            handlePortRadio_Dw(hwnd, IDC_DF_PARALLEL, PORT_PARALLEL);
            return FALSE;
        case IDC_DF_USB:
            handlePortRadio_Dw(hwnd, IDC_DF_USB, PORT_USB);
            return FALSE;
        case IDC_DF_SERIAL:
            handlePortRadio_Dw(hwnd, IDC_DF_SERIAL, PORT_SERIAL);
            return FALSE;
        case IDC_DF_NETWORK:
            handlePortRadio_Dw(hwnd, IDC_DF_NETWORK, PORT_NETWORK);
            return FALSE;
        case IDC_DF_SEL_FILE:
            handleSelFileButton_Dw(hwnd);
            return FALSE;
        case IDC_DF_SEND:
            handleSendButton_Dw(hwnd);
            return FALSE;
        case IDC_DF_EXIT:
            _ExitDialog_Dw(hwnd);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}
