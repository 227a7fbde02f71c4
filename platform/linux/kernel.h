// Internals shared by the POSIX kernel half of the platform layer: the handle
// table, the kinds of object a handle can name, and small helpers for errors
// and time, and what the layer asks of the test hooks. Nothing outside the
// layer (platform/linux, platform/qt) includes this but the layer's own
// tests, which look at the calls under way on a handle.
#pragma once

#include "platform/message_box_hook.h" // what MessageBoxA asks first
#include "platform/win32.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace plat {

enum class ObjKind { File, Thread, Event };

// What a file handle stands on; the reads and writes differ per kind.
enum class FileKind { Regular, Serial, UsbNode, Socket };

struct KObject {
    explicit KObject(ObjKind k) : kind(k) {}
    virtual ~KObject() = default;
    KObject(const KObject&) = delete;
    KObject& operator=(const KObject&) = delete;
    const ObjKind kind;
};

// A file, serial line or USB node. The descriptor is closed by the
// destructor, that is when the handle is closed AND the last thread inside a
// read or write on it has left, so no thread ever touches a reused fd.
struct FileObject : KObject {
    FileObject(FileKind k, int fd);
    ~FileObject() override;

    // Wakes every poll on this object: called once when the handle closes.
    void Cancel();
    bool Cancelled() const { return cancelled.load(); }

    const FileKind fileKind;
    const int fd;
    int wakeFd = -1; // eventfd, readable once the handle was closed
    bool isTty = false;
    bool isPty = false; // the slave side of a pseudo-terminal
    std::atomic<bool> cancelled{false};

    // Reads and writes in progress, and how many times each direction was
    // aborted (CancelIoEx, PurgeComm); a call is aborted when the count moved
    // after it began. `wakePending`: an abort left wakeFd readable, cleared by
    // the last call out. Counts guarded by `lock`.
    int readers = 0;
    int writers = 0;
    bool wakePending = false;
    std::atomic<uint64_t> readAborts{0};
    std::atomic<uint64_t> writeAborts{0};

    // Serial lines only, guarded by `lock`.
    std::mutex lock;
    COMMTIMEOUTS timeouts{};
    DCB shadow{}; // the fields termios cannot hold, as last set
};

// One read or write on a serial line or USB node, from its start to its
// return: an abort asked meanwhile ends its waits (ERROR_OPERATION_ABORTED).
class IoCall {
public:
    IoCall(FileObject& f, bool write);
    ~IoCall();
    IoCall(const IoCall&) = delete;
    IoCall& operator=(const IoCall&) = delete;
    bool Aborted() const;

private:
    FileObject& f_;
    const bool write_;
    const uint64_t aborts_;
    const IoCall* outer_;
};
// The read or write this thread is inside, or null.
const IoCall* CurrentIoCall();
// Aborts the reads and/or writes in progress on f; false when there were none.
bool AbortIo(FileObject& f, bool reads, bool writes);

// Functions called, from the signalling thread, whenever an event is set or a
// thread ends: how a wait that also waits for something else learns of it
// without polling. Guarded by the owner's mutex.
using WakeList = std::vector<const std::function<void()>*>;
void CallWakes(const WakeList& list);

// A thread's shared state: the thread keeps it alive as long as the handle.
// Lock order: m (and an event's m) before the window layer's registry lock,
// which a wake call takes; never the other way round.
struct ThreadState {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    DWORD exitCode = 0;
    WakeList wakes;
};

struct ThreadObject : KObject {
    ThreadObject() : KObject(ObjKind::Thread), state(std::make_shared<ThreadState>()) {}
    std::shared_ptr<ThreadState> state;
};

struct EventObject : KObject {
    explicit EventObject(bool manual, bool initial) : KObject(ObjKind::Event), manualReset(manual), signaled(initial) {}
    const bool manualReset;
    std::mutex m; // taken before the window layer's registry lock (see ThreadState)
    std::condition_variable cv;
    bool signaled;
    WakeList wakes;
};

// ---------------------------------------------------------------- handle table
HANDLE AddHandle(std::shared_ptr<KObject> object);
// The object a handle names, or null (with ERROR_INVALID_HANDLE set) when the
// handle is closed, bogus, or of another kind than asked.
std::shared_ptr<KObject> LookupHandle(HANDLE h);
std::shared_ptr<FileObject> LookupFile(HANDLE h);
// Removes the handle from the table and hands back its object.
std::shared_ptr<KObject> RemoveHandle(HANDLE h);

// ---------------------------------------------------------------- errors
// The Windows error code closest to an errno value.
DWORD ErrorFromErrno(int err);
// Sets the last error from errno and returns FALSE, for one-line failures.
BOOL FailErrno();
BOOL Fail(DWORD error);

// ---------------------------------------------------------------- time
using Clock = std::chrono::steady_clock;
// A time-out in milliseconds scaled by PlatTimeScale(), for every bound on
// a device and every Sleep.
std::chrono::microseconds ScaledMs(uint64_t ms);
// Milliseconds (rounded up) from now until `deadline`, 0 when it has passed,
// clamped to what poll takes.
int PollMsUntil(Clock::time_point deadline);
// Waits until the handle's fd is ready for `events` or the deadline passes,
// waking at once when the handle is closed or the call in progress is
// aborted. 0 on time-out, -1 on failure, a closed handle or an abort (last
// error set), otherwise the fd's revents.
int WaitHandleReady(FileObject& f, short events, Clock::time_point deadline);
// Opens a device node read-write, non-blocking, under an exclusive lock;
// -1 with `busyError` as the last error when another opener has it.
int OpenDeviceExclusive(const std::string& path, DWORD busyError);

// ---------------------------------------------------------------- devices
// Opens "COMn" (already recognised by CreateFileA); n is 1-based.
HANDLE OpenSerial(unsigned n);
// Opens a printer node <Dev>/usb/lpN given its path without the pipe part.
HANDLE OpenUsbNode(const std::string& path);
// Puts a terminal into raw mode; harmless on a non-terminal.
void MakeRaw(int fd);
// Whether a device (stat follows links) is an active system console: one
// named in <Proc>/consoles or <Sys>/class/tty/console/active, or /dev/console.
bool IsSystemConsole(const struct stat& st);

// Why SetCommState would refuse a DCB: ERROR_INVALID_PARAMETER for values no
// line has, ERROR_NOT_SUPPORTED for what Linux cannot do; 0 when it would not.
DWORD DcbError(const DCB& dcb);

// Writes until every byte went out or the device held the write back for
// `bound` (in all, or with renewOnProgress without a byte moving): TRUE with the count
// at the time-out, FALSE (count so far, last error set) when the line fails,
// the handle closes or the call is aborted.
BOOL WriteBounded(FileObject& f, const void* buffer, DWORD toWrite, DWORD* written, std::chrono::microseconds bound,
                  bool renewOnProgress);
// FlushFileBuffers on a serial line, a USB node or a connection.
BOOL DeviceDrain(FileObject& f);
// One read(2) of what the line holds into out[done..want), `done` advanced.
// Got: bytes came; Wait: none yet, poll before the next try; End: the end of
// a file standing in for a line; Failed: the handle was closed under the
// read or the line failed (last error set).
enum class ReadStep { Got, Wait, End, Failed };
ReadStep ReadAvailable(FileObject& f, char* out, DWORD want, DWORD& done);
BOOL SerialRead(FileObject& f, void* buffer, DWORD toRead, DWORD* read);
BOOL SerialWrite(FileObject& f, const void* buffer, DWORD toWrite, DWORD* written);
BOOL UsbRead(FileObject& f, void* buffer, DWORD toRead, DWORD* read);
BOOL UsbWrite(FileObject& f, const void* buffer, DWORD toWrite, DWORD* written);
BOOL SocketRead(FileObject& f, void* buffer, DWORD toRead, DWORD* read);
BOOL SocketWrite(FileObject& f, const void* buffer, DWORD toWrite, DWORD* written);
// The Windows error a socket's failure (errno or SO_ERROR) stands for.
DWORD SocketError(int err);

// The COM number (1..256) a name like "COM3", "com3" or "\\.\COM3" stands for,
// or 0 when it is not a COM port name.
unsigned ComNumber(const char* name);

} // namespace plat

// What the layer asks of the test hooks (platform/linux/testhooks.h).
// The factor every Sleep and device time-out is multiplied by: 1.0 unless a
// test, the demo or the benchmark set another. Unset it costs one relaxed
// atomic load and a multiplication per wait, nothing a wait could notice.
double PlatTimeScale();
