// The virtual printer's parallel port: a model of the PC parallel port's
// registers at base 0x378 and of the printer's side of the handshake, for the
// simulated backend of direct port I/O. Bytes strobed into the data latch are
// delivered, once per strobe pulse, to a sink (usually a sim::Printer).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

namespace sim {

class Printer;

class ParallelPort {
public:
    static constexpr uint16_t kData = 0x378;
    static constexpr uint16_t kStatus = 0x379;
    static constexpr uint16_t kControl = 0x37A;
    static constexpr uint16_t kEppData = 0x37C;
    static constexpr uint16_t kEcr = 0x77A;

    // Status register bits.
    static constexpr uint8_t kStatusEppTimeout = 0x01;
    static constexpr uint8_t kStatusNoError = 0x08;
    static constexpr uint8_t kStatusSelect = 0x10;
    static constexpr uint8_t kStatusAckIdle = 0x40;
    static constexpr uint8_t kStatusNotBusy = 0x80;
    // Control register bits.
    static constexpr uint8_t kControlStrobe = 0x01;

    // Receives every delivered byte, in order, on the thread that strobed it.
    // It runs under the port's lock: it must not call back into the port.
    using Sink = std::function<void(uint8_t)>;

    ParallelPort();
    ~ParallelPort();
    ParallelPort(const ParallelPort&) = delete;
    ParallelPort& operator=(const ParallelPort&) = delete;

    // Register access. False for an address the port does not decode, and
    // for refused accesses (see setRefuseData, setOffline).
    bool readPort(uint16_t address, uint8_t* value);
    bool writePort(uint16_t address, uint8_t value);

    // --- configuration ---
    void setSink(Sink sink);
    // Delivers to printer.feed(); the printer must outlive the port or be
    // detached with setSink({}).
    void attach(Printer& printer);
    // Error line: status bit 3 reads 0 while it is on.
    void setError(bool on);
    // The next `polls` status reads show busy (bit 7 = 0); ready after that.
    void setBusyPolls(uint64_t polls);
    // Busy until setBusyPolls(0) or setBusy(false).
    void setBusy(bool on);
    // After each strobe: the acknowledge line is active (bit 6 = 0) for the
    // next `ackPolls` status reads, and the printer shows busy for the next
    // `busyPolls` reads. Both 0 by default (an infinitely fast printer).
    void setStrobeTiming(uint32_t ackPolls, uint32_t busyPolls);
    // Writes to the data register fail (return false, latch unchanged).
    void setRefuseData(bool on);
    // No port at all: every access fails, reads give 0.
    void setOffline(bool on);
    // The EPP data queue that reads of 0x37C pop. Reading an empty queue gives
    // 0xFF and sets the EPP time-out bit, as a peripheral that does not answer.
    void pushEpp(std::span<const uint8_t> bytes);
    void setEppTimeout(bool on);
    // While on, the status shows busy whenever the EPP queue is empty, so a
    // reader that waits for bit 7 reads only bytes that were pushed.
    void setBusyWhileEppEmpty(bool on);
    void setEcr(uint8_t value);
    // Status reads show these values, one per read, then the last one for
    // good, in place of what the lines above make; the EPP time-out bit and,
    // with setBusyWhileEppEmpty, the busy bit still follow the port. An empty
    // list goes back to the lines.
    void setStatusScript(std::vector<uint8_t> values);

    // --- observation ---
    uint64_t statusPolls() const;
    uint64_t strobes() const;
    uint64_t eppReads() const;
    std::vector<uint8_t> delivered() const;
    size_t deliveredCount() const;
    void clearDelivered();
    uint8_t dataLatch() const;
    uint8_t control() const;
    uint8_t ecr() const;
    size_t eppPending() const;
    // Bytes written to the EPP data register, in order.
    std::vector<uint8_t> eppWritten() const;
    // The status byte the next read would show, without counting a poll.
    uint8_t peekStatus() const;
    // Waits until at least `count` bytes were delivered; false on time-out.
    bool waitForBytes(size_t count, std::chrono::milliseconds timeout) const;

private:
    uint8_t statusFrom(uint32_t lines, uint64_t busyPolls, uint64_t ackPolls) const;

    // The status register is read millions of times while a test holds the
    // printer busy, so everything it shows is atomic and its read takes no
    // lock. The rest is guarded by mutex_.
    mutable std::mutex mutex_;
    mutable std::condition_variable delivered_cv_;
    Sink sink_;
    std::vector<uint8_t> delivered_;
    std::deque<uint8_t> epp_;
    std::vector<uint8_t> epp_written_;
    std::deque<uint8_t> status_script_;
    uint8_t data_ = 0;
    uint8_t control_ = 0x0C; // INIT inactive, SELECT IN active: the power-on value
    uint8_t ecr_ = 0x15;
    bool refuse_data_ = false;
    uint32_t ack_after_strobe_ = 0;
    uint32_t busy_after_strobe_ = 0;
    uint64_t strobes_ = 0;
    uint64_t epp_reads_ = 0;

    // The lines the status shows, one bit each, so a poll loads them once.
    enum Line : uint32_t {
        kOffline = 1,
        kError = 2,
        kBusyForever = 4,
        kEppTimeout = 8,
        kBusyWhileEppEmpty = 16,
        kEppEmpty = 32,
        kScripted = 64,
    };
    uint8_t scriptedStatus(uint32_t lines);
    void setLine(uint32_t bit, bool on);
    std::atomic<uint32_t> lines_{kEppEmpty};
    std::atomic<uint64_t> busy_polls_{0};
    std::atomic<uint64_t> ack_polls_{0};
    std::atomic<uint64_t> status_polls_{0};
};

} // namespace sim
