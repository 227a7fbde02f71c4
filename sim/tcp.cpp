// The virtual printer's TCP transport.
#include "sim/tcp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

namespace {

std::string hostPort(const std::string& address, uint16_t port)
{
    return (address.find(':') != std::string::npos ? "[" + address + "]" : address) + ":" + std::to_string(port);
}

std::string peerName(const sockaddr_storage& ss)
{
    char text[INET6_ADDRSTRLEN] = "?";
    if (ss.ss_family == AF_INET6) {
        const auto& a = reinterpret_cast<const sockaddr_in6&>(ss);
        inet_ntop(AF_INET6, &a.sin6_addr, text, sizeof text);
        return hostPort(text, ntohs(a.sin6_port));
    }
    const auto& a = reinterpret_cast<const sockaddr_in&>(ss);
    inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
    return hostPort(text, ntohs(a.sin_port));
}

// Closing with a zero linger time sends a reset, not an orderly close.
void closeWithReset(int fd)
{
    const linger now{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
    ::close(fd);
}

std::string duration(std::chrono::milliseconds ms)
{
    return ms.count() % 1000 == 0 ? std::to_string(ms.count() / 1000) + " s" : std::to_string(ms.count()) + " ms";
}

} // namespace

bool parseListenAddress(const std::string& text, std::string* address, uint16_t* port, std::string* why)
{
    const auto fail = [&] {
        *why = "--listen takes ADDR:PORT, a numeric IPv4 address or an IPv6 one in brackets (127.0.0.1:9100, "
               "[::1]:0), not \"" + text + "\"";
        return false;
    };
    std::string host, digits;
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos || text.compare(close + 1, 1, ":") != 0)
            return fail();
        host = text.substr(1, close - 1);
        digits = text.substr(close + 2);
    } else {
        const size_t colon = text.find(':');
        if (colon == std::string::npos || text.find(':', colon + 1) != std::string::npos)
            return fail();
        host = text.substr(0, colon);
        digits = text.substr(colon + 1);
    }
    in6_addr probe{};
    const int family = host.find(':') != std::string::npos ? AF_INET6 : AF_INET;
    if (inet_pton(family, host.c_str(), &probe) != 1 || digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos || std::stoul(digits) > 65535)
        return fail();
    *address = host;
    *port = uint16_t(std::stoul(digits));
    return true;
}

TcpPrinter::TcpPrinter(TcpOptions tcp, PrinterOptions options)
    : LinePrinter(std::move(options), Transport::Tcp), tcp_(std::move(tcp))
{
    std::string host, why;
    uint16_t port = 0;
    if (!parseListenAddress(tcp_.listen, &host, &port, &why)) {
        setError(why);
        return;
    }
    sockaddr_storage ss{};
    socklen_t len = 0;
    if (host.find(':') != std::string::npos) {
        auto& a = reinterpret_cast<sockaddr_in6&>(ss);
        a.sin6_family = AF_INET6;
        a.sin6_port = htons(port);
        inet_pton(AF_INET6, host.c_str(), &a.sin6_addr);
        len = sizeof a;
    } else {
        auto& a = reinterpret_cast<sockaddr_in&>(ss);
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        inet_pton(AF_INET, host.c_str(), &a.sin_addr);
        len = sizeof a;
    }
    const int fd = ::socket(ss.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (fd >= 0)
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on); // a restarted printer takes its port at once
    // A backlog, so that a client waiting its turn (--busy wait) is taken in and queued.
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&ss), len) != 0 || ::listen(fd, 8) != 0) {
        setError("cannot listen on " + hostPort(host, port) + ": " + std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return;
    }
    len = sizeof ss;
    getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len);
    port_ = ntohs(ss.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(ss).sin6_port
                                           : reinterpret_cast<sockaddr_in&>(ss).sin_port);
    address_ = hostPort(host, port_);
    if (!openWakePipe()) {
        ::close(fd);
        return;
    }
    listener_ = fd;
    start();
}

TcpPrinter::~TcpPrinter()
{
    stop();
    if (client_ >= 0)
        closeWithReset(client_);
    if (listener_ >= 0)
        ::close(listener_);
}

void TcpPrinter::addWaits(std::vector<pollfd>& fds)
{
    // Waiting clients stay in the listener's queue until this one is done.
    if (client_ < 0 || tcp_.busy == Busy::Refuse)
        fds.push_back({listener_, POLLIN, 0});
    if (client_ >= 0)
        fds.push_back({client_, short(held() ? 0 : POLLIN), 0});
}

void TcpPrinter::serve(const std::vector<pollfd>& fds, Clock::time_point now)
{
    for (const pollfd& p : fds)
        if (p.fd == listener_ && (p.revents & POLLIN))
            accept(now);
    if (client_ < 0 || held())
        return;
    errno = 0;
    // A bounded part a round: a sender faster than the decoder must not keep
    // the thread from its stop and its answers.
    if (!readFrom(client_, now, size_t(64) << 10)) {
        const bool reset = errno == ECONNRESET;
        // Answers to its last bytes still go out, to a client that only shut its sending side.
        deliverDue(now);
        endClient(ConnectionEvent::Closed,
                  "tcp: " + peer_ + (reset ? " reset the connection" : " closed the connection"), false);
        return;
    }
    if (tcp_.dropIdle.count() > 0 && now - lastTraffic() >= tcp_.dropIdle)
        endClient(ConnectionEvent::IdleDrop, "tcp: " + peer_ + " reset after " + duration(tcp_.dropIdle) + " idle",
                  true);
}

void TcpPrinter::accept(Clock::time_point now)
{
    for (;;) {
        sockaddr_storage ss{};
        socklen_t len = sizeof ss;
        const int fd = ::accept4(listener_, reinterpret_cast<sockaddr*>(&ss), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        const std::string peer = peerName(ss);
        if (client_ >= 0) {
            closeWithReset(fd);
            printer().connectionEvent(ConnectionEvent::Refused, "tcp: " + peer + " refused: busy with " + peer_);
            continue;
        }
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on); // a status answer is one byte; send it now
        client_ = fd;
        peer_ = peer;
        noteTraffic(now);
        printer().connectionEvent(ConnectionEvent::Accepted, "tcp: " + peer + " connected");
        setConnected(true);
        if (tcp_.busy == Busy::Wait)
            return;
    }
}

void TcpPrinter::endClient(ConnectionEvent why, const std::string& line, bool reset)
{
    printer().connectionEvent(why, line); // before the client can see it
    if (reset)
        closeWithReset(client_);
    else
        ::close(client_);
    client_ = -1;
    dropAnswers(); // they were for the client that left
    setConnected(false);
}

ssize_t TcpPrinter::writeLine(const uint8_t* bytes, size_t size)
{
    return client_ < 0 ? -1 : ::send(client_, bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
}

// Only what has arrived by now: a sender still writing is not followed.
void TcpPrinter::readRemaining(Clock::time_point now)
{
    int waiting = 0;
    if (client_ >= 0 && ioctl(client_, FIONREAD, &waiting) == 0)
        readFrom(client_, now, size_t(waiting));
}

} // namespace sim
