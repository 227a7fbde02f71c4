// Serial lines over pseudo-terminals: COM names mapped to the slave side in
// a temporary store, the master side playing the printer. A USB node's reads
// and stalled writes are rows beside the serial line's.
#include "support.h"

#include <sys/file.h>
#include <termios.h>
#include <vector>

using namespace testplat;

namespace {

class Serial : public PtyLine {
protected:
    static void SetTimeouts(HANDLE h, DWORD interval, DWORD writeConst)
    {
        COMMTIMEOUTS to{interval, 0, 0, 0, writeConst};
        ASSERT_TRUE(SetCommTimeouts(h, &to));
    }
    termios MasterView() const
    {
        termios t{};
        EXPECT_EQ(tcgetattr(pty.master(), &t), 0);
        return t;
    }
};

// 9600 8N1, DTR and RTS on, the usual flow characters.
DCB BaseDcb()
{
    return {.DCBlength = sizeof(DCB), .BaudRate = CBR_9600, .fBinary = 1, .fDtrControl = DTR_CONTROL_ENABLE,
            .fRtsControl = RTS_CONTROL_ENABLE, .ByteSize = 8, .Parity = NOPARITY, .StopBits = ONESTOPBIT,
            .XonChar = 0x11, .XoffChar = 0x13};
}

TEST_F(Serial, OpensByEveryFormOfTheName)
{
    for (const char* name : {"COM3", "com3", "\\\\.\\COM3"}) {
        SCOPED_TRACE(name);
        HANDLE h = Open(name);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        COMMTIMEOUTS to{1, 1, 1, 1, 1};
        ASSERT_TRUE(GetCommTimeouts(h, &to));
        // Windows opens a port with every time-out zero.
        EXPECT_EQ(to.ReadIntervalTimeout + to.ReadTotalTimeoutConstant + to.ReadTotalTimeoutMultiplier +
                      to.WriteTotalTimeoutConstant + to.WriteTotalTimeoutMultiplier,
                  0u);
        DCB d{};
        EXPECT_TRUE(GetCommState(h, &d));
        EXPECT_TRUE(CloseHandle(h));
    }
}

TEST_F(Serial, SettingsAreWrittenAndReadBack)
{
    HANDLE h = Open("COM3");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    struct Case { DWORD baud; BYTE bits; BYTE parity; BYTE stop; bool cts; bool xon; speed_t speed; } cases[] = {
        {CBR_110, 5, ODDPARITY, ONESTOPBIT, false, false, B110},
        {CBR_300, 6, EVENPARITY, TWOSTOPBITS, false, true, B300},
        {CBR_1200, 7, MARKPARITY, ONESTOPBIT, true, false, B1200},
        {CBR_2400, 8, SPACEPARITY, TWOSTOPBITS, false, false, B2400},
        {CBR_4800, 8, NOPARITY, ONESTOPBIT, false, false, B4800},
        {CBR_9600, 8, NOPARITY, ONESTOPBIT, true, false, B9600},
        {CBR_19200, 7, EVENPARITY, ONESTOPBIT, false, true, B19200},
        {CBR_38400, 8, NOPARITY, ONESTOPBIT, true, false, B38400},
        {CBR_57600, 8, ODDPARITY, TWOSTOPBITS, false, false, B57600},
        {CBR_115200, 8, NOPARITY, ONESTOPBIT, false, false, B115200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.baud);
        DCB d = BaseDcb();
        d.BaudRate = c.baud;
        d.ByteSize = c.bits;
        d.Parity = c.parity;
        d.StopBits = c.stop;
        d.fOutxCtsFlow = c.cts;
        d.fOutxDsrFlow = c.cts; // the program asks both for hardware flow
        d.fOutX = d.fInX = c.xon;
        ASSERT_TRUE(SetCommState(h, &d));

        DCB b{};
        ASSERT_TRUE(GetCommState(h, &b));
        EXPECT_EQ((std::vector<DWORD>{b.BaudRate, b.ByteSize, b.Parity, b.StopBits, b.fOutxCtsFlow, b.fOutxDsrFlow,
                                      b.fOutX, b.fInX}),
                  (std::vector<DWORD>{c.baud, c.bits, c.parity, c.stop, c.cts, c.cts, c.xon, c.xon}));

        // What the far end sees of the line.
        termios t = MasterView();
        EXPECT_EQ(cfgetospeed(&t), c.speed);
        EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, c.cts);
        // (A pseudo-terminal keeps no data bits or parity: the kernel holds it at 8N.)
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.stop == TWOSTOPBITS);
        EXPECT_EQ((t.c_iflag & IXON) != 0, c.xon);
    }
    CloseHandle(h);
}

TEST_F(Serial, RefusedSettingsChangeNothing)
{
    HANDLE h = Open("COM3");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DCB good = BaseDcb();
    good.BaudRate = CBR_19200;
    ASSERT_TRUE(SetCommState(h, &good));
    struct Case {
        const char* what;
        void (*spoil)(DCB&);
        DWORD error;
    } cases[] = {
        {"1.5 stop bits", [](DCB& d) { d.StopBits = ONE5STOPBITS; }, ERROR_NOT_SUPPORTED},
        {"baud 14400", [](DCB& d) { d.BaudRate = 14400; }, ERROR_INVALID_PARAMETER},
        {"baud 0", [](DCB& d) { d.BaudRate = 0; }, ERROR_INVALID_PARAMETER},
        {"4 data bits", [](DCB& d) { d.ByteSize = 4; }, ERROR_INVALID_PARAMETER},
        {"9 data bits", [](DCB& d) { d.ByteSize = 9; }, ERROR_INVALID_PARAMETER},
        {"parity 5", [](DCB& d) { d.Parity = 5; }, ERROR_INVALID_PARAMETER},
        {"stop bits 3", [](DCB& d) { d.StopBits = 3; }, ERROR_INVALID_PARAMETER},
        {"RTS toggle", [](DCB& d) { d.fRtsControl = RTS_CONTROL_TOGGLE; }, ERROR_NOT_SUPPORTED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DCB bad = BaseDcb();
        bad.BaudRate = CBR_115200;
        bad.fOutxCtsFlow = 1;
        c.spoil(bad);
        EXPECT_FALSE(SetCommState(h, &bad));
        EXPECT_EQ(GetLastError(), c.error);
        DCB back{};
        ASSERT_TRUE(GetCommState(h, &back));
        EXPECT_EQ(back.BaudRate, static_cast<DWORD>(CBR_19200));
        EXPECT_EQ(back.fOutxCtsFlow, 0u);
        termios t = MasterView();
        EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
        EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    }
    CloseHandle(h);
}

// Another opener, this program or another, is kept out both ways: TIOCEXCL
// alone does not stop root, the lock does.
TEST_F(Serial, SecondOpenFailsEvenForRoot)
{
    HANDLE a = Open("COM3");
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open("COM3"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    int fd = open(pty.slave().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) { // root passes TIOCEXCL; the lock still stands
        EXPECT_NE(flock(fd, LOCK_EX | LOCK_NB), 0);
        close(fd);
    }
    EXPECT_TRUE(CloseHandle(a));
    // Held by another program the plain way; free again once it lets go.
    fd = open(pty.slave().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(Open("COM3"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    close(fd);
    HANDLE c = Open("COM3");
    EXPECT_NE(c, INVALID_HANDLE_VALUE);
    CloseHandle(c);
}

// A missing device is not created; a plain file or /dev/null opens but
// takes no line settings, as a plain file handle does not.
TEST_F(Serial, WhatIsNoSerialLineIsRefused)
{
    EXPECT_EQ(Open("COM5", 0, OPEN_ALWAYS), INVALID_HANDLE_VALUE); // no mapping: <Dev>/ttyS4
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(fs::exists(dir / "dev/ttyS4"));
    WriteText(dir / "plain", "");
    ASSERT_TRUE(PlatSetComDevice("COM4", dir / "plain"));
    ASSERT_TRUE(PlatSetComDevice("COM6", "/dev/null"));
    for (const char* name : {"COM4", "COM6", ""}) {
        SCOPED_TRACE(name);
        HANDLE h = *name ? Open(name)
                         : CreateFileA((dir / "plain").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DCB d = BaseDcb();
        EXPECT_FALSE(GetCommState(h, &d));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_FALSE(SetCommState(h, &d));
        CloseHandle(h);
    }
    HANDLE f = CreateFileA((dir / "plain").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    COMMTIMEOUTS to{};
    EXPECT_FALSE(SetCommTimeouts(f, &to));
    CloseHandle(f);
}

using Reads = Serial;

// Each row: what the far end sent before the read, the time-outs, and how
// the read ends: with the answer when the count is complete, after the
// interval once bytes stopped coming, else at the total time-out. A USB
// node has one bound, 5 s, and fails at it.
TEST_F(Reads, EndWithTheAnswerOrAtTheirBound)
{
    struct Case {
        const char* what;
        bool usb;
        std::string sent;
        DWORD want;
        double scale;
        COMMTIMEOUTS timeouts; // a serial line's
        long long minMs, maxMs;
    } cases[] = {
        {"complete count: at once", false, "\x1c\xaa\xaa", 3, 1.0, {200, 0, 5000, 0, 3000}, 0, 2000},
        {"interval exceeded, far below the 5 s", false, "ab", 10, 1.0, {200, 0, 5000, 0, 3000}, 150, 3000},
        {"nothing: 10 ms a byte + 300", false, "", 10, 1.0, {0, 10, 300, 0, 0}, 380, 3000},
        {"nothing: the program's 5 s, scaled", false, "", 10, 0.02, {200, 0, 5000, 0, 3000}, 0, 2500},
        // All zero: no time-out on Windows; here a large bound (60 s), scaled.
        {"nothing: all zero, scaled", false, "", 10, 0.02, {0, 0, 0, 0, 0}, 1000, 10000},
        {"nothing: MAXDWORD interval returns at once", false, "", 4, 1.0, {MAXDWORD, 0, 0, 0, 0}, 0, 1000},
        {"usb, complete: no quiet interval waited out", true, "ABCDEF", 6, 1.0, {}, 0, 2000},
        {"usb, short: ends after the quiet interval", true, "ABCDE", 6, 1.0, {}, 180, 3000},
        {"usb, silent: fails at 5 s", true, "", 6, 1.0, {}, 4900, 10000},
        {"usb, silent, scaled", true, "", 6, 0.02, {}, 0, 2000},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScaleGuard scale(c.scale);
        const bool fails = c.usb && c.sent.empty(); // a serial time-out is no error
        HANDLE h = !c.usb ? Open("COM3")
                          : Open(fails ? usbNode : usbNode + "\\PIPE02", FILE_SHARE_READ | FILE_SHARE_WRITE);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        if (!c.usb) {
            ASSERT_TRUE(SetCommTimeouts(h, &c.timeouts));
        }
        ASSERT_EQ(write(pty.master(), c.sent.data(), c.sent.size()), static_cast<ssize_t>(c.sent.size()));
        char buf[10] = {};
        DWORD n = 9;
        auto start = Clock::now();
        EXPECT_EQ(ReadFile(h, buf, c.want, &n, nullptr), fails ? FALSE : TRUE);
        const DWORD error = GetLastError();
        auto ms = MsSince(start);
        if (fails) {
            EXPECT_EQ(error, static_cast<DWORD>(ERROR_TIMEOUT));
        }
        EXPECT_EQ(std::string(buf, n), c.sent);
        EXPECT_GE(ms, c.minMs);
        EXPECT_LT(ms, c.maxMs);
        CloseHandle(h);
    }
    // With MAXDWORD a read gives what is there: the byte crosses the
    // pseudo-terminal on its own time, so look again, bounded.
    HANDLE h = Open("COM3");
    SetTimeouts(h, MAXDWORD, 0);
    ASSERT_EQ(write(pty.master(), "z", 1), 1);
    char buf[4];
    DWORD n = 0;
    for (auto start = Clock::now(); n == 0 && MsSince(start) < 3000; Sleep(1))
        ASSERT_TRUE(ReadFile(h, buf, 4, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), "z");
    CloseHandle(h);
}

// A line hung up under an open handle (its far end gone) reads as
// readable and empty for ever: a read fails at once as the device gone,
// instead of spinning until its bound and then looking like a quiet printer.
TEST_F(Reads, OnAHungUpLineFailAsTheDeviceGone)
{
    Pty usbLine; // the serial line holds the fixture's alone
    fs::remove(usbNode);
    fs::create_symlink(usbLine.slave(), usbNode);
    HANDLE serial = Open("COM3");
    ASSERT_NE(serial, INVALID_HANDLE_VALUE);
    COMMTIMEOUTS timeouts{200, 0, 3000, 0, 3000};
    ASSERT_TRUE(SetCommTimeouts(serial, &timeouts));
    HANDLE usb = Open(usbNode);
    ASSERT_NE(usb, INVALID_HANDLE_VALUE);
    pty.closeMaster();
    usbLine.closeMaster();
    for (HANDLE h : {serial, usb}) {
        char buf[4];
        DWORD n = 9;
        EXPECT_FALSE(ReadFile(h, buf, sizeof buf, &n, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_READ_FAULT));
        EXPECT_EQ(n, 0u);
        CloseHandle(h);
    }
}

using Writes = Serial;

// A write the printer stops taking returns TRUE at its time-out with the
// count it moved: part of a large block on an empty serial line, nothing on
// a USB node already full (its time-out is 3 s). The printer finally reads
// exactly what was reported.
TEST_F(Writes, EndAtTheirTimeOutReportingWhatMoved)
{
    struct Case { bool usb; double scale; DWORD timeout; long long minMs, maxMs; } cases[] = {
        {false, 1.0, 300, 280, 3000},
        {false, 0.05, 3000, 0, 2000}, // 150 ms here
        {true, 1.0, 0, 2900, 8000},
        {true, 0.05, 0, 0, 2000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.usb ? "usb" : "serial") << " at " << c.scale);
        HANDLE h = c.usb ? Open(usbNode, FILE_SHARE_READ | FILE_SHARE_WRITE) : Open("COM3");
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        if (!c.usb)
            SetTimeouts(h, 0, c.timeout); // nobody reads the master: the pty fills up
        const DWORD before = c.usb ? Fill(h) : 0;
        const std::string data = c.usb ? "more" : std::string(1 << 20, 'x');
        ScaleGuard scale(c.scale);
        DWORD n = 9;
        auto start = Clock::now();
        EXPECT_TRUE(WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &n, nullptr));
        auto ms = MsSince(start);
        EXPECT_EQ(n > 0, !c.usb);
        EXPECT_LT(n, data.size());
        EXPECT_GE(ms, c.minMs);
        EXPECT_LT(ms, c.maxMs);
        EXPECT_EQ(pty.Drain(before + n, 5000).size(), before + n);
        CloseHandle(h);
    }
}

TEST_F(Serial, XoffFromTheFarEndStallsTheWrite)
{
    HANDLE h = Open("COM3");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DCB d = BaseDcb();
    d.fOutX = 1;
    ASSERT_TRUE(SetCommState(h, &d));
    ASSERT_EQ(write(pty.master(), "\x13", 1), 1); // XOFF
    // The line takes the XOFF on its own time: write single bytes, the far
    // end reading each so only the XOFF can stop them (bounded), until the
    // line refuses one; then time the stall.
    SetTimeouts(h, 0, 20);
    DWORD n = 1;
    for (auto t0 = Clock::now(); n != 0 && MsSince(t0) < 5000; pty.Drain(n, 100))
        ASSERT_TRUE(WriteFile(h, "h", 1, &n, nullptr));
    ASSERT_EQ(n, 0u) << "the XOFF never stopped the line";
    SetTimeouts(h, 0, 200);
    auto start = Clock::now();
    EXPECT_TRUE(WriteFile(h, "hello", 5, &n, nullptr));
    EXPECT_EQ(n, 0u);
    EXPECT_GE(MsSince(start), 180);
    ASSERT_EQ(write(pty.master(), "\x11", 1), 1); // XON
    SetTimeouts(h, 0, 3000);
    EXPECT_TRUE(WriteFile(h, "hello", 5, &n, nullptr));
    EXPECT_EQ(n, 5u);
    CloseHandle(h);
}

} // namespace
