// The firmware dialog: puts a parallel printer into its download state and
// writes a firmware ("version") file into the printer; its start operation
// also serves the font dialog.
#include "ui/download/download.h"

#include "port/port.h"
#include "res/resource.h"
#include "send/send.h"

#include <cstring>
#include <string>

namespace {

// Longest wait of a start for a send that still holds the port: an
// "enter download state" command to a busy printer, or the release that
// follows a transfer's final report.
constexpr DWORD kPortReleaseWaitMs = 10000;

// The failure message's second line (why) and third (which file).
std::string DownloadFaultLines(const char* path)
{
    std::string why = DownloadFileFault_Dw(path);
    if (why.empty())
        why = "发送没能开始，请重新选择端口后再试";
    return why + "\n" + path;
}

void ShowDownloadRefused(HWND hwnd, int startButton, const std::string& lines)
{
    // Nothing runs: the start button comes back so the user can retry.
    EnableWindow(GetDlgItem(hwnd, startButton), TRUE);
    SetStatusText_Dw(0, kDownloadRefusedText_Dw);
    ShowError_Dw(hwnd, (std::string(kDownloadRefusedText_Dw) + "\n" + lines).c_str());
}

void handleSendCmd1caa5501(HWND hwnd)
{
    if (!PortReadyToSend()) {
        ShowError_Dw(hwnd, "请先选择一个打印端口");
        return;
    }
    const std::string command = EnterDownloadBytes();
    if (!SendDataToPrn(hwnd, command.data(), static_cast<DWORD>(command.size()), SEND_MODE_CMDS | SEND_TEXT | SEND_ONCE))
        ShowError_Dw(hwnd, "发送数据错误！请重试");
}

} // namespace


void handleSendButton_Dw(HWND hwnd)
{
    int pathBox = 0;
    int startButton = 0;
    if (dlgType == DLG_DOWN_VERSION) {
        pathBox = IDC_DV_PATH;
        startButton = IDC_DV_SEND;
    } else if (dlgType == DLG_DOWN_FONT) {
        pathBox = IDC_DF_PATH;
        startButton = IDC_DF_SEND;
    } else {
        return;
    }
    // Reopening the port resets its record: a start clicked after a final
    // report, before the sending thread has let go of the port, must not
    // pull the port from under it.
    if (!WaitSendEnd(kPortReleaseWaitMs)) {
        ShowDownloadRefused(hwnd, startButton, "上一次发送还没有结束，请稍后再试");
        return;
    }
    if (!OpenPorts(openPORT))
        ShowPortOpenFailed_Dw(hwnd, openPORT);
    if (gCurrentPort.handle == nullptr && gCurrentPort.type != PORT_PARALLEL)
        return;
    char path[512] = {};
    GetDlgItemTextA(hwnd, pathBox, path, sizeof path);
    if (path[0] == '\0') {
        ShowError_Dw(hwnd, "请先选择下载文件！");
        SetStatusText_Dw(0, "请先选择下载文件！");
        return;
    }
    // An empty file would read as a download that went well: refused before
    // anything, the font preamble too, goes to the printer.
    DWORD size = 0;
    if (CheckDownloadFile(path, &size) == FileFault::Empty) {
        ShowDownloadRefused(hwnd, startButton, DownloadFaultLines(path));
        return;
    }
    const WORD flags = SEND_ONCE | (dlgType == DLG_DOWN_VERSION ? SEND_MODE_VERSION : SEND_MODE_FONT);
    EnableWindow(GetDlgItem(hwnd, startButton), FALSE);
    if (!SendDataToPrn(hwnd, path, static_cast<DWORD>(std::strlen(path)), flags)) {
        bDownloading = false;
        ShowDownloadRefused(hwnd, startButton, DownloadFaultLines(path));
    }
}

INT_PTR CALLBACK bDownVerFileDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        dlgType = DLG_DOWN_VERSION;
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
        case IDC_DV_SEL_FILE:
            handleSelFileButton_Dw(hwnd);
            return FALSE;
        case IDC_DV_SEND:
            handleSendButton_Dw(hwnd);
            return FALSE;
        case IDC_DV_EXIT:
            _ExitDialog_Dw(hwnd);
            return TRUE;
        case IDC_DV_ENTER_DOWNLOAD:
            handleSendCmd1caa5501(hwnd);
            return FALSE;
        case IDC_DV_PARALLEL:
            handlePortRadio_Dw(hwnd, IDC_DV_PARALLEL, PORT_PARALLEL);
            return FALSE;
        case IDC_DV_USB:
            handlePortRadio_Dw(hwnd, IDC_DV_USB, PORT_USB);
            return FALSE;
        case IDC_DV_SERIAL:
            handlePortRadio_Dw(hwnd, IDC_DV_SERIAL, PORT_SERIAL);
            return FALSE;
        case IDC_DV_NETWORK:
            handlePortRadio_Dw(hwnd, IDC_DV_NETWORK, PORT_NETWORK);
            return FALSE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}
