// Port I/O on Linux: the parallel port's registers reached through ppdev
// (/dev/parport0), through raw ioperm/inb/outb where the process may use them,
// or not at all when the PC has no parallel port; tests put in a model.
#include "port/linux/portio_backend.h"
#include "port/portio.h"
#include "platform/linux/roots.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <memory>
#include <mutex>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define PORTIO_HAVE_RAW 1
#else
#define PORTIO_HAVE_RAW 0
#endif

namespace {

constexpr int CAP_SYS_RAWIO_BIT = 17;

// No parallel port: reads give 0 and fail, writes fail.
struct NoneBackend final : PortIoBackend {
    bool read(WORD, BYTE* value) override
    {
        *value = 0;
        return false;
    }
    bool write(WORD, BYTE) override { return false; }
    const char* name() const override { return "none"; }
};

// ppdev: the kernel's parallel port driver owns the port and lends it to us.
// It reaches data, status and control, and EPP data by read()/write() in
// IEEE 1284 EPP mode; it cannot reach the extended control register. The
// control register's low four bits are the lines; bit 5 (direction) is set
// through PPDATADIR. An EPP cycle that times out fails in the driver, which
// clears the chip's time-out bit itself; the backend keeps it, so the status
// register shows bit 0 until 1 is written to it, as on the chip.
class PpdevBackend final : public PortIoBackend {
public:
    explicit PpdevBackend(int fd) : fd_(fd) {}
    ~PpdevBackend() override
    {
        ioctl(fd_, PPRELEASE);
        close(fd_);
    }

    bool read(WORD port, BYTE* value) override
    {
        std::lock_guard lock(mutex_);
        unsigned char byte = 0;
        bool ok = false;
        switch (port) {
        case LPT_DATA:
            ok = ioctl(fd_, PPRDATA, &byte) == 0;
            break;
        case LPT_STATUS:
            ok = ioctl(fd_, PPRSTATUS, &byte) == 0;
            if (ok && eppTimeout_)
                byte |= kEppTimeoutBit;
            break;
        case LPT_CONTROL:
            ok = ioctl(fd_, PPRCONTROL, &byte) == 0;
            if (ok && reverse_)
                byte |= 0x20;
            break;
        case LPT_EPP_DATA:
            ok = setMode(IEEE1284_MODE_EPP) && ::read(fd_, &byte, 1) == 1;
            if (!ok)
                eppTimeout_ = true;
            break;
        default:
            break;
        }
        *value = ok ? byte : 0;
        return ok;
    }

    bool write(WORD port, BYTE value) override
    {
        std::lock_guard lock(mutex_);
        unsigned char byte = value;
        switch (port) {
        case LPT_DATA:
            return ioctl(fd_, PPWDATA, &byte) == 0;
        case LPT_CONTROL: {
            unsigned char lines = byte & 0x0F;
            if (ioctl(fd_, PPWCONTROL, &lines) != 0)
                return false;
            bool reverse = (byte & 0x20) != 0;
            if (reverse != reverse_) {
                int direction = reverse ? 1 : 0;
                if (ioctl(fd_, PPDATADIR, &direction) != 0)
                    return false;
                reverse_ = reverse;
            }
            return true;
        }
        case LPT_STATUS:
            // Writing 1 to bit 0 clears the time-out; the other bits are inputs.
            if (byte & kEppTimeoutBit)
                eppTimeout_ = false;
            return true;
        case LPT_EPP_DATA:
            if (setMode(IEEE1284_MODE_EPP) && ::write(fd_, &byte, 1) == 1)
                return true;
            eppTimeout_ = true;
            return false;
        default:
            return false;
        }
    }

    const char* name() const override { return "ppdev"; }

private:
    bool setMode(int mode)
    {
        if (mode == mode_)
            return true;
        if (ioctl(fd_, PPSETMODE, &mode) != 0)
            return false;
        mode_ = mode;
        return true;
    }

    static constexpr unsigned char kEppTimeoutBit = 0x01;

    int fd_;
    std::mutex mutex_;
    int mode_ = IEEE1284_MODE_COMPAT;
    bool reverse_ = false;
    bool eppTimeout_ = false;
};

#if PORTIO_HAVE_RAW
// Raw port access: every register, the extended control register too.
// The I/O permission bitmap is per thread and copied to threads created
// later, so it is granted here, at start-up, before any worker starts.
struct RawBackend final : PortIoBackend {
    ~RawBackend() override
    {
        ioperm(LPT_DATA, 8, 0);
        ioperm(LPT_ECR, 1, 0);
    }
    static bool reachable(WORD port)
    {
        return (port >= LPT_DATA && port <= LPT_DATA + 7) || port == LPT_ECR;
    }
    bool read(WORD port, BYTE* value) override
    {
        if (!reachable(port)) {
            *value = 0;
            return false;
        }
        *value = inb(port);
        return true;
    }
    bool write(WORD port, BYTE value) override
    {
        if (!reachable(port))
            return false;
        outb(value, port);
        return true;
    }
    bool raw() const override { return true; }
    const char* name() const override { return "raw"; }
};
#endif

std::atomic<PortIoBackend*> gBackend{nullptr};
std::unique_ptr<PortIoBackend> gOwnedBackend;
PortIoBackend* gTestBackend = nullptr;
bool gFailInit = false;

bool HasRawIoCapability()
{
    std::string path = PlatRootPath(PlatRoot::Proc) + "/self/status";
    FILE* file = std::fopen(path.c_str(), "re");
    if (!file)
        return false;
    char line[256];
    unsigned long long caps = 0;
    bool found = false;
    while (std::fgets(line, sizeof line, file)) {
        if (std::sscanf(line, "CapEff: %llx", &caps) == 1) {
            found = true;
            break;
        }
    }
    std::fclose(file);
    return found && (caps >> CAP_SYS_RAWIO_BIT & 1) != 0;
}

// True when the ioports list shows a parallel port whose range starts at 0x378.
bool IoPortsListParallelPort()
{
    std::string path = PlatRootPath(PlatRoot::Proc) + "/ioports";
    FILE* file = std::fopen(path.c_str(), "re");
    if (!file)
        return false;
    char line[256];
    bool found = false;
    while (!found && std::fgets(line, sizeof line, file)) {
        unsigned start = 0, end = 0;
        char owner[128] = {};
        if (std::sscanf(line, " %x-%x : %127[^\n]", &start, &end, owner) == 3)
            found = start == LPT_DATA && std::strncmp(owner, "parport", 7) == 0;
    }
    std::fclose(file);
    return found;
}

std::unique_ptr<PortIoBackend> OpenRawBackend()
{
#if PORTIO_HAVE_RAW
    if (!HasRawIoCapability() || !IoPortsListParallelPort())
        return nullptr;
    if (ioperm(LPT_DATA, 8, 1) != 0)
        return nullptr;
    if (ioperm(LPT_ECR, 1, 1) != 0) {
        ioperm(LPT_DATA, 8, 0);
        return nullptr;
    }
    return std::make_unique<RawBackend>();
#else
    return nullptr;
#endif
}

std::unique_ptr<PortIoBackend> OpenPpdevBackend()
{
    std::string path = PlatRootPath(PlatRoot::Dev) + "/parport0";
    int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    if (ioctl(fd, PPCLAIM) != 0) {
        close(fd);
        return nullptr;
    }
    return std::make_unique<PpdevBackend>(fd);
}

} // namespace

void PortIoSetBackendForTest(PortIoBackend* backend)
{
    gTestBackend = backend;
}

void PortIoFailInitForTest(bool fail)
{
    gFailInit = fail;
}

const char* PortIoBackendName()
{
    PortIoBackend* backend = gBackend.load();
    return backend ? backend->name() : "";
}

BOOL InitializeWinIo()
{
    ShutdownWinIo();
    if (gFailInit)
        return FALSE;
    if (gTestBackend) {
        gBackend.store(gTestBackend);
        return TRUE;
    }
    gOwnedBackend = OpenRawBackend();
    if (!gOwnedBackend)
        gOwnedBackend = OpenPpdevBackend();
    if (!gOwnedBackend)
        gOwnedBackend = std::make_unique<NoneBackend>();
    gBackend.store(gOwnedBackend.get());
    return TRUE;
}

void ShutdownWinIo()
{
    gBackend.store(nullptr);
    gOwnedBackend.reset();
}

BOOL GetPortVal(WORD port, DWORD* value, BYTE size)
{
    if (!value)
        return FALSE;
    *value = 0;
    PortIoBackend* backend = gBackend.load();
    if (!backend || size != 1)
        return FALSE;
    BYTE byte = 0;
    bool ok = backend->read(port, &byte);
    *value = byte;
    return ok ? TRUE : FALSE;
}

BOOL SetPortVal(WORD port, DWORD value, BYTE size)
{
    PortIoBackend* backend = gBackend.load();
    if (!backend || size != 1)
        return FALSE;
    return backend->write(port, static_cast<BYTE>(value & 0xFF)) ? TRUE : FALSE;
}

bool PortIoHasParallelPort()
{
    PortIoBackend* backend = gBackend.load();
    return backend && std::strcmp(backend->name(), "none") != 0;
}

bool PortIoHasRawAccess()
{
    PortIoBackend* backend = gBackend.load();
    return backend && backend->raw();
}

// The probe's helper library is the raw backend itself: it "loads" only
// where raw access is in place.
bool LptProbeLoad()
{
    return PortIoHasRawAccess();
}

bool LptProbeResolve()
{
    return true;
}

BYTE LptProbeIn(WORD port)
{
    DWORD value = 0;
    GetPortVal(port, &value, 1);
    return static_cast<BYTE>(value);
}

void LptProbeOut(WORD port, BYTE value)
{
    SetPortVal(port, value, 1);
}

void LptProbeUnload() {}
