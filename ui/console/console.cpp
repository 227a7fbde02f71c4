// The command console: the technician picks a port, types commands (as text
// or hexadecimal digits) or picks a command file, and sends it once or
// repeatedly; a two-part status bar follows the send engine's reports.
#include "ui/console/console.h"

#include "port/network.h"
#include "port/port.h"
#include "printer/text.h"
#include "res/resource.h"
#include "send/hex.h"
#include "send/send.h"
#include "ui/console/history.h"

#include <cstring>
#include <string>

HWND hStatusBarUc;
DWORD dwSendCmdsCout;
DWORD dwSendFileLen;
CommandHistory gCommandHistory;

namespace {

// Bytes of the typed-data send under way, from its length report.
DWORD dwSendCmdsLen;

constexpr int kStatusPartPort = 0;
constexpr int kStatusPartCount = 1;
const char kAllFilesFilter[] = "所有文件(*.*)\0*.*\0";

void SetStatusText(int part, const char* text)
{
    if (hStatusBarUc != nullptr)
        SendMessageA(hStatusBarUc, SB_SETTEXTA, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text));
}

void SetStatusNumber(int part, const char* format, DWORD value)
{
    char text[128];
    wsprintfA(text, format, static_cast<int>(value));
    SetStatusText(part, text);
}

void EnableSendButtons(HWND hwnd, BOOL enable)
{
    EnableWindow(GetDlgItem(hwnd, IDC_UC_SEND), enable);
    EnableWindow(GetDlgItem(hwnd, IDC_UC_SEND_FILE), enable);
}

// A single send gives the send buttons back when it ends; while a repeating
// send runs its stop button is enabled and only that gives them back.
void EnableSendButtonsAfterSend(HWND hwnd)
{
    if (!IsWindowEnabled(GetDlgItem(hwnd, IDC_UC_STOP_CMDS)) && !IsWindowEnabled(GetDlgItem(hwnd, IDC_UC_STOP_FILE)))
        EnableSendButtons(hwnd, TRUE);
}

// Over the console, not in the middle of the screen.
void ShowError(HWND hwnd, const char* text)
{
    MessageBoxA(hwnd, text, "Error", MB_OK | MB_ICONERROR);
}

// A history file that cannot be written costs only the history: said once a
// run, with the file, after the send it came with has started.
void SaveHistory(HWND hwnd)
{
    static bool failureShown = false;
    const std::string why = HistorySave(gCommandHistory, HistoryPath());
    if (why.empty() || failureShown)
        return;
    failureShown = true;
    ShowError(hwnd, ("命令历史没有保存: " + why + "\n历史文件：" + HistoryPath()).c_str());
}

// A send refused. When its printer was pulled out and is not back yet, the
// second line says which port and why, and the send buttons stay usable:
// the next send tries the same port again.
void ShowSendRefused(HWND hwnd)
{
    if (PortOpenStopped())
        return; // the console closed while the port connected again
    if (!PortIsLost()) {
        ShowError(hwnd, "发送数据错误！请重试");
        return;
    }
    ShowError(hwnd, ("发送数据错误！请重试\n" + PortOpenFailureDetail(gCurrentPort.type)).c_str());
    EnableSendButtons(hwnd, TRUE);
    EnableWindow(GetDlgItem(hwnd, IDC_UC_STOP_CMDS), FALSE);
    EnableWindow(GetDlgItem(hwnd, IDC_UC_STOP_FILE), FALSE);
}

int RadioOfPortType(BYTE type)
{
    switch (type) {
    case PORT_SERIAL:
        return IDC_UC_SERIAL;
    case PORT_USB:
        return IDC_UC_USB;
    case PORT_NETWORK:
        return IDC_UC_NETWORK;
    default:
        return IDC_UC_PARALLEL;
    }
}

std::string TypedTextForPrinter(HWND hwnd)
{
    char utf8[4 * 512] = {};
    GetDlgItemTextA(hwnd, IDC_UC_INPUT, utf8, sizeof utf8);
    return TextForPrinter(utf8);
}

WNDPROC gInputBoxProc = nullptr;

// The input box's keys first: Up and Down recall the history while the box
// holds no line break; otherwise they move the caret as usual.
LRESULT CALLBACK InputBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_KEYDOWN && (wParam == VK_UP || wParam == VK_DOWN) && handleHistoryKey(GetParent(box), wParam == VK_UP))
        return 0;
    return CallWindowProcW(gInputBoxProc, box, message, wParam, lParam);
}

void _InitCtrls(HWND hwnd)
{
    CheckDlgButton(hwnd, IDC_UC_PARALLEL, BST_CHECKED);
    CheckDlgButton(hwnd, IDC_UC_USB, BST_UNCHECKED);
    CheckDlgButton(hwnd, IDC_UC_SERIAL, BST_UNCHECKED);
    CheckDlgButton(hwnd, IDC_UC_NETWORK, BST_UNCHECKED);
    SetDlgItemTextA(hwnd, IDC_UC_INPUT, "");
    SetDlgItemTextA(hwnd, IDC_UC_FILE_NAME, "");
    CheckDlgButton(hwnd, IDC_UC_HEX, BST_UNCHECKED);
    CheckDlgButton(hwnd, IDC_UC_LOOP_CMDS, BST_UNCHECKED);
    CheckDlgButton(hwnd, IDC_UC_LOOP_FILE, BST_UNCHECKED);
    EnableWindow(GetDlgItem(hwnd, IDC_UC_STOP_CMDS), FALSE);
    EnableWindow(GetDlgItem(hwnd, IDC_UC_STOP_FILE), FALSE);
    PortRelease();
    ClearPortRecord(gCurrentPort);
    _CreateStatusBar_Uc(hwnd);
    dwSendCmdsCout = 0;
    InitReceive_Uc(hwnd);
    gCommandHistory = HistoryLoad(HistoryPath());
    // The W call keeps the box a Unicode window: installed with the A call,
    // every typed character would pass through the ANSI code page first.
    gInputBoxProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(GetDlgItem(hwnd, IDC_UC_INPUT), GWLP_WNDPROC,
                                                                reinterpret_cast<LONG_PTR>(InputBoxProc)));
}

void handleSendCmdsStatus(HWND hwnd, WPARAM code, LPARAM value)
{
    switch (code) {
    case STATUS_CMDS_LENGTH:
        dwSendCmdsCout = 0;
        dwSendCmdsLen = static_cast<DWORD>(value);
        SetStatusNumber(kStatusPartPort, "发送指令长度 %d字节", static_cast<DWORD>(value));
        break;
    case STATUS_CMDS_SENT:
        dwSendCmdsCout += static_cast<DWORD>(value);
        SetStatusNumber(kStatusPartCount, "已发送字节数 %d", dwSendCmdsCout);
        // The count alone would not tell a printer that took nothing.
        if (static_cast<DWORD>(value) < dwSendCmdsLen) {
            char text[128];
            wsprintfA(text, "发送失败：只发出 %d/%d 字节，", static_cast<int>(value), static_cast<int>(dwSendCmdsLen));
            const std::string lost = NetLostReason();
            SetStatusText(kStatusPartPort, (text + (lost.empty() ? std::string("请检查打印机") : lost)).c_str());
        }
        EnableSendButtonsAfterSend(hwnd);
        break;
    default:
        break;
    }
}

void handleSendFileStatus_Uc(HWND hwnd, WPARAM code, LPARAM value)
{
    const DWORD amount = static_cast<DWORD>(value);
    switch (code) {
    case STATUS_FILE_LENGTH:
        dwSendCmdsCout = 0;
        dwSendFileLen = amount;
        SetStatusNumber(kStatusPartPort, "命令文件长度: %d字节 ", amount);
        break;
    case STATUS_FILE_PROGRESS:
        // Part 1 shows the completed passes plus the progress of this one.
        if (amount >= dwSendFileLen) {
            dwSendCmdsCout += amount;
            SetStatusNumber(kStatusPartCount, "已发送数据:%d字节", dwSendCmdsCout);
        } else {
            SetStatusNumber(kStatusPartCount, "已发送数据:%d字节", dwSendCmdsCout + amount);
        }
        break;
    case STATUS_FILE_DONE:
        EnableSendButtonsAfterSend(hwnd);
        break;
    case STATUS_FILE_FAILED: {
        const std::string lost = NetLostReason();
        SetStatusText(kStatusPartPort, ("文件发送失败" + (lost.empty() ? "" : "：" + lost)).c_str());
        EnableSendButtonsAfterSend(hwnd);
        break;
    }
    default:
        break;
    }
}

void _ExitDialog_Uc(HWND hwnd)
{
    if (hStatusBarUc != nullptr) {
        DestroyWindow(hStatusBarUc);
        hStatusBarUc = nullptr;
    }
    // A send still running ends before the port is released, so the sending
    // thread never writes to a closed handle.
    StopSendAndWait();
    PortRelease(); // ends the console's reader first
    ExitReceive_Uc(hwnd);
    EndDialog(hwnd, 0);
}

} // namespace

void _CreateStatusBar_Uc(HWND hwnd)
{
    hStatusBarUc = CreateStatusWindowA(WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | SBARS_SIZEGRIP, "", hwnd,
                                       IDC_UC_STATUSBAR);
    if (hStatusBarUc != nullptr) {
        RECT client{};
        GetClientRect(hwnd, &client);
        const int width = client.right - client.left;
        int parts[2] = {(width * 3 / 4) * 2 / 3, width * 3 / 4};
        SendMessageA(hStatusBarUc, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
        SetStatusText(kStatusPartPort, "请选择打印接口");
    }
    MoveWindow(hStatusBarUc, 0, 0, 0, 0, TRUE);
}

BOOL SetCurrentPort(HWND hwnd, BYTE type)
{
    if (gCurrentPort.state == PORT_STATE_BUSY)
        return FALSE;
    if (OpenPorts(type)) {
        EnableSendButtons(hwnd, TRUE);
        if (type == PORT_SERIAL)
            SetStatusText(kStatusPartPort, getComInfo());
        else if (type == PORT_NETWORK)
            SetStatusText(kStatusPartPort, ("网络口: " + NetEndpoint(gNetInfo.host, gNetInfo.port)).c_str());
        else
            SetStatusText(kStatusPartPort, type == PORT_USB ? "U口" : "并口");
        FollowPort_Uc(hwnd, TRUE);
        return TRUE;
    }
    FollowPort_Uc(hwnd, FALSE);
    CheckDlgButton(hwnd, RadioOfPortType(type), BST_UNCHECKED);
    EnableSendButtons(hwnd, FALSE);
    if (PortOpenStopped()) {
        // The user ended the connect (closing the console): no box for that.
        SetStatusText(kStatusPartPort, "连接已取消");
        return FALSE;
    }
    SetStatusText(kStatusPartPort, "打开端口失败!");
    const char* message = type == PORT_SERIAL    ? "串口被占用或有错误!"
                          : type == PORT_USB     ? "usb不在线或拨出!"
                          : type == PORT_NETWORK ? "连接网络打印机失败!"
                                                 : "打开并口失败!";
    ShowError(hwnd, (std::string(message) + "\n" + PortOpenFailureDetail(type)).c_str());
    return FALSE;
}

void handleSendButton(HWND hwnd)
{
    if (gCurrentPort.state == PORT_STATE_BUSY)
        return;
    std::string text = TypedTextForPrinter(hwnd);
    if (text.empty()) {
        ShowError(hwnd, "输入框为空!");
        return;
    }
    ReopenLostPort_Uc(hwnd);
    WORD flags = SEND_MODE_CMDS;
    const bool hex = IsDlgButtonChecked(hwnd, IDC_UC_HEX) == BST_CHECKED;
    char typed[4 * 512] = {};
    GetDlgItemTextA(hwnd, IDC_UC_INPUT, typed, sizeof typed);
    HistoryAdd(gCommandHistory, {typed, hex});
    flags |= hex ? SEND_HEX : SEND_TEXT;
    if (hex) {
        std::string bytes(text.size(), '\0');
        bytes.resize(TranslateString(reinterpret_cast<BYTE*>(bytes.data()), text.data(), static_cast<DWORD>(text.size())));
        NoteSent_Uc(bytes);
    } else {
        text += LineEnding_Uc(hwnd); // once, after the cut to 511 bytes
        NoteSent_Uc(text);
    }
    if (IsDlgButtonChecked(hwnd, IDC_UC_LOOP_CMDS) == BST_CHECKED) {
        flags |= SEND_LOOP;
        EnableWindow(GetDlgItem(hwnd, IDC_UC_STOP_CMDS), TRUE);
    } else {
        flags |= SEND_ONCE;
    }
    EnableSendButtons(hwnd, FALSE);
    if (!SendDataToPrn(hwnd, text.data(), static_cast<DWORD>(text.size()), flags))
        ShowSendRefused(hwnd);
    SaveHistory(hwnd);
}

BOOL handleHistoryKey(HWND hwnd, BOOL up)
{
    char typed[4 * 512] = {};
    GetDlgItemTextA(hwnd, IDC_UC_INPUT, typed, sizeof typed);
    if (std::strpbrk(typed, "\r\n") != nullptr)
        return FALSE;
    const HistoryEntry* entry = HistoryStep(gCommandHistory, up);
    if (entry == nullptr && up)
        return FALSE;
    SetDlgItemTextA(hwnd, IDC_UC_INPUT, entry != nullptr ? entry->text.c_str() : "");
    if (entry != nullptr)
        CheckDlgButton(hwnd, IDC_UC_HEX, entry->hex ? BST_CHECKED : BST_UNCHECKED);
    return TRUE;
}

void handleSendFileButton(HWND hwnd)
{
    if (gCurrentPort.state == PORT_STATE_BUSY)
        return;
    char path[512] = {};
    GetDlgItemTextA(hwnd, IDC_UC_FILE_NAME, path, sizeof path);
    if (path[0] == '\0') {
        ShowError(hwnd, "请先选择文件！");
        return;
    }
    ReopenLostPort_Uc(hwnd);
    WORD flags = SEND_MODE_FILE;
    if (IsDlgButtonChecked(hwnd, IDC_UC_LOOP_FILE) == BST_CHECKED) {
        flags |= SEND_LOOP;
        EnableWindow(GetDlgItem(hwnd, IDC_UC_STOP_FILE), TRUE);
    } else {
        flags |= SEND_ONCE;
    }
    EnableSendButtons(hwnd, FALSE);
    NoteSentFile_Uc(path);
    if (!SendDataToPrn(hwnd, path, static_cast<DWORD>(std::strlen(path) + 1), flags))
        ShowSendRefused(hwnd);
}

void handleSelFileButton(HWND hwnd)
{
    char path[260] = {};
    SelectFileName(hwnd, kAllFilesFilter, path);
    SetDlgItemTextA(hwnd, IDC_UC_FILE_NAME, path);
}

void handleSendOverButton(HWND hwnd)
{
    EnableSendButtons(hwnd, TRUE);
    EnableWindow(GetDlgItem(hwnd, IDC_UC_STOP_CMDS), FALSE);
    EnableWindow(GetDlgItem(hwnd, IDC_UC_STOP_FILE), FALSE);
    RequestSendStop();
}

INT_PTR CALLBACK bUserCmdDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (IsReceiveMessage_Uc(message)) {
        handleReceiveMessage_Uc(hwnd, message);
        return FALSE;
    }
    switch (message) {
    case WM_INITDIALOG:
        _InitCtrls(hwnd);
        return TRUE;
    case WM_CLOSE:
        _ExitDialog_Uc(hwnd);
        return TRUE;
    case WM_SENDCMDS_STATUS:
        handleSendCmdsStatus(hwnd, wParam, lParam);
        return FALSE;
    case WM_SENDFILE_STATUS:
        handleSendFileStatus_Uc(hwnd, wParam, lParam);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_UC_PARALLEL:
        case IDC_UC_USB:
        case IDC_UC_SERIAL:
        case IDC_UC_NETWORK: {
            const int id = LOWORD(wParam);
            if (IsDlgButtonChecked(hwnd, id) == BST_CHECKED) {
                const BYTE type = id == IDC_UC_PARALLEL ? PORT_PARALLEL
                                  : id == IDC_UC_USB    ? PORT_USB
                                  : id == IDC_UC_SERIAL ? PORT_SERIAL
                                                        : PORT_NETWORK;
                if (!SetCurrentPort(hwnd, type))
                    CheckDlgButton(hwnd, id, BST_UNCHECKED);
            }
            return FALSE;
        }
        case IDC_UC_SEND:
            handleSendButton(hwnd);
            return FALSE;
        case IDC_UC_CLEAR:
            SetDlgItemTextA(hwnd, IDC_UC_INPUT, "");
            return FALSE;
        case IDC_UC_SEL_FILE:
            handleSelFileButton(hwnd);
            return FALSE;
        case IDC_UC_SEND_FILE:
            handleSendFileButton(hwnd);
            return FALSE;
        case IDC_UC_STOP_CMDS:
        case IDC_UC_STOP_FILE:
            handleSendOverButton(hwnd);
            return FALSE;
        case IDC_UC_EXIT:
            _ExitDialog_Uc(hwnd);
            return TRUE;
        case IDC_UC_RX_HEX:
        case IDC_UC_RX_STAMPS:
            handleRxViewOption_Uc(hwnd);
            return FALSE;
        case IDC_UC_RX_CLEAR:
            handleRxClearButton(hwnd);
            return FALSE;
        case IDC_UC_STATUS_QUERY:
            handleStatusQueryButton(hwnd);
            return FALSE;
        case IDC_UC_LOG_SAVE:
            handleLogSaveButton(hwnd);
            return FALSE;
        case IDC_UC_LOG_APPEND:
            handleLogAppendCheck(hwnd);
            return FALSE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}
