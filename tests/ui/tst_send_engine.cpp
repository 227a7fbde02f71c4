// The send engine against the virtual printer: what reaches the printer, the
// reports and their order, refusals, pauses, the serial font handshake, and
// ports that accept nothing.
#include "port/port.h"
#include "res/resources.h"
#include "send/send.h"
#include "ui/support/printer_rig.h"
#include "ui/support/window_fixture.h"

#include <chrono>
#include <cstring>

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Pattern(size_t size)
{
    Bytes bytes(size);
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

// The values of the reports with this code, in order.
std::vector<LPARAM> Values(const rig::ReportWindow& w, WPARAM code)
{
    return w.values(code >= STATUS_CMDS_LENGTH ? WM_SENDCMDS_STATUS : WM_SENDFILE_STATUS, code);
}

bool WaitCount(const rig::ReportWindow& w, WPARAM code, size_t count)
{
    return PlatTestWaitFor([&] { return Values(w, code).size() >= count; }, 10000);
}

// Whether a transfer ended as given up: a failed pass, never a completed one.
bool FailedNotDone(const rig::ReportWindow& w)
{
    return !Values(w, STATUS_FILE_FAILED).empty() && Values(w, STATUS_FILE_DONE).empty();
}

int MsSince(std::chrono::steady_clock::time_point start)
{
    return int(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

} // namespace

class TestSendEngine : public QObject {
    Q_OBJECT

private slots:
    void init() { PlatTestRecordMessageBoxes(); }
    void cleanup() { PlatTestDestroyAll(); }

    // Refused sends change nothing and report nothing; one refused while a
    // repeating send runs leaves that send going. (A send refused inside the
    // last report of a single send: tst_console.)
    void refusalsChangeNothing()
    {
        rig::Bench bench;
        rig::ReportWindow w;
        gCurrentPort.type = PORT_SERIAL; // without a handle: never opened
        QVERIFY(!SendText(w.hwnd(), "1B", SEND_MODE_CMDS | SEND_HEX | SEND_ONCE));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_CLOSED));
        QVERIFY(OpenPorts(PORT_PARALLEL));
        QVERIFY(!SendText(w.hwnd(), "1B", SEND_HEX | SEND_ONCE)); // no mode
        QVERIFY(!SendText(w.hwnd(), "1B", 0x30 | SEND_ONCE));     // not one of the four
        QVERIFY(!SendDataToPrn(w.hwnd(), "", 0, SEND_MODE_CMDS | SEND_ONCE));
        QVERIFY(gCurrentPort.state == PORT_STATE_IDLE);
        QVERIFY(w.reports().empty());

        QVERIFY(SendText(w.hwnd(), "AB", SEND_MODE_CMDS | SEND_TEXT | SEND_LOOP));
        QVERIFY(WaitCount(w, STATUS_CMDS_SENT, 2));
        QVERIFY(!SendText(w.hwnd(), "CD", SEND_MODE_CMDS | SEND_TEXT | SEND_ONCE));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_BUSY));
        QVERIFY(WaitCount(w, STATUS_CMDS_SENT, 3));
        RequestSendStop();
        QVERIFY(rig::WaitPortIdle(5000));
        QCOMPARE(gStopSendFlag, LONG(0)); // the thread that acted on it cleared it
        QVERIFY(gCurOutputBuf.pData == nullptr);
        // The length first, then the count of each pass.
        QCOMPARE(w.reports().front().code, WPARAM(STATUS_CMDS_LENGTH));
        QCOMPARE(Values(w, STATUS_CMDS_LENGTH), std::vector<LPARAM>{2});
        QCOMPARE(Values(w, STATUS_CMDS_SENT), std::vector<LPARAM>(w.reports().size() - 1, 2));
        Bytes expected;
        for (size_t pass = 0; pass < Values(w, STATUS_CMDS_SENT).size(); ++pass)
            expected.insert(expected.end(), {'A', 'B'});
        QCOMPARE(bench.parallelPrinter().received(), expected);
    }

    void filePassProgress_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("stopAsked");
        QTest::addColumn<QList<int>>("progress");
        // Bytes in file mode, truncated percent in the other two.
        QTest::newRow("600 bytes, file") << 600 << int(SEND_MODE_FILE) << false << QList<int>{256, 512, 600};
        QTest::newRow("600 bytes, version") << 600 << int(SEND_MODE_VERSION) << false << QList<int>{42, 85, 100};
        QTest::newRow("256 bytes, file") << 256 << int(SEND_MODE_FILE) << false << QList<int>{256};
        QTest::newRow("empty, file") << 0 << int(SEND_MODE_FILE) << false << QList<int>{0};
        QTest::newRow("empty, version") << 0 << int(SEND_MODE_VERSION) << false << QList<int>{100};
        // A stop request during a single pass changes nothing, and stays set
        // until the next send starts.
        QTest::newRow("600 bytes, file, a stop asked") << 600 << int(SEND_MODE_FILE) << true << QList<int>{256, 512, 600};
    }

    void filePassProgress()
    {
        QFETCH(int, size);
        QFETCH(int, mode);
        QFETCH(bool, stopAsked);
        QFETCH(QList<int>, progress);
        rig::Bench bench;
        rig::ReportWindow w;
        QVERIFY(OpenPorts(PORT_PARALLEL));
        if (stopAsked)
            w.onReport([](const rig::Report& r) {
                if (r.code == STATUS_FILE_PROGRESS)
                    RequestSendStop();
            });
        const auto bytes = Pattern(size_t(size));
        const auto start = std::chrono::steady_clock::now();
        QVERIFY(SendFile(w.hwnd(), bench.dir().writeFile("f", bytes), WORD(mode | SEND_ONCE)));
        QVERIFY(rig::WaitPortIdle(10000));
        const int elapsed = MsSince(start);

        QVERIFY(rig::PacedFrom(Values(w, STATUS_FILE_PROGRESS), {std::vector<LPARAM>(progress.begin(), progress.end())}));
        QCOMPARE(w.reports().front().code, WPARAM(STATUS_FILE_LENGTH));
        QCOMPARE(w.reports().back().code, WPARAM(STATUS_FILE_DONE));
        QCOMPARE(bench.parallelPrinter().received(), bytes);
        QCOMPARE(gStopSendFlag, LONG(stopAsked ? 1 : 0));
        // A pass that wrote the whole file pauses a second before it says so.
        QVERIFY(elapsed >= 950);
    }

    // Every pass reads the file from its start, also the pass after one that
    // failed (at its second block: the printer went off line), until stopped.
    void repeatingFileSendReadsTheFileFromItsStartEveryPass_data()
    {
        QTest::addColumn<bool>("firstPassFails");
        QTest::newRow("every pass") << false;
        QTest::newRow("after a failed pass") << true;
    }

    void repeatingFileSendReadsTheFileFromItsStartEveryPass()
    {
        QFETCH(bool, firstPassFails);
        rig::Bench bench;
        rig::ReportWindow w;
        QVERIFY(OpenPorts(PORT_PARALLEL));
        PlatSetTimeScale(0.05);
        const auto bytes = Pattern(600);
        if (firstPassFails)
            w.onReport([&](const rig::Report& r) {
                if (r.code == STATUS_FILE_PROGRESS && Values(w, STATUS_FILE_PROGRESS).size() == 1)
                    bench.parallelPort().setRefuseData(true);
                if (r.code == STATUS_FILE_FAILED)
                    bench.parallelPort().setRefuseData(false);
            });
        QVERIFY(SendFile(w.hwnd(), bench.dir().writeFile("f", bytes), SEND_MODE_FILE | SEND_LOOP));
        QVERIFY(WaitCount(w, STATUS_FILE_DONE, 2));
        RequestSendStop();
        QVERIFY(rig::WaitPortIdle(10000));

        const size_t passes = Values(w, STATUS_FILE_DONE).size();
        QCOMPARE(Values(w, STATUS_FILE_FAILED).size(), size_t(firstPassFails ? 1 : 0));
        Bytes expected(bytes.begin(), bytes.begin() + (firstPassFails ? 256 : 0));
        for (size_t pass = 0; pass < passes; ++pass)
            expected.insert(expected.end(), bytes.begin(), bytes.end());
        QCOMPARE(bench.parallelPrinter().received(), expected);
        std::vector<std::vector<LPARAM>> progress;
        if (firstPassFails)
            progress.push_back({256}); // the failed pass's one block
        for (size_t pass = 0; pass < passes; ++pass)
            progress.push_back({256, 512, 600});
        QVERIFY(rig::PacedFrom(Values(w, STATUS_FILE_PROGRESS), progress));
    }

    // Once per send, a repeating one too. (Before a file that cannot go:
    // the download dialogs' test.)
    void fontPreambleGoesOutOnceOnParallelAndUsb()
    {
        for (BYTE port : {BYTE(PORT_PARALLEL), BYTE(PORT_USB)}) {
            RowTrace trace{port == PORT_USB ? "usb" : "parallel"};
            rig::Bench bench;
            sim::Printer& printer = port == PORT_USB ? bench.usb(0).printer() : bench.parallelPrinter();
            // When each parallel byte was strobed.
            std::vector<std::chrono::steady_clock::time_point> strobed;
            if (port == PORT_PARALLEL)
                bench.parallelPort().setSink([&](uint8_t byte) {
                    strobed.push_back(std::chrono::steady_clock::now());
                    printer.feed(std::span<const uint8_t>(&byte, 1));
                });
            QVERIFY(OpenPorts(port));
            rig::ReportWindow w;
            PlatSetTimeScale(0.05);
            const auto font = Pattern(300);
            QVERIFY(SendFile(w.hwnd(), bench.dir().writeFile("font", font), SEND_MODE_FONT | SEND_LOOP));
            QVERIFY(WaitCount(w, STATUS_FILE_DONE, 2));
            RequestSendStop();
            QVERIFY(rig::WaitPortIdle(10000));
            Bytes expected{0x1C, 0xAA, 0x0D};
            for (size_t pass = 0; pass < Values(w, STATUS_FILE_DONE).size(); ++pass)
                expected.insert(expected.end(), font.begin(), font.end());
            QVERIFY(printer.waitForBytes(expected.size(), 5000ms));
            QCOMPARE(printer.received(), expected);
            // On parallel the preamble is followed by its one-second pause
            // (50 ms at this scale) before the file's first byte.
            if (port == PORT_PARALLEL) {
                QVERIFY(strobed.size() > 3);
                QVERIFY(strobed[3] - strobed[2] >= 50ms);
            }
        }
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
        if (file)
            QVERIFY(SendFile(w.hwnd(), bench.dir().writeFile("f", bytes), SEND_MODE_FILE | SEND_ONCE));
        else
            QVERIFY(SendDataToPrn(w.hwnd(), bytes.data(), DWORD(bytes.size()), SEND_MODE_CMDS | SEND_TEXT | SEND_ONCE));
        QVERIFY(rig::WaitPortIdle(30000));
        if (file) {
            QVERIFY(FailedNotDone(w));
        } else {
            const auto sent = Values(w, STATUS_CMDS_SENT);
            QCOMPARE(sent.size(), size_t(1));
            QVERIFY(sent[0] < LPARAM(bytes.size()));
        }
        printer.holdLine(false);
        QVERIFY(gCurrentPort.state == PORT_STATE_IDLE);
    }

    // mptest-cli's ending: no second's pause, the serial line drained instead;
    // done only with every byte at the printer, on serial as on USB.
    void aDrainingPassEndsDoneWithEveryByteAtThePrinter()
    {
        for (BYTE port : {BYTE(PORT_SERIAL), BYTE(PORT_USB)}) {
            RowTrace trace{port == PORT_USB ? "usb" : "serial"};
            rig::Bench bench;
            sim::PtyPrinter& printer = port == PORT_USB ? static_cast<sim::PtyPrinter&>(bench.usb(0)) : bench.serial();
            QVERIFY(OpenPorts(port));
            rig::ReportWindow w;
            const SendReporter draining{[](void* window, UINT message, WPARAM code, LPARAM value) {
                                            SendMessageA(static_cast<HWND>(window), message, code, value);
                                        },
                                        w.hwnd(), true};
            const auto bytes = Pattern(64 * 1024);
            const std::string path = bench.dir().writeFile("f", bytes);
            QVERIFY(SendDataWithReporter(draining, path.c_str(), DWORD(path.size() + 1), SEND_MODE_FILE | SEND_ONCE));
            QVERIFY(rig::WaitPortIdle(30000));
            QCOMPARE(w.reports().back().code, WPARAM(STATUS_FILE_DONE));
            QCOMPARE(Values(w, STATUS_FILE_PROGRESS).back(), LPARAM(bytes.size()));
            QVERIFY(printer.waitForBytes(bytes.size(), std::chrono::milliseconds(10000)));
            QVERIFY(printer.received() == bytes);
            PortRelease();
        }
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
        QTest::newRow("serial write not taken") << int(PORT_SERIAL) << int(SEND_MODE_FILE);
        QTest::newRow("usb write not taken") << int(PORT_USB) << int(SEND_MODE_FILE);
        QTest::newRow("serial font answer") << int(PORT_SERIAL) << int(SEND_MODE_FONT);
    }

    void aCloseEndsEveryWaitOnThePrinterAtOnce()
    {
        QFETCH(int, port);
        QFETCH(int, mode);
        rig::Bench bench;
        rig::ReportWindow w;
        sim::PtyPrinter* stalled = nullptr;
        if (mode == SEND_MODE_FONT) {
            sim::PrinterOptions silent;
            silent.preambleAnswer.mode = sim::AnswerMode::Silent;
            auto& printer = bench.serial(silent);
            QVERIFY(OpenPorts(PORT_SERIAL));
            QVERIFY(SendFile(w.hwnd(), bench.dir().writeFile("f", Pattern(600)), SEND_MODE_FONT | SEND_ONCE));
            QVERIFY(printer.waitForBytes(3, 5000ms)); // the preamble: now the wait for the answer
        } else if (port == PORT_PARALLEL) {
            QVERIFY(OpenPorts(PORT_PARALLEL));
            bench.parallelPort().setBusy(true);
            QVERIFY(SendFile(w.hwnd(), bench.dir().writeFile("f", Pattern(600)), SEND_MODE_FILE | SEND_ONCE));
            QVERIFY(PlatTestWaitFor([&] { return bench.parallelPort().statusPolls() > 1000; }, 5000));
        } else {
            // A 256 KiB file to a printer that takes nothing, stalled inside a
            // write (its line is full, no block has gone for 100 ms): a stop
            // that came before the write began would show nothing about
            // ending a write under way.
            stalled = port == PORT_USB ? static_cast<sim::PtyPrinter*>(&bench.usb(0)) : &bench.serial();
            stalled->holdLine(true);
            QVERIFY(OpenPorts(BYTE(port)));
            QVERIFY(SendFile(w.hwnd(), bench.dir().writeFile("f", Pattern(256 * 1024)), SEND_MODE_FILE | SEND_ONCE));
            QVERIFY(rig::WaitStalled([&] { return Values(w, STATUS_FILE_PROGRESS).size(); }));
        }
        const auto start = std::chrono::steady_clock::now();
        StopSendAndWait();
        QVERIFY2(MsSince(start) < 1000, qPrintable(QString("the close took %1 ms").arg(MsSince(start))));
        // The thread gave the port back; its last report was handled while waiting.
        QVERIFY(gCurrentPort.state == PORT_STATE_IDLE);
        QVERIFY(FailedNotDone(w));
        QCOMPARE(PlatTestPendingSends(), 0);
        // A printer held busy until the close gets no message box.
        QVERIFY(PlatTestMessageBoxes().empty());
        PortRelease();
        bench.parallelPort().setBusy(false);
        if (port != PORT_SERIAL || mode != SEND_MODE_FILE)
            return;
        // What the serial line still held queued never reaches the printer:
        // it is discarded before the handle closes, so a printer that holds
        // CTS low cannot hold the close for the kernel's 30 s. (A
        // pseudo-terminal has no CTS line; what it shows is the discard.)
        // A command sent after the release arrives after anything the line
        // still held: once it is in, all that came is in.
        const LPARAM accepted = Values(w, STATUS_FILE_PROGRESS).back();
        stalled->holdLine(false);
        QVERIFY(OpenPorts(PORT_SERIAL));
        QVERIFY(SendText(w.hwnd(), "1B40", SEND_MODE_CMDS | SEND_HEX | SEND_ONCE));
        QVERIFY(PlatTestWaitFor(
            [&] {
                const auto got = stalled->received();
                return got.size() >= 2 && got[got.size() - 2] == 0x1B && got.back() == 0x40;
            },
            10000));
        const size_t came = stalled->received().size() - 2;
        QVERIFY2(came < size_t(accepted), qPrintable(QString("%1 of %2 queued bytes still arrived").arg(came).arg(accepted)));
    }

    void reportsToAWindowAlreadyGoneAreDropped()
    {
        rig::Bench bench;
        QVERIFY(OpenPorts(PORT_PARALLEL));
        HWND gone = rig::ReportWindow().hwnd();
        QVERIFY(SendFile(gone, bench.dir().writeFile("f", Pattern(600)), SEND_MODE_FILE | SEND_ONCE));
        QVERIFY(rig::WaitPortIdle(10000));
        QCOMPARE(bench.parallelPrinter().received().size(), size_t(600));
    }
};

PLAT_TEST_MAIN_WITH(TestSendEngine, ResRegister)
#include "tst_send_engine.moc"
