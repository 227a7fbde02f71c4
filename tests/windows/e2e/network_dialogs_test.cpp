// The dialogs on the network port under Wine, driven as a user drives them:
// the console, the test dialog and the toolbox each choose 网络口 and send to
// the printer at MPTEST_E2E_PRINTER (host:port). What the printer got is
// checked on its side by tests/windows/e2e/network_dialogs.sh; here only what
// the printer answered and what a failure says.
#include "../../support/full_listener.h" // Winsock, before the windows.h of platform/win32.h

#include "platform/win32.h"

#include "drive.h"
#include "platform/station.h"
#include "printer/image.h"
#include "res/resource.h"
#include "ui/testprint/testprint.h"
#include "ui/tools/tools.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

std::vector<std::string> gBoxes; // every message box, instead of the screen

void RecordBox(const char* text, const char*)
{
    gBoxes.emplace_back(text);
}

// The dialog with the network printer at `where` chosen: the dialog, or
// nullptr when it did not open.
HWND OpenOnNetwork(int templateId, DLGPROC proc, int radio, const char* where)
{
    PlatStartConsoleProgram(RecordBox);
    gBoxes.clear();
    HWND dialog = OpenProgramDialog(templateId, proc);
    if (dialog == nullptr || where == nullptr || !NetParseEndpoint(where, &gNetInfo))
        return nullptr;
    gNetInfo.timeoutSeconds = NET_DEFAULT_TIMEOUT_S;
    Click(dialog, radio);
    return dialog;
}

// No message box came up; the dialog closes as the user closes it.
void CloseWithoutBoxes(HWND dialog)
{
    EXPECT_TRUE(gBoxes.empty()) << gBoxes.front();
    CloseProgramDialog(dialog);
}

bool OnNetwork(HWND dialog, int radio)
{
    return dialog != nullptr && IsDlgButtonChecked(dialog, radio) == BST_CHECKED && gCurrentPort.handle != nullptr;
}

const char* const kPrinter = std::getenv("MPTEST_E2E_PRINTER"); // host:port

TEST(WindowsNetwork, ConsoleSendsHexAndText)
{
    HWND console = OpenOnNetwork(IDD_USER_CMD, bUserCmdDlgProc, IDC_UC_NETWORK, kPrinter);
    ASSERT_TRUE(OnNetwork(console, IDC_UC_NETWORK)) << "run by tests/windows/e2e/network_dialogs.sh";
    EXPECT_EQ(ConsoleStatus(0), std::string("网络口: ") + kPrinter);
    Click(console, IDC_UC_HEX);
    TypeAndClick(console, {{IDC_UC_INPUT, "1B 40 0A"}}, IDC_UC_SEND);
    ASSERT_TRUE(WaitPortIdle(10000));
    Click(console, IDC_UC_HEX);
    TypeAndClick(console, {{IDC_UC_INPUT, "Hello, network"}}, IDC_UC_SEND);
    ASSERT_TRUE(WaitPortIdle(10000));
    CloseWithoutBoxes(console);
}

TEST(WindowsNetwork, TestDialogPrintsTheSample)
{
    HWND dialog = OpenOnNetwork(IDD_TEST, bTestDlgProc, IDC_T_NETWORK, kPrinter);
    ASSERT_TRUE(OnNetwork(dialog, IDC_T_NETWORK));
    HWND tab = GetDlgItem(dialog, IDC_T_TAB);
    constexpr int kCommonTests = 4;
    SendMessageA(tab, TCM_SETCURSEL, kCommonTests, 0);
    NMHDR header{tab, static_cast<UINT_PTR>(IDC_T_TAB), TCN_SELCHANGE};
    SendMessageA(dialog, WM_NOTIFY, IDC_T_TAB, reinterpret_cast<LPARAM>(&header));
    ASSERT_NE(gTabPages[kCommonTests], nullptr);
    Click(gTabPages[kCommonTests], IDC_OT_SAMPLE);
    ASSERT_TRUE(WaitPortIdle(20000));
    CloseWithoutBoxes(dialog);
}

// The drawer twice on pin 5 with its own pulse, a picture, a character
// table, and the printer's answers to GS I.
TEST(WindowsNetwork, ToolboxDrawerPictureTableAndInfo)
{
    HWND dialog = OpenOnNetwork(IDD_TOOLS, bToolsDlgProc, IDC_TL_NETWORK, kPrinter);
    ASSERT_TRUE(OnNetwork(dialog, IDC_TL_NETWORK));
    HWND drawer = gTools.pages[2];
    Click(drawer, IDC_DR_PIN5);
    TypeAndClick(drawer, {{IDC_DR_ON, "100"}, {IDC_DR_OFF, "200"}, {IDC_DR_TIMES, "2"}, {IDC_DR_INTERVAL, "100"}},
                 IDC_DR_OPEN);
    ASSERT_TRUE(WaitFor([] { return gTools.drawerLeft == 0 && gCurrentPort.state != PORT_STATE_BUSY; }, 10000));
    EXPECT_EQ(ItemText(dialog, IDC_TL_STATUS), "已发送 5 字节");

    // The file as the open button reads it; its chooser is the system's.
    const char* file = std::getenv("MPTEST_E2E_IMAGE");
    ASSERT_NE(file, nullptr);
    std::string bytes, error;
    ASSERT_TRUE(ReadImageFile(file, &bytes, &error)) << error;
    ASSERT_TRUE(DecodeImage({reinterpret_cast<const BYTE*>(bytes.data()), bytes.size()}, &gTools.source, &error));
    TypeAndClick(gTools.pages[0], {{IDC_IM_WIDTH, "96"}}, IDC_IM_PRINT);
    ASSERT_TRUE(WaitPortIdle(20000));

    TypeAndClick(gTools.pages[1], {{IDC_CP_NUMBER, "16"}}, IDC_CP_PRINT);
    ASSERT_TRUE(WaitPortIdle(20000));

    HWND info = gTools.pages[3];
    Click(info, IDC_IF_READ);
    EXPECT_EQ(ItemText(info, IDC_IF_MODEL).rfind(std::getenv("MPTEST_E2E_MODEL"), 0), 0u) << ItemText(info, IDC_IF_MODEL);
    EXPECT_NE(ItemText(info, IDC_IF_TYPE).find("有自动切刀"), std::string::npos) << ItemText(info, IDC_IF_TYPE);
    EXPECT_EQ(ItemText(info, IDC_IF_VERSION).rfind(std::getenv("MPTEST_E2E_VERSION"), 0), 0u);
    CloseWithoutBoxes(dialog);
}

// A closed port: refused at once, the box names host:port, the radio is
// cleared and the send buttons are off.
TEST(WindowsNetwork, ClosedPortIsRefusedByName)
{
    const char* closed = std::getenv("MPTEST_E2E_CLOSED");
    ASSERT_NE(closed, nullptr);
    const DWORD start = GetTickCount();
    HWND console = OpenOnNetwork(IDD_USER_CMD, bUserCmdDlgProc, IDC_UC_NETWORK, closed);
    std::printf("refused: the message after %lu ms\n", static_cast<unsigned long>(GetTickCount() - start));
    ASSERT_NE(console, nullptr);
    EXPECT_FALSE(OnNetwork(console, IDC_UC_NETWORK));
    EXPECT_EQ(ConsoleStatus(0), "打开端口失败!");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(console, IDC_UC_SEND)));
    ASSERT_EQ(gBoxes.size(), 1u);
    EXPECT_NE(gBoxes[0].find(std::string(closed) + "：连接被拒绝"), std::string::npos) << gBoxes[0];
    CloseProgramDialog(console);
}

// While a connect waits, Tab moves the focus as in the dialog's own loop;
// closing the console ends the connect at once and shows no message box.
TEST(WindowsNetwork, TabWorksWhileConnectingAndCloseIsQuiet)
{
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    static HWND console = nullptr, focused = nullptr;
    static DWORD closedAt = 0;
    FullListener silent;
    console = OpenOnNetwork(IDD_USER_CMD, bUserCmdDlgProc, IDC_UC_PARALLEL, "127.0.0.1");
    ASSERT_NE(console, nullptr);
    gNetInfo.port = silent.port;
    HWND from = GetDlgItem(console, IDC_UC_HEX);
    SetFocus(from);
    HWND next = GetNextDlgTabItem(console, from, FALSE);
    ASSERT_NE(next, from);
    PostMessageA(from, WM_KEYDOWN, VK_TAB, 1);
    SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        focused = GetFocus();
        closedAt = GetTickCount();
        SendMessageA(console, WM_CLOSE, 0, 0);
    });
    // The radio chosen as a click chooses it, without the click's focus.
    CheckDlgButton(console, IDC_UC_PARALLEL, BST_UNCHECKED);
    CheckDlgButton(console, IDC_UC_NETWORK, BST_CHECKED);
    SendMessageA(console, WM_COMMAND, MAKEWPARAM(IDC_UC_NETWORK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(console, IDC_UC_NETWORK))); // returns when the connect has ended
    const DWORD tookMs = GetTickCount() - closedAt;
    std::printf("close ended the connect after %lu ms\n", static_cast<unsigned long>(tookMs));
    EXPECT_NE(closedAt, 0u);
    EXPECT_EQ(focused, next);
    EXPECT_LT(tookMs, 100u);
    EXPECT_TRUE(gBoxes.empty()) << gBoxes.front();
    EXPECT_EQ(gCurrentPort.handle, nullptr);
    DestroyWindow(console);
    ShutdownProgram();
    WSACleanup();
}

} // namespace
