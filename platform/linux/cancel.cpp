// Ending reads and writes in progress from another thread (CancelIoEx,
// PurgeComm), and discarding what a serial line holds queued (PurgeComm).
#include "platform/linux/kernel.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using plat::Fail;

namespace plat {

namespace {

thread_local const IoCall* tIoCall = nullptr;

} // namespace

IoCall::IoCall(FileObject& f, bool write)
    : f_(f), write_(write), aborts_((write ? f.writeAborts : f.readAborts).load()), outer_(tIoCall)
{
    std::lock_guard<std::mutex> g(f_.lock);
    ++(write_ ? f_.writers : f_.readers);
    tIoCall = this;
}

IoCall::~IoCall()
{
    tIoCall = outer_;
    std::lock_guard<std::mutex> g(f_.lock);
    --(write_ ? f_.writers : f_.readers);
    // The last call out takes back the wake-up an abort left, so the next
    // call's waits sleep again; a closed handle keeps its wake-up for good.
    if (f_.readers + f_.writers == 0 && f_.wakePending && !f_.Cancelled()) {
        uint64_t value;
        ssize_t r = read(f_.wakeFd, &value, sizeof value);
        (void)r;
        f_.wakePending = false;
    }
}

bool IoCall::Aborted() const
{
    return (write_ ? f_.writeAborts : f_.readAborts).load() != aborts_;
}

const IoCall* CurrentIoCall()
{
    return tIoCall;
}

bool AbortIo(FileObject& f, bool reads, bool writes)
{
    std::lock_guard<std::mutex> g(f.lock);
    bool any = false;
    if (reads && f.readers > 0) {
        ++f.readAborts;
        any = true;
    }
    if (writes && f.writers > 0) {
        ++f.writeAborts;
        any = true;
    }
    if (any && f.wakeFd >= 0) {
        uint64_t one = 1;
        ssize_t r = write(f.wakeFd, &one, sizeof one);
        (void)r;
        f.wakePending = true;
    }
    return any;
}

} // namespace plat

// Every read and write in progress on the handle, from any thread, returns
// FALSE with ERROR_OPERATION_ABORTED (and what it moved so far). FALSE with
// ERROR_NOT_FOUND when none was in progress; later calls are not affected.
BOOL CancelIoEx(HANDLE file, LPOVERLAPPED overlapped)
{
    auto f = plat::LookupFile(file);
    if (!f)
        return FALSE;
    if (overlapped != nullptr)
        return Fail(ERROR_INVALID_PARAMETER); // there is no overlapped I/O here
    if (!plat::AbortIo(*f, true, true))
        return Fail(ERROR_NOT_FOUND);
    return TRUE;
}

// Serial lines only. The abort flags end the writes or reads in progress as
// CancelIoEx does; the clear flags discard the output the line still holds
// queued (it never reaches the far end) and the input not yet read.
BOOL PurgeComm(HANDLE file, DWORD flags)
{
    auto f = plat::LookupFile(file);
    if (!f)
        return FALSE;
    if (f->fileKind != plat::FileKind::Serial)
        return Fail(ERROR_INVALID_HANDLE);
    if (flags & ~DWORD{PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR})
        return Fail(ERROR_INVALID_PARAMETER);
    plat::AbortIo(*f, (flags & PURGE_RXABORT) != 0, (flags & PURGE_TXABORT) != 0);
    const bool tx = (flags & PURGE_TXCLEAR) != 0;
    const bool rx = (flags & PURGE_RXCLEAR) != 0;
    if ((tx || rx) && f->isTty && tcflush(f->fd, tx && rx ? TCIOFLUSH : tx ? TCOFLUSH : TCIFLUSH) != 0)
        return plat::FailErrno();
    return TRUE;
}

// Serial lines only: how much the line still holds to send and to read.
BOOL ClearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT stat)
{
    auto f = plat::LookupFile(file);
    if (!f)
        return FALSE;
    if (f->fileKind != plat::FileKind::Serial)
        return Fail(ERROR_INVALID_HANDLE);
    if (errors != nullptr)
        *errors = 0;
    if (stat == nullptr)
        return TRUE;
    *stat = COMSTAT{};
    int out = 0;
    int in = 0;
    if (f->isTty && (ioctl(f->fd, TIOCOUTQ, &out) != 0 || ioctl(f->fd, TIOCINQ, &in) != 0))
        return plat::FailErrno();
    stat->cbOutQue = static_cast<DWORD>(out);
    stat->cbInQue = static_cast<DWORD>(in);
    return TRUE;
}
