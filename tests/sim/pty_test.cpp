// Tests of the virtual printer's serial and USB pseudo-terminal transports,
// driven by a plain program-like opener.
#include "sim/pty.h"
#include "support/fd_io.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// The sender's side: opens the slave like a serial port and sets its speed.
struct Line {
    int fd = -1;
    explicit Line(const std::string& path, speed_t speed = B9600, bool rtscts = false)
    {
        fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
        termios t{};
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
        t.c_cflag = (t.c_cflag & ~tcflag_t(CRTSCTS)) | (rtscts ? CRTSCTS : 0);
        tcsetattr(fd, TCSANOW, &t); // fails harmlessly when the open did
    }
    ~Line()
    {
        if (fd >= 0)
            ::close(fd);
    }
    bool write(const std::vector<uint8_t>& b) { return ::write(fd, b.data(), b.size()) == ssize_t(b.size()); }
    std::vector<uint8_t> read(size_t n, std::chrono::milliseconds timeout)
    {
        return testsupport::ReadFor(fd, n, timeout).bytes;
    }
};

using testsupport::ReadText;
using testsupport::TempDir;

const std::vector<uint8_t> kPreamble{0x1C, 0xAA, 0x0D};
const std::vector<uint8_t> kAck{0x1C, 0xAA, 0xAA};

} // namespace

// The answer to the font preamble comes over the line after its delay.
TEST(SerialPrinter, ALateAnswerComesAfterItsDelay)
{
    sim::PrinterOptions o;
    o.preambleAnswer.mode = sim::AnswerMode::Late;
    o.preambleAnswer.lateMs = 300;
    o.preambleAnswerDelayMs = 0;
    sim::SerialPrinter printer(o);
    ASSERT_TRUE(printer.ok());
    Line line(printer.slavePath());
    ASSERT_TRUE(printer.waitForConnected(true, 5s));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(line.write(kPreamble));
    EXPECT_EQ(line.read(3, 5s), kAck);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 250ms);
}

TEST(UsbPrinter, MakesTheDeviceLayoutAndRemovesIt)
{
    TempDir root;
    {
        sim::UsbPrinter lp0(root.path(), 0);
        sim::UsbPrinter lp1(root.path(), 1);
        ASSERT_TRUE(lp0.ok()) << lp0.error();
        EXPECT_EQ(ReadText(root / "sys/class/usbmisc/lp0/dev"), "180:0\n");
        EXPECT_EQ(ReadText(root / "sys/class/usbmisc/lp1/dev"), "180:1\n");
        EXPECT_EQ(ReadText(root / "sys/class/usbmisc/lp0/device/ieee1284_id"),
                  "MFG:KQ;CMD:ESC/POS;MDL:KQ58;CLS:PRINTER;");
        EXPECT_EQ(fs::read_symlink(root / "dev/usb/lp0"), lp0.slavePath());
        EXPECT_EQ(lp1.devicePath(), (root / "dev/usb/lp1"));

        // A second printer at a taken index is refused and leaves the node alone.
        {
            sim::UsbPrinter again(root.path(), 0);
            EXPECT_TRUE(again.devicePath().empty());
            EXPECT_NE(again.error().find("another printer at index 0"), std::string::npos) << again.error();
        }
        EXPECT_EQ(fs::read_symlink(root / "dev/usb/lp0"), lp0.slavePath());

        // Through the link: a status answer, and no answer to the font preamble on USB.
        Line line(lp0.devicePath());
        ASSERT_TRUE(line.write({0x10, 0x04, 0x01}));
        EXPECT_EQ(line.read(1, 5s), std::vector<uint8_t>{0x16});
        ASSERT_TRUE(line.write(kPreamble));
        EXPECT_TRUE(lp0.waitForLine("font download preamble", 5s));
        EXPECT_TRUE(line.read(3, 200ms).empty());
    }
    EXPECT_FALSE(fs::exists(root / "sys/class/usbmisc/lp0"));
    EXPECT_FALSE(fs::is_symlink(root / "dev/usb/lp0"));
}

// The program's pattern: the preamble at 9600 with hardware flow, close,
// reopen at 38400, read the answer, send the file, close. The reopening must
// not end the download before its data; the closing ends it.
TEST(SerialPrinter, FontDownloadAcrossTheSpeedSwitch)
{
    sim::PrinterOptions o;
    o.downloadQuiet = 10s; // only the close may end it here
    sim::SerialPrinter printer(o);
    ASSERT_TRUE(printer.ok());
    EXPECT_FALSE(printer.waitForConnected(true, 100ms)); // nobody has the line open yet
    {
        Line slow(printer.slavePath(), B9600, true);
        EXPECT_TRUE(printer.waitForConnected(true, 5s));
        ASSERT_TRUE(slow.write(kPreamble));
        ASSERT_TRUE(printer.waitForLine("font download preamble", 5s));
    }
    // The speed each preamble came at is noted.
    EXPECT_EQ(printer.printer().countLines("font download preamble at 9600 baud, RTS/CTS"), 1u);
    Line fast(printer.slavePath(), B38400, true);
    EXPECT_EQ(fast.read(3, 5s), kAck);
    const std::vector<uint8_t> file{'a', 'b', 'c'};
    ASSERT_TRUE(fast.write(file));
    ASSERT_TRUE(printer.waitForBytes(6, 5s));
    ::close(fast.fd);
    fast.fd = -1;
    ASSERT_TRUE(printer.waitFor([](const sim::PrinterState& s) { return !s.downloads.empty() && !s.downloads[0].open; },
                                5s));
    EXPECT_EQ(printer.printer().state().downloads[0].length, 3u);
}
