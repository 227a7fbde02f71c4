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

#include <chrono>

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;

namespace {

// The controls each dialog has in the same role.
struct DownloadDialog {
    int templateId;
    DLGPROC proc;
    int parallel, usb, serial, text, start, exit, chooser;
};

const DownloadDialog kVersion{IDD_DOWN_VERSION, bDownVerFileDlgProc, IDC_DV_PARALLEL, IDC_DV_USB, IDC_DV_SERIAL,
                              IDC_DV_PATH, IDC_DV_SEND, IDC_DV_EXIT, IDC_DV_SEL_FILE};
const DownloadDialog kFont{IDD_DOWN_FONT, bDownFontFileDlgProc, IDC_DF_PARALLEL, IDC_DF_USB, IDC_DF_SERIAL,
                           IDC_DF_PATH, IDC_DF_SEND, IDC_DF_EXIT, IDC_DF_SEL_FILE};
const DownloadDialog kPrnNum{IDD_DOWN_PRN_NUM, bDownPrnNumDlgProc, IDC_DN_PARALLEL, IDC_DN_USB, IDC_DN_SERIAL,
                             IDC_DN_NUMBER, IDC_DN_SEND, IDC_DN_EXIT, 0};

// Each dialog's title and notes, and a port it fails to open: there is no
// printer on COM1 (its default device is missing) and none on USB.
struct Opening {
    const char* name;
    const DownloadDialog* dialog;
    const char* title;
    QStringList notes;
    bool usb;
    const char* message;
    const char* named;
};
const Opening kOpenings[] = {
    {"firmware, usb", &kVersion, "下载版本文件",
     {"并口开机即点\"进入下载状态\"按钮，再升级;", "U口直接点击\"更新版本\"按钮进行升级"}, true, "usb不在线或拨出!", "U口"},
    {"font, serial", &kFont, "下载字库文件", {"1) 选择下载接口", "2) 选定字库文件,按更新按钮开始下载"}, false,
     "串口被占用或有错误!", "串口:  9600bps,8位,无"},
    {"machine number, usb", &kPrnNum, "更新机器编号", {"请输入机器编号"}, true, "usb不在线或拨出!", "U口"},
};

// Every report the open dialog handled, in order, with what its status bar
// showed right after.
struct Shown {
    UINT message;
    WPARAM code;
    std::string part0, part1;
};
std::vector<Shown> gShown;
// Runs inside a report, after the dialog handled it.
std::function<void(HWND, WPARAM)> gAfterReport;
DLGPROC gRecordedProc = nullptr;

std::string Part(HWND dialog, int part)
{
    return PlatTestStatusText(dialog, IDC_DW_STATUSBAR, part);
}

INT_PTR CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    const INT_PTR result = gRecordedProc(hwnd, message, wParam, lParam);
    if (message == WM_SENDFILE_STATUS || message == WM_SENDCMDS_STATUS) {
        const bool closing = hStatusBarDw == nullptr;
        gShown.push_back({message, wParam, closing ? "" : Part(hwnd, 0), closing ? "" : Part(hwnd, 1)});
        if (gAfterReport)
            gAfterReport(hwnd, wParam);
    }
    return result;
}

HWND Open(const DownloadDialog& dialog)
{
    gShown.clear();
    gRecordedProc = dialog.proc;
    return PlatTestOpenDialog(MAKEINTRESOURCEA(dialog.templateId), nullptr, RecordingProc);
}

using rig::MessageTexts;

Bytes Pattern(size_t size, uint8_t seed = 0)
{
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>((i * 7 + seed) ^ (i >> 8));
    return bytes;
}

Bytes Cat(const Bytes& a, const Bytes& b)
{
    Bytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

void ChooseFile(HWND dialog, int chooser, const std::string& path)
{
    PlatTestFileChooserAnswer(path);
    QVERIFY(PlatTestClick(dialog, chooser));
}

bool TransferEnded()
{
    return !gShown.empty() && (gShown.back().code == STATUS_FILE_DONE || gShown.back().code == STATUS_FILE_FAILED);
}

const Bytes kEnterDownload{0x1C, 0xAA, 0x55, 0x01};
const Bytes kPreambleBytes{0x1C, 0xAA, 0x0D};

struct DownloadRow {
    const char* name;
    const DownloadDialog* dialog;
    int port;
    int size;
    QStringList progress; // checked when given, and when the preamble is not answered
    sim::AnswerMode answer; // of a serial printer to the font preamble
    int minimumMs;
    bool stalled;  // the printer takes nothing: the engine's stall rule ends it
    bool closeBox; // closed by the close box, else by the exit button
};

// Parallel firmware: "enter download state" before any radio, then the file.
// USB firmware: the printer was switched on for the update and the file goes
// out directly. A font: its preamble, then the file. A serial printer that
// does not acknowledge the preamble: three attempts of a read bounded at
// 250 ms, each followed by a 50 ms pause; a wrong or short answer ends the
// first read early, the two others time out.
const auto kOk = sim::AnswerMode::Correct;
const DownloadRow kDownloads[] = {
    {"firmware, parallel", &kVersion, PORT_PARALLEL, 1000,
     {"更新进度:25%", "更新进度:51%", "更新进度:76%", "更新进度:100%"}, kOk, 0, false, false},
    {"firmware, the largest file, usb", &kVersion, PORT_USB, int(MAX_SEND_FILE_SIZE), {}, kOk, 0, false, true},
    {"firmware, stalled usb printer", &kVersion, PORT_USB, 256 * 1024, {}, kOk, 0, true, false},
    {"font, parallel", &kFont, PORT_PARALLEL, 1500, {}, kOk, 0, false, true},
    {"font, usb", &kFont, PORT_USB, 1500, {}, kOk, 0, false, false},
    {"font, serial", &kFont, PORT_SERIAL, 2000, {}, kOk, 0, false, true},
    {"font, serial, silent", &kFont, PORT_SERIAL, 500, {}, sim::AnswerMode::Silent, 3 * 300, false, false},
    {"font, serial, wrong", &kFont, PORT_SERIAL, 500, {}, sim::AnswerMode::Wrong, 50 + 2 * 300, false, false},
    {"font, serial, short", &kFont, PORT_SERIAL, 500, {}, sim::AnswerMode::Short, 50 + 2 * 300, false, true},
};

} // namespace

class TestDownload : public QObject {
    Q_OBJECT

private slots:
    void init() { PlatTestRecordMessageBoxes(); PlatTestClearMessageBoxes(); }
    void cleanup() { gAfterReport = nullptr; PlatTestDestroyAll(); }

    void eachDialogOpensOnTheParallelPortAndNamesAPortThatFailsToOpen_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < 3; ++i)
            QTest::newRow(kOpenings[i].name) << i;
    }

    void eachDialogOpensOnTheParallelPortAndNamesAPortThatFailsToOpen()
    {
        QFETCH(int, row);
        const Opening& o = kOpenings[row];
        const bool usb = o.usb;
        const DownloadDialog& d = *o.dialog;
        rig::Bench bench;
        gCurrentPort.type = PORT_USB;
        gCurrentPort.state = PORT_STATE_IDLE;
        HWND dialog = Open(d);
        QCOMPARE(PlatTestWindowText(dialog), std::string(o.title));
        QStringList labels;
        for (const DlgItemTemplate& item : ResFindDialog(MAKEINTRESOURCEA(d.templateId))->items)
            if (std::string(item.cls) == "STATIC")
                labels << QString::fromUtf8(item.text);
        QCOMPARE(labels, o.notes);
        QVERIFY(PlatTestChecked(dialog, d.parallel));
        QVERIFY(!PlatTestChecked(dialog, d.usb) && !PlatTestChecked(dialog, d.serial));
        QCOMPARE(PlatTestText(dialog, d.text), std::string());
        QCOMPARE(Part(dialog, 0), std::string("请选择下载接口"));
        QCOMPARE(int(gCurrentPort.type), int(PORT_PARALLEL));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_CLOSED));
        // Part 0 ends at 2W/3, part 1 at W.
        RECT client{};
        GetClientRect(dialog, &client);
        int edges[2] = {};
        QCOMPARE(int(SendMessageA(hStatusBarDw, SB_GETPARTS, 2, reinterpret_cast<LPARAM>(edges))), 2);
        QCOMPARE(edges[0], 2 * client.right / 3);
        QCOMPARE(edges[1], int(client.right));
        // Firmware goes over the parallel port or USB only.
        if (&d == &kVersion)
            QVERIFY(!PlatTestEnabled(dialog, IDC_DV_SERIAL) && PlatTestEnabled(dialog, IDC_DV_ENTER_DOWNLOAD));

        // A port that fails to open is still named, and the start is enabled.
        EnableWindow(GetDlgItem(dialog, d.start), FALSE);
        QVERIFY(PlatTestClick(dialog, usb ? d.usb : d.serial));
        const std::string message = o.message + ("\n" + (usb ? rig::kNoUsbPrinter : rig::NoCom1Device(bench)));
        QCOMPARE(MessageTexts(), Texts{message});
        QCOMPARE(PlatTestMessageBoxes()[0].caption, std::string("Error"));
        QVERIFY(PlatTestMessageBoxes()[0].owner == dialog); // over the dialog
        QCOMPARE(Part(dialog, 0), std::string(o.named));
        QVERIFY(PlatTestEnabled(dialog, d.start));
        QVERIFY(PlatTestChecked(dialog, usb ? d.usb : d.serial));
        PlatTestClearMessageBoxes();
        if (&d == &kVersion) {
            // USB takes no "enter download state"; with no port open it
            // would ask for one and send nothing.
            QVERIFY(!PlatTestEnabled(dialog, IDC_DV_ENTER_DOWNLOAD));
            SendMessageA(dialog, WM_COMMAND, IDC_DV_ENTER_DOWNLOAD, 0);
            QCOMPARE(MessageTexts(), Texts{"请先选择一个打印端口"});
            QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_CLOSED));
            PlatTestClearMessageBoxes();
        }
        // The start tries the port again (the machine number does not: it
        // sends on the port as it is, and with none open does nothing).
        if (&d == &kPrnNum) {
            QVERIFY(PlatTestType(dialog, d.text, "ABCdef123456"));
            QVERIFY(PlatTestClick(dialog, d.start));
            QVERIFY(MessageTexts().empty());
        } else {
            ChooseFile(dialog, d.chooser, bench.dir().writeFile("f.bin", {1, 2, 3}));
            QVERIFY(PlatTestClick(dialog, d.start));
            QCOMPARE(MessageTexts(), Texts{message});
            QCOMPARE(Part(dialog, 0), std::string("打开端口失败!"));
        }
        QVERIFY(gShown.empty());
        QVERIFY(PlatTestEnabled(dialog, d.start));
        if (&d == &kVersion) {
            // A close while "enter download state" still holds the port (its
            // last report waits for this thread) waits for it.
            QVERIFY(PlatTestClick(dialog, d.parallel));
            bench.parallelPort().setBusyPolls(LPT_BUSY_POLL_LIMIT / 16);
            QVERIFY(PlatTestClick(dialog, IDC_DV_ENTER_DOWNLOAD));
            QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_BUSY));
            QVERIFY(PlatTestClick(dialog, d.exit));
            QVERIFY(PlatTestDialogEnded(dialog));
            QVERIFY(gCurrentPort.state != PORT_STATE_BUSY);
            QCOMPARE(PlatTestPendingSends(), 0);
        }
    }

    // Empty, or one byte over the limit: the failure says which and why.
    void aFileThatCannotGoIsRefusedAndNothingIsSent()
    {
        for (const DownloadDialog* d : {&kVersion, &kFont}) {
            rig::Bench bench;
            PlatTestClearMessageBoxes();
            HWND dialog = Open(*d);
            // A cancelled choice empties the path; the start asks for a file.
            const std::string path = bench.dir().writeFile("over.bin", Pattern(MAX_SEND_FILE_SIZE + 1));
            ChooseFile(dialog, d->chooser, path);
            QCOMPARE(PlatTestText(dialog, d->text), path);
            PlatTestFileChooserCancel();
            QVERIFY(PlatTestClick(dialog, d->chooser));
            QCOMPARE(PlatTestText(dialog, d->text), std::string());
            QVERIFY(PlatTestClick(dialog, d->start));
            QCOMPARE(MessageTexts(), Texts{"请先选择下载文件！"});
            QCOMPARE(Part(dialog, 0), std::string("请先选择下载文件！"));
            QVERIFY(PlatTestEnabled(dialog, d->start));
            QVERIFY(gShown.empty());
            // An empty file is refused before anything, a font's preamble
            // too, goes out: it would otherwise read as a download done.
            PlatTestClearMessageBoxes();
            const std::string empty = bench.dir().writeFile("empty.bin", {});
            ChooseFile(dialog, d->chooser, empty);
            QVERIFY(PlatTestClick(dialog, d->start));
            QVERIFY(gShown.empty());
            QCOMPARE(MessageTexts(), Texts{"下载失败！请重试\n文件为空\n" + empty});
            QCOMPARE(PlatTestMessageBoxes()[0].caption, std::string("Error"));
            QCOMPARE(Part(dialog, 0), std::string("下载失败！请重试"));
            QVERIFY(PlatTestEnabled(dialog, d->start));
            QVERIFY(bench.parallelPrinter().received().empty());
            // One byte over the limit: the engine's failure report, then the
            // refusal saying how large the file is.
            PlatTestClearMessageBoxes();
            ChooseFile(dialog, d->chooser, path);
            QVERIFY(PlatTestClick(dialog, d->start));
            QCOMPARE(gShown.size(), size_t(1));
            QCOMPARE(gShown[0].code, WPARAM(STATUS_FILE_FAILED));
            QCOMPARE(gShown[0].part0, std::string("下载文件失败,请重试!"));
            QCOMPARE(Part(dialog, 0), std::string("下载失败！请重试"));
            QCOMPARE(MessageTexts(),
                     Texts{"下载失败！请重试\n文件超过 5 MB（5242881 字节，最多 5242880 字节）\n" + path});
            QVERIFY(PlatTestEnabled(dialog, d->start));
            QVERIFY(gCurrentPort.state != PORT_STATE_BUSY);
            // Of a font, only the preamble went out, before the file was measured.
            QVERIFY(bench.parallelPrinter().received() == (d == &kFont ? kPreambleBytes : Bytes{}));
            PlatTestDestroyAll();
        }
    }

    void aDownloadReachesThePrinterIntact_data()
    {
        QTest::addColumn<int>("row");
        for (size_t i = 0; i < std::size(kDownloads); ++i)
            QTest::newRow(kDownloads[i].name) << int(i);
    }

    // A transfer from the start to the close, which is refused while the
    // transfer runs.
    void aDownloadReachesThePrinterIntact()
    {
        QFETCH(int, row);
        const DownloadRow& r = kDownloads[row];
        const DownloadDialog& d = *r.dialog;
        const bool firmware = &d == &kVersion;
        const bool succeeds = r.answer == sim::AnswerMode::Correct && !r.stalled;
        rig::Bench bench;
        PlatSetTimeScale(0.05); // a stalled write gives up after 150 ms without progress
        sim::PrinterOptions options;
        options.awaitFirmware = firmware && r.port == PORT_USB;
        options.preambleAnswer.mode = r.answer;
        sim::SerialPrinter* serial = r.port == PORT_SERIAL ? &bench.serial(options) : nullptr;
        sim::UsbPrinter* usb = r.port == PORT_USB ? &bench.usb(0, options) : nullptr;
        sim::Printer* printer = serial ? &serial->printer() : usb ? &usb->printer() : &bench.parallelPrinter();
        const auto data = Pattern(size_t(r.size), 3);
        HWND dialog = Open(d);
        ChooseFile(dialog, d.chooser, bench.dir().writeFile("data.bin", data));
        Bytes expected = firmware ? Bytes{} : kPreambleBytes;
        if (usb != nullptr) {
            QVERIFY(PlatTestClick(dialog, d.usb));
            QCOMPARE(Part(dialog, 0), std::string("U口"));
        } else if (serial != nullptr) {
            QVERIFY(PlatTestClick(dialog, d.serial));
        } else if (firmware) {
            // The printer is busy for a while, well short of the writer's
            // limit, and the command's last report waits for this thread:
            // "enter download state" still holds the port at the start.
            bench.parallelPort().setBusyPolls(LPT_BUSY_POLL_LIMIT / 16);
            QVERIFY(PlatTestClick(dialog, IDC_DV_ENTER_DOWNLOAD));
            QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_BUSY));
            expected = kEnterDownload;
        }
        expected = Cat(expected, data);
        sim::LineInfo lineAtTheEnd;
        gAfterReport = [&](HWND, WPARAM code) {
            if (serial != nullptr && (code == STATUS_FILE_DONE || code == STATUS_FILE_FAILED))
                lineAtTheEnd = serial->currentLine();
        };
        auto close = [&] { return r.closeBox ? PlatTestCloseBox(dialog) : PlatTestClick(dialog, d.exit); };
        if (r.stalled)
            usb->holdLine(true); // the printer takes nothing
        size_t first = gShown.size();
        const auto started = std::chrono::steady_clock::now();
        QVERIFY(PlatTestClick(dialog, d.start));
        QVERIFY(!PlatTestEnabled(dialog, d.start));
        // Whatever the sending thread meets, its final report waits for this
        // thread: the transfer is under way.
        QVERIFY(close());
        QVERIFY(!PlatTestDialogEnded(dialog));
        QCOMPARE(Part(dialog, 0), std::string("正在下载，请等待下载结束"));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_BUSY));
        // Another port radio meanwhile is cleared and changes nothing. (The
        // record itself is the sending thread's now: not read here.)
        const int other = r.port == PORT_PARALLEL ? d.usb : d.parallel;
        QVERIFY(PlatTestClick(dialog, other));
        QVERIFY(!PlatTestChecked(dialog, other));
        QCOMPARE(int(openPORT), r.port);
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_BUSY));
        QCOMPARE(Part(dialog, 0), std::string("正在下载，请等待下载结束"));
        QVERIFY(PlatTestWaitFor(TransferEnded, 120000));
        // A lower bound only: the serial printer was asked three times.
        QVERIFY(std::chrono::steady_clock::now() - started >= std::chrono::milliseconds(r.minimumMs));
        QVERIFY(rig::WaitPortIdle(5000));

        if (firmware && r.port == PORT_PARALLEL) {
            // The start waited for the command to end; its reports are not
            // this dialog's business.
            QCOMPARE(gShown[first].code, WPARAM(STATUS_CMDS_SENT));
            QCOMPARE(gShown[first++].part0, std::string("请选择下载接口"));
        }
        QCOMPARE(gShown[first].code, WPARAM(STATUS_FILE_LENGTH));
        QCOMPARE(gShown[first].part0, "下载文件长度: " + std::to_string(r.size) + "字节 ");
        QCOMPARE(gShown[first].part1, std::string("正在下载中..."));
        QStringList shown;
        for (const Shown& s : gShown)
            if (s.code == STATUS_FILE_PROGRESS)
                shown << QString::fromStdString(s.part1);
        if (r.answer != sim::AnswerMode::Correct)
            QCOMPARE(shown, r.progress);
        else if (!r.progress.isEmpty())
            QVERIFY2(rig::PacedFrom(shown, {r.progress}), qPrintable(shown.join(' ')));
        QCOMPARE(gShown.back().code, WPARAM(succeeds ? STATUS_FILE_DONE : STATUS_FILE_FAILED));
        QCOMPARE(Part(dialog, 0), std::string(succeeds ? "下载文件成功完成!" : "下载文件失败,请重试!"));
        QCOMPARE(Part(dialog, 1), std::string());
        QVERIFY(PlatTestEnabled(dialog, d.start));

        if (r.answer != sim::AnswerMode::Correct) { // only the preamble reached the printer
            QCOMPARE(printer->received(), kPreambleBytes);
        } else if (succeeds) {
            QVERIFY(printer->waitForBytes(expected.size(), 10000ms));
            QVERIFY(printer->received() == expected);
        }
        if (serial != nullptr) {
            // The file went at 38400 baud with hardware flow. (The preamble's
            // 9600 cannot be seen: a pseudo-terminal hands the bytes over at
            // once and the sender switches speed before the printer reads them.)
            if (succeeds) {
                const auto chunks = serial->chunks();
                QVERIFY(!chunks.empty());
                QCOMPARE(chunks.back().line.baud, 38400u);
                QVERIFY(chunks.back().line.rtscts);
            }
            // The user's settings were back before the end was shown.
            QCOMPARE(lineAtTheEnd.baud, 9600u);
            QVERIFY(!lineAtTheEnd.rtscts);
            QCOMPARE(gComInfo.baud, BYTE(5));
            QCOMPARE(gComInfo.flow, BYTE(FLOW_NONE));
        }
        if (firmware) { // the parallel port takes "enter download state" again
            QVERIFY(PlatTestClick(dialog, d.parallel));
            QCOMPARE(Part(dialog, 0), std::string("并口"));
            QVERIFY(PlatTestEnabled(dialog, IDC_DV_ENTER_DOWNLOAD));
        }

        QVERIFY(close());
        QVERIFY(PlatTestDialogEnded(dialog));
        QVERIFY(gCurrentPort.state != PORT_STATE_BUSY);
        QVERIFY(gCurrentPort.handle == nullptr);
        QCOMPARE(PlatTestPendingSends(), 0);
        QVERIFY(MessageTexts().empty());
        if (r.stalled)
            usb->holdLine(false);
    }

    // Written, printed, failing when the printer is gone, and waited for at the close.
    void aMachineNumberIsWrittenPrintedAndTheCloseWaitsForItsWrite()
    {
        rig::Bench bench;
        sim::Printer& printer = bench.parallelPrinter();
        HWND dialog = Open(kPrnNum);
        const std::string number = "ABCdef123456";
        QVERIFY(PlatTestType(dialog, IDC_DN_NUMBER, number));
        QCOMPARE(Part(dialog, 0), std::string("已输入机器码: 12 个"));
        bool startEnabledInside = true;
        gAfterReport = [&](HWND hwnd, WPARAM code) {
            if (code == STATUS_CMDS_LENGTH)
                startEnabledInside = PlatTestEnabled(hwnd, IDC_DN_SEND);
        };
        QVERIFY(PlatTestClick(dialog, IDC_DN_SEND));
        // Its last report waits for this thread: the write holds the
        // port, and a print meanwhile does nothing.
        QVERIFY(PlatTestClick(dialog, IDC_DN_PRINT));
        QVERIFY(rig::WaitPortIdle(5000));
        QVERIFY(!startEnabledInside); // disabled from the send until the write is done
        QCOMPARE(gShown.size(), size_t(2));
        QCOMPARE(gShown[0].part0, std::string("正在发送机器码"));
        QCOMPARE(gShown[1].part0, std::string("已写入机器码!"));
        QVERIFY(PlatTestEnabled(dialog, IDC_DN_SEND));
        const Bytes written = Cat({0x1C, 0xAA, 0x1A}, Bytes(number.begin(), number.end()));
        QCOMPARE(printer.received(), written);
        // The count follows the box as it shrinks too.
        QVERIFY(PlatTestFocus(dialog, IDC_DN_NUMBER));
        QVERIFY(PlatTestKey(dialog, Qt::Key_Backspace));
        QCOMPARE(Part(dialog, 0), std::string("已输入机器码: 11 个"));
        // The print asks the printer for its number, whatever the box holds.
        SetDlgItemTextA(dialog, IDC_DN_NUMBER, "");
        QVERIFY(PlatTestClick(dialog, IDC_DN_PRINT));
        QVERIFY(rig::WaitPortIdle(5000));
        QCOMPARE(Part(dialog, 0), std::string("已发送打印机器码命令!"));
        const Bytes printed = Cat(written, {0x1C, 0xAA, 0x19});
        QCOMPARE(printer.received(), printed);
        QVERIFY(MessageTexts().empty());

        // A write or print that moved nothing is a failure; the parallel
        // writer says why in its own box.
        SetDlgItemTextA(dialog, IDC_DN_NUMBER, number.c_str());
        for (int button : {IDC_DN_SEND, IDC_DN_PRINT}) {
            bench.parallelPort().setOffline(true);
            QVERIFY(PlatTestClick(dialog, button));
            QVERIFY(rig::WaitPortIdle(5000));
            QCOMPARE(gShown.back().code, WPARAM(STATUS_CMDS_SENT));
            QCOMPARE(Part(dialog, 0), std::string(button == IDC_DN_SEND ? "写机器码失败" : "打印机器码失败"));
            QVERIFY(PlatTestEnabled(dialog, IDC_DN_SEND));
            QCOMPARE(PlatTestMessageBoxes().size(), size_t(1));
            QCOMPARE(PlatTestMessageBoxes()[0].caption, std::string("display hex"));
            PlatTestClearMessageBoxes();
            bench.parallelPort().setOffline(false);
        }

        // The close waits for a write under way to go out whole, then
        // releases the port. Nothing went out while the printer was offline.
        const std::string last = "ZZZZZZ999999";
        SetDlgItemTextA(dialog, IDC_DN_NUMBER, last.c_str());
        bench.parallelPort().setBusyPolls(LPT_BUSY_POLL_LIMIT / 16);
        QVERIFY(PlatTestClick(dialog, IDC_DN_SEND));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_BUSY));
        QVERIFY(PlatTestClick(dialog, IDC_DN_EXIT));
        QVERIFY(PlatTestDialogEnded(dialog));
        QVERIFY(gCurrentPort.state != PORT_STATE_BUSY && gCurrentPort.handle == nullptr);
        QCOMPARE(PlatTestPendingSends(), 0);
        QCOMPARE(gShown.back().code, WPARAM(STATUS_CMDS_SENT));
        QVERIFY(hStatusBarDw == nullptr);
        QCOMPARE(printer.received(), Cat(printed, Cat({0x1C, 0xAA, 0x1A}, Bytes(last.begin(), last.end()))));
    }

    // A USB printer pulled out and plugged back in: the machine number's
    // write that finds it gone fails, and the next write reaches the printer
    // on the port chosen before. (Firmware and font starts open their port
    // anew every time.)
    void aPrinterPluggedBackInIsReachedWithoutChoosingItsPortAgain()
    {
        rig::Bench bench;
        const std::string number = "ABCdef123456";
        const Bytes written = Cat({0x1C, 0xAA, 0x1A}, Bytes(number.begin(), number.end()));
        sim::UsbPrinter* printer = &bench.usb(0);
        HWND dialog = Open(kPrnNum);
        QVERIFY(PlatTestClick(dialog, kPrnNum.usb));
        QVERIFY(PlatTestType(dialog, IDC_DN_NUMBER, number));
        QVERIFY(PlatTestClick(dialog, IDC_DN_SEND));
        QVERIFY(rig::WaitPortIdle(5000));
        QVERIFY(printer->waitForBytes(written.size(), 5000ms));

        bench.unplug();
        QVERIFY(PlatTestClick(dialog, IDC_DN_SEND));
        QVERIFY(rig::WaitPortIdle(10000));
        QCOMPARE(Part(dialog, 0), std::string("写机器码失败"));
        QVERIFY(gCurrentPort.handle == nullptr);

        printer = &bench.usb(0);
        QVERIFY(PlatTestClick(dialog, IDC_DN_SEND));
        QVERIFY(rig::WaitPortIdle(5000));
        QCOMPARE(Part(dialog, 0), std::string("已写入机器码!"));
        QVERIFY(printer->waitForBytes(written.size(), 5000ms));
        QCOMPARE(printer->received(), written);
        QVERIFY(MessageTexts().empty());
    }

    void anIllegalMachineNumberIsRefusedAndNothingSent_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("count"); // in printer bytes: a Chinese character is two
        QTest::newRow("11 characters") << "ABCdef12345" << 11;
        QTest::newRow("13 characters") << "ABCdef1234567" << 13;
        QTest::newRow("a space") << "ABCdef 12345" << 12;
        QTest::newRow("a trailing space") << "ABCdef123456 " << 13;
        QTest::newRow("a hyphen") << "ABC-def12345" << 12;
        QTest::newRow("a Chinese character") << "ABCdef1234中" << 12;
        QTest::newRow("empty") << "" << -1;
    }

    void anIllegalMachineNumberIsRefusedAndNothingSent()
    {
        QFETCH(QString, typed);
        QFETCH(int, count);
        rig::Bench bench;
        HWND dialog = Open(kPrnNum);
        if (!typed.isEmpty()) {
            QVERIFY(PlatTestType(dialog, IDC_DN_NUMBER, typed.toStdString()));
            QCOMPARE(Part(dialog, 0), "已输入机器码: " + std::to_string(count) + " 个");
        }
        QVERIFY(PlatTestClick(dialog, IDC_DN_SEND));
        QCOMPARE(MessageTexts(), Texts{"请输入合法的机器码！\n需要 12 个字符，字母和数字"});
        QCOMPARE(PlatTestMessageBoxes()[0].caption, std::string("Error"));
        QCOMPARE(Part(dialog, 0), std::string("请输入合法的机器码！"));
        QVERIFY(PlatTestEnabled(dialog, IDC_DN_SEND));
        QVERIFY(gShown.empty());
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_CLOSED));
        QVERIFY(bench.parallelPrinter().received().empty());
    }
};

PLAT_TEST_MAIN_WITH(TestDownload, ResRegister)
#include "tst_download.moc"
