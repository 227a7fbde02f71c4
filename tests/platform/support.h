// Helpers for the platform layer's tests: the shared temporary folders and
// guards, and pseudo-terminals standing in for serial lines and printer nodes.
#pragma once

#include "platform/linux/kernel.h"
#include "platform/comdevices.h"
#include "platform/linux/notices.h"
#include "platform/linux/serialstore.h"
#include "platform/win32.h"
#include "support/roots.h"
#include "support/temp_dir.h"

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace testplat {

namespace fs = std::filesystem;

using testsupport::RootGuard;
using testsupport::ScaleGuard;
using testsupport::TempDir;

using testsupport::ReadText;

inline void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
}

// A pseudo-terminal pair: the master side plays the far end of the line.
class Pty {
public:
    Pty()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_GE(master_, 0);
        EXPECT_EQ(grantpt(master_), 0);
        EXPECT_EQ(unlockpt(master_), 0);
        char name[128] = {};
        EXPECT_EQ(ptsname_r(master_, name, sizeof name), 0);
        slave_ = name;
    }
    ~Pty()
    {
        if (master_ >= 0)
            close(master_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    int master() const { return master_; }
    const std::string& slave() const { return slave_; }
    // The far end goes away: the system hangs the line up, as it does when a
    // USB-serial adapter is pulled.
    void closeMaster()
    {
        close(master_);
        master_ = -1;
    }

    // Everything the master receives within `ms`, ending after 100 ms quiet
    // once `want` bytes arrived.
    std::string Drain(size_t want, int ms = 3000)
    {
        std::string got;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (got.size() < want && std::chrono::steady_clock::now() < end) {
            char buf[4096];
            ssize_t n = read(master_, buf, sizeof buf);
            if (n > 0)
                got.append(buf, static_cast<size_t>(n));
            else {
                pollfd pfd{master_, POLLIN, 0};
                poll(&pfd, 1, 20);
            }
        }
        return got;
    }

private:
    int master_ = -1;
    std::string slave_;
};

// A private store and device root with one pseudo-terminal both mapped as
// COM3 and linked as the USB printer node <Dev>/usb/lp0.
class PtyLine : public testing::Test {
protected:
    TempDir dir;
    RootGuard config{PlatRoot::Config, dir / "cfg"};
    RootGuard dev{PlatRoot::Dev, dir / "dev"};
    Pty pty;
    const std::string usbNode = dir / "dev/usb/lp0";

    void SetUp() override
    {
        ASSERT_TRUE(PlatSetComDevice("COM3", pty.slave()));
        fs::create_directories(dir / "dev/usb");
        fs::create_symlink(pty.slave(), usbNode);
    }
    static HANDLE Open(const std::string& name, DWORD share = 0, DWORD disposition = OPEN_EXISTING)
    {
        return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    // Fills what the line holds, quickly, so that the next write waits its
    // whole time-out; returns what the far end has to read.
    static DWORD Fill(HANDLE h)
    {
        ScaleGuard fast(0.01);
        const std::string block(4096, 'x');
        DWORD n = 1;
        DWORD moved = 0;
        for (int i = 0; i < 1000 && n > 0 && WriteFile(h, block.data(), DWORD(block.size()), &n, nullptr); ++i)
            moved += n;
        return moved;
    }
};

using Clock = std::chrono::steady_clock;
inline long long MsSince(Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// Waits (10 s at most) until another thread is inside a read (or write) on
// `h`, so that a close or cancel that follows meets the call under way
// instead of racing its start.
inline bool IoUnderWay(HANDLE h, bool write)
{
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < end) {
        if (auto f = plat::LookupFile(h)) {
            std::lock_guard<std::mutex> g(f->lock);
            if ((write ? f->writers : f->readers) > 0)
                return true;
        }
        std::this_thread::yield();
    }
    return false;
}

} // namespace testplat
