// The command console driven as a technician drives it, against the virtual
// printer: port choice, typed hex and text, command files, repeating sends
// and their stop, refusals, and closing while a send runs.
#include "port/port.h"
#include "res/resource.h"
#include "send/send.h"
#include "ui/console/console.h"
#include "ui/support/printer_rig.h"
#include "ui/support/window_fixture.h"

#include <QMessageBox>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <fstream>

using namespace std::chrono_literals;

namespace {

// Texts of status part 1 right after each report of a pass (not the length
// reports) was handled, and an
// optional action run inside the report, after the console handled it.
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

void Stop(HWND console, int stopButton)
{
    QVERIFY(PlatTestClick(console, stopButton));
    QVERIFY(rig::WaitPortIdle(10000));
}

} // namespace

class TestConsole : public QObject {
    Q_OBJECT

private slots:
    void parallelErrorBoxLeavesStopAndExitUsable_data();
    void parallelErrorBoxLeavesStopAndExitUsable();
    void init()
    {
        PlatTestRecordMessageBoxes();
        PlatTestClearMessageBoxes();
    }
    void cleanup()
    {
        gAfterReport = nullptr;
        PlatTestDestroyAll();
    }

    void opensOnParallelWithNothingSelectedButIt()
    {
        rig::Bench bench;
        gCurrentPort.state = PORT_STATE_IDLE;
        gCurrentPort.type = PORT_SERIAL;
        HWND console = OpenConsole();
        QVERIFY(console != nullptr);
        QVERIFY(PlatTestChecked(console, IDC_UC_PARALLEL));
        QVERIFY(!PlatTestChecked(console, IDC_UC_USB));
        QVERIFY(!PlatTestChecked(console, IDC_UC_SERIAL));
        QVERIFY(!PlatTestChecked(console, IDC_UC_HEX));
        QVERIFY(!PlatTestEnabled(console, IDC_UC_STOP_CMDS));
        QVERIFY(!PlatTestEnabled(console, IDC_UC_STOP_FILE));
        QVERIFY(!PlatTestEnabled(console, IDC_UC_INPUT_HINT));
        QVERIFY(SendButtonsEnabled(console));
        QCOMPARE(Part(console, 0), std::string("请选择打印接口"));
        QCOMPARE(int(gCurrentPort.type), int(PORT_PARALLEL));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_CLOSED));
        // Part 0 ends at (W*3/4)*2/3, part 1 at W*3/4.
        RECT client{};
        GetClientRect(console, &client);
        int edges[2] = {};
        QCOMPARE(int(SendMessageA(hStatusBarUc, SB_GETPARTS, 2, reinterpret_cast<LPARAM>(edges))), 2);
        const int w = client.right - client.left;
        QCOMPARE(edges[0], (w * 3 / 4) * 2 / 3);
        QCOMPARE(edges[1], w * 3 / 4);
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
        QVERIFY(PlatTestClick(console, radio));
        QCOMPARE(Part(console, 0), portName.toStdString());
        QVERIFY(PlatTestType(console, IDC_UC_INPUT, typed.toStdString()));
        if (hex)
            QVERIFY(PlatTestClick(console, IDC_UC_HEX));
        QVERIFY(PlatTestClick(console, IDC_UC_SEND));
        QVERIFY(rig::WaitPortIdle(5000));
        QVERIFY(printer.waitForBytes(uint64_t(bytes.size()), 2000ms));
        const auto received = printer.received();
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(received.data()), int(received.size())), bytes);
        QCOMPARE(Part(console, 0), "发送指令长度 " + std::to_string(bytes.size()) + "字节");
        QCOMPARE(Part(console, 1), "已发送字节数 " + std::to_string(bytes.size()));
        QVERIFY(PlatTestWaitFor([&] { return SendButtonsEnabled(console); }, 2000));
        QVERIFY(MessageTexts().empty());
    }

    void emptyInputsAreRefusedWithAMessage()
    {
        rig::Bench bench;
        HWND console = OpenConsole();
        PlatTestClick(console, IDC_UC_SEND);
        PlatTestClick(console, IDC_UC_SEND_FILE);
        QCOMPARE(MessageTexts(), (std::vector<std::string>{"输入框为空!", "请先选择文件！"}));
        for (const auto& box : PlatTestMessageBoxes()) {
            QCOMPARE(box.caption, std::string("Error"));
            QVERIFY(box.owner == nullptr);
        }
        QVERIFY(SendButtonsEnabled(console));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_CLOSED));
    }

    void aPortThatCannotBeOpenedIsReported_data()
    {
        QTest::addColumn<int>("radio");
        QTest::addColumn<QString>("message");
        QTest::newRow("serial") << IDC_UC_SERIAL << "串口被占用或有错误!";
        QTest::newRow("usb") << IDC_UC_USB << "usb不在线或拨出!";
    }

    void aPortThatCannotBeOpenedIsReported()
    {
        QFETCH(int, radio);
        QFETCH(QString, message);
        rig::Bench bench; // no printer on COM1 (its default device is missing), none on USB
        HWND console = OpenConsole();
        QVERIFY(PlatTestClick(console, radio));
        QVERIFY(!PlatTestChecked(console, radio));
        QVERIFY(!PlatTestChecked(console, IDC_UC_PARALLEL));
        QVERIFY(!SendButtonsEnabled(console));
        QCOMPARE(Part(console, 0), std::string("打开端口失败!"));
        QCOMPARE(MessageTexts(), std::vector<std::string>{message.toStdString()});
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_CLOSED));
        // Choosing a port that works gives the buttons back.
        QVERIFY(PlatTestClick(console, IDC_UC_PARALLEL));
        QVERIFY(SendButtonsEnabled(console));
        QCOMPARE(Part(console, 0), std::string("并口"));
    }

    void repeatingTypedSendAddsEveryPassUntilStopped()
    {
        rig::Bench bench;
        HWND console = OpenConsole();
        PlatTestType(console, IDC_UC_INPUT, "1B 40");
        PlatTestClick(console, IDC_UC_HEX);
        PlatTestClick(console, IDC_UC_LOOP_CMDS);
        PlatTestClick(console, IDC_UC_SEND);
        QVERIFY(PlatTestEnabled(console, IDC_UC_STOP_CMDS));
        QVERIFY(!SendButtonsEnabled(console));
        QVERIFY(PlatTestWaitFor([] { return gPart1History.size() >= 3; }, 5000));
        QVERIFY(!SendButtonsEnabled(console)); // each pass's report leaves them off
        // A radio clicked while it runs is cleared and the send goes on.
        QVERIFY(PlatTestClick(console, IDC_UC_SERIAL));
        QVERIFY(!PlatTestChecked(console, IDC_UC_SERIAL));
        QVERIFY(!PlatTestChecked(console, IDC_UC_PARALLEL));
        QVERIFY(!PlatTestChecked(console, IDC_UC_USB));
        QCOMPARE(int(gCurrentPort.type), int(PORT_PARALLEL));
        const size_t before = gPart1History.size();
        QVERIFY(PlatTestWaitFor([&] { return gPart1History.size() >= before + 2; }, 5000));
        Stop(console, IDC_UC_STOP_CMDS);
        QVERIFY(MessageTexts().empty());
        QVERIFY(SendButtonsEnabled(console));
        QVERIFY(!PlatTestEnabled(console, IDC_UC_STOP_CMDS));
        const size_t passes = bench.parallelPrinter().received().size() / 2;
        QVERIFY(passes >= 3);
        for (size_t i = 0; i < gPart1History.size(); ++i)
            QCOMPARE(gPart1History[i], "已发送字节数 " + std::to_string(2 * (i + 1)));
        QCOMPARE(Part(console, 1), "已发送字节数 " + std::to_string(2 * passes));
    }

    // "结束发送" while the printer takes nothing: the send buttons it gives
    // back work at once; the next click on "发送" is not dropped.
    void aStopWhileThePrinterTakesNothingGivesBackWorkingSendButtons()
    {
        rig::Bench bench;
        auto& printer = bench.serial();
        printer.holdLine(true);
        const std::string path = bench.dir().writeFile("cmds.bin", std::vector<uint8_t>(256 * 1024, 'Z'));
        HWND console = OpenConsole();
        QVERIFY(PlatTestClick(console, IDC_UC_SERIAL));
        PlatTestFileChooserAnswer(path);
        QVERIFY(PlatTestClick(console, IDC_UC_SEL_FILE));
        QVERIFY(PlatTestClick(console, IDC_UC_LOOP_FILE));
        QVERIFY(PlatTestClick(console, IDC_UC_SEND_FILE));
        QVERIFY(PlatTestWaitFor([] { return !gPart1History.empty(); }, 10000)); // the pass is under way
        QVERIFY(PlatTestClick(console, IDC_UC_STOP_FILE));
        QVERIFY(SendButtonsEnabled(console));
        QVERIFY(rig::WaitPortIdle(1000)); // not after the stalled writes' 9 s
        PlatTestType(console, IDC_UC_INPUT, "1B 40");
        QVERIFY(PlatTestClick(console, IDC_UC_HEX));
        QVERIFY(PlatTestClick(console, IDC_UC_SEND));
        printer.holdLine(false);
        QVERIFY(PlatTestWaitFor(
            [&] {
                const auto got = printer.received();
                return got.size() >= 2 && got[got.size() - 2] == 0x1B && got.back() == 0x40;
            },
            10000));
        QVERIFY(MessageTexts().empty());
    }

    void repeatingFileSendCountsAcrossPasses()
    {
        rig::Bench bench;
        PlatSetTimeScale(0.05);
        const std::string path = bench.dir().writeFile("cmds.bin", std::vector<uint8_t>(600, 'Z'));
        HWND console = OpenConsole();
        PlatTestFileChooserAnswer(path);
        PlatTestClick(console, IDC_UC_SEL_FILE);
        QCOMPARE(PlatTestText(console, IDC_UC_FILE_NAME), path);
        PlatTestClick(console, IDC_UC_LOOP_FILE);
        PlatTestClick(console, IDC_UC_SEND_FILE);
        QCOMPARE(Part(console, 0), std::string("命令文件长度: 600字节 "));
        QVERIFY(PlatTestEnabled(console, IDC_UC_STOP_FILE));
        QVERIFY(PlatTestWaitFor([] { return gPart1History.size() >= 8; }, 10000));
        Stop(console, IDC_UC_STOP_FILE);
        // Progress of a pass shows on top of the completed passes; the
        // done reports leave the text as it was.
        const std::vector<std::string> expected{"已发送数据:256字节", "已发送数据:512字节", "已发送数据:600字节",
                                                "已发送数据:600字节", "已发送数据:856字节", "已发送数据:1112字节",
                                                "已发送数据:1200字节", "已发送数据:1200字节"};
        QCOMPARE(std::vector<std::string>(gPart1History.begin(), gPart1History.begin() + 8), expected);
        QVERIFY(SendButtonsEnabled(console));
    }

    void chooserCancelEmptiesTheFileName()
    {
        rig::Bench bench;
        HWND console = OpenConsole();
        PlatTestFileChooserAnswer(bench.dir().writeFile("a", {1}));
        PlatTestClick(console, IDC_UC_SEL_FILE);
        QVERIFY(!PlatTestText(console, IDC_UC_FILE_NAME).empty());
        PlatTestFileChooserCancel();
        PlatTestClick(console, IDC_UC_SEL_FILE);
        QCOMPARE(PlatTestText(console, IDC_UC_FILE_NAME), std::string());
    }

    void pathsThatDoNotFitAreRefusedWhole()
    {
        // A command file in folders with Chinese names: 3 bytes a character.
        rig::Bench bench;
        HWND console = OpenConsole();
        struct Case {
            int characters; // in the folder's name
            bool fits;
        };
        for (const Case c : {Case{40, true}, Case{80, false}, Case{120, false}}) {
            std::string folder;
            for (int i = 0; i < c.characters; ++i)
                folder += "命";
            // Each folder name within the system's 255 bytes a name.
            std::string dir = bench.dir().path() + "/" + folder.substr(0, 198);
            if (folder.size() > 198)
                dir += "/" + folder.substr(198);
            std::filesystem::create_directories(dir);
            const std::string path = dir + "/cmds.bin";
            std::ofstream(path, std::ios::binary) << "\x1B@";
            PlatTestClearMessageBoxes();
            PlatTestFileChooserAnswer(path);
            PlatTestClick(console, IDC_UC_SEL_FILE);
            if (c.fits) {
                QCOMPARE(PlatTestText(console, IDC_UC_FILE_NAME), path);
                QVERIFY(MessageTexts().empty());
                continue;
            }
            // Never the size the chooser left in the first bytes, nor a cut path.
            QCOMPARE(PlatTestText(console, IDC_UC_FILE_NAME), std::string());
            const std::vector<std::string> said = MessageTexts();
            QCOMPARE(said.size(), size_t(1));
            QVERIFY(said[0].find("文件路径太长") != std::string::npos);
            PlatTestClearMessageBoxes();
            PlatTestClick(console, IDC_UC_SEND_FILE);
            QCOMPARE(MessageTexts(), std::vector<std::string>{"请先选择文件！"});
        }
    }

    void filesAtAndOverTheLimit()
    {
        rig::Bench bench;
        HWND console = OpenConsole();
        const std::string over = bench.dir().writeFile("over", std::vector<uint8_t>(MAX_SEND_FILE_SIZE + 1, 'x'));
        PlatTestFileChooserAnswer(over);
        PlatTestClick(console, IDC_UC_SEL_FILE);
        PlatTestClick(console, IDC_UC_SEND_FILE);
        // The engine's failure report first, then the refusal's message.
        QCOMPARE(Part(console, 0), std::string("文件发送失败"));
        QCOMPARE(MessageTexts(), std::vector<std::string>{"发送数据错误！请重试"});
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_CLOSED));
        QVERIFY(SendButtonsEnabled(console));

        PlatTestClearMessageBoxes();
        const std::string limit = bench.dir().writeFile("limit", std::vector<uint8_t>(MAX_SEND_FILE_SIZE, 'x'));
        PlatTestFileChooserAnswer(limit);
        PlatTestClick(console, IDC_UC_SEL_FILE);
        PlatTestClick(console, IDC_UC_SEND_FILE);
        QCOMPARE(Part(console, 0), std::string("命令文件长度: 5242880字节 "));
        QVERIFY(MessageTexts().empty());
        QVERIFY(PlatTestWaitFor([] { return !gPart1History.empty(); }, 5000));
        // Leaving ends the send at its next block and releases the port.
        PlatTestClick(console, IDC_UC_EXIT);
        QVERIFY(PlatTestDialogEnded(console));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_IDLE));
        QVERIFY(bench.parallelPrinter().received().size() < MAX_SEND_FILE_SIZE);
    }

    void aSendWhileBusyIsRefusedSilently()
    {
        rig::Bench bench;
        HWND console = OpenConsole();
        PlatTestType(console, IDC_UC_INPUT, "41");
        PlatTestClick(console, IDC_UC_HEX);
        // Inside the last report of a single send the port is still busy.
        int refusedInside = 0;
        gAfterReport = [&](HWND hwnd, UINT, WPARAM code) {
            if (code == STATUS_CMDS_SENT && SendButtonsEnabled(hwnd)) {
                PlatTestClick(hwnd, IDC_UC_SEND);
                ++refusedInside;
            }
        };
        PlatTestClick(console, IDC_UC_SEND);
        QVERIFY(rig::WaitPortIdle(5000));
        gAfterReport = nullptr;
        QCOMPARE(refusedInside, 1);
        QCOMPARE(bench.parallelPrinter().received(), std::vector<uint8_t>{0x41});
        QVERIFY(MessageTexts().empty());
        // After the release a send is accepted.
        PlatTestClick(console, IDC_UC_SEND);
        QVERIFY(rig::WaitPortIdle(5000));
        QVERIFY(bench.parallelPrinter().waitForBytes(2, 2000ms));
        QCOMPARE(bench.parallelPrinter().received(), (std::vector<uint8_t>{0x41, 0x41}));
    }

    void closingDuringASendEndsItAndReleasesThePort_data()
    {
        QTest::addColumn<bool>("repeating");
        QTest::newRow("single") << false;
        QTest::newRow("repeating") << true;
    }

    void closingDuringASendEndsItAndReleasesThePort()
    {
        QFETCH(bool, repeating);
        rig::Bench bench;
        auto& printer = bench.serial();
        PlatSetTimeScale(0.1);
        HWND console = OpenConsole();
        QVERIFY(PlatTestClick(console, IDC_UC_SERIAL));
        // The printer takes nothing, so the send is still writing at the close.
        printer.holdLine(true);
        const std::string path = bench.dir().writeFile("big", std::vector<uint8_t>(512 * 1024, 'y'));
        PlatTestFileChooserAnswer(path);
        PlatTestClick(console, IDC_UC_SEL_FILE);
        if (repeating)
            PlatTestClick(console, IDC_UC_LOOP_FILE);
        PlatTestClick(console, IDC_UC_SEND_FILE);
        QVERIFY(PlatTestWaitFor([] { return !gPart1History.empty(); }, 10000));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_BUSY));

        PlatTestClick(console, IDC_UC_EXIT);
        QVERIFY(PlatTestDialogEnded(console));
        QVERIFY(hStatusBarUc == nullptr);
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_IDLE));
        QVERIFY(gCurrentPort.handle == nullptr);
        QCOMPARE(PlatTestPendingSends(), 0);
        printer.holdLine(false);
    }
};

void TestConsole::parallelErrorBoxLeavesStopAndExitUsable_data()
{
    QTest::addColumn<int>("button");
    QTest::newRow("stop") << int(IDC_UC_STOP_CMDS);
    QTest::newRow("exit") << int(IDC_UC_EXIT);
}

// A repeating send to a parallel printer that reports an error: the sending
// thread's "打印机不在线或错误" box holds only that thread. Stop and exit are
// taken while it shows, and no box comes after the stop.
void TestConsole::parallelErrorBoxLeavesStopAndExitUsable()
{
    QFETCH(int, button);
    rig::Bench bench;
    bench.parallelPort().setError(true);
    PlatSetMessageBoxHook(nullptr); // real boxes: they are what this test is about
    CloseMessageBoxesAtEnd closeBoxes;
    HWND console = OpenConsole();
    QVERIFY(PlatTestType(console, IDC_UC_INPUT, "1B 40"));
    QVERIFY(PlatTestClick(console, IDC_UC_HEX));
    QVERIFY(PlatTestClick(console, IDC_UC_LOOP_CMDS));
    QVERIFY(PlatTestClick(console, IDC_UC_SEND));
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
        // the box still takes its answer during that wait.
        QTimer::singleShot(100, [] { AnswerShownMessageBox(QMessageBox::Ok); });
        SystemClick(PlatTestWidget(GetDlgItem(console, IDC_UC_EXIT)));
        QVERIFY(PlatTestDialogEnded(console));
    }
    QVERIFY(gCurrentPort.state != PORT_STATE_BUSY);
    QCOMPARE(ShownMessageBox(), nullptr);
}

PLAT_TEST_MAIN(TestConsole)
#include "tst_console.moc"
