// Puts the virtual printer at the far end of each kind of port for tests
// that drive the program: a parallel register model behind the port-I/O
// layer, a pseudo-terminal mapped as COM1, and a USB printer under a private
// device root. Also a window that records the send engine's reports.
#pragma once

#include "platform/linux/roots.h"
#include "platform/linux/testhooks.h"
#include "platform/testapi/testapi.h"
#include "port/linux/portio_backend.h"
#include "sim/parallel.h"
#include "sim/printer.h"
#include "sim/pty.h"
#include "support/parallel_backend.h"
#include "support/temp_dir.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace rig {

using testsupport::TempDir;
// The virtual printer's parallel port seen through the port-I/O layer.
using ParallelBackend = testsupport::SimParallelBackend;

// Everything a test of the program needs around it: private path roots, the
// port-I/O layer on the parallel model, the send state, a zeroed port record
// and the serial selections read from a fresh store. One per test.
class Bench {
public:
    Bench();
    ~Bench();
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    TempDir& dir() { return dir_; }
    sim::Printer& parallelPrinter() { return parallelPrinter_; }
    sim::ParallelPort& parallelPort() { return parallelPort_; }
    // Starts a printer on a pseudo-terminal and maps COM1 to it.
    sim::SerialPrinter& serial(sim::PrinterOptions options = {});
    // Starts a USB printer lp<index> under the private device root.
    sim::UsbPrinter& usb(int index = 0, sim::PrinterOptions options = {});
    // Pulls the plug of every serial and USB printer: their lines hang up
    // and their device nodes go. serial() and usb() plug a printer back in.
    void unplug();

private:
    TempDir dir_;
    sim::Printer parallelPrinter_;
    sim::ParallelPort parallelPort_;
    ParallelBackend backend_;
    std::unique_ptr<sim::SerialPrinter> serial_;
    std::vector<std::unique_ptr<sim::UsbPrinter>> usb_;
};

struct Report {
    UINT message;
    WPARAM code;
    LPARAM value;
};

// A small dialog that records every report it receives, in order; an
// optional action runs inside each report's handler.
class ReportWindow {
public:
    ReportWindow();
    ~ReportWindow();
    HWND hwnd() const { return hwnd_; }
    const std::vector<Report>& reports() const;
    // The values of reports with this message and code, in order.
    std::vector<LPARAM> values(UINT message, WPARAM code) const;
    bool has(UINT message, WPARAM code) const;
    void clear();
    void onReport(std::function<void(const Report&)> action);
    // Waits (delivering the worker's reports) until a report with this
    // message and code arrived.
    bool waitFor(UINT message, WPARAM code, int timeoutMs);

private:
    HWND hwnd_ = nullptr;
};

// The texts of the message boxes recorded so far, oldest first.
std::vector<std::string> MessageTexts();

// The second line of a port's failure message when there is no USB printer,
// and when COM1's default device is missing from the bench's device root.
inline const std::string kNoUsbPrinter = "USB001：没有找到 USB 打印机，请检查 USB 线和打印机电源";
std::string NoCom1Device(Bench& bench);

// Waits, delivering reports, until the port is no longer busy.
bool WaitPortIdle(int timeoutMs);

// Waits, delivering reports, until a send that moved has stood still for
// 100 ms: the printer then holds the write the engine is in. `moves` counts
// what the send has done so far (its reports, say). False after 10 s.
bool WaitStalled(const std::function<size_t()>& moves);

// Progress comes at a screen's pace, not once per block: what was reported is
// each pass's per-block figures in order with some left out, never a pass's
// first or its last. With `moreAfter`, reports past the passes given are left
// unchecked.
template <class List>
bool PacedFrom(const List& reported, const std::vector<List>& passes, bool moreAfter = false)
{
    size_t next = 0;
    const auto count = size_t(reported.size());
    for (const List& blocks : passes)
        for (size_t i = 0; i < size_t(blocks.size()); ++i) {
            if (next < count && reported[next] == blocks[i])
                ++next;
            else if (i == 0 || i + 1 == size_t(blocks.size()))
                return false;
        }
    return moreAfter || next == count;
}

} // namespace rig
