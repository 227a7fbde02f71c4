// Ending I/O from another thread: CancelIoEx and closing the handle on serial
// lines and USB nodes, PurgeComm on serial lines, and discarding a line's
// queued output. A pseudo-terminal whose master nobody reads stands in for a
// printer that takes nothing.
#include "support.h"

using namespace testplat;

namespace {

enum class Kind { Serial, Usb };

class Lines : public PtyLine {
protected:
    HANDLE Open(Kind kind)
    {
        HANDLE h = PtyLine::Open(kind == Kind::Serial ? "COM3" : usbNode);
        if (kind == Kind::Serial && h != INVALID_HANDLE_VALUE) {
            COMMTIMEOUTS to{0, 0, 5000, 0, 3000}; // the program's time-outs
            EXPECT_TRUE(SetCommTimeouts(h, &to));
        }
        return h;
    }
};

class Cancel : public Lines, public testing::WithParamInterface<Kind> {};

// The rows: a write the printer does not take, a read of an answer that does
// not come, each ended from another thread while under way. Each ends at
// once; a cancel is not sticky, and a close leaves nothing holding the line.
TEST_P(Cancel, EndsAWriteOrReadUnderWayAndNothingAfterIt)
{
    const Kind kind = GetParam();
    enum End { ByCancel, ByPurge, ByClose };
    struct Case { const char* what; bool write; End end; } cases[] = {
        {"write, cancelled", true, ByCancel},
        {"read, cancelled", false, ByCancel},
        {"read, purged", false, ByPurge},
        {"read, closed", false, ByClose},
        {"write, closed", true, ByClose},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HANDLE h = Open(kind);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        if (c.end == ByPurge && kind == Kind::Usb) {
            EXPECT_FALSE(PurgeComm(h, PURGE_RXABORT)); // a USB node is no serial line
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
            CloseHandle(h);
            continue;
        }
        EXPECT_FALSE(CancelIoEx(h, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND)); // nothing under way yet
        if (c.write) {
            EXPECT_GT(Fill(h), 0u);
        }
        BOOL ok = TRUE;
        DWORD error = 0;
        DWORD n = 99;
        long long ms = 0;
        std::string buf(64 * 1024, 'x'); // more than the line can take in time
        std::thread io([&] {
            const auto start = Clock::now();
            ok = c.write ? WriteFile(h, buf.data(), static_cast<DWORD>(buf.size()), &n, nullptr)
                         : ReadFile(h, buf.data(), 64, &n, nullptr);
            error = GetLastError();
            ms = MsSince(start);
        });
        EXPECT_TRUE(IoUnderWay(h, c.write)); // no ASSERT: the thread must still be joined
        if (c.end == ByCancel)
            EXPECT_TRUE(CancelIoEx(h, nullptr));
        else if (c.end == ByPurge)
            EXPECT_TRUE(PurgeComm(h, PURGE_RXABORT));
        else
            EXPECT_TRUE(CloseHandle(h));
        // A file opened now may get the closed descriptor's number.
        HANDLE victim = CreateFileA((dir / "victim").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
        io.join();
        EXPECT_FALSE(ok);
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
        EXPECT_LT(n, c.write ? buf.size() : 1u); // a write reports what it moved
        EXPECT_LT(ms, 2000); // the bound it had was 3 s or 5 s
        CloseHandle(victim);
        EXPECT_EQ(ReadText(dir / "victim"), "");
        if (c.end == ByClose) {
            EXPECT_FALSE(CancelIoEx(h, nullptr));
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
            HANDLE again = Open(kind); // the descriptor really closed
            EXPECT_NE(again, INVALID_HANDLE_VALUE);
            CloseHandle(again);
            continue;
        }
        // Not sticky: the printer reads again and a write goes through.
        pty.Drain(1 << 20, 300);
        EXPECT_TRUE(WriteFile(h, "\x1b\x40", 2, &n, nullptr));
        EXPECT_EQ(n, 2u);
        CloseHandle(h);
    }
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
    EXPECT_FALSE(PurgeComm(h, 0x100));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CloseHandle(h);
}

} // namespace
