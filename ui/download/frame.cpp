// The frame the three download dialogs share: which dialog is open, its
// status bar, the port radios and the opening of the chosen port, the file
// chooser, the file-transfer reports, and the close.
#include "ui/download/download.h"

#include "port/network.h"
#include "port/port.h"
#include "res/resource.h"
#include "send/hex.h"
#include "send/send.h"

#include <string>

BYTE dlgType;
HWND hStatusBarDw;
BYTE openPORT;
int curButton;
bool bDownloading;

namespace {

const char kAllFilesFilter[] = "所有文件(*.*)\0*.*\0";

struct DialogControls {
    int parallel, usb, serial, text, start, network;
};

DialogControls ControlsOf(BYTE type)
{
    switch (type) {
    case DLG_DOWN_VERSION:
        return {IDC_DV_PARALLEL, IDC_DV_USB, IDC_DV_SERIAL, IDC_DV_PATH, IDC_DV_SEND, IDC_DV_NETWORK};
    case DLG_DOWN_FONT:
        return {IDC_DF_PARALLEL, IDC_DF_USB, IDC_DF_SERIAL, IDC_DF_PATH, IDC_DF_SEND, IDC_DF_NETWORK};
    default:
        return {IDC_DN_PARALLEL, IDC_DN_USB, IDC_DN_SERIAL, IDC_DN_NUMBER, IDC_DN_SEND, IDC_DN_NETWORK};
    }
}

void SetStatusNumber(int part, const char* format, LPARAM value)
{
    char text[128];
    wsprintfA(text, format, static_cast<int>(value));
    SetStatusText_Dw(part, text);
}

} // namespace

void SetStatusText_Dw(int part, const char* text)
{
    if (hStatusBarDw != nullptr)
        SendMessageA(hStatusBarDw, SB_SETTEXTA, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text));
}

void ShowError_Dw(HWND hwnd, const char* text)
{
    // Over the dialog that asks, not in the middle of the screen.
    MessageBoxA(hwnd, text, "Error", MB_OK | MB_ICONERROR);
}

void ShowPortOpenFailed_Dw(HWND hwnd, BYTE portType)
{
    if (PortOpenStopped()) {
        SetStatusText_Dw(0, "连接已取消"); // the user ended it: no box
        return;
    }
    SetStatusText_Dw(0, "打开端口失败!");
    ShowError_Dw(hwnd, (std::string(PortOpenFailedText_Dw(portType)) + "\n" + PortOpenFailureDetail(portType)).c_str());
}

void _CreateStatusBar(HWND hwnd)
{
    hStatusBarDw = CreateStatusWindowA(WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | SBARS_SIZEGRIP, "", hwnd,
                                       IDC_DW_STATUSBAR);
    if (hStatusBarDw != nullptr) {
        RECT client{};
        GetClientRect(hwnd, &client);
        const int width = client.right - client.left;
        int parts[2] = {2 * width / 3, width};
        SendMessageA(hStatusBarDw, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
        SetStatusText_Dw(0, "请选择下载接口");
    }
    MoveWindow(hStatusBarDw, 0, 0, 0, 0, TRUE);
}

void _InitCtrls_Dw(HWND hwnd)
{
    const DialogControls controls = ControlsOf(dlgType);
    CheckDlgButton(hwnd, controls.parallel, BST_CHECKED);
    CheckDlgButton(hwnd, controls.usb, BST_UNCHECKED);
    CheckDlgButton(hwnd, controls.serial, BST_UNCHECKED);
    CheckDlgButton(hwnd, controls.network, BST_UNCHECKED);
    SetDlgItemTextA(hwnd, controls.text, "");
    // The port the start opens matches the radio shown selected.
    openPORT = PORT_PARALLEL;
    PortRelease();
    ClearPortRecord(gCurrentPort);
    bDownloading = false;
    _CreateStatusBar(hwnd);
}

BOOL SetCurrentPort_Dw(HWND hwnd, int, BYTE portType)
{
    // A refused choice is not recorded: the next transfer opens the port
    // the dialog last took.
    if (gCurrentPort.state == PORT_STATE_BUSY)
        return FALSE;
    openPORT = portType;
    const int start = ControlsOf(dlgType).start;
    HWND enterDownload = GetDlgItem(hwnd, IDC_DV_ENTER_DOWNLOAD);
    if (enterDownload != nullptr)
        EnableWindow(enterDownload, portType != PORT_USB && portType != PORT_NETWORK); // as on USB
    if (!OpenPorts(portType))
        ShowPortOpenFailed_Dw(hwnd, portType);
    // The start button opens the port again, so the user can retry there.
    EnableWindow(GetDlgItem(hwnd, start), TRUE);
    if (portType == PORT_SERIAL)
        SetStatusText_Dw(0, getComInfo());
    else if (portType == PORT_NETWORK)
        SetStatusText_Dw(0, ("网络口: " + NetEndpoint(gNetInfo.host, gNetInfo.port)).c_str());
    else
        SetStatusText_Dw(0, portType == PORT_USB ? "U口" : "并口");
    return TRUE;
}

void handlePortRadio_Dw(HWND hwnd, int radioId, BYTE portType)
{
    if (IsDlgButtonChecked(hwnd, radioId) == BST_CHECKED && !SetCurrentPort_Dw(hwnd, radioId, portType))
        CheckDlgButton(hwnd, radioId, BST_UNCHECKED);
}

void handleSelFileButton_Dw(HWND hwnd)
{
    char path[260] = {};
    SelectFileName(hwnd, kAllFilesFilter, path);
    SetDlgItemTextA(hwnd, dlgType == DLG_DOWN_VERSION ? IDC_DV_PATH : IDC_DF_PATH, path);
}

void handleSendOverButton_Dw(HWND)
{
    RequestSendStop();
}

void handleSendFileStatus(HWND hwnd, WPARAM code, LPARAM value)
{
    switch (code) {
    case STATUS_FILE_LENGTH:
        bDownloading = true;
        SetStatusNumber(0, "下载文件长度: %d字节 ", value);
        SetStatusText_Dw(1, "正在下载中...");
        break;
    case STATUS_FILE_PROGRESS: {
        char text[128];
        wsprintfA(text, "更新进度:%d%c", static_cast<int>(value), '%');
        SetStatusText_Dw(1, text);
        break;
    }
    case STATUS_FILE_DONE:
        bDownloading = false;
        EnableWindow(GetDlgItem(hwnd, ControlsOf(dlgType).start), TRUE);
        SetStatusText_Dw(0, kDownloadDoneText_Dw);
        SetStatusText_Dw(1, "");
        break;
    case STATUS_FILE_FAILED:
        bDownloading = false;
        EnableWindow(GetDlgItem(hwnd, dlgType == DLG_DOWN_VERSION ? IDC_DV_SEND : IDC_DF_SEND), TRUE);
        SetStatusText_Dw(0, kDownloadFailedText_Dw);
        SetStatusText_Dw(1, "");
        break;
    default:
        break;
    }
}

void _ExitDialog_Dw(HWND hwnd)
{
    if (bDownloading && dlgType != DLG_DOWN_PRN_NUM) {
        SetStatusText_Dw(0, "正在下载，请等待下载结束");
        return;
    }
    openPORT = PORT_PARALLEL;
    if (hStatusBarDw != nullptr) {
        DestroyWindow(hStatusBarDw);
        hStatusBarDw = nullptr;
    }
    handleSendOverButton_Dw(hwnd);
    // The machine number's one write goes out whole (the stall rule bounds
    // the wait). Elsewhere what still runs is a short command or the release
    // after a final report: it is given up. Either way the sending thread is
    // gone before the port is released.
    if (dlgType == DLG_DOWN_PRN_NUM)
        WaitSendEnd(INFINITE);
    else
        StopSendAndWait();
    PortRelease();
    EndDialog(hwnd, 0);
}
