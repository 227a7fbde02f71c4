// mptest-demo: runs the real program (WinMain, the main window, the command
// console) and drives it as a technician would, for scripts/run on a machine
// without a display: a screenshot of the main window, then a short console
// session against the printer on COM1 (a hex command, a line of Chinese text,
// a command file), then a screenshot of the console; then a font download
// over the serial line (with the printer's acknowledgement) and a machine
// number written and printed, each with its screenshot.
//
//   mptest-demo --out DIR
#include "app/app.h"
#include "platform/testapi/testapi.h"
#include "port/port.h"
#include "res/resource.h"
#include "send/send.h"
#include "ui/download/download.h"

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

void DriveMainWindow(HWND main)
{
    std::printf("demo: main window caption: %s\n", PlatTestWindowText(main).c_str());
    Shot(main, "main-window.png");
    // The console runs modally inside this call; the hook drives it.
    PlatTestMenuCommand(main, IDM_USER_CMD);
    if (!gConsoleDone)
        Fail("the console did not run");
    RunDownloads(main);
    PlatTestMenuCommand(main, IDM_EXIT);
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--out")
            gOut = argv[i + 1];
    QApplication app(argc, argv);
    PlatTestRecordMessageBoxes();

    PlatTestSetDialogHook([](HWND dialog) {
        if (GetParent(dialog) == nullptr && PlatTestFindControl(dialog, IDC_MAIN_PICTURE) != nullptr) {
            // Let the window paint once before its picture is taken.
            QTimer::singleShot(300, [dialog] { DriveMainWindow(dialog); });
        } else if (PlatTestFindControl(dialog, IDC_UC_INPUT) != nullptr) {
            QTimer::singleShot(100, [dialog] { DriveConsole(dialog); });
        } else if (PlatTestFindControl(dialog, IDC_DF_PATH) != nullptr) {
            QTimer::singleShot(100, [dialog] { DriveFontDialog(dialog); });
        } else if (PlatTestFindControl(dialog, IDC_DN_NUMBER) != nullptr) {
            QTimer::singleShot(100, [dialog] { DrivePrnNumDialog(dialog); });
        }
    });
    WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWNORMAL);

    for (const auto& box : PlatTestMessageBoxes())
        Fail("message box \"" + box.caption + "\": " + box.text);
    return gFailures.empty() ? 0 : 1;
}
