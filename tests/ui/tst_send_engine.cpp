// The send engine against the virtual printer: what reaches the printer, the
// reports and their order, refusals, pauses, the serial font handshake, and
// ports that accept nothing.
#include "port/port.h"
#include "send/send.h"
#include "ui/support/printer_rig.h"

#include <chrono>
#include <cstring>
#include <numeric>

using namespace std::chrono_literals;

namespace {

std::vector<uint8_t> Pattern(size_t size)
{
    std::vector<uint8_t> bytes(size);
    // Printable text, so the printer decodes it as text and nothing else.
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>('A' + i % 26);
    return bytes;
}

BOOL SendText(HWND hwnd, const char* text, WORD flags)
{
    return SendDataToPrn(hwnd, text, static_cast<DWORD>(std::strlen(text)), flags);
}

BOOL SendFile(HWND hwnd, const std::string& path, WORD flags)
{
    return SendDataToPrn(hwnd, path.c_str(), static_cast<DWORD>(path.size() + 1), flags);
}

// A serial printer that takes nothing (its line fills and then holds), and a
// 256 KiB file send to it under way.
sim::SerialPrinter& StartFileSendToAHeldSerialPrinter(rig::Bench& bench, rig::ReportWindow& w, WORD repeat)
{
    auto& printer = bench.serial();
    printer.holdLine(true);
    const std::string path = bench.dir().writeFile("f", Pattern(256 * 1024));
    if (!OpenPorts(PORT_SERIAL) || !SendFile(w.hwnd(), path, SEND_MODE_FILE | repeat))
        qFatal("no send to the held printer");
    return printer;
}

} // namespace

class TestSendEngine : public QObject {
    Q_OBJECT

private slots:
    void init() { PlatTestRecordMessageBoxes(); }
    void cleanup() { PlatTestDestroyAll(); }

    void typedHexGoesOutOnceWithLengthThenCount()
    {
        rig::Bench bench;
        auto& printer = bench.serial();
        QVERIFY(OpenPorts(PORT_SERIAL));
        rig::ReportWindow w;

        QVERIFY(SendText(w.hwnd(), "1B 40 0A", SEND_MODE_CMDS | SEND_HEX | SEND_ONCE));
        QVERIFY(rig::WaitPortIdle(5000));
        QVERIFY(printer.waitForBytes(3, 2000ms));
        QCOMPARE(printer.received(), (std::vector<uint8_t>{0x1B, 0x40, 0x0A}));
        QCOMPARE(w.reports().size(), size_t(2));
        QCOMPARE(w.reports()[0].code, WPARAM(STATUS_CMDS_LENGTH));
        QCOMPARE(w.reports()[0].value, LPARAM(3));
        QCOMPARE(w.reports()[1].code, WPARAM(STATUS_CMDS_SENT));
        QCOMPARE(w.reports()[1].value, LPARAM(3));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_IDLE));
        QVERIFY(gCurOutputBuf.pData == nullptr);
    }

    void refusalsChangeNothing()
    {
        rig::Bench bench;
        rig::ReportWindow w;
        // A serial port without a handle (never opened) is refused.
        gCurrentPort.type = PORT_SERIAL;
        QVERIFY(!SendText(w.hwnd(), "1B", SEND_MODE_CMDS | SEND_HEX | SEND_ONCE));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_CLOSED));

        QVERIFY(OpenPorts(PORT_PARALLEL));
        // No mode, or a mode that is not one of the four.
        QVERIFY(!SendText(w.hwnd(), "1B", SEND_HEX | SEND_ONCE));
        QVERIFY(!SendText(w.hwnd(), "1B", 0x30 | SEND_ONCE));
        // Empty memory data.
        QVERIFY(!SendDataToPrn(w.hwnd(), "", 0, SEND_MODE_CMDS | SEND_ONCE));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_IDLE));
        QVERIFY(w.reports().empty());
    }

    void secondSendWhileBusyIsRefusedAndTheFirstGoesOn()
    {
        rig::Bench bench;
        QVERIFY(OpenPorts(PORT_PARALLEL));
        rig::ReportWindow w;

        QVERIFY(SendText(w.hwnd(), "AB", SEND_MODE_CMDS | SEND_TEXT | SEND_LOOP));
        QVERIFY(PlatTestWaitFor([&] { return w.values(WM_SENDCMDS_STATUS, STATUS_CMDS_SENT).size() >= 2; }, 5000));
        QVERIFY(!SendText(w.hwnd(), "CD", SEND_MODE_CMDS | SEND_TEXT | SEND_ONCE));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_BUSY));
        QVERIFY(PlatTestWaitFor([&] { return w.values(WM_SENDCMDS_STATUS, STATUS_CMDS_SENT).size() >= 3; }, 5000));

        rig::RequestStop();
        QVERIFY(rig::WaitPortIdle(5000));
        QCOMPARE(gStopSendFlag, LONG(0)); // the thread that acted on it cleared it
        const auto received = bench.parallelPrinter().received();
        QVERIFY(received.size() >= 6);
        for (size_t i = 0; i < received.size(); ++i)
            QCOMPARE(received[i], uint8_t(i % 2 == 0 ? 'A' : 'B'));
    }

    void fileOfExactlyTheLimitIsAcceptedAndOneByteMoreRefused()
    {
        rig::Bench bench;
        QVERIFY(OpenPorts(PORT_PARALLEL));
        rig::ReportWindow w;
        const std::string tooLarge = bench.dir().writeFile("big", std::vector<uint8_t>(MAX_SEND_FILE_SIZE + 1, 'x'));

        QVERIFY(!SendFile(w.hwnd(), tooLarge, SEND_MODE_FILE | SEND_ONCE));
        QCOMPARE(w.reports().size(), size_t(1));
        QCOMPARE(w.reports()[0].code, WPARAM(STATUS_FILE_FAILED));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_IDLE));
        QVERIFY(gCurOutputBuf.hFile == nullptr);

        w.clear();
        const std::string limit = bench.dir().writeFile("limit", std::vector<uint8_t>(MAX_SEND_FILE_SIZE, 'x'));
        QVERIFY(SendFile(w.hwnd(), limit, SEND_MODE_FILE | SEND_ONCE));
        QCOMPARE(w.values(WM_SENDFILE_STATUS, STATUS_FILE_LENGTH), std::vector<LPARAM>{LPARAM(MAX_SEND_FILE_SIZE)});
        QVERIFY(w.waitFor(WM_SENDFILE_STATUS, STATUS_FILE_PROGRESS, 5000));
        // Closing the dialog ends the pass at its next block.
        StopSendAndWait();
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_IDLE));
        QVERIFY(w.has(WM_SENDFILE_STATUS, STATUS_FILE_FAILED));
    }

    void missingFileFailsInsteadOfSendingNothing()
    {
        rig::Bench bench;
        QVERIFY(OpenPorts(PORT_PARALLEL));
        rig::ReportWindow w;
        const std::string missing = bench.dir().path() + "/no-such-file";
        QVERIFY(!SendFile(w.hwnd(), missing, SEND_MODE_FILE | SEND_ONCE));
        QCOMPARE(w.values(WM_SENDFILE_STATUS, STATUS_FILE_FAILED).size(), size_t(1));
        QVERIFY(!QFile::exists(QString::fromStdString(missing)));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_IDLE));
    }

    void filePassProgress_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QList<int>>("progress");
        // Bytes in file mode, truncated percent in the other two.
        QTest::newRow("600 bytes, file") << 600 << int(SEND_MODE_FILE) << QList<int>{256, 512, 600};
        QTest::newRow("600 bytes, version") << 600 << int(SEND_MODE_VERSION) << QList<int>{42, 85, 100};
        QTest::newRow("256 bytes, file") << 256 << int(SEND_MODE_FILE) << QList<int>{256};
        QTest::newRow("empty, file") << 0 << int(SEND_MODE_FILE) << QList<int>{0};
        QTest::newRow("empty, version") << 0 << int(SEND_MODE_VERSION) << QList<int>{100};
    }

    void filePassProgress()
    {
        QFETCH(int, size);
        QFETCH(int, mode);
        QFETCH(QList<int>, progress);
        rig::Bench bench;
        QVERIFY(OpenPorts(PORT_PARALLEL));
        rig::ReportWindow w;
        const auto bytes = Pattern(size_t(size));
        const std::string path = bench.dir().writeFile("f", bytes);

        const auto start = std::chrono::steady_clock::now();
        QVERIFY(SendFile(w.hwnd(), path, WORD(mode | SEND_ONCE)));
        QVERIFY(rig::WaitPortIdle(10000));
        const auto elapsed = std::chrono::steady_clock::now() - start;

        QList<int> seen;
        for (LPARAM v : w.values(WM_SENDFILE_STATUS, STATUS_FILE_PROGRESS))
            seen.push_back(int(v));
        QCOMPARE(seen, progress);
        QCOMPARE(w.reports().front().code, WPARAM(STATUS_FILE_LENGTH));
        QCOMPARE(w.reports().back().code, WPARAM(STATUS_FILE_DONE));
        QCOMPARE(bench.parallelPrinter().received(), bytes);
        // A pass that wrote the whole file pauses a second before it says so.
        QVERIFY(elapsed >= 950ms);
    }

    void repeatingFileSendReadsTheFileAgainEveryPassUntilStopped()
    {
        rig::Bench bench;
        QVERIFY(OpenPorts(PORT_PARALLEL));
        rig::ReportWindow w;
        PlatSetTimeScale(0.05);
        const auto bytes = Pattern(600);
        const std::string path = bench.dir().writeFile("f", bytes);

        QVERIFY(SendFile(w.hwnd(), path, SEND_MODE_FILE | SEND_LOOP));
        QVERIFY(PlatTestWaitFor([&] { return w.values(WM_SENDFILE_STATUS, STATUS_FILE_DONE).size() >= 2; }, 10000));
        rig::RequestStop();
        QVERIFY(rig::WaitPortIdle(10000));
        const size_t passes = w.values(WM_SENDFILE_STATUS, STATUS_FILE_DONE).size();
        QCOMPARE(bench.parallelPrinter().received().size(), passes * bytes.size());
        const auto progress = w.values(WM_SENDFILE_STATUS, STATUS_FILE_PROGRESS);
        QCOMPARE(progress.size(), passes * 3);
        for (size_t i = 0; i < progress.size(); ++i)
            QCOMPARE(progress[i], LPARAM((i % 3 + 1) * 256 > 600 ? 600 : (i % 3 + 1) * 256));
        // No pass begins after the stop.
        QVERIFY(!PlatTestWaitFor([&] { return w.values(WM_SENDFILE_STATUS, STATUS_FILE_LENGTH).size() > 1 ||
                                                  w.values(WM_SENDFILE_STATUS, STATUS_FILE_PROGRESS).size() > progress.size(); },
                                 300));
    }

    void repeatingFileSendAfterAFailedPassStartsFromTheBeginning()
    {
        rig::Bench bench;
        QVERIFY(OpenPorts(PORT_PARALLEL));
        rig::ReportWindow w;
        PlatSetTimeScale(0.05);
        const auto bytes = Pattern(600);
        const std::string path = bench.dir().writeFile("f", bytes);
        // The first pass fails at its second block: the printer goes off line.
        int blocks = 0;
        w.onReport([&](const rig::Report& r) {
            if (r.code == STATUS_FILE_PROGRESS && ++blocks == 1)
                bench.parallelPort().setRefuseData(true);
            if (r.code == STATUS_FILE_FAILED)
                bench.parallelPort().setRefuseData(false);
        });

        QVERIFY(SendFile(w.hwnd(), path, SEND_MODE_FILE | SEND_LOOP));
        QVERIFY(w.waitFor(WM_SENDFILE_STATUS, STATUS_FILE_DONE, 10000));
        rig::RequestStop();
        QVERIFY(rig::WaitPortIdle(10000));
        QCOMPARE(w.values(WM_SENDFILE_STATUS, STATUS_FILE_FAILED).size(), size_t(1));
        // The pass after the failure sent the whole file from its first byte.
        const auto received = bench.parallelPrinter().received();
        QVERIFY(received.size() >= 256 + 600);
        QCOMPARE(std::vector<uint8_t>(received.begin() + 256, received.begin() + 256 + 600), bytes);
    }

    void fontPreambleGoesOutOnceOnParallelAndUsb()
    {
        {
            rig::Bench bench;
            QVERIFY(OpenPorts(PORT_PARALLEL));
            rig::ReportWindow w;
            // Even when the file then cannot be opened.
            const std::string missing = bench.dir().path() + "/missing";
            QVERIFY(!SendFile(w.hwnd(), missing, SEND_MODE_FONT | SEND_ONCE));
            QCOMPARE(bench.parallelPrinter().received(), (std::vector<uint8_t>{0x1C, 0xAA, 0x0D}));
            QVERIFY(w.has(WM_SENDFILE_STATUS, STATUS_FILE_FAILED));
        }
        {
            rig::Bench bench;
            auto& printer = bench.usb(0);
            QVERIFY(OpenPorts(PORT_USB));
            rig::ReportWindow w;
            PlatSetTimeScale(0.05);
            const auto font = Pattern(300);
            const std::string path = bench.dir().writeFile("font", font);
            QVERIFY(SendFile(w.hwnd(), path, SEND_MODE_FONT | SEND_LOOP));
            QVERIFY(PlatTestWaitFor([&] { return w.values(WM_SENDFILE_STATUS, STATUS_FILE_DONE).size() >= 2; }, 10000));
            rig::RequestStop();
            QVERIFY(rig::WaitPortIdle(10000));
            const size_t passes = w.values(WM_SENDFILE_STATUS, STATUS_FILE_DONE).size();
            QVERIFY(printer.waitForBytes(3 + passes * font.size(), 5000ms));
            const auto received = printer.received();
            QCOMPARE(received.size(), 3 + passes * font.size());
            QCOMPARE(std::vector<uint8_t>(received.begin(), received.begin() + 3), (std::vector<uint8_t>{0x1C, 0xAA, 0x0D}));
        }
    }

    void aSendStartedInsideTheLastReportIsRefusedAndAfterTheReleaseAccepted()
    {
        rig::Bench bench;
        QVERIFY(OpenPorts(PORT_PARALLEL));
        rig::ReportWindow w;
        BOOL insideResult = TRUE;
        w.onReport([&](const rig::Report& r) {
            if (r.code == STATUS_CMDS_SENT)
                insideResult = SendText(w.hwnd(), "1B", SEND_MODE_CMDS | SEND_HEX | SEND_ONCE);
        });
        QVERIFY(SendText(w.hwnd(), "1B40", SEND_MODE_CMDS | SEND_HEX | SEND_ONCE));
        QVERIFY(rig::WaitPortIdle(5000));
        QCOMPARE(insideResult, FALSE);
        w.onReport(nullptr);
        QVERIFY(SendText(w.hwnd(), "1B", SEND_MODE_CMDS | SEND_HEX | SEND_ONCE));
        QVERIFY(rig::WaitPortIdle(5000));
        QCOMPARE(bench.parallelPrinter().received(), (std::vector<uint8_t>{0x1B, 0x40, 0x1B}));
    }

    void aStopDuringASinglePassChangesNothingAndStaysSet()
    {
        rig::Bench bench;
        QVERIFY(OpenPorts(PORT_PARALLEL));
        rig::ReportWindow w;
        const auto bytes = Pattern(600);
        const std::string path = bench.dir().writeFile("f", bytes);
        w.onReport([&](const rig::Report& r) {
            if (r.code == STATUS_FILE_PROGRESS) {
                rig::RequestStop();
            }
        });
        QVERIFY(SendFile(w.hwnd(), path, SEND_MODE_FILE | SEND_ONCE));
        QVERIFY(rig::WaitPortIdle(10000));
        QVERIFY(w.has(WM_SENDFILE_STATUS, STATUS_FILE_DONE));
        QCOMPARE(bench.parallelPrinter().received(), bytes);
        QCOMPARE(gStopSendFlag, LONG(1));
    }

    void aPortThatAcceptsNothingEndsThePass_data()
    {
        QTest::addColumn<bool>("file");
        QTest::newRow("typed data") << false;
        QTest::newRow("file") << true;
    }

    void aPortThatAcceptsNothingEndsThePass()
    {
        QFETCH(bool, file);
        rig::Bench bench;
        auto& printer = bench.serial();
        QVERIFY(OpenPorts(PORT_SERIAL));
        rig::ReportWindow w;
        PlatSetTimeScale(0.1); // write time-outs of 300 ms
        printer.holdLine(true);
        const auto bytes = Pattern(256 * 1024); // more than the line can hold

        if (file) {
            const std::string path = bench.dir().writeFile("f", bytes);
            QVERIFY(SendFile(w.hwnd(), path, SEND_MODE_FILE | SEND_ONCE));
        } else {
            QVERIFY(SendDataToPrn(w.hwnd(), bytes.data(), DWORD(bytes.size()), SEND_MODE_CMDS | SEND_TEXT | SEND_ONCE));
        }
        QVERIFY(rig::WaitPortIdle(30000));
        if (file) {
            QVERIFY(w.has(WM_SENDFILE_STATUS, STATUS_FILE_FAILED));
            QVERIFY(!w.has(WM_SENDFILE_STATUS, STATUS_FILE_DONE));
        } else {
            const auto sent = w.values(WM_SENDCMDS_STATUS, STATUS_CMDS_SENT);
            QCOMPARE(sent.size(), size_t(1));
            QVERIFY(sent[0] < LPARAM(bytes.size()));
        }
        printer.holdLine(false);
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_IDLE));
    }

    // Every wait on a printer sees a close at once: the parallel handshake
    // with a printer that holds busy, a serial or USB write the printer does
    // not take, the wait for the font answer. At real time each of these
    // would hold the close for 3 s or more (the parallel one, on a real port,
    // 10 to 20 s, and then show "打印机忙!").
    void aCloseEndsEveryWaitOnThePrinterAtOnce_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("mode");
        QTest::newRow("parallel busy") << int(PORT_PARALLEL) << int(SEND_MODE_FILE);
        QTest::newRow("serial write not taken") << int(PORT_SERIAL) << int(SEND_MODE_CMDS);
        QTest::newRow("usb write not taken") << int(PORT_USB) << int(SEND_MODE_CMDS);
        QTest::newRow("serial font answer") << int(PORT_SERIAL) << int(SEND_MODE_FONT);
    }

    void aCloseEndsEveryWaitOnThePrinterAtOnce()
    {
        QFETCH(int, port);
        QFETCH(int, mode);
        rig::Bench bench;
        sim::PtyPrinter* printer = nullptr;
        sim::PrinterOptions options;
        options.preambleAnswer.mode = sim::AnswerMode::Silent;
        if (port == PORT_SERIAL)
            printer = &bench.serial(options);
        else if (port == PORT_USB)
            printer = &bench.usb(0);
        QVERIFY(OpenPorts(BYTE(port)));
        rig::ReportWindow w;
        const auto bytes = Pattern(256 * 1024); // more than a line holds
        const std::string path = bench.dir().writeFile("f", bytes);
        if (mode == SEND_MODE_FONT) {
            QVERIFY(SendFile(w.hwnd(), path, SEND_MODE_FONT | SEND_ONCE));
            QVERIFY(printer->waitForBytes(3, 5000ms)); // the preamble: now the wait for the answer
        } else if (mode == SEND_MODE_CMDS) {
            printer->holdLine(true);
            QVERIFY(SendDataToPrn(w.hwnd(), bytes.data(), DWORD(bytes.size()), SEND_MODE_CMDS | SEND_TEXT | SEND_ONCE));
        } else {
            bench.parallelPort().setBusy(true);
            QVERIFY(SendFile(w.hwnd(), path, SEND_MODE_FILE | SEND_ONCE));
            QVERIFY(PlatTestWaitFor([&] { return bench.parallelPort().statusPolls() > 1000; }, 5000));
        }
        const auto start = std::chrono::steady_clock::now();
        StopSendAndWait();
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        QVERIFY2(ms < 1s, qPrintable(QString("the close took %1 ms").arg(ms.count())));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_IDLE));
        if (mode == SEND_MODE_CMDS) {
            const auto sent = w.values(WM_SENDCMDS_STATUS, STATUS_CMDS_SENT);
            QCOMPARE(sent.size(), size_t(1));
            QVERIFY(sent[0] < LPARAM(bytes.size()));
        } else {
            QVERIFY(w.has(WM_SENDFILE_STATUS, STATUS_FILE_FAILED));
            QVERIFY(!w.has(WM_SENDFILE_STATUS, STATUS_FILE_DONE));
        }
        // A printer held busy until the close gets no message box.
        QVERIFY(PlatTestMessageBoxes().empty());
        PortRelease();
        if (printer)
            printer->holdLine(false);
        else
            bench.parallelPort().setBusy(false);
    }

    // The stop button of a repeating send whose writes the printer does not
    // take: the send buttons it gives back work at once, instead of dropping
    // clicks until three stalled writes have timed out (about 9 s).
    void aStopDuringAStalledRepeatingSendReleasesThePortAtOnce()
    {
        rig::Bench bench;
        rig::ReportWindow w;
        auto& printer = StartFileSendToAHeldSerialPrinter(bench, w, SEND_LOOP);
        QVERIFY(w.waitFor(WM_SENDFILE_STATUS, STATUS_FILE_PROGRESS, 10000)); // inside the first pass
        const auto start = std::chrono::steady_clock::now();
        rig::RequestStop();
        QVERIFY(rig::WaitPortIdle(15000));
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        QVERIFY2(ms < 1s, qPrintable(QString("the port was busy %1 ms after the stop").arg(ms.count())));
        printer.holdLine(false);
        QVERIFY(SendText(w.hwnd(), "1B40", SEND_MODE_CMDS | SEND_HEX | SEND_ONCE));
        QVERIFY(rig::WaitPortIdle(5000));
    }

    // Closing during a single pass: the close waits for the thread and
    // delivers its last report, and what the line still held queued never
    // reaches the printer: it is discarded before the handle closes, so a
    // printer that holds CTS low cannot hold the close for the kernel's 30 s.
    // (A pseudo-terminal has no CTS line; what it shows is the discard.)
    void anAbandonedTransferDiscardsTheQueuedOutput()
    {
        rig::Bench bench;
        rig::ReportWindow w;
        auto& printer = StartFileSendToAHeldSerialPrinter(bench, w, SEND_ONCE);
        // More than the printer's side of the line takes in before it reads.
        QVERIFY(PlatTestWaitFor(
            [&] {
                const auto progress = w.values(WM_SENDFILE_STATUS, STATUS_FILE_PROGRESS);
                return !progress.empty() && progress.back() >= 8192;
            },
            10000));
        StopSendAndWait();
        // The thread gave the port back; its last report was handled while waiting.
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_IDLE));
        QVERIFY(w.has(WM_SENDFILE_STATUS, STATUS_FILE_FAILED));
        QCOMPARE(PlatTestPendingSends(), 0);
        PortRelease();
        QVERIFY(gCurrentPort.handle == nullptr);
        const LPARAM accepted = w.values(WM_SENDFILE_STATUS, STATUS_FILE_PROGRESS).back();
        printer.holdLine(false);
        printer.waitForBytes(uint64_t(accepted), 1000ms); // what did come
        QVERIFY2(printer.received().size() < size_t(accepted),
                 qPrintable(QString("%1 of %2 queued bytes still arrived").arg(printer.received().size()).arg(accepted)));
    }

    void reportsToAWindowAlreadyGoneAreDropped()
    {
        rig::Bench bench;
        QVERIFY(OpenPorts(PORT_PARALLEL));
        HWND gone;
        {
            rig::ReportWindow w;
            gone = w.hwnd();
        }
        const std::string path = bench.dir().writeFile("f", Pattern(600));
        QVERIFY(SendFile(gone, path, SEND_MODE_FILE | SEND_ONCE));
        QVERIFY(rig::WaitPortIdle(10000));
        QCOMPARE(bench.parallelPrinter().received().size(), size_t(600));
    }
};

PLAT_TEST_MAIN(TestSendEngine)
#include "tst_send_engine.moc"
