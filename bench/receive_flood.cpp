// Benchmark of the console's receive area under a printer that floods the
// line: the virtual printer on a pseudo-terminal (COM1) sends 1 MB/s (paced
// in 10 ms slices) for a given time to the real console dialog (offscreen),
// which shows it, first in hex, then as text with time stamps, and keeps
// appending it to a session log. Measured for each view: the longest the
// user-interface thread went without running its event loop (a 10 ms
// timer's worst lateness), how long a click took to show (a click on a
// check box, posted as the user's input is, once a second, until the box
// was painted anew and the dialog told) and the process's CPU use; for the
// whole run the resident memory at the start and at its peak, and the bytes
// the view counted and the log holds.
//
//   receive_flood [--seconds N] [--rate BYTES_PER_SECOND] [--view hex|text|both]
// The last line reads:
//   receive_flood: <MB> MB in <s> s, counted all, logged <MB> MB, worst stall <ms> ms, rss <MiB> -> peak <MiB> MiB (+<MiB>)
// and the exit code is 1 when a byte is missing or a target is missed (see docs/benchmarks.md).
#include "bench/bench_program.h"
#include "platform/testapi/testapi.h"
#include "port/port.h"
#include "port/portio.h"
#include "res/resource.h"
#include "res/resources.h"
#include "send/send.h"
#include "sim/pty.h"
#include "ui/console/console.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>
#include <QWidget>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

constexpr double kStallTargetMs = 50;
constexpr double kClickTargetMs = 100;
constexpr double kMemoryTargetMiB = 60;

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

// A click the user makes on "HEX发送": posted, so it waits its turn behind
// whatever the event loop is doing, and shown once the box was painted anew
// and its dialog had the WM_COMMAND.
struct ClickProbe : QObject {
    QWidget* box = nullptr;
    std::optional<Clock::time_point> posted;
    std::vector<double> latenciesMs;

    void post()
    {
        if (posted)
            return; // the last one has not shown yet
        // On the box's indicator, where a user aims.
        QStyleOptionButton option;
        option.initFrom(box);
        const QPointF at = QRectF(box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box)).center();
        posted = Clock::now();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(box, new QMouseEvent(type, at, box->mapToGlobal(at), Qt::LeftButton,
                                                              type == QEvent::MouseButtonPress ? Qt::LeftButton
                                                                                               : Qt::NoButton,
                                                              Qt::NoModifier));
    }
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (watched == box && posted && e->type() == QEvent::MouseButtonRelease)
            released = true;
        else if (watched == box && released && e->type() == QEvent::Paint)
            painted = true;
        done();
        return false;
    }
    // The dialog has its WM_COMMAND.
    void commanded()
    {
        if (posted)
            told = true;
        done();
    }
    // Shown: the box painted after the release, and the dialog told.
    void done()
    {
        if (!painted || !told)
            return;
        latenciesMs.push_back(Millis(Clock::now() - *posted).count());
        posted.reset();
        released = painted = told = false;
    }
    bool released = false;
    bool painted = false;
    bool told = false;
};
ClickProbe* gProbe = nullptr;

INT_PTR CALLBACK ProbedConsoleProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    const INT_PTR result = bUserCmdDlgProc(hwnd, message, wParam, lParam);
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_UC_HEX && gProbe != nullptr)
        gProbe->commanded();
    return result;
}

// The process's CPU time, in seconds.
double ProcessCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct FloodResult {
    double worstStallMs = 0;
    double cpuShare = 0; // of one core, the virtual printer's thread included
    double slowestClickMs = 0;
    size_t clicks = 0;
    double seconds = 0;
    bool counted = false;
    std::string count;
};

// `seconds` of `rate` bytes a second from the printer into the console's view.
FloodResult Flood(sim::SerialPrinter& printer, HWND console, double seconds, double rate)
{
    FloodResult result;
    ClickProbe probe;
    probe.box = PlatTestWidget(GetDlgItem(console, IDC_UC_HEX));
    probe.box->installEventFilter(&probe);
    gProbe = &probe;

    auto lastTick = Clock::now();
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        result.worstStallMs = std::max(result.worstStallMs, Millis(now - lastTick).count() - 10);
        lastTick = now;
    });
    ticker.start(10);
    QTimer clicker;
    QObject::connect(&clicker, &QTimer::timeout, [&] { probe.post(); });
    clicker.start(1000);

    // The flood, paced in 10 ms slices from its own thread.
    const size_t slice = static_cast<size_t>(rate / 100);
    const size_t slices = static_cast<size_t>(seconds * 100);
    std::atomic<bool> sent{false};
    const auto started = Clock::now();
    const double cpuStart = ProcessCpuSeconds();
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
    result.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    result.cpuShare = (ProcessCpuSeconds() - cpuStart) / result.seconds;
    ticker.stop();
    clicker.stop();
    // A click still waiting when the flood ended counts with what it waited so far.
    if (probe.posted)
        probe.latenciesMs.push_back(Millis(Clock::now() - *probe.posted).count());
    gProbe = nullptr;
    probe.box->removeEventFilter(&probe);
    result.clicks = probe.latenciesMs.size();
    for (double ms : probe.latenciesMs)
        result.slowestClickMs = std::max(result.slowestClickMs, ms);
    result.count = PlatTestText(console, IDC_UC_RX_COUNT);
    result.counted = result.count == expected;
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    double seconds = 60;
    double rate = 1e6;
    std::string views = "both";
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--seconds")
            seconds = std::stod(argv[i + 1]);
        else if (std::string(argv[i]) == "--rate")
            rate = std::stod(argv[i + 1]);
        else if (std::string(argv[i]) == "--view")
            views = argv[i + 1];
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

    HWND console = PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_USER_CMD), nullptr, ProbedConsoleProc);
    PlatTestClick(console, IDC_UC_SERIAL);
    const std::string log = root + "/flood.log";
    PlatTestClick(console, IDC_UC_LOG_APPEND);
    PlatTestFileChooserAnswer(log);
    PlatTestClick(console, IDC_UC_LOG_SAVE);

    const double startRss = BenchMemoryMiB("VmRSS:");
    struct View {
        const char* name;
        bool hex, stamps;
    };
    std::vector<View> runs;
    if (views != "text")
        runs.push_back({"hex", true, false});
    if (views != "hex")
        runs.push_back({"text with time stamps", false, true});
    bool met = true;
    bool counted = true;
    uint64_t total = 0;
    double elapsed = 0;
    double worstStallMs = 0;
    for (const View& view : runs) {
        PlatTestClick(console, IDC_UC_RX_CLEAR);
        if (PlatTestChecked(console, IDC_UC_RX_HEX) != view.hex)
            PlatTestClick(console, IDC_UC_RX_HEX);
        if (PlatTestChecked(console, IDC_UC_RX_STAMPS) != view.stamps)
            PlatTestClick(console, IDC_UC_RX_STAMPS);
        const FloodResult r = Flood(printer, console, seconds, rate);
        std::printf("%s: worst stall %.0f ms, slowest of %zu clicks %.0f ms, CPU %.0f%% of one core, %s\n", view.name,
                    r.worstStallMs, r.clicks, r.slowestClickMs, r.cpuShare * 100,
                    r.counted ? "all counted" : r.count.c_str());
        met = met && r.worstStallMs <= kStallTargetMs && r.slowestClickMs <= kClickTargetMs;
        counted = counted && r.counted;
        total += static_cast<uint64_t>(rate / 100) * static_cast<uint64_t>(seconds * 100);
        elapsed += r.seconds;
        worstStallMs = std::max(worstStallMs, r.worstStallMs);
    }
    PlatTestClick(console, IDC_UC_EXIT);
    const uint64_t logged = LoggedBytes(log);
    const double peakRss = BenchMemoryMiB("VmHWM:");
    printer.stop();
    std::filesystem::remove_all(root);
    met = met && peakRss - startRss < kMemoryTargetMiB;

    std::printf("receive_flood: %.1f MB in %.1f s, counted %s, logged %.1f MB, worst stall %.0f ms, rss %.0f -> peak "
                "%.0f MiB (+%.0f)\n",
                total / 1e6, elapsed, counted ? "all" : "not all", logged / 1e6, worstStallMs, startRss, peakRss,
                peakRss - startRss);
    if (!met)
        std::printf("receive_flood: a target was missed (stall <= %.0f ms, click <= %.0f ms, under %.0f MiB above "
                    "the start)\n",
                    kStallTargetMs, kClickTargetMs, kMemoryTargetMiB);
    return counted && logged == total && met ? 0 : 1;
}
