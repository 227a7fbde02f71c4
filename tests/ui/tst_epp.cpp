// The EPP console against the virtual printer's parallel register model and
// a temporary home folder: status reports, the capture file, the time-out,
// stops and closes while the read thread runs, and the write group.
#include "port/port.h"
#include "port/portio.h"
#include "res/resource.h"
#include "send/epp.h"
#include "send/send.h"
#include "ui/epp/epp.h"
#include "ui/support/printer_rig.h"

#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

namespace {

// Box 1227 after each status report, the ended reports, and the capture
// file's handle as the port record held it during the first status report.
std::vector<std::string> gStatusShown;
std::vector<LPARAM> gEnds;
HANDLE gCaptureHandle;

INT_PTR CALLBACK RecordingEppProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    const INT_PTR result = bEppDlgProc(hwnd, message, wParam, lParam);
    if (message == WM_EPP_STATUS && wParam == STATUS_EPP_CHANGED) {
        if (gStatusShown.empty())
            gCaptureHandle = gCurrentPort.handle; // the reader waits in this report
        gStatusShown.push_back(PlatTestText(hwnd, IDC_EPP_STATUS));
    } else if (message == WM_EPP_STATUS && wParam == STATUS_EPP_ENDED) {
        gEnds.push_back(lParam);
    }
    return result;
}

HWND OpenEpp()
{
    gStatusShown.clear();
    gEnds.clear();
    gCaptureHandle = nullptr;
    return PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_EPP), nullptr, RecordingEppProc);
}

bool WaitEnded(size_t count = 1)
{
    return PlatTestWaitFor([=] { return gEnds.size() >= count; }, 10000);
}

bool WaitShown(const std::string& text)
{
    return PlatTestWaitFor(
        [&] { return std::find(gStatusShown.begin(), gStatusShown.end(), text) != gStatusShown.end(); }, 10000);
}

std::vector<uint8_t> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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
            const auto id = std::this_thread::get_id();
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
    std::vector<std::thread::id> readers() const
    {
        std::lock_guard lock(mutex_);
        return readers_;
    }
    std::function<void(BYTE)> onControl;

private:
    sim::ParallelPort& port_;
    mutable std::mutex mutex_;
    std::vector<std::thread::id> readers_;
};

struct Watched {
    explicit Watched(rig::Bench& bench) : backend(bench.parallelPort())
    {
        PortIoSetBackendForTest(&backend);
        InitializeWinIo();
    }
    WatchedParallel backend;
};

} // namespace

class TestEpp : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        PlatTestRecordMessageBoxes();
        PlatTestClearMessageBoxes();
    }
    void cleanup()
    {
        StopEppAndWait();
        PlatTestDestroyAll();
    }

    void opensIdleWithNothingSelected()
    {
        rig::Bench bench;
        HWND epp = OpenEpp();
        QVERIFY(epp != nullptr);
        QVERIFY(!PlatTestChecked(epp, IDC_EPP_PARALLEL));
        QCOMPARE(PlatTestText(epp, IDC_EPP_STATUS), std::string());
        QVERIFY(PlatTestEnabled(epp, IDC_EPP_START_READ));
        QVERIFY(PlatTestEnabled(epp, IDC_EPP_SEND));
        QVERIFY(!PlatTestEnabled(epp, IDC_EPP_STOP_SEND));
        // The radio only marks the port record idle.
        QVERIFY(PlatTestClick(epp, IDC_EPP_PARALLEL));
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_IDLE));
        QVERIFY(gCurrentPort.handle == nullptr);
    }

    void everyStatusChangeIsReportedOnceAndShownInHex()
    {
        rig::Bench bench;
        auto& port = bench.parallelPort();
        // Reads of 0 at first report nothing; the change back to 0 is reported.
        port.setStatusScript({0, 0, 0, 0x7F, 0x7F, 0x7F, 0x0A, 0x0A, 0});
        HWND epp = OpenEpp();
        QVERIFY(PlatTestClick(epp, IDC_EPP_START_READ));
        QVERIFY(!PlatTestEnabled(epp, IDC_EPP_START_READ));
        QVERIFY(WaitShown("00"));
        QVERIFY(PlatTestClick(epp, IDC_EPP_STOP_READ));
        QVERIFY(!PlatTestEnabled(epp, IDC_EPP_START_READ) || !gEnds.empty());
        QVERIFY(WaitEnded());
        QCOMPARE(gStatusShown, (std::vector<std::string>{"7f", "0a", "00"}));
        QCOMPARE(gEnds, std::vector<LPARAM>{EPP_END_READ_STOPPED});
        QVERIFY(PlatTestEnabled(epp, IDC_EPP_START_READ));
        QCOMPARE(port.control(), uint8_t(0x24));
        QCOMPARE(port.eppReads(), uint64_t(0));
        // The capture file was made, and got nothing.
        QVERIFY(std::filesystem::exists(bench.dir().path() + "/epp.txt"));
        QVERIFY(ReadAll(bench.dir().path() + "/epp.txt").empty());
        QVERIFY(gCurrentPort.handle == nullptr);
    }

    // A steady ready status reads one byte per cycle into the capture file;
    // an older, longer file keeps its tail.
    void steadyReadyStatusCapturesEveryByte_data()
    {
        QTest::addColumn<int>("oldSize");
        QTest::newRow("no old file") << 0;
        QTest::newRow("100-byte old file") << 100;
    }

    void steadyReadyStatusCapturesEveryByte()
    {
        QFETCH(int, oldSize);
        rig::Bench bench;
        auto& port = bench.parallelPort();
        const std::string capture = bench.dir().path() + "/epp.txt";
        if (oldSize > 0)
            bench.dir().writeFile("epp.txt", std::vector<uint8_t>(size_t(oldSize), 'o'));
        port.setBusyWhileEppEmpty(true);
        port.setStatusScript({0xD8});
        const std::vector<uint8_t> sent = Bytes(10, 0x30);
        port.pushEpp(sent);
        HWND epp = OpenEpp();
        QVERIFY(PlatTestClick(epp, IDC_EPP_START_READ));
        // With the queue empty the status shows busy: the one further report.
        QVERIFY(WaitShown("58"));
        QVERIFY(PlatTestClick(epp, IDC_EPP_STOP_READ));
        QVERIFY(WaitEnded());
        QCOMPARE(gStatusShown, (std::vector<std::string>{"d8", "58"}));
        QCOMPARE(port.eppReads(), uint64_t(10));
        std::vector<uint8_t> expected = sent;
        if (oldSize > 10)
            expected.resize(size_t(oldSize), 'o');
        QCOMPARE(ReadAll(capture), expected);
    }

    void aStopBeforeTheFirstCycleLeavesTheFileAsItWas()
    {
        rig::Bench bench;
        Watched watched(bench);
        const std::string capture = bench.dir().writeFile("epp.txt", {'o', 'l', 'd'});
        bench.parallelPort().setStatusScript({0x80});
        bench.parallelPort().pushEpp(Bytes(5, 1));
        // The stop request arrives as the thread turns the data lines to input.
        watched.backend.onControl = [](BYTE value) {
            if (value == EPP_CONTROL_READ)
                rig::RequestStop();
        };
        HWND epp = OpenEpp();
        QVERIFY(PlatTestClick(epp, IDC_EPP_START_READ));
        QVERIFY(WaitEnded());
        QCOMPARE(gEnds, std::vector<LPARAM>{EPP_END_READ_STOPPED});
        QCOMPARE(bench.parallelPort().control(), uint8_t(0x24));
        QCOMPARE(bench.parallelPort().statusPolls(), uint64_t(0));
        QCOMPARE(ReadAll(capture), (std::vector<uint8_t>{'o', 'l', 'd'}));
        QCOMPARE(gStopSendFlag, LONG(0));
    }

    void aLinkAtTheCapturePathIsRefused()
    {
        rig::Bench bench;
        const std::string target = bench.dir().writeFile("target", {'t'});
        std::filesystem::create_symlink(target, bench.dir().path() + "/epp.txt");
        bench.parallelPort().setStatusScript({0x80});
        bench.parallelPort().pushEpp(Bytes(5, 1));
        HWND epp = OpenEpp();
        QVERIFY(PlatTestClick(epp, IDC_EPP_START_READ));
        QVERIFY(WaitEnded());
        QCOMPARE(gEnds, std::vector<LPARAM>{EPP_END_READ_NO_FILE});
        QCOMPARE(ReadAll(target), std::vector<uint8_t>{'t'});
        QCOMPARE(bench.parallelPort().eppReads(), uint64_t(0));
        QCOMPARE(MessageTexts(),
                 std::vector<std::string>{"无法打开数据文件 epp.txt(文件被占用、是链接或没有写权限)!|Error"});
        QVERIFY(PlatTestEnabled(epp, IDC_EPP_START_READ));
    }

    void aTimeOutEndsTheReadAndKeepsStartOffUntilStop()
    {
        rig::Bench bench;
        auto& port = bench.parallelPort();
        // Ready, but nothing answers the data read: the time-out bit comes up.
        port.setStatusScript({0x80});
        HWND epp = OpenEpp();
        QVERIFY(PlatTestClick(epp, IDC_EPP_START_READ));
        QVERIFY(WaitEnded());
        QCOMPARE(gEnds, std::vector<LPARAM>{EPP_END_READ_TIMEOUT});
        QCOMPARE(MessageTexts(), std::vector<std::string>{"epp time-out !|error"});
        QCOMPARE(PlatTestMessageBoxes().front().type, UINT(MB_OK | MB_ICONERROR));
        QVERIFY(PlatTestMessageBoxes().front().owner == nullptr);
        // The thread cleared the time-out by writing 1 to the status register.
        QCOMPARE(port.peekStatus() & 0x01, 0);
        QVERIFY(ReadAll(bench.dir().path() + "/epp.txt").empty());
        QVERIFY(gCurrentPort.handle == nullptr);
        QVERIFY(!PlatTestEnabled(epp, IDC_EPP_START_READ));
        QVERIFY(PlatTestClick(epp, IDC_EPP_STOP_READ));
        QVERIFY(PlatTestEnabled(epp, IDC_EPP_START_READ));
        QCOMPARE(gStopSendFlag, LONG(1)); // cleared by the next start
    }

    void stopWithoutAReadOnlyGivesStartBack()
    {
        rig::Bench bench;
        bench.parallelPort().setStatusScript({0x11});
        HWND epp = OpenEpp();
        QVERIFY(PlatTestClick(epp, IDC_EPP_STOP_READ));
        QVERIFY(PlatTestEnabled(epp, IDC_EPP_START_READ));
        QCOMPARE(gStopSendFlag, LONG(1));
        // The next start clears the leftover request and reads.
        QVERIFY(PlatTestClick(epp, IDC_EPP_START_READ));
        QVERIFY(WaitShown("11"));
        QCOMPARE(EppWorkerRunning(), EPP_WORKER_READ);
        QVERIFY(PlatTestCloseBox(epp));
        QCOMPARE(EppWorkerRunning(), EPP_WORKER_NONE);
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
        QCOMPARE(uint64_t(ReadAll(bench.dir().path() + "/epp.txt").size()), reads);
        DWORD high = 0;
        QCOMPARE(GetFileSize(gCaptureHandle, &high), DWORD(INVALID_FILE_SIZE));
        QCOMPARE(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    }

    void startStopStartNeverRunsTwoReaders()
    {
        rig::Bench bench;
        Watched watched(bench);
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
        const auto readers = watched.backend.readers();
        std::vector<std::thread::id> seen;
        for (const auto& id : readers) {
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
        PlatSetRootPath(PlatRoot::Proc, bench.dir().path() + "/proc");
        PortIoSetBackendForTest(nullptr);
        InitializeWinIo();
        QCOMPARE(std::string(PortIoBackendName()), std::string("none"));
        HWND epp = OpenEpp();
        QVERIFY(PlatTestClick(epp, IDC_EPP_START_READ));
        PlatTestType(epp, IDC_EPP_INPUT, "41");
        QVERIFY(PlatTestClick(epp, IDC_EPP_SEND));
        QCOMPARE(EppWorkerRunning(), EPP_WORKER_NONE);
        const std::string text = "找不到可用的并口(没有并口，或没有访问并口的权限)!|Error";
        QCOMPARE(MessageTexts(), (std::vector<std::string>{text, text}));
        QVERIFY(PlatTestEnabled(epp, IDC_EPP_START_READ));
        QVERIFY(!std::filesystem::exists(bench.dir().path() + "/epp.txt"));
        PlatSetRootPath(PlatRoot::Proc, "");
    }

    void theWriteGroupSendsToTheEppDataRegister_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("hex") << "1B 40 0A" << true << QByteArray("\x1B\x40\x0A", 3);
        QTest::newRow("text in GBK") << "测试" << false << QByteArray("\xB2\xE2\xCA\xD4");
    }

    void theWriteGroupSendsToTheEppDataRegister()
    {
        QFETCH(QString, typed);
        QFETCH(bool, hex);
        QFETCH(QByteArray, bytes);
        rig::Bench bench;
        auto& port = bench.parallelPort();
        HWND epp = OpenEpp();
        QVERIFY(PlatTestType(epp, IDC_EPP_INPUT, typed.toStdString()));
        if (hex)
            QVERIFY(PlatTestClick(epp, IDC_EPP_HEX));
        QVERIFY(PlatTestClick(epp, IDC_EPP_SEND));
        QVERIFY(WaitEnded());
        QCOMPARE(gEnds, std::vector<LPARAM>{EPP_END_WRITE_DONE});
        const auto written = port.eppWritten();
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(written.data()), int(written.size())), bytes);
        QCOMPARE(port.control(), uint8_t(EPP_CONTROL_WRITE));
        QVERIFY(PlatTestEnabled(epp, IDC_EPP_SEND));
        QVERIFY(PlatTestEnabled(epp, IDC_EPP_START_READ));
        QVERIFY(MessageTexts().empty());
    }

    void aWriteThatTimesOutSaysSoAndEnds()
    {
        rig::Bench bench;
        auto& port = bench.parallelPort();
        port.setEppTimeout(true); // no peripheral answers the write cycle
        HWND epp = OpenEpp();
        PlatTestType(epp, IDC_EPP_INPUT, "41 42");
        PlatTestClick(epp, IDC_EPP_HEX);
        PlatTestClick(epp, IDC_EPP_LOOP);
        QVERIFY(PlatTestClick(epp, IDC_EPP_SEND));
        QVERIFY(WaitEnded());
        QCOMPARE(gEnds, std::vector<LPARAM>{EPP_END_WRITE_TIMEOUT});
        QCOMPARE(MessageTexts(), std::vector<std::string>{"epp time-out !|error"});
        QCOMPARE(port.eppWritten(), std::vector<uint8_t>{0x41});
        QCOMPARE(port.peekStatus() & 0x01, 0);
        QVERIFY(PlatTestEnabled(epp, IDC_EPP_SEND));
        QVERIFY(!PlatTestEnabled(epp, IDC_EPP_STOP_SEND));
    }

    void aRepeatingWriteRunsUntilItsStopAndNotUntilStopRead()
    {
        rig::Bench bench;
        PlatSetTimeScale(0.05);
        auto& port = bench.parallelPort();
        HWND epp = OpenEpp();
        PlatTestType(epp, IDC_EPP_INPUT, "55 AA");
        PlatTestClick(epp, IDC_EPP_HEX);
        PlatTestClick(epp, IDC_EPP_LOOP);
        QVERIFY(PlatTestClick(epp, IDC_EPP_SEND));
        QVERIFY(!PlatTestEnabled(epp, IDC_EPP_SEND));
        QVERIFY(!PlatTestEnabled(epp, IDC_EPP_START_READ));
        QVERIFY(PlatTestEnabled(epp, IDC_EPP_STOP_SEND));
        QVERIFY(PlatTestWaitFor([&] { return port.eppWritten().size() >= 6; }, 10000));
        QVERIFY(PlatTestClick(epp, IDC_EPP_STOP_READ));
        QCOMPARE(EppWorkerRunning(), EPP_WORKER_WRITE);
        QCOMPARE(gStopSendFlag, LONG(0));
        QVERIFY(PlatTestClick(epp, IDC_EPP_STOP_SEND));
        QVERIFY(WaitEnded());
        QCOMPARE(gEnds, std::vector<LPARAM>{EPP_END_WRITE_STOPPED});
        const auto written = port.eppWritten();
        QCOMPARE(written.size() % 2, size_t(0));
        for (size_t i = 0; i < written.size(); i += 2)
            QCOMPARE(int(written[i]) << 8 | written[i + 1], 0x55AA);
        QVERIFY(PlatTestEnabled(epp, IDC_EPP_SEND));
        QVERIFY(!PlatTestEnabled(epp, IDC_EPP_STOP_SEND));
        QVERIFY(PlatTestEnabled(epp, IDC_EPP_START_READ));
    }
};

PLAT_TEST_MAIN(TestEpp)
#include "tst_epp.moc"
