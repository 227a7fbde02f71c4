#include "support/fd_io.h"

#include <netdb.h>
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
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV; // never a name lookup
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return -1;
    int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, found->ai_addr, found->ai_addrlen) != 0) {
        ::close(fd);
        fd = -1;
    }
    freeaddrinfo(found);
    return fd;
}

} // namespace testsupport
