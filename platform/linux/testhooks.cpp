// The time scale tests, the demo and the benchmark set
// (platform/linux/testhooks.h), which every pause and device time-out is
// multiplied by.
#include "platform/linux/kernel.h"
#include "platform/linux/testhooks.h"

#include <atomic>

namespace {

std::atomic<double> gTimeScale{1.0};

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
