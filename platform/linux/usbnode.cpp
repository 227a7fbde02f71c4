// USB printer nodes (<Dev>/usb/lpN of the usblp driver): one opener at a
// time, and reads and writes with fixed bounds so a printer that does not
// answer never holds a thread. A write ends after 3 s without progress and
// reports what moved (TRUE, maybe 0 bytes); a read that got nothing in 5 s
// fails with ERROR_TIMEOUT.
#include "platform/linux/kernel.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

using plat::Fail;

namespace plat {

namespace {

constexpr uint64_t kWriteStallMs = 3000; // without any progress
constexpr uint64_t kFirstByteMs = 5000;
constexpr uint64_t kQuietMs = 200; // the answer is complete after this silence

// 1 ready, 0 time-out, -1 failure or closed handle (last error set).
int WaitNode(FileObject& f, short events, Clock::time_point deadline, bool* hungUp = nullptr)
{
    const int revents = WaitHandleReady(f, events, deadline);
    if (revents <= 0)
        return revents;
    if (hungUp != nullptr)
        *hungUp = (revents & POLLHUP) != 0;
    if (revents & events)
        return 1;
    // Hung up or in error: the printer went away.
    SetLastError(events == POLLIN ? ERROR_READ_FAULT : ERROR_WRITE_FAULT);
    return -1;
}

} // namespace

HANDLE OpenUsbNode(const std::string& path)
{
    // usblp lets one program in at a time; the lock gives the same answer
    // whatever share mode was asked, and for stand-ins that are not usblp.
    int fd = OpenDeviceExclusive(path, ERROR_SHARING_VIOLATION);
    if (fd < 0)
        return INVALID_HANDLE_VALUE;
    auto f = std::make_shared<FileObject>(FileKind::UsbNode, fd);
    if (f->isTty)
        MakeRaw(fd); // a pseudo-terminal standing in for the printer
    SetLastError(ERROR_SUCCESS);
    return AddHandle(std::move(f));
}

BOOL UsbWrite(FileObject& f, const void* buffer, DWORD toWrite, DWORD* written)
{
    // As a serial write that reaches its time-out: TRUE with what the printer
    // took in time, possibly nothing. Whether to go on is the caller's rule.
    return WriteBounded(f, buffer, toWrite, written, ScaledMs(kWriteStallMs), true);
}

BOOL UsbRead(FileObject& f, void* buffer, DWORD toRead, DWORD* read)
{
    char* out = static_cast<char*>(buffer);
    DWORD done = 0;
    auto deadline = Clock::now() + ScaledMs(kFirstByteMs);
    bool hungUp = false;
    while (done < toRead) {
        const ReadStep step = ReadAvailable(f, out, toRead, done);
        if (step == ReadStep::Failed) {
            *read = done;
            return FALSE;
        }
        if (step == ReadStep::End)
            break;
        if (step == ReadStep::Got) {
            deadline = Clock::now() + ScaledMs(kQuietMs);
            continue;
        }
        if (hungUp) {
            // A hung-up line reads as readable and empty for ever: the
            // printer went away, and waiting on would only spin.
            *read = done;
            return Fail(ERROR_READ_FAULT);
        }
        int r = WaitNode(f, POLLIN, deadline, &hungUp);
        if (r < 0) {
            *read = done;
            return FALSE;
        }
        if (r == 0)
            break;
    }
    *read = done;
    if (done == 0 && toRead != 0)
        return Fail(ERROR_TIMEOUT);
    return TRUE;
}

} // namespace plat
