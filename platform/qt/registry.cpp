// The window registry: handles are ids, never pointers, so a stale handle is
// caught. Also which thread is the user-interface thread, and the routing of
// a message to its window. Messages between threads are in crossthread.cpp.
#include "platform/qt/qtwin.h"

#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

// Lock order: an event's or a thread's mutex first, then this one (see qtwin.h).
std::mutex gPlatQtLock;

namespace {

// Guarded by gPlatQtLock against other threads' lookups. The user-interface
// thread reads the map without it: only that thread changes the map.
std::unordered_map<uintptr_t, std::unique_ptr<PlatWindow>> gWindows;
uintptr_t gNextHandle = 0x1000;
std::atomic<std::thread::id> gUiThread;
std::atomic<bool> gReady{false};

} // namespace

void PlatQtSetUiThread()
{
    gUiThread = std::this_thread::get_id();
    gReady = true;
}

bool PlatQtOnUiThread()
{
    return gReady.load(std::memory_order_acquire) && std::this_thread::get_id() == gUiThread.load();
}

HWND PlatQtRegister(std::unique_ptr<PlatWindow> record)
{
    std::lock_guard<std::mutex> g(gPlatQtLock);
    gNextHandle += 4; // handles are never reused during a run
    HWND h = reinterpret_cast<HWND>(gNextHandle);
    record->handle = h;
    gWindows.emplace(gNextHandle, std::move(record));
    return h;
}

std::unique_ptr<PlatWindow> PlatQtUnregister(HWND window)
{
    std::lock_guard<std::mutex> g(gPlatQtLock);
    auto it = gWindows.find(reinterpret_cast<uintptr_t>(window));
    if (it == gWindows.end())
        return nullptr;
    std::unique_ptr<PlatWindow> rec = std::move(it->second);
    gWindows.erase(it);
    // Whoever waits on a message to this window gets 0 now.
    PlatQtAbandonSendsLocked(window);
    return rec;
}

PlatWindow* PlatQtFind(HWND window)
{
    if (!window)
        return nullptr;
    if (!PlatQtOnUiThread())
        return nullptr;
    auto it = gWindows.find(reinterpret_cast<uintptr_t>(window));
    return it == gWindows.end() ? nullptr : it->second.get();
}

std::vector<HWND> PlatQtChildren(HWND parent)
{
    std::vector<HWND> out;
    for (auto& [h, w] : gWindows)
        if (w->parent == parent && w->kind != PlatKind::Dialog)
            out.push_back(w->handle);
    // Handles grow with creation, so sorting gives creation order.
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<HWND> PlatQtOwnedDialogs(HWND window)
{
    std::vector<HWND> out;
    for (auto& [h, w] : gWindows)
        if (w->parent == window && w->kind == PlatKind::Dialog)
            out.push_back(w->handle);
    std::sort(out.begin(), out.end());
    return out;
}

HWND PlatQtHandleOf(const QWidget* widget)
{
    for (; widget; widget = widget->parentWidget()) {
        QVariant v = widget->property("platHwnd");
        if (v.isValid())
            return reinterpret_cast<HWND>(v.value<quintptr>());
    }
    return nullptr;
}

bool PlatQtUiReady()
{
    return gReady.load(std::memory_order_acquire);
}

bool PlatQtIsWindowLocked(HWND window)
{
    return gWindows.count(reinterpret_cast<uintptr_t>(window)) != 0;
}

BOOL IsWindow(HWND window)
{
    if (!window)
        return FALSE;
    std::lock_guard<std::mutex> g(gPlatQtLock);
    return PlatQtIsWindowLocked(window) ? TRUE : FALSE;
}

LRESULT PlatQtDispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    PlatWindow* w = PlatQtFind(window);
    if (!w)
        return 0;
    if (w->kind == PlatKind::Dialog)
        return PlatQtDialogMessage(w, message, wParam, lParam);
    return PlatQtControlMessage(w, message, wParam, lParam);
}
