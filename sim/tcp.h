// The virtual printer on the network: a raw TCP listener (a LAN printer's
// port 9100) that serves one client at a time, answers on the client's own
// connection, and resets a connection left idle, as such printers do.
#pragma once

#include "sim/line.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace sim {

// What a second client meets while one is served.
enum class Busy {
    Refuse, // accepted and reset at once
    Wait,   // left in the listener's queue, accepted when the first leaves
};

struct TcpOptions {
    std::string listen = "127.0.0.1:9100"; // ADDR:PORT, IPv6 in brackets; port 0 picks a free one
    Busy busy = Busy::Refuse;
    std::chrono::milliseconds dropIdle{0}; // 0: never
};

// "127.0.0.1:9100" or "[::1]:0" into its address and port; false with the
// reason when it is neither.
bool parseListenAddress(const std::string& text, std::string* address, uint16_t* port, std::string* why);

class TcpPrinter : public LinePrinter {
public:
    explicit TcpPrinter(TcpOptions tcp, PrinterOptions options = {});
    // Stops; a client still connected sees its connection reset.
    ~TcpPrinter() override;

    // False when it cannot listen; error() says why.
    bool ok() const { return listener_ >= 0; }
    // Where it listens, the port it was given included: "127.0.0.1:40321", "[::1]:9100".
    const std::string& address() const { return address_; }
    uint16_t port() const { return port_; }

private:
    void addWaits(std::vector<pollfd>& fds) override;
    void serve(const std::vector<pollfd>& fds, Clock::time_point now) override;
    ssize_t writeLine(const uint8_t* bytes, size_t size) override;
    void readRemaining(Clock::time_point now) override;

    void accept(Clock::time_point now);
    // Ends the client's connection; `reset` sends a reset instead of a close.
    void endClient(ConnectionEvent why, const std::string& line, bool reset);

    TcpOptions tcp_;
    int listener_ = -1;
    int client_ = -1;
    std::string peer_; // the client's address, for the transcript
    std::string address_;
    uint16_t port_ = 0;
};

} // namespace sim
