// The network printer's connection on Linux: a non-blocking connect to each
// address the name resolves to, within the time-out, that a stop ends; then
// a socket that writes at once (TCP_NODELAY) and notices a pulled cable
// within 10 s (keep-alive probes, and a bound on unacknowledged data).
#include "port/network.h"

#include "platform/linux/sockets.h"
#include "port/port.h"

#include <cerrno>
#include <chrono>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kKeepIdleS = 3;
constexpr int kKeepIntervalS = 2;
constexpr int kKeepProbes = 3;
constexpr unsigned kUnacknowledgedMs = 9000;

void Tune(int fd)
{
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleS, sizeof kKeepIdleS);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalS, sizeof kKeepIntervalS);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepProbes, sizeof kKeepProbes);
    setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &kUnacknowledgedMs, sizeof kUnacknowledgedMs);
}

NetFailure FailureOf(int err)
{
    switch (err) {
    case ECONNREFUSED:
    case ECONNRESET:
        return NET_REFUSED;
    case ETIMEDOUT:
        return NET_TIMED_OUT;
    case ENETUNREACH:
    case EHOSTUNREACH:
        return NET_UNREACHABLE;
    default:
        return NET_OTHER;
    }
}

// One address: the connected socket, or -1 with *err set (ETIMEDOUT when the
// deadline passed, ECANCELED for a stop).
int ConnectOne(const addrinfo& address, Clock::time_point deadline, int* err)
{
    const int fd = socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
    if (fd < 0) {
        *err = errno;
        return -1;
    }
    if (connect(fd, address.ai_addr, address.ai_addrlen) == 0)
        return fd;
    if (errno != EINPROGRESS) {
        *err = errno;
        close(fd);
        return -1;
    }
    for (;;) {
        PortRunWaitPump();
        if (PortAbortRequested()) {
            *err = ECANCELED;
            break;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            *err = ETIMEDOUT;
            break;
        }
        pollfd p{fd, POLLOUT, 0};
        const int ready = poll(&p, 1, static_cast<int>(std::min<long long>(left, NET_STOP_POLL_MS)));
        if (ready < 0 && errno != EINTR) {
            *err = errno;
            break;
        }
        if (ready <= 0)
            continue;
        int result = 0;
        socklen_t size = sizeof result;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &result, &size);
        if (result == 0)
            return fd;
        *err = result;
        break;
    }
    close(fd);
    return -1;
}

} // namespace

HANDLE NetConnect()
{
    if (gNetInfo.host[0] == '\0') {
        NetNoteConnectFailure(NET_NO_HOST, 0, 0);
        return INVALID_HANDLE_VALUE;
    }
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::seconds(gNetInfo.timeoutSeconds);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(gNetInfo.port);
    int resolved = getaddrinfo(gNetInfo.host, service.c_str(), &hints, &found);
    if (resolved == EAI_NONAME || resolved == EAI_ADDRFAMILY) {
        // AI_ADDRCONFIG hides ::1 and 127.0.0.1 on a host with only loopback.
        hints.ai_flags = 0;
        resolved = getaddrinfo(gNetInfo.host, service.c_str(), &hints, &found);
    }
    const auto took = [&] {
        return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    };
    if (resolved != 0) {
        NetNoteConnectFailure(resolved == EAI_AGAIN || resolved == EAI_FAIL || resolved == EAI_NONAME ||
                                      resolved == EAI_NODATA
                                  ? NET_NO_NAME
                                  : NET_OTHER,
                              static_cast<DWORD>(resolved), took());
        return INVALID_HANDLE_VALUE;
    }
    int err = ETIMEDOUT;
    int fd = -1;
    for (const addrinfo* address = found; address != nullptr && fd < 0; address = address->ai_next) {
        fd = ConnectOne(*address, deadline, &err);
        if (err == ECANCELED || err == ETIMEDOUT)
            break;
    }
    freeaddrinfo(found);
    if (fd < 0) {
        NetNoteConnectFailure(err == ECANCELED ? NET_STOPPED : FailureOf(err), static_cast<DWORD>(err), took());
        return INVALID_HANDLE_VALUE;
    }
    // A printer serving another client accepts and resets at once: that is
    // a refusal, to be told now rather than as a send that went nowhere.
    pollfd settle{fd, POLLRDHUP, 0};
    if (poll(&settle, 1, NET_SETTLE_MS) > 0 && (settle.revents & (POLLRDHUP | POLLHUP | POLLERR))) {
        close(fd);
        NetNoteConnectFailure(NET_REFUSED, ECONNRESET, took());
        return INVALID_HANDLE_VALUE;
    }
    Tune(fd);
    NetNoteConnectFailure(NET_OK, 0, took());
    return PlatSocketHandle(fd);
}

void NetClose(HANDLE handle)
{
    CloseHandle(handle);
}

BOOL NetPeerGone(HANDLE handle)
{
    return PlatSocketPeerGone(handle) ? TRUE : FALSE;
}
