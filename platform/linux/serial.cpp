// Serial lines: opening a COM name exclusively, the DCB on termios, and
// reads and writes bounded by COMMTIMEOUTS through poll.
//
// What Linux cannot do is refused or stated here, once:
// - 1.5 stop bits do not exist in termios: SetCommState fails with
//   ERROR_NOT_SUPPORTED and changes nothing.
// - There is no DSR output flow control: fOutxDsrFlow is accepted, kept for
//   GetCommState, and has no effect on the line. CTS output flow becomes
//   CRTSCTS (which also drives RTS as the input handshake) with DTR held on.
// - RTS_CONTROL_TOGGLE has no termios equivalent and is refused.
// - Time-outs of 0/0 mean "no total time-out" on Windows; here such a read or
//   write still ends after kUnboundedMs (scaled), so nothing waits forever on
//   a device that does not answer.
// - Modem-line ioctls fail on a pseudo-terminal; that failure is harmless.
// - A device that is an active system console (the kernel's, often
//   /dev/ttyS0 = COM1's default) is never opened as a COM port.
// - A pseudo-terminal always runs 8 data bits without parity whatever is set
//   (the kernel rewrites those two fields); GetCommState on one reports the
//   data bits and parity last set, everything else from the live line.
#include "platform/comdevices.h"
#include "platform/linux/kernel.h"
#include "platform/linux/notices.h"
#include "platform/linux/roots.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using plat::Fail;

namespace plat {

std::string PlatComDeviceFor(unsigned n); // serialstore.cpp

namespace {

constexpr uint64_t kUnboundedMs = 60000;

struct BaudRow {
    DWORD baud;
    speed_t speed;
};
constexpr BaudRow kBauds[] = {
    {CBR_110, B110},     {CBR_300, B300},     {CBR_1200, B1200},   {CBR_2400, B2400},   {CBR_4800, B4800},
    {CBR_9600, B9600},   {CBR_19200, B19200}, {CBR_38400, B38400}, {CBR_57600, B57600}, {CBR_115200, B115200},
};

bool SpeedOf(DWORD baud, speed_t* speed)
{
    for (const auto& row : kBauds)
        if (row.baud == baud) {
            *speed = row.speed;
            return true;
        }
    return false;
}

void ModemLines(int fd, int bits, bool on)
{
    // Fails on a pseudo-terminal and on lines without modem control: harmless.
    (void)ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits);
}

} // namespace

DWORD DcbError(const DCB& d)
{
    speed_t speed = 0;
    if (!SpeedOf(d.BaudRate, &speed) || d.ByteSize < 5 || d.ByteSize > 8 || d.Parity > SPACEPARITY ||
        d.StopBits > TWOSTOPBITS)
        return ERROR_INVALID_PARAMETER;
    if (d.StopBits == ONE5STOPBITS || d.fRtsControl == RTS_CONTROL_TOGGLE)
        return ERROR_NOT_SUPPORTED;
    return 0;
}

// Waits until fd is ready for `events` or the deadline passes. Returns the
// poll result for fd: 0 on time-out, -1 when the handle was closed or the
// call aborted meanwhile (ERROR_OPERATION_ABORTED set), otherwise the revents.
int WaitHandleReady(FileObject& f, short events, Clock::time_point deadline)
{
    const IoCall* call = CurrentIoCall();
    for (;;) {
        if (f.Cancelled() || (call && call->Aborted())) {
            SetLastError(ERROR_OPERATION_ABORTED);
            return -1;
        }
        pollfd fds[2] = {{f.fd, events, 0}, {f.wakeFd, POLLIN, 0}};
        int ms = PollMsUntil(deadline);
        int r = poll(fds, f.wakeFd >= 0 ? 2 : 1, ms);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            SetLastError(ErrorFromErrno(errno));
            return -1;
        }
        if (f.Cancelled() || (call && call->Aborted())) {
            SetLastError(ERROR_OPERATION_ABORTED);
            return -1;
        }
        if (r == 0 || fds[0].revents == 0) {
            if (ms == 0)
                return 0;
            continue;
        }
        return fds[0].revents;
    }
}

void MakeRaw(int fd)
{
    termios t;
    if (tcgetattr(fd, &t) != 0)
        return;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &t);
}

int OpenDeviceExclusive(const std::string& path, DWORD busyError)
{
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        SetLastError(err == EBUSY ? busyError : ErrorFromErrno(err));
        return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        SetLastError(busyError);
        return -1;
    }
    return fd;
}

namespace {

// The kernel's console is no printer: bytes sent there land on the
// machine's console, and new line settings would break it for the system.
HANDLE RefuseConsole(unsigned n, const std::string& path)
{
    const std::string com = "COM" + std::to_string(n);
    if (PlatComDeviceTyped(com))
        PlatNotice("设备 " + path + " 是系统控制台，mptest 不会打开它，也不会改变它的设置。请用 --port 指定打印机所连接的设备。");
    else
        PlatNotice(com + " 对应的设备 " + path + " 是系统控制台，mptest 不会打开它，也不会改变它的设置。请在“端口设置”中为 " +
                   com + " 选择打印机所连接的设备。");
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
}

} // namespace

HANDLE OpenSerial(unsigned n)
{
    // Looked at before the open (opening a serial line raises its modem
    // lines) and again after it, on what was opened.
    const std::string path = PlatComDeviceFor(n);
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && IsSystemConsole(st))
        return RefuseConsole(n, path);
    // A line another program holds (TIOCEXCL answers EBUSY, or its lock is
    // taken) is the busy COM port of Windows. TIOCEXCL keeps out other
    // openers but not root; the lock keeps out every opener, root too.
    int fd = OpenDeviceExclusive(path, ERROR_ACCESS_DENIED);
    if (fd < 0)
        return INVALID_HANDLE_VALUE;
    if (fstat(fd, &st) == 0 && IsSystemConsole(st)) {
        close(fd);
        return RefuseConsole(n, path);
    }
    auto f = std::make_shared<FileObject>(FileKind::Serial, fd);
    if (f->isTty) {
        ioctl(fd, TIOCEXCL);
        MakeRaw(fd);
        ModemLines(fd, TIOCM_DTR | TIOCM_RTS, true);
    }
    // Windows' defaults for a freshly opened port.
    f->shadow.DCBlength = sizeof(DCB);
    f->shadow.fBinary = 1;
    f->shadow.fDtrControl = DTR_CONTROL_ENABLE;
    f->shadow.fRtsControl = RTS_CONTROL_ENABLE;
    f->shadow.XonLim = 2048;
    f->shadow.XoffLim = 512;
    SetLastError(ERROR_SUCCESS);
    return AddHandle(std::move(f));
}

ReadStep ReadAvailable(FileObject& f, char* out, DWORD want, DWORD& done)
{
    for (;;) {
        if (f.Cancelled()) { // the handle was closed under us: stop here
            Fail(ERROR_OPERATION_ABORTED);
            return ReadStep::Failed;
        }
        const ssize_t n = ::read(f.fd, out + done, want - done);
        if (n > 0) {
            done += static_cast<DWORD>(n);
            return ReadStep::Got;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            Fail(ERROR_READ_FAULT); // the line went away (EIO when a pty's other side closed)
            return ReadStep::Failed;
        }
        return n == 0 && !f.isTty ? ReadStep::End : ReadStep::Wait;
    }
}

BOOL SerialRead(FileObject& f, void* buffer, DWORD toRead, DWORD* read)
{
    COMMTIMEOUTS to;
    {
        std::lock_guard<std::mutex> g(f.lock);
        to = f.timeouts;
    }
    *read = 0;
    if (toRead == 0)
        return TRUE;
    const auto start = Clock::now();
    // The special forms Windows gives to MAXDWORD in the interval.
    bool returnAtOnce = to.ReadIntervalTimeout == MAXDWORD && to.ReadTotalTimeoutMultiplier == 0 &&
                        to.ReadTotalTimeoutConstant == 0;
    bool returnOnAny = to.ReadIntervalTimeout == MAXDWORD && to.ReadTotalTimeoutMultiplier == MAXDWORD &&
                       to.ReadTotalTimeoutConstant != 0 && to.ReadTotalTimeoutConstant != MAXDWORD;
    uint64_t totalMs;
    if (returnOnAny)
        totalMs = to.ReadTotalTimeoutConstant;
    else if (to.ReadTotalTimeoutMultiplier == 0 && to.ReadTotalTimeoutConstant == 0)
        totalMs = kUnboundedMs;
    else
        totalMs = static_cast<uint64_t>(to.ReadTotalTimeoutMultiplier) * toRead + to.ReadTotalTimeoutConstant;
    const auto totalDeadline = start + ScaledMs(totalMs);
    const bool useInterval = to.ReadIntervalTimeout != 0 && to.ReadIntervalTimeout != MAXDWORD;
    const auto interval = ScaledMs(to.ReadIntervalTimeout);
    Clock::time_point lastByte{};

    char* out = static_cast<char*>(buffer);
    DWORD done = 0;
    bool hungUp = false;
    while (done < toRead) {
        const ReadStep step = ReadAvailable(f, out, toRead, done);
        if (step == ReadStep::Failed) {
            *read = done;
            return FALSE;
        }
        if (step == ReadStep::End)
            break;
        if (step == ReadStep::Got) {
            lastByte = Clock::now();
            if (returnOnAny)
                break;
            continue;
        }
        if (hungUp) {
            // A hung-up line reads as readable and empty for ever: nobody is
            // at the other end, and waiting on would only spin.
            *read = done;
            return Fail(ERROR_READ_FAULT);
        }
        if (returnAtOnce)
            break;
        auto deadline = totalDeadline;
        if (useInterval && done > 0)
            deadline = std::min(deadline, lastByte + interval);
        int ev = WaitHandleReady(f, POLLIN, deadline);
        if (ev < 0) {
            *read = done;
            return FALSE;
        }
        if (ev == 0)
            break;
        hungUp = (ev & POLLHUP) != 0;
        if ((ev & (POLLHUP | POLLERR)) && !(ev & POLLIN)) {
            // Nobody at the other end: no byte can come, so do not spin.
            *read = done;
            return Fail(ERROR_READ_FAULT);
        }
    }
    *read = done;
    return TRUE;
}

BOOL SerialWrite(FileObject& f, const void* buffer, DWORD toWrite, DWORD* written)
{
    COMMTIMEOUTS to;
    {
        std::lock_guard<std::mutex> g(f.lock);
        to = f.timeouts;
    }
    uint64_t totalMs = static_cast<uint64_t>(to.WriteTotalTimeoutMultiplier) * toWrite + to.WriteTotalTimeoutConstant;
    if (to.WriteTotalTimeoutMultiplier == 0 && to.WriteTotalTimeoutConstant == 0)
        totalMs = kUnboundedMs;
    // Bytes written to a terminal may still sit in its output queue; Windows
    // counts them as written too once the driver took them.
    return WriteBounded(f, buffer, toWrite, written, ScaledMs(totalMs), false);
}

BOOL WriteBounded(FileObject& f, const void* buffer, DWORD toWrite, DWORD* written, std::chrono::microseconds bound,
                  bool renewOnProgress)
{
    const char* in = static_cast<const char*>(buffer);
    DWORD done = 0;
    // The clock is read only when the device holds a write back: most
    // writes go through at once, and a block's cost is then its write(2).
    // The time the writes before the first wait took (microseconds) is not
    // counted against the bound.
    std::optional<Clock::time_point> deadline;
    bool movedSinceWait = false;
    while (done < toWrite) {
        if (f.Cancelled()) { // the handle was closed under us: stop here
            *written = done;
            return Fail(ERROR_OPERATION_ABORTED);
        }
        // A socket whose peer is gone must fail the write, not raise SIGPIPE.
        ssize_t n = f.fileKind == FileKind::Socket ? ::send(f.fd, in + done, toWrite - done, MSG_NOSIGNAL)
                                                   : ::write(f.fd, in + done, toWrite - done);
        if (n > 0) {
            done += static_cast<DWORD>(n);
            movedSinceWait = true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            *written = done;
            return Fail(f.fileKind == FileKind::Socket ? SocketError(errno) : ERROR_WRITE_FAULT);
        }
        if (!deadline || (renewOnProgress && movedSinceWait))
            deadline = Clock::now() + bound;
        movedSinceWait = false;
        int ev = WaitHandleReady(f, POLLOUT, *deadline);
        if (ev < 0) {
            *written = done;
            return FALSE;
        }
        if (ev == 0)
            break; // time-out: what went out so far, and no error
        if ((ev & (POLLHUP | POLLERR)) && !(ev & POLLOUT)) {
            *written = done; // nobody at the other end
            if (f.fileKind == FileKind::Socket) {
                int err = 0;
                socklen_t size = sizeof err;
                getsockopt(f.fd, SOL_SOCKET, SO_ERROR, &err, &size);
                return Fail(SocketError(err != 0 ? err : ECONNRESET));
            }
            return Fail(ERROR_WRITE_FAULT);
        }
    }
    *written = done;
    return TRUE;
}

BOOL DeviceDrain(FileObject& f)
{
    // The bound of a USB node's or a connection's write; a serial write's
    // own time-out is the caller's to choose.
    const auto stall = ScaledMs(3000);
    if (f.fileKind == FileKind::UsbNode) {
        // usblp takes a non-blocking write at once and sends it on, and
        // closing the node cancels a transfer still under way; it shows the
        // last one done as ready to write.
        const int ev = WaitHandleReady(f, POLLOUT, Clock::now() + stall);
        if (ev == 0)
            return Fail(ERROR_TIMEOUT);
        return ev < 0 ? FALSE : (ev & POLLOUT) ? TRUE : Fail(ERROR_WRITE_FAULT);
    }
    // A terminal's output queue, or the bytes a connection's peer has not
    // acknowledged yet (the same ioctl). Nothing tells when they are gone,
    // so look every 2 ms; give up when the count stood still for the bound.
    int left = -1;
    auto standsUntil = Clock::now() + stall;
    for (;;) {
        int now = 0;
        if (ioctl(f.fd, TIOCOUTQ, &now) != 0)
            return f.isTty || f.fileKind == FileKind::Socket ? Fail(ERROR_WRITE_FAULT) : TRUE;
        if (now == 0)
            return TRUE;
        if (now != left) {
            left = now;
            standsUntil = Clock::now() + stall;
        } else if (Clock::now() >= standsUntil) {
            return Fail(ERROR_TIMEOUT);
        }
        const int ev = WaitHandleReady(f, 0, Clock::now() + ScaledMs(2));
        if (ev != 0) // closed, stopped, or hung up
            return ev < 0 ? FALSE : Fail(ERROR_WRITE_FAULT);
    }
}

} // namespace plat

namespace {

std::shared_ptr<plat::FileObject> SerialHandle(HANDLE h)
{
    auto f = plat::LookupFile(h);
    if (!f)
        return nullptr;
    if (f->fileKind != plat::FileKind::Serial) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return f;
}

} // namespace

BOOL GetCommState(HANDLE file, LPDCB dcb)
{
    auto f = SerialHandle(file);
    if (!f)
        return FALSE;
    if (dcb == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    termios t;
    if (tcgetattr(f->fd, &t) != 0)
        return Fail(ERROR_INVALID_HANDLE); // not a serial line
    DCB d;
    {
        std::lock_guard<std::mutex> g(f->lock);
        d = f->shadow;
    }
    d.DCBlength = sizeof(DCB);
    speed_t sp = cfgetospeed(&t);
    d.BaudRate = 0;
    for (const auto& row : plat::kBauds)
        if (row.speed == sp)
            d.BaudRate = row.baud;
    switch (t.c_cflag & CSIZE) {
    case CS5:
        d.ByteSize = 5;
        break;
    case CS6:
        d.ByteSize = 6;
        break;
    case CS7:
        d.ByteSize = 7;
        break;
    default:
        d.ByteSize = 8;
        break;
    }
    if (!(t.c_cflag & PARENB))
        d.Parity = NOPARITY;
    else if (t.c_cflag & CMSPAR)
        d.Parity = (t.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    else
        d.Parity = (t.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
    if (f->isPty) {
        DCB set;
        {
            std::lock_guard<std::mutex> g(f->lock);
            set = f->shadow;
        }
        if (set.ByteSize >= 5 && set.ByteSize <= 8) {
            d.ByteSize = set.ByteSize;
            d.Parity = set.Parity;
        }
    }
    d.StopBits = (t.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
    d.fParity = (t.c_iflag & INPCK) ? 1 : 0;
    bool crtscts = (t.c_cflag & CRTSCTS) != 0;
    d.fOutxCtsFlow = crtscts ? 1 : 0;
    if (crtscts)
        d.fRtsControl = RTS_CONTROL_HANDSHAKE;
    else if (d.fRtsControl == RTS_CONTROL_HANDSHAKE)
        d.fRtsControl = RTS_CONTROL_ENABLE;
    d.fOutX = (t.c_iflag & IXON) ? 1 : 0;
    d.fInX = (t.c_iflag & IXOFF) ? 1 : 0;
    d.XonChar = static_cast<char>(t.c_cc[VSTART]);
    d.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
    *dcb = d;
    return TRUE;
}

BOOL SetCommState(HANDLE file, LPDCB dcb)
{
    auto f = SerialHandle(file);
    if (!f)
        return FALSE;
    if (dcb == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    const DCB d = *dcb;
    // Everything is checked before anything changes.
    if (DWORD error = plat::DcbError(d); error != 0)
        return Fail(error);
    speed_t speed = 0;
    plat::SpeedOf(d.BaudRate, &speed);
    termios t;
    if (tcgetattr(f->fd, &t) != 0)
        return Fail(ERROR_INVALID_HANDLE);

    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= kSizes[d.ByteSize - 5] | CLOCAL | CREAD;
    switch (d.Parity) {
    case ODDPARITY:
        t.c_cflag |= PARENB | PARODD;
        break;
    case EVENPARITY:
        t.c_cflag |= PARENB;
        break;
    case MARKPARITY:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case SPACEPARITY:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (d.StopBits == TWOSTOPBITS)
        t.c_cflag |= CSTOPB;
    t.c_iflag &= ~static_cast<tcflag_t>(INPCK | IXON | IXOFF | IXANY);
    if (d.fParity && d.Parity != NOPARITY)
        t.c_iflag |= INPCK;
    bool hardware = d.fOutxCtsFlow || d.fRtsControl == RTS_CONTROL_HANDSHAKE;
    if (hardware)
        t.c_cflag |= CRTSCTS;
    if (d.fOutX)
        t.c_iflag |= IXON;
    if (d.fInX)
        t.c_iflag |= IXOFF;
    if (d.XonChar != d.XoffChar) {
        t.c_cc[VSTART] = static_cast<cc_t>(d.XonChar);
        t.c_cc[VSTOP] = static_cast<cc_t>(d.XoffChar);
    }
    if (tcsetattr(f->fd, TCSANOW, &t) != 0)
        return plat::FailErrno();

    // Modem lines: DTR is held on under hardware flow; the rest as asked.
    bool dtr = hardware || d.fDtrControl != DTR_CONTROL_DISABLE;
    plat::ModemLines(f->fd, TIOCM_DTR, dtr);
    if (!hardware)
        plat::ModemLines(f->fd, TIOCM_RTS, d.fRtsControl != RTS_CONTROL_DISABLE);

    std::lock_guard<std::mutex> g(f->lock);
    f->shadow = d;
    f->shadow.DCBlength = sizeof(DCB);
    return TRUE;
}

BOOL GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts)
{
    auto f = SerialHandle(file);
    if (!f)
        return FALSE;
    if (timeouts == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard<std::mutex> g(f->lock);
    *timeouts = f->timeouts;
    return TRUE;
}

BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts)
{
    auto f = SerialHandle(file);
    if (!f)
        return FALSE;
    if (timeouts == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    if (timeouts->ReadIntervalTimeout == MAXDWORD && timeouts->ReadTotalTimeoutConstant == MAXDWORD &&
        timeouts->ReadTotalTimeoutMultiplier == MAXDWORD)
        return Fail(ERROR_INVALID_PARAMETER); // Windows refuses this one form
    std::lock_guard<std::mutex> g(f->lock);
    f->timeouts = *timeouts;
    return TRUE;
}
