#include "support/fd_io.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace testsupport {

ReadResult ReadFor(int fd, size_t n, std::chrono::milliseconds timeout)
{
    ReadResult r;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (r.bytes.size() < n) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, int(left.count())) <= 0)
            break;
        uint8_t buf[256];
        const ssize_t got = ::read(fd, buf, std::min(sizeof buf, n - r.bytes.size()));
        if (got <= 0) {
            r.end = got == 0 ? -1 : errno;
            break;
        }
        r.bytes.insert(r.bytes.end(), buf, buf + got);
    }
    return r;
}

int ConnectTcp(const std::string& address, uint16_t port)
{
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    const bool six = address.find(':') != std::string::npos;
    v4.sin_family = AF_INET;
    v4.sin_port = htons(port);
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(port);
    if ((six ? inet_pton(AF_INET6, address.c_str(), &v6.sin6_addr) : inet_pton(AF_INET, address.c_str(), &v4.sin_addr)) != 1)
        return -1;
    const int fd = ::socket(six ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int rc = six ? ::connect(fd, reinterpret_cast<sockaddr*>(&v6), sizeof v6)
                       : ::connect(fd, reinterpret_cast<sockaddr*>(&v4), sizeof v4);
    if (fd >= 0 && rc != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace testsupport
