// mptest-demo: runs the real program (WinMain, the main window, the command
// console) and drives it as a technician would, for scripts/run on a machine
// without a display: a screenshot of the main window, then a short console
// session against the printer on COM1 (a hex command, a line of Chinese text,
// a command file) and, with a device root, against the USB printer there (a
// line of text), then a screenshot of the console, then the test dialog:
// the Latin test (two passes), Chinese zone 2, a black-mark test line, the
// all-black print, the sample receipt and a cut, with a screenshot of every
// page; then a font download over the serial line (with the printer's
// acknowledgement) and a machine number written and printed, each with its
// screenshot; then the printer toolbox: the program's own picture printed
// on the USB printer (when there is one), WPC1252's table, three drawer
// kicks and the printer's ID on COM1, with a screenshot of every page; last
// a picture of each dialog left (port settings, firmware download, About
// box, EPP console), for the README.
//
//   mptest-demo --out DIR [--device-root DIR]
#include "app/app.h"
#include "platform/qt/quiet.h"
#include "platform/linux/options.h"
#include "platform/testapi/testapi.h"
#include "port/port.h"
#include "res/resource.h"
#include "send/send.h"
#include "ui/download/download.h"
#include "ui/testprint/testprint.h"
#include "ui/tools/tools.h"

#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string gOut = "out";
std::vector<std::string> gFailures;
bool gConsoleDone = false;
bool gFontDone = false;
bool gPrnNumDone = false;
bool gTestDialogDone = false;
bool gToolsDone = false;
bool gUsb = false; // a device root was given: a USB printer stands there

void Fail(const std::string& what)
{
    gFailures.push_back(what);
    std::fprintf(stderr, "mptest-demo: %s\n", what.c_str());
}

void Shot(HWND window, const std::string& name)
{
    QWidget* widget = PlatTestWidget(window);
    if (widget == nullptr) {
        Fail("no window to take " + name + " of");
        return;
    }
    const std::string path = gOut + "/" + name;
    if (!widget->grab().save(QString::fromStdString(path), "PNG"))
        Fail("could not write " + path);
    else
        std::printf("demo: %s\n", path.c_str());
}

bool WaitIdle(int timeoutMs)
{
    return PlatTestWaitFor([] { return gCurrentPort.state != PORT_STATE_BUSY; }, timeoutMs);
}

std::string Status(HWND console, int part)
{
    return PlatTestStatusText(console, IDC_UC_STATUSBAR, part);
}

// A receipt's worth of commands: reset, a title in double size, a line of
// text, a feed and a cut. Text in GBK, the printer's code page.
std::string WriteCommandFile()
{
    std::string bytes = "\x1B\x40";                   // ESC @
    bytes += "\x1B\x21\x30";                          // ESC ! double width and height
    bytes += PlatUtf8ToGbk("KQ 命令文件\n");
    bytes += std::string("\x1B\x21\x00", 3);         // ESC ! normal
    bytes += PlatUtf8ToGbk("文件发送 file send OK\n");
    bytes += "\x1B\x4A\x40";                          // ESC J feed
    bytes += std::string("\x1D\x56\x42\x00", 4);      // GS V cut
    const std::string path = gOut + "/demo-commands.bin";
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

// The virtual printer on USB under the device root: the port, then a line.
void DriveUsb(HWND console)
{
    PlatTestClick(console, IDC_UC_USB);
    std::printf("demo: usb port: %s\n", Status(console, 0).c_str());
    if (!PlatTestChecked(console, IDC_UC_USB)) {
        Fail("the USB port did not open: " + Status(console, 0));
        return;
    }
    PlatTestClick(console, IDC_UC_CLEAR);
    if (PlatTestChecked(console, IDC_UC_HEX))
        PlatTestClick(console, IDC_UC_HEX);
    PlatTestType(console, IDC_UC_INPUT, "USB 口打印测试 KQ-58\n");
    PlatTestClick(console, IDC_UC_SEND);
    if (!WaitIdle(5000))
        Fail("the USB text line did not finish");
    std::printf("demo: usb text line: %s, %s\n", Status(console, 0).c_str(), Status(console, 1).c_str());
}

void DriveConsole(HWND console)
{
    PlatTestClick(console, IDC_UC_SERIAL);
    std::printf("demo: port: %s\n", Status(console, 0).c_str());
    if (!PlatTestChecked(console, IDC_UC_SERIAL)) {
        Fail("the serial port did not open: " + Status(console, 0));
        PlatTestClick(console, IDC_UC_EXIT);
        return;
    }

    // A hexadecimal command: ESC @ and a line feed.
    PlatTestType(console, IDC_UC_INPUT, "1B 40 0A");
    PlatTestClick(console, IDC_UC_HEX);
    PlatTestClick(console, IDC_UC_SEND);
    if (!WaitIdle(5000))
        Fail("the hex command did not finish");
    std::printf("demo: hex command: %s, %s\n", Status(console, 0).c_str(), Status(console, 1).c_str());

    // A line of Chinese text, sent as text.
    PlatTestClick(console, IDC_UC_CLEAR);
    PlatTestClick(console, IDC_UC_HEX);
    PlatTestType(console, IDC_UC_INPUT, "微型打印机测试 KQ-58\n");
    PlatTestClick(console, IDC_UC_SEND);
    if (!WaitIdle(5000))
        Fail("the text line did not finish");
    std::printf("demo: text line: %s, %s\n", Status(console, 0).c_str(), Status(console, 1).c_str());

    // A command file.
    PlatTestFileChooserAnswer(WriteCommandFile());
    PlatTestClick(console, IDC_UC_SEL_FILE);
    PlatTestClick(console, IDC_UC_SEND_FILE);
    if (!WaitIdle(10000))
        Fail("the command file did not finish");
    std::printf("demo: command file: %s, %s\n", Status(console, 0).c_str(), Status(console, 1).c_str());

    if (gUsb)
        DriveUsb(console);

    // The printer's status, asked and shown decoded in the receive view.
    PlatTestClick(console, IDC_UC_RX_STAMPS);
    PlatTestClick(console, IDC_UC_STATUS_QUERY);
    if (!WaitIdle(5000) ||
        !PlatTestWaitFor([&] { return PlatTestText(console, IDC_UC_RX_COUNT) == "已接收 4 字节"; }, 5000))
        Fail("the status answers did not arrive: " + PlatTestText(console, IDC_UC_RX_COUNT));
    std::printf("demo: status: %s\n", PlatTestText(console, IDC_UC_RX_VIEW).c_str());
    Shot(console, "console.png");
    PlatTestClick(console, IDC_UC_EXIT);
    gConsoleDone = true;
}

// ---------------------------------------------------------------- downloads

const char kDemoPrnNum[] = "KQ5800123456";

std::string DownloadStatus(HWND dialog, int part)
{
    return PlatTestStatusText(dialog, IDC_DW_STATUSBAR, part);
}

// A small font file: 94 glyphs of 24 x 24 dots in a made-up pattern.
std::string WriteFontFile()
{
    std::string bytes;
    for (int glyph = 0; glyph < 94; ++glyph)
        for (int row = 0; row < 72; ++row)
            bytes += static_cast<char>((glyph * 31 + row * 7) & 0xFF);
    const std::string path = gOut + "/demo-font.bin";
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

void DriveFontDialog(HWND dialog)
{
    PlatTestClick(dialog, IDC_DF_SERIAL);
    std::printf("demo: font port: %s\n", DownloadStatus(dialog, 0).c_str());
    PlatTestFileChooserAnswer(WriteFontFile());
    PlatTestClick(dialog, IDC_DF_SEL_FILE);
    PlatTestClick(dialog, IDC_DF_SEND);
    // The preamble, the printer's answer at the faster speed, the file and
    // the closing pause.
    const bool ended = PlatTestWaitFor([dialog] { return PlatTestEnabled(dialog, IDC_DF_SEND); }, 30000);
    if (!ended || !WaitIdle(5000))
        Fail("the font download did not finish");
    const std::string result = DownloadStatus(dialog, 0);
    std::printf("demo: font download: %s\n", result.c_str());
    if (result != "下载文件成功完成!")
        Fail("the font download failed: " + result);
    Shot(dialog, "download-font.png");
    PlatTestClick(dialog, IDC_DF_EXIT);
    gFontDone = true;
}

void DrivePrnNumDialog(HWND dialog)
{
    PlatTestClick(dialog, IDC_DN_SERIAL);
    PlatTestType(dialog, IDC_DN_NUMBER, kDemoPrnNum);
    PlatTestClick(dialog, IDC_DN_SEND);
    if (!WaitIdle(5000))
        Fail("the machine number was not written");
    const std::string written = DownloadStatus(dialog, 0);
    std::printf("demo: machine number %s: %s\n", kDemoPrnNum, written.c_str());
    if (written != "已写入机器码!")
        Fail("the machine number was not written: " + written);
    Shot(dialog, "machine-number.png");
    // And the printer prints the number it now holds.
    PlatTestClick(dialog, IDC_DN_PRINT);
    if (!WaitIdle(5000))
        Fail("the machine number was not printed");
    std::printf("demo: print machine number: %s\n", DownloadStatus(dialog, 0).c_str());
    PlatTestClick(dialog, IDC_DN_EXIT);
    gPrnNumDone = true;
}

void RunDownloads(HWND main)
{
    PlatTestMenuCommand(main, IDM_DOWN_FONT);
    if (!gFontDone)
        Fail("the font dialog did not run");
    PlatTestMenuCommand(main, IDM_DOWN_PRN_NUM);
    if (!gPrnNumDone)
        Fail("the machine-number dialog did not run");
}

// Lets the user-interface thread run for `ms` milliseconds.
void RunFor(int ms)
{
    PlatTestWaitFor([] { return false; }, ms);
}

// Selects a tab as a user does and returns its page.
HWND ShowTestPage(HWND dialog, int tab)
{
    if (!PlatTestSelectTab(dialog, IDC_T_TAB, tab) || gTabPages[static_cast<size_t>(tab)] == nullptr) {
        Fail("tab " + std::to_string(tab) + " of the test dialog did not show");
        return nullptr;
    }
    return gTabPages[static_cast<size_t>(tab)];
}

void PressTest(HWND page, int button, const char* what)
{
    if (page == nullptr)
        return;
    PlatTestClick(page, button);
    if (!WaitIdle(15000))
        Fail(std::string(what) + " did not finish");
    else
        std::printf("demo: test: %s\n", what);
}

void DriveTestDialog(HWND dialog)
{
    PlatTestClick(dialog, IDC_T_SERIAL);
    if (!PlatTestChecked(dialog, IDC_T_SERIAL)) {
        Fail("the test dialog could not open the serial port");
        PlatTestClick(dialog, IDC_T_CLOSE);
        gTestDialogDone = true;
        return;
    }

    // The Latin test repeats every 300 ms: stopped during its second pause.
    HWND latin = gTabPages[0];
    PlatTestClick(latin, IDC_CHAR_H);
    PlatTestClick(latin, IDC_CHAR_DWIDTH);
    PlatTestClick(latin, IDC_CHAR_START);
    RunFor(450);
    Shot(dialog, "test-latin.png");
    PlatTestClick(latin, IDC_CHAR_STOP);
    if (!WaitIdle(5000))
        Fail("the Latin test did not stop");
    else
        std::printf("demo: test: Latin characters, two passes\n");

    HWND gbk = ShowTestPage(dialog, 1);
    if (gbk != nullptr)
        PlatTestSelectComboRow(gbk, IDC_GBK_ZONE, 1);
    PressTest(gbk, IDC_GBK_START, "Chinese characters, zone 2");
    Shot(dialog, "test-chinese.png");

    HWND bmark = ShowTestPage(dialog, 2);
    PressTest(bmark, IDC_BM_SET_A, "black mark to print head, 0 mm");
    PressTest(bmark, IDC_BM_TEST, "black-mark test line");
    Shot(dialog, "test-black-mark.png");

    HWND current = ShowTestPage(dialog, 3);
    PressTest(current, IDC_DL_FEED, "paper feed drive");
    Shot(dialog, "test-current.png");

    HWND other = ShowTestPage(dialog, 4);
    PressTest(other, IDC_OT_BLACK, "all-black print");
    PressTest(other, IDC_OT_SAMPLE, "sample receipt");
    PressTest(other, IDC_OT_CUT_FULL, "full cut");
    Shot(dialog, "test-common.png");

    if (ShowTestPage(dialog, 5) != nullptr)
        Shot(dialog, "test-usb.png");

    PlatTestClick(dialog, IDC_T_CLOSE);
    gTestDialogDone = true;
}

// Replaces an edit box's text as a user does.
void Retype(HWND page, int id, const std::string& text)
{
    PlatTestFocus(page, id);
    PlatTestKey(page, Qt::Key_End);
    for (size_t i = PlatTestText(page, id).size(); i > 0; --i)
        PlatTestKey(page, Qt::Key_Backspace);
    PlatTestType(page, id, text);
}

// The toolbox's status line tells of a send gone out whole, and is drawn.
void WaitToolsSent(HWND dialog)
{
    if (!PlatTestWaitFor([dialog] { return PlatTestText(dialog, IDC_TL_STATUS).rfind("已发送", 0) == 0 &&
                                           gCurrentPort.state != PORT_STATE_BUSY; }, 15000))
        Fail("the toolbox's send did not finish");
    RunFor(100);
}

void DriveToolsDialog(HWND dialog)
{
    HWND image = gTools.pages[0];
    if (gUsb) {
        PlatTestClick(dialog, IDC_TL_USB);
        PlatTestFileChooserAnswer("res/art/bitmap1.png");
        PlatTestClick(image, IDC_IM_OPEN);
        // The page opens on this family's line: 210 dots, a band fed 16 units.
        PressTest(image, IDC_IM_PRINT, "toolbox: picture, 210 dots, Floyd-Steinberg, on USB");
        WaitToolsSent(dialog);
    }
    Shot(dialog, "tools-image.png");

    PlatTestClick(dialog, IDC_TL_SERIAL);
    PlatTestSelectTab(dialog, IDC_TL_TAB, 1);
    HWND codePage = gTools.pages[1];
    PlatTestSelectComboRow(codePage, IDC_CP_NAMED, 6);
    PressTest(codePage, IDC_CP_PRINT, "toolbox: table 16 (WPC1252)");
    WaitToolsSent(dialog);
    Shot(dialog, "tools-codepage.png");

    PlatTestSelectTab(dialog, IDC_TL_TAB, 2);
    HWND drawer = gTools.pages[2];
    PlatTestClick(drawer, IDC_DR_PIN5);
    Retype(drawer, IDC_DR_ON, "200");
    Retype(drawer, IDC_DR_TIMES, "3");
    PlatTestClick(drawer, IDC_DR_OPEN);
    if (!PlatTestWaitFor([] { return gTools.drawerLeft == 0; }, 15000))
        Fail("the drawer kicks did not finish");
    WaitToolsSent(dialog);
    std::printf("demo: toolbox: three drawer kicks on pin 5\n");
    Shot(dialog, "tools-drawer.png");

    PlatTestSelectTab(dialog, IDC_TL_TAB, 3);
    PlatTestClick(gTools.pages[3], IDC_IF_READ);
    std::printf("demo: toolbox: model %s\n", PlatTestText(gTools.pages[3], IDC_IF_MODEL).c_str());
    RunFor(100);
    Shot(dialog, "tools-info.png");

    PlatTestClick(dialog, IDC_TL_CLOSE);
    gToolsDone = true;
}

// Dialogs the demo only shows, for the README: a picture of each, then it
// closes by its own button (0: its close box). Each is known by a control.
struct ShownOnly {
    int control;
    const char* picture;
    int close;
};
constexpr ShownOnly kShownOnly[] = {
    {IDC_PS_COM, "port-settings.png", IDC_PS_CANCEL},
    {IDC_DV_PATH, "download-version.png", IDC_DV_EXIT},
    {IDC_EPP_START_READ, "epp-console.png", 0},
    {IDC_ABOUT_OK, "about.png", IDC_ABOUT_OK},
};

bool ShowOnly(HWND dialog)
{
    for (const ShownOnly& d : kShownOnly) {
        if (GetDlgItem(dialog, d.control) == nullptr)
            continue;
        QTimer::singleShot(100, [dialog, d] {
            Shot(dialog, d.picture);
            if (d.close != 0)
                PlatTestClick(dialog, d.close);
            else
                PlatTestCloseBox(dialog);
        });
        return true;
    }
    return false;
}

void DriveMainWindow(HWND main)
{
    std::printf("demo: main window caption: %s\n", PlatTestWindowText(main).c_str());
    Shot(main, "main-window.png");
    // The console runs modally inside this call; the hook drives it.
    PlatTestMenuCommand(main, IDM_USER_CMD);
    if (!gConsoleDone)
        Fail("the console did not run");
    PlatTestMenuCommand(main, IDM_TEST);
    if (!gTestDialogDone)
        Fail("the test dialog did not run");
    RunDownloads(main);
    PlatTestMenuCommand(main, IDM_TOOLS);
    if (!gToolsDone)
        Fail("the toolbox did not run");
    PlatTestMenuCommand(main, IDM_PORT_SETTINGS);
    PlatTestMenuCommand(main, IDM_DOWN_VERSION);
    PlatTestMenuCommand(main, IDM_ABOUT);
    SendMessageA(main, WM_COMMAND, IDM_EPP, 0); // no menu item: mptest --epp's way
    PlatTestMenuCommand(main, IDM_EXIT);
}

} // namespace

int main(int argc, char** argv)
{
    // --out is the demo's own; the rest are mptest's (--device-root DIR).
    std::vector<char*> platformArgs{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--out" && i + 1 < argc) {
            gOut = argv[++i];
            continue;
        }
        gUsb = gUsb || std::string(argv[i]) == "--device-root";
        platformArgs.push_back(argv[i]);
    }
    platformArgs.push_back(nullptr);
    if (const int exitCode = PlatTakeOptions(static_cast<int>(platformArgs.size()) - 1, platformArgs.data());
        exitCode >= 0)
        return exitCode;
    PlatQtQuietChatter();
    QApplication app(argc, argv);
    PlatTestRecordMessageBoxes();

    PlatTestSetDialogHook([](HWND dialog) {
        if (GetParent(dialog) == nullptr && PlatTestFindControl(dialog, IDC_MAIN_PICTURE) != nullptr) {
            // Let the window paint once before its picture is taken.
            QTimer::singleShot(300, [dialog] { DriveMainWindow(dialog); });
        } else if (PlatTestFindControl(dialog, IDC_UC_INPUT) != nullptr) {
            QTimer::singleShot(100, [dialog] { DriveConsole(dialog); });
        } else if (GetDlgItem(dialog, IDC_DF_PATH) != nullptr) {
            QTimer::singleShot(100, [dialog] { DriveFontDialog(dialog); });
        } else if (GetDlgItem(dialog, IDC_DN_NUMBER) != nullptr) {
            QTimer::singleShot(100, [dialog] { DrivePrnNumDialog(dialog); });
        } else if (GetDlgItem(dialog, IDC_TL_TAB) != nullptr) {
            QTimer::singleShot(100, [dialog] { DriveToolsDialog(dialog); });
        } else if (GetDlgItem(dialog, IDC_T_TAB) != nullptr) {
            QTimer::singleShot(100, [dialog] { DriveTestDialog(dialog); });
        } else {
            ShowOnly(dialog);
        }
    });
    WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWNORMAL);

    for (const auto& box : PlatTestMessageBoxes())
        Fail("message box \"" + box.caption + "\": " + box.text);
    return gFailures.empty() ? 0 : 1;
}
