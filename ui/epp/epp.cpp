// The EPP console. "开始读" starts the read thread, which shows each change of
// the status register in box 1227 and captures EPP data bytes to the capture
// file; "结束读" stops it. The write group sends its typed text or hex to the
// EPP data register, once or until "结束发送". One EPP worker runs at a time,
// and the buttons that start one come back only once the last has ended.
#include "ui/epp/epp.h"

#include "port/port.h"
#include "port/portio.h"
#include "res/resource.h"
#include "send/epp.h"
#include "send/hex.h"
#include "send/send.h"

#include <string>

namespace {

constexpr DWORD kMaxTypedBytes = 511;

// Set when the read thread ended on an EPP time-out: "开始读" then stays
// off until "结束读" is pressed.
bool gReadTimedOut_Epp;

// Over the EPP console, not in the middle of the screen.
void ShowError(HWND hwnd, const char* text)
{
    MessageBoxA(hwnd, text, "Error", MB_OK | MB_ICONERROR);
}

// The buttons that start a worker are on only while none runs; the stop
// button of a send only while a send runs.
void RefreshButtons_Epp(HWND hwnd)
{
    const EppWorker worker = EppWorkerRunning();
    EnableWindow(GetDlgItem(hwnd, IDC_EPP_START_READ), worker == EPP_WORKER_NONE && !gReadTimedOut_Epp);
    EnableWindow(GetDlgItem(hwnd, IDC_EPP_SEND), worker == EPP_WORKER_NONE);
    EnableWindow(GetDlgItem(hwnd, IDC_EPP_STOP_SEND), worker == EPP_WORKER_WRITE);
}

bool RefuseWithoutPort(HWND hwnd)
{
    if (PortIoHasParallelPort())
        return false;
    ShowError(hwnd, "找不到可用的并口(没有并口，或没有访问并口的权限)!");
    return true;
}

void handleEppStatus(HWND hwnd, WPARAM code, LPARAM value)
{
    if (code == STATUS_EPP_CHANGED) {
        char text[12];
        wsprintfA(text, "%02x", static_cast<int>(value & 0xFF));
        SetDlgItemTextA(hwnd, IDC_EPP_STATUS, text);
        return;
    }
    if (code != STATUS_EPP_ENDED)
        return;
    if (value == EPP_END_READ_TIMEOUT)
        gReadTimedOut_Epp = true;
    else if (value == EPP_END_READ_NO_FILE)
        ShowError(hwnd, "无法打开数据文件 epp.txt(文件被占用、是链接或没有写权限)!");
    RefreshButtons_Epp(hwnd);
}

void handleStartRead_Epp(HWND hwnd)
{
    if (EppWorkerRunning() != EPP_WORKER_NONE || RefuseWithoutPort(hwnd))
        return;
    EnableWindow(GetDlgItem(hwnd, IDC_EPP_START_READ), FALSE);
    handleReadDataFromEpp(hwnd);
}

void handleStopRead_Epp(HWND hwnd)
{
    gReadTimedOut_Epp = false;
    // A send has its own stop button; this one does not end it.
    if (EppWorkerRunning() != EPP_WORKER_WRITE)
        RequestSendStop();
    RefreshButtons_Epp(hwnd);
}

// The typed bytes: pairs of hex digits, or the text in the printer's code
// page, at most 511 bytes either way.
std::string TypedBytes_Epp(const char* utf8, bool hex)
{
    if (hex) {
        std::string bytes(kMaxTypedBytes, '\0');
        DWORD length = 0;
        while (utf8[length] != '\0' && length < kMaxTypedBytes)
            ++length;
        bytes.resize(TranslateString(reinterpret_cast<BYTE*>(bytes.data()), utf8, length));
        return bytes;
    }
    std::string gbk = PlatUtf8ToGbk(utf8);
    gbk.resize(PlatGbkCut(gbk, kMaxTypedBytes));
    return gbk;
}

void handleSendButton_Epp(HWND hwnd)
{
    if (EppWorkerRunning() != EPP_WORKER_NONE || RefuseWithoutPort(hwnd))
        return;
    char utf8[4 * 512] = {};
    GetDlgItemTextA(hwnd, IDC_EPP_INPUT, utf8, sizeof utf8);
    if (utf8[0] == '\0') {
        ShowError(hwnd, "输入框为空!");
        return;
    }
    const std::string bytes = TypedBytes_Epp(utf8, IsDlgButtonChecked(hwnd, IDC_EPP_HEX) == BST_CHECKED);
    const BOOL repeat = IsDlgButtonChecked(hwnd, IDC_EPP_LOOP) == BST_CHECKED;
    if (!CreateWriteEppThread(hwnd, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()),
                              repeat))
        ShowError(hwnd, "发送数据错误！请重试");
    RefreshButtons_Epp(hwnd);
}

void handleSendOverButton_Epp(HWND hwnd)
{
    if (EppWorkerRunning() == EPP_WORKER_WRITE)
        RequestSendStop();
    EnableWindow(GetDlgItem(hwnd, IDC_EPP_STOP_SEND), FALSE);
}

} // namespace

void _InitCtrls_Epp(HWND hwnd)
{
    gReadTimedOut_Epp = false;
    RefreshButtons_Epp(hwnd);
}

void _ExitDialog_Epp(HWND hwnd)
{
    // The worker lets go of the capture file itself; the file is closed here
    // only if no worker ever took it over.
    StopEppAndWait();
    PortRelease();
    EndDialog(hwnd, 0);
}

void handleReadDataFromEpp(HWND hwnd)
{
    if (!CreateReadDataThread(hwnd, 0)) {
        ShowError(hwnd, "无法启动读数据线程!");
        RefreshButtons_Epp(hwnd);
    }
}

INT_PTR CALLBACK bEppDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        _InitCtrls_Epp(hwnd);
        return TRUE;
    case WM_CLOSE:
        _ExitDialog_Epp(hwnd);
        return TRUE;
    case WM_EPP_STATUS:
        handleEppStatus(hwnd, wParam, lParam);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_EPP_START_READ:
            handleStartRead_Epp(hwnd);
            break;
        case IDC_EPP_STOP_READ:
            handleStopRead_Epp(hwnd);
            break;
        case IDC_EPP_PARALLEL:
            // Marks the port record idle; nothing is opened.
            if (IsDlgButtonChecked(hwnd, IDC_EPP_PARALLEL) == BST_CHECKED)
                gCurrentPort.state = PORT_STATE_IDLE;
            break;
        case IDC_EPP_SEND:
            handleSendButton_Epp(hwnd);
            break;
        case IDC_EPP_STOP_SEND:
            handleSendOverButton_Epp(hwnd);
            break;
        case IDC_EPP_CLEAR:
            SetDlgItemTextA(hwnd, IDC_EPP_INPUT, "");
            break;
        default:
            break;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
