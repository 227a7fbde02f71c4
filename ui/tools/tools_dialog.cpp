// The toolbox dialog: its port radios, the tab control with its four pages
// (all made at the start and shown one at a time), the status line that
// follows each send, and closing.
#include "ui/tools/tools.h"

#include "port/port.h"
#include "res/resource.h"
#include "send/send.h"
#include "ui/testprint/testprint.h"

#include <cstdlib>

ToolsRecord gTools;

namespace {

struct PageRow {
    const char* text;
    int templateId;
    DLGPROC proc;
};

const std::array<PageRow, kToolsPageCount> kPageRows{{
    {"图片打印", IDD_TOOLS_IMAGE, bTools_Image_Proc},
    {"代码页", IDD_TOOLS_CODEPAGE, bTools_CodePage_Proc},
    {"钱箱", IDD_TOOLS_DRAWER, bTools_Drawer_Proc},
    {"打印机信息", IDD_TOOLS_INFO, bTools_Info_Proc},
}};

const std::array<PortRadio, 4> kToolsRadios{{
    {IDC_TL_PARALLEL, PORT_PARALLEL, "并口忙或出错!"},
    {IDC_TL_SERIAL, PORT_SERIAL, "串口被占用或有错误!"},
    {IDC_TL_USB, PORT_USB, "usb不在线或拨出!"},
    {IDC_TL_NETWORK, PORT_NETWORK, "连接网络打印机失败!"},
}};

// The pages go where the tab control shows its pages.
RECT PageArea(HWND dialog)
{
    RECT area{};
    GetWindowRect(gTools.tab, &area);
    POINT corners[2]{{area.left, area.top}, {area.right, area.bottom}};
    for (POINT& p : corners)
        ScreenToClient(dialog, &p);
    area = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    SendMessageA(gTools.tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    return area;
}

void _InitCtrls_Tl(HWND dialog)
{
    gTools = {};
    gTools.dialog = dialog;
    gTools.tab = GetDlgItem(dialog, IDC_TL_TAB);
    CheckDlgButton(dialog, IDC_TL_PARALLEL, BST_CHECKED);
    for (int i = 0; i < kToolsPageCount; ++i) {
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(kPageRows[i].text);
        SendMessageA(gTools.tab, TCM_INSERTITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
    const RECT area = PageArea(dialog);
    for (int i = 0; i < kToolsPageCount; ++i) {
        gTools.pages[i] = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), DoLockDlgRes(kPageRows[i].templateId),
                                                     dialog, kPageRows[i].proc, 0);
        SetWindowPos(gTools.pages[i], HWND_TOP, area.left, area.top, 0, 0, SWP_NOSIZE);
        // Hidden outright: a page merely not shown yet would appear with the dialog.
        ShowWindow(gTools.pages[i], i == 0 ? SW_SHOW : SW_HIDE);
    }
    // As the test dialog: a handle some earlier user left open is closed.
    PortRelease();
    ClearPortRecord(gCurrentPort);
}

void OnToolsSelChanged()
{
    const int index = static_cast<int>(SendMessageA(gTools.tab, TCM_GETCURSEL, 0, 0));
    for (int i = 0; i < kToolsPageCount; ++i)
        ShowWindow(gTools.pages[i], i == index ? SW_SHOW : SW_HIDE);
}

void OnSendStatus(HWND dialog, WPARAM code, LPARAM value)
{
    if (code == STATUS_CMDS_LENGTH) {
        gTools.sending = static_cast<DWORD>(value);
        SetToolsStatus("正在发送 " + std::to_string(value) + " 字节…");
    } else if (code == STATUS_CMDS_SENT) {
        const DWORD length = gTools.sending;
        gTools.sending = 0;
        if (static_cast<DWORD>(value) == length) {
            SetToolsStatus("已发送 " + std::to_string(value) + " 字节");
            OnToolsSendDone(dialog);
        } else {
            gTools.drawerLeft = 0;
            SetToolsStatus("发送失败：只发出 " + std::to_string(value) + " / " + std::to_string(length) + " 字节");
        }
    }
}

void _ExitDialog_Tl(HWND dialog)
{
    KillTimer(dialog, kDrawerTimerId);
    gTools.drawerLeft = 0;
    for (HWND& page : gTools.pages) {
        if (page != nullptr)
            DestroyWindow(page);
        page = nullptr;
    }
    if (gTools.preview != nullptr)
        DeleteObject(gTools.preview);
    gTools.preview = nullptr;
    StopSendAndWait();
    PortRelease();
    EndDialog(dialog, 0);
}

} // namespace

void SetToolsStatus(const std::string& text)
{
    SetDlgItemTextA(gTools.dialog, IDC_TL_STATUS, text.c_str());
}

bool SendTools(HWND page, const std::string& bytes)
{
    if (!CheckPort_T(page, kNoPortText_T))
        return false;
    if (!SendDataToPrn(gTools.dialog, bytes.data(), static_cast<DWORD>(bytes.size()), kTestFlags)) {
        ShowError_T(page, kRefusedText_T);
        return false;
    }
    return true;
}

bool ReadToolsNumber(HWND page, int id, int* value)
{
    char text[32] = {};
    GetDlgItemTextA(page, id, text, sizeof text);
    char* end = nullptr;
    const long number = std::strtol(text, &end, 10);
    while (end != text && (*end == ' ' || *end == '\t'))
        ++end;
    if (end == text || *end != '\0' || number < -1000000 || number > 1000000)
        return false;
    *value = static_cast<int>(number);
    return true;
}

INT_PTR CALLBACK bToolsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        _InitCtrls_Tl(dialog);
        return FALSE;
    case WM_CLOSE:
        _ExitDialog_Tl(dialog);
        return TRUE;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header != nullptr && header->code == TCN_SELCHANGE)
            OnToolsSelChanged();
        return FALSE;
    }
    case WM_SENDCMDS_STATUS:
        OnSendStatus(dialog, wParam, lParam);
        return FALSE;
    case WM_TIMER:
        if (wParam == kDrawerTimerId)
            OnDrawerTimer(dialog);
        return FALSE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDC_TL_CLOSE) {
            _ExitDialog_Tl(dialog);
            return FALSE;
        }
        for (const PortRadio& radio : kToolsRadios)
            if (radio.id == id && IsDlgButtonChecked(dialog, id) == BST_CHECKED)
                ChoosePort_T(dialog, kToolsRadios, id, radio.type);
        return FALSE;
    }
    default:
        return FALSE;
    }
}
