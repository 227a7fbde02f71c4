// Tests of the virtual printer's TCP transport, on the loopback addresses
// only: the same decoding and answers as a serial line, one client at a
// time, idle connections reset, and a sender or printer gone mid-send.
#include "sim/pty.h"
#include "sim/status.h"
#include "sim/tcp.h"
#include "support/fd_io.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>
#include <thread>

using namespace std::chrono_literals;
using testsupport::ConnectTcp;
using testsupport::ReadFor;
using Bytes = std::vector<uint8_t>;

namespace {

// A descriptor closed at the end of the scope.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    bool write(const Bytes& b) const { return ::send(fd, b.data(), b.size(), MSG_NOSIGNAL) == ssize_t(b.size()); }
};

Fd connectTo(const sim::TcpPrinter& printer, const char* host) { return Fd(ConnectTcp(host, printer.port())); }

std::unique_ptr<sim::TcpPrinter> listening(const std::string& listen, sim::Busy busy = sim::Busy::Refuse,
                                           std::chrono::milliseconds dropIdle = 0ms, sim::PrinterOptions o = {})
{
    auto p = std::make_unique<sim::TcpPrinter>(sim::TcpOptions{listen, busy, dropIdle}, o);
    EXPECT_TRUE(p->ok()) << p->error();
    return p;
}

// The transcript without the transport's own lines.
std::vector<std::string> decoded(const sim::Printer& p)
{
    std::vector<std::string> lines = p.transcript();
    std::erase_if(lines, [](const std::string& l) { return l.rfind("tcp: ", 0) == 0; });
    return lines;
}

} // namespace

TEST(TcpPrinter, ListenAddresses)
{
    struct Case {
        const char* text;
        bool good;
        const char* address;
        uint16_t port;
    } cases[] = {
        {"127.0.0.1:9100", true, "127.0.0.1", 9100}, {"[::1]:0", true, "::1", 0},
        {"0.0.0.0:65535", true, "0.0.0.0", 65535},   {"::1:9100", false, "", 0},
        {"localhost:9100", false, "", 0},            {"127.0.0.1:65536", false, "", 0},
        {"127.0.0.1:", false, "", 0},                {"[::1]9100", false, "", 0},
        {"127.0.0.1:-1", false, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string address, why;
        uint16_t port = 1;
        EXPECT_EQ(sim::parseListenAddress(c.text, &address, &port, &why), c.good);
        if (c.good) {
            EXPECT_EQ(address, c.address);
            EXPECT_EQ(port, c.port);
        } else {
            EXPECT_NE(why.find(c.text), std::string::npos) << why;
        }
    }
    // A port another printer holds: refused with the reason.
    auto first = listening("127.0.0.1:0");
    sim::TcpPrinter second({"127.0.0.1:" + std::to_string(first->port())});
    EXPECT_FALSE(second.ok());
    EXPECT_NE(second.error().find("cannot listen on 127.0.0.1:" + std::to_string(first->port())), std::string::npos)
        << second.error();
}

// The same stream over a pseudo-terminal and over TCP (IPv4 and IPv6): the
// same transcript and bytes, and the status and ID answers on the connection.
TEST(TcpPrinter, DecodesAndAnswersAsTheSerialLineDoes)
{
    Bytes stream{'P', 'I', 'N', 'G', 0x0A, 0x1B, 0x2A, 0x00, 0x02, 0x00, 0xFF, 0x81, 0x0A, 0x10, 0x04, 0x01,
                 0x1D, 0x49, 0x01, 0x1B, 0x70, 0x01, 0x32, 0x32, 0x10, 0x04, 0x04};
    const Bytes answers{0x1E, 0x42, 0x7E};
    sim::PrinterOptions o;
    o.status = sim::kPaperOut;
    o.modelId = 0x42;

    sim::SerialPrinter serial(o);
    ASSERT_TRUE(serial.ok());
    Fd line(::open(serial.slavePath().c_str(), O_RDWR | O_NOCTTY));
    termios raw{};
    tcgetattr(line.fd, &raw);
    cfmakeraw(&raw);
    tcsetattr(line.fd, TCSANOW, &raw);
    ASSERT_EQ(::write(line.fd, stream.data(), stream.size()), ssize_t(stream.size()));
    EXPECT_EQ(ReadFor(line.fd, answers.size(), 5s).bytes, answers);

    for (const char* host : {"127.0.0.1", "::1"}) {
        SCOPED_TRACE(host);
        const bool six = std::string(host) == "::1";
        auto tcp = listening(six ? "[::1]:0" : "127.0.0.1:0", sim::Busy::Refuse, 0ms, o);
        const Fd client = connectTo(*tcp, host);
        ASSERT_GE(client.fd, 0);
        ASSERT_TRUE(client.write(stream));
        EXPECT_EQ(ReadFor(client.fd, answers.size(), 5s).bytes, answers);
        ASSERT_TRUE(tcp->waitForBytes(stream.size(), 5s));
        EXPECT_EQ(tcp->received(), serial.received());
        EXPECT_EQ(decoded(tcp->printer()), decoded(serial.printer()));
        EXPECT_EQ(tcp->printer().countLines(std::string("tcp: ") + (six ? "[::1]:" : "127.0.0.1:")), 1u);
    }
}

// A second client while the first is served: reset at once, or taken in
// (its bytes untouched) when the first leaves.
TEST(TcpPrinter, ASecondClientIsRefusedOrWaitsItsTurn)
{
    for (const sim::Busy busy : {sim::Busy::Refuse, sim::Busy::Wait}) {
        const bool wait = busy == sim::Busy::Wait;
        SCOPED_TRACE(wait ? "wait" : "refuse");
        auto tcp = listening("127.0.0.1:0", busy);
        auto first = std::make_unique<Fd>(ConnectTcp("127.0.0.1", tcp->port()));
        ASSERT_TRUE(tcp->waitForConnected(true, 5s));
        const Fd second = connectTo(*tcp, "127.0.0.1");
        ASSERT_GE(second.fd, 0); // the listener's queue takes it in either way
        (void)second.write({'S', 'E', 'C', 'O', 'N', 'D', 0x0A, 0x10, 0x04, 0x01});
        if (!wait) {
            const testsupport::ReadResult r = ReadFor(second.fd, 1, 5s);
            EXPECT_TRUE(r.bytes.empty());
            EXPECT_TRUE(r.end == ECONNRESET || r.end == -1) << r.end;
        }
        // The first is served all along; the second's bytes were not decoded meanwhile.
        ASSERT_TRUE(first->write({0x10, 0x04, 0x02}));
        EXPECT_EQ(ReadFor(first->fd, 1, 5s).bytes, Bytes{0x12});
        EXPECT_EQ(tcp->printer().countLines("SECOND"), 0u);
        first.reset();
        if (wait) {
            EXPECT_TRUE(tcp->waitForLine("TEXT \"SECOND\"", 5s));
            EXPECT_EQ(ReadFor(second.fd, 1, 5s).bytes, Bytes{0x16});
        } else {
            EXPECT_TRUE(tcp->waitForConnected(false, 5s));
        }
        const sim::PrinterState::Connections c = tcp->printer().state().connections;
        EXPECT_EQ((std::vector<uint64_t>{c.accepted, c.closed, c.refused}),
                  (std::vector<uint64_t>{wait ? 2u : 1u, 1, wait ? 0u : 1u}));
        EXPECT_EQ(tcp->printer().countLines("refused: busy with 127.0.0.1:"), wait ? 0u : 1u);
    }
}

// A connection left idle is reset, as a LAN printer does; the next is served.
TEST(TcpPrinter, AnIdleConnectionIsResetAndTheNextServed)
{
    auto tcp = listening("127.0.0.1:0", sim::Busy::Refuse, 300ms);
    {
        const Fd idle = connectTo(*tcp, "127.0.0.1");
        ASSERT_TRUE(idle.write({0x10, 0x04, 0x01}));
        EXPECT_EQ(ReadFor(idle.fd, 1, 5s).bytes, Bytes{0x16});
        const auto quiet = std::chrono::steady_clock::now(); // its last traffic was before this
        const testsupport::ReadResult r = ReadFor(idle.fd, 1, 5s);
        EXPECT_GE(std::chrono::steady_clock::now() - quiet, 250ms);
        EXPECT_EQ(r.end, ECONNRESET);
    }
    EXPECT_EQ(tcp->printer().state().connections.idleDrops, 1u);
    EXPECT_EQ(tcp->printer().countLines("reset after 300 ms idle"), 1u);
    const Fd next = connectTo(*tcp, "127.0.0.1");
    ASSERT_TRUE(next.write({0x10, 0x04, 0x01}));
    EXPECT_EQ(ReadFor(next.fd, 1, 5s).bytes, Bytes{0x16});
}

// A sender that resets its connection mid-send loses only itself; a printer
// that stops mid-send ends at once and its sender's writes fail.
TEST(TcpPrinter, ASenderOrThePrinterGoneMidSend)
{
    auto tcp = listening("127.0.0.1:0");
    const Bytes block(64 * 1024, 'x');
    {
        const Fd sender = connectTo(*tcp, "127.0.0.1");
        ASSERT_TRUE(sender.write(block));
        ASSERT_TRUE(tcp->waitForBytes(1, 5s));
        const linger now{1, 0};
        setsockopt(sender.fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
    }
    EXPECT_TRUE(tcp->waitForConnected(false, 5s));
    const Fd next = connectTo(*tcp, "127.0.0.1");
    ASSERT_TRUE(next.write({0x10, 0x04, 0x01}));
    EXPECT_EQ(ReadFor(next.fd, 1, 5s).bytes, Bytes{0x16});

    // The printer stops while its sender writes as fast as it can.
    std::atomic<int> failure{0};
    std::thread writer([&] {
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < end)
            if (::send(next.fd, block.data(), block.size(), MSG_NOSIGNAL) < 0) {
                failure = errno;
                return;
            }
    });
    ASSERT_TRUE(tcp->waitForBytes(3 + 2 * block.size(), 5s));
    const auto start = std::chrono::steady_clock::now();
    tcp.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    writer.join();
    EXPECT_TRUE(failure == ECONNRESET || failure == EPIPE) << failure;
}
