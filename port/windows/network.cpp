// The network printer's connection on Windows: Winsock, a non-blocking
// connect to each address the name resolves to, within the time-out, that a
// stop ends; then an overlapped socket that ReadFile and WriteFile use as a
// port handle, writing at once (TCP_NODELAY) and probing a quiet connection
// so that a pulled cable is noticed within 10 s.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>

#include "port/network.h"
#include "port/port.h"

#include <algorithm>
#include <string>

namespace {

constexpr ULONG kKeepIdleMs = 3000;
constexpr ULONG kKeepIntervalMs = 1000;
constexpr DWORD kUnacknowledgedS = 9;

bool Started()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

void Tune(SOCKET s)
{
    const BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    tcp_keepalive keep{1, kKeepIdleMs, kKeepIntervalMs};
    DWORD returned = 0;
    WSAIoctl(s, SIO_KEEPALIVE_VALS, &keep, sizeof keep, nullptr, 0, &returned, nullptr, nullptr);
    // Unacknowledged data gives up after this long (where the system knows it).
    const DWORD maxRetransmit = kUnacknowledgedS;
    setsockopt(s, IPPROTO_TCP, 5 /* TCP_MAXRT */, reinterpret_cast<const char*>(&maxRetransmit), sizeof maxRetransmit);
}

NetFailure FailureOf(int err)
{
    switch (err) {
    case WSAECONNREFUSED:
    case WSAECONNRESET:
        return NET_REFUSED;
    case WSAETIMEDOUT:
        return NET_TIMED_OUT;
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
        return NET_UNREACHABLE;
    default:
        return NET_OTHER;
    }
}

// One address: the connected socket, or INVALID_SOCKET with *err set
// (WSAETIMEDOUT when the deadline passed, WSAEINTR for a stop).
SOCKET ConnectOne(const addrinfo& address, DWORD deadline, int* err)
{
    SOCKET s = WSASocketW(address.ai_family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (s == INVALID_SOCKET) {
        *err = WSAGetLastError();
        return INVALID_SOCKET;
    }
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    if (connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0 &&
        WSAGetLastError() != WSAEWOULDBLOCK) {
        *err = WSAGetLastError();
        closesocket(s);
        return INVALID_SOCKET;
    }
    for (;;) {
        PortRunWaitPump();
        if (PortAbortRequested()) {
            *err = WSAEINTR;
            break;
        }
        const LONG left = static_cast<LONG>(deadline - GetTickCount());
        if (left <= 0) {
            *err = WSAETIMEDOUT;
            break;
        }
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        const LONG slice = std::min<LONG>(left, NET_STOP_POLL_MS);
        timeval wait{0, slice * 1000};
        const int ready = select(0, nullptr, &writable, &failed, &wait);
        if (ready == SOCKET_ERROR) {
            *err = WSAGetLastError();
            break;
        }
        if (ready == 0)
            continue;
        int result = 0;
        int size = sizeof result;
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&result), &size);
        if (FD_ISSET(s, &writable) && result == 0) {
            nonBlocking = 0;
            ioctlsocket(s, FIONBIO, &nonBlocking);
            return s;
        }
        *err = result != 0 ? result : WSAECONNREFUSED;
        break;
    }
    closesocket(s);
    return INVALID_SOCKET;
}

// Whether the other end closed or reset `s`, looked at without taking a byte.
bool Gone(SOCKET s, long waitMs)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval wait{0, waitMs * 1000};
    if (select(0, &readable, nullptr, nullptr, &wait) != 1)
        return false;
    char peek = 0;
    return recv(s, &peek, 1, MSG_PEEK) <= 0;
}

} // namespace

HANDLE NetConnect()
{
    if (gNetInfo.host[0] == '\0') {
        NetNoteConnectFailure(NET_NO_HOST, 0, 0);
        return INVALID_HANDLE_VALUE;
    }
    const DWORD start = GetTickCount();
    if (!Started()) {
        NetNoteConnectFailure(NET_OTHER, static_cast<DWORD>(WSAGetLastError()), 0);
        return INVALID_HANDLE_VALUE;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(gNetInfo.port);
    const int resolved = getaddrinfo(gNetInfo.host, service.c_str(), &hints, &found);
    if (resolved != 0) {
        const bool noName = resolved == WSAHOST_NOT_FOUND || resolved == WSANO_DATA || resolved == WSATRY_AGAIN ||
                            resolved == WSANO_RECOVERY;
        NetNoteConnectFailure(noName ? NET_NO_NAME : NET_OTHER, static_cast<DWORD>(resolved), GetTickCount() - start);
        return INVALID_HANDLE_VALUE;
    }
    const DWORD deadline = start + gNetInfo.timeoutSeconds * 1000;
    int err = WSAETIMEDOUT;
    SOCKET s = INVALID_SOCKET;
    for (const addrinfo* address = found; address != nullptr && s == INVALID_SOCKET; address = address->ai_next) {
        s = ConnectOne(*address, deadline, &err);
        if (err == WSAEINTR || err == WSAETIMEDOUT)
            break;
    }
    freeaddrinfo(found);
    if (s == INVALID_SOCKET) {
        NetNoteConnectFailure(err == WSAEINTR ? NET_STOPPED : FailureOf(err), static_cast<DWORD>(err),
                              GetTickCount() - start);
        return INVALID_HANDLE_VALUE;
    }
    // A printer serving another client accepts and resets at once: a refusal.
    if (Gone(s, NET_SETTLE_MS)) {
        closesocket(s);
        NetNoteConnectFailure(NET_REFUSED, WSAECONNRESET, GetTickCount() - start);
        return INVALID_HANDLE_VALUE;
    }
    Tune(s);
    NetNoteConnectFailure(NET_OK, 0, GetTickCount() - start);
    return reinterpret_cast<HANDLE>(s);
}

void NetClose(HANDLE handle)
{
    closesocket(reinterpret_cast<SOCKET>(handle));
}

BOOL NetPeerGone(HANDLE handle)
{
    return Gone(reinterpret_cast<SOCKET>(handle), 0) ? TRUE : FALSE;
}
