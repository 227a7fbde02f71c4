// Benchmark of mptest-cli as a production line runs it, against the virtual
// printer in this process:
//  - a short job from process start to exit: a 3-byte hexadecimal send to a
//    serial printer (a pseudo-terminal given as --port), 20 runs, the median
//    and the slowest, beside /bin/echo started the same way in turns with it
//    (target: at most 5 times echo's median), with the CPU each took;
//  - a 1 MiB command file to a USB printer, sent by mptest-cli and by the
//    console dialog, each rate taken the same way, at the printer: from its
//    first byte to its last, in turns, three times each, the medians
//    compared (target: mptest-cli within 10% of the console);
//  - a command file sent by mptest-cli to a printer node read at a printer's
//    pace, beside the plain loop of blocking 256-byte writes to the same kind
//    of node in the same run, in a process of its own as mptest-cli is: 4 MiB at 1 MB/s to a serial and to a USB
//    printer, 192 KiB at 11.52 kB/s (115200 baud) to a serial one. For each
//    the rate the printer got, the CPU (mptest-cli's whole process; at
//    115200 less the short job's, which is its start-up) and the time from
//    the printer's last byte to the process's end (targets: the plain loop's
//    rate less 1 point, at most 2x its CPU; the end within 0.2 s).
//
//   cli_send [--runs N] [--mib N] [--paced-kib N] [--baud-kib N]
// The last line reads:
//   cli_send: short job <ms> ms median, <ms> ms slowest, <r>x echo; file <MB/s> MB/s, console <MB/s> MB/s, ratio <r>;
//   1 MB/s <rate>% CPU <x>x end <s> s, 115200 <rate>% CPU <x>x end <s> s
// and the exit code is 1 when a paced target is missed.
#include "bench/bench_program.h"
#include "bench/paced_sink.h"
#include "platform/testapi/testapi.h"
#include "port/port.h"
#include "port/portio.h"
#include "res/resource.h"
#include "res/resources.h"
#include "send/send.h"
#include "sim/pty.h"
#include "ui/console/console.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

std::string CliPath()
{
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "mptest-cli").string();
}

// Starts a program with its standard output on /dev/null.
pid_t Start(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed != 0 ? -1 : pid;
}

// CPU time the waited-for children used so far, in ms.
double ChildrenCpuMs()
{
    rusage use{};
    getrusage(RUSAGE_CHILDREN, &use);
    return (use.ru_utime.tv_sec + use.ru_stime.tv_sec) * 1e3 + (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e3;
}

bool Finished(pid_t pid)
{
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The printer's rate over a send started by `start`: from its first byte
// to its last, in MB/s; negative when the bytes did not all arrive. The
// wait delivers this thread's messages, which the console's sending thread
// reports through; each byte count is looked at within 5 ms, for both sends.
template <typename Start>
double RateAtPrinter(sim::PtyPrinter& printer, uint64_t before, size_t total, Start start)
{
    auto received = [&] { return printer.printer().state().bytesReceived; };
    start();
    if (!PlatTestWaitFor([&] { return received() > before; }, 30000))
        return -1;
    const auto first = Clock::now();
    const uint64_t firstCount = received();
    if (!PlatTestWaitFor([&] { return received() >= before + total; }, 120000))
        return -1;
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - first).count();
    return static_cast<double>(before + total - firstCount) / us;
}

// What one paced send by mptest-cli gave, beside the plain loop's.
struct PacedCli {
    const char* name;
    double bytesPerSecond;
    size_t bytes;
    bool usb;
    double rate = 0; // at the printer, bytes per second; 0 when the send failed
    double cpuSeconds = 0;
    double endGap = 0; // the process's end less the printer's last byte, seconds
    bench::PlainResult plain;
};

// mptest-cli sends a file of p.bytes to a printer node read at p's pace: a
// serial line given by its path, or the USB printer under `root`.
void SendPacedByCli(const std::string& cli, const std::string& root, PacedCli& p)
{
    const std::string file = root + "/paced.bin";
    bench::WriteCommandFile(file, p.bytes);
    const std::string node = p.usb ? root + "/dev/usb/lp0" : root + "/paced-tty";
    const int fd = bench::OpenPacedNode(node);
    if (fd < 0)
        return;
    bench::SinkControl control;
    std::thread sink([&] { p.rate = bench::PacedDrain(fd, p.bytesPerSecond, p.bytes, control); });
    const pid_t pid = p.usb ? Start({cli, "send", "--port", "usb", "--device-root", root, "--file", file, "--quiet"})
                            : Start({cli, "send", "--port", node, "--file", file, "--quiet"});
    int status = 0;
    rusage use{};
    const bool ended = pid > 0 && wait4(pid, &status, 0, &use) == pid;
    const auto end = Clock::now();
    const bool sent = ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    bench::EndPacedSink(control, sink, node, !sent);
    if (!sent) {
        p.rate = 0;
        return;
    }
    p.cpuSeconds = static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
                   static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) * 1e-6;
    p.endGap = std::chrono::duration<double>(end - control.lastByte).count();
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 20;
    size_t mib = 1;
    size_t pacedKib = 4096;
    size_t baudKib = 192;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--runs")
            runs = std::stoi(argv[i + 1]);
        if (std::string(argv[i]) == "--mib")
            mib = std::stoul(argv[i + 1]);
        if (std::string(argv[i]) == "--paced-kib")
            pacedKib = std::stoul(argv[i + 1]);
        if (std::string(argv[i]) == "--baud-kib")
            baudKib = std::stoul(argv[i + 1]);
    }
    const size_t total = mib * 1024 * 1024;
    const std::string cli = CliPath();

    BenchPrepareEnvironment();
    QApplication app(argc, argv);
    const std::string root = BenchStartProgram("config/mptest");
    // mptest-cli reads the same private serial store.
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);

    // The short job.
    std::vector<double> shortMs;
    std::vector<double> echoMs;
    double shortCpuMs = 0;
    double echoCpuMs = 0;
    {
        sim::SerialPrinter printer;
        if (!printer.ok()) {
            std::fprintf(stderr, "cli_send: no pseudo-terminal: %s\n", printer.error().c_str());
            return 1;
        }
        for (int i = 0; i < runs; ++i) {
            double cpu = ChildrenCpuMs();
            auto start = Clock::now();
            if (!Finished(Start({"/bin/echo", "1B 40 0A"}))) {
                std::fprintf(stderr, "cli_send: /bin/echo failed\n");
                return 1;
            }
            echoMs.push_back(Millis(Clock::now() - start).count());
            echoCpuMs += ChildrenCpuMs() - cpu;
            cpu = ChildrenCpuMs();
            start = Clock::now();
            const pid_t pid = Start({cli, "send", "--port", printer.slavePath(), "--hex", "1B 40 0A", "--quiet"});
            if (!Finished(pid)) {
                std::fprintf(stderr, "cli_send: the short job failed\n");
                return 1;
            }
            shortMs.push_back(Millis(Clock::now() - start).count());
            shortCpuMs += ChildrenCpuMs() - cpu;
        }
        if (!printer.waitForBytes(3ull * static_cast<uint64_t>(runs), std::chrono::seconds(5))) {
            std::fprintf(stderr, "cli_send: the printer did not receive every short job\n");
            return 1;
        }
        printer.stop();
    }
    std::sort(shortMs.begin(), shortMs.end());
    std::sort(echoMs.begin(), echoMs.end());

    // The file, both ways, to one USB printer.
    const std::string file = root + "/commands.bin";
    {
        bench::WriteCommandFile(file, total);
    }
    double cliRate = -1;
    double consoleRate = -1;
    {
        sim::UsbPrinter printer(root, 0);
        if (!printer.ok()) {
            std::fprintf(stderr, "cli_send: no USB printer: %s\n", printer.error().c_str());
            return 1;
        }
        // Taken in turns, three times each, the median counting: the rate
        // moves with whatever else the machine does.
        std::vector<double> cliRates;
        std::vector<double> consoleRates;
        uint64_t before = 0;
        HWND console = nullptr;
        for (int turn = 0; turn < 3; ++turn) {
            pid_t pid = -1;
            cliRates.push_back(RateAtPrinter(printer, before, total, [&] {
                pid = Start({cli, "send", "--port", "usb", "--device-root", root, "--file", file, "--quiet"});
            }));
            if (!Finished(pid))
                cliRates.back() = -1;
            before += total;
            consoleRates.push_back(RateAtPrinter(printer, before, total, [&] {
                console = PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_USER_CMD), nullptr, bUserCmdDlgProc);
                PlatTestClick(console, IDC_UC_USB);
                PlatTestFileChooserAnswer(file);
                PlatTestClick(console, IDC_UC_SEL_FILE);
                PlatTestClick(console, IDC_UC_SEND_FILE);
            }));
            before += total;
            // The console's sending thread reports to this thread: deliver
            // them until it lets go of the port.
            PlatTestWaitFor([] { return gCurrentPort.state != PORT_STATE_BUSY; }, 300000);
            PlatTestClick(console, IDC_UC_EXIT); // gives the USB printer back
            PlatTestDestroyAll();
        }
        std::printf("file rates, MB/s: mptest-cli");
        for (double r : cliRates)
            std::printf(" %.2f", r);
        std::printf(", console");
        for (double r : consoleRates)
            std::printf(" %.2f", r);
        std::printf("\n");
        std::sort(cliRates.begin(), cliRates.end());
        std::sort(consoleRates.begin(), consoleRates.end());
        cliRate = cliRates.front() < 0 ? -1 : cliRates[1];
        consoleRate = consoleRates.front() < 0 ? -1 : consoleRates[1];
        printer.stop();
    }
    // The paced sends, each beside the plain loop at the same pace. The USB
    // printer node is found by the discovery under the root.
    std::filesystem::create_directories(root + "/sys/class/usbmisc/lp0");
    std::filesystem::create_directories(root + "/dev/usb");
    std::filesystem::remove(root + "/dev/usb/lp0"); // the virtual printer's, if it left it
    PacedCli paced[] = {{"1 MB/s serial", 1e6, pacedKib * 1024, false},
                        {"1 MB/s USB", 1e6, pacedKib * 1024, true},
                        {"115200 serial", 11520, baudKib * 1024, false}};
    for (PacedCli& p : paced) {
        SendPacedByCli(cli, root, p);
        p.plain = bench::PlainPaced(root + "/plain-node", p.bytes, p.bytesPerSecond, bench::PlainIn::Process);
    }
    std::filesystem::remove_all(root);
    if (cliRate < 0 || consoleRate < 0) {
        std::fprintf(stderr, "cli_send: a file send did not complete (mptest-cli %.2f, console %.2f)\n", cliRate, consoleRate);
        return 1;
    }
    std::printf("short job (3-byte hex send, process start to exit, %d runs):", runs);
    for (double ms : shortMs)
        std::printf(" %.1f", ms);
    std::printf(" ms, %.1f ms of CPU each; /bin/echo:", shortCpuMs / runs);
    for (double ms : echoMs)
        std::printf(" %.1f", ms);
    std::printf(" ms, %.1f ms of CPU each\n", echoCpuMs / runs);
    const double shortMedian = shortMs[shortMs.size() / 2];
    const double echoMedian = echoMs[echoMs.size() / 2];
    // The start-up counts only where the send itself is a small share.
    const double startupSeconds = shortCpuMs / runs / 1e3;
    bool met = true;
    double cpuRatio[3] = {};
    for (size_t i = 0; i < 3; ++i) {
        const PacedCli& p = paced[i];
        const double share = p.rate / p.bytesPerSecond;
        const double plainShare = p.plain.rate / p.bytesPerSecond;
        const double own = p.bytesPerSecond < 1e5 ? p.cpuSeconds - startupSeconds : p.cpuSeconds;
        cpuRatio[i] = p.plain.cpuSeconds > 0 ? own / p.plain.cpuSeconds : 0;
        std::printf("paced %s: got %.1f%% of %.0f B/s, mptest-cli %.1f ms of CPU (%.1f ms counted); plain loop %.1f%% "
                    "at %.1f ms; rate %+.1f points, CPU %.2fx the plain loop's; ended %+.3f s after the printer's "
                    "last byte\n",
                    p.name, share * 100, p.bytesPerSecond, p.cpuSeconds * 1e3, own * 1e3, plainShare * 100,
                    p.plain.cpuSeconds * 1e3, (share - plainShare) * 100, cpuRatio[i], p.endGap);
        met = met && p.rate > 0 && p.plain.rate > 0 && share >= plainShare - 0.01 && cpuRatio[i] <= 2.0 &&
              p.endGap <= 0.2;
    }
    std::printf("cli_send: short job %.1f ms median, %.1f ms slowest, %.1fx echo (%.1f ms); file %.2f MB/s, console %.2f "
                "MB/s, ratio %.2f; 1 MB/s %.1f%% CPU %.2fx end %+.3f s, 115200 %.1f%% CPU %.2fx end %+.3f s\n",
                shortMedian, shortMs.back(), shortMedian / echoMedian, echoMedian, cliRate, consoleRate,
                cliRate / consoleRate, paced[0].rate / paced[0].bytesPerSecond * 100, cpuRatio[0], paced[0].endGap,
                paced[2].rate / paced[2].bytesPerSecond * 100, cpuRatio[2], paced[2].endGap);
    if (!met)
        std::printf("cli_send: a paced target was missed (the plain loop's rate less 1 point, at most 2x its CPU, "
                    "the end within 0.2 s of the last byte)\n");
    return met ? 0 : 1;
}
