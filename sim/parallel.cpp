// The virtual printer's parallel port registers and handshake.
#include "sim/parallel.h"

#include "sim/printer.h"

namespace sim {

ParallelPort::ParallelPort() = default;
ParallelPort::~ParallelPort() = default;

namespace {

// Counts an atomic down by one unless it is 0; returns the value before.
uint64_t countDown(std::atomic<uint64_t>& a)
{
    uint64_t v = a.load(std::memory_order_relaxed);
    while (v > 0 && !a.compare_exchange_weak(v, v - 1, std::memory_order_relaxed)) {
    }
    return v;
}

} // namespace

void ParallelPort::setLine(uint32_t bit, bool on)
{
    if (on)
        lines_.fetch_or(bit);
    else
        lines_.fetch_and(~bit);
}

uint8_t ParallelPort::statusFrom(uint32_t lines, uint64_t busyPolls, uint64_t ackPolls) const
{
    uint8_t s = kStatusSelect;
    if (!(lines & kError))
        s |= kStatusNoError;
    if (ackPolls == 0)
        s |= kStatusAckIdle;
    const bool eppHold = (lines & kBusyWhileEppEmpty) && (lines & kEppEmpty);
    if (!(lines & kBusyForever) && busyPolls == 0 && !eppHold)
        s |= kStatusNotBusy;
    if (lines & kEppTimeout)
        s |= kStatusEppTimeout;
    return s;
}

uint8_t ParallelPort::scriptedStatus(uint32_t lines)
{
    std::lock_guard lock(mutex_);
    uint8_t s = status_script_.empty() ? 0 : status_script_.front();
    if (status_script_.size() > 1)
        status_script_.pop_front();
    if ((lines & kBusyWhileEppEmpty) && epp_.empty())
        s &= static_cast<uint8_t>(~kStatusNotBusy);
    if (lines & kEppTimeout)
        s |= kStatusEppTimeout;
    return s;
}

bool ParallelPort::readPort(uint16_t address, uint8_t* value)
{
    const uint32_t lines = lines_.load(std::memory_order_acquire);
    if (lines & kOffline) {
        if (value)
            *value = 0;
        return false;
    }
    if (address == kStatus) {
        // Each read is one poll: it counts down the busy and acknowledge times.
        const uint64_t busy = countDown(busy_polls_);
        const uint64_t ack = countDown(ack_polls_);
        status_polls_.fetch_add(1, std::memory_order_relaxed);
        const uint8_t status = (lines & kScripted) ? scriptedStatus(lines) : statusFrom(lines, busy, ack);
        if (value)
            *value = status;
        return true;
    }
    std::lock_guard lock(mutex_);
    uint8_t v = 0;
    switch (address) {
    case kData:
        v = data_;
        break;
    case kControl:
        v = control_;
        break;
    case kEppData:
        ++epp_reads_;
        if (epp_.empty()) {
            v = 0xFF;
            setLine(kEppTimeout, true);
        } else {
            v = epp_.front();
            epp_.pop_front();
            setLine(kEppEmpty, epp_.empty());
        }
        break;
    case kEcr:
        v = ecr_;
        break;
    default:
        if (value)
            *value = 0;
        return false;
    }
    if (value)
        *value = v;
    return true;
}

bool ParallelPort::writePort(uint16_t address, uint8_t value)
{
    std::lock_guard lock(mutex_);
    if (lines_ & kOffline)
        return false;
    switch (address) {
    case kData:
        if (refuse_data_)
            return false;
        data_ = value;
        return true;
    case kStatus:
        // Writing 1 to bit 0 clears the EPP time-out on the usual chips.
        if (value & kStatusEppTimeout)
            setLine(kEppTimeout, false);
        return true;
    case kControl: {
        const bool rising = !(control_ & kControlStrobe) && (value & kControlStrobe);
        control_ = value;
        if (rising) {
            ++strobes_;
            delivered_.push_back(data_);
            if (ack_after_strobe_ > 0)
                ack_polls_ = ack_after_strobe_;
            if (busy_after_strobe_ > busy_polls_.load())
                busy_polls_ = busy_after_strobe_;
            if (sink_)
                sink_(data_);
            delivered_cv_.notify_all();
        }
        return true;
    }
    case kEppData:
        // An EPP data write cycle: the printer's side only keeps the byte.
        epp_written_.push_back(value);
        return true;
    case kEcr:
        ecr_ = value;
        return true;
    default:
        return false;
    }
}

void ParallelPort::setSink(Sink sink)
{
    std::lock_guard lock(mutex_);
    sink_ = std::move(sink);
}

void ParallelPort::attach(Printer& printer)
{
    setSink([&printer](uint8_t b) { printer.feed(std::span<const uint8_t>(&b, 1)); });
}

void ParallelPort::setError(bool on)
{
    std::lock_guard lock(mutex_);
    setLine(kError, on);
}

void ParallelPort::setBusyPolls(uint64_t polls)
{
    std::lock_guard lock(mutex_);
    busy_polls_ = polls;
    if (polls == 0)
        setLine(kBusyForever, false);
}

void ParallelPort::setBusy(bool on)
{
    std::lock_guard lock(mutex_);
    setLine(kBusyForever, on);
    if (!on)
        busy_polls_ = 0;
}

void ParallelPort::setStrobeTiming(uint32_t ackPolls, uint32_t busyPolls)
{
    std::lock_guard lock(mutex_);
    ack_after_strobe_ = ackPolls;
    busy_after_strobe_ = busyPolls;
}

void ParallelPort::setRefuseData(bool on)
{
    std::lock_guard lock(mutex_);
    refuse_data_ = on;
}

void ParallelPort::setOffline(bool on)
{
    std::lock_guard lock(mutex_);
    setLine(kOffline, on);
}

void ParallelPort::pushEpp(std::span<const uint8_t> bytes)
{
    std::lock_guard lock(mutex_);
    epp_.insert(epp_.end(), bytes.begin(), bytes.end());
    setLine(kEppEmpty, epp_.empty());
}

void ParallelPort::setEppTimeout(bool on)
{
    std::lock_guard lock(mutex_);
    setLine(kEppTimeout, on);
}

void ParallelPort::setBusyWhileEppEmpty(bool on)
{
    std::lock_guard lock(mutex_);
    setLine(kBusyWhileEppEmpty, on);
}

void ParallelPort::setStatusScript(std::vector<uint8_t> values)
{
    std::lock_guard lock(mutex_);
    status_script_.assign(values.begin(), values.end());
    setLine(kScripted, !status_script_.empty());
}

std::vector<uint8_t> ParallelPort::eppWritten() const
{
    std::lock_guard lock(mutex_);
    return epp_written_;
}

void ParallelPort::setEcr(uint8_t value)
{
    std::lock_guard lock(mutex_);
    ecr_ = value;
}

uint64_t ParallelPort::statusPolls() const { return status_polls_; }

uint64_t ParallelPort::strobes() const
{
    std::lock_guard lock(mutex_);
    return strobes_;
}

uint64_t ParallelPort::eppReads() const
{
    std::lock_guard lock(mutex_);
    return epp_reads_;
}

std::vector<uint8_t> ParallelPort::delivered() const
{
    std::lock_guard lock(mutex_);
    return delivered_;
}

size_t ParallelPort::deliveredCount() const
{
    std::lock_guard lock(mutex_);
    return delivered_.size();
}

void ParallelPort::clearDelivered()
{
    std::lock_guard lock(mutex_);
    delivered_.clear();
}

uint8_t ParallelPort::dataLatch() const
{
    std::lock_guard lock(mutex_);
    return data_;
}

uint8_t ParallelPort::control() const
{
    std::lock_guard lock(mutex_);
    return control_;
}

uint8_t ParallelPort::ecr() const
{
    std::lock_guard lock(mutex_);
    return ecr_;
}

size_t ParallelPort::eppPending() const
{
    std::lock_guard lock(mutex_);
    return epp_.size();
}

uint8_t ParallelPort::peekStatus() const { return statusFrom(lines_, busy_polls_, ack_polls_); }

bool ParallelPort::waitForBytes(size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return delivered_cv_.wait_for(lock, timeout, [&] { return delivered_.size() >= count; });
}

} // namespace sim
