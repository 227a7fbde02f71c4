// The port settings dialog: the parallel port, the serial port with its line
// settings, the USB system kind, and the parallel-port probe. It opens no
// port; OK stores the serial settings as the chosen COM port's default.
// Where the system lets the user say which device a COM name opens, a
// device chooser beside the COM list shows and sets it; its list follows the
// devices that come and go while the dialog is open.
#include "ui/ports/ports.h"

#include "platform/comdevices.h"
#include "port/network.h"
#include "port/port.h"
#include "port/portio.h"
#include "printer/status.h"
#include "res/resource.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>

namespace {

// The lists in ComSettings order after the parallel one, each with the rows
// it offers; a list position is a row index (for the COM list, minus 4).
struct ListRows {
    int id;
    std::span<const MapEntry> rows;
};

constexpr size_t kFirstComRow = 4;

const std::array<ListRows, 7> kLists{{
    {IDC_PS_LPT, std::span(gLptComNameMap).first(kFirstComRow)},
    {IDC_PS_COM, std::span(gLptComNameMap).subspan(kFirstComRow)},
    {IDC_PS_BAUD, gComRMap},
    {IDC_PS_DATABITS, gComDMap},
    {IDC_PS_PARITY, gComPMap},
    {IDC_PS_STOPBITS, gComSMap},
    {IDC_PS_FLOW, gComFMap},
}};

struct Position {
    int id;
    int position;
};

// The dialog's factory defaults: LPT1, COM1, 9600 baud, 8 data bits, no
// parity, 1 stop bit, no flow control.
constexpr std::array<Position, 7> kFactoryDefaults{{
    {IDC_PS_LPT, 0},
    {IDC_PS_COM, 0},
    {IDC_PS_BAUD, 5},
    {IDC_PS_DATABITS, 3},
    {IDC_PS_PARITY, 2},
    {IDC_PS_STOPBITS, 0},
    {IDC_PS_FLOW, 2},
}};

// Posted by the device watch when a serial device came or went.
constexpr UINT WM_PS_DEVICES_CHANGED = WM_APP + 0x18;

// After a device that is an active system console, in the list and the box.
constexpr char kConsoleMark[] = " (系统控制台)";

void Select(HWND window, int id, int position)
{
    SendDlgItemMessageA(window, id, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

// The selected position as a row index; a list without a selection gives
// 0xFF, which names no row of any table.
BYTE Selected(HWND window, int id)
{
    const LRESULT position = SendDlgItemMessageA(window, id, CB_GETCURSEL, 0, 0);
    return position < 0 || position > 0xFE ? 0xFF : static_cast<BYTE>(position);
}

void CheckUsbKind(HWND window, BYTE kind)
{
    CheckDlgButton(window, IDC_PS_USB1, kind == 0 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(window, IDC_PS_USB2, kind == 0 ? BST_UNCHECKED : BST_CHECKED);
}

const char* ChosenComName(HWND window)
{
    const BYTE com = Selected(window, IDC_PS_COM);
    return com == 0xFF ? nullptr : MapText(gLptComNameMap, com + kFirstComRow);
}

// A device as the chooser shows it: marked when it is the system console.
std::string DeviceRow(const std::string& device)
{
    return PlatCheckComDevice(device) == PlatDeviceState::SystemConsole ? device + kConsoleMark : device;
}

// Shows the device the chosen COM name opens.
void ShowComDevice(HWND window)
{
    if (!kPlatComDeviceChooser)
        return;
    const char* name = ChosenComName(window);
    SetDlgItemTextA(window, IDC_PS_DEVICE, name ? DeviceRow(PlatComDevice(name)).c_str() : "");
}

// Lists the serial devices present now; what the box holds stays.
void FillDeviceList(HWND window)
{
    SendDlgItemMessageA(window, IDC_PS_DEVICE, CB_RESETCONTENT, 0, 0);
    for (const std::string& device : PlatListComDevices())
        SendDlgItemMessageA(window, IDC_PS_DEVICE, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(DeviceRow(device).c_str()));
}

std::string TypedDevice(HWND window)
{
    char device[1024] = {};
    GetDlgItemTextA(window, IDC_PS_DEVICE, device, sizeof device);
    std::string text = device;
    const size_t first = text.find_first_not_of(" \t");
    const size_t last = text.find_last_not_of(" \t");
    text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    // A console's row picked from the list: the mark is no part of the path.
    const std::string mark = kConsoleMark;
    if (text.size() > mark.size() && text.compare(text.size() - mark.size(), mark.size(), mark) == 0)
        text.resize(text.size() - mark.size());
    return text;
}

// Stores the typed device for the chosen COM name when it differs from the
// one it opens now; an empty box gives the name its default device back.
bool StoreComDevice(HWND window)
{
    const char* name = ChosenComName(window);
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const std::string device = TypedDevice(window);
    if (device == PlatComDevice(name))
        return true;
    return PlatSetComDevice(name, device);
}

// Why the store could not be written, in the technician's words.
const char* StoreFailureReason(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
        return "没有写入权限";
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
        return "保存设置的文件夹不存在，也无法创建";
    case ERROR_DISK_FULL:
        return "磁盘已满";
    case ERROR_INVALID_PARAMETER:
        return "串口选择无效";
    default:
        return "写入失败";
    }
}

void ShowNotSaved(HWND window, DWORD error)
{
    char text[256];
    wsprintfA(text, "串口设置没有保存: %s (错误码 %d)!", StoreFailureReason(error), static_cast<int>(error));
    // Which file could not be written, so it can be looked at.
    const std::string lines = std::string(text) + "\n设置文件：" + PlatSerialStoreLocation();
    MessageBoxA(window, lines.c_str(), "Error", MB_OK | MB_ICONERROR);
}

// A device that is not there, or that this user may not open, is kept all
// the same (an adapter may be plugged in later), but the technician is told.
void WarnAboutDevice(HWND window)
{
    const char* name = ChosenComName(window);
    if (name == nullptr)
        return;
    const std::string device = PlatComDevice(name);
    std::string text;
    switch (PlatCheckComDevice(device)) {
    case PlatDeviceState::Usable:
        return;
    case PlatDeviceState::Missing:
        text = std::string(name) + " 的设备 " + device + " 不存在。设置已保存，接上设备后才能使用。";
        break;
    case PlatDeviceState::NoPermission:
        text = std::string("没有权限打开 ") + name + " 的设备 " + device +
               "。设置已保存；请把当前用户加入 dialout 组，重新登录后再试。";
        break;
    case PlatDeviceState::Directory:
        text = std::string(name) + " 的设备 " + device + " 是一个文件夹，不是串口。设置已保存；请选择打印机所连接的设备。";
        break;
    case PlatDeviceState::NotATerminal:
        text = std::string(name) + " 的设备 " + device + " 不是串口设备。设置已保存；请选择打印机所连接的设备。";
        break;
    case PlatDeviceState::SystemConsole:
        text = std::string(name) + " 的设备 " + device + " 是系统控制台，mptest 不会打开它。设置已保存；请为 " + name +
               " 选择打印机所连接的设备。";
        break;
    }
    MessageBoxA(window, text.c_str(), "Error", MB_OK | MB_ICONWARNING);
}

// A newly chosen device that is the system console is not taken: bytes for
// the printer would land on the machine's console. The dialog stays open.
bool RefuseConsole(HWND window)
{
    const char* name = ChosenComName(window);
    const std::string device = TypedDevice(window);
    if (name == nullptr || device.empty() || device == PlatComDevice(name) ||
        PlatCheckComDevice(device) != PlatDeviceState::SystemConsole)
        return false;
    const std::string text = std::string(name) + " 不能使用设备 " + device +
                             "：它是系统控制台，发给打印机的数据会出现在本机的控制台上。请选择打印机所连接的设备。";
    MessageBoxA(window, text.c_str(), "Error", MB_OK | MB_ICONERROR);
    return true;
}

// The network printer as typed: FALSE, with a message box that says what
// is wrong, when a field holds what cannot be used; nothing is lost.
BOOL ReadNetFields(HWND window, NetPrinter* printer)
{
    char host[sizeof printer->host] = {};
    char port[16] = {};
    char timeout[16] = {};
    GetDlgItemTextA(window, IDC_PS_NET_HOST, host, sizeof host);
    GetDlgItemTextA(window, IDC_PS_NET_PORT, port, sizeof port);
    GetDlgItemTextA(window, IDC_PS_NET_TIMEOUT, timeout, sizeof timeout);
    std::string typed = host;
    typed.erase(0, typed.find_first_not_of(' '));
    typed.erase(typed.find_last_not_of(' ') + 1);
    NetPrinter read{{}, NET_DEFAULT_PORT, NET_DEFAULT_TIMEOUT_S};
    const std::string where = typed.find(':') != std::string::npos && typed.front() != '[' ? "[" + typed + "]" : typed;
    if (!typed.empty() && !NetParseEndpoint(where + ":" + port, &read)) {
        MessageBoxA(window, "网络打印机的地址或端口不对：端口是 1 到 65535 的数字，IPv6 地址可以带方括号", "Error",
                    MB_OK | MB_ICONERROR);
        return FALSE;
    }
    char* end = nullptr;
    const unsigned long seconds = std::strtoul(timeout, &end, 10);
    if (*end != '\0' || seconds < 1 || seconds > NET_MAX_TIMEOUT_S) {
        MessageBoxA(window, ("连接超时应为 1 到 " + std::to_string(NET_MAX_TIMEOUT_S) + " 秒").c_str(), "Error",
                    MB_OK | MB_ICONERROR);
        return FALSE;
    }
    read.timeoutSeconds = seconds;
    if (typed.empty())
        read.host[0] = '\0';
    *printer = read;
    return TRUE;
}

void ShowNetFields(HWND window, const NetPrinter& printer)
{
    SetDlgItemTextA(window, IDC_PS_NET_HOST, printer.host);
    SetDlgItemTextA(window, IDC_PS_NET_PORT, std::to_string(printer.port).c_str());
    SetDlgItemTextA(window, IDC_PS_NET_TIMEOUT, std::to_string(printer.timeoutSeconds).c_str());
}

void handleNetTest(HWND window)
{
    NetPrinter typed{};
    if (!ReadNetFields(window, &typed))
        return;
    const NetPrinter kept = gNetInfo;
    gNetInfo = typed;
    BYTE answer = 0;
    bool answered = false;
    std::string result;
    if (!NetAskStatus(StatusRequestBytes(1), &answer, &answered))
        result = NetOpenFailureDetail();
    else if (!answered)
        result = NetEndpoint(typed.host, typed.port) + "：已连接，但打印机没有回答状态查询";
    else
        result = NetEndpoint(typed.host, typed.port) + "：已连接，状态 " + StatusAnswerText(1, answer);
    gNetInfo = kept;
    SetDlgItemTextA(window, IDC_PS_NET_RESULT, result.c_str());
}

void handlePortSetOk(HWND window)
{
    if (kPlatComDeviceChooser && RefuseConsole(window))
        return;
    NetPrinter network{};
    if (!ReadNetFields(window, &network))
        return;
    // Stored only when changed: a store that cannot be written is told
    // once, by the serial settings' own message, when nothing here changed.
    const bool changed = std::strcmp(network.host, gNetInfo.host) != 0 || network.port != gNetInfo.port ||
                         network.timeoutSeconds != gNetInfo.timeoutSeconds;
    gNetInfo = network;
    if (changed && !NetSaveSettings(gNetInfo))
        MessageBoxA(window, "网络打印机的设置没有保存：设置文件夹不能写入", "Error", MB_OK | MB_ICONERROR);
    bool saved = SetPortConfig(window, 1) != FALSE;
    if (saved && kPlatComDeviceChooser)
        saved = StoreComDevice(window);
    if (!saved)
        ShowNotSaved(window, GetLastError());
    else if (kPlatComDeviceChooser)
        WarnAboutDevice(window);
    EndDialog(window, 0);
}

void handleRefreshDevices(HWND window)
{
    FillDeviceList(window);
}

} // namespace

void InitPortSetCtrls(HWND window)
{
    // The probe touches the registers directly; only where that is allowed.
    EnableWindow(GetDlgItem(window, IDC_PS_TEST_LPT), PortIoHasRawAccess() ? TRUE : FALSE);
    for (const ListRows& list : kLists)
        for (const MapEntry& row : list.rows)
            SendDlgItemMessageA(window, list.id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.text));
    if (!kPlatComDeviceChooser) {
        for (int id : {IDC_PS_DEVICE_LABEL, IDC_PS_DEVICE, IDC_PS_REFRESH})
            ShowWindow(GetDlgItem(window, id), SW_HIDE);
        return;
    }
    FillDeviceList(window);
}

void SetCtrlsValue(HWND window)
{
    Select(window, IDC_PS_LPT, gLptInfo);
    CheckUsbKind(window, gUsbInfo);
    Select(window, IDC_PS_COM, gComInfo.port - static_cast<int>(kFirstComRow));
    Select(window, IDC_PS_BAUD, gComInfo.baud);
    Select(window, IDC_PS_DATABITS, gComInfo.dataBits);
    Select(window, IDC_PS_PARITY, gComInfo.parity);
    Select(window, IDC_PS_STOPBITS, gComInfo.stopBits);
    Select(window, IDC_PS_FLOW, gComInfo.flow);
    ShowComDevice(window);
    ShowNetFields(window, gNetInfo);
}

void SetPSUIDefaultValue(HWND window)
{
    for (const Position& p : kFactoryDefaults)
        Select(window, p.id, p.position);
    CheckUsbKind(window, 0);
    ShowComDevice(window); // COM1's device: the mapping is no factory setting
}

BOOL SetPortConfig(HWND window, int mode)
{
    if (mode != 1)
        return TRUE;
    gLptInfo = Selected(window, IDC_PS_LPT);
    gUsbInfo = IsDlgButtonChecked(window, IDC_PS_USB1) == BST_CHECKED ? 0 : 1;
    const BYTE com = Selected(window, IDC_PS_COM);
    gComInfo.port = com == 0xFF ? static_cast<BYTE>(gLptComNameMap.size()) : static_cast<BYTE>(com + kFirstComRow);
    gComInfo.baud = Selected(window, IDC_PS_BAUD);
    gComInfo.dataBits = Selected(window, IDC_PS_DATABITS);
    gComInfo.parity = Selected(window, IDC_PS_PARITY);
    gComInfo.stopBits = Selected(window, IDC_PS_STOPBITS);
    gComInfo.flow = Selected(window, IDC_PS_FLOW);
    if (com == 0xFF) {
        SetLastError(ERROR_INVALID_PARAMETER); // no COM port to store it for
        return FALSE;
    }
    return SetComConfig(&gCurrentComConfig, sizeof gCurrentComConfig);
}

BYTE handleTestLpt(HWND)
{
    return GetLptStatus();
}

INT_PTR CALLBACK bPortSetDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitPort();
        InitPortSetCtrls(window);
        SetCtrlsValue(window);
        if (kPlatComDeviceChooser)
            PlatWatchComDevices(window, WM_PS_DEVICES_CHANGED);
        return TRUE;
    case WM_PS_DEVICES_CHANGED:
        handleRefreshDevices(window);
        return TRUE;
    case WM_DESTROY:
        PlatUnwatchComDevices(window);
        return FALSE;
    case WM_CLOSE:
        EndDialog(window, 0);
        return TRUE;
    case WM_COMMAND:
        // No default button, and commands 1 and 2 (Enter, Escape) are not ours.
        switch (LOWORD(wParam)) {
        case IDC_PS_OK:
            handlePortSetOk(window);
            return TRUE;
        case IDC_PS_CANCEL:
            EndDialog(window, 0);
            return TRUE;
        case IDC_PS_DEFAULT:
            SetPSUIDefaultValue(window);
            return TRUE;
        case IDC_PS_TEST_LPT:
            handleTestLpt(window);
            return FALSE;
        case IDC_PS_COM:
            ShowComDevice(window);
            return FALSE;
        case IDC_PS_REFRESH:
            handleRefreshDevices(window);
            return TRUE;
        case IDC_PS_NET_TEST:
            handleNetTest(window);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}
