// CreateFileA and the calls on file handles. A name is a COM port, a USB
// printer node or an ordinary path (UTF-8); each kind has its own open, and
// reads and writes go to the kind the handle was opened as.
#include "platform/linux/kernel.h"
#include "platform/linux/roots.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using plat::Fail;
using plat::FailErrno;

namespace plat {

unsigned ComNumber(const char* name)
{
    if (name == nullptr)
        return 0;
    if (std::strncmp(name, "\\\\.\\", 4) == 0)
        name += 4;
    if (strncasecmp(name, "COM", 3) != 0)
        return 0;
    const char* d = name + 3;
    if (*d < '1' || *d > '9')
        return 0; // no leading zero, no COM0
    unsigned n = 0;
    for (; *d != '\0'; ++d) {
        if (*d < '0' || *d > '9')
            return 0;
        n = n * 10 + static_cast<unsigned>(*d - '0');
        if (n > 256)
            return 0;
    }
    return n;
}

namespace {

// The USB printer node a name stands for: "<Dev>/usb/lpN", optionally with
// a backslash and a pipe name after it; empty when the name is not one.
std::string UsbNodePath(const std::string& name)
{
    const std::string prefix = PlatRootPath(PlatRoot::Dev) + "/usb/lp";
    if (name.compare(0, prefix.size(), prefix) != 0)
        return {};
    size_t i = prefix.size();
    size_t digits = i;
    while (digits < name.size() && name[digits] >= '0' && name[digits] <= '9')
        ++digits;
    if (digits == i)
        return {};
    if (digits != name.size() && name[digits] != '\\')
        return {};
    // The pipe part selects the printer's bulk pipe on Windows; the Linux
    // node carries both directions, so every pipe opens the same node.
    return name.substr(0, digits);
}

// The Windows answer for a path that cannot be opened because it is absent:
// the file, or a folder on the way to it.
DWORD MissingError(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0)
        return ERROR_FILE_NOT_FOUND;
    struct stat st;
    std::string dir = path.substr(0, slash);
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return ERROR_PATH_NOT_FOUND;
    return ERROR_FILE_NOT_FOUND;
}

HANDLE OpenRegular(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    int mode;
    bool wantsRead = (access & GENERIC_READ) != 0;
    bool wantsWrite = (access & GENERIC_WRITE) != 0;
    if (wantsWrite)
        mode = wantsRead ? O_RDWR : O_WRONLY;
    else
        mode = O_RDONLY;
    int oflags = mode | O_CLOEXEC;
    // The program opens what exists, creates it, or empties it (once it is
    // locked, below); the other dispositions are refused rather than half
    // supplied.
    if (disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS) {
        oflags |= O_CREAT;
    } else if (disposition != OPEN_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (flags & FILE_FLAG_OPEN_REPARSE_POINT)
        oflags |= O_NOFOLLOW; // a symbolic link is never followed, only refused

    struct stat before;
    bool existed = lstat(path.c_str(), &before) == 0;

    int fd = open(path.c_str(), oflags, 0666);
    if (fd < 0) {
        int err = errno;
        if (err == ENOENT)
            SetLastError(MissingError(path));
        else if (err == ELOOP && (flags & FILE_FLAG_OPEN_REPARSE_POINT))
            SetLastError(ERROR_ACCESS_DENIED);
        else
            SetLastError(ErrorFromErrno(err));
        return INVALID_HANDLE_VALUE;
    }
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED); // as Windows answers for a folder
        return INVALID_HANDLE_VALUE;
    }
    // Share modes: an opener that shares nothing takes an exclusive lock,
    // every other opener a shared one, so the two exclude each other (the
    // finer read/write sharing rules of Windows are not modelled).
    if (S_ISREG(st.st_mode) && flock(fd, (share == 0 ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        int err = errno;
        close(fd);
        if (err == EWOULDBLOCK) {
            SetLastError(ERROR_SHARING_VIOLATION);
        } else {
            SetLastError(ErrorFromErrno(err));
        }
        if (!existed && (oflags & O_CREAT))
            unlink(path.c_str());
        return INVALID_HANDLE_VALUE;
    }
    if (disposition == CREATE_ALWAYS && S_ISREG(st.st_mode) && ftruncate(fd, 0) != 0) {
        int err = errno;
        close(fd);
        SetLastError(ErrorFromErrno(err));
        return INVALID_HANDLE_VALUE;
    }
    auto obj = std::make_shared<FileObject>(FileKind::Regular, fd);
    HANDLE h = AddHandle(std::move(obj));
    // Windows reports an existing file that OPEN_ALWAYS or CREATE_ALWAYS opened.
    SetLastError(existed && disposition != OPEN_EXISTING ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

// A path on drive C ("c:\\epp.txt") lies in the user's home folder here,
// with its backslashes as folder separators.
std::string HostPath(const std::string& name)
{
    if (name.size() < 3 || (name[0] != 'c' && name[0] != 'C') || name[1] != ':' ||
        (name[2] != '\\' && name[2] != '/'))
        return name;
    std::string rest = name.substr(3);
    for (char& c : rest)
        if (c == '\\')
            c = '/';
    return PlatRootPath(PlatRoot::Home) + "/" + rest;
}

} // namespace
} // namespace plat

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flagsAndAttributes, HANDLE)
{
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (*name == '\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (unsigned n = plat::ComNumber(name); n != 0)
        return plat::OpenSerial(n);
    std::string path = plat::HostPath(name);
    if (std::string node = plat::UsbNodePath(path); !node.empty())
        return plat::OpenUsbNode(node);
    return plat::OpenRegular(path, access, shareMode, disposition, flagsAndAttributes);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped)
{
    if (read != nullptr)
        *read = 0;
    auto f = plat::LookupFile(file);
    if (!f)
        return FALSE;
    if (overlapped != nullptr || (buffer == nullptr && toRead != 0))
        return Fail(ERROR_INVALID_PARAMETER);
    DWORD done = 0;
    BOOL ok = TRUE;
    switch (f->fileKind) {
    case plat::FileKind::Serial: {
        plat::IoCall call(*f, false);
        ok = plat::SerialRead(*f, buffer, toRead, &done);
        break;
    }
    case plat::FileKind::UsbNode: {
        plat::IoCall call(*f, false);
        ok = plat::UsbRead(*f, buffer, toRead, &done);
        break;
    }
    case plat::FileKind::Socket: {
        plat::IoCall call(*f, false);
        ok = plat::SocketRead(*f, buffer, toRead, &done);
        break;
    }
    case plat::FileKind::Regular:
        while (done < toRead) {
            ssize_t n = ::read(f->fd, static_cast<char*>(buffer) + done, toRead - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                ok = FailErrno();
                if (GetLastError() == ERROR_INVALID_HANDLE)
                    SetLastError(ERROR_ACCESS_DENIED); // opened without read access
                break;
            }
            if (n == 0)
                break; // end of file: TRUE with what was there
            done += static_cast<DWORD>(n);
        }
        break;
    }
    if (read != nullptr)
        *read = done;
    return ok;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped)
{
    if (written != nullptr)
        *written = 0;
    auto f = plat::LookupFile(file);
    if (!f)
        return FALSE;
    if (overlapped != nullptr || (buffer == nullptr && toWrite != 0))
        return Fail(ERROR_INVALID_PARAMETER);
    DWORD done = 0;
    BOOL ok = TRUE;
    switch (f->fileKind) {
    case plat::FileKind::Serial: {
        plat::IoCall call(*f, true);
        ok = plat::SerialWrite(*f, buffer, toWrite, &done);
        break;
    }
    case plat::FileKind::UsbNode: {
        plat::IoCall call(*f, true);
        ok = plat::UsbWrite(*f, buffer, toWrite, &done);
        break;
    }
    case plat::FileKind::Socket: {
        plat::IoCall call(*f, true);
        ok = plat::SocketWrite(*f, buffer, toWrite, &done);
        break;
    }
    case plat::FileKind::Regular:
        while (done < toWrite) {
            ssize_t n = ::write(f->fd, static_cast<const char*>(buffer) + done, toWrite - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                ok = n < 0 ? FailErrno() : Fail(ERROR_WRITE_FAULT);
                if (GetLastError() == ERROR_INVALID_HANDLE)
                    SetLastError(ERROR_ACCESS_DENIED); // opened without write access
                break;
            }
            done += static_cast<DWORD>(n);
        }
        break;
    }
    if (written != nullptr)
        *written = done;
    return ok;
}

BOOL FlushFileBuffers(HANDLE file)
{
    auto f = plat::LookupFile(file);
    if (!f)
        return FALSE;
    if (f->fileKind == plat::FileKind::Regular)
        return fsync(f->fd) == 0 ? TRUE : FailErrno();
    plat::IoCall call(*f, true); // a stop or close ends it as it ends a write
    return plat::DeviceDrain(*f);
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh)
{
    auto f = plat::LookupFile(file);
    if (!f)
        return INVALID_FILE_SIZE;
    struct stat st;
    if (fstat(f->fd, &st) != 0) {
        FailErrno();
        return INVALID_FILE_SIZE;
    }
    if (f->fileKind != plat::FileKind::Regular || !S_ISREG(st.st_mode)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (sizeHigh != nullptr)
        *sizeHigh = static_cast<DWORD>(size >> 32);
    else if (size > 0xFFFFFFFEull) {
        // Without a high part the size cannot be told from the failure value.
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_SIZE;
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod)
{
    auto f = plat::LookupFile(file);
    if (!f)
        return INVALID_SET_FILE_POINTER;
    // The program only ever moves from the start; other methods are refused.
    if (moveMethod != FILE_BEGIN) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    const int64_t target = distanceHigh != nullptr
                       ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                              static_cast<uint32_t>(distance))
                       : static_cast<int64_t>(distance);
    if (target < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK); // the pointer stays where it was
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh == nullptr && target > 0xFFFFFFFEll) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    off_t pos = lseek(f->fd, static_cast<off_t>(target), SEEK_SET);
    if (pos < 0) {
        FailErrno();
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh != nullptr)
        *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(pos) >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(static_cast<uint64_t>(pos));
}
