// mptest-demo: runs the real program (WinMain, the main window, the command
// console) and drives it as a technician would, for scripts/run on a machine
// without a display: a screenshot of the main window, then a short console
// session against the printer on COM1 (a hex command, a line of Chinese text,
// a command file) and, with a device root, against the USB printer there (a
// line of text), then a screenshot of the console.
//
//   mptest-demo --out DIR [--device-root DIR]
#include "app/app.h"
#include "platform/qt/quiet.h"
#include "platform/seams.h"
#include "platform/testapi/testapi.h"
#include "port/port.h"
#include "res/resource.h"
#include "send/send.h"

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
    Shot(console, "console.png");
    PlatTestClick(console, IDC_UC_EXIT);
    gConsoleDone = true;
}

void DriveMainWindow(HWND main)
{
    std::printf("demo: main window caption: %s\n", PlatTestWindowText(main).c_str());
    Shot(main, "main-window.png");
    // The console runs modally inside this call; the hook drives it.
    PlatTestMenuCommand(main, IDM_USER_CMD);
    if (!gConsoleDone)
        Fail("the console did not run");
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
        }
    });
    WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWNORMAL);

    for (const auto& box : PlatTestMessageBoxes())
        Fail("message box \"" + box.caption + "\": " + box.text);
    return gFailures.empty() ? 0 : 1;
}
