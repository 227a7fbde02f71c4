// The console on the real system, driven as a user drives it: the serial
// port, a hex command, a line of Chinese text, a command file and the status
// query with its decoded answers; then Chinese typed into the input box. The printer at the far end of COM1 is
// checked by tests/windows/e2e/serial.sh.
#include "platform/win32.h"

#include "port/port.h"
#include "port/portio.h"
#include "res/resource.h"
#include "send/send.h"
#include "ui/console/console.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// Delivers the dialog's messages (the send thread and the console's reader
// report through them) until `done` holds; false after timeoutMs.
template <class Done> bool WaitFor(Done done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return true;
}

bool WaitPortIdle(DWORD timeoutMs)
{
    return WaitFor([] { return gCurrentPort.state != PORT_STATE_BUSY; }, timeoutMs);
}

void Click(HWND dialog, int id)
{
    SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0);
}

void Type(HWND dialog, int id, const char* text)
{
    SendDlgItemMessageA(dialog, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

std::string ItemText(HWND dialog, int id)
{
    static char text[64 * 1024];
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

std::string StatusText(int part)
{
    char text[256] = {};
    SendMessageA(hStatusBarUc, SB_GETTEXTA, part, reinterpret_cast<LPARAM>(text));
    return text;
}

// The console as the program opens it, with the serial port chosen; nullptr
// when either fails.
HWND OpenConsoleOnSerial()
{
    InitPort();
    UtilInit();
    InitCommonControls();
    if (!InitializeWinIo())
        return nullptr;
    HWND console =
        CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_USER_CMD), nullptr, bUserCmdDlgProc, 0);
    if (console == nullptr)
        return nullptr;
    Click(console, IDC_UC_SERIAL);
    return IsDlgButtonChecked(console, IDC_UC_SERIAL) == BST_CHECKED ? console : nullptr;
}

void CloseConsole(HWND console)
{
    DestroyWindow(console);
    PortRelease();
    UtilRelease();
    ShutdownWinIo();
}

TEST(WindowsConsole, SerialSendsHexTextAndFileToThePrinter)
{
    const char* file = std::getenv("MPTEST_E2E_FILE");
    ASSERT_NE(file, nullptr) << "run by tests/windows/e2e/serial.sh";

    HWND console = OpenConsoleOnSerial();
    ASSERT_NE(console, nullptr);


    Type(console, IDC_UC_INPUT, "1B 40 0A");
    Click(console, IDC_UC_HEX);
    Click(console, IDC_UC_SEND);
    ASSERT_TRUE(WaitPortIdle(10000));
    EXPECT_EQ(StatusText(0).find("错误"), std::string::npos) << StatusText(0);

    Click(console, IDC_UC_HEX); // off: the input is text again
    Type(console, IDC_UC_INPUT, "测试");
    Click(console, IDC_UC_SEND);
    ASSERT_TRUE(WaitPortIdle(10000));

    Type(console, IDC_UC_FILE_NAME, file);
    Click(console, IDC_UC_SEND_FILE);
    ASSERT_TRUE(WaitPortIdle(10000));
    EXPECT_EQ(StatusText(0).find("错误"), std::string::npos) << StatusText(0);

    // The reader (overlapped on the COM handle) has run beside every send
    // above; the printer's four status answers come back decoded.
    Click(console, IDC_UC_STATUS_QUERY);
    ASSERT_TRUE(WaitPortIdle(10000));
    EXPECT_TRUE(WaitFor([&] { return ItemText(console, IDC_UC_RX_COUNT) == "已接收 4 字节"; }, 10000))
        << ItemText(console, IDC_UC_RX_COUNT);
    const std::string view = ItemText(console, IDC_UC_RX_VIEW);
    EXPECT_NE(view.find("DLE EOT 1: 16 联机 钱箱引脚3高电平"), std::string::npos) << view;
    EXPECT_NE(view.find("DLE EOT 4: 12 纸充足"), std::string::npos) << view;

    CloseConsole(console);
}

// Chinese typed into the input box as the keyboard delivers it: one WM_CHAR
// of UTF-16 per character, through a Unicode message loop as the dialog
// manager runs one. The box must show the characters and the printer get
// their GBK bytes, whatever the system's code page (serial.sh runs this under
// an English and a Chinese locale), and Up must still recall the line.
TEST(WindowsConsole, TypedChineseReachesThePrinterInGbk)
{
    HWND console = OpenConsoleOnSerial();
    ASSERT_NE(console, nullptr);

    HWND box = GetDlgItem(console, IDC_UC_INPUT);
    const std::wstring typed = L"打印机";
    for (wchar_t c : typed)
        PostMessageW(box, WM_CHAR, c, 1);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    wchar_t shown[64] = {};
    GetWindowTextW(box, shown, 64);
    EXPECT_EQ(std::wstring(shown), typed);

    Click(console, IDC_UC_SEND);
    ASSERT_TRUE(WaitPortIdle(10000));
    EXPECT_EQ(StatusText(0).find("错误"), std::string::npos) << StatusText(0);

    // The hook still sees the keys first: Up recalls the line just sent.
    SetWindowTextW(box, L"");
    PostMessageW(box, WM_KEYDOWN, VK_UP, 1);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    GetWindowTextW(box, shown, 64);
    EXPECT_EQ(std::wstring(shown), typed);

    CloseConsole(console);
}

} // namespace
