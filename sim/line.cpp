// The live transports' shared thread: wait, read, feed, answer.
#include "sim/line.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sim {

LinePrinter::LinePrinter(PrinterOptions options, Transport transport)
    : printer_([&] {
          options.transport = transport;
          return options;
      }())
{
}

// The transports stop the thread in their own destructors, while their
// part of it still exists; this only makes sure.
LinePrinter::~LinePrinter()
{
    if (thread_.joinable()) {
        stop_ = true;
        wake('s');
        thread_.join();
    }
    for (int fd : wake_)
        if (fd >= 0)
            ::close(fd);
}

bool LinePrinter::openWakePipe()
{
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) == 0)
        return true;
    error_ = std::string("cannot make a pipe: ") + std::strerror(errno);
    return false;
}

void LinePrinter::start() { thread_ = std::thread([this] { run(); }); }

void LinePrinter::wake(char why)
{
    if (wake_[1] >= 0) {
        [[maybe_unused]] ssize_t n = ::write(wake_[1], &why, 1);
    }
}

void LinePrinter::stop()
{
    if (!thread_.joinable())
        return;
    stop_ = true;
    wake('s');
    thread_.join();
    // What the sender wrote just before the end still counts.
    if (!hold_)
        readRemaining(Clock::now());
    printer_.flush();
}

void LinePrinter::holdLine(bool hold)
{
    hold_ = hold;
    wake('h');
}

std::vector<Chunk> LinePrinter::chunks() const
{
    std::lock_guard lock(mutex_);
    return chunks_;
}

bool LinePrinter::sendToHost(const std::vector<uint8_t>& bytes)
{
    if (!thread_.joinable())
        return false;
    {
        std::lock_guard lock(mutex_);
        outgoing_.push_back({Clock::now(), bytes});
    }
    wake('w');
    return true;
}

bool LinePrinter::waitForConnected(bool open, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return connected_cv_.wait_for(lock, timeout, [&] { return connected_.load() == open; });
}

void LinePrinter::setConnected(bool connected)
{
    if (connected)
        everConnected_ = true;
    if (connected == connected_.load())
        return;
    {
        std::lock_guard lock(mutex_);
        connected_ = connected;
    }
    connected_cv_.notify_all();
    if (!connected)
        printer_.lineClosed();
}

void LinePrinter::dropAnswers()
{
    printer_.takeAnswers();
    std::lock_guard lock(mutex_);
    outgoing_.clear();
}

Clock::time_point LinePrinter::nextDue() const
{
    std::lock_guard lock(mutex_);
    Clock::time_point due = Clock::time_point::max();
    for (const Pending& p : outgoing_)
        due = std::min(due, p.due);
    return due;
}

bool LinePrinter::readFrom(int fd, Clock::time_point now, size_t limit)
{
    uint8_t buf[4096];
    while (limit > 0) {
        const ssize_t n = ::read(fd, buf, std::min(sizeof buf, limit));
        if (n == 0)
            return false;
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        // A sender that wrote and left at once, before the line was looked
        // at, was there all the same.
        everConnected_ = true;
        lastTraffic_ = now;
        // The line settings at the time of arrival: the sender may switch
        // speed right after its write, so look now, before anything else.
        const LineInfo line = lineInfo();
        {
            std::lock_guard lock(mutex_);
            if (chunks_.size() < kMaxChunks)
                chunks_.push_back({size_t(n), line});
        }
        printer_.feed(std::span<const uint8_t>(buf, size_t(n)), now, line);
        limit -= size_t(n);
        if (hold_)
            return true;
    }
    return true;
}

void LinePrinter::collectAnswers(Clock::time_point now)
{
    for (Answer& a : printer_.takeAnswers()) {
        std::lock_guard lock(mutex_);
        outgoing_.push_back({now + std::chrono::milliseconds(a.delayMs), std::move(a.bytes)});
    }
}

void LinePrinter::writeDue(Clock::time_point now)
{
    std::lock_guard lock(mutex_);
    for (auto it = outgoing_.begin(); it != outgoing_.end();) {
        if (it->due > now) {
            ++it;
            continue;
        }
        const ssize_t n = writeLine(it->bytes.data(), it->bytes.size());
        if (n < 0)
            return; // the line is full; try again on the next round
        lastTraffic_ = now;
        if (size_t(n) < it->bytes.size()) {
            it->bytes.erase(it->bytes.begin(), it->bytes.begin() + n);
            return;
        }
        it = outgoing_.erase(it);
    }
}

void LinePrinter::deliverDue(Clock::time_point now)
{
    collectAnswers(now);
    writeDue(now);
}

void LinePrinter::run()
{
    std::vector<pollfd> fds;
    while (!stop_) {
        const Clock::time_point now = Clock::now();
        collectAnswers(now);
        // Wake for the next due answer, and at least every 20 ms to end a
        // download whose line has gone quiet.
        auto wait = std::chrono::milliseconds(20);
        const Clock::time_point due = nextDue();
        if (due != Clock::time_point::max())
            wait = std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(due - now) +
                                  std::chrono::milliseconds(1),
                              std::chrono::milliseconds(0), wait);

        fds.assign(1, pollfd{wake_[0], POLLIN, 0});
        addWaits(fds);
        if (poll(fds.data(), fds.size(), int(wait.count())) < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(wake_[0], drain, sizeof drain) > 0) {
            }
        }
        fds.erase(fds.begin());
        serve(fds, Clock::now());
        if (connected_)
            writeDue(Clock::now());
        printer_.tick(Clock::now());
    }
}

} // namespace sim
