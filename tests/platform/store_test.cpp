// The per-user serial store behind Get/SetDefaultCommConfigA and the COM
// device mapping.
#include "support.h"

#include <cstring>
#include <sys/stat.h>

using namespace testplat;

namespace {

class Store : public testing::Test {
protected:
    TempDir dir;
    RootGuard config{PlatRoot::Config, dir / "cfg"};
    std::string file() const { return dir / "cfg/serial.conf"; }
};

void ExpectDefaults(const COMMCONFIG& c)
{
    EXPECT_EQ(c.dwSize, 52u);
    EXPECT_EQ(c.wVersion, 1);
    EXPECT_EQ(c.dcb.BaudRate, static_cast<DWORD>(CBR_9600));
    EXPECT_EQ(c.dcb.ByteSize, 8);
    EXPECT_EQ(c.dcb.Parity, NOPARITY);
    EXPECT_EQ(c.dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(c.dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(c.dcb.fOutxDsrFlow, 0u);
    EXPECT_EQ(c.dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(c.dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
    EXPECT_EQ(c.dcb.fBinary, 1u);
    EXPECT_EQ(c.dcb.XonChar, 0x11);
    EXPECT_EQ(c.dcb.XoffChar, 0x13);
    EXPECT_EQ(c.dcb.XonLim, 2048);
    EXPECT_EQ(c.dcb.XoffLim, 512);
    EXPECT_EQ(c.dwProviderSubType, PST_RS232);
}

COMMCONFIG Get(const char* name)
{
    COMMCONFIG c;
    std::memset(&c, 0xAB, sizeof c);
    DWORD size = sizeof c;
    EXPECT_TRUE(GetDefaultCommConfigA(name, &c, &size));
    EXPECT_EQ(size, 52u);
    return c;
}

COMMCONFIG Custom()
{
    COMMCONFIG c = Get("COM9"); // defaults
    c.dcb.BaudRate = CBR_38400;
    c.dcb.fOutxCtsFlow = 1;
    c.dcb.fOutxDsrFlow = 1;
    c.dcb.Parity = EVENPARITY;
    return c;
}

TEST_F(Store, MissingStoreGivesDefaultsAndIsNotCreated)
{
    ExpectDefaults(Get("COM1"));
    EXPECT_FALSE(fs::exists(dir / "cfg"));
}

TEST_F(Store, SizeTooSmall)
{
    COMMCONFIG c;
    DWORD size = 10;
    EXPECT_FALSE(GetDefaultCommConfigA("COM1", &c, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, 52u);
    EXPECT_FALSE(SetDefaultCommConfigA("COM1", &c, 51));
    EXPECT_FALSE(fs::exists(file()));
}

TEST_F(Store, BadNamesAreRefused)
{
    COMMCONFIG c = Get("COM1");
    for (const char* name : {"LPT1", "COM", "COM0", "COMX", "", "COM1x"}) {
        SCOPED_TRACE(name);
        DWORD size = 52;
        EXPECT_FALSE(GetDefaultCommConfigA(name, &c, &size));
        EXPECT_FALSE(SetDefaultCommConfigA(name, &c, 52));
    }
    EXPECT_FALSE(fs::exists(file()));
}

TEST_F(Store, SurvivesARestartAndKeepsTheDevice)
{
    ASSERT_TRUE(PlatSetComDevice("COM2", "/dev/ttyUSB0"));
    COMMCONFIG c = Custom();
    ASSERT_TRUE(SetDefaultCommConfigA("COM2", &c, 52));
    // A "restart": everything comes back from the file.
    COMMCONFIG back = Get("com2");
    EXPECT_EQ(std::memcmp(&back, &c, 52), 0);
    EXPECT_EQ(PlatComDevice("COM2"), "/dev/ttyUSB0");
    EXPECT_EQ(PlatComDevice("\\\\.\\COM2"), "/dev/ttyUSB0");
    // Other ports are untouched.
    ExpectDefaults(Get("COM1"));
    // The text holds the configuration as 104 lower-case hex digits.
    std::string text = ReadText(file());
    EXPECT_NE(text.find("[COM2]"), std::string::npos);
    EXPECT_NE(text.find("device=/dev/ttyUSB0"), std::string::npos);
    size_t at = text.find("config=");
    ASSERT_NE(at, std::string::npos);
    std::string hex = text.substr(at + 7, text.find('\n', at) - at - 7);
    EXPECT_EQ(hex.size(), 104u);
    EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos);
    // Setting the device again keeps the configuration.
    ASSERT_TRUE(PlatSetComDevice("COM2", "/dev/ttyUSB1"));
    back = Get("COM2");
    EXPECT_EQ(std::memcmp(&back, &c, 52), 0);
    // An empty device removes the mapping.
    ASSERT_TRUE(PlatSetComDevice("COM2", ""));
    EXPECT_EQ(PlatComDevice("COM2"), PlatRootPath(PlatRoot::Dev) + "/ttyS1");
}

TEST_F(Store, DefaultDeviceNames)
{
    RootGuard dev(PlatRoot::Dev, dir / "dev");
    EXPECT_EQ(PlatComDevice("COM1"), dir / "dev/ttyS0");
    EXPECT_EQ(PlatComDevice("COM7"), dir / "dev/ttyS6");
    EXPECT_EQ(PlatComDevice("LPT1"), "");
    EXPECT_FALSE(PlatSetComDevice("LPT1", "/dev/null"));
}

TEST_F(Store, UnknownKeysSectionsAndCommentsArePreserved)
{
    fs::create_directories(dir / "cfg");
    WriteText(file(), "; written by hand\n[General]\ncolour=blue\n\n[COM1]\nnote=keep\ndevice=/dev/ttyACM0\n\n[COM3]\nx=1\n");
    COMMCONFIG c = Custom();
    ASSERT_TRUE(SetDefaultCommConfigA("COM1", &c, 52));
    std::string text = ReadText(file());
    for (const char* kept : {"; written by hand", "[General]", "colour=blue", "note=keep", "device=/dev/ttyACM0", "[COM3]", "x=1"})
        EXPECT_NE(text.find(kept), std::string::npos) << kept;
    // The new key went into COM1's section, not after COM3.
    EXPECT_LT(text.find("config="), text.find("[COM3]"));
    COMMCONFIG back = Get("COM1");
    EXPECT_EQ(std::memcmp(&back, &c, 52), 0);
}

TEST_F(Store, DamagedStoreGivesDefaults)
{
    fs::create_directories(dir / "cfg");
    const std::string cases[] = {
        "[COM1]\nconfig=zz\n",
        "[COM1]\nconfig=" + std::string(104, 'g') + "\n",
        "[COM1]\nconfig=" + std::string(103, '0') + "\n",
        "[COM1\nconfig=" + std::string(104, '0') + "\n",
        "[COM1]\nconfig=" + std::string(104, '0') + "\n", // dwSize 0
        std::string("\0\xff\x01garbage[[[==\n", 15),
    };
    for (const auto& text : cases) {
        SCOPED_TRACE(text);
        WriteText(file(), text);
        ExpectDefaults(Get("COM1"));
        EXPECT_EQ(ReadText(file()), text); // reading never writes
    }
}

TEST_F(Store, UnwritableStoreFailsAndChangesNothing)
{
    // A file where the folder should be: not even root can create it.
    WriteText(dir / "blocker", "");
    RootGuard blocked(PlatRoot::Config, dir / "blocker/mptest");
    COMMCONFIG c = Custom();
    SetLastError(0);
    EXPECT_FALSE(SetDefaultCommConfigA("COM1", &c, 52));
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_FALSE(PlatSetComDevice("COM1", "/dev/ttyUSB0"));
    ExpectDefaults(Get("COM1"));
}

TEST_F(Store, RewritesLeaveNoTemporaryFiles)
{
    COMMCONFIG c = Custom();
    for (int i = 0; i < 5; ++i) {
        c.dcb.BaudRate = i % 2 ? CBR_9600 : CBR_115200;
        ASSERT_TRUE(SetDefaultCommConfigA("COM1", &c, 52));
    }
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir / "cfg"))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"serial.conf"});
    EXPECT_EQ(Get("COM1").dcb.BaudRate, static_cast<DWORD>(CBR_115200)); // the last one written
}

TEST_F(Store, ConcurrentWritersLoseNoPort)
{
    // Each thread writes its own port; every port must be there at the end.
    struct Arg {
        int port;
    };
    std::vector<Arg> args;
    for (int i = 1; i <= 6; ++i)
        args.push_back({i});
    std::vector<HANDLE> threads;
    for (auto& a : args)
        threads.push_back(CreateThread(
            nullptr, 0,
            [](LPVOID p) -> DWORD {
                int port = static_cast<Arg*>(p)->port;
                std::string name = "COM" + std::to_string(port);
                return PlatSetComDevice(name, "/dev/ttyUSB" + std::to_string(port)) ? 0 : 1;
            },
            &a, 0, nullptr));
    for (HANDLE t : threads) {
        EXPECT_EQ(WaitForSingleObject(t, 30000), WAIT_OBJECT_0);
        CloseHandle(t);
    }
    for (int i = 1; i <= 6; ++i)
        EXPECT_EQ(PlatComDevice("COM" + std::to_string(i)), "/dev/ttyUSB" + std::to_string(i));
}

} // namespace
