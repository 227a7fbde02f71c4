// Ending I/O from another thread and discarding a line's queued output:
// CancelIoEx on serial lines and USB nodes, PurgeComm on serial lines. A
// pseudo-terminal whose master nobody reads stands in for a printer that
// takes nothing.
#include "support.h"

#include <atomic>
#include <thread>

using namespace testplat;

namespace {

enum class Kind { Serial, Usb };

class Lines : public testing::Test {
protected:
    TempDir dir;
    RootGuard config{PlatRoot::Config, dir / "cfg"};
    RootGuard dev{PlatRoot::Dev, dir / "dev"};
    Pty pty;

    HANDLE Open(Kind kind)
    {
        std::string name = "COM3";
        if (kind == Kind::Serial) {
            EXPECT_TRUE(PlatSetComDevice("COM3", pty.slave()));
        } else {
            fs::create_directories(dir / "dev/usb");
            fs::create_symlink(pty.slave(), dir / "dev/usb/lp0");
            name = dir / "dev/usb/lp0";
        }
        HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (kind == Kind::Serial && h != INVALID_HANDLE_VALUE) {
            COMMTIMEOUTS to{0, 0, 5000, 0, 3000}; // the program's time-outs
            EXPECT_TRUE(SetCommTimeouts(h, &to));
        }
        return h;
    }

    // Fills what the line holds, quickly, so the next write waits its 3 s.
    static void Fill(HANDLE h)
    {
        ScaleGuard fast(0.01);
        std::string block(4096, 'x');
        DWORD n = 1;
        for (int i = 0; i < 1000 && n > 0; ++i)
            ASSERT_TRUE(WriteFile(h, block.data(), static_cast<DWORD>(block.size()), &n, nullptr));
    }

    // Cancels the call another thread is about to make or is making: a
    // cancel that finds nothing under way yet is tried again.
    static bool CancelOnceUnderWay(HANDLE h, const std::atomic<bool>& done)
    {
        const auto end = Clock::now() + std::chrono::seconds(5);
        while (Clock::now() < end && !done) {
            if (CancelIoEx(h, nullptr))
                return true;
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND));
            std::this_thread::yield();
        }
        return false;
    }
};

class Cancel : public Lines, public testing::WithParamInterface<Kind> {
protected:
    HANDLE Open() { return Lines::Open(GetParam()); }
};

TEST_P(Cancel, NothingUnderWayIsNotFound)
{
    HANDLE h = Open();
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(CancelIoEx(h, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND));
    CloseHandle(h);
    EXPECT_FALSE(CancelIoEx(h, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// The rows: a write the printer does not take, a read of an answer that
// does not come. Each ends at once, and the next call is not affected.
TEST_P(Cancel, EndsAWriteOrReadUnderWayAndNothingAfterIt)
{
    HANDLE h = Open();
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    Fill(h);
    for (bool write : {true, false}) {
        SCOPED_TRACE(write ? "write" : "read");
        std::atomic<bool> done{false};
        BOOL ok = TRUE;
        DWORD error = 0;
        DWORD n = 99;
        long long ms = 0;
        std::thread io([&] {
            char buf[64] = {};
            const auto start = Clock::now();
            ok = write ? WriteFile(h, buf, sizeof buf, &n, nullptr) : ReadFile(h, buf, sizeof buf, &n, nullptr);
            error = GetLastError();
            ms = MsSince(start);
            done = true;
        });
        EXPECT_TRUE(CancelOnceUnderWay(h, done));
        io.join();
        EXPECT_FALSE(ok);
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
        EXPECT_EQ(n, 0u);
        EXPECT_LT(ms, 2000); // the bound it had was 3 s or 5 s
    }
    // Not sticky: the printer reads again and a write goes through.
    ASSERT_GT(pty.Drain(1 << 20, 300).size(), 0u);
    DWORD n = 0;
    EXPECT_TRUE(WriteFile(h, "\x1b\x40", 2, &n, nullptr));
    EXPECT_EQ(n, 2u);
    CloseHandle(h);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Cancel, testing::Values(Kind::Serial, Kind::Usb),
                         [](const auto& info) { return info.param == Kind::Serial ? "Serial" : "Usb"; });

class Purge : public Lines {};

// What the line holds queued is thrown away: the far end never reads it.
TEST_F(Purge, TxClearDiscardsTheQueuedOutput)
{
    HANDLE h = Open(Kind::Serial);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::string block(32 * 1024, 'x');
    DWORD n = 0;
    {
        ScaleGuard fast(0.01);
        ASSERT_TRUE(WriteFile(h, block.data(), static_cast<DWORD>(block.size()), &n, nullptr));
    }
    ASSERT_GT(n, 8192u);
    EXPECT_TRUE(PurgeComm(h, PURGE_TXABORT | PURGE_TXCLEAR));
    // The far end's own small buffer may already hold the first bytes.
    EXPECT_LE(pty.Drain(n, 300).size(), 4096u);
    CloseHandle(h);
}

TEST_F(Purge, RxAbortEndsARead)
{
    HANDLE h = Open(Kind::Serial);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::atomic<bool> done{false};
    BOOL ok = TRUE;
    DWORD error = 0;
    std::thread reader([&] {
        char buf[8];
        DWORD n = 0;
        ok = ReadFile(h, buf, sizeof buf, &n, nullptr);
        error = GetLastError();
        done = true;
    });
    // PurgeComm reports no "nothing under way": try until the read is over.
    const auto end = Clock::now() + std::chrono::seconds(5);
    while (!done && Clock::now() < end) {
        EXPECT_TRUE(PurgeComm(h, PURGE_RXABORT));
        std::this_thread::yield();
    }
    reader.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_FALSE(PurgeComm(h, 0x100));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CloseHandle(h);
}

TEST_F(Purge, AUsbNodeIsNoSerialLine)
{
    HANDLE h = Open(Kind::Usb);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(PurgeComm(h, PURGE_TXCLEAR));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    CloseHandle(h);
}

} // namespace
