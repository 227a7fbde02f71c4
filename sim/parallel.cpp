// The virtual printer's parallel port registers and handshake.
#include "sim/parallel.h"

#include "sim/printer.h"

namespace sim {

ParallelPort::ParallelPort() = default;
ParallelPort::~ParallelPort() = default;

uint8_t ParallelPort::statusLocked() const
{
    uint8_t s = kStatusSelect;
    if (!error_)
        s |= kStatusNoError;
    if (ack_polls_ == 0)
        s |= kStatusAckIdle;
    const bool eppHold = busy_while_epp_empty_ && epp_.empty();
    if (!busy_forever_ && busy_polls_ == 0 && !eppHold)
        s |= kStatusNotBusy;
    if (epp_timeout_)
        s |= kStatusEppTimeout;
    return s;
}

bool ParallelPort::readPort(uint16_t address, uint8_t* value)
{
    std::lock_guard lock(mutex_);
    if (offline_) {
        if (value)
            *value = 0;
        return false;
    }
    uint8_t v = 0;
    switch (address) {
    case kData:
        v = data_;
        break;
    case kStatus:
        v = statusLocked();
        ++status_polls_;
        // Each read is one poll: count down the busy and acknowledge times.
        if (busy_polls_ > 0)
            --busy_polls_;
        if (ack_polls_ > 0)
            --ack_polls_;
        break;
    case kControl:
        v = control_;
        break;
    case kEppData:
        ++epp_reads_;
        if (epp_.empty()) {
            v = 0xFF;
            epp_timeout_ = true;
        } else {
            v = epp_.front();
            epp_.pop_front();
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
    if (offline_)
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
            epp_timeout_ = false;
        return true;
    case kControl: {
        const bool rising = !(control_ & kControlStrobe) && (value & kControlStrobe);
        control_ = value;
        if (rising) {
            ++strobes_;
            delivered_.push_back(data_);
            if (ack_after_strobe_ > 0)
                ack_polls_ = ack_after_strobe_;
            if (busy_after_strobe_ > busy_polls_)
                busy_polls_ = busy_after_strobe_;
            if (sink_)
                sink_(data_);
            delivered_cv_.notify_all();
        }
        return true;
    }
    case kEppData:
        // An EPP data write cycle: nothing listens on the printer's side.
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
    error_ = on;
}

void ParallelPort::setBusyPolls(uint64_t polls)
{
    std::lock_guard lock(mutex_);
    busy_polls_ = polls;
    if (polls == 0)
        busy_forever_ = false;
}

void ParallelPort::setBusy(bool on)
{
    std::lock_guard lock(mutex_);
    busy_forever_ = on;
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
    offline_ = on;
}

void ParallelPort::pushEpp(std::span<const uint8_t> bytes)
{
    std::lock_guard lock(mutex_);
    epp_.insert(epp_.end(), bytes.begin(), bytes.end());
}

void ParallelPort::setEppTimeout(bool on)
{
    std::lock_guard lock(mutex_);
    epp_timeout_ = on;
}

void ParallelPort::setBusyWhileEppEmpty(bool on)
{
    std::lock_guard lock(mutex_);
    busy_while_epp_empty_ = on;
}

void ParallelPort::setEcr(uint8_t value)
{
    std::lock_guard lock(mutex_);
    ecr_ = value;
}

uint64_t ParallelPort::statusPolls() const
{
    std::lock_guard lock(mutex_);
    return status_polls_;
}

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

uint8_t ParallelPort::peekStatus() const
{
    std::lock_guard lock(mutex_);
    return statusLocked();
}

bool ParallelPort::waitForBytes(size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return delivered_cv_.wait_for(lock, timeout, [&] { return delivered_.size() >= count; });
}

} // namespace sim
