// The firmware, font and machine-number dialogs driven as a technician
// drives them, against the virtual printer: port choice, the file chooser,
// the transfers and their reports, the serial font handshake, the machine
// number's checks, and closing while a transfer runs.
#include "port/port.h"
#include "res/resource.h"
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
    int parallel, usb, serial, text, start, exit;
};

const DownloadDialog kVersion{"firmware", IDD_DOWN_VERSION, bDownVerFileDlgProc, IDC_DV_PARALLEL, IDC_DV_USB,
                              IDC_DV_SERIAL, IDC_DV_PATH, IDC_DV_SEND, IDC_DV_EXIT};
const DownloadDialog kFont{"font", IDD_DOWN_FONT, bDownFontFileDlgProc, IDC_DF_PARALLEL, IDC_DF_USB,
                           IDC_DF_SERIAL, IDC_DF_PATH, IDC_DF_SEND, IDC_DF_EXIT};
const DownloadDialog kPrnNum{"machine number", IDD_DOWN_PRN_NUM, bDownPrnNumDlgProc, IDC_DN_PARALLEL, IDC_DN_USB,
                             IDC_DN_SERIAL, IDC_DN_NUMBER, IDC_DN_SEND, IDC_DN_EXIT};
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

std::vector<std::string> MessageTexts()
{
    std::vector<std::string> texts;
    for (const auto& box : PlatTestMessageBoxes())
        texts.push_back(box.text);
    return texts;
}

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
        QCOMPARE(PlatTestWindowText(version), std::string("下载版本文件"));
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
        std::string partWhenTheBoxShowed;
        QVERIFY(PlatTestClick(dialog, usb ? d.usb : d.serial));
        QCOMPARE(MessageTexts(), std::vector<std::string>{message.toStdString()});
        QCOMPARE(PlatTestMessageBoxes()[0].caption, std::string("Error"));
        QCOMPARE(Part(dialog, 0), named.toStdString());
        QVERIFY(PlatTestEnabled(dialog, d.start));
        QVERIFY(PlatTestChecked(dialog, usb ? d.usb : d.serial));
    }

    void cancellingTheChooserEmptiesThePath()
    {
        for (const DownloadDialog* d : {&kVersion, &kFont}) {
            rig::Bench bench;
            HWND dialog = Open(*d);
            const int chooser = d == &kVersion ? IDC_DV_SEL_FILE : IDC_DF_SEL_FILE;
            const std::string path = bench.dir().writeFile("f.bin", {1, 2, 3});
            ChooseFile(dialog, chooser, path);
            QCOMPARE(PlatTestText(dialog, d->text), path);
            PlatTestFileChooserCancel();
            QVERIFY(PlatTestClick(dialog, chooser));
            QCOMPARE(PlatTestText(dialog, d->text), std::string());
            PlatTestDestroyAll();
        }
    }

    void progressOfOneHundredShowsAPercentSign()
    {
        rig::Bench bench;
        HWND dialog = Open(kVersion);
        SendMessageA(dialog, WM_SENDFILE_STATUS, STATUS_FILE_PROGRESS, 100);
        QCOMPARE(Part(dialog, 1), std::string("更新进度:100%"));
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

    void firmwareReachesThePrinterIntact_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QStringList>("progress");
        QTest::newRow("1000 bytes") << 1000 << QStringList{"更新进度:25%", "更新进度:51%", "更新进度:76%",
                                                          "更新进度:100%"};
        QTest::newRow("the largest file") << int(MAX_SEND_FILE_SIZE) << QStringList{};
    }

    void firmwareReachesThePrinterIntact()
    {
        QFETCH(int, size);
        QFETCH(QStringList, progress);
        rig::Bench bench;
        const auto firmware = Pattern(size_t(size), 3);
        const std::string path = bench.dir().writeFile("firmware.bin", firmware);
        HWND dialog = Open(kVersion);
        QVERIFY(PlatTestClick(dialog, IDC_DV_PARALLEL));
        QVERIFY(PlatTestClick(dialog, IDC_DV_ENTER_DOWNLOAD));
        ChooseFile(dialog, IDC_DV_SEL_FILE, path);
        QVERIFY(PlatTestClick(dialog, IDC_DV_SEND));
        QVERIFY(PlatTestWaitFor(TransferEnded, 60000));
        QVERIFY(rig::WaitPortIdle(5000));

        QCOMPARE(gShown.front().code, WPARAM(STATUS_FILE_LENGTH));
        QCOMPARE(gShown.front().part0, "下载文件长度: " + std::to_string(size) + "字节 ");
        QCOMPARE(gShown.front().part1, std::string("正在下载中..."));
        if (!progress.isEmpty()) {
            std::vector<std::string> shown;
            for (const Shown& s : gShown)
                if (s.code == STATUS_FILE_PROGRESS)
                    shown.push_back(s.part1);
            std::vector<std::string> expected;
            for (const QString& p : progress)
                expected.push_back(p.toStdString());
            QCOMPARE(shown, expected);
        }
        QCOMPARE(Part(dialog, 0), std::string("下载文件成功完成!"));
        QCOMPARE(Part(dialog, 1), std::string());
        QVERIFY(PlatTestEnabled(dialog, IDC_DV_SEND));
        QVERIFY(MessageTexts().empty());

        auto& printer = bench.parallelPrinter();
        printer.flush(); // the download ends with the line
        const auto session = LastDownload(printer);
        QCOMPARE(int(session.kind), int(sim::DownloadKind::Firmware));
        QCOMPARE(session.length, uint64_t(size));
        QCOMPARE(session.sha256, Sha256(firmware));
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
        bench.parallelPort().setBusyPolls(LPT_BUSY_POLL_LIMIT / 2);
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

    void aStartClickedRightAfterTheFinalReportStartsTheNextFile()
    {
        rig::Bench bench;
        PlatSetTimeScale(0.05);
        const auto first = Pattern(700, 1);
        const auto second = Pattern(900, 2);
        const std::string firstPath = bench.dir().writeFile("first.bin", first);
        const std::string secondPath = bench.dir().writeFile("second.bin", second);
        HWND dialog = Open(kVersion);
        QVERIFY(PlatTestClick(dialog, IDC_DV_ENTER_DOWNLOAD));
        ChooseFile(dialog, IDC_DV_SEL_FILE, firstPath);
        // Right after the final report was handled, while the sending thread
        // still holds the port, the technician starts the next file.
        gAfterReport = [&](HWND hwnd, WPARAM code) {
            if (code != STATUS_FILE_DONE || gAfterReport == nullptr)
                return;
            gAfterReport = nullptr;
            PlatTestFileChooserAnswer(secondPath);
            PlatTestClick(hwnd, IDC_DV_SEL_FILE);
            QTimer::singleShot(0, [hwnd] { PlatTestClick(hwnd, IDC_DV_SEND); });
        };
        QVERIFY(PlatTestClick(dialog, IDC_DV_SEND));
        QVERIFY(PlatTestWaitFor(
            [] {
                int done = 0;
                for (const Shown& s : gShown)
                    done += s.code == STATUS_FILE_DONE;
                return done == 2;
            },
            20000));
        QVERIFY(rig::WaitPortIdle(5000));
        QVERIFY(MessageTexts().empty());
        for (const Shown& s : gShown)
            QVERIFY(s.code != STATUS_FILE_FAILED);
        auto expected = Bytes({0x1C, 0xAA, 0x55, 0x01});
        expected.insert(expected.end(), first.begin(), first.end());
        expected.insert(expected.end(), second.begin(), second.end());
        QCOMPARE(bench.parallelPrinter().received(), expected);
    }
};

PLAT_TEST_MAIN(TestDownload)
#include "tst_download.moc"
