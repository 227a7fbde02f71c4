// The virtual printer's pseudo-terminal transports (serial and USB) and the
// per-user serial store it writes for --as COMn.
#include "sim/pty.h"

#include "platform/linux/roots.h"
#include "platform/linux/serialstore.h"

#include <fcntl.h>
#include <poll.h>
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

PtyPrinter::PtyPrinter(PrinterOptions options, Transport transport)
    : printer_([&] {
          options.transport = transport;
          return options;
      }())
{
}

PtyPrinter::~PtyPrinter()
{
    stop();
    if (master_ >= 0)
        ::close(master_);
    for (int fd : wake_)
        if (fd >= 0)
            ::close(fd);
}

bool PtyPrinter::openPty()
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error_ = std::string("cannot make a pseudo-terminal: ") + std::strerror(errno);
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
        return false;
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        error_ = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
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
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        error_ = std::string("cannot make a pipe: ") + std::strerror(errno);
        ::close(master_);
        master_ = -1;
        return false;
    }
    return true;
}

void PtyPrinter::start()
{
    if (master_ >= 0)
        thread_ = std::thread([this] { run(); });
}

void PtyPrinter::stop()
{
    if (thread_.joinable()) {
        stop_ = true;
        const char c = 's';
        [[maybe_unused]] ssize_t n = ::write(wake_[1], &c, 1);
        thread_.join();
        // What the sender wrote just before the end still counts.
        if (!hold_)
            readAvailable(Clock::now());
        printer_.flush();
    }
}

void PtyPrinter::holdLine(bool hold)
{
    hold_ = hold;
    const char c = 'h';
    if (wake_[1] >= 0) {
        [[maybe_unused]] ssize_t n = ::write(wake_[1], &c, 1);
    }
}

LineInfo PtyPrinter::currentLine() const { return lineOf(master_); }

std::vector<Chunk> PtyPrinter::chunks() const
{
    std::lock_guard lock(mutex_);
    return chunks_;
}

bool PtyPrinter::sendToHost(const std::vector<uint8_t>& bytes)
{
    if (master_ < 0)
        return false;
    {
        std::lock_guard lock(mutex_);
        outgoing_.push_back({Clock::now(), bytes});
    }
    holdLine(hold_.load()); // wakes the thread
    return true;
}

bool PtyPrinter::waitForConnected(bool open, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return connected_cv_.wait_for(lock, timeout, [&] { return connected_.load() == open; });
}

Clock::time_point PtyPrinter::nextDue() const
{
    std::lock_guard lock(mutex_);
    Clock::time_point due = Clock::time_point::max();
    for (const Pending& p : outgoing_)
        due = std::min(due, p.due);
    return due;
}

void PtyPrinter::readAvailable(Clock::time_point now)
{
    uint8_t buf[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0)
            return; // EAGAIN, or EIO when the sender has closed the line
        // A sender that wrote and closed at once, before the line was
        // looked at, was there all the same.
        everConnected_ = true;
        // The line settings at the time of arrival: the sender may switch
        // speed right after its write, so look now, before anything else.
        const LineInfo line = lineOf(master_);
        {
            std::lock_guard lock(mutex_);
            if (chunks_.size() < kMaxChunks)
                chunks_.push_back({size_t(n), line});
        }
        printer_.feed(std::span<const uint8_t>(buf, size_t(n)), now, line);
        if (hold_)
            return;
    }
}

void PtyPrinter::writeDue(Clock::time_point now)
{
    std::lock_guard lock(mutex_);
    for (auto it = outgoing_.begin(); it != outgoing_.end();) {
        if (it->due > now) {
            ++it;
            continue;
        }
        const ssize_t n = ::write(master_, it->bytes.data(), it->bytes.size());
        if (n < 0)
            return; // the line is full; try again on the next round
        if (size_t(n) < it->bytes.size()) {
            it->bytes.erase(it->bytes.begin(), it->bytes.begin() + n);
            return;
        }
        it = outgoing_.erase(it);
    }
}

void PtyPrinter::run()
{
    while (!stop_) {
        const Clock::time_point now = Clock::now();
        for (Answer& a : printer_.takeAnswers()) {
            std::lock_guard lock(mutex_);
            outgoing_.push_back({now + std::chrono::milliseconds(a.delayMs), std::move(a.bytes)});
        }
        // Wake for the next due answer, and at least every 20 ms to end a
        // download whose line has gone quiet.
        auto wait = std::chrono::milliseconds(20);
        const Clock::time_point due = nextDue();
        if (due != Clock::time_point::max())
            wait = std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(due - now) +
                                  std::chrono::milliseconds(1),
                              std::chrono::milliseconds(0), wait);

        pollfd fds[2] = {{wake_[0], POLLIN, 0}, {master_, short(hold_ ? 0 : POLLIN), 0}};
        // With no sender on the slave side the master reports a hang-up at
        // once; then only the wake pipe is waited on, so the loop does not spin.
        const bool hungUp = !connected_;
        const int nfds = poll(fds, hungUp ? 1 : 2, int(wait.count()));
        if (nfds < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(wake_[0], drain, sizeof drain) > 0) {
            }
        }
        pollfd probe{master_, short(hold_ ? 0 : POLLIN), 0};
        poll(&probe, 1, 0);
        if (probe.revents & POLLIN)
            readAvailable(Clock::now());
        const bool nowConnected = !(probe.revents & (POLLHUP | POLLERR));
        if (nowConnected)
            everConnected_ = true;
        if (nowConnected != connected_.load()) {
            {
                std::lock_guard lock(mutex_);
                connected_ = nowConnected;
            }
            connected_cv_.notify_all();
            if (!nowConnected)
                printer_.lineClosed();
        }
        if (connected_)
            writeDue(Clock::now());
        printer_.tick(Clock::now());
    }
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
