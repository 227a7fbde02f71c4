// Terminals, the host name and the shared-file lock on POSIX. The lock is a
// POSIX record lock (fcntl), which NFS and SMB mounts carry between machines
// where flock may stay local.
#include "platform/station.h"

#include "platform/linux/roots.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

struct PlatLockedFile {
    int fd;
};

namespace {

std::string Reason(const std::string& path, int err)
{
    return path + ": " + std::strerror(err);
}

} // namespace

// Moves the device and system roots under DIR, where the virtual printer
// (mptest-printer usb --root DIR) makes its USB printer; COM ports without a
// stored device then stand for DIR/dev/ttySn, never the machine's own lines.
bool PlatUseDeviceRoot(const std::string& dir, std::string* why)
{
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *why = "设备根目录 " + dir + " 不存在或不是目录";
        return false;
    }
    PlatSetRootPath(PlatRoot::Dev, dir + "/dev");
    PlatSetRootPath(PlatRoot::Sys, dir + "/sys");
    return true;
}

bool PlatIsTerminal(int stream)
{
    return isatty(stream) == 1;
}

std::string PlatHostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return "localhost";
    return name;
}

PlatLockedFile* PlatLockFile(const std::string& path, unsigned timeoutMs, std::string* why)
{
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        *why = Reason(path, errno);
        return nullptr;
    }
    // Polled rather than F_SETLKW, so the wait has an end.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        struct flock whole {};
        whole.l_type = F_WRLCK;
        whole.l_whence = SEEK_SET;
        if (fcntl(fd, F_SETLK, &whole) == 0)
            return new PlatLockedFile{fd};
        const int err = errno;
        if ((err != EACCES && err != EAGAIN) || std::chrono::steady_clock::now() >= deadline) {
            *why = err == EACCES || err == EAGAIN ? path + ": 另一个工位一直锁着这个文件" : Reason(path, err);
            close(fd);
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool PlatLockedRead(PlatLockedFile* file, std::string* text, std::string* why)
{
    text->clear();
    if (lseek(file->fd, 0, SEEK_SET) < 0) {
        *why = std::strerror(errno);
        return false;
    }
    char block[4096];
    for (;;) {
        const ssize_t got = read(file->fd, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *why = std::strerror(errno);
            return false;
        }
        if (got == 0)
            return true;
        text->append(block, static_cast<size_t>(got));
    }
}

bool PlatLockedRewrite(PlatLockedFile* file, const std::string& text, std::string* why)
{
    // Written over the old content, then cut: a counter is never left empty.
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = pwrite(file->fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            *why = std::strerror(errno);
            return false;
        }
        done += static_cast<size_t>(put);
    }
    if (ftruncate(file->fd, static_cast<off_t>(text.size())) != 0 || fsync(file->fd) != 0) {
        *why = std::strerror(errno);
        return false;
    }
    return true;
}

void PlatUnlockFile(PlatLockedFile* file)
{
    if (file == nullptr)
        return;
    close(file->fd); // closing releases the record lock
    delete file;
}

bool PlatAppendDurably(const std::string& path, const std::string& line, std::string* why)
{
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        *why = Reason(path, errno);
        return false;
    }
    ssize_t put = -1;
    do
        put = write(fd, line.data(), line.size());
    while (put < 0 && errno == EINTR);
    int err = put < 0 ? errno : static_cast<size_t>(put) != line.size() ? ENOSPC : 0;
    // A device such as /dev/full cannot be synced; a file that took the line must be.
    if (err == 0 && fsync(fd) != 0 && errno != EINVAL)
        err = errno;
    if (close(fd) != 0 && err == 0 && errno != EINTR)
        err = errno;
    if (err != 0)
        *why = Reason(path, err);
    return err == 0;
}
