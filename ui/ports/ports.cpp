// The port settings dialog: the parallel port, the serial port with its line
// settings, the USB system kind, and the parallel-port probe. It opens no
// port; OK stores the serial settings as the chosen COM port's default.
#include "ui/ports/ports.h"

#include "port/port.h"
#include "port/portio.h"
#include "res/resource.h"

#include <array>
#include <span>

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

void handlePortSetOk(HWND window)
{
    SetPortConfig(window, 1);
    EndDialog(window, 0);
}

} // namespace

void InitPortSetCtrls(HWND window)
{
    // The probe touches the registers directly; only where that is allowed.
    EnableWindow(GetDlgItem(window, IDC_PS_TEST_LPT), PortIoHasRawAccess() ? TRUE : FALSE);
    for (const ListRows& list : kLists)
        for (const MapEntry& row : list.rows)
            SendDlgItemMessageA(window, list.id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.text));
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
}

void SetPSUIDefaultValue(HWND window)
{
    for (const Position& p : kFactoryDefaults)
        Select(window, p.id, p.position);
    CheckUsbKind(window, 0);
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
        return TRUE;
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
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}
