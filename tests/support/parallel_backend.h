// The virtual printer's parallel port as the port-I/O backend, and a guard
// that installs a backend for the life of a test.
#pragma once

#include "platform/win32.h"
#include "port/linux/portio_backend.h"
#include "port/portio.h"
#include "sim/parallel.h"

#include <mutex>
#include <utility>
#include <vector>

namespace testsupport {

// Every write is logged (status reads are not: the busy tests make millions).
class SimParallelBackend final : public PortIoBackend {
public:
    explicit SimParallelBackend(sim::ParallelPort& port, bool rawAccess = false) : port_(port), raw_(rawAccess) {}
    bool read(WORD port, BYTE* value) override { return port_.readPort(port, value); }
    bool write(WORD port, BYTE value) override
    {
        {
            std::lock_guard lock(mutex_);
            writes_.emplace_back(port, value);
        }
        return port_.writePort(port, value);
    }
    bool raw() const override { return raw_; }
    const char* name() const override { return "sim"; }
    std::vector<std::pair<WORD, BYTE>> writes() const
    {
        std::lock_guard lock(mutex_);
        return writes_;
    }

private:
    sim::ParallelPort& port_;
    bool raw_;
    mutable std::mutex mutex_;
    std::vector<std::pair<WORD, BYTE>> writes_;
};

// Installs a backend and prepares port I/O on it for the life of the guard.
class BackendGuard {
public:
    explicit BackendGuard(PortIoBackend* backend)
    {
        PortIoSetBackendForTest(backend);
        ok_ = InitializeWinIo() != FALSE;
    }
    ~BackendGuard()
    {
        ShutdownWinIo();
        PortIoSetBackendForTest(nullptr);
    }
    BackendGuard(const BackendGuard&) = delete;
    BackendGuard& operator=(const BackendGuard&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_;
};

} // namespace testsupport
