// The handle table, the last-error slot and the time helpers every other
// file of the kernel half stands on.
#include "platform/linux/kernel.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>
#include <unordered_map>

namespace plat {

namespace {

std::mutex gTableLock;
std::unordered_map<uintptr_t, std::shared_ptr<KObject>> gTable;
// Handle values are never reused: a stale handle stays invalid for good.
uintptr_t gNextId = 1;

constexpr uintptr_t kHandleBase = 0x10000;
constexpr uintptr_t kHandleStep = 4;

thread_local DWORD tLastError = 0;

} // namespace

FileObject::FileObject(FileKind k, int d) : KObject(ObjKind::File), fileKind(k), fd(d)
{
    wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    isTty = isatty(fd) != 0;
    struct stat st;
    // Unix98 pseudo-terminal slaves have the majors 136 to 143.
    isPty = isTty && fstat(fd, &st) == 0 && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

FileObject::~FileObject()
{
    if (fileKind == FileKind::Serial && isTty)
        ioctl(fd, TIOCNXCL); // the exclusive flag would outlive us on a pty
    close(fd);
    if (wakeFd >= 0)
        close(wakeFd);
}

void FileObject::Cancel()
{
    cancelled.store(true);
    if (wakeFd >= 0) {
        uint64_t one = 1;
        ssize_t r = write(wakeFd, &one, sizeof one);
        (void)r;
    }
}

HANDLE AddHandle(std::shared_ptr<KObject> object)
{
    std::lock_guard<std::mutex> g(gTableLock);
    uintptr_t value = kHandleBase + kHandleStep * gNextId++;
    gTable.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KObject> LookupHandle(HANDLE h)
{
    std::lock_guard<std::mutex> g(gTableLock);
    auto it = gTable.find(reinterpret_cast<uintptr_t>(h));
    if (it == gTable.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return it->second;
}

std::shared_ptr<FileObject> LookupFile(HANDLE h)
{
    auto obj = LookupHandle(h);
    if (!obj)
        return nullptr;
    if (obj->kind != ObjKind::File) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return std::static_pointer_cast<FileObject>(std::move(obj));
}

std::shared_ptr<KObject> RemoveHandle(HANDLE h)
{
    std::lock_guard<std::mutex> g(gTableLock);
    auto it = gTable.find(reinterpret_cast<uintptr_t>(h));
    if (it == gTable.end())
        return nullptr;
    auto obj = std::move(it->second);
    gTable.erase(it);
    return obj;
}

DWORD ErrorFromErrno(int err)
{
    switch (err) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EBUSY:
    case ETXTBSY:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EWOULDBLOCK:
        return ERROR_SHARING_VIOLATION;
    case ENAMETOOLONG:
    case ELOOP:
        return ERROR_BAD_PATHNAME;
    case EINVAL:
    case ESPIPE:
        return ERROR_INVALID_PARAMETER;
    case ENOSPC:
        return ERROR_DISK_FULL;
    case ETIMEDOUT:
        return ERROR_TIMEOUT;
    case ENODEV:
    case ENXIO:
        return ERROR_FILE_NOT_FOUND;
    case ENOTTY:
        return ERROR_NOT_SUPPORTED;
    default:
        return ERROR_GEN_FAILURE;
    }
}

BOOL FailErrno()
{
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
}

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

std::chrono::microseconds ScaledMs(uint64_t ms)
{
    double us = static_cast<double>(ms) * 1000.0 * PlatTimeScale();
    if (us > 1e15)
        us = 1e15;
    return std::chrono::microseconds(static_cast<int64_t>(std::llround(us)));
}

int PollMsUntil(Clock::time_point deadline)
{
    auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero())
        return 0;
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

} // namespace plat

DWORD GetLastError()
{
    return plat::tLastError;
}

void SetLastError(DWORD error)
{
    plat::tLastError = error;
}

BOOL CloseHandle(HANDLE object)
{
    auto obj = plat::RemoveHandle(object);
    if (!obj)
        return plat::Fail(ERROR_INVALID_HANDLE);
    if (obj->kind == plat::ObjKind::File)
        static_cast<plat::FileObject&>(*obj).Cancel();
    // A thread still inside a read or write keeps its own reference; the
    // descriptor closes when it leaves.
    return TRUE;
}
