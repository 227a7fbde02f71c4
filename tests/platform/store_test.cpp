// The per-user serial store behind Get/SetDefaultCommConfigA and the COM
// device mapping.
#include "support.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <sstream>
#include <vector>

using namespace testplat;

namespace {

class Store : public testing::Test {
protected:
    TempDir dir;
    RootGuard config{PlatRoot::Config, dir / "cfg"};
    std::string file() const { return dir / "cfg/serial.conf"; }
};

// The layer's default: 9600 8N1, no flow, DTR and RTS on, Xon/Xoff characters
// and limits as Windows has them, an RS-232 port.
void ExpectDefaults(const COMMCONFIG& c)
{
    const DCB& d = c.dcb;
    EXPECT_EQ((std::vector<DWORD>{c.dwSize, c.wVersion, d.BaudRate, d.ByteSize, d.Parity, d.StopBits, d.fOutxCtsFlow,
                                  d.fOutxDsrFlow, d.fDtrControl, d.fRtsControl, d.fBinary, DWORD(d.XonChar),
                                  DWORD(d.XoffChar), d.XonLim, d.XoffLim, c.dwProviderSubType}),
              (std::vector<DWORD>{52, 1, CBR_9600, 8, NOPARITY, ONESTOPBIT, 0, 0, DTR_CONTROL_ENABLE,
                                  RTS_CONTROL_ENABLE, 1, 0x11, 0x13, 2048, 512, PST_RS232}));
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

// What the port settings dialog stores: 38400 baud, even parity, hardware flow.
COMMCONFIG Custom()
{
    COMMCONFIG c = Get("COM9"); // defaults
    c.dcb.BaudRate = CBR_38400;
    c.dcb.fOutxCtsFlow = 1;
    c.dcb.fOutxDsrFlow = 1;
    c.dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    c.dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    c.dcb.Parity = EVENPARITY;
    return c;
}
const char kCustomText[] = "baud=38400\ndata=8\nparity=even\nstop=1\nflow=rts-cts\n";

std::string Hex(const COMMCONFIG& c)
{
    std::string s;
    char two[3];
    for (size_t i = 0; i < sizeof c; ++i) {
        std::snprintf(two, sizeof two, "%02x", reinterpret_cast<const unsigned char*>(&c)[i]);
        s += two;
    }
    return s;
}

// Reads and refused writes never create the store.
TEST_F(Store, MissingOrUnwritableStoreGivesDefaultsAndRefusalsCreateNothing)
{
    ExpectDefaults(Get("COM1"));
    COMMCONFIG c;
    DWORD size = 10;
    EXPECT_FALSE(GetDefaultCommConfigA("COM1", &c, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, 52u);
    EXPECT_FALSE(SetDefaultCommConfigA("COM1", &c, 51));
    c = Get("COM1");
    for (const char* name : {"LPT1", "COM", "COM0", "COMX", "", "COM1x"}) {
        SCOPED_TRACE(name);
        size = 52;
        EXPECT_FALSE(GetDefaultCommConfigA(name, &c, &size));
        EXPECT_FALSE(SetDefaultCommConfigA(name, &c, 52));
    }
    EXPECT_FALSE(fs::exists(dir / "cfg"));
    // A store that cannot be written (a file where its folder should be: not
    // even root can create it) fails with a reason and changes nothing.
    WriteText(dir / "blocker", "");
    RootGuard blocked(PlatRoot::Config, dir / "blocker/mptest");
    c = Custom();
    EXPECT_FALSE(SetDefaultCommConfigA("COM1", &c, 52)); // its reason: tst_ports
    EXPECT_FALSE(PlatSetComDevice("COM1", "/dev/ttyUSB0"));
    ExpectDefaults(Get("COM1"));
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
    // The text holds the configuration as keys a person can read and edit.
    EXPECT_EQ(ReadText(file()), "[COM2]\ndevice=/dev/ttyUSB0\n" + std::string(kCustomText));
    // Setting the device again keeps the configuration.
    ASSERT_TRUE(PlatSetComDevice("COM2", "/dev/ttyUSB1"));
    back = Get("COM2");
    EXPECT_EQ(std::memcmp(&back, &c, 52), 0);
    // The rewrites left no temporary file behind.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir / "cfg"))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"serial.conf"});
}

// A store that is a symbolic link (a store shared with another account, or
// kept under version control) is written through it: the link stays, the
// file it leads to takes the change with its permissions kept, and mptest
// and the virtual printer go on reading one store.
TEST_F(Store, AStoreThatIsALinkIsWrittenThroughIt)
{
    struct Case {
        const char* name;
        std::string link; // what cfg/serial.conf leads to
        bool targetThere; // the file it leads to is there before the write
    };
    const auto shared = dir / "shared";
    const auto kept = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::create_directories(dir / "cfg");
    const Case cases[] = {
        {"relative link", "../shared/serial.conf", true},
        {"absolute link", shared + "/serial.conf", true},
        {"link to a file not yet there", "../shared/serial.conf", false},
        {"link to a link", "../shared/again.conf", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool twice = c.link.ends_with("again.conf");
        fs::remove_all(shared);
        fs::create_directories(shared);
        fs::remove(file());
        fs::create_symlink(c.link, file());
        if (twice)
            fs::create_symlink("serial.conf", shared + "/again.conf");
        if (c.targetThere) {
            WriteText(shared + "/serial.conf", "[COM3]\ndevice=/dev/ttyUSB3\n");
            fs::permissions(shared + "/serial.conf", kept);
        }
        ASSERT_TRUE(PlatSetComDevice("COM2", "/dev/ttyUSB0"));
        EXPECT_TRUE(fs::is_symlink(file()));
        EXPECT_EQ(PlatComDevice("COM2"), "/dev/ttyUSB0");
        const std::string text = ReadText(shared + "/serial.conf");
        EXPECT_NE(text.find("[COM2]\ndevice=/dev/ttyUSB0\n"), std::string::npos) << text;
        if (c.targetThere) {
            EXPECT_NE(text.find("device=/dev/ttyUSB3"), std::string::npos) << text;
            EXPECT_EQ(fs::status(shared + "/serial.conf").permissions() & fs::perms::all, kept);
        }
        std::vector<std::string> names; // no temporary file left beside it
        for (const auto& e : fs::directory_iterator(shared))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        const std::vector<std::string> expected =
            twice ? std::vector<std::string>{"again.conf", "serial.conf"} : std::vector<std::string>{"serial.conf"};
        EXPECT_EQ(names, expected);
    }
}

TEST_F(Store, DefaultDeviceNames)
{
    RootGuard dev(PlatRoot::Dev, dir / "dev");
    EXPECT_EQ(PlatComDevice("COM1"), dir / "dev/ttyS0");
    EXPECT_EQ(PlatComDevice("COM7"), dir / "dev/ttyS6");
    EXPECT_EQ(PlatComDevice("LPT1"), "");
    EXPECT_FALSE(PlatSetComDevice("LPT1", "/dev/null"));
}

// A rewrite keeps what it does not own: comments, other sections and keys,
// and a malformed section as it stands (a byte-order mark goes).
TEST_F(Store, ARewriteKeepsWhatItDoesNotOwn)
{
    fs::create_directories(dir / "cfg");
    const std::string bad("[COM1\0junk]\ndevice=/dev/ttyUSB5\n", 32);
    WriteText(file(), "\xEF\xBB\xBF" + bad + "; written by hand\n[General]\ncolour=blue\n\n[COM1]\nnote=keep\n"
                                         "device=/dev/ttyACM0\n\n[COM3]\nx=1\n");
    COMMCONFIG c = Custom();
    ASSERT_TRUE(SetDefaultCommConfigA("COM1", &c, 52));
    // The new key goes at the end of COM1's own section.
    EXPECT_EQ(ReadText(file()), bad + "; written by hand\n[General]\ncolour=blue\n\n[COM1]\nnote=keep\n"
                                      "device=/dev/ttyACM0\n" + kCustomText + "\n[COM3]\nx=1\n");
    COMMCONFIG back = Get("COM1");
    EXPECT_EQ(std::memcmp(&back, &c, 52), 0);
    ASSERT_TRUE(PlatSetComDevice("COM1", "/dev/ttyUSB1"));
    EXPECT_EQ(ReadText(file()).rfind(bad, 0), 0u);
    EXPECT_EQ(PlatComDevice("COM1"), "/dev/ttyUSB1");
}

TEST_F(Store, ConcurrentWritersLoseNoPort)
{
    // Each thread writes its own port; every port must be there at the end.
    // Waits are bounded: a writer stuck on the store's lock fails the test.
    static int ports[] = {1, 2, 3, 4, 5, 6};
    std::vector<HANDLE> threads;
    for (int& port : ports)
        threads.push_back(CreateThread(
            nullptr, 0,
            [](LPVOID p) -> DWORD {
                const std::string n = std::to_string(*static_cast<int*>(p));
                PlatSetComDevice("COM" + n, "/dev/ttyUSB" + n);
                return 0;
            },
            &port, 0, nullptr));
    for (HANDLE t : threads) {
        EXPECT_EQ(WaitForSingleObject(t, 30000), WAIT_OBJECT_0);
        CloseHandle(t);
    }
    for (int i : ports)
        EXPECT_EQ(PlatComDevice("COM" + std::to_string(i)), "/dev/ttyUSB" + std::to_string(i));
}

// The start time of a running process, as the store records it.
std::string StartOf(pid_t pid)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(f, stat);
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 22; ++i)
        fields >> field;
    return field;
}

// A mapping made by a program counts only while that program runs: a
// pseudo-terminal it leaves behind may be someone's terminal window next.
// Under a claim, the user's own mapping stays and counts again.
TEST_F(Store, AMappingWhoseOwnerHasEndedCountsAsAbsent)
{
    const std::string me = std::to_string(getpid());
    const std::string fallback = PlatRootPath(PlatRoot::Dev) + "/ttyS0";
    const std::string mine = "claim." + me + "." + StartOf(getpid()) + "=/dev/pts/77\n";
    struct Case {
        const char* what;
        std::string section; // COM1's lines, as written
        std::string opens;
    } cases[] = {
        {"no owner: set by hand", "device=/dev/pts/77\n", "/dev/pts/77"},
        {"a claim of this process", mine, "/dev/pts/77"},
        {"a claim, no start time", "claim." + me + "=/dev/pts/77\n", "/dev/pts/77"},
        {"a claim over the user's mapping", "device=/dev/ttyUSB0\n" + mine, "/dev/pts/77"},
        {"the newest running claim", mine + "claim.4194999.1=/dev/pts/78\n", "/dev/pts/77"},
        {"a claim whose program ended", "device=/dev/ttyUSB0\nclaim.4194999.1=/dev/pts/78\n", "/dev/ttyUSB0"},
        {"a claim whose number is now another program's", "claim." + me + ".1=/dev/pts/78\n", fallback},
        {"an old store: this process", "device=/dev/pts/77\nowner=" + me + "\nowner-start=" + StartOf(getpid()) + "\n",
         "/dev/pts/77"},
        {"an old store: a process that no longer runs", "device=/dev/pts/77\nowner=4194999\nowner-start=1\n", fallback},
        {"an old store: a malformed owner", "device=/dev/pts/77\nowner=me\n", fallback},
        {"an old store: a malformed start", "device=/dev/pts/77\nowner=" + me + "\nowner-start=soon\n", fallback},
    };
    fs::create_directories(dir / "cfg");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteText(file(), "[COM1]\n" + c.section);
        EXPECT_EQ(PlatComDevice("COM1"), c.opens);
    }
}

// The lost mapping: a claim lies over the user's mapping instead of
// replacing it, so neither the order in which programs end nor one killed
// outright can lose the user's mapping.
TEST_F(Store, ClaimsLieOverTheUsersMapping)
{
    ASSERT_TRUE(PlatSetComDevice("COM3", "/dev/ttyUSB3"));
    const std::string before = ReadText(file());
    unsigned long displaced = 1;
    ASSERT_TRUE(PlatClaimComDevice("COM3", "/dev/pts/40", &displaced));
    EXPECT_EQ(displaced, 0u);
    EXPECT_EQ(PlatComDevice("COM3"), "/dev/pts/40");
    EXPECT_EQ(ReadText(file()), before + "claim." + std::to_string(getpid()) + "." + StartOf(getpid()) + "=/dev/pts/40\n");
    ASSERT_TRUE(PlatReleaseComDevice("COM3"));
    EXPECT_EQ(ReadText(file()), before);
    EXPECT_TRUE(PlatReleaseComDevice("COM3")); // nothing left to do

    // Another running program's claim (this test's parent stands for it) is
    // displaced and said so, and counts again when this one ends.
    const std::string other = "claim." + std::to_string(getppid()) + "." + StartOf(getppid()) + "=/dev/pts/41\n";
    WriteText(file(), before + other);
    ASSERT_TRUE(PlatClaimComDevice("COM3", "/dev/pts/42", &displaced));
    EXPECT_EQ(displaced, static_cast<unsigned long>(getppid()));
    EXPECT_EQ(PlatComDevice("COM3"), "/dev/pts/42");
    ASSERT_TRUE(PlatReleaseComDevice("COM3"));
    EXPECT_EQ(ReadText(file()), before + other);

    // A claim whose program was killed is passed over at once, and the next
    // rewrite drops it.
    WriteText(file(), before + "claim.4194999.1=/dev/pts/43\n");
    EXPECT_EQ(PlatComDevice("COM3"), "/dev/ttyUSB3");
    ASSERT_TRUE(PlatClaimComDevice("COM3", "/dev/pts/44", &displaced));
    EXPECT_EQ(displaced, 0u);
    ASSERT_TRUE(PlatReleaseComDevice("COM3"));
    EXPECT_EQ(ReadText(file()), before);

    // The user's own choice meanwhile ends every claim.
    ASSERT_TRUE(PlatClaimComDevice("COM3", "/dev/pts/45"));
    ASSERT_TRUE(PlatSetComDevice("COM3", "/dev/ttyACM0"));
    ASSERT_TRUE(PlatReleaseComDevice("COM3"));
    EXPECT_EQ(ReadText(file()), "[COM3]\ndevice=/dev/ttyACM0\n");

    // An old store's owned mapping whose owner has ended goes on the first
    // rewrite: what it replaced was never stored.
    WriteText(file(), "[COM5]\ndevice=/dev/pts/9\nowner=4194999\n");
    ASSERT_TRUE(PlatClaimComDevice("COM5", "/dev/pts/46"));
    ASSERT_TRUE(PlatReleaseComDevice("COM5"));
    EXPECT_EQ(ReadText(file()), "");
}

// No file may grow past `bytes` while it lives (root included).
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old);
        previous = std::signal(SIGXFSZ, SIG_IGN); // the write fails instead
        rlimit tiny = old;
        tiny.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &tiny);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);
    }
    rlimit old{};
    void (*previous)(int) = nullptr;
};

// A release whose rewrite fails keeps the claim, so that trying again ends it.
TEST_F(Store, AReleaseThatCannotWriteKeepsTheClaim)
{
    ASSERT_TRUE(PlatSetComDevice("COM3", "/dev/ttyUSB3"));
    const std::string before = ReadText(file());
    ASSERT_TRUE(PlatClaimComDevice("COM3", "/dev/pts/40"));
    {
        FileSizeLimit tiny(1);
        EXPECT_FALSE(PlatReleaseComDevice("COM3"));
    }
    EXPECT_EQ(PlatComDevice("COM3"), "/dev/pts/40");
    ASSERT_TRUE(PlatReleaseComDevice("COM3"));
    EXPECT_EQ(ReadText(file()), before);
}

// "[com1]", "[ COM1 ]" and "[COM1]" are one section for every reader and
// writer; the duplicates become one on the next write, a later key winning.
TEST_F(Store, OneReadingOfSectionNames)
{
    fs::create_directories(dir / "cfg");
    COMMCONFIG c = Custom();
    const std::string body = "]\ndevice=/dev/ttyUSB5\nconfig=" + Hex(c) + "\n";
    struct Case { const char* what; std::string text; } cases[] = {
        {"lower case", "[com1" + body},
        {"blanks inside", "[ COM1 " + body},
        {"device path form", "[\\\\.\\COM1" + body},
        {"split in two", "[com1]\ndevice=/dev/ttyS9\n\n[General]\nx=1\n\n[COM1" + body},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        WriteText(file(), k.text);
        EXPECT_EQ(PlatComDevice("COM1"), "/dev/ttyUSB5");
        EXPECT_EQ(Get("COM1").dcb.BaudRate, static_cast<DWORD>(CBR_38400));
        ASSERT_TRUE(PlatSetComDevice("COM2", "/dev/ttyUSB2")); // any write
        const std::string text = ReadText(file());
        EXPECT_NE(text.find("[COM1]\ndevice=/dev/ttyUSB5\n" + std::string(kCustomText)), std::string::npos) << text;
        EXPECT_EQ(text.find("[COM1]"), text.rfind("[COM1]")) << text;
        EXPECT_EQ(text.find("ttyS9"), std::string::npos) << text;
        EXPECT_EQ(PlatComDevice("COM1"), "/dev/ttyUSB5");
    }
}

// Files edited by hand: what an editor adds is tolerated, what is malformed
// is said once and treated as absent, never half-used.
TEST_F(Store, HandEditsAreToleratedOrReported)
{
    fs::create_directories(dir / "cfg");
    COMMCONFIG c = Custom();
    COMMCONFIG badSpeed = c;
    badSpeed.dcb.BaudRate = 12345;
    COMMCONFIG badBits = c;
    badBits.dcb.ByteSize = 9;
    COMMCONFIG onePointFive = c; // the program offers 1.5 stop bits; only the line refuses them
    onePointFive.dcb.StopBits = ONE5STOPBITS;
    const std::string fallback = PlatRootPath(PlatRoot::Dev) + "/ttyS0";
    struct Case {
        const char* what;
        std::string text;
        std::string device;    // what COM1 opens
        DWORD baud;            // COM1's stored speed
        const char* problem;   // in the report, or nullptr for none
    } cases[] = {
        {"byte-order mark", "\xEF\xBB\xBF[COM1]\ndevice=/dev/ttyUSB5\nconfig=" + Hex(c) + "\n", "/dev/ttyUSB5",
         CBR_38400, nullptr},
        {"CR LF", "[COM1]\r\ndevice=/dev/ttyUSB5\r\nconfig=" + Hex(c) + "\r\n", "/dev/ttyUSB5", CBR_38400, nullptr},
        {"NUL in the name", std::string("[COM1\0junk]\ndevice=/dev/ttyUSB5\n", 32), fallback, CBR_9600,
         "第 1 行的节名 [COM1\\x00junk] 无效"},
        {"no closing bracket", "[COM1\ndevice=/dev/ttyUSB5\n", fallback, CBR_9600, "第 1 行的节名 [COM1 无效"},
        {"empty name", "[]\n[COM1]\nconfig=" + Hex(c) + "\n", fallback, CBR_38400, "第 1 行的节名 [] 无效"},
        {"speed no line has", "[COM1]\nconfig=" + Hex(badSpeed) + "\n", fallback, CBR_9600, "第 2 行 [COM1] config="},
        {"nine data bits", "[COM1]\nconfig=" + Hex(badBits) + "\n", fallback, CBR_9600, "第 2 行 [COM1] config="},
        {"not hex", "[COM1]\nconfig=zz\n", fallback, CBR_9600, "第 2 行 [COM1] config=zz："},
        {"1.5 stop bits", "[COM1]\nconfig=" + Hex(onePointFive) + "\n", fallback, CBR_38400, nullptr},
        {"relative device", "[COM1]\ndevice=ttyUSB5\n", fallback, CBR_9600, "第 2 行 [COM1] device=ttyUSB5："},
        {"hex but not digits", "[COM1]\nconfig=" + std::string(104, 'g') + "\n", fallback, CBR_9600, "第 2 行 [COM1] config=gg"},
        {"one digit short", "[COM1]\nconfig=" + std::string(103, '0') + "\n", fallback, CBR_9600, "第 2 行 [COM1] config=00"},
        {"size zero", "[COM1]\nconfig=" + std::string(104, '0') + "\n", fallback, CBR_9600, "第 2 行 [COM1] config=00"},
        {"binary garbage", std::string("\0\xff\x01garbage[[[==\n", 15), fallback, CBR_9600, nullptr},
        {"a speed no line has", "[COM1]\nbaud=12345\n", fallback, CBR_9600, "第 2 行 [COM1] baud=12345："},
        {"one bad setting spoils all", "[COM1]\nbaud=19200\nparity=evn\n", fallback, CBR_9600,
         "第 3 行 [COM1] parity=evn："},
        {"nine data bits, by hand", "[COM1]\ndata=9\n", fallback, CBR_9600, "第 2 行 [COM1] data=9："},
        {"three stop bits", "[COM1]\nstop=3\n", fallback, CBR_9600, "第 2 行 [COM1] stop=3："},
        {"an unknown flow", "[COM1]\nflow=rts\n", fallback, CBR_9600, "第 2 行 [COM1] flow=rts："},
        {"settings win over an old blob", "[COM1]\nconfig=" + Hex(c) + "\nbaud=19200\n", fallback, CBR_19200, nullptr},
        {"a claim of no device", "[COM1]\nclaim.1.1=pts/4\n", fallback, CBR_9600, "第 2 行 [COM1] claim.1.1=pts/4："},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        WriteText(file(), k.text);
        testing::internal::CaptureStderr();
        EXPECT_EQ(PlatComDevice("COM1"), k.device);
        const COMMCONFIG got = Get("COM1");
        EXPECT_EQ(got.dcb.BaudRate, k.baud);
        if (k.baud == CBR_9600)
            ExpectDefaults(got); // nothing half-used
        const std::string said = testing::internal::GetCapturedStderr();
        const std::vector<std::string> problems = PlatSerialStoreProblems();
        EXPECT_EQ(ReadText(file()), k.text); // reading never writes
        if (k.problem == nullptr) {
            EXPECT_TRUE(problems.empty()) << problems.front();
            EXPECT_EQ(said, "");
            continue;
        }
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_NE(problems[0].find(k.problem), std::string::npos) << problems[0];
        // Said once on stderr, with the file it is in, however often it is read.
        EXPECT_EQ(said.find(file()), said.rfind(file())) << said;
        EXPECT_NE(said.find(k.problem), std::string::npos) << said;
    }
}

// What a technician writes by hand is what the line gets; an old store's
// blob reads the same and becomes such keys, in its place, on the first
// rewrite of the store.
TEST_F(Store, LineSettingsAreKeysAPersonCanWrite)
{
    fs::create_directories(dir / "cfg");
    WriteText(file(), "[COM1]\nbaud=19200\ndata=7\nparity=even\nstop=2\nflow=rts-cts,xon-xoff\n");
    const DCB d = Get("COM1").dcb;
    EXPECT_EQ((std::vector<DWORD>{d.BaudRate, d.ByteSize, d.Parity, d.StopBits, d.fOutxCtsFlow, d.fOutxDsrFlow,
                                  d.fRtsControl, d.fDtrControl, d.fOutX, d.fInX}),
              (std::vector<DWORD>{CBR_19200, 7, EVENPARITY, TWOSTOPBITS, 1, 1, RTS_CONTROL_HANDSHAKE,
                                  DTR_CONTROL_HANDSHAKE, 1, 1}));

    COMMCONFIG c = Custom();
    c.dcb.StopBits = ONE5STOPBITS;
    WriteText(file(), "; mine\n[COM1]\nnote=a\nconfig=" + Hex(c) + "\nnote2=b\n\n[COM2]\nx=1\n");
    COMMCONFIG back = Get("COM1");
    EXPECT_EQ(std::memcmp(&back, &c, sizeof c), 0);
    ASSERT_TRUE(PlatSetComDevice("COM2", "/dev/ttyUSB2"));
    EXPECT_EQ(ReadText(file()), "; mine\n[COM1]\nnote=a\nbaud=38400\ndata=8\nparity=even\nstop=1.5\nflow=rts-cts\n"
                                "note2=b\n\n[COM2]\nx=1\ndevice=/dev/ttyUSB2\n");
    back = Get("COM1");
    EXPECT_EQ(std::memcmp(&back, &c, sizeof c), 0);
}

// A malformed store is told to the user once, in one notice naming the file
// and each line, not only on stderr; a rewrite that moves the faults to
// other lines does not tell them again.
TEST_F(Store, FaultsAreToldOnceWhereverARewriteMovesThem)
{
    static std::vector<std::string> notices;
    notices.clear();
    PlatSetNoticeHandler([](const std::string& text) { notices.push_back(text); });
    struct Unhook {
        ~Unhook() { PlatSetNoticeHandler(nullptr); }
    } unhook;
    fs::create_directories(dir / "cfg");
    // The old blob becomes five lines on the first rewrite: the faults below it move.
    WriteText(file(), "[COM1]\nconfig=" + Hex(Custom()) + "\n\n[COM2]\ndevice=ttyUSB2\n[bad\n");
    const std::string fallback = PlatRootPath(PlatRoot::Dev) + "/ttyS1";
    testing::internal::CaptureStderr();
    EXPECT_EQ(PlatComDevice("COM2"), fallback);
    ASSERT_TRUE(PlatSetComDevice("COM3", "/dev/ttyUSB3"));
    EXPECT_EQ(PlatComDevice("COM2"), fallback);
    EXPECT_EQ(Get("COM1").dcb.BaudRate, static_cast<DWORD>(CBR_38400));
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_EQ(notices.size(), 1u) << said;
    for (const std::string& part : {file(), std::string("第 5 行 [COM2] device=ttyUSB2："),
                                    std::string("第 6 行的节名 [bad 无效")})
        EXPECT_NE(notices[0].find(part), std::string::npos) << notices[0];
    EXPECT_EQ(said.find(file()), said.rfind(file())) << said;
    // They are still there, at their new lines.
    const std::vector<std::string> problems = PlatSerialStoreProblems();
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[1].rfind("第 9 行 [COM2]", 0), 0u) << problems[1];
}

} // namespace
