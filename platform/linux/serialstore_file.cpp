// The serial store's file: locked, atomic rewrites, through a symbolic link.
#include "platform/linux/serialstore_file.h"
#include "platform/linux/kernel.h"
#include "platform/linux/roots.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat::store {

namespace {

std::mutex gStoreLock; // one rewrite at a time within the process

bool MakeDirs(const std::string& dir)
{
    if (dir.empty())
        return false;
    struct stat st;
    if (stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? true : (errno = ENOTDIR, false);
    size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirs(dir.substr(0, slash)))
        return false;
    return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

bool WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The file `path` names, its symbolic links followed (also to a file not yet
// there); a loop of links stops at its 40th, whose rename then fails.
std::string LinkTarget(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        std::string next(4096, '\0');
        const ssize_t n = readlink(path.c_str(), next.data(), next.size());
        if (n < 0 || static_cast<size_t>(n) >= next.size())
            break;
        next.resize(static_cast<size_t>(n));
        path = next.front() == '/' ? next : path.substr(0, path.find_last_of('/') + 1) + next;
    }
    return path;
}

// Writes `text` as the store, through a temporary file renamed over it. A
// store that is a symbolic link is written through it: the file it leads to
// is replaced, from its own folder, keeping its permissions, and the link
// stays. False with errno set; the old store is then untouched.
bool WriteStore(const std::string& dir, int dirFd, const std::string& text)
{
    const std::string target = LinkTarget(StorePath());
    const std::string targetDir = target.substr(0, target.find_last_of('/'));
    std::string tmp = targetDir + "/.serial.conf.XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0)
        return false;
    struct stat old;
    const mode_t mode = stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0600;
    bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, text) && fsync(fd) == 0;
    int err = errno;
    ok = (close(fd) == 0) && ok;
    if (ok) {
        ok = rename(tmp.c_str(), target.c_str()) == 0;
        err = errno;
    }
    if (!ok) {
        unlink(tmp.c_str());
        errno = err;
        return false;
    }
    // The rename itself reaches the disk.
    if (targetDir == dir) {
        fsync(dirFd);
    } else if (int targetDirFd = open(targetDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); targetDirFd >= 0) {
        fsync(targetDirFd);
        close(targetDirFd);
    }
    return true;
}

} // namespace

std::string StoreDir()
{
    return PlatRootPath(PlatRoot::Config);
}

std::string StorePath()
{
    return StoreDir() + "/serial.conf";
}

std::string ReadStoreText()
{
    std::ifstream f(StorePath(), std::ios::binary);
    if (!f)
        return {};
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

bool RewriteStoreText(const std::function<std::string(const std::string& before)>& rewrite)
{
    std::lock_guard<std::mutex> g(gStoreLock);
    const std::string dir = StoreDir();
    if (!MakeDirs(dir)) {
        SetLastError(ErrorFromErrno(errno));
        if (GetLastError() == ERROR_FILE_NOT_FOUND)
            SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        FailErrno();
        return false;
    }
    while (flock(dirFd, LOCK_EX) != 0 && errno == EINTR) {
    }
    const std::string before = ReadStoreText();
    const std::string text = rewrite(before);
    errno = 0;
    const bool written = text == before || WriteStore(dir, dirFd, text);
    const int err = errno;
    flock(dirFd, LOCK_UN);
    close(dirFd);
    if (!written)
        SetLastError(err == 0 ? ERROR_WRITE_FAULT : ErrorFromErrno(err));
    return written;
}

} // namespace plat::store
