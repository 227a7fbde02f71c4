// Network printer connections as port handles. A write ends after 3 s
// without progress and reports what moved, as on a USB node; a read that got
// nothing in 5 s fails with ERROR_TIMEOUT; the end of the stream is a read of
// nothing that succeeds, as Windows gives it.
#include "platform/linux/sockets.h"

#include "platform/linux/kernel.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace plat {

namespace {

constexpr uint64_t kWriteStallMs = 3000;
constexpr uint64_t kFirstByteMs = 5000;
constexpr uint64_t kQuietMs = 200;

} // namespace

DWORD SocketError(int err)
{
    switch (err) {
    case ECONNRESET:
    case EPIPE:
    case ECONNABORTED:
        return ERROR_NETNAME_DELETED;
    case ETIMEDOUT:
        return ERROR_SEM_TIMEOUT;
    case ECONNREFUSED:
        return ERROR_CONNECTION_REFUSED;
    case ENETUNREACH:
        return ERROR_NETWORK_UNREACHABLE;
    case EHOSTUNREACH:
        return ERROR_HOST_UNREACHABLE;
    default:
        return ERROR_WRITE_FAULT;
    }
}

BOOL SocketWrite(FileObject& f, const void* buffer, DWORD toWrite, DWORD* written)
{
    return WriteBounded(f, buffer, toWrite, written, ScaledMs(kWriteStallMs), true);
}

BOOL SocketRead(FileObject& f, void* buffer, DWORD toRead, DWORD* read)
{
    char* out = static_cast<char*>(buffer);
    DWORD done = 0;
    auto deadline = Clock::now() + ScaledMs(kFirstByteMs);
    while (done < toRead) {
        const ssize_t n = ::recv(f.fd, out + done, toRead - done, MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<DWORD>(n);
            deadline = Clock::now() + ScaledMs(kQuietMs);
            continue;
        }
        if (n == 0)
            break; // the printer closed the connection
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN) {
            *read = done;
            return Fail(SocketError(errno));
        }
        const int revents = WaitHandleReady(f, POLLIN, deadline);
        if (revents < 0) {
            *read = done;
            return FALSE;
        }
        if (revents == 0) {
            if (done == 0 && toRead != 0) {
                *read = 0;
                return Fail(ERROR_TIMEOUT);
            }
            break;
        }
    }
    *read = done;
    return TRUE;
}

} // namespace plat

HANDLE PlatSocketHandle(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        ::close(fd);
        return INVALID_HANDLE_VALUE;
    }
    return plat::AddHandle(std::make_shared<plat::FileObject>(plat::FileKind::Socket, fd));
}

bool PlatSocketPeerGone(HANDLE handle)
{
    auto f = plat::LookupFile(handle);
    if (!f || f->fileKind != plat::FileKind::Socket)
        return true;
    pollfd p{f->fd, POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}
