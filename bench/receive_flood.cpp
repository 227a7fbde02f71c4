// Benchmark of the console's receive area under a printer that floods the
// line: the virtual printer on a pseudo-terminal (COM1) sends 1 MB/s (paced
// in 10 ms slices) for a given time to the real console dialog (offscreen),
// which shows it in hex and keeps appending it to a session log. Measured:
// the longest the user-interface thread went without running its event loop
// (a 10 ms timer's worst lateness), the process's resident memory at the
// start and at its peak, the bytes the view counted and the log holds.
//
//   receive_flood [--seconds N] [--rate BYTES_PER_SECOND]
// The last line reads:
//   receive_flood: <MB> MB in <s> s, counted <MB> MB, logged <MB> MB, worst stall <ms> ms, rss <MiB> -> peak <MiB> MiB
#include "bench/bench_program.h"
#include "platform/testapi/testapi.h"
#include "port/port.h"
#include "port/portio.h"
#include "res/resource.h"
#include "res/resources.h"
#include "send/send.h"
#include "sim/pty.h"
#include "ui/console/console.h"

#include <QTimer>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Bytes in a session log's received lines: hex pairs of each "接收" line.
uint64_t LoggedBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    uint64_t bytes = 0;
    for (std::string line; std::getline(in, line);) {
        const size_t at = line.find(" 接收 ");
        if (at == std::string::npos)
            continue;
        const size_t end = std::min(line.find(" | ", at + 1), line.size());
        const size_t hex = end - (at + std::string(" 接收 ").size());
        bytes += (hex + 1) / 3;
    }
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    double seconds = 60;
    double rate = 1e6;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--seconds")
            seconds = std::stod(argv[i + 1]);
        else if (std::string(argv[i]) == "--rate")
            rate = std::stod(argv[i + 1]);
    }

    BenchPrepareEnvironment();
    QApplication app(argc, argv);
    const std::string root = BenchStartProgram();

    sim::SerialPrinter printer;
    if (!printer.ok() || !printer.recordAs("COM1")) {
        std::fprintf(stderr, "receive_flood: no virtual printer: %s\n", printer.error().c_str());
        return 1;
    }
    InitPort(); // COM1 is the printer now

    HWND console = PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_USER_CMD), nullptr, bUserCmdDlgProc);
    PlatTestClick(console, IDC_UC_SERIAL);
    const std::string log = root + "/flood.log";
    PlatTestClick(console, IDC_UC_LOG_APPEND);
    PlatTestFileChooserAnswer(log);
    PlatTestClick(console, IDC_UC_LOG_SAVE);

    const double startRss = BenchMemoryMiB("VmRSS:");
    double worstStallMs = 0;
    auto lastTick = Clock::now();
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        worstStallMs = std::max(worstStallMs, std::chrono::duration<double, std::milli>(now - lastTick).count() - 10);
        lastTick = now;
    });
    ticker.start(10);

    // The flood, paced in 10 ms slices from its own thread.
    const size_t slice = static_cast<size_t>(rate / 100);
    const size_t slices = static_cast<size_t>(seconds * 100);
    std::atomic<bool> sent{false};
    const auto started = Clock::now();
    std::thread flood([&] {
        std::vector<uint8_t> bytes(slice);
        for (size_t i = 0; i < slices; ++i) {
            for (size_t j = 0; j < slice; ++j)
                bytes[j] = static_cast<uint8_t>(i + j);
            printer.sendToHost(bytes);
            std::this_thread::sleep_until(started + std::chrono::milliseconds(10 * (i + 1)));
        }
        sent = true;
    });
    const uint64_t total = uint64_t(slice) * slices;
    const std::string expected = "已接收 " + std::to_string(total) + " 字节";
    PlatTestWaitFor([&] { return sent.load() && PlatTestText(console, IDC_UC_RX_COUNT) == expected; },
                    static_cast<int>(seconds * 1000) + 60000);
    flood.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
    ticker.stop();
    const std::string counted = PlatTestText(console, IDC_UC_RX_COUNT);
    PlatTestClick(console, IDC_UC_EXIT);
    const uint64_t logged = LoggedBytes(log);
    const double peakRss = BenchMemoryMiB("VmHWM:");
    printer.stop();
    std::filesystem::remove_all(root);

    std::printf("receive_flood: %.1f MB in %.1f s, counted %s, logged %.1f MB, worst stall %.0f ms, rss %.0f -> peak "
                "%.0f MiB\n",
                total / 1e6, elapsed, counted == expected ? "all" : counted.c_str(), logged / 1e6, worstStallMs,
                startRss, peakRss);
    return counted == expected && logged == total ? 0 : 1;
}
