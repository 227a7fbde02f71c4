// The firmware, font and machine-number dialogs driven as a technician
// drives them, against the virtual printer: port choice, the file chooser,
// the transfers and their reports, the serial font handshake, the machine
// number's checks, and closing while a transfer runs.
#include "port/port.h"
#include "res/resource.h"
#include "res/resources.h"
#include "send/send.h"
#include "ui/download/download.h"
#include "ui/support/printer_rig.h"

#include <QCryptographicHash>

#include <chrono>

using namespace std::chrono_literals;

namespace {

// The controls each dialog has in the same role.
struct DownloadDialog {
    const char* name;
    int templateId;
    DLGPROC proc;
    int parallel, usb, serial, text, start, exit, chooser;
};

const DownloadDialog kVersion{"firmware", IDD_DOWN_VERSION, bDownVerFileDlgProc, IDC_DV_PARALLEL, IDC_DV_USB,
                              IDC_DV_SERIAL, IDC_DV_PATH, IDC_DV_SEND, IDC_DV_EXIT, IDC_DV_SEL_FILE};
const DownloadDialog kFont{"font", IDD_DOWN_FONT, bDownFontFileDlgProc, IDC_DF_PARALLEL, IDC_DF_USB,
                           IDC_DF_SERIAL, IDC_DF_PATH, IDC_DF_SEND, IDC_DF_EXIT, IDC_DF_SEL_FILE};
const DownloadDialog kPrnNum{"machine number", IDD_DOWN_PRN_NUM, bDownPrnNumDlgProc, IDC_DN_PARALLEL, IDC_DN_USB,
                             IDC_DN_SERIAL, IDC_DN_NUMBER, IDC_DN_SEND, IDC_DN_EXIT, 0};
const DownloadDialog* const kDialogs[] = {&kVersion, &kFont, &kPrnNum};

// What the status bar showed right after each report was handled.
struct Shown {
    WPARAM code;
    std::string part0, part1;
};
std::vector<Shown> gShown;
// Runs inside a report, after the dialog handled it.
std::function<void(HWND, WPARAM)> gAfterReport;
DLGPROC gRecordedProc = nullptr;
// The report the open dialog follows: file transfers, or typed commands
// for the machine number.
UINT gRecordedReport = WM_SENDFILE_STATUS;

std::string Part(HWND dialog, int part)
{
    return PlatTestStatusText(dialog, IDC_DW_STATUSBAR, part);
}

INT_PTR CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    const INT_PTR result = gRecordedProc(hwnd, message, wParam, lParam);
    if (message == gRecordedReport) {
        if (hStatusBarDw != nullptr)
            gShown.push_back({wParam, Part(hwnd, 0), Part(hwnd, 1)});
        else
            gShown.push_back({wParam, {}, {}}); // the dialog is closing
        if (gAfterReport)
            gAfterReport(hwnd, wParam);
    }
    return result;
}

HWND Open(const DownloadDialog& dialog)
{
    gShown.clear();
    gAfterReport = nullptr;
    gRecordedProc = dialog.proc;
    gRecordedReport = &dialog == &kPrnNum ? WM_SENDCMDS_STATUS : WM_SENDFILE_STATUS;
    return PlatTestOpenDialog(MAKEINTRESOURCEA(dialog.templateId), nullptr, RecordingProc);
}

using rig::MessageTexts;

std::vector<uint8_t> Pattern(size_t size, uint8_t seed = 0)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>((i * 7 + seed) ^ (i >> 8));
    return bytes;
}

std::string Sha256(const std::vector<uint8_t>& bytes)
{
    const QByteArray data(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex().toStdString();
}

std::vector<uint8_t> Bytes(std::initializer_list<int> values)
{
    std::vector<uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<uint8_t>(v));
    return out;
}

void ChooseFile(HWND dialog, int chooser, const std::string& path)
{
    PlatTestFileChooserAnswer(path);
    QVERIFY(PlatTestClick(dialog, chooser));
}

// The last download session the printer closed.
sim::DownloadSession LastDownload(const sim::Printer& printer)
{
    const auto state = printer.state();
    return state.downloads.empty() ? sim::DownloadSession{} : state.downloads.back();
}

bool TransferEnded()
{
    return !gShown.empty() && (gShown.back().code == STATUS_FILE_DONE || gShown.back().code == STATUS_FILE_FAILED);
}

} // namespace

class TestDownload : public QObject {
    Q_OBJECT

private slots:
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

    // ------------------------------------------------------------ the frame

    void eachDialogOpensOnTheParallelPortWithoutOpeningIt()
    {
        for (const DownloadDialog* d : kDialogs) {
            rig::Bench bench;
            gCurrentPort.type = PORT_USB;
            gCurrentPort.state = PORT_STATE_IDLE;
            HWND dialog = Open(*d);
            QVERIFY2(dialog != nullptr, d->name);
            QVERIFY(PlatTestChecked(dialog, d->parallel));
            QVERIFY(!PlatTestChecked(dialog, d->usb));
            QVERIFY(!PlatTestChecked(dialog, d->serial));
            QCOMPARE(PlatTestText(dialog, d->text), std::string());
            QCOMPARE(Part(dialog, 0), std::string("请选择下载接口"));
            QCOMPARE(int(gCurrentPort.type), int(PORT_PARALLEL));
            QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_CLOSED));
            QCOMPARE(int(dlgType), d == &kVersion ? 1 : d == &kFont ? 2 : 3);
            // Part 0 ends at 2W/3, part 1 at W.
            RECT client{};
            GetClientRect(dialog, &client);
            const int w = client.right - client.left;
            int edges[2] = {};
            QCOMPARE(int(SendMessageA(hStatusBarDw, SB_GETPARTS, 2, reinterpret_cast<LPARAM>(edges))), 2);
            QCOMPARE(edges[0], 2 * w / 3);
            QCOMPARE(edges[1], w);
            PlatTestDestroyAll();
        }
        // Firmware goes over the parallel port or USB only.
        rig::Bench bench;
        HWND version = Open(kVersion);
        QVERIFY(!PlatTestEnabled(version, IDC_DV_SERIAL));
        QVERIFY(PlatTestEnabled(version, IDC_DV_ENTER_DOWNLOAD));
    }

    void titlesAndNotes_data()
    {
        QTest::addColumn<int>("templateId");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("notes");
        QTest::newRow("firmware") << IDD_DOWN_VERSION << "下载版本文件"
                                  << QStringList{"并口开机即点\"进入下载状态\"按钮，再升级;",
                                                 "U口直接点击\"更新版本\"按钮进行升级"};
        QTest::newRow("font") << IDD_DOWN_FONT << "下载字库文件"
                              << QStringList{"1) 选择下载接口", "2) 选定字库文件,按更新按钮开始下载"};
        QTest::newRow("machine number") << IDD_DOWN_PRN_NUM << "更新机器编号" << QStringList{"请输入机器编号"};
    }

    void titlesAndNotes()
    {
        QFETCH(int, templateId);
        QFETCH(QString, title);
        QFETCH(QStringList, notes);
        const DlgTemplate* t = ResFindDialog(MAKEINTRESOURCEA(templateId));
        QVERIFY(t != nullptr);
        QCOMPARE(QString::fromUtf8(t->caption), title);
        QStringList labels;
        for (const DlgItemTemplate& item : t->items)
            if (std::string(item.cls) == "STATIC")
                labels << QString::fromUtf8(item.text);
        QCOMPARE(labels, notes);
    }

    void theUsbRadioDisablesEnterDownloadStateAndParallelEnablesIt()
    {
        rig::Bench bench;
        bench.usb(0);
        HWND dialog = Open(kVersion);
        QVERIFY(PlatTestClick(dialog, IDC_DV_USB));
        QCOMPARE(Part(dialog, 0), std::string("U口"));
        QVERIFY(!PlatTestEnabled(dialog, IDC_DV_ENTER_DOWNLOAD));
        QCOMPARE(int(openPORT), int(PORT_USB));
        QVERIFY(PlatTestClick(dialog, IDC_DV_PARALLEL));
        QCOMPARE(Part(dialog, 0), std::string("并口"));
        QVERIFY(PlatTestEnabled(dialog, IDC_DV_ENTER_DOWNLOAD));
        QVERIFY(MessageTexts().empty());
    }

    void aPortThatFailsToOpenIsStillNamedAndTheStartButtonEnabled_data()
    {
        QTest::addColumn<int>("dialogIndex");
        QTest::addColumn<bool>("usb");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("named");
        // No printer on COM1 (its default device is missing), none on USB.
        QTest::newRow("font, serial") << 1 << false << "串口被占用或有错误!" << "串口:  9600bps,8位,无";
        QTest::newRow("font, usb") << 1 << true << "usb不在线或拨出!" << "U口";
        QTest::newRow("machine number, usb") << 2 << true << "usb不在线或拨出!" << "U口";
    }

    void aPortThatFailsToOpenIsStillNamedAndTheStartButtonEnabled()
    {
        QFETCH(int, dialogIndex);
        QFETCH(bool, usb);
        QFETCH(QString, message);
        QFETCH(QString, named);
        const DownloadDialog& d = *kDialogs[dialogIndex];
        rig::Bench bench;
        HWND dialog = Open(d);
        EnableWindow(GetDlgItem(dialog, d.start), FALSE);
        QVERIFY(PlatTestClick(dialog, usb ? d.usb : d.serial));
        QCOMPARE(MessageTexts(), std::vector<std::string>{message.toStdString()});
        QCOMPARE(PlatTestMessageBoxes()[0].caption, std::string("Error"));
        QCOMPARE(Part(dialog, 0), named.toStdString());
        QVERIFY(PlatTestEnabled(dialog, d.start));
        QVERIFY(PlatTestChecked(dialog, usb ? d.usb : d.serial));

        // The start tries the port again (the machine number does not: it
        // sends on the port as it is, and with none open does nothing).
        PlatTestClearMessageBoxes();
        if (&d == &kPrnNum) {
            QVERIFY(PlatTestType(dialog, d.text, "ABCdef123456"));
            QVERIFY(PlatTestClick(dialog, d.start));
            QVERIFY(MessageTexts().empty());
        } else {
            ChooseFile(dialog, d.chooser, bench.dir().writeFile("f.bin", {1, 2, 3}));
            QVERIFY(PlatTestClick(dialog, d.start));
            QCOMPARE(MessageTexts(), std::vector<std::string>{message.toStdString()});
            QCOMPARE(Part(dialog, 0), std::string("打开端口失败!"));
        }
        QVERIFY(gShown.empty());
        QVERIFY(PlatTestEnabled(dialog, d.start));
    }

    void cancellingTheChooserEmptiesThePath()
    {
        for (const DownloadDialog* d : {&kVersion, &kFont}) {
            rig::Bench bench;
            HWND dialog = Open(*d);
            const int chooser = d->chooser;
            const std::string path = bench.dir().writeFile("f.bin", {1, 2, 3});
            ChooseFile(dialog, chooser, path);
            QCOMPARE(PlatTestText(dialog, d->text), path);
            PlatTestFileChooserCancel();
            QVERIFY(PlatTestClick(dialog, chooser));
            QCOMPARE(PlatTestText(dialog, d->text), std::string());
            PlatTestDestroyAll();
        }
    }

    // ------------------------------------------------------------ firmware

    void enterDownloadStateBeforeAnyRadioGoesToTheParallelPort()
    {
        rig::Bench bench;
        HWND dialog = Open(kVersion);
        QVERIFY(PlatTestClick(dialog, IDC_DV_ENTER_DOWNLOAD));
        QVERIFY(rig::WaitPortIdle(5000));
        QCOMPARE(bench.parallelPrinter().received(), Bytes({0x1C, 0xAA, 0x55, 0x01}));
        // Its reports are not this dialog's business.
        QCOMPARE(Part(dialog, 0), std::string("请选择下载接口"));
        QVERIFY(MessageTexts().empty());
    }

    void enterDownloadStateWithNoPortOpenAsksForOne()
    {
        rig::Bench bench;
        HWND dialog = Open(kVersion);
        gCurrentPort.type = PORT_USB; // a port that failed to open
        QVERIFY(PlatTestClick(dialog, IDC_DV_ENTER_DOWNLOAD));
        QCOMPARE(MessageTexts(), std::vector<std::string>{"请先选择一个打印端口"});
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_CLOSED));
    }

    void aDownloadReachesThePrinterIntact_data()
    {
        QTest::addColumn<int>("dialogIndex");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("size");
        QTest::addColumn<QStringList>("progress");
        // Parallel firmware: "enter download state", then the file. USB
        // firmware: the printer was switched on for the update and the file
        // goes out directly. A font: its preamble, then the file.
        QTest::newRow("firmware, parallel") << 0 << int(PORT_PARALLEL) << 1000
                                            << QStringList{"更新进度:25%", "更新进度:51%", "更新进度:76%",
                                                           "更新进度:100%"};
        QTest::newRow("firmware, the largest file, usb") << 0 << int(PORT_USB) << int(MAX_SEND_FILE_SIZE)
                                                         << QStringList{};
        QTest::newRow("font, parallel") << 1 << int(PORT_PARALLEL) << 1500 << QStringList{};
        QTest::newRow("font, usb") << 1 << int(PORT_USB) << 1500 << QStringList{};
        QTest::newRow("font, serial") << 1 << int(PORT_SERIAL) << 2000 << QStringList{};
    }

    void aDownloadReachesThePrinterIntact()
    {
        QFETCH(int, dialogIndex);
        QFETCH(int, port);
        QFETCH(int, size);
        QFETCH(QStringList, progress);
        const DownloadDialog& d = *kDialogs[dialogIndex];
        const bool firmware = &d == &kVersion;
        rig::Bench bench;
        PlatSetTimeScale(0.05);
        sim::PrinterOptions options;
        options.awaitFirmware = firmware && port == PORT_USB;
        sim::Printer* printer = &bench.parallelPrinter();
        sim::SerialPrinter* serial = nullptr;
        if (port == PORT_USB)
            printer = &bench.usb(0, options).printer();
        if (port == PORT_SERIAL) {
            serial = &bench.serial(options);
            printer = &serial->printer();
        }
        const auto data = Pattern(size_t(size), 3);
        HWND dialog = Open(d);
        QVERIFY(PlatTestClick(dialog, port == PORT_USB ? d.usb : port == PORT_SERIAL ? d.serial : d.parallel));
        auto expected = firmware ? Bytes({}) : Bytes({0x1C, 0xAA, 0x0D});
        if (firmware && port == PORT_PARALLEL) {
            QVERIFY(PlatTestClick(dialog, IDC_DV_ENTER_DOWNLOAD));
            expected = Bytes({0x1C, 0xAA, 0x55, 0x01});
        }
        expected.insert(expected.end(), data.begin(), data.end());
        ChooseFile(dialog, d.chooser, bench.dir().writeFile("data.bin", data));
        sim::LineInfo lineAtTheEnd;
        gAfterReport = [&](HWND, WPARAM code) {
            if (serial != nullptr && code == STATUS_FILE_DONE)
                lineAtTheEnd = serial->currentLine();
        };
        QVERIFY(PlatTestClick(dialog, d.start));
        QVERIFY(!PlatTestEnabled(dialog, d.start));
        QVERIFY(PlatTestWaitFor(TransferEnded, 120000));
        QVERIFY(rig::WaitPortIdle(5000));

        QCOMPARE(gShown.front().code, WPARAM(STATUS_FILE_LENGTH));
        QCOMPARE(gShown.front().part0, "下载文件长度: " + std::to_string(size) + "字节 ");
        QCOMPARE(gShown.front().part1, std::string("正在下载中..."));
        if (!progress.isEmpty()) {
            std::vector<std::string> shown;
            for (const Shown& s : gShown)
                if (s.code == STATUS_FILE_PROGRESS)
                    shown.push_back(s.part1);
            std::vector<std::string> wanted;
            for (const QString& p : progress)
                wanted.push_back(p.toStdString());
            QCOMPARE(shown, wanted);
        }
        QCOMPARE(Part(dialog, 0), std::string("下载文件成功完成!"));
        QCOMPARE(Part(dialog, 1), std::string());
        QVERIFY(PlatTestEnabled(dialog, d.start));
        QVERIFY(MessageTexts().empty());

        QVERIFY(printer->waitForBytes(expected.size(), 10000ms));
        QVERIFY(printer->received() == expected);
        printer->flush(); // the download ends with the line
        const auto session = LastDownload(*printer);
        QCOMPARE(int(session.kind), int(firmware ? sim::DownloadKind::Firmware : sim::DownloadKind::Font));
        QCOMPARE(session.length, uint64_t(size));
        QCOMPARE(session.sha256, Sha256(data));
        if (serial != nullptr) {
            // The file went at 38400 baud with hardware flow. (The
            // preamble's 9600 cannot be seen here: a pseudo-terminal hands
            // the bytes over at once and the sender switches speed before
            // the printer reads them.)
            const auto chunks = serial->chunks();
            QVERIFY(!chunks.empty());
            QCOMPARE(chunks.back().line.baud, 38400u);
            QVERIFY(chunks.back().line.rtscts);
            // The user's settings were back before the success was shown.
            QCOMPARE(lineAtTheEnd.baud, 9600u);
            QVERIFY(!lineAtTheEnd.rtscts);
        }
    }

    void oneByteOverTheLimitIsRefused()
    {
        rig::Bench bench;
        const std::string path = bench.dir().writeFile("over.bin", Pattern(MAX_SEND_FILE_SIZE + 1));
        HWND dialog = Open(kVersion);
        ChooseFile(dialog, IDC_DV_SEL_FILE, path);
        QVERIFY(PlatTestClick(dialog, IDC_DV_SEND));
        // The engine's failure report, then the refusal.
        QCOMPARE(gShown.size(), size_t(1));
        QCOMPARE(gShown[0].code, WPARAM(STATUS_FILE_FAILED));
        QCOMPARE(gShown[0].part0, std::string("下载文件失败,请重试!"));
        QCOMPARE(Part(dialog, 0), std::string("下载失败！请重试"));
        QCOMPARE(MessageTexts(), std::vector<std::string>{"下载失败！请重试"});
        QVERIFY(PlatTestEnabled(dialog, IDC_DV_SEND));
        QVERIFY(bench.parallelPrinter().received().empty());
        QVERIFY(gCurrentPort.state != PORT_STATE_BUSY);
    }

    void anEmptyPathIsRefusedAndNothingIsSent()
    {
        for (const DownloadDialog* d : {&kVersion, &kFont}) {
            rig::Bench bench;
            PlatTestClearMessageBoxes();
            HWND dialog = Open(*d);
            QVERIFY(PlatTestClick(dialog, d->start));
            QCOMPARE(MessageTexts(), std::vector<std::string>{"请先选择下载文件！"});
            QCOMPARE(Part(dialog, 0), std::string("请先选择下载文件！"));
            QVERIFY(PlatTestEnabled(dialog, d->start));
            QVERIFY(bench.parallelPrinter().received().empty());
            QVERIFY(gShown.empty());
            PlatTestDestroyAll();
        }
    }

    void aStartClickedWhileASendHoldsThePortWaitsForItAndThenStarts()
    {
        rig::Bench bench;
        const auto firmware = Pattern(600, 4);
        const std::string path = bench.dir().writeFile("firmware.bin", firmware);
        HWND dialog = Open(kVersion);
        ChooseFile(dialog, IDC_DV_SEL_FILE, path);
        // The printer is busy for a while, well short of the writer's limit,
        // so "enter download state" still holds the port at the start.
        bench.parallelPort().setBusyPolls(LPT_BUSY_POLL_LIMIT / 16);
        QVERIFY(PlatTestClick(dialog, IDC_DV_ENTER_DOWNLOAD));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_BUSY));
        QVERIFY(PlatTestClick(dialog, IDC_DV_SEND));
        QVERIFY(PlatTestWaitFor(TransferEnded, 20000));
        QVERIFY(rig::WaitPortIdle(5000));
        QCOMPARE(gShown.back().code, WPARAM(STATUS_FILE_DONE));
        QVERIFY(MessageTexts().empty());
        auto expected = Bytes({0x1C, 0xAA, 0x55, 0x01});
        expected.insert(expected.end(), firmware.begin(), firmware.end());
        QCOMPARE(bench.parallelPrinter().received(), expected);
    }

    // ------------------------------------------------------------ font

    void aSerialPrinterThatDoesNotAcknowledgeFailsTheFont_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("minimumMs");
        // Three attempts of a read bounded at 250 ms, each followed by a
        // 50 ms pause (time scaled by 0.05). A wrong or short answer ends
        // the first read early; the two others time out.
        QTest::newRow("silent") << int(sim::AnswerMode::Silent) << 3 * (250 + 50);
        QTest::newRow("wrong") << int(sim::AnswerMode::Wrong) << 50 + 2 * (250 + 50);
        QTest::newRow("short") << int(sim::AnswerMode::Short) << 50 + 2 * (250 + 50);
    }

    void aSerialPrinterThatDoesNotAcknowledgeFailsTheFont()
    {
        QFETCH(int, mode);
        QFETCH(int, minimumMs);
        rig::Bench bench;
        sim::PrinterOptions options;
        options.preambleAnswer.mode = sim::AnswerMode(mode);
        auto& printer = bench.serial(options);
        PlatSetTimeScale(0.05);
        const std::string path = bench.dir().writeFile("font.bin", Pattern(500));
        HWND dialog = Open(kFont);
        QVERIFY(PlatTestClick(dialog, IDC_DF_SERIAL));
        ChooseFile(dialog, IDC_DF_SEL_FILE, path);
        sim::LineInfo lineAtFailure;
        gAfterReport = [&](HWND, WPARAM code) {
            if (code == STATUS_FILE_FAILED)
                lineAtFailure = printer.currentLine();
        };
        const auto start = std::chrono::steady_clock::now();
        QVERIFY(PlatTestClick(dialog, IDC_DF_SEND));
        QVERIFY(PlatTestWaitFor(TransferEnded, 20000));
        const auto elapsed = std::chrono::steady_clock::now() - start;
        QVERIFY(rig::WaitPortIdle(5000));
        QCOMPARE(gShown.back().code, WPARAM(STATUS_FILE_FAILED));
        QCOMPARE(Part(dialog, 0), std::string("下载文件失败,请重试!"));
        QCOMPARE(Part(dialog, 1), std::string());
        QVERIFY(PlatTestEnabled(dialog, IDC_DF_SEND));
        QVERIFY(elapsed >= std::chrono::milliseconds(minimumMs));
        // The user's settings were back before the failure was shown.
        QCOMPARE(lineAtFailure.baud, 9600u);
        QVERIFY(!lineAtFailure.rtscts);
        QCOMPARE(gComInfo.baud, BYTE(5));
        QCOMPARE(gComInfo.flow, BYTE(FLOW_NONE));
        // Only the preamble reached the printer, and no block was reported.
        QCOMPARE(printer.received(), Bytes({0x1C, 0xAA, 0x0D}));
        for (const Shown& s : gShown)
            QVERIFY(s.code != STATUS_FILE_PROGRESS);
    }

    // ------------------------------------------------------------ closing during a transfer

    void closingDuringATransferIsRefusedUntilItEnds_data()
    {
        QTest::addColumn<int>("dialogIndex");
        QTest::addColumn<bool>("closeBox");
        QTest::addColumn<bool>("stalled");
        QTest::newRow("firmware, exit button") << 0 << false << false;
        QTest::newRow("font, close box") << 1 << true << false;
        // A printer that takes nothing: the engine's stall rule ends it.
        QTest::newRow("firmware, stalled printer") << 0 << false << true;
    }

    void closingDuringATransferIsRefusedUntilItEnds()
    {
        QFETCH(int, dialogIndex);
        QFETCH(bool, closeBox);
        QFETCH(bool, stalled);
        const DownloadDialog& d = *kDialogs[dialogIndex];
        rig::Bench bench;
        auto& printer = bench.usb(0);
        if (stalled)
            PlatSetTimeScale(0.1); // writes give up after 300 ms without progress
        const auto data = Pattern(256 * 1024, 7); // more than the line holds
        HWND dialog = Open(d);
        QVERIFY(PlatTestClick(dialog, d.usb));
        ChooseFile(dialog, d.chooser, bench.dir().writeFile("data.bin", data));
        auto close = [&] { return closeBox ? PlatTestCloseBox(dialog) : PlatTestClick(dialog, d.exit); };
        // The printer takes nothing for now: the transfer is under way.
        printer.holdLine(true);
        QVERIFY(PlatTestClick(dialog, d.start));
        QVERIFY(close());
        QVERIFY(!PlatTestDialogEnded(dialog));
        QCOMPARE(Part(dialog, 0), std::string("正在下载，请等待下载结束"));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_BUSY));
        QVERIFY(gCurrentPort.handle != nullptr);

        if (!stalled)
            printer.holdLine(false);
        QVERIFY(PlatTestWaitFor(TransferEnded, 30000));
        if (stalled) {
            QCOMPARE(Part(dialog, 0), std::string("下载文件失败,请重试!"));
        } else {
            QCOMPARE(gShown.back().code, WPARAM(STATUS_FILE_DONE));
            const size_t preamble = &d == &kFont ? 3 : 0;
            QVERIFY(printer.waitForBytes(preamble + data.size(), 5000ms));
            const auto received = printer.received();
            QVERIFY(std::vector<uint8_t>(received.begin() + long(preamble), received.end()) == data);
        }

        QVERIFY(close());
        QVERIFY(PlatTestDialogEnded(dialog));
        QVERIFY(gCurrentPort.state != PORT_STATE_BUSY);
        QVERIFY(gCurrentPort.handle == nullptr);
        QCOMPARE(PlatTestPendingSends(), 0);
        QVERIFY(MessageTexts().empty());
        printer.holdLine(false);
    }

    // ------------------------------------------------------------ machine number

    void aLegalMachineNumberIsWrittenAsTyped_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::newRow("parallel, before any radio") << false;
        QTest::newRow("serial") << true;
    }

    void aLegalMachineNumberIsWrittenAsTyped()
    {
        QFETCH(bool, serial);
        rig::Bench bench;
        sim::Printer* printer = &bench.parallelPrinter();
        if (serial)
            printer = &bench.serial().printer();
        HWND dialog = Open(kPrnNum);
        if (serial)
            QVERIFY(PlatTestClick(dialog, IDC_DN_SERIAL));
        QVERIFY(PlatTestType(dialog, IDC_DN_NUMBER, "ABCdef123456"));
        QCOMPARE(Part(dialog, 0), std::string("已输入机器码: 12 个"));
        bool startEnabledInside = true;
        gAfterReport = [&](HWND hwnd, WPARAM code) {
            if (code == STATUS_CMDS_LENGTH)
                startEnabledInside = PlatTestEnabled(hwnd, IDC_DN_SEND);
        };
        QVERIFY(PlatTestClick(dialog, IDC_DN_SEND));
        QVERIFY(rig::WaitPortIdle(5000));
        QVERIFY(!startEnabledInside); // disabled from the send until the write is done
        QCOMPARE(gShown.size(), size_t(2));
        QCOMPARE(gShown[0].part0, std::string("正在发送机器码"));
        QCOMPARE(gShown[1].part0, std::string("已写入机器码!"));
        QVERIFY(PlatTestEnabled(dialog, IDC_DN_SEND));
        QCOMPARE(curButton, IDC_DN_SEND);
        QVERIFY(printer->waitForBytes(15, 5000ms));
        QCOMPARE(printer->received(), Bytes({0x1C, 0xAA, 0x1A, 0x41, 0x42, 0x43, 0x64, 0x65, 0x66, 0x31, 0x32, 0x33,
                                             0x34, 0x35, 0x36}));
        QCOMPARE(printer->state().machineNumber, std::string("ABCdef123456"));
        QVERIFY(MessageTexts().empty());
    }

    void anIllegalMachineNumberIsRefusedAndNothingSent_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("11 characters") << "ABCdef12345";
        QTest::newRow("13 characters") << "ABCdef1234567";
        QTest::newRow("a space") << "ABCdef 12345";
        QTest::newRow("a trailing space") << "ABCdef123456 ";
        QTest::newRow("a hyphen") << "ABC-def12345";
        QTest::newRow("a Chinese character") << "ABCdef1234中";
        QTest::newRow("empty") << "";
    }

    void anIllegalMachineNumberIsRefusedAndNothingSent()
    {
        QFETCH(QString, typed);
        rig::Bench bench;
        HWND dialog = Open(kPrnNum);
        if (!typed.isEmpty())
            QVERIFY(PlatTestType(dialog, IDC_DN_NUMBER, typed.toStdString()));
        QVERIFY(PlatTestClick(dialog, IDC_DN_SEND));
        QCOMPARE(MessageTexts(), std::vector<std::string>{"请输入合法的机器码！"});
        QCOMPARE(PlatTestMessageBoxes()[0].caption, std::string("Error"));
        QCOMPARE(Part(dialog, 0), std::string("请输入合法的机器码！"));
        QVERIFY(PlatTestEnabled(dialog, IDC_DN_SEND));
        QVERIFY(gShown.empty());
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_CLOSED));
        QVERIFY(bench.parallelPrinter().received().empty());
    }

    void theCountFollowsTheBoxInPrinterBytes()
    {
        rig::Bench bench;
        HWND dialog = Open(kPrnNum);
        QVERIFY(PlatTestType(dialog, IDC_DN_NUMBER, "12345"));
        QCOMPARE(Part(dialog, 0), std::string("已输入机器码: 5 个"));
        QVERIFY(PlatTestType(dialog, IDC_DN_NUMBER, "中"));
        QCOMPARE(Part(dialog, 0), std::string("已输入机器码: 7 个"));
        QVERIFY(PlatTestKey(dialog, Qt::Key_Backspace));
        QCOMPARE(Part(dialog, 0), std::string("已输入机器码: 5 个"));
    }

    void printWithAnEmptyBoxAsksThePrinterForItsNumber()
    {
        rig::Bench bench;
        HWND dialog = Open(kPrnNum);
        QVERIFY(PlatTestClick(dialog, IDC_DN_PRINT));
        QVERIFY(rig::WaitPortIdle(5000));
        QCOMPARE(bench.parallelPrinter().received(), Bytes({0x1C, 0xAA, 0x19}));
        QCOMPARE(Part(dialog, 0), std::string("已发送打印机器码命令!"));
        QCOMPARE(curButton, IDC_DN_PRINT);
        QCOMPARE(bench.parallelPrinter().state().machineNumberPrints, 1);
    }

    void aWriteThatFailsIsReportedAsAFailure_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("shown");
        QTest::newRow("write") << IDC_DN_SEND << "写机器码失败";
        QTest::newRow("print") << IDC_DN_PRINT << "打印机器码失败";
    }

    void aWriteThatFailsIsReportedAsAFailure()
    {
        QFETCH(int, button);
        QFETCH(QString, shown);
        rig::Bench bench;
        HWND dialog = Open(kPrnNum);
        QVERIFY(PlatTestType(dialog, IDC_DN_NUMBER, "ABCdef123456"));
        bench.parallelPort().setOffline(true); // the printer is gone
        QVERIFY(PlatTestClick(dialog, button));
        QVERIFY(rig::WaitPortIdle(5000));
        QCOMPARE(gShown.back().code, WPARAM(STATUS_CMDS_SENT));
        QCOMPARE(Part(dialog, 0), shown.toStdString());
        QVERIFY(PlatTestEnabled(dialog, IDC_DN_SEND));
        QVERIFY(bench.parallelPrinter().received().empty());
        // The parallel writer said why, in its own box.
        QCOMPARE(PlatTestMessageBoxes().size(), size_t(1));
        QCOMPARE(PlatTestMessageBoxes()[0].caption, std::string("display hex"));
    }

    void printWhileAWriteIsBeingSentDoesNothing()
    {
        rig::Bench bench;
        HWND dialog = Open(kPrnNum);
        QVERIFY(PlatTestType(dialog, IDC_DN_NUMBER, "000000000001"));
        bench.parallelPort().setBusyPolls(LPT_BUSY_POLL_LIMIT / 16);
        QVERIFY(PlatTestClick(dialog, IDC_DN_SEND));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_BUSY));
        QVERIFY(PlatTestClick(dialog, IDC_DN_PRINT));
        QVERIFY(rig::WaitPortIdle(20000));
        QCOMPARE(Part(dialog, 0), std::string("已写入机器码!"));
        QCOMPARE(bench.parallelPrinter().received().size(), size_t(15));
        // After it, a print goes out.
        QVERIFY(PlatTestClick(dialog, IDC_DN_PRINT));
        QVERIFY(rig::WaitPortIdle(5000));
        QCOMPARE(Part(dialog, 0), std::string("已发送打印机器码命令!"));
        QCOMPARE(bench.parallelPrinter().received().size(), size_t(18));
    }

    void closingWaitsForTheWriteAndThenReleasesThePort()
    {
        rig::Bench bench;
        HWND dialog = Open(kPrnNum);
        QVERIFY(PlatTestType(dialog, IDC_DN_NUMBER, "ZZZZZZ999999"));
        bench.parallelPort().setBusyPolls(LPT_BUSY_POLL_LIMIT / 16);
        QVERIFY(PlatTestClick(dialog, IDC_DN_SEND));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_BUSY));
        QVERIFY(PlatTestClick(dialog, IDC_DN_EXIT));
        QVERIFY(PlatTestDialogEnded(dialog));
        QVERIFY(gCurrentPort.state != PORT_STATE_BUSY);
        QCOMPARE(PlatTestPendingSends(), 0);
        QCOMPARE(gShown.back().code, WPARAM(STATUS_CMDS_SENT));
        QCOMPARE(bench.parallelPrinter().state().machineNumber, std::string("ZZZZZZ999999"));
        QVERIFY(hStatusBarDw == nullptr);
        QCOMPARE(int(openPORT), int(PORT_PARALLEL));
    }
};

PLAT_TEST_MAIN(TestDownload)
#include "tst_download.moc"
