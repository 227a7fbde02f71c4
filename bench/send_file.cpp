// Benchmark of the console's file road: a 5 MiB command file sent through
// the real console dialog (offscreen), its real reports handled by the real
// handler with real status-bar updates, to a USB printer node that drains as
// fast as it can: a named pipe, and a pseudo-terminal read by the virtual
// printer. Two references measured in the same run: a plain loop of 256-byte
// writes to the same kind of sink, and the floor of any synchronous hand-over
// between two threads (a condition-variable ping-pong). The floor moves with
// what else the machine does, so it is taken five times across the run and
// the median counts.
//
//   send_file [--mib N]
// The last line reads:
//   send_file: <MB/s> MB/s, <us> us/block, floor <us> us, write <us> us, ratio <r>
#include "platform/linux/roots.h"
#include "platform/testapi/testapi.h"
#include "port/port.h"
#include "port/portio.h"
#include "res/resource.h"
#include "res/resources.h"
#include "send/send.h"
#include "sim/pty.h"
#include "ui/console/console.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Micros = std::chrono::duration<double, std::micro>;

constexpr size_t kBlock = 256;

struct Timing {
    Clock::time_point first{};
    Clock::time_point last{};
    size_t blocks = 0;
    double slowestHandlerUs = 0;
    DWORD fileLength = 0;
    bool done = false;
    bool failed = false;
};
Timing gTiming;

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
        } else if (wParam == STATUS_FILE_PROGRESS) {
            ++gTiming.blocks;
            if (static_cast<DWORD>(lParam) >= gTiming.fileLength)
                gTiming.last = end;
        } else if (wParam == STATUS_FILE_DONE) {
            gTiming.done = true;
        } else if (wParam == STATUS_FILE_FAILED) {
            gTiming.failed = true;
        }
    }
    return result;
}

// Reads a named pipe until `total` bytes came or `stop` is set.
void Drain(const std::string& path, size_t total, std::atomic<bool>& stop)
{
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
}

// A USB printer node under `root` for the discovery to find: lp0.
void MakeUsbEntry(const std::string& root)
{
    std::filesystem::create_directories(root + "/sys/class/usbmisc/lp0");
    std::filesystem::create_directories(root + "/dev/usb");
}

// The console's file road: returns microseconds per block, or a negative
// number when the send did not complete.
double SendThroughConsole(const std::string& file)
{
    gTiming = Timing{};
    HWND console = PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_USER_CMD), nullptr, TimedConsoleProc);
    if (console == nullptr || !PlatTestClick(console, IDC_UC_USB) || !PlatTestChecked(console, IDC_UC_USB)) {
        std::fprintf(stderr, "send_file: the USB port did not open\n");
        return -1;
    }
    PlatTestFileChooserAnswer(file);
    PlatTestClick(console, IDC_UC_SEL_FILE);
    PlatTestClick(console, IDC_UC_SEND_FILE);
    PlatTestWaitFor([] { return gCurrentPort.state != PORT_STATE_BUSY; }, 300000);
    PlatTestClick(console, IDC_UC_EXIT);
    PlatTestDestroyAll();
    if (!gTiming.done || gTiming.failed || gTiming.blocks == 0)
        return -1;
    return Micros(gTiming.last - gTiming.first).count() / static_cast<double>(gTiming.blocks);
}

// 256-byte writes in a plain loop to a node like the one the console uses.
double PlainWrites(const std::string& node, size_t total)
{
    // Blocks until the drainer has the other end open.
    const int fd = open(node.c_str(), O_WRONLY);
    if (fd < 0)
        return -1;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::vector<char> block(kBlock, 'x');
    const auto start = Clock::now();
    size_t sent = 0;
    while (sent < total) {
        const ssize_t n = write(fd, block.data(), kBlock);
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
double PingPongFloor(int roundTrips)
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
    for (int i = 0; i < roundTrips; ++i) {
        std::unique_lock lock(mutex);
        turn = 1;
        cv.notify_all();
        cv.wait(lock, [&] { return turn == 0; });
    }
    const double us = Micros(Clock::now() - start).count();
    answerer.join();
    return us / roundTrips;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    size_t mib = 5;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--mib")
            mib = std::stoul(argv[i + 1]);
    const size_t total = mib * 1024 * 1024;

    ResRegister();
    PlatTestPrepareEnvironment();
    QApplication app(argc, argv);
    PlatTestRecordMessageBoxes();

    char pattern[] = "/tmp/mptest-bench-XXXXXX";
    const std::string root = mkdtemp(pattern);
    PlatSetRootPath(PlatRoot::Config, root + "/config");
    PlatSetRootPath(PlatRoot::Dev, root + "/dev");
    PlatSetRootPath(PlatRoot::Sys, root + "/sys");
    UtilInit();
    InitializeWinIo();
    InitPort();

    const std::string file = root + "/commands.bin";
    {
        std::ofstream out(file, std::ios::binary);
        std::vector<char> bytes(total);
        for (size_t i = 0; i < total; ++i)
            bytes[i] = static_cast<char>('A' + i % 26);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    constexpr int kFloorTrips = 4096;
    std::vector<double> floors{PingPongFloor(kFloorTrips)};

    // Sink 1: a named pipe standing as the USB node, drained as fast as it can.
    MakeUsbEntry(root);
    const std::string node = root + "/dev/usb/lp0";
    mkfifo(node.c_str(), 0600);
    std::atomic<bool> stop{false};
    std::thread drainer([&] { Drain(node, total, stop); });
    const double pipeUs = SendThroughConsole(file);
    const double pipeSlowest = gTiming.slowestHandlerUs;
    stop = true;
    drainer.join();
    floors.push_back(PingPongFloor(kFloorTrips));

    std::atomic<bool> stopPlain{false};
    std::thread plainDrainer([&] { Drain(node, total, stopPlain); });
    const double pipeWriteUs = PlainWrites(node, total);
    stopPlain = true;
    plainDrainer.join();
    std::filesystem::remove(node);
    floors.push_back(PingPongFloor(kFloorTrips));

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

    floors.push_back(PingPongFloor(kFloorTrips));
    floors.push_back(PingPongFloor(kFloorTrips));
    const double floorUs = Median(floors);
    std::filesystem::remove_all(root);

    if (pipeUs < 0) {
        std::fprintf(stderr, "send_file: the send through the console did not complete\n");
        return 1;
    }
    const double mbPerS = kBlock / pipeUs; // bytes per microsecond = MB/s
    std::printf("pipe: %.2f us/block (%.2f MB/s), slowest report handler %.1f us\n", pipeUs, mbPerS, pipeSlowest);
    if (ptyUs > 0)
        std::printf("pty (virtual printer): %.2f us/block (%.2f MB/s), slowest report handler %.1f us\n", ptyUs,
                    kBlock / ptyUs, ptySlowest);
    std::printf("references: plain 256-byte write %.2f us, hand-over floor %.2f us (median of", pipeWriteUs, floorUs);
    for (double f : floors)
        std::printf(" %.2f", f);
    std::printf(")\n");
    std::printf("send_file: %.2f MB/s, %.2f us/block, floor %.2f us, write %.2f us, ratio %.2f\n", mbPerS, pipeUs,
                floorUs, pipeWriteUs, pipeUs / (floorUs + pipeWriteUs));
    return 0;
}
