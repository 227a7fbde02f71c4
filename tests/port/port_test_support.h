// Helpers shared by the port tests: temporary folders as path roots, a
// recorder of message boxes, and the virtual printer's parallel port put
// behind the port-I/O layer.
#pragma once

#include "platform/seams.h"
#include "platform/win32.h"
#include "port/linux/portio_backend.h"
#include "port/portio.h"
#include "sim/parallel.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace porttest {

// A temporary folder, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    // Creates the folder `relative` (and its parents) and returns its path.
    std::string mkdirs(const std::string& relative) const;

private:
    std::string path_;
};

// Points one path root at a folder for the life of the guard.
class RootGuard {
public:
    RootGuard(PlatRoot root, const std::string& path) : root_(root) { PlatSetRootPath(root, path); }
    ~RootGuard() { PlatSetRootPath(root_, ""); }
    RootGuard(const RootGuard&) = delete;
    RootGuard& operator=(const RootGuard&) = delete;

private:
    PlatRoot root_;
};

struct MessageBoxCall {
    std::string text;
    std::string caption;
    UINT type;
    bool ownerless;
};

// Records every message box instead of showing it, for the life of the object.
class MessageBoxRecorder {
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;
    std::vector<MessageBoxCall> calls() const;
    std::vector<std::string> texts() const;

private:
    mutable std::mutex mutex_;
    std::vector<MessageBoxCall> calls_;
};

// The virtual printer's parallel port as the port-I/O backend. Every write
// is logged (status reads are not: the busy tests make millions of them).
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

// Installs a backend for the life of the guard.
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

} // namespace porttest
