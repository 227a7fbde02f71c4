// What every live transport of the virtual printer shares: a thread that
// waits on the transport's descriptors, feeds what it reads to a sim::Printer
// and writes the printer's answers back when they are due. The transports
// (a pseudo-terminal, a TCP listener) say only which descriptors to wait on,
// what a round does with them, and how an answer is written.
#pragma once

#include "sim/printer.h"

#include <poll.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sim {

// One chunk as the transport read it, with the line settings seen then.
struct Chunk {
    size_t size = 0;
    LineInfo line;
};

class LinePrinter {
public:
    virtual ~LinePrinter();
    LinePrinter(const LinePrinter&) = delete;
    LinePrinter& operator=(const LinePrinter&) = delete;

    const std::string& error() const { return error_; }

    Printer& printer() { return printer_; }
    const Printer& printer() const { return printer_; }

    // Stops reading, so the sender's writes stall once the line's buffers
    // are full; resume with holdLine(false).
    void holdLine(bool hold);
    // The first kMaxChunks chunks read.
    static constexpr size_t kMaxChunks = 16384;
    std::vector<Chunk> chunks() const;
    std::vector<uint8_t> received() const { return printer_.received(); }
    // Whether a sender holds the line now, and whether one ever did, however briefly.
    bool connected() const { return connected_.load(); }
    bool everConnected() const { return everConnected_.load(); }

    // Writes bytes to the sender at once (besides the printer's answers).
    bool sendToHost(const std::vector<uint8_t>& bytes);

    bool waitForBytes(uint64_t count, std::chrono::milliseconds timeout) const
    {
        return printer_.waitForBytes(count, timeout);
    }
    bool waitForLine(const std::string& needle, std::chrono::milliseconds timeout) const
    {
        return printer_.waitForLine(needle, timeout);
    }
    bool waitFor(const std::function<bool(const PrinterState&)>& predicate, std::chrono::milliseconds timeout) const
    {
        return printer_.waitFor(predicate, timeout);
    }
    // Waits until a sender holds the line (or has let it go, `open` false).
    bool waitForConnected(bool open, std::chrono::milliseconds timeout) const;

    // Ends an open download and logs an incomplete command; keeps running.
    void flush() { printer_.flush(); }
    // Stops the thread, reads what the sender wrote last, flushes the
    // printer. Idempotent; every transport's destructor calls it first.
    void stop();

protected:
    LinePrinter(PrinterOptions options, Transport transport);
    void setError(std::string why) { error_ = std::move(why); }
    // The wake pipe; false (with error()) when it cannot be made.
    bool openWakePipe();
    void start();

    // --- the transport's part, called on the thread ---
    // The descriptors to wait on this round, beside the wake pipe.
    virtual void addWaits(std::vector<pollfd>& fds) = 0;
    // After the wait (`fds` as addWaits left them, with their events):
    // reads with readFrom, notes a sender come or gone with setConnected.
    virtual void serve(const std::vector<pollfd>& fds, Clock::time_point now) = 0;
    // Writes answer bytes to the sender: what write(2) returns.
    virtual ssize_t writeLine(const uint8_t* bytes, size_t size) = 0;
    // What the sender wrote and the thread has not read, read after it stops.
    virtual void readRemaining(Clock::time_point now) = 0;
    virtual LineInfo lineInfo() const { return {}; }

    // Reads what `fd` holds now, `limit` bytes at most, and feeds it to the
    // printer. False at the end of the line (end of file, or an error other
    // than "try later").
    bool readFrom(int fd, Clock::time_point now, size_t limit = SIZE_MAX);
    void setConnected(bool connected);
    // Answers not yet written are forgotten (their sender has gone).
    void dropAnswers();
    // Takes the printer's new answers and writes those that are due.
    void deliverDue(Clock::time_point now);
    bool held() const { return hold_.load(); }
    // When a byte last went either way on the line.
    Clock::time_point lastTraffic() const { return lastTraffic_; }
    void noteTraffic(Clock::time_point now) { lastTraffic_ = now; }

private:
    void run();
    void collectAnswers(Clock::time_point now);
    void writeDue(Clock::time_point now);
    Clock::time_point nextDue() const;
    void wake(char why);

    Printer printer_;
    int wake_[2] = {-1, -1};
    std::string error_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> hold_{false};
    std::atomic<bool> connected_{false};
    std::atomic<bool> everConnected_{false};
    Clock::time_point lastTraffic_{}; // the thread's own
    mutable std::mutex mutex_;
    mutable std::condition_variable connected_cv_;
    std::vector<Chunk> chunks_;
    struct Pending {
        Clock::time_point due;
        std::vector<uint8_t> bytes;
    };
    std::deque<Pending> outgoing_; // answers waiting for their time
};

} // namespace sim
