// A COM port whose device is an active system console is never opened, and
// its line settings stay as they were. The "console" here is a
// pseudo-terminal named as one in fake Sys, Proc and Dev roots.
#include "support.h"

#include <cstring>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

using namespace testplat;

namespace {

std::vector<std::string> gNotices;

// "MAJ:MIN" of a device, as the kernel writes it.
std::string Number(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0);
    return std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
}

TEST(Console, AnActiveConsoleIsRefusedHoweverItIsReached)
{
    TempDir dir;
    RootGuard config{PlatRoot::Config, dir / "cfg"}, dev{PlatRoot::Dev, dir / "dev"};
    RootGuard sys{PlatRoot::Sys, dir / "sys"}, proc{PlatRoot::Proc, dir / "proc"};
    Pty console; // the system's console in this test
    Pty other;   // a printer's line
    for (const char* folder : {"dev", "sys/class/tty/console", "proc"})
        fs::create_directories(dir / folder);
    fs::create_symlink(console.slave(), dir / "dev/ttyS0"); // COM1's default device
    fs::create_symlink(console.slave(), dir / "printer-link");
    PlatSetNoticeHandler([](const std::string& text) { gNotices.push_back(text); });
    struct Unhook {
        ~Unhook() { PlatSetNoticeHandler(nullptr); }
    } unhook;
    struct Case {
        const char* what;
        std::string active;   // <Sys>/class/tty/console/active
        std::string sysDev;   // <Sys>/class/tty/ttyS0/dev, if any
        std::string consoles; // <Proc>/consoles
        std::string mapped;   // COM1's stored device, empty for <Dev>/ttyS0
        bool refused;
    } cases[] = {
        {"named active, by its number in sys", "tty0 ttyS0\n", Number(console.slave()), "", "", true},
        {"named active, by its node in dev", "ttyS0\n", "", "", "", true},
        {"listed in /proc/consoles", "", "", "ttyS0                -W- (EC  p a)    " + Number(console.slave()) + "\n",
         "", true},
        {"a stored link to the console", "ttyS0\n", Number(console.slave()), "", dir / "printer-link", true},
        {"the console by its own path", "ttyS0\n", Number(console.slave()), "", console.slave(), true},
        {"no console listed", "", "", "", "", false},
        {"another line", "ttyS0\n", Number(console.slave()), "", other.slave(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir / "sys/class/tty/ttyS0");
        WriteText(dir / "sys/class/tty/console/active", c.active);
        if (!c.sysDev.empty()) {
            fs::create_directories(dir / "sys/class/tty/ttyS0");
            WriteText(dir / "sys/class/tty/ttyS0/dev", c.sysDev + "\n");
        }
        WriteText(dir / "proc/consoles", c.consoles);
        ASSERT_TRUE(PlatSetComDevice("COM1", c.mapped));

        // The console in the state a system keeps it: a cooked line.
        const int fd = open(console.slave().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        termios before{};
        ASSERT_EQ(tcgetattr(fd, &before), 0);
        before.c_lflag |= ICANON | ECHO;
        ASSERT_EQ(tcsetattr(fd, TCSANOW, &before), 0);
        ASSERT_EQ(tcgetattr(fd, &before), 0);
        gNotices.clear();

        HANDLE h = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        termios after{};
        ASSERT_EQ(tcgetattr(fd, &after), 0);
        close(fd);
        if (c.refused) {
            EXPECT_EQ(h, INVALID_HANDLE_VALUE);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
            ASSERT_EQ(gNotices.size(), 1u);
            EXPECT_NE(gNotices[0].find("系统控制台"), std::string::npos) << gNotices[0];
            EXPECT_NE(gNotices[0].find("COM1"), std::string::npos) << gNotices[0];
            EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0) << "its line settings changed";
        } else {
            ASSERT_NE(h, INVALID_HANDLE_VALUE);
            EXPECT_TRUE(gNotices.empty());
            CloseHandle(h);
        }
    }
}

} // namespace
