// The test dialog and its tab host: the port choice, the tab control built
// over the "测试项目" group box, the pages created on first selection and
// kept (so each keeps its settings), and closing.
#include "ui/testprint/testprint.h"

#include "port/port.h"
#include "res/resource.h"
#include "send/send.h"

#include <algorithm>
#include <string>

std::array<HWND, kTestPageCount> gTabPages;
std::array<DLGPROC, kTestPageCount> gChildDialogProc;

namespace {

struct TabRow {
    const char* text;
    int templateId;
    DLGPROC proc;
};

const std::array<TabRow, kTestPageCount> kTabRows{{
    {"西文字符", IDD_TEST_CHAR, bChild_Char_Proc},
    {"中文字符", IDD_TEST_GBK, bChild_GBK_Proc},
    {"黑标测试", IDD_TEST_BMARK, bChild_Bmark_Proc},
    {"电流测试", IDD_TEST_DIANLIU, bChild_Dianliu_Proc},
    {"常用测试", IDD_TEST_OTHER, bChild_Other_Proc},
    {"USB测试", IDD_TEST_USBLIB, bChild_UsbLib_Proc},
}};

const std::array<PortRadio, 4> kPortRadios{{
    {IDC_T_PARALLEL, PORT_PARALLEL, "并口忙或出错!"},
    {IDC_T_USB, PORT_USB, "usb不在线或拨出!"},
    {IDC_T_SERIAL, PORT_SERIAL, "串口被占用或有错误!"},
    {IDC_T_NETWORK, PORT_NETWORK, "连接网络打印机失败!"},
}};

TabHostRecord* HostOf(HWND dialog)
{
    return reinterpret_cast<TabHostRecord*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
}

void OffsetRect_T(RECT& r, LONG dx, LONG dy)
{
    r.left += dx;
    r.right += dx;
    r.top += dy;
    r.bottom += dy;
}

HWND CreatePage(HWND dialog, int index)
{
    TabHostRecord* host = HostOf(dialog);
    if (host == nullptr)
        return nullptr;
    return CreateDialogIndirectParamA(GetModuleHandleA(nullptr), host->pageTemplates[index], dialog,
                                      gChildDialogProc[index], 0);
}

void _CreateTabCtrl(HWND dialog)
{
    auto* host = static_cast<TabHostRecord*>(LocalAlloc(LPTR, sizeof(TabHostRecord)));
    SetWindowLongPtrA(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(host));
    if (host == nullptr)
        return;

    const LONG units = GetDialogBaseUnits();
    const int marginX = LOWORD(units) / 4;
    const int marginY = HIWORD(units) / 8;
    RECT group{};
    GetClientRect(GetDlgItem(dialog, IDC_T_GROUP), &group);

    host->tabControl = GetDlgItem(dialog, IDC_T_TAB);
    if (host->tabControl == nullptr)
        ShowError_T(dialog, "tab control is null");

    for (int i = 0; i < kTestPageCount; ++i) {
        TCITEMA item{};
        item.mask = TCIF_TEXT | TCIF_IMAGE;
        item.iImage = -1;
        item.pszText = const_cast<char*>(kTabRows[i].text);
        SendMessageA(host->tabControl, TCM_INSERTITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        host->pageTemplates[i] = DoLockDlgRes(kTabRows[i].templateId);
    }

    RECT tab{0, 0, group.right - 40, group.bottom - 67};
    SendMessageA(host->tabControl, TCM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&tab));
    OffsetRect_T(tab, marginX - tab.left, marginY - tab.top);
    host->pageRect = tab;
    SendMessageA(host->tabControl, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&host->pageRect));
    OffsetRect_T(tab, 30, 90);
    OffsetRect_T(host->pageRect, 30, 90);
    SetWindowPos(host->tabControl, nullptr, tab.left, tab.top, tab.right - tab.left, tab.bottom - tab.top,
                 SWP_NOZORDER);

    host->currentPage = CreatePage(dialog, 0);
    gTabPages[0] = host->currentPage;
}

void _InitCtrls_T(HWND dialog)
{
    CheckDlgButton(dialog, IDC_T_PARALLEL, BST_CHECKED);
    CheckDlgButton(dialog, IDC_T_USB, BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_T_SERIAL, BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_T_NETWORK, BST_UNCHECKED);
    gTabPages.fill(nullptr);
    for (int i = 0; i < kTestPageCount; ++i)
        gChildDialogProc[i] = kTabRows[i].proc;
    _CreateTabCtrl(dialog);
    // A handle some earlier user left open is closed, not lost.
    PortRelease();
    ClearPortRecord(gCurrentPort);
}

// The record lives until the last page is gone.
void FreeHost(HWND dialog)
{
    if (TabHostRecord* host = HostOf(dialog)) {
        SetWindowLongPtrA(dialog, GWLP_USERDATA, 0);
        LocalFree(host);
    }
}

void DestroyPages()
{
    for (HWND& page : gTabPages) {
        if (page != nullptr)
            DestroyWindow(page);
        page = nullptr;
    }
}

void _ExitDialog_T(HWND dialog)
{
    DestroyPages();
    FreeHost(dialog);
    // A repeating test ends with the dialog; the port is released only once
    // the sending thread has let go of it.
    StopSendAndWait();
    PortRelease();
    EndDialog(dialog, 0);
}

} // namespace

LPCDLGTEMPLATEA DoLockDlgRes(int templateId)
{
    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(templateId), RT_DIALOG);
    HGLOBAL loaded = LoadResource(nullptr, resource);
    return static_cast<LPCDLGTEMPLATEA>(LockResource(loaded));
}

void ShowError_T(HWND window, const char* text)
{
    // Over the test dialog, not in the middle of the screen: a page as the
    // owner stands for the dialog that holds it.
    MessageBoxA(window, text, "Error", MB_OK | MB_ICONERROR);
}

bool CheckPort_T(HWND page, const char* message)
{
    if (!PortReadyToSend()) {
        if (PortOpenStopped())
            return false; // the dialog closed while the port connected again
        // A printer pulled out and not back yet: its port is still chosen,
        // so the second line says which and why.
        if (PortIsLost())
            ShowError_T(page, (std::string(message) + "\n" + PortOpenFailureDetail(gCurrentPort.type)).c_str());
        else
            ShowError_T(page, message);
        return false;
    }
    return true;
}

void SendTest_T(HWND page, std::span<const BYTE> bytes, WORD flags, const char* refusedMessage)
{
    if (!SendDataToPrn(page, bytes.data(), static_cast<DWORD>(bytes.size()), flags))
        ShowError_T(page, refusedMessage);
}

void OnChildDialogInit(HWND page)
{
    TabHostRecord* host = HostOf(GetParent(page));
    if (host == nullptr)
        return;
    // The page fills the tab's frame as the tab control draws it, even where
    // the system's font makes the template smaller; it is never cut.
    RECT frame{};
    GetWindowRect(host->tabControl, &frame);
    SendMessageA(host->tabControl, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&frame));
    POINT frameEnd{frame.right, frame.bottom};
    ScreenToClient(GetParent(page), &frameEnd);
    RECT own{};
    GetWindowRect(page, &own);
    const LONG width = std::max(own.right - own.left, frameEnd.x - host->pageRect.left);
    const LONG height = std::max(own.bottom - own.top, frameEnd.y - host->pageRect.top);
    SetWindowPos(page, HWND_TOP, host->pageRect.left, host->pageRect.top, width, height, 0);
    ShowWindow(page, SW_SHOW);
}

void OnSelChanging(HWND)
{
    // The repeating Latin test ends here, before another page shows; a
    // single test still going out (全黑打印, 样例测试) goes out whole, since a
    // command cut in half prints as garbage.
    StopRepeatingSendAndWait();
}

void OnSelChanged(HWND dialog)
{
    TabHostRecord* host = HostOf(dialog);
    if (host == nullptr)
        return;
    const int index = static_cast<int>(SendMessageA(host->tabControl, TCM_GETCURSEL, 0, 0));
    if (index < 0 || index >= kTestPageCount)
        return;
    if (host->currentPage != nullptr)
        ShowWindow(host->currentPage, SW_HIDE);
    if (gTabPages[index] == nullptr) {
        host->currentPage = CreatePage(dialog, index);
        gTabPages[index] = host->currentPage;
    } else {
        host->currentPage = gTabPages[index];
        ShowWindow(host->currentPage, SW_SHOW);
    }
}

BOOL ChoosePort_T(HWND dialog, std::span<const PortRadio> radios, int radioId, BYTE portType)
{
    if (gCurrentPort.state == PORT_STATE_BUSY) {
        // Ignored while a send runs: the radios go back to the port in force.
        for (const PortRadio& radio : radios)
            CheckDlgButton(dialog, radio.id, radio.type == gCurrentPort.type ? BST_CHECKED : BST_UNCHECKED);
        return FALSE;
    }
    if (OpenPorts(portType))
        return TRUE;
    CheckDlgButton(dialog, radioId, BST_UNCHECKED);
    if (PortOpenStopped())
        return FALSE; // the dialog closed during the connect
    for (const PortRadio& radio : radios)
        if (radio.type == portType)
            ShowError_T(dialog, (std::string(radio.failure) + "\n" + PortOpenFailureDetail(portType)).c_str());
    return FALSE;
}

BOOL SetCurrentPort_T(HWND dialog, int radioId, BYTE portType)
{
    return ChoosePort_T(dialog, kPortRadios, radioId, portType);
}

INT_PTR CALLBACK bTestDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        _InitCtrls_T(dialog);
        return FALSE;
    case WM_CLOSE:
        _ExitDialog_T(dialog);
        return TRUE;
    case WM_DESTROY:
        // Destroyed without being closed: the pages are gone already.
        gTabPages.fill(nullptr);
        FreeHost(dialog);
        return FALSE;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header == nullptr)
            return FALSE;
        if (header->code == TCN_SELCHANGING)
            OnSelChanging(dialog);
        else if (header->code == TCN_SELCHANGE)
            OnSelChanged(dialog);
        return FALSE;
    }
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDC_T_CLOSE) {
            _ExitDialog_T(dialog);
            return FALSE;
        }
        for (const PortRadio& radio : kPortRadios)
            if (radio.id == id && IsDlgButtonChecked(dialog, id) == BST_CHECKED)
                SetCurrentPort_T(dialog, id, radio.type);
        return FALSE;
    }
    default:
        return FALSE;
    }
}
