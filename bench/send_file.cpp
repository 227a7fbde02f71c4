// Benchmark of the console's file road: a command file sent through the real
// console dialog (offscreen), its real reports handled by the real handler
// with real status-bar updates, to a USB printer node.
//
// Unpaced: a 5 MiB file to a node that drains as fast as it can (a named
// pipe, with "持续记录" appending the session log to a file, then a
// pseudo-terminal read by the virtual printer), with the longest time the
// event loop was held from input, paints and timers meanwhile, and the
// process's memory.
// Paced: a pseudo-terminal read at a printer's pace, 1 MB/s (USB full speed) and
// 11.52 kB/s (115200 baud): the rate the sink got, and mptest's CPU use while
// it sent (process CPU time over wall time, less the sink's own thread, as a
// share of one core).
// References measured in the same run: a plain loop of 256-byte writes to
// the same kind of sink, paced ones too (the targets are the plain loop's
// rate less 1 point at no more than 2x its CPU), and the floor of any synchronous hand-over between
// two threads (a condition-variable ping-pong). The floor moves with what
// else the machine does, so it is taken five times across the run and the
// median counts.
//
//   send_file [--mib N] [--paced-kib N] [--baud-kib N]
// The last line reads:
//   send_file: <MB/s> MB/s, <us> us/block, floor <us> us, write <us> us, ratio <r>,
//   1 MB/s <rate>% at <cpu>% (plain <rate>% at <cpu>%, CPU <x>x), 115200 likewise
// and the exit code is 1 when a paced target is missed (see docs/benchmarks.md).
#include "bench/bench_program.h"
#include "bench/paced_sink.h"
#include "platform/testapi/testapi.h"
#include "port/input.h"
#include "port/port.h"
#include "port/portio.h"
#include "res/resource.h"
#include "res/resources.h"
#include "send/send.h"
#include "sim/pty.h"
#include "ui/console/console.h"

#include <QEventLoop>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using bench::Clock;
using bench::CoreShare;
using bench::CpuSample;
using bench::CpuSeconds;
using bench::SampleCpu;
using bench::SinkThreadStarts;
using bench::WriteCommandFile;
using Micros = std::chrono::duration<double, std::micro>;

constexpr size_t kBlock = 256;

struct Timing {
    Clock::time_point first{};
    Clock::time_point last{};
    CpuSample cpuFirst, cpuLast;
    bench::ThreadSample threadsFirst, threadsLast;
    size_t blocks = 0;
    double slowestHandlerUs = 0;
    DWORD fileLength = 0;
    bool done = false;
    bool failed = false;
};
Timing gTiming;
QEventLoop* gSendEndLoop = nullptr; // the wait for the send's end, while it runs

INT_PTR CALLBACK TimedConsoleProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto start = Clock::now();
    const INT_PTR result = bUserCmdDlgProc(hwnd, message, wParam, lParam);
    if (message == WM_SENDFILE_STATUS) {
        const auto end = Clock::now();
        gTiming.slowestHandlerUs = std::max(gTiming.slowestHandlerUs, Micros(end - start).count());
        if (wParam == STATUS_FILE_LENGTH) {
            gTiming.fileLength = static_cast<DWORD>(lParam);
            gTiming.first = end;
            gTiming.cpuFirst = SampleCpu();
            gTiming.threadsFirst = bench::SampleThreads();
        } else if (wParam == STATUS_FILE_PROGRESS) {
            ++gTiming.blocks;
            if (static_cast<DWORD>(lParam) >= gTiming.fileLength) {
                gTiming.last = end;
                gTiming.cpuLast = SampleCpu();
                gTiming.threadsLast = bench::SampleThreads();
            }
        } else if (wParam == STATUS_FILE_DONE) {
            gTiming.done = true;
        } else if (wParam == STATUS_FILE_FAILED) {
            gTiming.failed = true;
        }
        if ((wParam == STATUS_FILE_DONE || wParam == STATUS_FILE_FAILED) && gSendEndLoop != nullptr)
            gSendEndLoop->quit();
    }
    return result;
}

// Reads a named pipe until `total` bytes came or `stop` is set.
void Drain(const std::string& path, size_t total, std::atomic<bool>& stop)
{
    SinkThreadStarts();
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return;
    std::vector<char> buffer(1 << 16);
    size_t got = 0;
    while (got < total && !stop) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0)
            continue;
        const ssize_t n = read(fd, buffer.data(), buffer.size());
        if (n > 0)
            got += static_cast<size_t>(n);
    }
    close(fd);
    bench::HoldUntil(stop);
}

// A USB printer node under `root` for the discovery to find: lp0.
void MakeUsbEntry(const std::string& root)
{
    std::filesystem::create_directories(root + "/sys/class/usbmisc/lp0");
    std::filesystem::create_directories(root + "/dev/usb");
}

// Runs the event loop as the program's modal loop does, until the send is
// over: the console's procedure ends it at the send's last report, so the
// wait itself wakes nothing (a look every 100 ms would be counted as
// mptest's CPU). The time-out only ends a send that never reports its end.
void WaitForSendEnd()
{
    QEventLoop loop;
    QTimer::singleShot(std::chrono::minutes(10), &loop, &QEventLoop::quit);
    gSendEndLoop = &loop;
    if (gCurrentPort.state == PORT_STATE_BUSY)
        loop.exec();
    gSendEndLoop = nullptr;
    // The sending thread releases the port just after its last report.
    for (const auto end = Clock::now() + std::chrono::seconds(10);
         gCurrentPort.state == PORT_STATE_BUSY && Clock::now() < end;)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// From here on VmHWM counts the peak anew.
void ResetPeakMemory()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// The longest the event loop was held from its timers: the largest gap
// between the ticks of a 2 ms timer, less the 2 ms.
struct LoopHold {
    QTimer tick;
    Clock::time_point lastTick = Clock::now();
    double longestMs = 0;
    LoopHold()
    {
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            longestMs = std::max(longestMs, std::chrono::duration<double, std::milli>(now - lastTick).count() - 2);
            lastTick = now;
        });
        tick.start(2);
    }
};

// The same with nothing to do: what the machine itself adds.
double IdleLoopHold()
{
    LoopHold hold;
    QEventLoop loop;
    QTimer::singleShot(500, &loop, &QEventLoop::quit);
    loop.exec();
    return hold.longestMs;
}

// The process's resident size around a send, in MiB.
struct SendMemory {
    double before = 0; // the console open, its port and log chosen
    double peak = 0;
    double ended = 0;  // the send over, the console still open
    double closed = 0; // and once the console closed
};

// The console's file road: returns microseconds per block, or a negative
// number when the send did not complete. With a `log`, "持续记录" appends
// the session log to it, and `memory` gets the memory the send took.
double SendThroughConsole(const std::string& file, const std::string& log = {}, SendMemory* memory = nullptr)
{
    gTiming = Timing{};
    HWND console = PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_USER_CMD), nullptr, TimedConsoleProc);
    if (console == nullptr || !PlatTestClick(console, IDC_UC_USB) || !PlatTestChecked(console, IDC_UC_USB)) {
        std::fprintf(stderr, "send_file: the USB port did not open\n");
        return -1;
    }
    if (!log.empty()) {
        PlatTestClick(console, IDC_UC_LOG_APPEND);
        PlatTestFileChooserAnswer(log);
        PlatTestClick(console, IDC_UC_LOG_SAVE);
        // The send with a log is the one to the named pipe, which gives the
        // console back what it wrote; no printer does (the receive view has
        // a benchmark of its own).
        PortReaderStop();
    }
    PlatTestFileChooserAnswer(file);
    PlatTestClick(console, IDC_UC_SEL_FILE);
    ResetPeakMemory();
    if (memory != nullptr)
        memory->before = BenchMemoryMiB("VmRSS:");
    PlatTestClick(console, IDC_UC_SEND_FILE);
    WaitForSendEnd();
    if (memory != nullptr) {
        memory->peak = BenchMemoryMiB("VmHWM:");
        memory->ended = BenchMemoryMiB("VmRSS:");
    }
    PlatTestClick(console, IDC_UC_EXIT);
    PlatTestDestroyAll();
    if (memory != nullptr)
        memory->closed = BenchMemoryMiB("VmRSS:");
    if (!gTiming.done || gTiming.failed || gTiming.blocks == 0)
        return -1;
    // Per 256-byte block written, not per report: reports come at a screen's pace.
    const double blocks = (static_cast<double>(gTiming.fileLength) + kBlock - 1) / kBlock;
    return Micros(gTiming.last - gTiming.first).count() / blocks;
}

// 256-byte writes in a plain loop to a node like the one the console uses.
double PlainWrites(const std::string& node, size_t total)
{
    // Blocks until the drainer has the other end open.
    const int fd = open(node.c_str(), O_WRONLY);
    if (fd < 0)
        return -1;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    const std::vector<char> data = bench::CommandBytes(total); // the file's bytes, as the console sends them
    const auto start = Clock::now();
    size_t sent = 0;
    while (sent < total) {
        const ssize_t n = write(fd, data.data() + sent, std::min(kBlock, total - sent));
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 100);
        }
    }
    const double us = Micros(Clock::now() - start).count();
    close(fd);
    return us / static_cast<double>(total / kBlock);
}

// The floor of a synchronous hand-over: one thread asks, the other answers.
// Microseconds a round trip; `cpuUs` gets the CPU time both threads spent on it.
double PingPongFloor(int roundTrips, double& cpuUs)
{
    std::mutex mutex;
    std::condition_variable cv;
    int turn = 0; // 1: the answerer's turn, 0: the asker's
    std::thread answerer([&] {
        for (int i = 0; i < roundTrips; ++i) {
            std::unique_lock lock(mutex);
            cv.wait(lock, [&] { return turn == 1; });
            turn = 0;
            cv.notify_all();
        }
    });
    const auto start = Clock::now();
    const double cpuStart = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    for (int i = 0; i < roundTrips; ++i) {
        std::unique_lock lock(mutex);
        turn = 1;
        cv.notify_all();
        cv.wait(lock, [&] { return turn == 0; });
    }
    const double us = Micros(Clock::now() - start).count();
    answerer.join();
    cpuUs = (CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart) * 1e6 / roundTrips;
    return us / roundTrips;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Paced {
    const char* name;
    double bytesPerSecond;
    double rate = 0; // what the sink got, bytes per second
    double coreShare = 0;
    double plainRate = 0; // the same for the plain loop of 256-byte writes
    double plainCoreShare = 0;
    bench::CpuSplit split; // mptest's share by thread
};

// A file of `bytes` to a printer node read at the pace of `p`: a
// pseudo-terminal, as the virtual USB printer is, so what the console reads
// back from the node is the printer's (nothing), not the bytes it sent.
void SendPaced(const std::string& root, const std::string& node, size_t bytes, Paced& p)
{
    const std::string file = root + "/paced.bin";
    WriteCommandFile(file, bytes);
    const int fd = bench::OpenPacedNode(node);
    if (fd < 0)
        return;
    bench::SinkControl control;
    std::thread sink([&] { p.rate = bench::PacedDrain(fd, p.bytesPerSecond, bytes, control); });
    const bool sent = SendThroughConsole(file) > 0;
    bench::EndPacedSink(control, sink, node, !sent);
    if (sent) {
        p.coreShare = CoreShare(gTiming.cpuFirst, gTiming.cpuLast);
        p.split = bench::SplitCpu(gTiming.threadsFirst, gTiming.threadsLast,
                                  bench::Seconds(gTiming.cpuLast.wall - gTiming.cpuFirst.wall).count());
    } else {
        p.rate = 0;
    }
}

} // namespace

int main(int argc, char** argv)
{
    size_t mib = 5;
    size_t pacedKib = 4096;
    size_t baudKib = 192;
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--mib")
            mib = std::stoul(argv[i + 1]);
        else if (a == "--paced-kib")
            pacedKib = std::stoul(argv[i + 1]);
        else if (a == "--baud-kib")
            baudKib = std::stoul(argv[i + 1]);
    }
    const size_t total = mib * 1024 * 1024;

    BenchPrepareEnvironment();
    QApplication app(argc, argv);
    const std::string root = BenchStartProgram();

    const std::string file = root + "/commands.bin";
    WriteCommandFile(file, total);

    constexpr int kFloorTrips = 4096;
    std::vector<double> floorCpu;
    std::vector<double> floors{PingPongFloor(kFloorTrips, floorCpu.emplace_back())};

    // Sink 1: a named pipe standing as the USB node, drained as fast as it can.
    MakeUsbEntry(root);
    const std::string node = root + "/dev/usb/lp0";
    mkfifo(node.c_str(), 0600);
    std::atomic<bool> stop{false};
    std::thread drainer([&] { Drain(node, total, stop); });
    double pipeUs = 0;
    double holdMs = 0;
    const double idleHoldMs = IdleLoopHold();
    SendMemory memory;
    {
        LoopHold hold;
        pipeUs = SendThroughConsole(file, root + "/session.log", &memory);
        holdMs = hold.longestMs;
    }
    const double pipeSlowest = gTiming.slowestHandlerUs;
    const double pipeCores = CoreShare(gTiming.cpuFirst, gTiming.cpuLast);
    stop = true;
    drainer.join();
    bench::SinkThreadEnded();
    floors.push_back(PingPongFloor(kFloorTrips, floorCpu.emplace_back()));

    std::atomic<bool> stopPlain{false};
    std::thread plainDrainer([&] { Drain(node, total, stopPlain); });
    const double pipeWriteUs = PlainWrites(node, total);
    stopPlain = true;
    plainDrainer.join();
    bench::SinkThreadEnded();
    std::filesystem::remove(node);
    floors.push_back(PingPongFloor(kFloorTrips, floorCpu.emplace_back()));

    // Sink 2: a pseudo-terminal read by the virtual printer.
    double ptyUs = -1;
    double ptySlowest = 0;
    {
        sim::UsbPrinter printer(root, 0);
        if (printer.ok()) {
            ptyUs = SendThroughConsole(file);
            ptySlowest = gTiming.slowestHandlerUs;
        }
        printer.stop();
    }
    floors.push_back(PingPongFloor(kFloorTrips, floorCpu.emplace_back()));

    // Sinks 3 and 4: the pipe read at a printer's pace.
    // Each beside the plain loop at the same pace, in the same run.
    Paced paced[] = {{"1 MB/s", 1e6}, {"115200", 11520}};
    SendPaced(root, node, pacedKib * 1024, paced[0]);
    const bench::PlainResult plain0 = bench::PlainPaced(node, pacedKib * 1024, paced[0].bytesPerSecond);
    paced[0].plainRate = plain0.rate;
    paced[0].plainCoreShare = plain0.coreShare;
    SendPaced(root, node, baudKib * 1024, paced[1]);
    const bench::PlainResult plain1 = bench::PlainPaced(node, baudKib * 1024, paced[1].bytesPerSecond);
    paced[1].plainRate = plain1.rate;
    paced[1].plainCoreShare = plain1.coreShare;

    floors.push_back(PingPongFloor(kFloorTrips, floorCpu.emplace_back()));
    const double floorUs = Median(floors);
    const double floorCpuUs = Median(floorCpu);
    std::filesystem::remove_all(root);

    if (pipeUs < 0) {
        std::fprintf(stderr, "send_file: the send through the console did not complete\n");
        return 1;
    }
    const double mbPerS = kBlock / pipeUs; // bytes per microsecond = MB/s
    std::printf("pipe: %.2f us/block (%.2f MB/s), mptest %.0f%% of one core, slowest report handler %.1f us, "
                "event loop held at most %.1f ms (idle: %.1f ms)\n",
                pipeUs, mbPerS, pipeCores * 100, pipeSlowest, holdMs, idleHoldMs);
    std::printf("memory of that send: %.0f MiB before, peak +%.1f MiB, +%.1f MiB once it ended, %+.1f MiB once the "
                "console closed\n",
                memory.before, memory.peak - memory.before, memory.ended - memory.before,
                memory.closed - memory.before);
    if (ptyUs > 0)
        std::printf("pty (virtual printer): %.2f us/block (%.2f MB/s), slowest report handler %.1f us\n", ptyUs,
                    kBlock / ptyUs, ptySlowest);
    bool met = mbPerS >= 2.0;
    for (const Paced& p : paced) {
        const double share = p.rate / p.bytesPerSecond;
        const double plainShare = p.plainRate / p.bytesPerSecond;
        const double cpuRatio = p.plainCoreShare > 0 ? p.coreShare / p.plainCoreShare : 0;
        std::printf("paced %s: got %.0f B/s (%.1f%% of %.0f), mptest %.2f%% of one core; plain loop %.1f%% at "
                    "%.2f%%; rate %+.1f points, CPU %.2fx the plain loop's\n",
                    p.name, p.rate, share * 100, p.bytesPerSecond, p.coreShare * 100, plainShare * 100,
                    p.plainCoreShare * 100, (share - plainShare) * 100, cpuRatio);
        std::printf("  mptest by thread: sending %.2f%% (%.2fx the plain loop's), window %.2f%%, others %.2f%%\n",
                    p.split.sender * 100, p.plainCoreShare > 0 ? p.split.sender / p.plainCoreShare : 0,
                    p.split.window * 100, p.split.others * 100);
        met = met && p.plainRate > 0 && share >= plainShare - 0.01 && cpuRatio <= 2.0;
    }
    std::printf("references: plain 256-byte write %.2f us, hand-over floor %.2f us (median of", pipeWriteUs, floorUs);
    for (double f : floors)
        std::printf(" %.2f", f);
    std::printf("), of which CPU %.2f us\n", floorCpuUs);
    std::printf("send_file: %.2f MB/s, %.2f us/block, floor %.2f us, write %.2f us, ratio %.2f, "
                "1 MB/s %.1f%% at %.2f%% (plain %.1f%% at %.2f%%, CPU %.2fx), "
                "115200 %.1f%% at %.2f%% (plain %.1f%% at %.2f%%, CPU %.2fx)\n",
                mbPerS, pipeUs, floorUs, pipeWriteUs, pipeUs / (floorUs + pipeWriteUs),
                paced[0].rate / paced[0].bytesPerSecond * 100, paced[0].coreShare * 100,
                paced[0].plainRate / paced[0].bytesPerSecond * 100, paced[0].plainCoreShare * 100,
                paced[0].plainCoreShare > 0 ? paced[0].coreShare / paced[0].plainCoreShare : 0,
                paced[1].rate / paced[1].bytesPerSecond * 100, paced[1].coreShare * 100,
                paced[1].plainRate / paced[1].bytesPerSecond * 100, paced[1].plainCoreShare * 100,
                paced[1].plainCoreShare > 0 ? paced[1].coreShare / paced[1].plainCoreShare : 0);
    if (!met)
        std::printf("send_file: a target was missed (unpaced >= 2 MB/s; paced: the plain loop's rate less 1 "
                    "point at no more than 2x its CPU)\n");
    return met ? 0 : 1;
}
