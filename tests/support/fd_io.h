// Reading a descriptor within a time limit, and a loopback TCP client: the
// sender's side of the virtual printer's lines in tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct ReadResult {
    std::vector<uint8_t> bytes;
    // Why the reading ended early: 0 (the time ran out, or `n` came), -1
    // the end of file, else the error's errno (ECONNRESET for a reset).
    int end = 0;
};

// Reads up to n bytes within the time given.
ReadResult ReadFor(int fd, size_t n, std::chrono::milliseconds timeout);

// A blocking TCP connection to `address` (numeric, IPv4 or IPv6) and `port`;
// -1 when it fails.
int ConnectTcp(const std::string& address, uint16_t port);

} // namespace testsupport
