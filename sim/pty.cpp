// The virtual printer's pseudo-terminal transports (serial and USB) and the
// per-user serial store it writes for --as COMn.
#include "sim/pty.h"

#include "platform/linux/roots.h"
#include "platform/linux/serialstore.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace sim {

namespace {

unsigned baudOf(speed_t s)
{
    struct Row {
        speed_t code;
        unsigned baud;
    };
    static const Row rows[] = {
        {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
        {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
        {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
        {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800},
    };
    for (const Row& r : rows)
        if (r.code == s)
            return r.baud;
    return 0;
}

LineInfo lineOf(int fd)
{
    LineInfo info;
    termios t{};
    if (fd >= 0 && tcgetattr(fd, &t) == 0) {
        info.baud = baudOf(cfgetospeed(&t));
        info.rtscts = (t.c_cflag & CRTSCTS) != 0;
    }
    return info;
}

bool writeFile(const std::string& path, const std::string& text)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
    f.close();
    return bool(f);
}

} // namespace

PtyPrinter::PtyPrinter(PrinterOptions options, Transport transport) : LinePrinter(std::move(options), transport) {}

PtyPrinter::~PtyPrinter()
{
    stop();
    if (watch_ >= 0)
        ::close(watch_);
    if (master_ >= 0)
        ::close(master_);
}

bool PtyPrinter::openPty()
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        setError(std::string("cannot make a pseudo-terminal: ") + std::strerror(errno));
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
        return false;
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        setError(std::string("cannot name the pseudo-terminal: ") + std::strerror(errno));
        ::close(master_);
        master_ = -1;
        return false;
    }
    slave_path_ = name;
    // Raw line: no byte is translated, nothing is echoed. Opening and
    // closing the slave side once also makes the master report a hang-up
    // until a sender opens it, so connected() means what it says.
    termios t{};
    if (tcgetattr(master_, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY);
    if (slave >= 0)
        ::close(slave);
    // Without the watch a quick close and reopen may go unseen, as before.
    watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ >= 0 && inotify_add_watch(watch_, name, IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        ::close(watch_);
        watch_ = -1;
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    if (!openWakePipe()) {
        ::close(master_);
        master_ = -1;
        return false;
    }
    return true;
}

LineInfo PtyPrinter::currentLine() const { return lineOf(master_); }

// With no sender on the slave side the master reports a hang-up at once;
// then it is not waited on, so the thread does not spin, and is only
// looked at each round.
void PtyPrinter::addWaits(std::vector<pollfd>& fds)
{
    if (connected())
        fds.push_back({master_, short(held() ? 0 : POLLIN), 0});
    if (watch_ >= 0)
        fds.push_back({watch_, POLLIN, 0});
}

bool PtyPrinter::lastOpenerLeft()
{
    bool left = false;
    alignas(inotify_event) char events[4096];
    for (;;) {
        const ssize_t n = ::read(watch_, events, sizeof events);
        if (n <= 0)
            return left;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(events + at);
            if (e->mask & IN_OPEN) {
                ++openers_;
            } else if (e->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
                openers_ = openers_ > 0 ? openers_ - 1 : 0;
                left = left || openers_ == 0;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
}

void PtyPrinter::serve(const std::vector<pollfd>&, Clock::time_point)
{
    if (watch_ >= 0 && lastOpenerLeft() && connected()) {
        // What the sender that left had written goes before its close; a
        // sender that has already opened the line again writes after it
        // (a sender waits for its last bytes to be read before it closes).
        if (openers_ == 0)
            readFrom(master_, Clock::now());
        setConnected(false);
    }
    pollfd probe{master_, short(held() ? 0 : POLLIN), 0};
    poll(&probe, 1, 0);
    if (probe.revents & POLLIN)
        readFrom(master_, Clock::now()); // its end shows as the hang-up below
    setConnected(!(probe.revents & (POLLHUP | POLLERR)));
}

ssize_t PtyPrinter::writeLine(const uint8_t* bytes, size_t size) { return ::write(master_, bytes, size); }

void PtyPrinter::readRemaining(Clock::time_point now)
{
    if (master_ >= 0)
        readFrom(master_, now);
}

SerialPrinter::SerialPrinter(PrinterOptions options) : PtyPrinter(std::move(options), Transport::Serial)
{
    if (openPty())
        start();
}

SerialPrinter::~SerialPrinter()
{
    stop();
    releaseName();
}

bool isComName(const std::string& name)
{
    static constexpr const char* kNames[] = {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7"};
    return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

bool SerialPrinter::recordAs(const std::string& com, std::string* error, unsigned long* displaced)
{
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!ok())
        return fail(this->error());
    if (!isComName(com))
        return fail("--as takes COM1 ... COM7, as mptest lists them, not \"" + com + "\"");
    if (!com_.empty() && com_ != com)
        releaseName();
    if (!PlatClaimComDevice(com, slavePath(), displaced))
        return fail("cannot record " + com + " in " + PlatRootPath(PlatRoot::Config) + "/serial.conf: " +
                    std::strerror(errno));
    com_ = com;
    return true;
}

void SerialPrinter::releaseName()
{
    if (com_.empty())
        return;
    PlatReleaseComDevice(com_);
    com_.clear();
}

UsbPrinter::UsbPrinter(const std::string& root, int index, PrinterOptions options)
    : PtyPrinter(std::move(options), Transport::Usb), root_(root), index_(index)
{
    if (!openPty())
        return;
    namespace fs = std::filesystem;
    const std::string lp = "lp" + std::to_string(index);
    const fs::path sysDir = fs::path(root) / "sys/class/usbmisc" / lp;
    const fs::path devDir = fs::path(root) / "dev/usb";
    const fs::path node = devDir / lp;
    std::error_code ec;
    // Folders are made one level at a time and noted as made, so that the
    // end removes exactly what was made here and nothing that was there.
    auto makeFolders = [&](const fs::path& leaf) {
        std::vector<fs::path> chain;
        for (fs::path p = leaf; !p.empty() && p != p.parent_path(); p = p.parent_path())
            chain.push_back(p);
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            if (fs::create_directory(*it, ec))
                made_.push_back(it->string());
            else if (ec)
                return false;
        }
        return true;
    };
    auto makeFile = [&](const fs::path& path, const std::string& text) {
        const bool there = fs::exists(fs::symlink_status(path, ec));
        if (!writeFile(path.string(), text))
            return false;
        if (!there)
            made_.push_back(path.string());
        return true;
    };
    // A node that leads to a terminal belongs to a running printer at this
    // index; one that leads nowhere was left by a printer that was killed.
    const bool taken = fs::exists(node, ec);
    if (!taken)
        fs::remove(node, ec);
    bool good = !taken && makeFolders(sysDir / "device") && makeFolders(devDir) &&
                makeFile(sysDir / "dev", "180:" + std::to_string(index) + "\n") &&
                makeFile(sysDir / "device/ieee1284_id", kDeviceId);
    if (good) {
        fs::create_symlink(slavePath(), node, ec);
        good = !ec;
        if (good)
            made_.push_back(node.string());
    }
    if (!good) {
        // Leave the printer unusable but say why, and nothing behind.
        setError(taken ? node.string() + " is there already: another printer at index " + std::to_string(index)
                 : ec  ? ec.message()
                       : std::string("cannot write ") + sysDir.string());
        removeMade();
        stop();
        return;
    }
    device_path_ = node.string();
    start();
}

// Deepest first: each entry was made after the folder that holds it.
void UsbPrinter::removeMade()
{
    std::error_code ec;
    for (auto it = made_.rbegin(); it != made_.rend(); ++it)
        std::filesystem::remove(*it, ec);
    made_.clear();
}

UsbPrinter::~UsbPrinter()
{
    stop();
    removeMade();
}

} // namespace sim
