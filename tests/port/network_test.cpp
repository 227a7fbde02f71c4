// The network port against the virtual printer on the loopback addresses:
// bytes and answers over one connection, and each way a connection fails,
// in its own words and within its bound.
#include "port/input.h"
#include "port/network.h"
#include "port/port.h"
#include "send/send.h"
#include "sim/tcp.h"
#include "support/full_listener.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

namespace {

// What the engine reported about one send.
struct Outcome {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    LPARAM sent = -1;
};

void Record(void* context, UINT message, WPARAM code, LPARAM value)
{
    auto* outcome = static_cast<Outcome*>(context);
    if (message != WM_SENDCMDS_STATUS || code != STATUS_CMDS_SENT)
        return;
    std::lock_guard<std::mutex> lock(outcome->m);
    outcome->done = true;
    outcome->sent = value;
    outcome->cv.notify_all();
}

class NetworkTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { UtilInit(); }

    void SetUp() override
    {
        ClearPortRecord(gCurrentPort);
        gNetInfo = NetPrinter{{}, NET_DEFAULT_PORT, NET_DEFAULT_TIMEOUT_S};
    }
    void TearDown() override
    {
        StopSendAndWait();
        PortRelease();
        ClearPortRecord(gCurrentPort);
    }

    static std::unique_ptr<sim::TcpPrinter> Listening(const char* listen, sim::Busy busy = sim::Busy::Refuse,
                                                      std::chrono::milliseconds dropIdle = 0ms)
    {
        auto printer = std::make_unique<sim::TcpPrinter>(sim::TcpOptions{listen, busy, dropIdle});
        EXPECT_TRUE(printer->ok()) << printer->error();
        return printer;
    }

    static void Aim(const char* host, WORD port, DWORD timeoutSeconds = NET_DEFAULT_TIMEOUT_S)
    {
        std::strcpy(gNetInfo.host, host);
        gNetInfo.port = port;
        gNetInfo.timeoutSeconds = timeoutSeconds;
    }

    // One typed send through the engine; the count it reported as sent.
    static LPARAM Send(const Bytes& bytes)
    {
        Outcome outcome;
        const SendReporter reporter{Record, &outcome};
        if (!SendDataWithReporter(reporter, bytes.data(), static_cast<DWORD>(bytes.size()), SEND_MODE_CMDS | SEND_ONCE))
            return -2;
        std::unique_lock<std::mutex> lock(outcome.m);
        if (!outcome.cv.wait_for(lock, 20s, [&] { return outcome.done; }))
            return -3;
        lock.unlock();
        WaitForSingleObject(hOutputBufIdle, 20000);
        return outcome.sent;
    }

    // OpenPorts(PORT_NETWORK) that must fail: the second line and how long it took.
    static std::pair<std::string, std::chrono::milliseconds> FailedOpen()
    {
        const auto start = Clock::now();
        EXPECT_FALSE(OpenPorts(PORT_NETWORK));
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        EXPECT_EQ(gCurrentPort.handle, nullptr);
        EXPECT_EQ(gCurrentPort.state, PORT_STATE_CLOSED);
        return {PortOpenFailureDetail(PORT_NETWORK), took};
    }
};

// The kernel's IPv4 TCP table: whether a row has `port` as its local (or
// remote) port, state `state` (hex, as the table writes it), and at least
// `received` bytes waiting to be read.
bool TcpRow(uint16_t port, bool local, const char* state, unsigned long received = 0)
{
    std::ifstream table("/proc/net/tcp");
    std::string line;
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, "%04X", port);
    while (std::getline(table, line)) {
        char localAddress[64], remoteAddress[64], st[8];
        unsigned long tx = 0, rx = 0;
        if (std::sscanf(line.c_str(), " %*s %63s %63s %7s %lx:%lx", localAddress, remoteAddress, st, &tx, &rx) != 5)
            continue;
        const std::string address = local ? localAddress : remoteAddress;
        if (address.substr(address.size() - 4) == wanted && std::strcmp(st, state) == 0 && rx >= received)
            return true;
    }
    return false;
}

// Whether a connect to the loopback `port` waits for its answer (SYN_SENT).
bool SynSentTo(uint16_t port)
{
    return TcpRow(port, false, "02");
}

} // namespace

// Bytes go whole over one connection on both loopback addresses, and the
// printer's answer to DLE EOT 1 comes back on it to the console's reader.
TEST_F(NetworkTest, BytesAndAnswersOverOneConnection)
{
    for (const char* listen : {"127.0.0.1:0", "[::1]:0"}) {
        SCOPED_TRACE(listen);
        auto printer = Listening(listen);
        Aim(listen[0] == '[' ? "::1" : "127.0.0.1", printer->port());
        ASSERT_TRUE(OpenPorts(PORT_NETWORK)) << PortOpenFailureDetail(PORT_NETWORK);
        EXPECT_STREQ(gCurrentPort.name, "TCP");
        ASSERT_TRUE(printer->waitForConnected(true, 5000ms));

        struct Inbox {
            std::mutex m;
            std::condition_variable cv;
            Bytes bytes;
        } inbox;
        ASSERT_TRUE(PortReaderStart(
            [](const BYTE* bytes, DWORD count, void* context) {
                auto* in = static_cast<Inbox*>(context);
                std::lock_guard<std::mutex> lock(in->m);
                in->bytes.insert(in->bytes.end(), bytes, bytes + count);
                in->cv.notify_all();
            },
            &inbox));

        const Bytes job = {0x1B, 0x40, 'N', 'E', 'T', 0x0A, 0x10, 0x04, 0x01};
        EXPECT_EQ(Send(job), LPARAM(job.size()));
        ASSERT_TRUE(printer->waitForBytes(job.size(), 5000ms));
        EXPECT_EQ(printer->received(), job);
        std::unique_lock<std::mutex> lock(inbox.m);
        ASSERT_TRUE(inbox.cv.wait_for(lock, 5s, [&] { return !inbox.bytes.empty(); }));
        EXPECT_EQ(inbox.bytes.size(), 1u);
        EXPECT_EQ(inbox.bytes[0] & 0x93, 0x12) << "the fixed bits of a DLE EOT 1 answer";
        lock.unlock();
        PortRelease();
        EXPECT_TRUE(printer->waitForConnected(false, 5000ms)) << "released: the connection closes";
    }
}

// Each way a connect fails: its words name host:port (or the host), and it
// comes within its bound.
TEST_F(NetworkTest, ConnectFailuresInTheirOwnWords)
{
    // A port nothing listens on: a printer that was there and left.
    WORD closedPort = 0;
    {
        auto gone = Listening("127.0.0.1:0");
        closedPort = gone->port();
    }
    FullListener full;
    struct Case {
        const char* what;
        const char* host;
        WORD port;
        DWORD timeoutSeconds;
        const char* words;
        std::chrono::milliseconds within;
    } cases[] = {
        {"refused", "127.0.0.1", closedPort, 5, "连接被拒绝", 1000ms},
        {"refused on ::1", "::1", closedPort, 5, "连接被拒绝", 1000ms},
        {"no such name", "no-such-printer.invalid", 9100, 5, "名称无法解析", 10000ms},
        {"nothing answers", "127.0.0.1", full.port, 1, "连接超时，1 秒内没有应答", 1600ms},
        {"no address", "", 9100, 5, "没有设置网络打印机的地址", 100ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Aim(c.host, c.port, c.timeoutSeconds);
        const auto [words, took] = FailedOpen();
        EXPECT_NE(words.find(c.words), std::string::npos) << words;
        if (c.host[0] != '\0') {
            const std::string where = NetEndpoint(c.host, c.port);
            EXPECT_NE(words.find(where), std::string::npos) << words;
        }
        EXPECT_LT(took, c.within) << words;
        std::printf("[ failure ] %s: %s (%lld ms)\n", c.what, words.c_str(), static_cast<long long>(took.count()));
    }
}

// A stop from another thread ends a connect to an address that does not
// answer within 100 ms, and says it was cancelled.
TEST_F(NetworkTest, StopEndsAConnectAtOnce)
{
    FullListener full;
    Aim("127.0.0.1", full.port, 30);
    std::atomic<bool> opened{true};
    std::atomic<Clock::rep> ended{0};
    std::thread opener([&] {
        opened = OpenPorts(PORT_NETWORK) != FALSE;
        ended = Clock::now().time_since_epoch().count();
    });
    // The connect is under way once the kernel shows its SYN sent.
    const auto deadline = Clock::now() + 5s;
    while (!SynSentTo(full.port) && Clock::now() < deadline)
        std::this_thread::sleep_for(2ms);
    ASSERT_TRUE(SynSentTo(full.port));
    const auto stopped = Clock::now();
    PortAbortWaits();
    opener.join();
    const auto took = Clock::time_point(Clock::duration(ended.load())) - stopped;
    EXPECT_FALSE(opened.load());
    EXPECT_LT(took, 100ms);
    EXPECT_NE(PortOpenFailureDetail(PORT_NETWORK).find("连接已取消"), std::string::npos);
    PortClearAbort();
}

// The printer killed in the middle of a send: the send fails with how much
// went, the reason names host:port, and the next send connects anew.
TEST_F(NetworkTest, ResetMidSendThenReconnect)
{
    auto printer = Listening("127.0.0.1:0");
    const WORD port = printer->port();
    Aim("127.0.0.1", port);
    ASSERT_TRUE(OpenPorts(PORT_NETWORK));
    ASSERT_TRUE(printer->waitForConnected(true, 5000ms));
    printer->holdLine(true); // the printer takes no bytes: the send stalls
    const Bytes big(32 << 20, 0x00);
    LPARAM sent = -1;
    std::thread sender([&] { sent = Send(big); });
    const auto deadline = Clock::now() + 5s;
    // Under way once the printer's side holds bytes it has not read.
    while (!TcpRow(port, true, "01", 1) && Clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(TcpRow(port, true, "01", 1));
    const auto killed = Clock::now();
    printer.reset(); // killed: its connection resets
    sender.join();
    std::printf("[ failure ] reset mid-send: sent %ld of %zu, after %lld ms\n", static_cast<long>(sent), big.size(),
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - killed).count()));
    EXPECT_GE(sent, 0);
    EXPECT_LT(sent, LPARAM(big.size()));
    EXPECT_TRUE(PortIsLost());
    const std::string reason = NetLostReason();
    EXPECT_NE(reason.find("127.0.0.1:" + std::to_string(port)), std::string::npos) << reason;
    EXPECT_NE(reason.find("重置"), std::string::npos) << reason;

    // A printer back on the same port takes the next job on a new connection.
    auto back = Listening(("127.0.0.1:" + std::to_string(port)).c_str());
    ASSERT_TRUE(PortReadyToSend());
    const Bytes job = {0x1B, 0x40, 'O', 'K', 0x0A};
    EXPECT_EQ(Send(job), LPARAM(job.size()));
    ASSERT_TRUE(back->waitForBytes(job.size(), 5000ms));
    EXPECT_EQ(back->received(), job);
}

// A printer that resets an idle connection: the next job notices before it
// writes, connects again, and the printer gets the whole job.
TEST_F(NetworkTest, IdleDropThenANewJobReconnects)
{
    auto printer = Listening("127.0.0.1:0", sim::Busy::Refuse, 200ms);
    Aim("127.0.0.1", printer->port());
    ASSERT_TRUE(OpenPorts(PORT_NETWORK));
    ASSERT_TRUE(printer->waitForConnected(true, 5000ms));
    ASSERT_TRUE(printer->waitForConnected(false, 5000ms)) << "dropped when idle";
    const auto deadline = Clock::now() + 5s;
    while (!PortIsLost() && Clock::now() < deadline)
        std::this_thread::sleep_for(5ms); // the reset crosses the loopback
    ASSERT_TRUE(PortIsLost());
    ASSERT_TRUE(PortReadyToSend());
    const Bytes job = {0x1B, 0x40, 'A', 'G', 'A', 'I', 'N', 0x0A};
    EXPECT_EQ(Send(job), LPARAM(job.size()));
    ASSERT_TRUE(printer->waitForBytes(job.size(), 5000ms));
    EXPECT_EQ(printer->received(), job);
}

// A second client while another holds the printer is refused at the open,
// in the words that say another computer may hold it.
TEST_F(NetworkTest, SecondClientIsRefused)
{
    auto printer = Listening("127.0.0.1:0", sim::Busy::Refuse);
    Aim("127.0.0.1", printer->port());
    const int first = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(printer->port());
    ASSERT_EQ(connect(first, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_TRUE(printer->waitForConnected(true, 5000ms));
    const auto [words, took] = FailedOpen();
    EXPECT_NE(words.find("另一台电脑正在使用打印机"), std::string::npos) << words;
    EXPECT_NE(words.find("127.0.0.1:" + std::to_string(printer->port())), std::string::npos) << words;
    std::printf("[ failure ] second client: %s (%lld ms)\n", words.c_str(), static_cast<long long>(took.count()));
    close(first);
}

// Addresses as typed: IPv6 in brackets, the port optional.
TEST(NetworkEndpoint, ParsedAndShown)
{
    struct Case {
        const char* text;
        bool good;
        const char* host;
        WORD port;
        const char* shown;
    } cases[] = {
        {"192.168.1.50", true, "192.168.1.50", 9100, "192.168.1.50:9100"},
        {"printer.lan:9101", true, "printer.lan", 9101, "printer.lan:9101"},
        {"[::1]:9100", true, "::1", 9100, "[::1]:9100"},
        {"[fe80::1]", true, "fe80::1", 9100, "[fe80::1]:9100"},
        {"::1:9100", false, "", 0, ""},
        {"[::1", false, "", 0, ""},
        {"host:", false, "", 0, ""},
        {"host:0", false, "", 0, ""},
        {"host:65536", false, "", 0, ""},
        {"host:+80", false, "", 0, ""},
        {"", false, "", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        NetPrinter printer{{}, 1, 5};
        EXPECT_EQ(NetParseEndpoint(c.text, &printer), c.good);
        if (c.good) {
            EXPECT_STREQ(printer.host, c.host);
            EXPECT_EQ(printer.port, c.port);
            EXPECT_EQ(NetEndpoint(printer.host, printer.port), c.shown);
        }
    }
}
