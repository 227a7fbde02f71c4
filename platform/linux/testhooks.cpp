// The hooks tests, the demo and the benchmark set (platform/linux/testhooks.h),
// and the layer's side of them: the time scale every pause and device
// time-out is multiplied by, and the answerer of message boxes.
#include "platform/linux/kernel.h"
#include "platform/linux/testhooks.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace {

std::atomic<double> gTimeScale{1.0};
std::mutex gHookLock;
std::shared_ptr<const PlatMessageBoxHook> gMessageBoxHook; // guarded by gHookLock

} // namespace

void PlatSetTimeScale(double scale)
{
    // A zero or negative scale would turn every bound into "at once"; keep a
    // floor so a time-out still means waiting a little.
    if (!(scale > 0.001))
        scale = 0.001;
    gTimeScale.store(scale, std::memory_order_relaxed);
}

double PlatTimeScale()
{
    return gTimeScale.load(std::memory_order_relaxed);
}

void PlatSetMessageBoxHook(PlatMessageBoxHook hook)
{
    auto next = hook ? std::make_shared<const PlatMessageBoxHook>(std::move(hook)) : nullptr;
    std::lock_guard<std::mutex> g(gHookLock);
    gMessageBoxHook = std::move(next);
}

bool PlatMessageBoxHooked(HWND owner, const char* text, const char* caption, UINT type, int& answer)
{
    std::shared_ptr<const PlatMessageBoxHook> hook;
    {
        std::lock_guard<std::mutex> g(gHookLock);
        hook = gMessageBoxHook;
    }
    // A hook replaced meanwhile still answers this call: the copy keeps it alive.
    if (!hook)
        return false;
    answer = (*hook)(owner, text, caption, type);
    return true;
}
