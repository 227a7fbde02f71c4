// The command console driven as a technician drives it, against the virtual
// printer: port choice, typed hex and text, command files, repeating sends
// and their stop, refusals, and closing while a send runs.
#include "platform/comdevices.h"
#include "port/port.h"
#include "res/resource.h"
#include "res/resources.h"
#include "send/send.h"
#include "ui/console/console.h"
#include "ui/support/printer_rig.h"
#include "ui/support/window_fixture.h"
#include "support/roots.h"

#include <QMessageBox>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// Texts of status part 1 right after each report of a pass (not the length
// reports) was handled, and an optional action run inside the report, after
// the console handled it.
std::vector<std::string> gPart1History;
std::function<void(HWND, UINT, WPARAM)> gAfterReport;

INT_PTR CALLBACK RecordingConsoleProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    const INT_PTR result = bUserCmdDlgProc(hwnd, message, wParam, lParam);
    if (message == WM_SENDCMDS_STATUS || message == WM_SENDFILE_STATUS) {
        if (hStatusBarUc != nullptr && wParam != STATUS_CMDS_LENGTH && wParam != STATUS_FILE_LENGTH)
            gPart1History.push_back(PlatTestStatusText(hwnd, IDC_UC_STATUSBAR, 1));
        if (gAfterReport)
            gAfterReport(hwnd, message, wParam);
    }
    return result;
}

HWND OpenConsole()
{
    gPart1History.clear();
    gAfterReport = nullptr;
    return PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_USER_CMD), nullptr, RecordingConsoleProc);
}

std::string Part(HWND console, int part)
{
    return PlatTestStatusText(console, IDC_UC_STATUSBAR, part);
}

bool SendButtonsEnabled(HWND console)
{
    return PlatTestEnabled(console, IDC_UC_SEND) && PlatTestEnabled(console, IDC_UC_SEND_FILE);
}

using rig::MessageTexts;
using Bytes = std::vector<uint8_t>;

// Types `text`, ticks "HEX发送" and presses "发送" ("循环发送" first when `loop`).
void SendHex(HWND console, const std::string& text, bool loop = false)
{
    QVERIFY(PlatTestType(console, IDC_UC_INPUT, text));
    QVERIFY(PlatTestClick(console, IDC_UC_HEX));
    if (loop)
        QVERIFY(PlatTestClick(console, IDC_UC_LOOP_CMDS));
    QVERIFY(PlatTestClick(console, IDC_UC_SEND));
}

// Picks `path` in the chooser and presses "发送文件" ("循环发送" first when `loop`).
void SendCommandFile(HWND console, const std::string& path, bool loop = false)
{
    PlatTestFileChooserAnswer(path);
    QVERIFY(PlatTestClick(console, IDC_UC_SEL_FILE));
    if (loop)
        QVERIFY(PlatTestClick(console, IDC_UC_LOOP_FILE));
    QVERIFY(PlatTestClick(console, IDC_UC_SEND_FILE));
}
} // namespace

class TestConsole : public QObject {
    Q_OBJECT

private slots:
    void init() { PlatTestRecordMessageBoxes(), PlatTestClearMessageBoxes(); }
    void cleanup() { gAfterReport = nullptr, PlatTestDestroyAll(); }

    void parallelErrorBoxLeavesStopAndExitUsable_data()
    {
        QTest::addColumn<int>("button");
        QTest::newRow("stop") << int(IDC_UC_STOP_CMDS);
        QTest::newRow("exit") << int(IDC_UC_EXIT);
    }

    // A repeating send to a parallel printer that reports an error: the sending
    // thread's "打印机不在线或错误" box holds only that thread. Stop and exit are
    // taken while it shows, and no box comes after the stop.
    void parallelErrorBoxLeavesStopAndExitUsable()
    {
        QFETCH(int, button);
        rig::Bench bench;
        bench.parallelPort().setError(true);
        PlatSetMessageBoxHook(nullptr); // real boxes: they are what this test is about
        CloseMessageBoxesAtEnd closeBoxes;
        HWND console = OpenConsole();
        SendHex(console, "1B 40", true);
        // A box that held everything in a loop of its own would never let the
        // wait below see it; end such a box so the test fails instead of hanging.
        QTimer::singleShot(5000, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
        QVERIFY(PlatTestWaitFor([] { return ShownMessageBox() != nullptr; }, 3000));
        QVERIFY(ShownMessageBox()->text().startsWith(QString("打印机不在线或错误")));

        if (button == IDC_UC_STOP_CMDS) {
            SystemClick(PlatTestWidget(GetDlgItem(console, IDC_UC_STOP_CMDS)));
            QVERIFY(!PlatTestEnabled(console, IDC_UC_STOP_CMDS)); // taken while the box shows
            QVERIFY(AnswerShownMessageBox(QMessageBox::Ok));
            QVERIFY(rig::WaitPortIdle(5000));
        } else {
            // The close waits for the sending thread, which waits for its box:
            // the box still takes its answer during that wait (the close takes
            // the status bar down before it waits).
            bool answeredInside = false;
            QTimer answer;
            QObject::connect(&answer, &QTimer::timeout, [&] {
                if (hStatusBarUc == nullptr && !answeredInside)
                    answeredInside = AnswerShownMessageBox(QMessageBox::Ok);
            });
            answer.start(10);
            SystemClick(PlatTestWidget(GetDlgItem(console, IDC_UC_EXIT)));
            QVERIFY(PlatTestDialogEnded(console));
            QVERIFY(answeredInside);
        }
        QVERIFY(gCurrentPort.state != PORT_STATE_BUSY);
        QCOMPARE(ShownMessageBox(), nullptr);
    }

    // The opening state; empty inputs and a cancelled chooser send nothing;
    // a port that cannot be opened (no printer on COM1, whose default device
    // is missing, none on USB) is reported, and the parallel port gives the
    // buttons back.
    void opensOnParallelWithNothingSelectedButIt()
    {
        rig::Bench bench;
        gCurrentPort.state = PORT_STATE_IDLE;
        gCurrentPort.type = PORT_SERIAL;
        HWND console = OpenConsole();
        QVERIFY(PlatTestChecked(console, IDC_UC_PARALLEL));
        for (int id : {IDC_UC_USB, IDC_UC_SERIAL, IDC_UC_HEX})
            QVERIFY(!PlatTestChecked(console, id));
        for (int id : {IDC_UC_STOP_CMDS, IDC_UC_STOP_FILE, IDC_UC_INPUT_HINT})
            QVERIFY(!PlatTestEnabled(console, id));
        QCOMPARE(Part(console, 0), std::string("请选择打印接口"));
        QCOMPARE(int(gCurrentPort.type), int(PORT_PARALLEL));
        // Part 0 ends at (W*3/4)*2/3, part 1 at W*3/4.
        RECT client{};
        GetClientRect(console, &client);
        int edges[2] = {};
        QCOMPARE(int(SendMessageA(hStatusBarUc, SB_GETPARTS, 2, reinterpret_cast<LPARAM>(edges))), 2);
        QCOMPARE(edges[0], (client.right * 3 / 4) * 2 / 3);
        QCOMPARE(edges[1], client.right * 3 / 4);

        PlatTestFileChooserAnswer(bench.dir().writeFile("a", {1}));
        QVERIFY(PlatTestClick(console, IDC_UC_SEL_FILE));
        QVERIFY(!PlatTestText(console, IDC_UC_FILE_NAME).empty());
        PlatTestFileChooserCancel();
        QVERIFY(PlatTestClick(console, IDC_UC_SEL_FILE));
        QCOMPARE(PlatTestText(console, IDC_UC_FILE_NAME), std::string());
        QVERIFY(PlatTestClick(console, IDC_UC_SEND));
        QVERIFY(PlatTestClick(console, IDC_UC_SEND_FILE));
        QCOMPARE(MessageTexts(), (std::vector<std::string>{"输入框为空!", "请先选择文件！"}));
        for (const auto& box : PlatTestMessageBoxes())
            QVERIFY(box.caption == "Error" && box.owner == console); // over the console
        QVERIFY(SendButtonsEnabled(console));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_CLOSED));

        for (auto [radio, message] : {std::pair{IDC_UC_SERIAL, "串口被占用或有错误!\n" + rig::NoCom1Device(bench)},
                                      {IDC_UC_USB, "usb不在线或拨出!\n" + rig::kNoUsbPrinter}}) {
            PlatTestClearMessageBoxes();
            QVERIFY(PlatTestClick(console, radio));
            QVERIFY(!PlatTestChecked(console, radio) && !PlatTestChecked(console, IDC_UC_PARALLEL));
            QVERIFY(!SendButtonsEnabled(console));
            QCOMPARE(Part(console, 0), std::string("打开端口失败!"));
            QCOMPARE(MessageTexts(), std::vector<std::string>{message});
            QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_CLOSED));
            QVERIFY(PlatTestClick(console, IDC_UC_PARALLEL));
            QVERIFY(SendButtonsEnabled(console));
            QCOMPARE(Part(console, 0), std::string("并口"));
        }
    }

    void typedHexAndTextReachThePrinter_data()
    {
        QTest::addColumn<int>("radio");
        QTest::addColumn<QString>("portName");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("hex") << IDC_UC_SERIAL << "串口:  9600bps,8位,无" << "1B 40 0A" << true
                             << QByteArray("\x1B\x40\x0A", 3);
        QTest::newRow("the same as text") << IDC_UC_SERIAL << "串口:  9600bps,8位,无" << "1B 40 0A" << false
                                          << QByteArray("1B 40 0A");
        // Text goes to the printer in its code page, GBK.
        QTest::newRow("chinese text") << IDC_UC_SERIAL << "串口:  9600bps,8位,无" << "测试" << false
                                      << QByteArray("\xB2\xE2\xCA\xD4");
        QTest::newRow("usb, lower-case hex") << IDC_UC_USB << "U口" << "1b40" << true << QByteArray("\x1B\x40", 2);
        // One hex digit sends nothing, still reports a length and a count of
        // 0, and gives the buttons back.
        QTest::newRow("one hex digit") << IDC_UC_PARALLEL << "并口" << "7" << true << QByteArray();
    }

    void typedHexAndTextReachThePrinter()
    {
        QFETCH(int, radio);
        QFETCH(QString, portName);
        QFETCH(QString, typed);
        QFETCH(bool, hex);
        QFETCH(QByteArray, bytes);
        rig::Bench bench;
        sim::Printer& printer = radio == IDC_UC_SERIAL ? bench.serial().printer()
                                : radio == IDC_UC_USB  ? bench.usb(0).printer()
                                                       : bench.parallelPrinter();
        HWND console = OpenConsole();
        // Inside the last report of a single send the port is still busy: a
        // click on "发送" there is refused without a word.
        int clickedInside = 0;
        gAfterReport = [&](HWND hwnd, UINT, WPARAM code) {
            if (code == STATUS_CMDS_SENT && SendButtonsEnabled(hwnd) && clickedInside++ == 0)
                QVERIFY(PlatTestClick(hwnd, IDC_UC_SEND));
        };
        QVERIFY(PlatTestClick(console, radio));
        QCOMPARE(Part(console, 0), portName.toStdString());
        QVERIFY(PlatTestType(console, IDC_UC_INPUT, typed.toStdString()));
        if (hex)
            QVERIFY(PlatTestClick(console, IDC_UC_HEX));
        QVERIFY(PlatTestClick(console, IDC_UC_SEND));
        QVERIFY(rig::WaitPortIdle(5000));
        QVERIFY(printer.waitForBytes(uint64_t(bytes.size()), 2000ms));
        QCOMPARE(printer.received(), Bytes(bytes.begin(), bytes.end()));
        QCOMPARE(Part(console, 0), "发送指令长度 " + std::to_string(bytes.size()) + "字节");
        QCOMPARE(Part(console, 1), "已发送字节数 " + std::to_string(bytes.size()));
        QVERIFY(PlatTestWaitFor([&] { return SendButtonsEnabled(console); }, 2000));
        QCOMPARE(clickedInside, 1);
        QVERIFY(MessageTexts().empty());
        // After the release the same click goes out again.
        QVERIFY(PlatTestClick(console, IDC_UC_SEND));
        QVERIFY(rig::WaitPortIdle(5000));
        QVERIFY(printer.waitForBytes(uint64_t(2 * bytes.size()), 2000ms));
        QCOMPARE(printer.received().size(), size_t(2 * bytes.size()));
    }

    // Status part 1 after each report of a repeating send: the running count
    // of typed bytes; for a file, a pass's progress on top of the completed
    // passes, which the done reports leave as it was. A radio clicked while it
    // runs is cleared and the send goes on.
    void repeatingSendsCountAcrossPassesUntilStopped()
    {
        rig::Bench bench;
        PlatSetTimeScale(0.05);
        HWND console = OpenConsole();
        SendHex(console, "1B 40", true);
        QVERIFY(PlatTestWaitFor([] { return gPart1History.size() >= 3; }, 5000));
        QVERIFY(!SendButtonsEnabled(console)); // each pass's report leaves them off
        QVERIFY(PlatTestClick(console, IDC_UC_SERIAL));
        for (int id : {IDC_UC_SERIAL, IDC_UC_PARALLEL, IDC_UC_USB})
            QVERIFY(!PlatTestChecked(console, id));
        QCOMPARE(int(gCurrentPort.type), int(PORT_PARALLEL));
        const size_t before = gPart1History.size();
        QVERIFY(PlatTestWaitFor([&] { return gPart1History.size() >= before + 2; }, 5000));
        QVERIFY(PlatTestClick(console, IDC_UC_STOP_CMDS));
        QVERIFY(rig::WaitPortIdle(10000));
        QVERIFY(SendButtonsEnabled(console));
        QVERIFY(!PlatTestEnabled(console, IDC_UC_STOP_CMDS));
        const size_t passes = bench.parallelPrinter().received().size() / 2;
        for (size_t i = 0; i < gPart1History.size(); ++i)
            QCOMPARE(gPart1History[i], "已发送字节数 " + std::to_string(2 * (i + 1)));
        QCOMPARE(Part(console, 1), "已发送字节数 " + std::to_string(2 * passes));

        gPart1History.clear();
        const std::string path = bench.dir().writeFile("cmds.bin", Bytes(600, 'Z'));
        SendCommandFile(console, path, true);
        QCOMPARE(Part(console, 0), std::string("命令文件长度: 600字节 "));
        // Two passes' progress, each ending with its done report.
        QVERIFY(PlatTestWaitFor([] { return gPart1History.size() >= 8; }, 10000));
        QVERIFY(PlatTestClick(console, IDC_UC_STOP_FILE));
        QVERIFY(rig::WaitPortIdle(10000));
        const std::vector<std::string> history(gPart1History.begin(), gPart1History.end());
        QVERIFY(rig::PacedFrom(history,
                               {{"已发送数据:256字节", "已发送数据:512字节", "已发送数据:600字节", "已发送数据:600字节"},
                                {"已发送数据:856字节", "已发送数据:1112字节", "已发送数据:1200字节", "已发送数据:1200字节"}},
                               true));
        QVERIFY(SendButtonsEnabled(console));
        QVERIFY(MessageTexts().empty());
    }

    // "结束发送" while the printer takes nothing: the send buttons it gives
    // back work at once; the next click on "发送" is not dropped.
    void aStopWhileThePrinterTakesNothingGivesBackWorkingSendButtons()
    {
        rig::Bench bench;
        auto& printer = bench.serial();
        printer.holdLine(true);
        HWND console = OpenConsole();
        QVERIFY(PlatTestClick(console, IDC_UC_SERIAL));
        SendCommandFile(console, bench.dir().writeFile("cmds.bin", Bytes(256 * 1024, 'Z')), true);
        QVERIFY(rig::WaitStalled([] { return gPart1History.size(); }));
        QVERIFY(PlatTestClick(console, IDC_UC_STOP_FILE));
        QVERIFY(SendButtonsEnabled(console));
        QVERIFY(rig::WaitPortIdle(1000)); // not after the stalled writes' 9 s
        SendHex(console, "1B 40");
        printer.holdLine(false);
        QVERIFY(PlatTestWaitFor(
            [&] {
                const auto got = printer.received();
                return got.size() >= 2 && got[got.size() - 2] == 0x1B && got.back() == 0x40;
            },
            10000));
        QVERIFY(MessageTexts().empty());
    }

    void aPrinterPluggedBackInIsReachedWithoutChoosingItsPortAgain_data()
    {
        QTest::addColumn<bool>("usb");
        QTest::newRow("usb") << true;
        QTest::newRow("usb-serial adapter") << false;
    }

    // A printer pulled out between two sends: the send that finds it gone
    // says so, its dead handle is let go, and once the printer is back the
    // next send reaches it on the same port.
    void aPrinterPluggedBackInIsReachedWithoutChoosingItsPortAgain()
    {
        QFETCH(bool, usb);
        rig::Bench bench;
        auto plugIn = [&]() -> sim::PtyPrinter* {
            return usb ? static_cast<sim::PtyPrinter*>(&bench.usb(0)) : &bench.serial();
        };
        sim::PtyPrinter* printer = plugIn();
        HWND console = OpenConsole();
        QVERIFY(PlatTestClick(console, usb ? IDC_UC_USB : IDC_UC_SERIAL));
        SendHex(console, "1B 40");
        QVERIFY(rig::WaitPortIdle(5000));
        QVERIFY(printer->waitForBytes(2, 5000ms));

        bench.unplug();
        QVERIFY(PlatTestClick(console, IDC_UC_SEND)); // "1B 40" again, with "HEX发送" still ticked
        QVERIFY(rig::WaitPortIdle(10000));
        QCOMPARE(Part(console, 0), std::string("发送失败：只发出 0/2 字节，请检查打印机"));
        QVERIFY(gCurrentPort.handle == nullptr);
        QCOMPARE(int(gCurrentPort.type), usb ? int(PORT_USB) : int(PORT_SERIAL));
        QVERIFY(SendButtonsEnabled(console));
        // Still away: refused, saying why; the next send tries again.
        QVERIFY(PlatTestClick(console, IDC_UC_SEND));
        QCOMPARE(MessageTexts().size(), size_t(1));
        QVERIFY(MessageTexts()[0].starts_with(usb ? "发送数据错误！请重试\nUSB001：没有找到 USB 打印机"
                                                  : "发送数据错误！请重试\nCOM1 → "));
        PlatTestClearMessageBoxes();

        // Back: the send reaches it, and the receive view follows the port
        // opened again (the printer's answer to DLE EOT 1 is shown).
        printer = plugIn();
        QVERIFY(PlatTestClick(console, IDC_UC_CLEAR));
        QVERIFY(PlatTestType(console, IDC_UC_INPUT, "10 04 01"));
        QVERIFY(PlatTestClick(console, IDC_UC_SEND));
        QVERIFY(rig::WaitPortIdle(5000));
        QCOMPARE(Part(console, 0), std::string("发送指令长度 3字节"));
        QVERIFY(printer->waitForBytes(3, 5000ms));
        QCOMPARE(printer->received(), (Bytes{0x10, 0x04, 0x01}));
        QVERIFY(PlatTestWaitFor([&] { return PlatTestText(console, IDC_UC_RX_COUNT) == "已接收 1 字节"; }, 5000));
        QVERIFY(MessageTexts().empty());
    }

    void aPortThatFailsToOpenSaysWhichDeviceAndWhy_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("reason"); // GROUP: the group that owns the device
        const QString held = "设备正被进程 4321 (minicom) 使用，请先关闭它";
        QTest::newRow("serial, held by another process") << "serial held" << held;
        QTest::newRow("usb, held by another process") << "usb held" << held;
        QTest::newRow("serial, a plain file") << "serial file" << "这不是一个设备，请在 端口设置 中选择设备";
        QTest::newRow("serial, no permission") << "serial denied" << "没有权限，请把用户加入 GROUP 组后重新登录";
    }

    // The first line as it always was; the second names the port, the device
    // and the reason, and says what to do.
    void aPortThatFailsToOpenSaysWhichDeviceAndWhy()
    {
        QFETCH(QString, what);
        QFETCH(QString, reason);
        rig::Bench bench;
        const bool usb = what.startsWith("usb");
        std::string device = bench.dir().path() + "/dev/usb/lp0";
        if (usb)
            bench.usb(0);
        else if (what == "serial file")
            QVERIFY(PlatSetComDevice("COM1", device = bench.dir().writeFile("printer.txt", {})));
        else {
            bench.serial();
            device = PlatComDevice("COM1");
        }
        // What holds the device: this process, shown through a process
        // table in which the holder is a terminal program.
        HANDLE holder = nullptr;
        const std::string proc = bench.dir().mkdirs("proc/4321/fd");
        testsupport::RootGuard procRoot(PlatRoot::Proc, bench.dir().path() + "/proc");
        if (what.endsWith("held")) {
            holder = CreateFileA(usb ? device.c_str() : "COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 0, nullptr);
            QVERIFY(holder != INVALID_HANDLE_VALUE && symlink(device.c_str(), (proc + "/5").c_str()) == 0);
            bench.dir().writeFile("proc/4321/comm", {'m', 'i', 'n', 'i', 'c', 'o', 'm', '\n'});
        } else if (what == "serial denied") {
            if (geteuid() == 0)
                QSKIP("root opens whatever the permissions say");
            struct stat st {};
            QVERIFY(chmod(device.c_str(), 0) == 0 && stat(device.c_str(), &st) == 0);
            reason.replace("GROUP", getgrgid(st.st_gid)->gr_name);
        }
        HWND console = OpenConsole();
        QVERIFY(PlatTestClick(console, usb ? IDC_UC_USB : IDC_UC_SERIAL));
        const std::string first = usb ? "usb不在线或拨出!\nUSB001 → " : "串口被占用或有错误!\nCOM1 → ";
        QCOMPARE(MessageTexts(), std::vector<std::string>{first + device + "：" + reason.toStdString()});
        QCOMPARE(Part(console, 0), std::string("打开端口失败!"));
        if (holder != nullptr)
            CloseHandle(holder);
    }

    // On the parallel port: a stop during a pass the printer takes lets the
    // pass finish whole; a stop while the printer holds busy cuts the pass.
    void aStopCutsAPassOnlyWhileThePrinterHoldsItUp()
    {
        rig::Bench bench;
        auto& printer = bench.parallelPrinter();
        HWND console = OpenConsole();
        Bytes pass(64 * 1024);
        for (size_t i = 0; i < pass.size(); ++i)
            pass[i] = static_cast<uint8_t>(i * 13 + (i >> 9));
        SendCommandFile(console, bench.dir().writeFile("cmds.bin", pass), true);
        // Well into the second pass, which has 60 KiB still to go.
        QVERIFY(PlatTestWaitFor([&] { return printer.received().size() >= pass.size() + 4096; }, 20000));
        QVERIFY(PlatTestClick(console, IDC_UC_STOP_FILE));
        QVERIFY(rig::WaitPortIdle(20000));
        Bytes got = printer.received();
        QCOMPARE(got.size(), 2 * pass.size());
        QVERIFY(Bytes(got.begin() + long(pass.size()), got.end()) == pass);
        QCOMPARE(gPart1History.back(), "已发送数据:" + std::to_string(2 * pass.size()) + "字节");

        // Held busy: the pass ends at once, short, as a failed one. ("循环发送"
        // is still ticked.)
        SendCommandFile(console, bench.dir().writeFile("cmds.bin", pass));
        QVERIFY(PlatTestWaitFor([&] { return printer.received().size() >= 2 * pass.size() + 4096; }, 20000));
        // The stop comes as soon as the writer polls a busy printer, long
        // before its busy limit would end the pass with "打印机忙!".
        const uint64_t polls = bench.parallelPort().statusPolls();
        bench.parallelPort().setBusy(true);
        QVERIFY(PlatTestWaitFor([&] { return bench.parallelPort().statusPolls() > polls + 10000; }, 5000));
        QVERIFY(PlatTestClick(console, IDC_UC_STOP_FILE));
        QVERIFY(rig::WaitPortIdle(1000));
        bench.parallelPort().setBusy(false);
        got = printer.received();
        QVERIFY(got.size() > 2 * pass.size() && got.size() % pass.size() != 0);
        QCOMPARE(Part(console, 0), std::string("文件发送失败"));
        QVERIFY(MessageTexts().empty()); // no "打印机忙!": the printer did not time out
    }

    void pathsThatDoNotFitAreRefusedWhole()
    {
        // A command file in folders with Chinese names: 3 bytes a character.
        rig::Bench bench;
        HWND console = OpenConsole();
        // Characters in the folder's name, and whether the path fits.
        for (auto [characters, fits] : {std::pair{40, true}, {80, false}, {120, false}}) {
            std::string folder;
            for (int i = 0; i < characters; ++i)
                folder += "命";
            // Each folder name within the system's 255 bytes a name.
            std::string relative = folder.substr(0, 198);
            if (folder.size() > 198)
                relative += "/" + folder.substr(198);
            bench.dir().mkdirs(relative);
            const std::string path = bench.dir().writeFile(relative + "/cmds.bin", {0x1B, '@'});
            PlatTestClearMessageBoxes();
            PlatTestFileChooserAnswer(path);
            PlatTestClick(console, IDC_UC_SEL_FILE);
            if (fits) {
                QCOMPARE(PlatTestText(console, IDC_UC_FILE_NAME), path);
                QVERIFY(MessageTexts().empty());
                continue;
            }
            // Never the size the chooser left in the first bytes, nor a cut path.
            QCOMPARE(PlatTestText(console, IDC_UC_FILE_NAME), std::string());
            QCOMPARE(MessageTexts(), std::vector<std::string>{"文件路径太长（最多 259 字节，约 86 个汉字），"
                                                              "请把文件放到路径较短的文件夹后再选择。"});
            PlatTestClearMessageBoxes();
            PlatTestClick(console, IDC_UC_SEND_FILE);
            QCOMPARE(MessageTexts(), std::vector<std::string>{"请先选择文件！"});
        }
    }

    // A file gone after it was chosen and one a byte over the limit are
    // refused as a failed send (and nothing is created); a file of exactly
    // the limit goes out.
    void filesMissingAtAndOverTheLimit()
    {
        rig::Bench bench;
        HWND console = OpenConsole();
        const std::string missing = bench.dir().writeFile("gone", {1});
        for (const std::string& path : {missing, bench.dir().writeFile("over", Bytes(MAX_SEND_FILE_SIZE + 1, 'x'))}) {
            PlatTestClearMessageBoxes();
            PlatTestFileChooserAnswer(path);
            QVERIFY(PlatTestClick(console, IDC_UC_SEL_FILE));
            std::filesystem::remove(missing);
            QVERIFY(PlatTestClick(console, IDC_UC_SEND_FILE));
            // The engine's failure report first, then the refusal's message.
            QCOMPARE(Part(console, 0), std::string("文件发送失败"));
            QCOMPARE(MessageTexts(), std::vector<std::string>{"发送数据错误！请重试"});
            QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_CLOSED));
            QVERIFY(gCurOutputBuf.hFile == nullptr);
            QVERIFY(SendButtonsEnabled(console));
        }
        QVERIFY(!std::filesystem::exists(missing));
        QVERIFY(bench.parallelPrinter().received().empty());

        PlatTestClearMessageBoxes();
        SendCommandFile(console, bench.dir().writeFile("limit", Bytes(MAX_SEND_FILE_SIZE, 'x')));
        QCOMPARE(Part(console, 0), std::string("命令文件长度: 5242880字节 "));
        QVERIFY(MessageTexts().empty());
        QVERIFY(PlatTestWaitFor([] { return !gPart1History.empty(); }, 5000));
        // Leaving ends the send at its next block and waits for the sending
        // thread before it releases the port. (Every wait on a printer ends
        // at a close: the send engine's close test.)
        QVERIFY(PlatTestClick(console, IDC_UC_EXIT));
        QVERIFY(PlatTestDialogEnded(console));
        QVERIFY(hStatusBarUc == nullptr && gCurrentPort.handle == nullptr);
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_IDLE));
        QCOMPARE(PlatTestPendingSends(), 0);
        QVERIFY(bench.parallelPrinter().received().size() < MAX_SEND_FILE_SIZE);
    }
};

PLAT_TEST_MAIN_WITH(TestConsole, ResRegister)
#include "tst_console.moc"
