// The EPP console against the virtual printer's parallel register model and
// a temporary home folder: status reports, the capture file, the time-out,
// stops and closes while the read thread runs, and the write group.
#include "port/port.h"
#include "port/portio.h"
#include "res/resource.h"
#include "res/resources.h"
#include "send/epp.h"
#include "send/send.h"
#include "ui/epp/epp.h"
#include "ui/support/printer_rig.h"
#include "support/parallel_backend.h"
#include "support/roots.h"

#include <atomic>
#include <filesystem>
#include <mutex>

namespace {

// Box 1227 after each status report, the ended reports, whether "开始读" was
// on as each end arrived, and the capture file's handle as the port record
// held it during the first status report.
QStringList gStatusShown;
std::vector<LPARAM> gEnds;
std::vector<bool> gStartOnAtEnd;
HANDLE gCaptureHandle;

INT_PTR CALLBACK RecordingEppProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_EPP_STATUS && wParam == STATUS_EPP_ENDED)
        gStartOnAtEnd.push_back(PlatTestEnabled(hwnd, IDC_EPP_START_READ));
    const INT_PTR result = bEppDlgProc(hwnd, message, wParam, lParam);
    if (message == WM_EPP_STATUS && wParam == STATUS_EPP_CHANGED) {
        if (gStatusShown.empty())
            gCaptureHandle = gCurrentPort.handle; // the reader waits in this report
        gStatusShown << QString::fromStdString(PlatTestText(hwnd, IDC_EPP_STATUS));
    } else if (message == WM_EPP_STATUS && wParam == STATUS_EPP_ENDED) {
        gEnds.push_back(lParam);
    }
    return result;
}

HWND OpenEpp()
{
    gStatusShown.clear();
    gEnds.clear();
    gStartOnAtEnd.clear();
    gCaptureHandle = nullptr;
    return PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_EPP), nullptr, RecordingEppProc);
}

bool WaitEnded()
{
    return PlatTestWaitFor([] { return !gEnds.empty(); }, 10000);
}

bool WaitShown(const QString& text)
{
    return PlatTestWaitFor([&] { return gStatusShown.contains(text); }, 10000);
}

// Types `text` into the write group and presses its send button.
void Write(HWND epp, const std::string& text, bool hex, bool loop = false)
{
    QVERIFY(PlatTestType(epp, IDC_EPP_INPUT, text));
    if (hex)
        QVERIFY(PlatTestClick(epp, IDC_EPP_HEX));
    if (loop)
        QVERIFY(PlatTestClick(epp, IDC_EPP_LOOP));
    QVERIFY(PlatTestClick(epp, IDC_EPP_SEND));
}

std::vector<std::string> MessageTexts()
{
    std::vector<std::string> texts;
    for (const auto& box : PlatTestMessageBoxes())
        texts.push_back(box.text + "|" + box.caption);
    return texts;
}

std::vector<uint8_t> Bytes(size_t count, uint8_t first)
{
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(first + i);
    return bytes;
}

// The model seen through the port-I/O layer, with a hook on every access:
// it notes which threads read the registers, in order, and can act when the
// control register is written.
class WatchedParallel final : public PortIoBackend {
public:
    explicit WatchedParallel(sim::ParallelPort& port) : port_(port) {}
    bool read(WORD address, BYTE* value) override
    {
        {
            std::lock_guard lock(mutex_);
            const int id = ThreadNumber();
            if (readers_.empty() || readers_.back() != id)
                readers_.push_back(id);
        }
        return port_.readPort(address, value);
    }
    bool write(WORD address, BYTE value) override
    {
        const bool ok = port_.writePort(address, value);
        if (address == LPT_CONTROL && onControl)
            onControl(value);
        return ok;
    }
    const char* name() const override { return "sim-watched"; }
    // The reading threads in the order they took turns at the registers.
    std::vector<int> readers() const
    {
        std::lock_guard lock(mutex_);
        return readers_;
    }
    std::function<void(BYTE)> onControl;

private:
    sim::ParallelPort& port_;
    mutable std::mutex mutex_;
    std::vector<int> readers_;

    // Readers run detached, and a new thread may get the id of one that has
    // exited, so each thread draws a number of its own.
    static int ThreadNumber()
    {
        static std::atomic<int> next{0};
        thread_local const int mine = ++next;
        return mine;
    }
};

} // namespace

class TestEpp : public QObject {
    Q_OBJECT

private slots:
    void init() { PlatTestRecordMessageBoxes(), PlatTestClearMessageBoxes(); }
    void cleanup() { StopEppAndWait(), PlatTestDestroyAll(); }

    // Each status change is reported once and shown in hex: reads of 0 at
    // first report nothing, the change back to 0 is. A steady ready status
    // reads one byte per cycle into the capture file (with the queue empty
    // the status shows busy: the one further report); an older, longer file
    // keeps its tail. "开始读" comes back with the end, not with the stop.
    // Before: the opening state; the radio only marks the port record idle;
    // a stop without a read leaves a request that the start clears.
    void statusChangesAndTheCapture_data()
    {
        QTest::addColumn<QList<int>>("script");
        QTest::addColumn<int>("sent");
        QTest::addColumn<int>("oldSize");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("status changes") << QList<int>{0, 0, 0, 0x7F, 0x7F, 0x7F, 0x0A, 0x0A, 0} << 0 << 0
                                        << QStringList{"7f", "0a", "00"};
        QTest::newRow("ready, no old file") << QList<int>{0xD8} << 10 << 0 << QStringList{"d8", "58"};
        QTest::newRow("ready, 100-byte old file") << QList<int>{0xD8} << 10 << 100 << QStringList{"d8", "58"};
    }

    void statusChangesAndTheCapture()
    {
        QFETCH(QList<int>, script);
        QFETCH(int, sent);
        QFETCH(int, oldSize);
        QFETCH(QStringList, shown);
        rig::Bench bench;
        auto& port = bench.parallelPort();
        if (oldSize > 0)
            bench.dir().writeFile("epp.txt", std::vector<uint8_t>(size_t(oldSize), 'o'));
        port.setBusyWhileEppEmpty(sent > 0);
        port.setStatusScript(std::vector<uint8_t>(script.begin(), script.end()));
        port.pushEpp(Bytes(size_t(sent), 0x30));
        HWND epp = OpenEpp();
        QVERIFY(!PlatTestChecked(epp, IDC_EPP_PARALLEL));
        QCOMPARE(PlatTestText(epp, IDC_EPP_STATUS), std::string());
        QVERIFY(PlatTestEnabled(epp, IDC_EPP_START_READ) && PlatTestEnabled(epp, IDC_EPP_SEND));
        QVERIFY(!PlatTestEnabled(epp, IDC_EPP_STOP_SEND));
        QVERIFY(PlatTestClick(epp, IDC_EPP_PARALLEL));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_IDLE));
        QVERIFY(gCurrentPort.handle == nullptr);
        QVERIFY(PlatTestClick(epp, IDC_EPP_STOP_READ));
        QCOMPARE(gStopSendFlag, LONG(1));

        QVERIFY(PlatTestClick(epp, IDC_EPP_START_READ));
        QVERIFY(!PlatTestEnabled(epp, IDC_EPP_START_READ));
        QVERIFY(WaitShown(shown.back()));
        QVERIFY(PlatTestClick(epp, IDC_EPP_STOP_READ));
        QVERIFY(WaitEnded());
        QCOMPARE(gStatusShown, shown);
        QCOMPARE(gEnds, std::vector<LPARAM>{EPP_END_READ_STOPPED});
        QCOMPARE(gStartOnAtEnd, std::vector<bool>{false});
        QVERIFY(PlatTestEnabled(epp, IDC_EPP_START_READ));
        QCOMPARE(port.control(), uint8_t(0x24));
        QCOMPARE(port.eppReads(), uint64_t(sent));
        std::vector<uint8_t> expected = Bytes(size_t(sent), 0x30);
        if (oldSize > sent)
            expected.resize(size_t(oldSize), 'o');
        QVERIFY(std::filesystem::exists(bench.dir() / "epp.txt"));
        QCOMPARE(testsupport::ReadText(bench.dir() / "epp.txt"), std::string(expected.begin(), expected.end()));
        QVERIFY(gCurrentPort.handle == nullptr);
    }

    // Reads that end before a byte is captured leave what the capture path
    // names as it was: a stop that arrives as the thread turns the data lines
    // to input; a link at the capture path, refused; a data read nothing
    // answers (the time-out bit comes up), which keeps "开始读" off until
    // "停止读".
    void aReadThatEndsEarlyLeavesTheFileAsItWas_data()
    {
        QTest::addColumn<int>("how");
        QTest::addColumn<int>("end");
        QTest::addColumn<QString>("box");
        QTest::newRow("a stop before the first cycle") << 0 << int(EPP_END_READ_STOPPED) << "";
        QTest::newRow("a link at the capture path")
            << 1 << int(EPP_END_READ_NO_FILE) << "无法打开数据文件 epp.txt(文件被占用、是链接或没有写权限)!|Error";
        QTest::newRow("a time-out") << 2 << int(EPP_END_READ_TIMEOUT) << "epp time-out !|error";
    }

    void aReadThatEndsEarlyLeavesTheFileAsItWas()
    {
        QFETCH(int, how);
        QFETCH(int, end);
        QFETCH(QString, box);
        rig::Bench bench;
        WatchedParallel backend(bench.parallelPort());
        testsupport::BackendGuard guard(&backend);
        auto& port = bench.parallelPort();
        const std::string capture = bench.dir() / "epp.txt";
        std::string kept = capture;
        const std::vector<uint8_t> before = how == 2 ? std::vector<uint8_t>{} : std::vector<uint8_t>{'o', 'l', 'd'};
        if (how == 0)
            bench.dir().writeFile("epp.txt", before);
        if (how == 1)
            std::filesystem::create_symlink(kept = bench.dir().writeFile("target", before), capture);
        port.setStatusScript({0x80});
        if (how != 2)
            port.pushEpp(Bytes(5, 1));
        if (how == 0)
            backend.onControl = [](BYTE value) {
                if (value == EPP_CONTROL_READ)
                    RequestSendStop();
            };
        HWND epp = OpenEpp();
        QVERIFY(PlatTestClick(epp, IDC_EPP_START_READ));
        QVERIFY(WaitEnded());
        QCOMPARE(gEnds, std::vector<LPARAM>{end});
        QCOMPARE(testsupport::ReadText(kept), std::string(before.begin(), before.end()));
        QCOMPARE(MessageTexts(), box.isEmpty() ? std::vector<std::string>{} : std::vector<std::string>{box.toStdString()});
        QVERIFY(gCurrentPort.handle == nullptr);
        if (how == 0) {
            QCOMPARE(port.control(), uint8_t(0x24));
            QCOMPARE(port.statusPolls(), uint64_t(0));
            QCOMPARE(gStopSendFlag, LONG(0));
        }
        if (how != 2) {
            QCOMPARE(port.eppReads(), uint64_t(0));
            QVERIFY(PlatTestEnabled(epp, IDC_EPP_START_READ));
            return;
        }
        QCOMPARE(PlatTestMessageBoxes().front().type, UINT(MB_OK | MB_ICONERROR));
        QVERIFY(PlatTestMessageBoxes().front().owner == nullptr);
        // The thread cleared the time-out by writing 1 to the status register.
        QCOMPARE(port.peekStatus() & 0x01, 0);
        QVERIFY(!PlatTestEnabled(epp, IDC_EPP_START_READ));
        QVERIFY(PlatTestClick(epp, IDC_EPP_STOP_READ));
        QVERIFY(PlatTestEnabled(epp, IDC_EPP_START_READ));
        QCOMPARE(gStopSendFlag, LONG(1)); // cleared by the next start
    }

    void closingDuringACaptureClosesTheFileOnceAfterTheLastByte()
    {
        rig::Bench bench;
        auto& port = bench.parallelPort();
        port.setBusyWhileEppEmpty(true);
        port.setStatusScript({0xD8});
        port.pushEpp(std::vector<uint8_t>(2'000'000, 'x'));
        HWND epp = OpenEpp();
        QVERIFY(PlatTestClick(epp, IDC_EPP_START_READ));
        QVERIFY(WaitShown("d8"));
        QVERIFY(PlatTestWaitFor([&] { return port.eppReads() > 1000; }, 10000));
        QVERIFY(PlatTestCloseBox(epp));
        QVERIFY(PlatTestDialogEnded(epp));
        QCOMPARE(EppWorkerRunning(), EPP_WORKER_NONE);
        QVERIFY(gCurrentPort.handle == nullptr);
        QCOMPARE(PlatTestPendingSends(), 0);
        // Every byte read is in the file, and the handle is gone.
        const uint64_t reads = port.eppReads();
        QVERIFY(reads < 2'000'000);
        QCOMPARE(uint64_t(testsupport::ReadText(bench.dir() / "epp.txt").size()), reads);
        DWORD high = 0;
        QCOMPARE(GetFileSize(gCaptureHandle, &high), DWORD(INVALID_FILE_SIZE));
        QCOMPARE(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    }

    void startStopStartNeverRunsTwoReaders()
    {
        rig::Bench bench;
        WatchedParallel backend(bench.parallelPort());
        testsupport::BackendGuard guard(&backend);
        bench.parallelPort().setStatusScript({0x01, 0x02});
        HWND epp = OpenEpp();
        const WPARAM start = MAKEWPARAM(IDC_EPP_START_READ, BN_CLICKED);
        const WPARAM stop = MAKEWPARAM(IDC_EPP_STOP_READ, BN_CLICKED);
        for (int round = 0; round < 3; ++round) {
            QVERIFY(PlatTestClick(epp, IDC_EPP_START_READ));
            // The reader runs until it is stopped, so a second one is refused.
            QCOMPARE(EppWorkerRunning(), EPP_WORKER_READ);
            QVERIFY(!CreateReadDataThread(epp, 0));
            QVERIFY(PlatTestClick(epp, IDC_EPP_STOP_READ));
            // A start that gets past the button is refused while the reader
            // ends, or starts the one reader once it has ended.
            SendMessageA(epp, WM_COMMAND, start, 0);
            SendMessageA(epp, WM_COMMAND, stop, 0);
            QVERIFY(PlatTestWaitFor([] { return EppWorkerRunning() == EPP_WORKER_NONE; }, 10000));
            QVERIFY(PlatTestWaitFor([&] { return PlatTestEnabled(epp, IDC_EPP_START_READ); }, 10000));
        }
        StopEppAndWait(); // the last reader's end report is in
        // Each reader's turn at the registers ended before the next began,
        // and each reader reported its end once.
        const auto readers = backend.readers();
        std::vector<int> seen;
        for (int id : readers) {
            QVERIFY(std::find(seen.begin(), seen.end(), id) == seen.end());
            seen.push_back(id);
        }
        QVERIFY(gEnds.size() >= 3 && gEnds.size() <= 6);
        QVERIFY(seen.size() <= gEnds.size());
        for (LPARAM how : gEnds)
            QCOMPARE(how, LPARAM(EPP_END_READ_STOPPED));
    }

    void withoutAParallelPortAStartSaysSoAndRunsNothing()
    {
        rig::Bench bench;
        testsupport::RootGuard proc(PlatRoot::Proc, bench.dir().path() + "/proc");
        PortIoSetBackendForTest(nullptr);
        InitializeWinIo();
        QCOMPARE(std::string(PortIoBackendName()), std::string("none"));
        HWND epp = OpenEpp();
        QVERIFY(PlatTestClick(epp, IDC_EPP_START_READ));
        Write(epp, "41", false);
        QCOMPARE(EppWorkerRunning(), EPP_WORKER_NONE);
        const std::string text = "找不到可用的并口(没有并口，或没有访问并口的权限)!|Error";
        QCOMPARE(MessageTexts(), (std::vector<std::string>{text, text}));
        QVERIFY(PlatTestEnabled(epp, IDC_EPP_START_READ));
        QVERIFY(!std::filesystem::exists(bench.dir() / "epp.txt"));
    }

    // Once to 0x37C; a repeating write that no peripheral answers says so
    // and ends after its first byte; one that is answered runs until its own
    // stop, not until "停止读".
    void theWriteGroupSendsToTheEppDataRegister_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("hex");
        QTest::addColumn<bool>("loop");
        QTest::addColumn<bool>("timeOut");
        QTest::addColumn<QByteArray>("bytes"); // what a repeating write sends each pass
        QTest::newRow("hex") << "1B 40 0A" << true << false << false << QByteArray("\x1B\x40\x0A", 3);
        QTest::newRow("text in GBK") << "测试" << false << false << false << QByteArray("\xB2\xE2\xCA\xD4");
        QTest::newRow("repeating, time-out") << "41 42" << true << true << true << QByteArray("\x41");
        QTest::newRow("repeating until stopped") << "55 AA" << true << true << false << QByteArray("\x55\xAA");
    }

    void theWriteGroupSendsToTheEppDataRegister()
    {
        QFETCH(QString, typed);
        QFETCH(bool, hex);
        QFETCH(bool, loop);
        QFETCH(bool, timeOut);
        QFETCH(QByteArray, bytes);
        rig::Bench bench;
        PlatSetTimeScale(0.05);
        auto& port = bench.parallelPort();
        port.setEppTimeout(timeOut);
        HWND epp = OpenEpp();
        Write(epp, typed.toStdString(), hex, loop);
        const bool stopped = loop && !timeOut;
        if (stopped) {
            QVERIFY(!PlatTestEnabled(epp, IDC_EPP_SEND) && !PlatTestEnabled(epp, IDC_EPP_START_READ));
            QVERIFY(PlatTestWaitFor([&] { return port.eppWritten().size() >= 6; }, 10000));
            QVERIFY(PlatTestClick(epp, IDC_EPP_STOP_READ));
            QCOMPARE(EppWorkerRunning(), EPP_WORKER_WRITE);
            QCOMPARE(gStopSendFlag, LONG(0));
            QVERIFY(PlatTestClick(epp, IDC_EPP_STOP_SEND));
        }
        QVERIFY(WaitEnded());
        const LPARAM end = timeOut ? EPP_END_WRITE_TIMEOUT : stopped ? EPP_END_WRITE_STOPPED : EPP_END_WRITE_DONE;
        QCOMPARE(gEnds, std::vector<LPARAM>{end});
        const auto written = port.eppWritten();
        if (stopped) // whole passes only
            bytes = bytes.repeated(int(written.size()) / int(bytes.size()));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(written.data()), int(written.size())), bytes);
        if (timeOut) {
            QCOMPARE(MessageTexts(), std::vector<std::string>{"epp time-out !|error"});
            QCOMPARE(port.peekStatus() & 0x01, 0);
        } else {
            QVERIFY(MessageTexts().empty());
            QCOMPARE(port.control(), uint8_t(EPP_CONTROL_WRITE));
        }
        QVERIFY(PlatTestEnabled(epp, IDC_EPP_SEND) && PlatTestEnabled(epp, IDC_EPP_START_READ));
        QVERIFY(!PlatTestEnabled(epp, IDC_EPP_STOP_SEND));
    }
};

PLAT_TEST_MAIN_WITH(TestEpp, ResRegister)
#include "tst_epp.moc"
