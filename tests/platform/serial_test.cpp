// Serial lines over pseudo-terminals: COM names mapped to the slave side in
// a temporary store, the master side playing the printer.
#include "support.h"

#include <atomic>
#include <sys/file.h>
#include <termios.h>
#include <thread>

using namespace testplat;

namespace {

class Serial : public testing::Test {
protected:
    TempDir dir;
    RootGuard config{PlatRoot::Config, dir / "cfg"};
    RootGuard dev{PlatRoot::Dev, dir / "dev"};
    Pty pty;

    void SetUp() override { ASSERT_TRUE(PlatSetComDevice("COM3", pty.slave())); }

    static HANDLE OpenCom(const char* name = "COM3", DWORD disposition = OPEN_EXISTING)
    {
        return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    }
    static void SetTimeouts(HANDLE h, DWORD interval, DWORD readConst, DWORD writeConst, DWORD readMul = 0,
                            DWORD writeMul = 0)
    {
        COMMTIMEOUTS to{interval, readMul, readConst, writeMul, writeConst};
        ASSERT_TRUE(SetCommTimeouts(h, &to));
    }
    termios MasterView() const
    {
        termios t{};
        EXPECT_EQ(tcgetattr(pty.master(), &t), 0);
        return t;
    }
};

DCB BaseDcb()
{
    DCB d{};
    d.DCBlength = sizeof d;
    d.BaudRate = CBR_9600;
    d.fBinary = 1;
    d.fDtrControl = DTR_CONTROL_ENABLE;
    d.fRtsControl = RTS_CONTROL_ENABLE;
    d.ByteSize = 8;
    d.Parity = NOPARITY;
    d.StopBits = ONESTOPBIT;
    d.XonChar = 0x11;
    d.XoffChar = 0x13;
    return d;
}

TEST_F(Serial, OpensByEveryFormOfTheName)
{
    for (const char* name : {"COM3", "com3", "\\\\.\\COM3"}) {
        SCOPED_TRACE(name);
        HANDLE h = OpenCom(name);
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

TEST_F(Serial, MissingDeviceFailsAndCreatesNothing)
{
    // COM5 has no mapping: <Dev>/ttyS4, which does not exist.
    HANDLE h = OpenCom("COM5", OPEN_ALWAYS);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(fs::exists(dir / "dev/ttyS4"));
}

TEST_F(Serial, SettingsAreWrittenAndReadBack)
{
    HANDLE h = OpenCom();
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    struct Case {
        DWORD baud;
        BYTE bits;
        BYTE parity;
        BYTE stop;
        bool cts;
        bool xon;
        speed_t speed;
    } cases[] = {
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

        DCB back{};
        ASSERT_TRUE(GetCommState(h, &back));
        EXPECT_EQ(back.BaudRate, c.baud);
        EXPECT_EQ(back.ByteSize, c.bits);
        EXPECT_EQ(back.Parity, c.parity);
        EXPECT_EQ(back.StopBits, c.stop);
        EXPECT_EQ(back.fOutxCtsFlow, c.cts ? 1u : 0u);
        EXPECT_EQ(back.fOutxDsrFlow, c.cts ? 1u : 0u);
        EXPECT_EQ(back.fOutX, c.xon ? 1u : 0u);
        EXPECT_EQ(back.fInX, c.xon ? 1u : 0u);

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
    HANDLE h = OpenCom();
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

TEST_F(Serial, SecondOpenFailsEvenForRoot)
{
    HANDLE a = OpenCom();
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    HANDLE b = OpenCom();
    EXPECT_EQ(b, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    // Another program taking the line the plain way is kept out too.
    int fd = open(pty.slave().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) { // root passes TIOCEXCL; the lock still stands
        EXPECT_NE(flock(fd, LOCK_EX | LOCK_NB), 0);
        close(fd);
    }
    EXPECT_TRUE(CloseHandle(a));
    // Free again once closed.
    HANDLE c = OpenCom();
    EXPECT_NE(c, INVALID_HANDLE_VALUE);
    CloseHandle(c);
}

TEST_F(Serial, PortHeldByAnotherProgramIsBusy)
{
    int fd = open(pty.slave().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(OpenCom(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    close(fd);
}

TEST_F(Serial, NotASerialLine)
{
    WriteText(dir / "plain", "");
    ASSERT_TRUE(PlatSetComDevice("COM4", dir / "plain"));
    ASSERT_TRUE(PlatSetComDevice("COM6", "/dev/null"));
    for (const char* name : {"COM4", "COM6"}) {
        SCOPED_TRACE(name);
        HANDLE h = OpenCom(name);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DCB d{};
        EXPECT_FALSE(GetCommState(h, &d));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        DCB base = BaseDcb();
        EXPECT_FALSE(SetCommState(h, &base));
        CloseHandle(h);
    }
    // Comm calls on a plain file handle fail the same way.
    HANDLE f = CreateFileA((dir / "plain").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DCB d{};
    EXPECT_FALSE(GetCommState(f, &d));
    COMMTIMEOUTS to{};
    EXPECT_FALSE(SetCommTimeouts(f, &to));
    CloseHandle(f);
}

TEST_F(Serial, WriteReachesTheFarEndAndReadGetsItsAnswer)
{
    HANDLE h = OpenCom();
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    SetTimeouts(h, 200, 5000, 3000);
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, "\x1c\xaa\x0d", 3, &n, nullptr));
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(pty.Drain(3), "\x1c\xaa\x0d");
    ASSERT_EQ(write(pty.master(), "\x1c\xaa\xaa", 3), 3);
    char buf[3] = {};
    auto start = Clock::now();
    ASSERT_TRUE(ReadFile(h, buf, 3, &n, nullptr));
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(std::string(buf, 3), "\x1c\xaa\xaa");
    EXPECT_LT(MsSince(start), 2000); // the count was complete: no waiting out a time-out
    CloseHandle(h);
}

TEST_F(Serial, AReadWithNothingToReadEndsAtItsTimeout)
{
    struct Case {
        const char* what;
        double scale;
        COMMTIMEOUTS timeouts;
        long long minMs, maxMs;
    } cases[] = {
        {"10 ms a byte + 300, real time", 1.0, {0, 10, 300, 0, 0}, 380, 3000},
        // What the program sets (5 s): 100 ms here.
        {"the program's, scaled", 0.02, {200, 0, 5000, 0, 3000}, 0, 2500},
        // All zero: no time-out on Windows; here a large bound (60 s), scaled.
        {"all zero, scaled", 0.02, {0, 0, 0, 0, 0}, 1000, 10000},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScaleGuard scale(c.scale);
        HANDLE h = OpenCom();
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(SetCommTimeouts(h, &c.timeouts));
        char buf[10];
        DWORD n = 9;
        auto start = Clock::now();
        EXPECT_TRUE(ReadFile(h, buf, 10, &n, nullptr)); // a time-out is no error
        auto ms = MsSince(start);
        EXPECT_EQ(n, 0u);
        EXPECT_GE(ms, c.minMs);
        EXPECT_LT(ms, c.maxMs);
        CloseHandle(h);
    }
}

TEST_F(Serial, ReadEndsWhenTheIntervalBetweenBytesIsExceeded)
{
    HANDLE h = OpenCom();
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    SetTimeouts(h, 200, 5000, 3000);
    ASSERT_EQ(write(pty.master(), "ab", 2), 2);
    char buf[10];
    DWORD n = 0;
    auto start = Clock::now();
    ASSERT_TRUE(ReadFile(h, buf, 10, &n, nullptr));
    auto ms = MsSince(start);
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(std::string(buf, n), "ab");
    EXPECT_GE(ms, 150);
    EXPECT_LT(ms, 3000); // far below the 5 s total
    CloseHandle(h);
}

TEST_F(Serial, MaxdwordIntervalReturnsAtOnce)
{
    HANDLE h = OpenCom();
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    SetTimeouts(h, MAXDWORD, 0, 0);
    char buf[4];
    DWORD n = 9;
    auto start = Clock::now();
    ASSERT_TRUE(ReadFile(h, buf, 4, &n, nullptr)); // nothing there: at once
    EXPECT_EQ(n, 0u);
    EXPECT_LT(MsSince(start), 1000);
    ASSERT_EQ(write(pty.master(), "z", 1), 1);
    // The byte crosses the pty on its own time: look again, bounded.
    start = Clock::now();
    while (n == 0 && MsSince(start) < 3000) {
        ASSERT_TRUE(ReadFile(h, buf, 4, &n, nullptr));
        if (n == 0)
            Sleep(1);
    }
    EXPECT_EQ(n, 1u);
    CloseHandle(h);
}

TEST_F(Serial, StalledWriteReturnsThePartialCountAtItsTimeout)
{
    struct Case {
        double scale;
        DWORD timeout;
        long long minMs, maxMs;
    } cases[] = {
        {1.0, 300, 280, 3000},
        {0.05, 3000, 0, 2000}, // 150 ms here
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scale);
        ScaleGuard scale(c.scale);
        HANDLE h = OpenCom();
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        SetTimeouts(h, 0, 0, c.timeout); // nobody reads the master: the pty fills up
        std::string big(1 << 20, 'x');
        DWORD n = 0;
        auto start = Clock::now();
        EXPECT_TRUE(WriteFile(h, big.data(), static_cast<DWORD>(big.size()), &n, nullptr));
        auto ms = MsSince(start);
        EXPECT_GT(n, 0u);
        EXPECT_LT(n, big.size());
        EXPECT_GE(ms, c.minMs);
        EXPECT_LT(ms, c.maxMs);
        // The far end gets exactly the count reported.
        EXPECT_EQ(pty.Drain(n, 5000).size(), n);
        CloseHandle(h);
    }
}

TEST_F(Serial, XoffFromTheFarEndStallsTheWrite)
{
    HANDLE h = OpenCom();
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DCB d = BaseDcb();
    d.fOutX = 1;
    ASSERT_TRUE(SetCommState(h, &d));
    SetTimeouts(h, 0, 0, 200);
    ASSERT_EQ(write(pty.master(), "\x13", 1), 1); // XOFF
    // The XOFF is taken by the line as soon as it arrives; wait (bounded)
    // until the line shows it by refusing output.
    DWORD n = 0;
    auto start = Clock::now();
    EXPECT_TRUE(WriteFile(h, "hello", 5, &n, nullptr));
    if (n != 0) {
        // The first write raced the XOFF: drain and try once more.
        pty.Drain(n, 1000);
        EXPECT_TRUE(WriteFile(h, "hello", 5, &n, nullptr));
    }
    EXPECT_EQ(n, 0u);
    EXPECT_GE(MsSince(start), 180);
    ASSERT_EQ(write(pty.master(), "\x11", 1), 1); // XON
    SetTimeouts(h, 0, 0, 3000);
    EXPECT_TRUE(WriteFile(h, "hello", 5, &n, nullptr));
    EXPECT_EQ(n, 5u);
    CloseHandle(h);
}

TEST_F(Serial, CloseWhileAnotherThreadReads)
{
    HANDLE h = OpenCom();
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    SetTimeouts(h, 200, 5000, 3000);
    struct Reader {
        HANDLE h;
        HANDLE started;
        BOOL ok = TRUE;
        DWORD err = 0;
        DWORD n = 99;
    } r{h, CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    HANDLE t = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* r = static_cast<Reader*>(p);
            char buf[16];
            SetEvent(r->started);
            r->ok = ReadFile(r->h, buf, sizeof buf, &r->n, nullptr);
            r->err = GetLastError();
            return 0;
        },
        &r, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(r.started, 10000), WAIT_OBJECT_0);
    auto start = Clock::now();
    EXPECT_TRUE(CloseHandle(h));
    // A new file now; the reader must never see it through the old handle.
    HANDLE other = CreateFileA((dir / "other").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
    EXPECT_LT(MsSince(start), 4500); // woken by the close, not by its 5 s time-out
    // Either the read was already past its last look (no data: TRUE, 0) or the
    // close cut it short.
    if (!r.ok) {
        EXPECT_TRUE(r.err == ERROR_OPERATION_ABORTED || r.err == ERROR_INVALID_HANDLE) << r.err;
    }
    EXPECT_EQ(r.n, 0u);
    CloseHandle(t);
    CloseHandle(r.started);
    CloseHandle(other);
    // The line is free again: the descriptor really closed.
    HANDLE again = OpenCom();
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
}

TEST_F(Serial, CloseWhileAnotherThreadWritesNeverWritesElsewhere)
{
    HANDLE h = OpenCom();
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    SetTimeouts(h, 0, 0, 50);
    struct Writer {
        HANDLE h;
        HANDLE started;
        std::atomic<int> writes{0};
    } w{h, CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    HANDLE t = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* w = static_cast<Writer*>(p);
            SetEvent(w->started);
            DWORD n;
            // Until the handle is gone; bounded all the same.
            for (int i = 0; i < 100000; ++i) {
                if (!WriteFile(w->h, "STRAY", 5, &n, nullptr))
                    return 0;
                w->writes.fetch_add(1);
            }
            return 1;
        },
        &w, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(w.started, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(h));
    std::string path = dir / "victim";
    HANDLE victim = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(victim, INVALID_HANDLE_VALUE);
    ASSERT_EQ(WaitForSingleObject(t, 20000), WAIT_OBJECT_0);
    CloseHandle(t);
    CloseHandle(w.started);
    CloseHandle(victim);
    EXPECT_EQ(ReadText(path), "");
}

} // namespace
