// The machine-number dialog: writes a twelve-character machine number into
// the printer and asks the printer to print the number it holds.
#include "ui/download/download.h"

#include "port/port.h"
#include "printer/download.h"
#include "res/resource.h"
#include "send/send.h"

#include <string>

namespace {

// Bytes of the command the engine took (its length report), to tell a
// complete write from one that failed.
LPARAM gPrnNumCmdLength = 0;

bool NoPortOpen()
{
    return !PortReadyToSend();
}

void handlePrnNumEdit_Dw(HWND hwnd)
{
    char typed[1024] = {};
    GetDlgItemTextA(hwnd, IDC_DN_NUMBER, typed, sizeof typed);
    // Counted in the printer's bytes: a Chinese character counts 2.
    const size_t count = PlatUtf8ToGbk(typed).size();
    char text[64];
    wsprintfA(text, "已输入机器码: %d 个", static_cast<int>(count));
    SetStatusText_Dw(0, text);
}

void handleSendButton_PrnNum_Dw(HWND hwnd)
{
    if (dlgType != DLG_DOWN_PRN_NUM)
        return;
    if (gCurrentPort.state == PORT_STATE_BUSY || NoPortOpen())
        return;
    char typed[4 * 125] = {};
    GetDlgItemTextA(hwnd, IDC_DN_NUMBER, typed, sizeof typed);
    if (!IsLegalPrnNum(typed)) {
        ShowError_Dw(hwnd, (std::string(kPrnNumIllegalText_Dw) + "\n需要 12 个字符，字母和数字").c_str());
        SetStatusText_Dw(0, kPrnNumIllegalText_Dw);
        return;
    }
    const std::string command = PrnNumWriteBytes(typed);
    curButton = IDC_DN_SEND;
    EnableWindow(GetDlgItem(hwnd, IDC_DN_SEND), FALSE);
    if (!SendDataToPrn(hwnd, command.data(), static_cast<DWORD>(command.size()), SEND_MODE_CMDS | SEND_TEXT | SEND_ONCE)) {
        SetStatusText_Dw(0, kPrnNumWriteFailedText_Dw);
        ShowError_Dw(hwnd, "写机器码失败！请重试");
    }
}

void handlePrintPrnNumButton_Dw(HWND hwnd)
{
    if (gCurrentPort.state == PORT_STATE_BUSY || NoPortOpen())
        return;
    curButton = IDC_DN_PRINT;
    const std::string command = PrnNumPrintBytes();
    if (!SendDataToPrn(hwnd, command.data(), static_cast<DWORD>(command.size()), SEND_MODE_CMDS | SEND_TEXT | SEND_ONCE)) {
        SetStatusText_Dw(0, kPrnNumPrintFailedText_Dw);
        ShowError_Dw(hwnd, "打印机器码失败！请重试");
    }
}

void handleSendCmdsStatus_dw(HWND hwnd, WPARAM code, LPARAM value)
{
    switch (code) {
    case STATUS_CMDS_LENGTH:
        gPrnNumCmdLength = value;
        SetStatusText_Dw(0, "正在发送机器码");
        break;
    case STATUS_CMDS_SENT:
        // The count is what the port took: fewer bytes than the command
        // means the printer did not get it, which must not read as success.
        if (value < gPrnNumCmdLength || value == 0) {
            SetStatusText_Dw(0, curButton == IDC_DN_PRINT ? kPrnNumPrintFailedText_Dw : kPrnNumWriteFailedText_Dw);
            EnableWindow(GetDlgItem(hwnd, IDC_DN_SEND), TRUE);
        } else if (curButton == IDC_DN_PRINT) {
            SetStatusText_Dw(0, kPrnNumPrintedText_Dw);
        } else {
            SetStatusText_Dw(0, kPrnNumWrittenText_Dw);
            EnableWindow(GetDlgItem(hwnd, IDC_DN_SEND), TRUE);
        }
        break;
    default:
        break;
    }
}

} // namespace


INT_PTR CALLBACK bDownPrnNumDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        dlgType = DLG_DOWN_PRN_NUM;
        curButton = 0;
        _InitCtrls_Dw(hwnd);
        return FALSE;
    case WM_CLOSE:
        _ExitDialog_Dw(hwnd);
        return TRUE;
    case WM_SENDCMDS_STATUS:
        handleSendCmdsStatus_dw(hwnd, wParam, lParam);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_DN_PARALLEL:
            handlePortRadio_Dw(hwnd, IDC_DN_PARALLEL, PORT_PARALLEL);
            return FALSE;
        case IDC_DN_USB:
            handlePortRadio_Dw(hwnd, IDC_DN_USB, PORT_USB);
            return FALSE;
        case IDC_DN_SERIAL:
            handlePortRadio_Dw(hwnd, IDC_DN_SERIAL, PORT_SERIAL);
            return FALSE;
        case IDC_DN_NETWORK:
            handlePortRadio_Dw(hwnd, IDC_DN_NETWORK, PORT_NETWORK);
            return FALSE;
        case IDC_DN_NUMBER:
            handlePrnNumEdit_Dw(hwnd);
            return FALSE;
        case IDC_DN_SEND:
            handleSendButton_PrnNum_Dw(hwnd);
            return FALSE;
        case IDC_DN_EXIT:
            _ExitDialog_Dw(hwnd);
            return TRUE;
        case IDC_DN_PRINT:
            handlePrintPrnNumButton_Dw(hwnd);
            return FALSE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}
