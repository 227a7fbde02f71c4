// The console on the real system, driven as a user drives it: the serial
// port, a hex command, a line of Chinese text, a command file and the status
// query with its decoded answers; then Chinese typed into the input box. The printer at the far end of COM1 is
// checked by tests/windows/e2e/serial.sh.
#include "platform/win32.h"

#include "drive.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// The console as the program opens it, with the serial port chosen; nullptr
// when either fails.
HWND OpenConsoleOnSerial()
{
    HWND console = OpenProgramDialog(IDD_USER_CMD, bUserCmdDlgProc);
    if (console == nullptr)
        return nullptr;
    Click(console, IDC_UC_SERIAL);
    return IsDlgButtonChecked(console, IDC_UC_SERIAL) == BST_CHECKED ? console : nullptr;
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
    EXPECT_EQ(ConsoleStatus(0).find("错误"), std::string::npos) << ConsoleStatus(0);

    Click(console, IDC_UC_HEX); // off: the input is text again
    Type(console, IDC_UC_INPUT, "测试");
    Click(console, IDC_UC_SEND);
    ASSERT_TRUE(WaitPortIdle(10000));

    Type(console, IDC_UC_FILE_NAME, file);
    Click(console, IDC_UC_SEND_FILE);
    ASSERT_TRUE(WaitPortIdle(10000));
    EXPECT_EQ(ConsoleStatus(0).find("错误"), std::string::npos) << ConsoleStatus(0);

    // The reader (overlapped on the COM handle) has run beside every send
    // above; the printer's four status answers come back decoded.
    Click(console, IDC_UC_STATUS_QUERY);
    ASSERT_TRUE(WaitPortIdle(10000));
    EXPECT_TRUE(WaitFor([&] { return ItemText(console, IDC_UC_RX_COUNT) == "已接收 4 字节"; }, 10000))
        << ItemText(console, IDC_UC_RX_COUNT);
    const std::string view = ItemText(console, IDC_UC_RX_VIEW);
    EXPECT_NE(view.find("DLE EOT 1: 16 联机 钱箱引脚3高电平"), std::string::npos) << view;
    EXPECT_NE(view.find("DLE EOT 4: 12 纸充足"), std::string::npos) << view;

    CloseProgramDialog(console);
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
    EXPECT_EQ(ConsoleStatus(0).find("错误"), std::string::npos) << ConsoleStatus(0);

    // The hook still sees the keys first: Up recalls the line just sent.
    SetWindowTextW(box, L"");
    PostMessageW(box, WM_KEYDOWN, VK_UP, 1);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    GetWindowTextW(box, shown, 64);
    EXPECT_EQ(std::wstring(shown), typed);

    CloseProgramDialog(console);
}

} // namespace
