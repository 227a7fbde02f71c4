// The virtual printer wired to the program's ports, and a report recorder.
#include "ui/support/printer_rig.h"

#include "platform/comdevices.h"
#include "port/port.h"
#include "port/portio.h"
#include "send/epp.h"
#include "send/send.h"

#include <filesystem>

namespace rig {

namespace {

std::vector<Report> gReports;
std::function<void(const Report&)> gReportAction;
bool gSendStateReady = false;

constexpr int kReportTemplateId = 9100;
// COM1's node under the bench's device root while a serial printer is in.
const char kSerialLink[] = "dev/serial-printer";
const DlgTemplate kReportTemplate{kReportTemplateId, nullptr, WS_POPUP | WS_CAPTION, 0, 0, 120, 40, "reports", 0,
                                  "System", 10, {}};

INT_PTR CALLBACK ReportDlgProc(HWND, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_SENDCMDS_STATUS:
    case WM_SENDFILE_STATUS:
    case WM_EPP_STATUS: {
        const Report report{message, wParam, lParam};
        gReports.push_back(report);
        if (gReportAction)
            gReportAction(report);
        return FALSE;
    }
    default:
        return FALSE;
    }
}

} // namespace

Bench::Bench() : backend_(parallelPort_)
{
    PlatSetRootPath(PlatRoot::Config, dir_.path() + "/config");
    PlatSetRootPath(PlatRoot::Dev, dir_.path() + "/dev");
    PlatSetRootPath(PlatRoot::Sys, dir_.path() + "/sys");
    PlatSetRootPath(PlatRoot::Home, dir_.path());
    parallelPort_.attach(parallelPrinter_);
    PortIoSetBackendForTest(&backend_);
    InitializeWinIo();
    if (!gSendStateReady) {
        UtilInit(); // the critical section lives for the whole test program
        gSendStateReady = true;
    }
    InitPort();
    gStopSendFlag = 0;
}

Bench::~Bench()
{
    // Never leave a sending thread or an EPP worker behind with the port
    // under it.
    StopSendAndWait();
    StopEppAndWait();
    PortRelease();
    ClearPortRecord(gCurrentPort);
    if (serial_)
        serial_->stop();
    for (auto& printer : usb_)
        printer->stop();
    ShutdownWinIo();
    PortIoSetBackendForTest(nullptr);
    parallelPort_.setSink({});
    PlatSetTimeScale(1.0);
    for (PlatRoot root : {PlatRoot::Config, PlatRoot::Dev, PlatRoot::Sys, PlatRoot::Home})
        PlatSetRootPath(root, "");
}

sim::SerialPrinter& Bench::serial(sim::PrinterOptions options)
{
    options.transport = sim::Transport::Serial;
    serial_ = std::make_unique<sim::SerialPrinter>(options);
    // COM1 names a link of this bench's own, as a USB-serial adapter's node:
    // the pseudo-terminal's number goes back to the system at unplug(), and
    // a test running beside this one may be given it while COM1 must find
    // nothing there.
    dir_.mkdirs("dev");
    const std::string link = dir_ / kSerialLink;
    std::filesystem::remove(link);
    std::filesystem::create_symlink(serial_->slavePath(), link);
    PlatSetComDevice("COM1", link);
    return *serial_;
}

sim::UsbPrinter& Bench::usb(int index, sim::PrinterOptions options)
{
    options.transport = sim::Transport::Usb;
    usb_.push_back(std::make_unique<sim::UsbPrinter>(dir_.path(), index, options));
    return *usb_.back();
}

void Bench::unplug()
{
    std::filesystem::remove(dir_ / kSerialLink);
    serial_.reset();
    usb_.clear();
}

ReportWindow::ReportWindow()
{
    PlatTestAddDialogTemplate(&kReportTemplate);
    gReports.clear();
    gReportAction = nullptr;
    hwnd_ = PlatTestOpenDialog(MAKEINTRESOURCEA(kReportTemplateId), nullptr, ReportDlgProc, 0);
}

ReportWindow::~ReportWindow()
{
    gReportAction = nullptr;
    if (hwnd_ != nullptr)
        DestroyWindow(hwnd_);
}

const std::vector<Report>& ReportWindow::reports() const
{
    return gReports;
}

std::vector<LPARAM> ReportWindow::values(UINT message, WPARAM code) const
{
    std::vector<LPARAM> out;
    for (const Report& r : gReports)
        if (r.message == message && r.code == code)
            out.push_back(r.value);
    return out;
}

bool ReportWindow::has(UINT message, WPARAM code) const
{
    return !values(message, code).empty();
}

void ReportWindow::clear()
{
    gReports.clear();
}

void ReportWindow::onReport(std::function<void(const Report&)> action)
{
    gReportAction = std::move(action);
}

bool ReportWindow::waitFor(UINT message, WPARAM code, int timeoutMs)
{
    return PlatTestWaitFor([&] { return has(message, code); }, timeoutMs);
}

bool WaitPortIdle(int timeoutMs)
{
    return PlatTestWaitFor([] { return gCurrentPort.state != PORT_STATE_BUSY; }, timeoutMs);
}

bool WaitStalled(const std::function<size_t()>& moves)
{
    size_t seen = 0;
    for (int quiet = 0; quiet < 100; ++quiet) {
        if (!PlatTestWaitFor([&] { return moves() != seen; }, 100) && seen > 0)
            return true;
        seen = moves();
    }
    return false;
}

std::string NoCom1Device(Bench& bench)
{
    return "COM1 → " + bench.dir().path() + "/dev/ttyS0：设备不存在，请检查连线或在 端口设置 中选择设备";
}

std::vector<std::string> MessageTexts()
{
    std::vector<std::string> texts;
    for (const auto& box : PlatTestMessageBoxes())
        texts.push_back(box.text);
    return texts;
}

} // namespace rig
