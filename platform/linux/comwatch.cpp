// Watches <Dev>, <Dev>/serial and <Dev>/serial/by-id with inotify from a
// thread of its own and posts the watcher's message for each batch of
// changes that touch a serial device's name. The thread never touches a
// window: PostMessageA hands the news to the user-interface thread.
#include "platform/comdevices.h"
#include "platform/linux/roots.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF;

// The names in <Dev> the device list is made of (see PlatListComDevices).
bool SerialName(const char* name)
{
    for (const char* prefix : {"ttyUSB", "ttyACM", "ttyS", "serial"})
        if (std::strncmp(name, prefix, std::strlen(prefix)) == 0)
            return true;
    return false;
}

struct Watch {
    HWND window = nullptr;
    UINT message = 0;
    int inotifyFd = -1;
    int wakeFd = -1; // eventfd: readable once the watch is to end
    int devWd = -1;
    std::string dev;
    std::thread thread;

    ~Watch()
    {
        if (inotifyFd >= 0)
            close(inotifyFd);
        if (wakeFd >= 0)
            close(wakeFd);
    }

    // The folders below <Dev> come and go with the first and last adapter,
    // so they are (re)watched after every change; watching one twice is
    // harmless.
    void WatchSubfolders()
    {
        inotify_add_watch(inotifyFd, (dev + "/serial").c_str(), kEvents);
        inotify_add_watch(inotifyFd, (dev + "/serial/by-id").c_str(), kEvents);
    }

    // Whether a batch of events names a device in <Dev>; below it every
    // change counts (an overflow of the queue too: its wd is -1).
    bool Relevant(const char* buffer, ssize_t length) const
    {
        for (const char* p = buffer; p < buffer + length;) {
            const auto* e = reinterpret_cast<const inotify_event*>(p);
            if (e->wd != devWd || (e->len > 0 && SerialName(e->name)))
                return true;
            p += sizeof(inotify_event) + e->len;
        }
        return false;
    }

    void Run()
    {
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            pollfd fds[2] = {{wakeFd, POLLIN, 0}, {inotifyFd, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0 && errno != EINTR)
                return;
            if (fds[0].revents != 0)
                return;
            if ((fds[1].revents & POLLIN) == 0)
                continue;
            const ssize_t n = read(inotifyFd, buffer, sizeof buffer);
            if (n <= 0)
                continue;
            if (!Relevant(buffer, n))
                continue;
            WatchSubfolders();
            PostMessageA(window, message, 0, 0);
        }
    }
};

std::mutex gLock;
std::vector<std::unique_ptr<Watch>> gWatches; // guarded by gLock

} // namespace

bool PlatWatchComDevices(HWND window, UINT message)
{
    PlatUnwatchComDevices(window);
    auto watch = std::make_unique<Watch>();
    watch->window = window;
    watch->message = message;
    watch->dev = PlatRootPath(PlatRoot::Dev);
    watch->inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    watch->wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (watch->inotifyFd < 0 || watch->wakeFd < 0)
        return false;
    watch->devWd = inotify_add_watch(watch->inotifyFd, watch->dev.c_str(), kEvents);
    if (watch->devWd < 0)
        return false;
    watch->WatchSubfolders();
    Watch* w = watch.get();
    watch->thread = std::thread([w] { w->Run(); });
    std::lock_guard<std::mutex> g(gLock);
    gWatches.push_back(std::move(watch));
    return true;
}

void PlatUnwatchComDevices(HWND window)
{
    std::unique_ptr<Watch> ending;
    {
        std::lock_guard<std::mutex> g(gLock);
        auto it = std::find_if(gWatches.begin(), gWatches.end(), [&](const auto& w) { return w->window == window; });
        if (it == gWatches.end())
            return;
        ending = std::move(*it);
        gWatches.erase(it);
    }
    const uint64_t one = 1;
    // One write to a fresh eventfd cannot fail.
    [[maybe_unused]] const ssize_t woken = write(ending->wakeFd, &one, sizeof one);
    ending->thread.join();
}
