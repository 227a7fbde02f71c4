// Benchmark of mptest-cli as a production line runs it, against the virtual
// printer in this process:
//  - a short job from process start to exit: a 3-byte hexadecimal send to a
//    serial printer (a pseudo-terminal given as --port), 20 runs, the median
//    and the slowest, beside /bin/echo started the same way in turns with it
//    (target: at most 5 times echo's median), with the CPU each took;
//  - a 1 MiB command file to a USB printer, sent by mptest-cli and by the
//    console dialog, each rate taken the same way, at the printer: from its
//    first byte to its last, in turns, three times each, the medians
//    compared (target: mptest-cli within 10% of the console).
//
//   cli_send [--runs N] [--mib N]
// The last line reads:
//   cli_send: short job <ms> ms median, <ms> ms slowest, <r>x echo; file <MB/s> MB/s, console <MB/s> MB/s, ratio <r>
#include "bench/bench_program.h"
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

} // namespace

int main(int argc, char** argv)
{
    int runs = 20;
    size_t mib = 1;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--runs")
            runs = std::stoi(argv[i + 1]);
        if (std::string(argv[i]) == "--mib")
            mib = std::stoul(argv[i + 1]);
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
        std::ofstream out(file, std::ios::binary);
        std::vector<char> bytes(total);
        for (size_t i = 0; i < total; ++i)
            bytes[i] = static_cast<char>('A' + i % 26);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
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
    std::printf("cli_send: short job %.1f ms median, %.1f ms slowest, %.1fx echo (%.1f ms); file %.2f MB/s, console %.2f "
                "MB/s, ratio %.2f\n",
                shortMedian, shortMs.back(), shortMedian / echoMedian, echoMedian, cliRate, consoleRate,
                cliRate / consoleRate);
    return 0;
}
