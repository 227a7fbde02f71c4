// A listener on the loopback address whose queue is full and never accepted
// from: further connects hang, as to an address that does not answer. On
// Windows, Winsock must have been started first.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cstdint>

struct FullListener {
#ifdef _WIN32
    using Socket = SOCKET;
    using Size = int;
    static void Close(Socket s) { closesocket(s); }
#else
    using Socket = int;
    using Size = socklen_t;
    static void Close(Socket s) { close(s); }
#endif
    Socket listener = socket(AF_INET, SOCK_STREAM, 0);
    Socket filler = socket(AF_INET, SOCK_STREAM, 0);
    uint16_t port = 0;
    FullListener()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener, 0);
        Size size = sizeof address;
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin_port);
        connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    ~FullListener()
    {
        Close(filler);
        Close(listener);
    }
    FullListener(const FullListener&) = delete;
    FullListener& operator=(const FullListener&) = delete;
};
