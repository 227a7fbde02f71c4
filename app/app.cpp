// Start-up and shutdown, the main window with its menu, and the About box.
#include "app/app.h"

#include "port/network.h"
#include "port/port.h"
#include "port/portio.h"
#include "res/resource.h"
#include "res/resources.h"
#include "send/send.h"
#include "ui/console/console.h"
#include "ui/download/download.h"
#include "ui/epp/epp.h"
#include "ui/ports/ports.h"
#include "ui/testprint/testprint.h"
#include "ui/tools/tools.h"

#include <array>

HINSTANCE hGInstance;

namespace {

const char kMainCaption[] = "衡岚微型打印机测试软件A V2.4(适用于win9x/me/2000/xp)";

// Menu commands and the dialog each runs. A feature whose dialog is not
// part of this build has no procedure and its command simply returns.
struct FeatureDialog {
    WORD command;
    int templateId;
    DLGPROC proc;
};

const std::array<FeatureDialog, 9> kFeatureDialogs{{
    {IDM_PORT_SETTINGS, IDD_PORT_SETTINGS, bPortSetDlgProc},
    {IDM_TEST, IDD_TEST, bTestDlgProc},
    {IDM_USER_CMD, IDD_USER_CMD, bUserCmdDlgProc},
    {IDM_ABOUT, IDD_ABOUT, bAboutDlgProc},
    {IDM_DOWN_VERSION, IDD_DOWN_VERSION, bDownVerFileDlgProc},
    {IDM_DOWN_FONT, IDD_DOWN_FONT, bDownFontFileDlgProc},
    {IDM_DOWN_PRN_NUM, IDD_DOWN_PRN_NUM, bDownPrnNumDlgProc},
    {IDM_EPP, IDD_EPP, bEppDlgProc},
    {IDM_TOOLS, IDD_TOOLS, bToolsDlgProc},
}};

void ShutdownMainWindow(HWND window)
{
    PortRelease();
    UtilRelease();
    ShutdownWinIo();
    EndDialog(window, 0);
}

} // namespace

HINSTANCE GetHInstance()
{
    return hGInstance;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    hGInstance = instance;
    ResRegister();
    InitPort();
    PortSetWaitPump(DeliverWindowMessages);
    UtilInit();
    InitCommonControls();
    if (!InitializeWinIo()) {
        MessageBoxA(nullptr, "Unable to import winio.lib!", "DialogBox failure", MB_OK | MB_ICONERROR);
        return 0;
    }
    if (DialogBoxParamA(hGInstance, IDD_MAIN_DIALOG_NAME, nullptr, bMainDlgProc, 0) == -1) {
        MessageBoxA(nullptr, "Unable to create root dialog!", "DialogBox failure", MB_OK | MB_ICONERROR);
        ShutdownWinIo();
    }
    return 0;
}

BOOL InitDialog(HWND window, int dx, int dy)
{
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    RECT rect{};
    GetWindowRect(window, &rect);
    // Arithmetic shift: on a screen narrower than the window x goes negative,
    // rounding toward negative infinity.
    int x = (screenWidth - (rect.right - rect.left)) >> 1;
    int y = (screenHeight - (rect.bottom - rect.top)) >> 1;
    if (dx < 0 || dx > 10)
        dx = 5;
    if (dy < 0 || dy > 10)
        dy = 5;
    SetWindowPos(window, HWND_TOP, x + dx, y + dy, 0, 0, SWP_NOSIZE);
    return TRUE;
}

INT_PTR CALLBACK bMainDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: {
        HICON icon = LoadIconA(GetHInstance(), MAKEINTRESOURCEA(IDI_MPTEST));
        SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SetWindowTextA(window, kMainCaption);
        return InitDialog(window, 0, 0);
    }
    case WM_CLOSE:
        ShutdownMainWindow(window);
        return TRUE;
    case WM_COMMAND: {
        const WORD command = LOWORD(wParam);
        if (command == IDM_EXIT) {
            ShutdownMainWindow(window);
            return TRUE;
        }
        for (const FeatureDialog& feature : kFeatureDialogs) {
            if (feature.command != command)
                continue;
            if (feature.proc != nullptr)
                DialogBoxParamA(GetHInstance(), MAKEINTRESOURCEA(feature.templateId), window, feature.proc, 0);
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK bAboutDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_CLOSE:
        EndDialog(window, 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_ABOUT_OK) {
            EndDialog(window, 0);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
